// Start-up: options from the command line, the batch path, and the exit codes.

#include "app/layout_check.h"
#include "app/startup.h"
#include "document/engine_options.h"
#include "document/mesh_document.h"
#include "document/obj_reader.h"
#include "document/undo_history.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <tuple>
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

struct BatchCase {
    const char* what;
    std::function<std::string(const std::string& dir)> make; // answers the OBJ path
    int exitCode;
    const char* message; // expected on stderr
};

std::string write_file(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

TEST_F(StartUp, BatchPathExitCodesSayWhatHappenedAndFailuresLeaveTheFile) {
    const std::string tri = "v 0 0 0\nv 1 0 0\nv 0 1 0\n";
    const std::vector<BatchCase> cases = {
        {"a valid mesh", [&](const std::string&) { return mesh; }, -1, ""},
        {"classic Mac line ends",
         [&](const std::string& d) {
             return write_file(d + "/cr.obj", "v 0 0 0\rv 1 0 0\rv 0 1 0\rf 1 2 3\r");
         },
         -1, ""},
        {"outside the subset",
         [&](const std::string& d) { return write_file(d + "/bad.obj", "v 0 0 0\nv 1 2\n"); }, 3,
         "bad.obj:2:"},
        {"binary bytes",
         [&](const std::string& d) {
             return write_file(d + "/bin.obj", std::string("\x89PNG\0\0", 6));
         },
         3, "not a text file"},
        {"only comments",
         [&](const std::string& d) { return write_file(d + "/c.obj", "# nothing here\n"); }, 3,
         "no OBJ content"},
        {"vertices without faces",
         [&](const std::string& d) { return write_file(d + "/pts.obj", tri); }, 3,
         "has no faces to lay out and is left unchanged"},
        {"only faces too small to keep",
         [&](const std::string& d) { return write_file(d + "/lines.obj", tri + "f 1 2\n"); }, 3,
         "has no faces"},
        {"a folder",
         [&](const std::string& d) {
             (void)std::system(("mkdir -p " + d + "/folder.obj").c_str());
             return d + "/folder.obj";
         },
         3, "is a folder"},
        {"a device", [&](const std::string&) { return std::string("/dev/zero"); }, 3,
         "not a regular file"},
        {"a missing file", [&](const std::string& d) { return d + "/missing.obj"; }, 3,
         "cannot open"},
        {"a read-only file",
         [&](const std::string& d) {
             std::string path = write_file(d + "/ro.obj", read_file(mesh));
             chmod(path.c_str(), 0444);
             return path;
         },
         4, "the result could not be written"},
    };
    for (const BatchCase& c : cases) {
        SCOPED_TRACE(c.what);
        std::string path = c.make(dir);
        bool existed = access(path.c_str(), F_OK) == 0;
        std::string before = path.rfind("/dev/", 0) == 0 ? "" : read_file(path);
        testing::internal::CaptureStderr();
        int code = run({path + "," + seams + ",,,-notlive"});
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(code, c.exitCode) << err;
        EXPECT_NE(err.find(c.message), std::string::npos) << err;
        if (c.exitCode == -1) {
            EXPECT_EQ(read_file(path).rfind("# ####", 0), 0u);
        } else {
            EXPECT_NE(err.find("left unchanged"), std::string::npos) << err;
            EXPECT_EQ(access(path.c_str(), F_OK) == 0, existed);
            if (existed && path.rfind("/dev/", 0) != 0) {
                EXPECT_EQ(read_file(path), before);
            }
        }
    }
}

TEST_F(StartUp, WithoutADisplayTheWindowIsNotAttemptedAndTheFileIsKept) {
    static bool runnerCalled;
    runnerCalled = false;
    WindowRunner runner = [](int, const char* const*, int*) {
        runnerCalled = true;
        return true;
    };
    std::vector<std::pair<std::string, std::string>> saved;
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char* value = std::getenv(name);
        if (value)
            saved.emplace_back(name, value);
        unsetenv(name);
    }
    std::vector<char*> none;
    // A trailing blank, or a packing field after a fifth field that is not -notlive: the window
    // would be opened. (An extra field that names no packing is a usage error instead.)
    for (std::string fifth : {"-notlive ", "", "notlive,-tightpack"}) {
        SCOPED_TRACE(fifth);
        std::string arg = mesh + "," + seams + ",,," + fifth;
        std::vector<const char*> argv = {"marrowby", arg.c_str()};
        testing::internal::CaptureStderr();
        int code = marrowby_main(2, argv.data(), runner);
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(code, 1);
        EXPECT_NE(err.find("no window can be opened"), std::string::npos) << err;
        EXPECT_NE(err.find("-notlive selects the batch path"), std::string::npos) << err;
        EXPECT_FALSE(runnerCalled);
        EXPECT_EQ(read_file(mesh), read_file(sample));
    }
    for (const auto& [name, value] : saved)
        setenv(name.c_str(), value.c_str(), 1);
}

TEST_F(StartUp, ClosedPartsWithoutSeamsAreCutOpenAndReported) {
    // The box is closed: without a seam list it is cut open, every face gets a layout, and one
    // line counts the charts and edges cut.
    testing::internal::CaptureStderr();
    EXPECT_EQ(run({mesh + ",,,,-notlive"}), -1);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err.find("got no layout"), std::string::npos) << err;
    EXPECT_NE(err.find("warning: 1 charts were not discs"), std::string::npos) << err;
    MeshDocument back;
    ObjReader reader;
    ASSERT_TRUE(reader.read(back, mesh.c_str())) << reader.error;
    EXPECT_EQ(count_faces_without_layout(back), 0);
    // Cut along the sample's seams, every chart is a disc already and nothing is said.
    ASSERT_EQ(std::system(("cp " + sample + " " + mesh).c_str()), 0);
    testing::internal::CaptureStderr();
    EXPECT_EQ(run({mesh + "," + seams + ",,,-notlive"}), -1);
    err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err.find("got no layout"), std::string::npos) << err;
    EXPECT_EQ(err.find("were not discs"), std::string::npos) << err;
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

