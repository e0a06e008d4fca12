#include "host/stand_in.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <set>

namespace {

struct Failure {
    SUResult result = SU_ERROR_NONE;
    int after = 0;
    int seen = 0;
};

struct StandIn {
    std::unique_ptr<HostModel> active;
    std::set<HostModel*> file_models;
    std::set<std::string*> strings;
    std::map<std::string, Failure> failures;
    std::vector<HostCall> calls;
    std::vector<std::string> misuses;
    int init_depth = 0;
    int scene_limit = -1;

    ~StandIn() { clear(); }
    void clear() {
        for (HostModel* m : file_models) {
            delete m;
        }
        for (std::string* s : strings) {
            delete s;
        }
        file_models.clear();
        strings.clear();
        active.reset();
        failures.clear();
        calls.clear();
        misuses.clear();
        init_depth = 0;
        scene_limit = -1;
    }
};

StandIn& state() {
    static StandIn s;
    return s;
}

// Logs the call and tells whether an injected failure applies: returns true with *result set
// when the call must report *result instead of doing its work.
bool enter(const char* name, const std::string& detail, SUResult* result) {
    StandIn& s = state();
    s.calls.push_back({name, detail, SU_ERROR_NONE, s.init_depth > 0});
    if (s.init_depth <= 0 && std::strcmp(name, "SUInitialize") != 0) {
        s.misuses.push_back(std::string(name) + " outside SUInitialize/SUTerminate");
    }
    auto it = s.failures.find(name);
    if (it == s.failures.end()) {
        return false;
    }
    Failure& f = it->second;
    if (f.seen++ < f.after) {
        return false;
    }
    *result = f.result;
    s.calls.back().result = f.result;
    return true;
}

SUResult leave(SUResult result) {
    state().calls.back().result = result;
    return result;
}

void misuse(const std::string& what) {
    state().misuses.push_back(what);
}

HostModel* find_model(SUModelRef ref) {
    StandIn& s = state();
    auto* m = static_cast<HostModel*>(ref.ptr);
    if (m != nullptr && (m == s.active.get() || s.file_models.count(m) != 0)) {
        return m;
    }
    return nullptr;
}

// Scenes and cameras point into a live model; anything else is stale or made up.
HostScene* find_scene(SUSceneRef ref) {
    StandIn& s = state();
    auto owns = [&](HostModel* m) -> HostScene* {
        for (HostScene& scene : m->scenes) {
            if (&scene == ref.ptr) {
                return &scene;
            }
        }
        return nullptr;
    };
    if (ref.ptr == nullptr) {
        return nullptr;
    }
    if (s.active) {
        if (HostScene* scene = owns(s.active.get())) {
            return scene;
        }
    }
    for (HostModel* m : s.file_models) {
        if (HostScene* scene = owns(m)) {
            return scene;
        }
    }
    return nullptr;
}

HostCamera* find_camera(SUCameraRef ref) {
    StandIn& s = state();
    auto owns = [&](HostModel* m) -> HostCamera* {
        for (HostScene& scene : m->scenes) {
            if (scene.has_camera && &scene.camera == ref.ptr) {
                return &scene.camera;
            }
        }
        return nullptr;
    };
    if (ref.ptr == nullptr) {
        return nullptr;
    }
    if (s.active) {
        if (HostCamera* c = owns(s.active.get())) {
            return c;
        }
    }
    for (HostModel* m : s.file_models) {
        if (HostCamera* c = owns(m)) {
            return c;
        }
    }
    return nullptr;
}

std::string* find_string(SUStringRef ref) {
    auto* str = static_cast<std::string*>(ref.ptr);
    return state().strings.count(str) != 0 ? str : nullptr;
}

std::string scene_label(SUSceneRef ref) {
    HostScene* scene = find_scene(ref);
    return scene != nullptr ? scene->name : std::string("?");
}

std::string camera_label(SUCameraRef ref) {
    StandIn& s = state();
    auto label = [&](HostModel* m) -> std::string {
        for (HostScene& scene : m->scenes) {
            if (scene.has_camera && &scene.camera == ref.ptr) {
                return scene.name;
            }
        }
        return {};
    };
    if (ref.ptr != nullptr && s.active) {
        std::string name = label(s.active.get());
        if (!name.empty()) {
            return name;
        }
    }
    for (HostModel* m : s.file_models) {
        std::string name = label(m);
        if (!name.empty()) {
            return name;
        }
    }
    return "?";
}

std::string number(double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.17g", v);
    return buf;
}

SUPoint3D point(const HostVec3& v) {
    return {v[0], v[1], v[2]};
}

} // namespace

