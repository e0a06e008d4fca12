// su_apply_camera_2d: 2D camera settings from JSON onto the open model's scenes, matched by name.
#include "bridge/camera_updates.h"
#include "bridge/host_binding.h"
#include "bridge/zelvora.h"

namespace {

void apply_update(SUSceneRef scene, const zelvora::CameraUpdate& update) {
    SUCameraRef camera{nullptr};
    if (!zelvora::scene_camera(scene, &camera)) {
        return;
    }
    // Setter results are not examined: a value the modeller refuses stays as it was.
    if (update.has_is_perspective) {
        SUCameraSetPerspective(camera, update.is_perspective);
    }
    if (update.has_is_2d) {
        SUCameraSet2D(camera, update.is_2d);
    }
    if (update.has_scale_2d) {
        SUCameraSetScale2D(camera, update.scale_2d);
    }
    if (update.has_center_2d) {
        const SUPoint3D center{update.center_2d[0], update.center_2d[1], update.center_2d[2]};
        SUCameraSetCenter2D(camera, &center);
    }
}

int32_t apply_camera_2d(const char* json) {
    zelvora::HostSession session;
    const SUModelRef model = zelvora::active_model();
    if (model.ptr == nullptr) {
        return 3;
    }
    std::vector<SUSceneRef> scenes;
    if (zelvora::read_scenes(model, false, &scenes) == zelvora::SceneList::count_failed) {
        return 4;
    }
    const std::vector<zelvora::CameraUpdate> updates = zelvora::parse_camera_updates(json);
    if (updates.empty()) {
        return 0;
    }
    for (const SUSceneRef scene : scenes) {
        const std::string name = zelvora::scene_name(scene);
        // Updates with the same name apply in input order, so the later one wins.
        for (const zelvora::CameraUpdate& update : updates) {
            if (update.name == name) {
                apply_update(scene, update);
            }
        }
    }
    return 0;
}

} // namespace

extern "C" int32_t su_apply_camera_2d(const char* json) {
    if (json == nullptr) {
        return 2;
    }
    // No C++ exception may reach the modeller; only memory can run out in here.
    try {
        return apply_camera_2d(json);
    } catch (...) {
        return 7;
    }
}