TEST_F(StartUp, SixthFieldChoosesThePackingAndAnyOtherIsAUsageError) {
    // Five fields keep the shelves.
    engine_options().tightPack = true;
    EXPECT_FALSE(parse("\"" + mesh + "," + seams + ",,,\""));
    EXPECT_FALSE(engine_options().tightPack);

    EXPECT_EQ(run({mesh + "," + seams + ",,,-notlive,-tightpack=256/2"}), -1);
    EXPECT_TRUE(engine_options().tightPack);
    EXPECT_EQ(engine_options().packResolution, 256);
    EXPECT_EQ(engine_options().packPadding, 2);
    MeshDocument back;
    ObjReader reader;
    ASSERT_TRUE(reader.read(back, mesh.c_str())) << reader.error;
    ASSERT_GT(back.uvCount, 0);
    for (int i = 0; i < back.uvCount; i++) {
        EXPECT_GE(back.uvs[size_t(i)].u, 0.0f);
        EXPECT_LE(back.uvs[size_t(i)].u, 1.0f);
        EXPECT_GE(back.uvs[size_t(i)].v, 0.0f);
        EXPECT_LE(back.uvs[size_t(i)].v, 1.0f);
    }

    ASSERT_EQ(std::system(("cp " + sample + " " + mesh).c_str()), 0);
    for (const char* sixth :
         {"-tightpak", "-tightpack=", "-tightpack=1024", "-tightpack=1024/", "-tightpack=8/1",
          "-tightpack=1024/300", "-tightpack=1024/4/4", "-tightpack=-1024/4", "-tightpack,x"}) {
        testing::internal::CaptureStderr();
        EXPECT_EQ(run({mesh + "," + seams + ",,,-notlive," + sixth}), 2) << sixth;
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_NE(err.find("fields after the fifth"), std::string::npos) << sixth << ": " << err;
        EXPECT_EQ(read_file(mesh), read_file(sample)) << sixth;
    }
    // The switches go in any order; -keepflips turns the refinement off; -autoseams adds seams
    // and says how many.
    for (auto [fields, tight, fix, autoSeams] :
         {std::tuple{"-keepflips", false, false, false},
          std::tuple{"-tightpack,-keepflips", true, false, false},
          std::tuple{"-keepflips,-tightpack=256/2", true, false, false},
          std::tuple{"-tightpack", true, true, false}, std::tuple{"-autoseams", false, true, true},
          std::tuple{"-tightpack,-autoseams,-keepflips", true, false, true}}) {
        ASSERT_EQ(std::system(("cp " + sample + " " + mesh).c_str()), 0);
        testing::internal::CaptureStderr();
        EXPECT_EQ(run({mesh + "," + seams + ",,,-notlive," + fields}), -1) << fields;
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(engine_options().tightPack, tight) << fields;
        EXPECT_EQ(engine_options().fixFlips, fix) << fields;
        EXPECT_EQ(engine_options().autoSeams, autoSeams) << fields;
        EXPECT_EQ(err.find("-autoseams added ") != std::string::npos, autoSeams) << err;
    }
}

TEST_F(StartUp, WindowStartsWhileTheFileLoadsAndTheViewsHearOfItOnTheWindowThread) {
    // The runner stands in for the window: it waits for the load as the window does once shown.
    static std::thread::id heard[2], heardAtEntry;
    const DocumentViewHooks kept = document_view_hooks();
    document_view_hooks() = {[] { heard[0] = std::this_thread::get_id(); },
                             [] { heard[1] = std::this_thread::get_id(); }};
    const char* display = std::getenv("QT_QPA_PLATFORM");
    const std::string saved = display ? display : "";
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    WindowRunner waits = [](int, const char* const*, int* code) {
        heardAtEntry = heard[1];
        finishStartupLoad();
        *code = 0;
        return true;
    };
    WindowRunner fails = [](int, const char* const*, int*) { return false; };
    for (auto [readable, runner] : {std::pair{true, waits}, {false, waits}, {true, fails}}) {
        SCOPED_TRACE(testing::Message() << readable << (runner == fails));
        ASSERT_EQ(std::system(("cp " + sample + " " + mesh).c_str()), 0);
        heard[0] = heard[1] = heardAtEntry = std::thread::id();
        const std::string arg = (readable ? mesh : dir + "/missing.obj") + "," + seams + ",,,";
        const char* argv[] = {"marrowby", arg.c_str()};
        testing::internal::CaptureStderr();
        EXPECT_EQ(marrowby_main(2, argv, runner), 0);
        testing::internal::GetCapturedStderr();
        EXPECT_EQ(startup_state().loadFailed, !readable);
        // The views hear of a load on the window's thread, once the window asks.
        EXPECT_EQ(heardAtEntry, std::thread::id());
        const bool windowRan = readable && runner == waits;
        for (std::thread::id id : heard)
            EXPECT_EQ(id, readable ? std::this_thread::get_id() : std::thread::id());
        // Written back with its layout after the window's session, untouched otherwise.
        EXPECT_EQ(read_file(mesh).find("\nvt ") != std::string::npos, windowRan);
    }
    document_view_hooks() = kept;
    if (display)
        setenv("QT_QPA_PLATFORM", saved.c_str(), 1);
    else
        unsetenv("QT_QPA_PLATFORM");
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
