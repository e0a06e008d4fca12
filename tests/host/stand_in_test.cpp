// The stand-in modeller must notice what the bridge's tests rely on it to notice.
#include "host/stand_in.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

namespace {

HostModel one_scene() {
    HostModel m;
    HostScene s;
    s.name = "Top";
    s.camera.scale_2d = 2.5;
    s.camera.center_2d = {1, -2, 0.125};
    m.scenes = {s};
    return m;
}

class StandIn : public ::testing::Test {
protected:
    void SetUp() override { host_reset(); }
    void TearDown() override { host_reset(); }
};

} // namespace

TEST(HostModelFile, FormatThenParseGivesTheSameModel) {
    HostModel m = one_scene();
    HostScene empty;
    empty.name = "No camera";
    empty.has_camera = false;
    m.scenes.push_back(empty);
    m.file_version = 9;
    HostModel back;
    std::string error;
    ASSERT_TRUE(host_parse_model(host_format_model(m), &back, &error)) << error;
    EXPECT_EQ(back, m);
}

TEST(HostModelFile, MissingCameraKeysTakeTheirDefaults) {
    HostModel m;
    std::string error;
    ASSERT_TRUE(host_parse_model(
        R"({"scenes":[{"name":"A","camera":{"is_2d":true}},{"name":"B"}]})", &m, &error))
        << error;
    ASSERT_EQ(m.scenes.size(), 2u);
    HostCamera expected;
    expected.is_2d = true;
    EXPECT_EQ(m.scenes[0].camera, expected);
    EXPECT_FALSE(m.scenes[1].has_camera);
    EXPECT_EQ(m.file_version, kHostFileVersion);
}

TEST(HostModelFile, BadFilesSayWhereTheyAreWrong) {
    const struct {
        const char* text;
        const char* where;
    } cases[] = {
        {R"({"file_version":3})", "scenes: expected an array"},
        {R"({"scenes":[{"camera":null}]})", "scenes[0].name: expected a string"},
        {R"({"scenes":[{"name":"A","camera":{"eye":[1,2]}}]})",
         "scenes[0].camera.eye: expected an array of 3 numbers"},
        {R"({"scenes":[{"name":"A","camera":{"is_2d":1}}]})",
         "scenes[0].camera.is_2d: expected true or false"},
        {R"({"scenes":[{"name":"A","camera":{"zoom":1}}]})",
         "scenes[0].camera.zoom: unknown camera key"},
        {R"({"scenes":[],"file_version":"new"})", "file_version: expected an integer"},
        {R"([1,2])", "model: expected an object"},
    };
    for (const auto& c : cases) {
        HostModel m;
        std::string error;
        EXPECT_FALSE(host_parse_model(c.text, &m, &error)) << c.text;
        EXPECT_EQ(error, c.where) << c.text;
    }
    HostModel m;
    std::string error;
    EXPECT_FALSE(host_parse_model("{\"scenes\":[", &m, &error));
    EXPECT_NE(error.find("parse error"), std::string::npos) << error;
    EXPECT_FALSE(host_read_model_file("/nonexistent/model.json", &m, &error));
    EXPECT_EQ(error, "/nonexistent/model.json: cannot open");
}

TEST_F(StandIn, NoticesCallsOutsideInitializeAndUnbalancedTerminate) {
    host_set_active_model(one_scene());
    SUModelRef model{nullptr};
    EXPECT_EQ(SUApplicationGetActiveModel(&model), SU_ERROR_NONE);
    SUTerminate();
    ASSERT_EQ(host_misuses().size(), 3u);
    EXPECT_EQ(host_misuses()[0], "SUApplicationGetActiveModel outside SUInitialize/SUTerminate");
    EXPECT_EQ(host_misuses()[2], "SUTerminate without SUInitialize");
    EXPECT_FALSE(host_calls()[0].initialized);
}

TEST_F(StandIn, RefusesToReleaseTheActiveModelAndCountsLiveHandles) {
    host_set_active_model(one_scene());
    SUInitialize();
    SUModelRef model{nullptr};
    ASSERT_EQ(SUApplicationGetActiveModel(&model), SU_ERROR_NONE);
    EXPECT_EQ(SUModelRelease(&model), SU_ERROR_INVALID_INPUT);
    ASSERT_EQ(host_misuses().size(), 1u);
    EXPECT_EQ(host_misuses()[0], "SUModelRelease of the active model");

    SUStringRef str{nullptr};
    ASSERT_EQ(SUStringCreate(&str), SU_ERROR_NONE);
    EXPECT_EQ(SUStringCreate(&str), SU_ERROR_OVERWRITE_VALID);
    EXPECT_EQ(host_live_strings(), 1);
    EXPECT_EQ(SUStringRelease(&str), SU_ERROR_NONE);
    EXPECT_EQ(str.ptr, nullptr);
    EXPECT_EQ(host_live_strings(), 0);
    // A stale handle is noticed, not dereferenced.
    SUStringRef stale{&model};
    EXPECT_EQ(SUStringRelease(&stale), SU_ERROR_INVALID_INPUT);
    EXPECT_EQ(host_misuses().size(), 2u);
    SUTerminate();
    EXPECT_EQ(host_init_depth(), 0);
}

