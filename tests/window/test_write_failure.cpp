// A write that fails in the real window keeps the window and the edits: the box that says why
// is answered here as a user would, and the file that could not be written stays as it was.

#include "app/app_state.h"
#include "app/commands.h"
#include "app/save_flow.h"
#include "app/startup.h"
#include "document/engine_options.h"
#include "document/mesh_document.h"
#include "platform/qt/main_window.h"
#include "platform/qt/window_run.h"
#include "window_test_util.h"

#include <QAbstractButton>
#include <QMessageBox>

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

bool exists(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

// Answers the box with the button of that label, after keeping its text.
void answer(QWidget* w, const char* label, std::string* text) {
    auto* box = qobject_cast<QMessageBox*>(w);
    ASSERT_NE(box, nullptr);
    *text = box->text().toStdString();
    for (QAbstractButton* b : box->buttons()) {
        if (b->text() == label) {
            b->click();
            return;
        }
    }
    ADD_FAILURE() << "no button " << label;
    box->reject();
}

// Writes larger than this fail, as on a full disk, for every file of the process.
struct FileSizeLimit {
    rlimit saved{};
    bool active = false;
    void set(rlim_t bytes) {
        std::signal(SIGXFSZ, SIG_IGN); // a failed write, not the end of the process
        getrlimit(RLIMIT_FSIZE, &saved);
        rlimit limit = saved;
        limit.rlim_cur = bytes;
        active = setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    void lift() {
        if (active)
            setrlimit(RLIMIT_FSIZE, &saved);
        active = false;
    }
};
FileSizeLimit g_limit;

struct FailureCase {
    const char* what;
    // Makes the file unwritable once the window is up; answers where the file is now.
    std::function<std::string(const std::string& mesh)> breakFile;
    const char* reason; // in the box, after the file's path
    const char* last;   // the second answer, after a first Cancel
};

struct WriteFailure : testing::Test {
    std::string dir = "/tmp/marrowby_write_failure_" + std::to_string(getpid());
    std::string mesh = dir + "/work/box.obj";
    std::string saved = dir + "/saved.obj";

    void SetUp() override {
        application();
        shutdownCleanup();
        AppState::instance().reset();
        startup_state() = StartupState{};
        engine_options() = EngineOptions{};
        std::string cmd = "rm -rf " + dir + " && mkdir -p " + dir + "/work && cp " +
                          MARROWBY_SOURCE_DIR + "/examples/box.obj " + mesh;
        ASSERT_EQ(std::system(cmd.c_str()), 0);
    }
    void TearDown() override {
        g_limit.lift();
        drop_modal_steps();
        shutdownCleanup();
        QCoreApplication::processEvents();
        (void)std::system(("rm -rf " + dir).c_str());
    }
};

TEST_F(WriteFailure, ClosingKeepsTheWindowAndTheEditsUntilTheUserChooses) {
    const std::vector<FailureCase> cases = {
        {"a read-only file",
         [](const std::string& m) {
             chmod(m.c_str(), 0444);
             return m;
         },
         ": cannot write: the file is read-only", WRITE_FAILED_SAVE_AS},
        {"its folder removed after the start",
         [this](const std::string&) {
             // Moved away whole, so that the file itself can be compared afterwards.
             (void)std::system(("mv " + dir + "/work " + dir + "/moved").c_str());
             return dir + "/moved/box.obj";
         },
         ": cannot write: No such file or directory", WRITE_FAILED_SAVE_AS},
        {"a write the atomic write abandons (full disk)",
         [](const std::string& m) {
             g_limit.set(1024);
             return m;
         },
         ": cannot write: File too large", WRITE_FAILED_SAVE_AS},
        {"a read-only file, given up",
         [](const std::string& m) {
             chmod(m.c_str(), 0444);
             return m;
         },
         ": cannot write: the file is read-only", WRITE_FAILED_DISCARD},
    };
    const std::string seams = std::string(MARROWBY_SOURCE_DIR) + "/examples/box_seams.bin";
    for (const FailureCase& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        const std::string before = read_file(mesh);
        struct stat st;
        ASSERT_EQ(stat(mesh.c_str(), &st), 0);
        std::string arg = mesh + "," + seams + ",,,";
        const char* argv[] = {"marrowby", arg.c_str()};
        std::string moved, firstText, lastText;
        bool openAfterCancel = false;
        QTimer::singleShot(0, [&] {
            ASSERT_TRUE(wait_until([] { return MainWindow::current() != nullptr; }));
            MainWindow* w = MainWindow::current();
            MeshDocument& doc = MeshDocument::instance();
            ASSERT_TRUE(
                wait_until([&] { return !doc.liveBusy && !startup_state().unwrapRunning; }));
            ASSERT_TRUE(doc.writeObj((dir + "/start.obj").c_str(), mesh.c_str()));
            // The edit: the conformal map alone lays the charts out anew.
            w->menuAction(ID_SWITCH_LSCM)->trigger();
            ASSERT_TRUE(wait_until([&] { return !doc.liveBusy; }));
            ASSERT_TRUE(doc.writeObj((dir + "/edited.obj").c_str(), mesh.c_str()));
            moved = c.breakFile(mesh);

            when_modal("writeFailedBox",
                       [&](QWidget* b) { answer(b, WRITE_FAILED_CANCEL, &firstText); });
            w->close();
            openAfterCancel = MainWindow::current() == w && w->isVisible();

            when_modal("writeFailedBox", [&](QWidget* b) {
                g_limit.lift();
                answer(b, c.last, &lastText);
            });
            when_modal("saveAsDialog", [&](QWidget* d) {
                choose(static_cast<QFileDialog*>(d), saved);
                static_cast<QDialog*>(d)->accept();
            });
            w->close();
        });
        testing::internal::CaptureStderr();
        EXPECT_EQ(marrowby_main(2, argv, platform_run_window), 0);
        const std::string err = testing::internal::GetCapturedStderr();
        g_limit.lift();

        EXPECT_TRUE(openAfterCancel) << "Cancel goes back to the window";
        const std::string reason = mesh + c.reason;
        EXPECT_NE(firstText.find(reason), std::string::npos) << firstText;
        EXPECT_NE(lastText.find(reason), std::string::npos) << lastText;
        EXPECT_NE(err.find("marrowby: " + reason + "\n"), std::string::npos)
            << "the reason the batch path prints: " << err;

        // The file that could not be written is exactly as it was, and nothing is left by it.
        EXPECT_TRUE(read_file(moved) == before) << "the file is as it was";
        struct stat now;
        ASSERT_EQ(stat(moved.c_str(), &now), 0);
        EXPECT_EQ(now.st_mtime, st.st_mtime);
        EXPECT_FALSE(exists(mesh) && moved != mesh) << "the removed folder stays removed";
        for (const char* leftover : {"/work", "/moved"}) {
            const std::string folder = dir + leftover;
            if (exists(folder)) {
                auto entries = std::filesystem::directory_iterator(folder);
                EXPECT_EQ(std::distance(begin(entries), end(entries)), 1)
                    << "only box.obj in " << folder;
            }
        }

        const std::string edited = read_file(dir + "/edited.obj");
        EXPECT_FALSE(edited == read_file(dir + "/start.obj")) << "the edit changed the layout";
        if (std::string(c.last) == WRITE_FAILED_SAVE_AS) {
            EXPECT_TRUE(read_file(saved) == edited) << "Save As... keeps the edited layout";
        } else {
            EXPECT_FALSE(exists(saved));
        }
        EXPECT_EQ(MeshDocument::instance().faceCount, 0) << "cleaned up at exit";
        TearDown();
    }
}

TEST_F(WriteFailure, FileSaveAndSaveAsAskWhenTheirWriteFails) {
    auto window = std::make_unique<MainWindow>();
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    ASSERT_TRUE(AppState::instance().loadChosenFile(mesh));
    const std::string before = read_file(mesh);
    ASSERT_TRUE(MeshDocument::instance().writeObj((dir + "/loaded.obj").c_str(), mesh.c_str()));
    ASSERT_EQ(chmod(mesh.c_str(), 0444), 0);

    // File > Save: the box, then Save As... to another file; the window stays.
    std::string text;
    when_modal("writeFailedBox", [&](QWidget* b) { answer(b, WRITE_FAILED_SAVE_AS, &text); });
    when_modal("saveAsDialog", [&](QWidget* d) {
        choose(static_cast<QFileDialog*>(d), saved);
        static_cast<QDialog*>(d)->accept();
    });
    testing::internal::CaptureStderr();
    window->menuAction(ID_FILE_SAVE)->trigger();
    EXPECT_NE(text.find(mesh + ": cannot write: the file is read-only"), std::string::npos) << text;
    EXPECT_TRUE(read_file(saved) == read_file(dir + "/loaded.obj"));
    EXPECT_TRUE(window->isVisible());

    // File > Save As into a folder that is gone: the box again; Close Without Saving closes.
    const std::string gone = dir + "/gone/other.obj";
    text.clear();
    when_modal("saveAsDialog", [&](QWidget* d) {
        choose(static_cast<QFileDialog*>(d), gone);
        when_modal("writeFailedBox", [&](QWidget* b) { answer(b, WRITE_FAILED_DISCARD, &text); });
        static_cast<QDialog*>(d)->accept();
    });
    window->menuAction(ID_FILE_SAVEAS)->trigger();
    testing::internal::GetCapturedStderr();
    EXPECT_NE(text.find(gone + ": cannot write"), std::string::npos) << text;
    EXPECT_FALSE(window->isVisible());
    EXPECT_FALSE(exists(gone));
    EXPECT_TRUE(read_file(mesh) == before);
}

} // namespace
