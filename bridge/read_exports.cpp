// The two readers and su_free.
#include <cstdlib>

#include "bridge/host_binding.h"
#include "bridge/scene_json.h"
#include "bridge/zelvora.h"

namespace {

// Both readers after their model is in hand: scenes, then the text.
int32_t read_model_json(SUModelRef model, char** out_json) {
    std::vector<SUSceneRef> scenes;
    switch (zelvora::read_scenes(model, true, &scenes)) {
    case zelvora::SceneList::count_failed:
        return 5;
    case zelvora::SceneList::list_failed:
        return 6;
    case zelvora::SceneList::ok:
        break;
    }
    return zelvora::write_scenes_json(scenes, out_json, std::malloc);
}

} // namespace

extern "C" {

int32_t su_read_pages_cameras_json(const char* path, char** out_json) {
    if (out_json == nullptr) {
        return 2;
    }
    *out_json = nullptr;
    if (path == nullptr) {
        return 2;
    }
    // No C++ exception may reach the modeller; only memory can run out in here.
    try {
        zelvora::HostSession session;
        zelvora::FileModel model;
        if (!model.open(path)) {
            return 4;
        }
        return read_model_json(model.ref(), out_json);
    } catch (...) {
        return 7;
    }
}

int32_t su_read_active_pages_cameras_json(char** out_json) {
    if (out_json == nullptr) {
        return 2;
    }
    *out_json = nullptr;
    try {
        zelvora::HostSession session;
        // The open model belongs to the modeller and is never released here.
        const SUModelRef model = zelvora::active_model();
        if (model.ptr == nullptr) {
            return 3;
        }
        return read_model_json(model, out_json);
    } catch (...) {
        return 7;
    }
}

void su_free(char* text) {
    if (text != nullptr) {
        std::free(text);
    }
}

} // extern "C"
