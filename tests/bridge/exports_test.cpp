// The real libzelvora.so, loaded with dlopen as the modeller loads it. Its SU* calls land in the
// stand-in linked into this test, which records them.
#include <dlfcn.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <new>
#include <string>
#include <vector>

#include "host/model_file.h"
#include "host/stand_in.h"

namespace {

// Out of memory on demand inside the library: while armed, the allocation number `fail_at`
// among those made by the library's own code (not the stand-in's, which like the real
// modeller never throws) throws std::bad_alloc once.
struct AllocationFault {
    bool armed = false;
    long fail_at = 0;
    long seen = 0;
};

AllocationFault& allocation_fault() {
    static AllocationFault fault;
    return fault;
}

bool called_from_library(const void* caller) {
    Dl_info info;
    return dladdr(caller, &info) != 0 && info.dli_fname != nullptr &&
           std::strstr(info.dli_fname, "libzelvora") != nullptr;
}

} // namespace

// The library takes operator new from this process, as it would from the modeller.
void* operator new(std::size_t size) {
    AllocationFault& fault = allocation_fault();
    if (fault.armed && called_from_library(__builtin_return_address(0)) &&
        ++fault.seen == fault.fail_at) {
        fault.armed = false;
        throw std::bad_alloc();
    }
    if (void* block = std::malloc(size != 0 ? size : 1)) {
        return block;
    }
    throw std::bad_alloc();
}

// The blocks come from malloc above; GCC cannot see that and would warn.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* block) noexcept {
    std::free(block);
}

void operator delete(void* block, std::size_t) noexcept {
    std::free(block);
}
#pragma GCC diagnostic pop