TEST_F(StandIn, OpensFilesWithALoadStatusAndSavesTheirVersion) {
    const std::filesystem::path dir =
        std::filesystem::path(::testing::TempDir()) / ("standin_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    HostModel newer = one_scene();
    newer.file_version = kHostFileVersion + 1;
    std::string error;
    ASSERT_TRUE(host_write_model_file((dir / "m.json").string(), newer, &error)) << error;

    SUInitialize();
    SUModelRef model{nullptr};
    SUModelLoadStatus status = SUModelLoadStatus_Success;
    ASSERT_EQ(SUModelCreateFromFileWithStatus(&model, (dir / "m.json").string().c_str(), &status),
              SU_ERROR_NONE);
    EXPECT_EQ(status, SUModelLoadStatus_Success_MoreRecent);
    EXPECT_EQ(host_live_models(), 1);
    EXPECT_EQ(SUModelSaveToFileWithVersion(model, (dir / "old.json").string().c_str(),
                                           SUModelVersion_SU8),
              SU_ERROR_NONE);
    EXPECT_EQ(SUModelRelease(&model), SU_ERROR_NONE);
    EXPECT_EQ(host_live_models(), 0);
    SUTerminate();

    HostModel saved;
    ASSERT_TRUE(host_read_model_file((dir / "old.json").string(), &saved, &error)) << error;
    EXPECT_EQ(saved.file_version, 5);
    EXPECT_EQ(saved.scenes, one_scene().scenes);
    EXPECT_TRUE(host_misuses().empty());
    std::filesystem::remove_all(dir);
}

TEST_F(StandIn, InjectedFailuresStartAfterTheGivenNumberOfCalls) {
    host_set_active_model(one_scene());
    host_fail("SUModelGetNumScenes", SU_ERROR_GENERIC, 1);
    SUInitialize();
    SUModelRef model{nullptr};
    ASSERT_EQ(SUApplicationGetActiveModel(&model), SU_ERROR_NONE);
    size_t count = 99;
    EXPECT_EQ(SUModelGetNumScenes(model, &count), SU_ERROR_NONE);
    EXPECT_EQ(count, 1u);
    count = 99;
    EXPECT_EQ(SUModelGetNumScenes(model, &count), SU_ERROR_GENERIC);
    EXPECT_EQ(count, 99u) << "a failing getter leaves its out value alone";
    EXPECT_EQ(host_calls().back().result, SU_ERROR_GENERIC);

    // Success without an out value: the camera handle stays null.
    host_fail("SUSceneGetCamera", SU_ERROR_NONE);
    SUSceneRef scene{nullptr};
    size_t got = 0;
    ASSERT_EQ(SUModelGetScenes(model, 1, &scene, &got), SU_ERROR_NONE);
    SUCameraRef camera{nullptr};
    EXPECT_EQ(SUSceneGetCamera(scene, &camera), SU_ERROR_NONE);
    EXPECT_EQ(camera.ptr, nullptr);
    SUTerminate();
}

TEST_F(StandIn, StringCopiesAreBoundedByTheCapacity) {
    HostModel m;
    HostScene s;
    s.name = "Kitchen";
    s.has_camera = false;
    m.scenes = {s};
    host_set_active_model(m);
    SUInitialize();
    SUModelRef model{nullptr};
    ASSERT_EQ(SUApplicationGetActiveModel(&model), SU_ERROR_NONE);
    SUSceneRef scene{nullptr};
    size_t got = 0;
    ASSERT_EQ(SUModelGetScenes(model, 1, &scene, &got), SU_ERROR_NONE);
    SUStringRef str{nullptr};
    ASSERT_EQ(SUStringCreate(&str), SU_ERROR_NONE);
    ASSERT_EQ(SUSceneGetName(scene, &str), SU_ERROR_NONE);
    char buf[8] = "xxxxxxx";
    size_t copied = 0;
    ASSERT_EQ(SUStringGetUTF8(str, 4, buf, &copied), SU_ERROR_NONE);
    EXPECT_EQ(copied, 3u);
    EXPECT_STREQ(buf, "Kit");
    EXPECT_EQ(buf[4], 'x');
    EXPECT_EQ(SUStringRelease(&str), SU_ERROR_NONE);
    SUTerminate();
    EXPECT_TRUE(host_misuses().empty());
}