// ---- control side ----

void host_reset() {
    state().clear();
}

void host_set_active_model(const HostModel& model) {
    state().active = std::make_unique<HostModel>(model);
}

void host_clear_active_model() {
    state().active.reset();
}

const HostModel* host_active_model() {
    return state().active.get();
}

void host_fail(const std::string& call, SUResult result, int after) {
    state().failures[call] = Failure{result, after, 0};
}

void host_limit_scenes(int limit) {
    state().scene_limit = limit;
}

const std::vector<HostCall>& host_calls() {
    return state().calls;
}

std::vector<std::string> host_call_names() {
    std::vector<std::string> names;
    for (const HostCall& c : state().calls) {
        names.push_back(c.name);
    }
    return names;
}

std::vector<std::string> host_call_details(const std::string& call) {
    std::vector<std::string> details;
    for (const HostCall& c : state().calls) {
        if (c.name == call) {
            details.push_back(c.detail);
        }
    }
    return details;
}

int host_live_models() {
    return static_cast<int>(state().file_models.size());
}
int host_live_strings() {
    return static_cast<int>(state().strings.size());
}
int host_init_depth() {
    return state().init_depth;
}
const std::vector<std::string>& host_misuses() {
    return state().misuses;
}

// ---- the modeller's C interface ----

