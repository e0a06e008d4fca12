// The stand-in modeller's model: scenes with names and cameras, and the file version it was saved
// in, kept as a small JSON file of our own:
//   {"file_version": 14,
//    "scenes": [{"name": "Top",
//                "camera": {"eye": [0,0,10], "target": [0,0,0], "up": [0,1,0], "fov_deg": 35,
//                           "perspective": false, "is_2d": true, "scale_2d": 2.5,
//                           "center_2d": [1,2,0]}},
//               {"name": "Empty", "camera": null}]}
// Every camera key may be left out (the defaults below apply); a scene without "camera", or with
// null, has no camera.
#ifndef ZELVORA_HOST_MODEL_FILE_H
#define ZELVORA_HOST_MODEL_FILE_H

#include <array>
#include <string>
#include <vector>

using HostVec3 = std::array<double, 3>;

struct HostCamera {
    HostVec3 eye{0, 0, 1};
    HostVec3 target{0, 0, 0};
    HostVec3 up{0, 1, 0};
    double fov_deg = 30.0;
    bool perspective = true;
    bool is_2d = false;
    double scale_2d = 1.0;
    HostVec3 center_2d{0, 0, 0};

    bool operator==(const HostCamera&) const = default;
};

struct HostScene {
    std::string name;
    bool has_camera = true;
    HostCamera camera;

    bool operator==(const HostScene&) const = default;
};

// The file version the stand-in itself writes; files with a higher one load as "more recent".
constexpr int kHostFileVersion = 15;

struct HostModel {
    int file_version = kHostFileVersion;
    std::vector<HostScene> scenes;

    bool operator==(const HostModel&) const = default;
};

// Parse a model from JSON text. On failure returns false and says why in *error.
bool host_parse_model(const std::string& text, HostModel* model, std::string* error);
std::string host_format_model(const HostModel& model);

bool host_read_model_file(const std::string& path, HostModel* model, std::string* error);
bool host_write_model_file(const std::string& path, const HostModel& model, std::string* error);

#endif
