// The camera apply end to end through the stand-in modeller's command line: a model whose scene
// names hold JSON's structural characters and escapes, a camera file that names each scene as a
// JSON writer may spell it, `scenehost apply` and then `scenehost read` of the saved model.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

#include "host/model_file.h"

namespace {

struct NameCase {
    const char* spelling; // between the quotes of the camera file
    const char* name;     // the scene's own name
};

// The scanner's fuzz target starts from the same names (seeds/camera_updates).
const NameCase kNames[] = {
    {"x}{[]", "x}{[]"},
    {"{Plan}", "{Plan}"},
    {"]", "]"},
    {"[", "["},
    {R"([A] \"quoted\" \\ back)", "[A] \"quoted\" \\ back"},
    {R"(\"name\":\"x\"})", "\"name\":\"x\"}"},
    {R"(a\/b})", "a/b}"},
    {R"(\b\f\n\r\t{)", "\b\f\n\r\t{"},
    {R"(\u0001])", "\x01]"},
    {R"(caf\u00e9 \u00C9{)", "caf\xc3\xa9 \xc3\x89{"},
    {R"(\ud83d\ude00[)", "\xf0\x9f\x98\x80["},
    {"scenes", "scenes"},
};

std::string cameras_text() {
    std::string text = "{\"scenes\": [\n";
    int i = 0;
    for (const NameCase& c : kNames) {
        text += std::string(i > 0 ? ",\n" : "") + "  {\"name\": \"" + c.spelling +
                "\", \"is_2d\": true, \"scale_2d\": " + std::to_string(i + 2) +
                ", \"center_2d\": [" + std::to_string(i) + ", -1, 0]}";
        ++i;
    }
    return text + "\n]}\n";
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}

// What the command printed on standard output, and its exit status.
std::string run(const std::string& command, int* status) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        *status = -1;
        return out;
    }
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) {
        out.append(buf, n);
    }
    *status = pclose(pipe);
    return out;
}

TEST(ScenehostNames, EveryNameMatchesItsSceneHoweverItIsSpelled) {
    const std::string dir = ::testing::TempDir() + "scenehost_names_" + std::to_string(getpid());
    ASSERT_EQ(std::system(("rm -rf " + dir + " && mkdir -p " + dir).c_str()), 0);
    const std::string cameras = cameras_text();
    EXPECT_EQ(read_file(MARROWBY_SOURCE_DIR "/tests/fuzz/seeds/camera_updates/names.json"), cameras)
        << "the fuzz seed holds the same names";
    std::ofstream(dir + "/cameras.json", std::ios::binary) << cameras;

    HostModel model;
    for (const NameCase& c : kNames) {
        model.scenes.push_back(HostScene{c.name, true, HostCamera{}});
    }
    model.scenes.push_back(HostScene{"Untouched", true, HostCamera{}});
    std::string error;
    ASSERT_TRUE(host_write_model_file(dir + "/model.json", model, &error)) << error;

    int status = 0;
    const std::string host = SCENEHOST_PATH;
    const std::string applied = run(host + " apply " + dir + "/model.json " + dir +
                                        "/cameras.json --save " + dir + "/out.json",
                                    &status);
    ASSERT_EQ(status, 0) << applied;
    EXPECT_EQ(applied.rfind("status 0\n", 0), 0u) << applied;

    const std::string read = run(host + " read " + dir + "/out.json", &status);
    ASSERT_EQ(status, 0) << read;
    ASSERT_EQ(read.rfind("status 0\n", 0), 0u) << read;
    const nlohmann::json scenes = nlohmann::json::parse(read.substr(9));
    ASSERT_EQ(scenes.size(), model.scenes.size());
    for (size_t i = 0; i < scenes.size(); ++i) {
        const std::string name = model.scenes[i].name;
        SCOPED_TRACE(i < std::size(kNames) ? kNames[i].spelling : name.c_str());
        EXPECT_EQ(scenes[i]["name"], name);
        const nlohmann::json& camera = scenes[i]["camera"];
        const bool named = i < std::size(kNames);
        EXPECT_EQ(camera["is_2d"], named);
        EXPECT_EQ(camera["scale_2d"], named ? double(i + 2) : HostCamera{}.scale_2d);
        EXPECT_EQ(camera["center_2d"],
                  named ? nlohmann::json({double(i), -1.0, 0.0}) : nlohmann::json({0.0, 0.0, 0.0}));
    }
    (void)std::system(("rm -rf " + dir).c_str());
}

} // namespace
