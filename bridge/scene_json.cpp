#include "bridge/scene_json.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>
#include <system_error>

#include "bridge/host_binding.h"

namespace zelvora {

namespace {

// A number as "%.15g" writes it in the C locale (a point, never the process locale's
// separator); null for NaN and the infinities, which JSON cannot hold.
void append_number(std::string& out, double value) {
    if (!std::isfinite(value)) {
        out += "null";
        return;
    }
    char buf[64];
    const auto result = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 15);
    out.append(buf, result.ec == std::errc() ? result.ptr : buf);
}

void append_vector_field(std::string& out, const char* key, double x, double y, double z) {
    out += '"';
    out += key;
    out += "\":[";
    append_number(out, x);
    out += ',';
    append_number(out, y);
    out += ',';
    append_number(out, z);
    out += ']';
}

void append_bool_field(std::string& out, const char* key, bool value) {
    out += '"';
    out += key;
    out += "\":";
    out += value ? "true" : "false";
}

} // namespace

CameraValues read_camera_values(SUCameraRef camera) {
    CameraValues v;
    // Each getter writes only on success, so a failing one leaves the default in place.
    SUCameraGetOrientation(camera, &v.eye, &v.target, &v.up);
    SUCameraGetPerspectiveFrustumFOV(camera, &v.fov_deg);
    SUCameraGetPerspective(camera, &v.perspective);
    SUCameraGet2D(camera, &v.is_2d);
    SUCameraGetScale2D(camera, &v.scale_2d);
    SUCameraGetCenter2D(camera, &v.center_2d);
    return v;
}

void append_json_name(std::string& out, const std::string& name) {
    out += '"';
    for (const char ch : name) {
        const auto byte = static_cast<unsigned char>(ch);
        switch (byte) {
        case 0x08:
            out += "\\b";
            break;
        case 0x09:
            out += "\\t";
            break;
        case 0x0A:
            out += "\\n";
            break;
        case 0x0C:
            out += "\\f";
            break;
        case 0x0D:
            out += "\\r";
            break;
        case 0x22:
            out += "\\\"";
            break;
        case 0x5C:
            out += "\\\\";
            break;
        default:
            if (byte < 0x20) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", byte);
                out += buf;
            } else {
                out += ch;
            }
        }
    }
    out += '"';
}

void append_camera_json(std::string& out, const CameraValues& c) {
    out += '{';
    append_vector_field(out, "eye", c.eye.x, c.eye.y, c.eye.z);
    out += ',';
    append_vector_field(out, "target", c.target.x, c.target.y, c.target.z);
    out += ',';
    append_vector_field(out, "up", c.up.x, c.up.y, c.up.z);
    out += ',';
    append_bool_field(out, "is_perspective", c.perspective);
    out += ',';
    out += "\"fov_deg\":";
    append_number(out, c.fov_deg);
    out += ',';
    append_bool_field(out, "is_2d", c.is_2d);
    out += ',';
    out += "\"scale_2d\":";
    append_number(out, c.scale_2d);
    out += ',';
    append_vector_field(out, "center_2d", c.center_2d.x, c.center_2d.y, c.center_2d.z);
    out += '}';
}

std::string scenes_json(const std::vector<SUSceneRef>& scenes) {
    std::string out;
    // Room for typical scenes up front, so the text is not reallocated while it grows.
    out.reserve(640 * scenes.size() + 1024);
    out += '[';
    for (size_t i = 0; i < scenes.size(); ++i) {
        if (i != 0) {
            out += ',';
        }
        out += "{\"name\":";
        append_json_name(out, scene_name(scenes[i]));
        out += ",\"camera\":";
        SUCameraRef camera{nullptr};
        if (scene_camera(scenes[i], &camera)) {
            append_camera_json(out, read_camera_values(camera));
        } else {
            out += "null";
        }
        out += '}';
    }
    out += ']';
    return out;
}

int hand_out_text(const std::string& text, char** out, TextAlloc alloc) {
    auto* block = static_cast<char*>(alloc(text.size() + 1));
    if (block == nullptr) {
        return 7;
    }
    std::memcpy(block, text.data(), text.size());
    block[text.size()] = '\0';
    *out = block;
    return 0;
}

int write_scenes_json(const std::vector<SUSceneRef>& scenes, char** out, TextAlloc alloc) {
    try {
        return hand_out_text(scenes_json(scenes), out, alloc);
    } catch (const std::exception&) {
        // Only memory can run out here (bad_alloc, or a reservation beyond max_size).
        return 7;
    }
}

} // namespace zelvora
