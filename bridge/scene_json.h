// The scene camera JSON the readers hand out: an array with one object per scene, in model order,
// {"name":...,"camera":{...}|null}, no white space, numbers as "%.15g".
#ifndef ZELVORA_BRIDGE_SCENE_JSON_H
#define ZELVORA_BRIDGE_SCENE_JSON_H

#include <cstddef>
#include <string>
#include <vector>

#include "host/su_capi.h"

namespace zelvora {

// A camera as read from the modeller; a getter that fails leaves its default.
struct CameraValues {
    SUPoint3D eye{0, 0, 0};
    SUPoint3D target{0, 0, 0};
    SUVector3D up{0, 0, 1};
    double fov_deg = 35.0;
    bool perspective = true;
    bool is_2d = false;
    double scale_2d = 1.0;
    SUPoint3D center_2d{0, 0, 0};
};

CameraValues read_camera_values(SUCameraRef camera);

// Appends the name in double quotes, escaping control bytes, quotes and backslashes; bytes from
// 0x80 up pass unchanged, so UTF-8 stays as it is.
void append_json_name(std::string& out, const std::string& name);
void append_camera_json(std::string& out, const CameraValues& camera);

// The whole text for these scenes, reading each one's name and camera from the modeller.
std::string scenes_json(const std::vector<SUSceneRef>& scenes);

using TextAlloc = void* (*)(size_t);

// Copies the text into one block of length + 1 bytes from `alloc` and stores it in *out.
// Returns 0, or 7 when the block cannot be had (then *out is left alone).
int hand_out_text(const std::string& text, char** out, TextAlloc alloc);

// Both readers' common end: the scenes' JSON handed out through *out. Returns 0 or 7.
int write_scenes_json(const std::vector<SUSceneRef>& scenes, char** out, TextAlloc alloc);

} // namespace zelvora

#endif
