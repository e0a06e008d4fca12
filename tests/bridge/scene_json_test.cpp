#include "bridge/scene_json.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <limits>
#include <string>

#include "bridge/camera_updates.h"
#include "bridge/host_binding.h"
#include "host/stand_in.h"

using zelvora::CameraValues;

namespace {

std::string escaped(const std::string& name) {
    std::string out;
    zelvora::append_json_name(out, name);
    return out;
}

std::string camera_json(const CameraValues& v) {
    std::string out;
    zelvora::append_camera_json(out, v);
    return out;
}

void* no_memory(size_t) {
    return nullptr;
}

} // namespace

TEST(SceneJsonName, EscapesTheNamedControlBytesQuoteAndBackslash) {
    EXPECT_EQ(escaped("a\t\""), "\"a\\t\\\"\"");
    EXPECT_EQ(escaped("\b\t\n\f\r"), "\"\\b\\t\\n\\f\\r\"");
    EXPECT_EQ(escaped("C:\\dir"), "\"C:\\\\dir\"");
    EXPECT_EQ(escaped(""), "\"\"");
}

TEST(SceneJsonName, OtherControlBytesBecomeLowerCaseUnicodeEscapes) {
    EXPECT_EQ(escaped("\x01"), "\"\\u0001\"");
    EXPECT_EQ(escaped("\x1b\x1f\x0b"), "\"\\u001b\\u001f\\u000b\"");
    EXPECT_EQ(escaped(std::string("a\0b", 3)), "\"a\\u0000b\"");
    // DEL and the solidus are not control bytes here.
    EXPECT_EQ(escaped("\x7f/"), "\"\x7f/\"");
}

TEST(SceneJsonName, BytesFromX80UpPassUnchanged) {
    const std::string utf8 = "K\xc3\xbc\x63he \xe6\x9d\xb1 \xf0\x9f\x93\xb7";
    EXPECT_EQ(escaped(utf8), "\"" + utf8 + "\"");
    // Not UTF-8 at all: still copied byte for byte.
    EXPECT_EQ(escaped("\xff\x80"), "\"\xff\x80\"");
}

TEST(SceneJsonCamera, DefaultsWriteTheDocumentedText) {
    EXPECT_EQ(camera_json(CameraValues{}),
              "{\"eye\":[0,0,0],\"target\":[0,0,0],\"up\":[0,0,1],\"is_perspective\":true,"
              "\"fov_deg\":35,\"is_2d\":false,\"scale_2d\":1,\"center_2d\":[0,0,0]}");
}

TEST(SceneJsonCamera, NumbersUseFifteenSignificantDigits) {
    CameraValues v;
    v.eye = {0.5, -0.25, 1e20};
    v.target = {1.0 / 3.0, 123456789012345678.0, 1e-5};
    v.up = {123456789012345.0, 1e15, -0.0};
    v.perspective = false;
    v.fov_deg = 0.1;
    v.is_2d = true;
    v.scale_2d = 2.5;
    v.center_2d = {100000, -7, 3.14159265358979};
    EXPECT_EQ(camera_json(v),
              "{\"eye\":[0.5,-0.25,1e+20],"
              "\"target\":[0.333333333333333,1.23456789012346e+17,1e-05],"
              "\"up\":[123456789012345,1e+15,-0],"
              "\"is_perspective\":false,\"fov_deg\":0.1,\"is_2d\":true,\"scale_2d\":2.5,"
              "\"center_2d\":[100000,-7,3.14159265358979]}");
}

TEST(SceneJsonCamera, NonFiniteNumbersAreWrittenAsNull) {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        const char* what;
        CameraValues values;
        const char* expected;
    };
    CameraValues eye, fov, scale, center;
    eye.eye = {nan, 1, -inf};
    fov.fov_deg = inf;
    scale.scale_2d = -nan;
    center.center_2d = {0, nan, 2};
    const Case cases[] = {
        {"eye", eye, "\"eye\":[null,1,null]"},
        {"fov", fov, "\"fov_deg\":null,"},
        {"scale", scale, "\"scale_2d\":null,"},
        {"center", center, "\"center_2d\":[0,null,2]}"},
    };
    for (const Case& c : cases) {
        const std::string text = camera_json(c.values);
        EXPECT_NE(text.find(c.expected), std::string::npos) << c.what << ": " << text;
        EXPECT_EQ(text.find("nan"), std::string::npos) << c.what << ": " << text;
        EXPECT_EQ(text.find("inf"), std::string::npos) << c.what << ": " << text;
    }
}

