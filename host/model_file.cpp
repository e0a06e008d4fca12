#include "host/model_file.h"

#include <fstream>
#include <sstream>

#include <nlohmann/json.hpp>

using nlohmann::json;

namespace {

struct ModelError {
    std::string message;
};

void require(bool ok, const std::string& where, const char* what) {
    if (!ok) {
        throw ModelError{where + ": " + what};
    }
}

HostVec3 read_vec3(const json& value, const std::string& where) {
    require(value.is_array() && value.size() == 3, where, "expected an array of 3 numbers");
    HostVec3 v{};
    for (size_t i = 0; i < 3; ++i) {
        require(value[i].is_number(), where, "expected an array of 3 numbers");
        v[i] = value[i].get<double>();
    }
    return v;
}

double read_number(const json& value, const std::string& where) {
    require(value.is_number(), where, "expected a number");
    return value.get<double>();
}

bool read_bool(const json& value, const std::string& where) {
    require(value.is_boolean(), where, "expected true or false");
    return value.get<bool>();
}

HostCamera read_camera(const json& value, const std::string& where) {
    require(value.is_object(), where, "expected an object or null");
    HostCamera camera;
    for (const auto& [key, item] : value.items()) {
        const std::string at = where + "." + key;
        if (key == "eye") {
            camera.eye = read_vec3(item, at);
        } else if (key == "target") {
            camera.target = read_vec3(item, at);
        } else if (key == "up") {
            camera.up = read_vec3(item, at);
        } else if (key == "fov_deg") {
            camera.fov_deg = read_number(item, at);
        } else if (key == "perspective") {
            camera.perspective = read_bool(item, at);
        } else if (key == "is_2d") {
            camera.is_2d = read_bool(item, at);
        } else if (key == "scale_2d") {
            camera.scale_2d = read_number(item, at);
        } else if (key == "center_2d") {
            camera.center_2d = read_vec3(item, at);
        } else {
            throw ModelError{at + ": unknown camera key"};
        }
    }
    return camera;
}

json vec3_json(const HostVec3& v) {
    return json::array({v[0], v[1], v[2]});
}

} // namespace

bool host_parse_model(const std::string& text, HostModel* model, std::string* error) {
    try {
        const json root = json::parse(text);
        require(root.is_object(), "model", "expected an object");
        HostModel parsed;
        if (root.contains("file_version")) {
            require(root["file_version"].is_number_integer(), "file_version",
                    "expected an integer");
            parsed.file_version = root["file_version"].get<int>();
        }
        require(root.contains("scenes") && root["scenes"].is_array(), "scenes",
                "expected an array");
        const json& scenes = root["scenes"];
        for (size_t i = 0; i < scenes.size(); ++i) {
            const std::string where = "scenes[" + std::to_string(i) + "]";
            const json& item = scenes[i];
            require(item.is_object(), where, "expected an object");
            require(item.contains("name") && item["name"].is_string(), where + ".name",
                    "expected a string");
            HostScene scene;
            scene.name = item["name"].get<std::string>();
            if (!item.contains("camera") || item["camera"].is_null()) {
                scene.has_camera = false;
            } else {
                scene.camera = read_camera(item["camera"], where + ".camera");
            }
            parsed.scenes.push_back(std::move(scene));
        }
        *model = std::move(parsed);
        return true;
    } catch (const ModelError& e) {
        *error = e.message;
    } catch (const json::exception& e) {
        *error = e.what();
    }
    return false;
}

std::string host_format_model(const HostModel& model) {
    json scenes = json::array();
    for (const HostScene& scene : model.scenes) {
        json item;
        item["name"] = scene.name;
        if (scene.has_camera) {
            const HostCamera& c = scene.camera;
            item["camera"] = {
                {"eye", vec3_json(c.eye)},      {"target", vec3_json(c.target)},
                {"up", vec3_json(c.up)},        {"fov_deg", c.fov_deg},
                {"perspective", c.perspective}, {"is_2d", c.is_2d},
                {"scale_2d", c.scale_2d},       {"center_2d", vec3_json(c.center_2d)}};
        } else {
            item["camera"] = nullptr;
        }
        scenes.push_back(std::move(item));
    }
    json root = {{"file_version", model.file_version}, {"scenes", std::move(scenes)}};
    // Names set by tests may hold bytes that are not UTF-8; replace those rather than failing.
    return root.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

bool host_read_model_file(const std::string& path, HostModel* model, std::string* error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        *error = path + ": cannot open";
        return false;
    }
    std::ostringstream text;
    text << in.rdbuf();
    if (!host_parse_model(text.str(), model, error)) {
        *error = path + ": " + *error;
        return false;
    }
    return true;
}

bool host_write_model_file(const std::string& path, const HostModel& model, std::string* error) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << host_format_model(model);
    out.close();
    if (!out) {
        *error = path + ": cannot write";
        return false;
    }
    return true;
}
