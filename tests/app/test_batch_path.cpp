// Start-up: options from the command line, the batch path, and the exit codes.

#include "app/startup.h"
#include "document/engine_options.h"
#include "document/mesh_document.h"
#include "document/obj_reader.h"
#include "document/undo_history.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace {

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

struct StartUp : testing::Test {
    std::string dir = "/tmp/marrowby_batch_test_" + std::to_string(getpid());
    std::string sample = std::string(MARROWBY_SOURCE_DIR) + "/examples/box.obj";
    std::string seams = std::string(MARROWBY_SOURCE_DIR) + "/examples/box_seams.bin";
    std::string mesh = dir + "/box.obj";

    void SetUp() override {
        shutdownCleanup();
        startup_state() = StartupState{};
        engine_options() = EngineOptions{};
        std::string cmd = "rm -rf " + dir + " && mkdir -p " + dir + " && cp " + sample + " " + mesh;
        ASSERT_EQ(std::system(cmd.c_str()), 0);
    }
    void TearDown() override {
        shutdownCleanup();
        std::string cmd = "rm -rf " + dir;
        (void)std::system(cmd.c_str());
    }
    bool parse(const std::string& text) {
        std::vector<char> line(text.begin(), text.end());
        line.push_back('\0');
        return parseCommandLine(line.data());
    }
    int run(std::vector<std::string> args) {
        std::vector<const char*> argv = {"marrowby"};
        for (const std::string& a : args)
            argv.push_back(a.c_str());
        return marrowby_main(int(argv.size()), argv.data());
    }
};

TEST_F(StartUp, SwitchFieldsSetTheEngineOptionsByExactMatch) {
    EXPECT_FALSE(parse("\"" + mesh + "," + seams + ",-lscm,-nofillholes,\""));
    EXPECT_FALSE(engine_options().useAbf);
    EXPECT_FALSE(engine_options().fillHoles);
    EXPECT_TRUE(startup_state().startedWithFile);
    EXPECT_EQ(startup_state().exitTarget, mesh);
    EXPECT_EQ(MeshDocument::instance().faceCount, 96);
    EXPECT_EQ(UndoHistory::instance().size(), 2);

    EXPECT_FALSE(parse("\"" + mesh + "," + seams + ",,,\""));
    EXPECT_TRUE(engine_options().useAbf);
    EXPECT_TRUE(engine_options().fillHoles);
    EXPECT_FALSE(parse("\"" + mesh + "," + seams + ",-lscmx,-NOFILLHOLES,\""));
    EXPECT_TRUE(engine_options().useAbf);
    EXPECT_TRUE(engine_options().fillHoles);
    EXPECT_FALSE(parse("\"" + mesh + "," + seams + ",-LSCM,,live\""));
    EXPECT_TRUE(engine_options().useAbf);
}

TEST_F(StartUp, EmptyCommandLineLoadsNothing) {
    EXPECT_FALSE(parse(""));
    EXPECT_FALSE(startup_state().startedWithFile);
    EXPECT_FALSE(startup_state().malformed);
    EXPECT_EQ(UndoHistory::instance().size(), 0);
}

TEST_F(StartUp, BatchPathWritesTheMeshBackAndCleansUp) {
    std::string before = read_file(mesh);
    EXPECT_TRUE(parse("\"" + mesh + "," + seams + ",,,-notlive\""));
    std::string after = read_file(mesh);
    EXPECT_NE(after, before);
    EXPECT_EQ(after.rfind("# ###############################\n", 0), 0u);
    MeshDocument back;
    ObjReader reader;
    ASSERT_TRUE(reader.read(back, mesh.c_str())) << reader.error;
    EXPECT_EQ(back.vertexSlots, 99);
    EXPECT_EQ(back.faceCount, 96);
    // Cleanup: empty document, no snapshots, ids from 0.
    EXPECT_EQ(MeshDocument::instance().faceCount, 0);
    EXPECT_EQ(UndoHistory::instance().size(), 0);
    EXPECT_EQ(UndoHistory::instance().nextId(), 0);
}

TEST_F(StartUp, BatchPathLeavesAnUnreadableMeshAsItWas) {
    std::string bad = dir + "/bad.obj";
    std::ofstream(bad) << "v 0 0 0\nv 1 2\nf 1 2 3\n";
    std::string before = read_file(bad);
    testing::internal::CaptureStderr();
    EXPECT_TRUE(parse("\"" + bad + "," + seams + ",,,-notlive\""));
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(read_file(bad), before);
    EXPECT_NE(err.find(bad + ":2:"), std::string::npos) << err;
    // A missing mesh is not created either.
    std::string missing = dir + "/missing.obj";
    testing::internal::CaptureStderr();
    EXPECT_TRUE(parse("\"" + missing + "," + seams + ",,,-notlive\""));
    testing::internal::GetCapturedStderr();
    EXPECT_NE(access(missing.c_str(), F_OK), 0);
}

TEST_F(StartUp, EntryExitCodes) {
    testing::internal::CaptureStdout();
    EXPECT_EQ(run({"--help"}), 0);
    EXPECT_NE(testing::internal::GetCapturedStdout().find("usage: marrowby"), std::string::npos);

    testing::internal::CaptureStderr();
    EXPECT_EQ(run({mesh + "," + seams + ",,-notlive"}), 2);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("usage: marrowby"), std::string::npos);

    testing::internal::CaptureStderr();
    EXPECT_NE(run({mesh + "," + seams + ",,,"}), 0);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("window is not available"),
              std::string::npos);
    EXPECT_EQ(read_file(mesh), read_file(sample)); // the interactive path wrote nothing

    EXPECT_EQ(run({mesh + "," + seams + ",,,-notlive"}), -1);
}

TEST_F(StartUp, ProcessReportsBatchExitAs255) {
    std::string cmd = std::string(MARROWBY_EXE) + " '" + mesh + "," + seams + ",,,-notlive'";
    int status = std::system(cmd.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 255);
    cmd = std::string(MARROWBY_EXE) + " 'no commas' 2>/dev/null";
    status = std::system(cmd.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 2);
}

} // namespace
