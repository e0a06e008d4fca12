#include "bridge/host_binding.h"

#include <algorithm>
#include <new>

namespace zelvora {

FileModel::~FileModel() {
    if (ref_.ptr != nullptr) {
        SUModelRelease(&ref_);
    }
}

bool FileModel::open(const char* path) {
    SUModelLoadStatus status = SUModelLoadStatus_Success;
    SUModelRef model{nullptr};
    if (SUModelCreateFromFileWithStatus(&model, path, &status) != SU_ERROR_NONE ||
        model.ptr == nullptr) {
        return false;
    }
    ref_ = model;
    return true;
}

SUModelRef active_model() {
    SUModelRef model{nullptr};
    if (SUApplicationGetActiveModel(&model) != SU_ERROR_NONE) {
        return SUModelRef{nullptr};
    }
    return model;
}

SceneList read_scenes(SUModelRef model, bool strict, std::vector<SUSceneRef>* scenes) {
    scenes->clear();
    size_t count = 0;
    if (SUModelGetNumScenes(model, &count) != SU_ERROR_NONE) {
        return SceneList::count_failed;
    }
    if (count == 0) {
        return SceneList::ok;
    }
    try {
        scenes->assign(count, SUSceneRef{nullptr});
    } catch (const std::exception&) {
        // A count too large to hold is a list we cannot read.
        scenes->clear();
        return strict ? SceneList::list_failed : SceneList::ok;
    }
    size_t got = 0;
    const SUResult result = SUModelGetScenes(model, count, scenes->data(), &got);
    if (strict && result != SU_ERROR_NONE) {
        scenes->clear();
        return SceneList::list_failed;
    }
    scenes->resize(std::min(count, got));
    return SceneList::ok;
}

namespace {

// Gives a string handle back to the modeller however the scope is left, out-of-memory
// exceptions included.
struct StringHandle {
    SUStringRef ref{nullptr};
    StringHandle() = default;
    StringHandle(const StringHandle&) = delete;
    StringHandle& operator=(const StringHandle&) = delete;
    ~StringHandle() {
        if (ref.ptr != nullptr) {
            SUStringRelease(&ref);
        }
    }
};

} // namespace

std::string scene_name(SUSceneRef scene) {
    StringHandle handle;
    SUStringRef& str = handle.ref;
    if (SUStringCreate(&str) != SU_ERROR_NONE || str.ptr == nullptr) {
        str = SUStringRef{nullptr};
        return {};
    }
    SUSceneGetName(scene, &str);
    std::string name;
    size_t length = 0;
    if (SUStringGetUTF8Length(str, &length) == SU_ERROR_NONE && length != 0) {
        std::string buffer(length, '\0');
        size_t copied = 0;
        // The buffer's own terminator makes room for the one the modeller writes.
        if (SUStringGetUTF8(str, length + 1, buffer.data(), &copied) == SU_ERROR_NONE) {
            buffer.resize(std::min(copied, length));
            name = std::move(buffer);
        }
    }
    return name;
}

bool scene_camera(SUSceneRef scene, SUCameraRef* camera) {
    *camera = SUCameraRef{nullptr};
    return SUSceneGetCamera(scene, camera) == SU_ERROR_NONE && camera->ptr != nullptr;
}

} // namespace zelvora