namespace {

struct Zelvora {
    int32_t (*read)(const char*, char**) = nullptr;
    int32_t (*read_active)(char**) = nullptr;
    int32_t (*apply)(const char*) = nullptr;
    int32_t (*convert)(const char*, const char*, int32_t) = nullptr;
    void (*free_text)(char*) = nullptr;
    void* handle = nullptr;
};

template <typename Fn> void bind(void* lib, const char* name, Fn* fn) {
    *fn = reinterpret_cast<Fn>(dlsym(lib, name));
}

const Zelvora& zelvora() {
    static const Zelvora z = [] {
        Zelvora lib;
        lib.handle = dlopen(ZELVORA_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
        if (lib.handle == nullptr) {
            return lib;
        }
        bind(lib.handle, "su_read_pages_cameras_json", &lib.read);
        bind(lib.handle, "su_read_active_pages_cameras_json", &lib.read_active);
        bind(lib.handle, "su_apply_camera_2d", &lib.apply);
        bind(lib.handle, "su_convert_skp_to_version", &lib.convert);
        bind(lib.handle, "su_free", &lib.free_text);
        return lib;
    }();
    return z;
}

using Names = std::vector<std::string>;

HostCamera camera(HostVec3 eye, bool perspective, bool is_2d, double scale, HostVec3 center) {
    HostCamera c;
    c.eye = eye;
    c.target = {0, 0, 0};
    c.up = {0, 0, 1};
    c.fov_deg = 35;
    c.perspective = perspective;
    c.is_2d = is_2d;
    c.scale_2d = scale;
    c.center_2d = center;
    return c;
}

HostScene scene(const std::string& name, const HostCamera& c) {
    return HostScene{name, true, c};
}

HostScene scene_without_camera(const std::string& name) {
    HostScene s;
    s.name = name;
    s.has_camera = false;
    return s;
}

// Two scenes with known cameras and their text, written out by hand from the format.
HostModel two_scenes() {
    HostModel m;
    m.scenes = {scene("Front", camera({0, -120, 40}, true, false, 1, {0, 0, 0})),
                scene("Plan", camera({0, 0, 500}, false, true, 2.5, {0.5, -1, 0}))};
    m.scenes[1].camera.up = {0, 1, 0};
    m.scenes[1].camera.fov_deg = 30;
    return m;
}

const char* const kTwoScenesJson =
    "[{\"name\":\"Front\",\"camera\":{\"eye\":[0,-120,40],\"target\":[0,0,0],\"up\":[0,0,1],"
    "\"is_perspective\":true,\"fov_deg\":35,\"is_2d\":false,\"scale_2d\":1,"
    "\"center_2d\":[0,0,0]}},"
    "{\"name\":\"Plan\",\"camera\":{\"eye\":[0,0,500],\"target\":[0,0,0],\"up\":[0,1,0],"
    "\"is_perspective\":false,\"fov_deg\":30,\"is_2d\":true,\"scale_2d\":2.5,"
    "\"center_2d\":[0.5,-1,0]}}]";

const char* const kDefaultCameraJson =
    "{\"eye\":[0,0,0],\"target\":[0,0,0],\"up\":[0,0,1],\"is_perspective\":true,"
    "\"fov_deg\":35,\"is_2d\":false,\"scale_2d\":1,\"center_2d\":[0,0,0]}";

// The calls one scene costs a reader: its name, then its camera with every getter.
const Names kSceneReadCalls = {"SUStringCreate",         "SUSceneGetName",
                               "SUStringGetUTF8Length",  "SUStringGetUTF8",
                               "SUStringRelease",        "SUSceneGetCamera",
                               "SUCameraGetOrientation", "SUCameraGetPerspectiveFrustumFOV",
                               "SUCameraGetPerspective", "SUCameraGet2D",
                               "SUCameraGetScale2D",     "SUCameraGetCenter2D"};

Names concat(std::initializer_list<Names> parts) {
    Names all;
    for (const Names& p : parts) {
        all.insert(all.end(), p.begin(), p.end());
    }
    return all;
}

class Exports : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(zelvora().handle, nullptr) << dlerror();
        ASSERT_NE(zelvora().free_text, nullptr);
        host_reset();
        dir_ = std::filesystem::path(::testing::TempDir()) /
               ("zelvora_" + std::to_string(::getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir_);
    }

    // Whatever happened, every handle has been given back and the interface closed.
    void TearDown() override {
        EXPECT_EQ(host_init_depth(), 0);
        EXPECT_EQ(host_live_models(), 0);
        EXPECT_EQ(host_live_strings(), 0);
        for (const std::string& m : host_misuses()) {
            ADD_FAILURE() << m;
        }
        for (const HostCall& c : host_calls()) {
            EXPECT_TRUE(c.initialized || c.name == "SUInitialize") << c.name;
        }
        host_reset();
        std::filesystem::remove_all(dir_);
    }

    std::string write_model(const HostModel& m, const std::string& file = "model.json") {
        const std::string path = (dir_ / file).string();
        std::string error;
        EXPECT_TRUE(host_write_model_file(path, m, &error)) << error;
        return path;
    }

    // Reads the model file; the text, or "(none)" when none was handed out.
    std::string read_file(const std::string& path, int32_t* status) {
        char* out = nullptr;
        *status = zelvora().read(path.c_str(), &out);
        return take(out);
    }

    std::string read_active(int32_t* status) {
        char* out = nullptr;
        *status = zelvora().read_active(&out);
        return take(out);
    }

    static std::string take(char* out) {
        if (out == nullptr) {
            return "(none)";
        }
        std::string text(out);
        zelvora().free_text(out);
        return text;
    }

    std::filesystem::path dir_;
};

} // namespace

// ---- arguments ----

TEST_F(Exports, NullArgumentsGiveTwoWithoutAnyHostCall) {
    char* out = reinterpret_cast<char*>(&out);
    EXPECT_EQ(zelvora().read(nullptr, nullptr), 2);
    EXPECT_EQ(zelvora().read("x.json", nullptr), 2);
    EXPECT_EQ(zelvora().read(nullptr, &out), 2);
    // A valid out pointer is nulled before anything else.
    EXPECT_EQ(out, nullptr);
    out = reinterpret_cast<char*>(&out);
    EXPECT_EQ(zelvora().read_active(nullptr), 2);
    EXPECT_EQ(zelvora().apply(nullptr), 2);
    EXPECT_EQ(zelvora().convert(nullptr, "b", 2015), 2);
    EXPECT_EQ(zelvora().convert("a", nullptr, 2015), 2);
    EXPECT_EQ(zelvora().convert(nullptr, nullptr, 1999), 2);
    EXPECT_TRUE(host_calls().empty());
}

