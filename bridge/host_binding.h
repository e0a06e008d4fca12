// What every export does with the modeller: open and close its interface, obtain a model, list
// the scenes, and read a scene's name and camera.
#ifndef ZELVORA_BRIDGE_HOST_BINDING_H
#define ZELVORA_BRIDGE_HOST_BINDING_H

#include <string>
#include <vector>

#include "host/su_capi.h"

namespace zelvora {

// SUInitialize for its lifetime; SUTerminate on every way out.
class HostSession {
public:
    HostSession() { SUInitialize(); }
    ~HostSession() { SUTerminate(); }
    HostSession(const HostSession&) = delete;
    HostSession& operator=(const HostSession&) = delete;
};

// A model opened from a file; released when it goes out of scope. Declare it after the
// HostSession so that it is released before SUTerminate.
class FileModel {
public:
    FileModel() = default;
    ~FileModel();
    FileModel(const FileModel&) = delete;
    FileModel& operator=(const FileModel&) = delete;

    // True when the modeller reports no error and hands out a model; its load status is not
    // examined, so a file from a newer release counts as opened.
    bool open(const char* path);
    SUModelRef ref() const { return ref_; }

private:
    SUModelRef ref_{nullptr};
};

// The open model, or a null handle when the modeller has none (or fails to say).
SUModelRef active_model();

enum class SceneList { ok, count_failed, list_failed };

// The model's scene handles in model order. With `strict` a failing SUModelGetScenes is reported
// as list_failed; without it its result is ignored and only the scenes it handed out are kept.
SceneList read_scenes(SUModelRef model, bool strict, std::vector<SUSceneRef>* scenes);

// The scene's name as UTF-8 bytes; empty when the modeller gives none.
std::string scene_name(SUSceneRef scene);

// The scene's camera; false when the modeller fails or hands out none.
bool scene_camera(SUSceneRef scene, SUCameraRef* camera);

} // namespace zelvora

#endif