TEST(SceneJsonCamera, NumbersIgnoreTheProcessLocale) {
    // A comma-decimal locale, as a modeller running in German would have set.
    const std::string before = std::setlocale(LC_ALL, nullptr);
    if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) {
        GTEST_SKIP() << "no de_DE.UTF-8 locale (scripts/install-deps makes it)";
    }
    CameraValues v;
    v.fov_deg = 0.1;
    v.scale_2d = 2.5;
    v.center_2d = {0.5, -1.25, 1e20};
    const std::string text = camera_json(v);
    const auto updates = zelvora::parse_camera_updates(
        (R"([{"name":"A","scale_2d":2.5,"center_2d":[0.5,-1.25,3]}])"));
    std::setlocale(LC_ALL, before.c_str());
    EXPECT_NE(text.find("\"fov_deg\":0.1,"), std::string::npos) << text;
    EXPECT_NE(text.find("\"scale_2d\":2.5,"), std::string::npos) << text;
    EXPECT_NE(text.find("\"center_2d\":[0.5,-1.25,1e+20]"), std::string::npos) << text;
    ASSERT_EQ(updates.size(), 1u);
    EXPECT_EQ(updates[0].scale_2d, 2.5);
    EXPECT_EQ(updates[0].center_2d[1], -1.25);
}

class SceneJsonWithHost : public ::testing::Test {
protected:
    void SetUp() override {
        host_reset();
        HostModel model;
        HostScene a;
        a.name = "A";
        HostScene b;
        b.name = "B";
        b.has_camera = false;
        model.scenes = {a, b};
        host_set_active_model(model);
        SUInitialize();
    }
    void TearDown() override {
        SUTerminate();
        EXPECT_EQ(host_live_strings(), 0);
        EXPECT_TRUE(host_misuses().empty());
        host_reset();
    }
    std::vector<SUSceneRef> scenes() {
        std::vector<SUSceneRef> list;
        EXPECT_EQ(zelvora::read_scenes(zelvora::active_model(), true, &list),
                  zelvora::SceneList::ok);
        return list;
    }
};

TEST_F(SceneJsonWithHost, NoMemoryForTheTextGivesSevenAndHandsOutNothing) {
    char* out = nullptr;
    EXPECT_EQ(zelvora::write_scenes_json(scenes(), &out, no_memory), 7);
    EXPECT_EQ(out, nullptr);
}

TEST_F(SceneJsonWithHost, TextIsOneNulTerminatedBlock) {
    char* out = nullptr;
    ASSERT_EQ(zelvora::write_scenes_json(scenes(), &out, std::malloc), 0);
    ASSERT_NE(out, nullptr);
    const std::string expected =
        "[{\"name\":\"A\",\"camera\":{\"eye\":[0,0,1],\"target\":[0,0,0],\"up\":[0,1,0],"
        "\"is_perspective\":true,\"fov_deg\":30,\"is_2d\":false,\"scale_2d\":1,"
        "\"center_2d\":[0,0,0]}},{\"name\":\"B\",\"camera\":null}]";
    EXPECT_EQ(std::string(out), expected);
    std::free(out);
}

TEST_F(SceneJsonWithHost, ReadScenesKeepsOnlyWhatTheHostHandedOut) {
    std::vector<SUSceneRef> list;
    host_limit_scenes(1);
    EXPECT_EQ(zelvora::read_scenes(zelvora::active_model(), true, &list), zelvora::SceneList::ok);
    EXPECT_EQ(list.size(), 1u);
    host_fail("SUModelGetScenes", SU_ERROR_GENERIC);
    EXPECT_EQ(zelvora::read_scenes(zelvora::active_model(), true, &list),
              zelvora::SceneList::list_failed);
    EXPECT_TRUE(list.empty());
    // Without strictness the failure is ignored and no scene is kept.
    EXPECT_EQ(zelvora::read_scenes(zelvora::active_model(), false, &list), zelvora::SceneList::ok);
    EXPECT_TRUE(list.empty());
    host_fail("SUModelGetNumScenes", SU_ERROR_GENERIC);
    EXPECT_EQ(zelvora::read_scenes(zelvora::active_model(), false, &list),
              zelvora::SceneList::count_failed);
}