TEST_F(Exports, OnlyTheFiveExportsAreVisible) {
    EXPECT_NE(zelvora().read, nullptr);
    EXPECT_NE(zelvora().read_active, nullptr);
    EXPECT_NE(zelvora().apply, nullptr);
    EXPECT_NE(zelvora().convert, nullptr);
    // The scanner and the writer are inside the library but hidden.
    EXPECT_EQ(dlsym(zelvora().handle, "_ZN7zelvora20parse_camera_updatesEPKc"), nullptr);
    EXPECT_EQ(dlsym(zelvora().handle, "_ZN7zelvora18read_camera_valuesE11SUCameraRef"), nullptr);
}

TEST_F(Exports, FreeIgnoresNull) {
    zelvora().free_text(nullptr);
    EXPECT_TRUE(host_calls().empty());
}

// ---- reading a model file ----

TEST_F(Exports, ZeroScenesReadAsAnEmptyArray) {
    const std::string path = write_model(HostModel{});
    int32_t status = -1;
    EXPECT_EQ(read_file(path, &status), "[]");
    EXPECT_EQ(status, 0);
    EXPECT_EQ(host_call_names(), (Names{"SUInitialize", "SUModelCreateFromFileWithStatus",
                                        "SUModelGetNumScenes", "SUModelRelease", "SUTerminate"}));
}

TEST_F(Exports, FileReaderWritesTheTextByteForByteInCallOrder) {
    const std::string path = write_model(two_scenes());
    int32_t status = -1;
    EXPECT_EQ(read_file(path, &status), kTwoScenesJson);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(host_call_names(), concat({{"SUInitialize", "SUModelCreateFromFileWithStatus",
                                          "SUModelGetNumScenes", "SUModelGetScenes"},
                                         kSceneReadCalls,
                                         kSceneReadCalls,
                                         {"SUModelRelease", "SUTerminate"}}));
    EXPECT_EQ(host_call_details("SUModelCreateFromFileWithStatus"), Names{path});
    EXPECT_EQ(host_call_details("SUModelGetScenes"), Names{"len=2"});
    // Each name is fetched with its length plus one as the capacity.
    EXPECT_EQ(host_call_details("SUStringGetUTF8"), (Names{"capacity=6", "capacity=5"}));
    EXPECT_EQ(host_call_details("SUSceneGetCamera"), (Names{"Front", "Plan"}));
}

TEST_F(Exports, FileFromANewerReleaseStillReads) {
    HostModel m = two_scenes();
    m.file_version = kHostFileVersion + 5;
    int32_t status = -1;
    EXPECT_EQ(read_file(write_model(m), &status), kTwoScenesJson);
    EXPECT_EQ(status, 0);
}

TEST_F(Exports, UnopenableFileGivesFourAndStillTerminates) {
    int32_t status = -1;
    EXPECT_EQ(read_file((dir_ / "missing.json").string(), &status), "(none)");
    EXPECT_EQ(status, 4);
    EXPECT_EQ(host_call_names(),
              (Names{"SUInitialize", "SUModelCreateFromFileWithStatus", "SUTerminate"}));
}

TEST_F(Exports, OpenThatYieldsNoModelGivesFour) {
    const std::string path = write_model(two_scenes());
    host_fail("SUModelCreateFromFileWithStatus", SU_ERROR_NONE);
    int32_t status = -1;
    EXPECT_EQ(read_file(path, &status), "(none)");
    EXPECT_EQ(status, 4);
    EXPECT_EQ(host_call_names(),
              (Names{"SUInitialize", "SUModelCreateFromFileWithStatus", "SUTerminate"}));
}

TEST_F(Exports, FileReaderStatusesFiveAndSixReleaseTheModel) {
    const std::string path = write_model(two_scenes());
    int32_t status = -1;
    host_fail("SUModelGetNumScenes", SU_ERROR_GENERIC);
    EXPECT_EQ(read_file(path, &status), "(none)");
    EXPECT_EQ(status, 5);
    EXPECT_EQ(host_call_names(), (Names{"SUInitialize", "SUModelCreateFromFileWithStatus",
                                        "SUModelGetNumScenes", "SUModelRelease", "SUTerminate"}));

    host_reset();
    host_fail("SUModelGetScenes", SU_ERROR_OUT_OF_RANGE);
    EXPECT_EQ(read_file(path, &status), "(none)");
    EXPECT_EQ(status, 6);
    EXPECT_EQ(host_call_names(),
              (Names{"SUInitialize", "SUModelCreateFromFileWithStatus", "SUModelGetNumScenes",
                     "SUModelGetScenes", "SUModelRelease", "SUTerminate"}));
}