extern "C" {

void SUInitialize(void) {
    SUResult ignored;
    enter("SUInitialize", "", &ignored);
    ++state().init_depth;
}

void SUTerminate(void) {
    SUResult ignored;
    enter("SUTerminate", "", &ignored);
    if (state().init_depth <= 0) {
        misuse("SUTerminate without SUInitialize");
        return;
    }
    --state().init_depth;
}

SUResult SUModelCreateFromFileWithStatus(SUModelRef* model, const char* file_path,
                                         enum SUModelLoadStatus* status) {
    SUResult r;
    if (enter("SUModelCreateFromFileWithStatus", file_path ? file_path : "(null)", &r)) {
        return r;
    }
    if (model == nullptr || status == nullptr) {
        return leave(SU_ERROR_NULL_POINTER_OUTPUT);
    }
    if (model->ptr != nullptr) {
        return leave(SU_ERROR_OVERWRITE_VALID);
    }
    if (file_path == nullptr) {
        return leave(SU_ERROR_NULL_POINTER_INPUT);
    }
    HostModel loaded;
    std::string error;
    if (!host_read_model_file(file_path, &loaded, &error)) {
        return leave(SU_ERROR_SERIALIZATION);
    }
    *status = loaded.file_version > kHostFileVersion ? SUModelLoadStatus_Success_MoreRecent
                                                     : SUModelLoadStatus_Success;
    auto* created = new HostModel(std::move(loaded));
    state().file_models.insert(created);
    model->ptr = created;
    return leave(SU_ERROR_NONE);
}

SUResult SUModelRelease(SUModelRef* model) {
    SUResult r;
    if (enter("SUModelRelease", "", &r)) {
        return r;
    }
    if (model == nullptr) {
        return leave(SU_ERROR_NULL_POINTER_INPUT);
    }
    StandIn& s = state();
    auto* m = static_cast<HostModel*>(model->ptr);
    if (m != nullptr && m == s.active.get()) {
        misuse("SUModelRelease of the active model");
        return leave(SU_ERROR_INVALID_INPUT);
    }
    if (s.file_models.erase(m) == 0) {
        misuse("SUModelRelease of an unknown model");
        return leave(SU_ERROR_INVALID_INPUT);
    }
    delete m;
    model->ptr = nullptr;
    return leave(SU_ERROR_NONE);
}

SUResult SUModelSaveToFileWithVersion(SUModelRef model, const char* file_path,
                                      enum SUModelVersion version) {
    SUResult r;
    if (enter("SUModelSaveToFileWithVersion", "version=" + std::to_string(version), &r)) {
        return r;
    }
    HostModel* m = find_model(model);
    if (m == nullptr) {
        misuse("SUModelSaveToFileWithVersion on an unknown model");
        return leave(SU_ERROR_INVALID_INPUT);
    }
    if (file_path == nullptr) {
        return leave(SU_ERROR_NULL_POINTER_INPUT);
    }
    if (version < SUModelVersion_SU3 || version > SUModelVersion_SU2021) {
        return leave(SU_ERROR_INVALID_INPUT);
    }
    HostModel saved = *m;
    saved.file_version = version;
    std::string error;
    if (!host_write_model_file(file_path, saved, &error)) {
        return leave(SU_ERROR_SERIALIZATION);
    }
    return leave(SU_ERROR_NONE);
}

SUResult SUApplicationGetActiveModel(SUModelRef* model) {
    SUResult r;
    if (enter("SUApplicationGetActiveModel", "", &r)) {
        return r;
    }
    if (model == nullptr) {
        return leave(SU_ERROR_NULL_POINTER_OUTPUT);
    }
    // Without an open model the call succeeds and hands out a null handle.
    model->ptr = state().active.get();
    return leave(SU_ERROR_NONE);
}

SUResult SUModelGetNumScenes(SUModelRef model, size_t* num_scenes) {
    SUResult r;
    if (enter("SUModelGetNumScenes", "", &r)) {
        return r;
    }
    HostModel* m = find_model(model);
    if (m == nullptr) {
        misuse("SUModelGetNumScenes on an unknown model");
        return leave(SU_ERROR_INVALID_INPUT);
    }
    if (num_scenes == nullptr) {
        return leave(SU_ERROR_NULL_POINTER_OUTPUT);
    }
    *num_scenes = m->scenes.size();
    return leave(SU_ERROR_NONE);
}

SUResult SUModelGetScenes(SUModelRef model, size_t len, SUSceneRef scenes[], size_t* count) {
    SUResult r;
    if (enter("SUModelGetScenes", "len=" + std::to_string(len), &r)) {
        return r;
    }
    HostModel* m = find_model(model);
    if (m == nullptr) {
        misuse("SUModelGetScenes on an unknown model");
        return leave(SU_ERROR_INVALID_INPUT);
    }
    if (scenes == nullptr || count == nullptr) {
        return leave(SU_ERROR_NULL_POINTER_OUTPUT);
    }
    size_t n = std::min(len, m->scenes.size());
    if (state().scene_limit >= 0) {
        n = std::min(n, static_cast<size_t>(state().scene_limit));
    }
    for (size_t i = 0; i < n; ++i) {
        scenes[i].ptr = &m->scenes[i];
    }
    *count = n;
    return leave(SU_ERROR_NONE);
}

SUResult SUSceneGetName(SUSceneRef scene, SUStringRef* name) {
    SUResult r;
    if (enter("SUSceneGetName", scene_label(scene), &r)) {
        return r;
    }
    HostScene* sc = find_scene(scene);
    if (sc == nullptr) {
        misuse("SUSceneGetName on an unknown scene");
        return leave(SU_ERROR_INVALID_INPUT);
    }
    std::string* str = name != nullptr ? find_string(*name) : nullptr;
    if (str == nullptr) {
        misuse("SUSceneGetName into an unknown string");
        return leave(SU_ERROR_NULL_POINTER_OUTPUT);
    }
    *str = sc->name;
    return leave(SU_ERROR_NONE);
}

SUResult SUSceneGetCamera(SUSceneRef scene, SUCameraRef* camera) {
    SUResult r;
    if (enter("SUSceneGetCamera", scene_label(scene), &r)) {
        return r;
    }
    HostScene* sc = find_scene(scene);
    if (sc == nullptr) {
        misuse("SUSceneGetCamera on an unknown scene");
        return leave(SU_ERROR_INVALID_INPUT);
    }
    if (camera == nullptr) {
        return leave(SU_ERROR_NULL_POINTER_OUTPUT);
    }
    if (camera->ptr != nullptr) {
        return leave(SU_ERROR_OVERWRITE_VALID);
    }
    if (!sc->has_camera) {
        return leave(SU_ERROR_NO_DATA);
    }
    camera->ptr = &sc->camera;
    return leave(SU_ERROR_NONE);
}

SUResult SUStringCreate(SUStringRef* out_string_ref) {
    SUResult r;
    if (enter("SUStringCreate", "", &r)) {
        return r;
    }
    if (out_string_ref == nullptr) {
        return leave(SU_ERROR_NULL_POINTER_OUTPUT);
    }
    if (out_string_ref->ptr != nullptr) {
        return leave(SU_ERROR_OVERWRITE_VALID);
    }
    auto* str = new std::string;
    state().strings.insert(str);
    out_string_ref->ptr = str;
    return leave(SU_ERROR_NONE);
}

SUResult SUStringRelease(SUStringRef* string_ref) {
    SUResult r;
    if (enter("SUStringRelease", "", &r)) {
        return r;
    }
    if (string_ref == nullptr) {
        return leave(SU_ERROR_NULL_POINTER_INPUT);
    }
    std::string* str = find_string(*string_ref);
    if (str == nullptr) {
        misuse("SUStringRelease of an unknown string");
        return leave(SU_ERROR_INVALID_INPUT);
    }
    state().strings.erase(str);
    delete str;
    string_ref->ptr = nullptr;
    return leave(SU_ERROR_NONE);
}

SUResult SUStringGetUTF8Length(SUStringRef string_ref, size_t* out_length) {
    SUResult r;
    if (enter("SUStringGetUTF8Length", "", &r)) {
        return r;
    }
    std::string* str = find_string(string_ref);
    if (str == nullptr) {
        misuse("SUStringGetUTF8Length on an unknown string");
        return leave(SU_ERROR_INVALID_INPUT);
    }
    if (out_length == nullptr) {
        return leave(SU_ERROR_NULL_POINTER_OUTPUT);
    }
    *out_length = str->size();
    return leave(SU_ERROR_NONE);
}

SUResult SUStringGetUTF8(SUStringRef string_ref, size_t char_array_length, char out_char_array[],
                         size_t* out_number_of_chars_copied) {
    SUResult r;
    if (enter("SUStringGetUTF8", "capacity=" + std::to_string(char_array_length), &r)) {
        return r;
    }
    std::string* str = find_string(string_ref);
    if (str == nullptr) {
        misuse("SUStringGetUTF8 on an unknown string");
        return leave(SU_ERROR_INVALID_INPUT);
    }
    if (out_char_array == nullptr || out_number_of_chars_copied == nullptr) {
        return leave(SU_ERROR_NULL_POINTER_OUTPUT);
    }
    if (char_array_length == 0) {
        return leave(SU_ERROR_INSUFFICIENT_SIZE);
    }
    const size_t n = std::min(str->size(), char_array_length - 1);
    std::memcpy(out_char_array, str->data(), n);
    out_char_array[n] = '\0';
    *out_number_of_chars_copied = n;
    return leave(SU_ERROR_NONE);
}

SUResult SUCameraGetOrientation(SUCameraRef camera, struct SUPoint3D* position,
                                struct SUPoint3D* target, struct SUVector3D* up_vector) {
    SUResult r;
    if (enter("SUCameraGetOrientation", camera_label(camera), &r)) {
        return r;
    }
    HostCamera* c = find_camera(camera);
    if (c == nullptr) {
        misuse("SUCameraGetOrientation on an unknown camera");
        return leave(SU_ERROR_INVALID_INPUT);
    }
    if (position == nullptr || target == nullptr || up_vector == nullptr) {
        return leave(SU_ERROR_NULL_POINTER_OUTPUT);
    }
    *position = point(c->eye);
    *target = point(c->target);
    *up_vector = {c->up[0], c->up[1], c->up[2]};
    return leave(SU_ERROR_NONE);
}

// The single-value getters and setters share their checks.
#define STANDIN_CAMERA(call_name, pointer_is_null, null_result)                                    \
    SUResult r;                                                                                    \
    if (enter(call_name, detail, &r)) {                                                            \
        return r;                                                                                  \
    }                                                                                              \
    HostCamera* c = find_camera(camera);                                                           \
    if (c == nullptr) {                                                                            \
        misuse(std::string(call_name) + " on an unknown camera");                                  \
        return leave(SU_ERROR_INVALID_INPUT);                                                      \
    }                                                                                              \
    if (pointer_is_null) {                                                                         \
        return leave(null_result);                                                                 \
    }

SUResult SUCameraGetPerspectiveFrustumFOV(SUCameraRef camera, double* fov) {
    const std::string detail = camera_label(camera);
    STANDIN_CAMERA("SUCameraGetPerspectiveFrustumFOV", fov == nullptr, SU_ERROR_NULL_POINTER_OUTPUT)
    *fov = c->fov_deg;
    return leave(SU_ERROR_NONE);
}

SUResult SUCameraGetPerspective(SUCameraRef camera, bool* perspective) {
    const std::string detail = camera_label(camera);
    STANDIN_CAMERA("SUCameraGetPerspective", perspective == nullptr, SU_ERROR_NULL_POINTER_OUTPUT)
    *perspective = c->perspective;
    return leave(SU_ERROR_NONE);
}

SUResult SUCameraGet2D(SUCameraRef camera, bool* make_2d) {
    const std::string detail = camera_label(camera);
    STANDIN_CAMERA("SUCameraGet2D", make_2d == nullptr, SU_ERROR_NULL_POINTER_OUTPUT)
    *make_2d = c->is_2d;
    return leave(SU_ERROR_NONE);
}

SUResult SUCameraGetScale2D(SUCameraRef camera, double* scale) {
    const std::string detail = camera_label(camera);
    STANDIN_CAMERA("SUCameraGetScale2D", scale == nullptr, SU_ERROR_NULL_POINTER_OUTPUT)
    *scale = c->scale_2d;
    return leave(SU_ERROR_NONE);
}

SUResult SUCameraGetCenter2D(SUCameraRef camera, struct SUPoint3D* center) {
    const std::string detail = camera_label(camera);
    STANDIN_CAMERA("SUCameraGetCenter2D", center == nullptr, SU_ERROR_NULL_POINTER_OUTPUT)
    *center = point(c->center_2d);
    return leave(SU_ERROR_NONE);
}

SUResult SUCameraSetPerspective(SUCameraRef camera, bool perspective) {
    const std::string detail = camera_label(camera) + (perspective ? " true" : " false");
    STANDIN_CAMERA("SUCameraSetPerspective", false, SU_ERROR_NONE)
    c->perspective = perspective;
    return leave(SU_ERROR_NONE);
}

SUResult SUCameraSet2D(SUCameraRef camera, bool make_2d) {
    const std::string detail = camera_label(camera) + (make_2d ? " true" : " false");
    STANDIN_CAMERA("SUCameraSet2D", false, SU_ERROR_NONE)
    c->is_2d = make_2d;
    return leave(SU_ERROR_NONE);
}

SUResult SUCameraSetScale2D(SUCameraRef camera, double scale) {
    const std::string detail = camera_label(camera) + " " + number(scale);
    STANDIN_CAMERA("SUCameraSetScale2D", false, SU_ERROR_NONE)
    c->scale_2d = scale;
    return leave(SU_ERROR_NONE);
}

SUResult SUCameraSetCenter2D(SUCameraRef camera, const struct SUPoint3D* center) {
    // Appended piece by piece: GCC 12 at -O3 reports a false overlap (-Wrestrict) inside
    // the inlined copies of a chain of string additions here.
    std::string detail = camera_label(camera);
    if (center) {
        detail.append(" ").append(number(center->x)).append(",").append(number(center->y));
        detail.append(",").append(number(center->z));
    } else {
        detail.append(" (null)");
    }
    STANDIN_CAMERA("SUCameraSetCenter2D", center == nullptr, SU_ERROR_NULL_POINTER_INPUT)
    c->center_2d = {center->x, center->y, center->z};
    return leave(SU_ERROR_NONE);
}

} // extern "C"