TEST_F(Exports, OnlyTheScenesTheHostHandsOutAreWritten) {
    host_limit_scenes(1);
    int32_t status = -1;
    const std::string text = read_file(write_model(two_scenes()), &status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(text, std::string(kTwoScenesJson).substr(0, std::string(kTwoScenesJson).find("},{")) +
                        "}]");
}

// ---- reading the open model ----

TEST_F(Exports, ActiveReaderWritesTheSameTextAndNeverReleasesTheModel) {
    host_set_active_model(two_scenes());
    int32_t status = -1;
    EXPECT_EQ(read_active(&status), kTwoScenesJson);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(host_call_names(), concat({{"SUInitialize", "SUApplicationGetActiveModel",
                                          "SUModelGetNumScenes", "SUModelGetScenes"},
                                         kSceneReadCalls,
                                         kSceneReadCalls,
                                         {"SUTerminate"}}));
}

TEST_F(Exports, ActiveReaderStatuses) {
    int32_t status = -1;
    // No open model.
    EXPECT_EQ(read_active(&status), "(none)");
    EXPECT_EQ(status, 3);
    EXPECT_EQ(host_call_names(),
              (Names{"SUInitialize", "SUApplicationGetActiveModel", "SUTerminate"}));

    host_set_active_model(two_scenes());
    host_fail("SUApplicationGetActiveModel", SU_ERROR_GENERIC);
    EXPECT_EQ(read_active(&status), "(none)");
    EXPECT_EQ(status, 3);

    host_reset();
    host_set_active_model(two_scenes());
    host_fail("SUModelGetNumScenes", SU_ERROR_GENERIC);
    EXPECT_EQ(read_active(&status), "(none)");
    EXPECT_EQ(status, 5);

    host_reset();
    host_set_active_model(two_scenes());
    host_fail("SUModelGetScenes", SU_ERROR_GENERIC);
    EXPECT_EQ(read_active(&status), "(none)");
    EXPECT_EQ(status, 6);
    EXPECT_EQ(host_call_names().back(), "SUTerminate");
}

TEST_F(Exports, ZeroScenesOfTheOpenModelReadAsAnEmptyArray) {
    host_set_active_model(HostModel{});
    int32_t status = -1;
    EXPECT_EQ(read_active(&status), "[]");
    EXPECT_EQ(status, 0);
}

TEST_F(Exports, SceneWithoutACameraWritesNull) {
    HostModel m;
    m.scenes = {scene_without_camera("Empty")};
    host_set_active_model(m);
    int32_t status = -1;
    EXPECT_EQ(read_active(&status), "[{\"name\":\"Empty\",\"camera\":null}]");
    EXPECT_EQ(status, 0);

    // A camera call that succeeds without handing out a camera counts the same.
    host_reset();
    host_set_active_model(two_scenes());
    host_fail("SUSceneGetCamera", SU_ERROR_NONE, 1);
    const std::string text = read_active(&status);
    EXPECT_EQ(status, 0);
    EXPECT_NE(text.find("\"name\":\"Front\",\"camera\":{\"eye\""), std::string::npos);
    EXPECT_NE(text.find("{\"name\":\"Plan\",\"camera\":null}]"), std::string::npos);
}

TEST_F(Exports, FailingGettersLeaveTheDefaults) {
    HostModel m;
    m.scenes = {scene("S", camera({9, 9, 9}, false, true, 7, {4, 4, 4}))};
    host_set_active_model(m);
    for (const char* call :
         {"SUCameraGetOrientation", "SUCameraGetPerspectiveFrustumFOV", "SUCameraGetPerspective",
          "SUCameraGet2D", "SUCameraGetScale2D", "SUCameraGetCenter2D"}) {
        host_fail(call, SU_ERROR_GENERIC);
    }
    int32_t status = -1;
    EXPECT_EQ(read_active(&status),
              std::string("[{\"name\":\"S\",\"camera\":") + kDefaultCameraJson + "}]");
    EXPECT_EQ(status, 0);
}

TEST_F(Exports, NamesAreEscapedByteForByte) {
    HostModel m;
    m.scenes = {scene_without_camera("a\t\""),
                scene_without_camera("\x01\x7f"),
                scene_without_camera("back\\slash\r\n"),
                scene_without_camera("K\xc3\xbc\x63he \xe6\x9d\xb1"),
                scene_without_camera(""),
                scene_without_camera(std::string("nul\0!", 5))};
    host_set_active_model(m);
    int32_t status = -1;
    EXPECT_EQ(read_active(&status), "[{\"name\":\"a\\t\\\"\",\"camera\":null},"
                                    "{\"name\":\"\\u0001\x7f\",\"camera\":null},"
                                    "{\"name\":\"back\\\\slash\\r\\n\",\"camera\":null},"
                                    "{\"name\":\"K\xc3\xbc\x63he \xe6\x9d\xb1\",\"camera\":null},"
                                    "{\"name\":\"\",\"camera\":null},"
                                    "{\"name\":\"nul\\u0000!\",\"camera\":null}]");
    EXPECT_EQ(status, 0);
}

TEST_F(Exports, NameThatCannotBeFetchedIsEmpty) {
    host_set_active_model(two_scenes());
    host_fail("SUStringGetUTF8", SU_ERROR_GENERIC);
    int32_t status = -1;
    const std::string text = read_active(&status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(text.rfind("[{\"name\":\"\",\"camera\":{", 0), 0u);
    // The string is released on that path too (checked after every test).
}

// ---- applying cameras ----

TEST_F(Exports, ApplyStatuses) {
    EXPECT_EQ(zelvora().apply("[]"), 3);
    EXPECT_EQ(host_call_names(),
              (Names{"SUInitialize", "SUApplicationGetActiveModel", "SUTerminate"}));

    host_reset();
    host_set_active_model(two_scenes());
    host_fail("SUModelGetNumScenes", SU_ERROR_GENERIC);
    EXPECT_EQ(zelvora().apply(R"([{"name":"Plan","scale_2d":3}])"), 4);
    EXPECT_EQ(host_call_names(), (Names{"SUInitialize", "SUApplicationGetActiveModel",
                                        "SUModelGetNumScenes", "SUTerminate"}));
    EXPECT_EQ(*host_active_model(), two_scenes());
}

TEST_F(Exports, ApplySetsTheGivenValuesInOrder) {
    host_set_active_model(two_scenes());
    EXPECT_EQ(zelvora().apply(R"({"scenes":[{"name":"Front","is_2d":true,"scale_2d":4,)"
                              R"("center_2d":[10,20,0],"is_perspective":false}]})"),
              0);
    EXPECT_EQ(host_call_names(), (Names{"SUInitialize",           "SUApplicationGetActiveModel",
                                        "SUModelGetNumScenes",    "SUModelGetScenes",
                                        "SUStringCreate",         "SUSceneGetName",
                                        "SUStringGetUTF8Length",  "SUStringGetUTF8",
                                        "SUStringRelease",        "SUSceneGetCamera",
                                        "SUCameraSetPerspective", "SUCameraSet2D",
                                        "SUCameraSetScale2D",     "SUCameraSetCenter2D",
                                        "SUStringCreate",         "SUSceneGetName",
                                        "SUStringGetUTF8Length",  "SUStringGetUTF8",
                                        "SUStringRelease",        "SUTerminate"}));
    HostModel expected = two_scenes();
    expected.scenes[0].camera.perspective = false;
    expected.scenes[0].camera.is_2d = true;
    expected.scenes[0].camera.scale_2d = 4;
    expected.scenes[0].camera.center_2d = {10, 20, 0};
    EXPECT_EQ(*host_active_model(), expected);
}

TEST_F(Exports, ApplyTouchesOnlyTheValuesGiven) {
    host_set_active_model(two_scenes());
    EXPECT_EQ(zelvora().apply(R"([{"name":"Plan","scale_2d":0.75,"center_2d":[1,2]}])"), 0);
    EXPECT_EQ(host_call_details("SUCameraSetScale2D"), Names{"Plan 0.75"});
    EXPECT_TRUE(host_call_details("SUCameraSetCenter2D").empty());
    EXPECT_TRUE(host_call_details("SUCameraSet2D").empty());
    EXPECT_TRUE(host_call_details("SUCameraSetPerspective").empty());
    HostModel expected = two_scenes();
    expected.scenes[1].camera.scale_2d = 0.75;
    EXPECT_EQ(*host_active_model(), expected);
}

TEST_F(Exports, ApplyGoesInModelOrderAndTheLaterUpdateWins) {
    host_set_active_model(two_scenes());
    EXPECT_EQ(zelvora().apply(R"([{"name":"Plan","scale_2d":5},{"name":"Front","scale_2d":6},)"
                              R"({"name":"Plan","scale_2d":7}])"),
              0);
    EXPECT_EQ(host_call_details("SUCameraSetScale2D"), (Names{"Front 6", "Plan 5", "Plan 7"}));
    // Each update asks for the camera afresh.
    EXPECT_EQ(host_call_details("SUSceneGetCamera"), (Names{"Front", "Plan", "Plan"}));
    EXPECT_EQ(host_active_model()->scenes[1].camera.scale_2d, 7);
}

TEST_F(Exports, ApplyThatMatchesNothingChangesNothing) {
    host_set_active_model(two_scenes());
    EXPECT_EQ(zelvora().apply(R"([{"name":"Side","is_2d":true},{"name":"front","scale_2d":2}])"),
              0);
    EXPECT_EQ(*host_active_model(), two_scenes());
    EXPECT_TRUE(host_call_details("SUSceneGetCamera").empty());

    // Nothing to read at all: the scenes are listed, but no name is asked for.
    host_reset();
    host_set_active_model(two_scenes());
    EXPECT_EQ(zelvora().apply("no array here {\"name\":\"Plan\",\"is_2d\":false}"), 0);
    EXPECT_EQ(host_call_names(), (Names{"SUInitialize", "SUApplicationGetActiveModel",
                                        "SUModelGetNumScenes", "SUModelGetScenes", "SUTerminate"}));
    EXPECT_EQ(*host_active_model(), two_scenes());
}

TEST_F(Exports, ApplyIgnoresAFailingSceneListAndSetterResults) {
    host_set_active_model(two_scenes());
    host_fail("SUModelGetScenes", SU_ERROR_GENERIC);
    EXPECT_EQ(zelvora().apply(R"([{"name":"Plan","scale_2d":3}])"), 0);
    EXPECT_EQ(*host_active_model(), two_scenes());

    host_reset();
    host_set_active_model(two_scenes());
    host_fail("SUCameraSet2D", SU_ERROR_GENERIC);
    EXPECT_EQ(zelvora().apply(R"([{"name":"Plan","is_2d":false,"scale_2d":3}])"), 0);
    EXPECT_TRUE(host_active_model()->scenes[1].camera.is_2d);
    EXPECT_EQ(host_active_model()->scenes[1].camera.scale_2d, 3);
}

TEST_F(Exports, ApplyUsesOnlyTheScenesTheHostHandsOut) {
    host_set_active_model(two_scenes());
    host_limit_scenes(1);
    EXPECT_EQ(zelvora().apply(R"([{"name":"Front","scale_2d":3},{"name":"Plan","scale_2d":3}])"),
              0);
    EXPECT_EQ(host_call_details("SUCameraSetScale2D"), Names{"Front 3"});
}

TEST_F(Exports, ApplySkipsScenesWithoutACamera) {
    HostModel m = two_scenes();
    m.scenes.push_back(scene_without_camera("Empty"));
    host_set_active_model(m);
    EXPECT_EQ(zelvora().apply(R"([{"name":"Empty","is_2d":true},{"name":"Front","is_2d":true}])"),
              0);
    EXPECT_EQ(host_call_details("SUCameraSet2D"), Names{"Front true"});
    EXPECT_TRUE(host_active_model()->scenes[0].camera.is_2d);
}

TEST_F(Exports, ApplyMatchesNamesThatTheReaderEscaped) {
    HostModel m = two_scenes();
    m.scenes[0].name = "Sketch \"A\"";
    m.scenes[1].name = "C:\\plans\ttab \xe2\x82\xac";
    host_set_active_model(m);
    int32_t status = -1;
    const std::string text = read_active(&status);
    ASSERT_EQ(status, 0);
    // The names exactly as the reader wrote them, and one spelled with other escapes.
    host_reset();
    host_set_active_model(m);
    EXPECT_EQ(zelvora().apply(R"([{"name":"Sketch \"A\"","scale_2d":9},)"
                              R"({"name":"C:\\plans\ttab \u20ac","scale_2d":8}])"),
              0);
    EXPECT_EQ(host_call_details("SUCameraSetScale2D"),
              (Names{"Sketch \"A\" 9", "C:\\plans\ttab \xe2\x82\xac 8"}));
    EXPECT_NE(text.find(R"("name":"Sketch \"A\"")"), std::string::npos) << text;
}

TEST_F(Exports, ValuesThatAreNotFiniteNumbersLeaveTheirSettingUnchanged) {
    host_set_active_model(two_scenes());
    EXPECT_EQ(zelvora().apply(R"([{"name":"Plan","scale_2d":"big","center_2d":[2,3,4]},)"
                              R"({"name":"Front","scale_2d":1e999,"center_2d":[NaN,0,0]}])"),
              0);
    EXPECT_TRUE(host_call_details("SUCameraSetScale2D").empty());
    EXPECT_EQ(host_call_details("SUCameraSetCenter2D"), Names{"Plan 2,3,4"});
    HostModel expected = two_scenes();
    expected.scenes[1].camera.center_2d = {2, 3, 4};
    EXPECT_EQ(*host_active_model(), expected);
}

TEST_F(Exports, RunningOutOfMemoryAnywhereInAnExportGivesSevenAndReleasesEverything) {
    HostModel model = two_scenes();
    model.scenes[0].name = "A scene name longer than any short string";
    const std::string apply_text =
        R"([{"name":"A scene name longer than any short string","scale_2d":3},)"
        R"({"name":"Plan","center_2d":[1,2,3]}])";
    const std::string path = write_model(model);
    struct Export {
        const char* what;
        std::function<int32_t()> run;
        std::vector<int32_t> failures; // the statuses that may report the fault
    };
    // A scene list that cannot be held is status 6 for the readers, as a failing list is.
    const std::vector<Export> exports = {
        {"read file",
         [&] {
             int32_t status = -1;
             read_file(path, &status);
             return status;
         },
         {6, 7}},
        {"read active",
         [&] {
             int32_t status = -1;
             read_active(&status);
             return status;
         },
         {6, 7}},
        {"apply", [&] { return zelvora().apply(apply_text.c_str()); }, {7}},
    };
    AllocationFault& fault = allocation_fault();
    for (const Export& e : exports) {
        SCOPED_TRACE(e.what);
        const auto& run = e.run;
        // A run without a fault counts the library's allocations.
        host_reset();
        host_set_active_model(model);
        fault = AllocationFault{true, 0, 0};
        const int32_t clean = run();
        const long allocations = fault.seen;
        fault.armed = false;
        ASSERT_EQ(clean, 0);
        int sevens = 0;
        for (long k = 1; k <= allocations; ++k) {
            host_reset();
            host_set_active_model(model);
            fault = AllocationFault{true, k, 0};
            const int32_t status = run();
            fault.armed = false;
            const bool failure = std::count(e.failures.begin(), e.failures.end(), status) > 0;
            EXPECT_TRUE(status == 0 || failure) << "allocation " << k << ": " << status;
            sevens += status == 7;
            EXPECT_EQ(host_init_depth(), 0) << "allocation " << k;
            EXPECT_EQ(host_live_models(), 0) << "allocation " << k;
            EXPECT_EQ(host_live_strings(), 0) << "allocation " << k;
        }
        EXPECT_GT(sevens, 0) << allocations << " allocations";
    }
}

TEST_F(Exports, ReaderTextFedBackRestoresTheCameras) {
    HostModel saved = two_scenes();
    saved.scenes[0].camera = camera({1, 2, 3}, false, true, 1.0 / 3.0, {-0.1, 1e-7, 12345.678});
    saved.scenes[1].camera = camera({4, 5, 6}, true, false, 1e20, {7, 8, 9});
    host_set_active_model(saved);
    int32_t status = -1;
    const std::string text = read_active(&status);
    ASSERT_EQ(status, 0);

    // Same scenes, every 2D value changed, and other values of their own.
    HostModel edited = saved;
    for (HostScene& s : edited.scenes) {
        s.camera.perspective = !s.camera.perspective;
        s.camera.is_2d = !s.camera.is_2d;
        s.camera.scale_2d = 42;
        s.camera.center_2d = {0, 0, 0};
        s.camera.eye = {100, 100, 100};
    }
    host_reset();
    host_set_active_model(edited);
    EXPECT_EQ(zelvora().apply(text.c_str()), 0);
    for (size_t i = 0; i < saved.scenes.size(); ++i) {
        const HostCamera& got = host_active_model()->scenes[i].camera;
        const HostCamera& want = saved.scenes[i].camera;
        EXPECT_EQ(got.perspective, want.perspective) << i;
        EXPECT_EQ(got.is_2d, want.is_2d) << i;
        // "%.15g" keeps fifteen significant digits.
        EXPECT_NEAR(got.scale_2d, want.scale_2d, std::abs(want.scale_2d) * 1e-14) << i;
        for (int k = 0; k < 3; ++k) {
            EXPECT_NEAR(got.center_2d[k], want.center_2d[k], std::abs(want.center_2d[k]) * 1e-14)
                << i;
        }
        EXPECT_EQ(got.eye, (HostVec3{100, 100, 100})) << "the eye is not a 2D value";
    }
}

// ---- converting ----

TEST_F(Exports, ConvertSavesWithTheVersionOfTheYear) {
    const std::string src = write_model(two_scenes(), "src.json");
    const std::string dst = (dir_ / "dst.json").string();
    EXPECT_EQ(zelvora().convert(src.c_str(), dst.c_str(), 2011), 0);
    EXPECT_EQ(host_call_names(),
              (Names{"SUInitialize", "SUModelCreateFromFileWithStatus",
                     "SUModelSaveToFileWithVersion", "SUModelRelease", "SUTerminate"}));
    EXPECT_EQ(host_call_details("SUModelSaveToFileWithVersion"), Names{"version=5"});
    HostModel written;
    std::string error;
    ASSERT_TRUE(host_read_model_file(dst, &written, &error)) << error;
    EXPECT_EQ(written.file_version, 5);
    EXPECT_EQ(written.scenes, two_scenes().scenes);
}

TEST_F(Exports, ConvertCoversTheWholeYearTable) {
    const std::string src = write_model(two_scenes(), "src.json");
    const std::string dst = (dir_ / "dst.json").string();
    const int versions[] = {4, 4, 5, 5, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 14, 14, 14, 14};
    for (int year = 2008; year <= 2025; ++year) {
        host_reset();
        EXPECT_EQ(zelvora().convert(src.c_str(), dst.c_str(), year), 0) << year;
        EXPECT_EQ(host_call_details("SUModelSaveToFileWithVersion"),
                  Names{"version=" + std::to_string(versions[year - 2008])})
            << year;
    }
}

TEST_F(Exports, ConvertRefusesOtherYearsBeforeTouchingTheHost) {
    const std::string src = write_model(two_scenes(), "src.json");
    for (const int32_t year : {2007, 2026, 0, -1, INT32_MAX}) {
        EXPECT_EQ(zelvora().convert(src.c_str(), "dst.json", year), 3) << year;
    }
    EXPECT_TRUE(host_calls().empty());
}

TEST_F(Exports, ConvertStatusesFourAndFive) {
    const std::string src = write_model(two_scenes(), "src.json");
    const std::string missing = (dir_ / "missing.json").string();
    EXPECT_EQ(zelvora().convert(missing.c_str(), "dst.json", 2020), 4);
    EXPECT_EQ(host_call_names(),
              (Names{"SUInitialize", "SUModelCreateFromFileWithStatus", "SUTerminate"}));

    host_reset();
    const std::string unwritable = (dir_ / "no" / "such" / "dir.json").string();
    EXPECT_EQ(zelvora().convert(src.c_str(), unwritable.c_str(), 2020), 5);
    EXPECT_EQ(host_call_names(),
              (Names{"SUInitialize", "SUModelCreateFromFileWithStatus",
                     "SUModelSaveToFileWithVersion", "SUModelRelease", "SUTerminate"}));

    host_reset();
    host_fail("SUModelSaveToFileWithVersion", SU_ERROR_SERIALIZATION);
    EXPECT_EQ(zelvora().convert(src.c_str(), (dir_ / "dst.json").c_str(), 2020), 5);
}
