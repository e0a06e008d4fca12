// A write that fails at close, at Save or at Save As asks the user instead of dropping the
// edits; the answers are scripted here, without a window.

#include "app/app_state.h"
#include "app/save_flow.h"
#include "app/startup.h"
#include "document/engine_options.h"
#include "document/mesh_document.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// Answers the box and the save dialog from a script; an empty path cancels the dialog.
struct ScriptedWindow : SaveFlowWindow {
    std::deque<WriteFailedAnswer> answers;
    std::deque<std::string> paths;
    std::vector<std::string> messages;

    WriteFailedAnswer askAfterFailedWrite(const std::string& message) override {
        messages.push_back(message);
        if (answers.empty())
            return WriteFailedAnswer::Cancel;
        WriteFailedAnswer a = answers.front();
        answers.pop_front();
        return a;
    }
    bool chooseSavePath(std::string& path) override {
        if (paths.empty() || paths.front().empty())
            return false;
        path = paths.front();
        paths.pop_front();
        return true;
    }
};

struct FlowCase {
    const char* what;
    bool closing;                           // close(), else File > Save of a loaded file
    std::vector<WriteFailedAnswer> answers; // to the box, in order
    std::vector<std::string> paths;         // given by the save dialog ("" cancels)
    SaveOutcome outcome;
    size_t asked;        // how often the box opened
    bool savedElsewhere; // the document is in dir/elsewhere.obj afterwards
};

struct SaveFlowTest : testing::Test {
    std::string dir = (std::filesystem::temp_directory_path() /
                       ("marrowby_save_flow_test_" + std::to_string(getpid())))
                          .string();
    std::string mesh = dir + "/box.obj";
    std::string elsewhere = dir + "/elsewhere.obj";

    void SetUp() override {
        shutdownCleanup();
        AppState::instance().reset();
        startup_state() = StartupState{};
        engine_options() = EngineOptions{};
        std::filesystem::remove_all(dir);
        ASSERT_TRUE(std::filesystem::create_directories(dir));
        std::filesystem::copy_file(std::string(MARROWBY_SOURCE_DIR) + "/examples/box.obj", mesh);
    }
    void TearDown() override {
        shutdownCleanup();
        AppState::instance().reset();
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    }
};

TEST_F(SaveFlowTest, AFailedWriteAsksAndOnlyTheChosenAnswerWrites) {
    using A = WriteFailedAnswer;
    const std::string missing = dir + "/gone/other.obj";
    const std::vector<FlowCase> cases = {
        {"close, cancelled", true, {A::Cancel}, {}, SaveOutcome::Cancelled, 1, false},
        {"close, given up", true, {A::CloseWithoutSaving}, {}, SaveOutcome::CloseUnsaved, 1, false},
        {"close, saved elsewhere", true, {A::SaveAs}, {elsewhere}, SaveOutcome::Done, 1, true},
        {"close, save dialog cancelled", true, {A::SaveAs}, {""}, SaveOutcome::Cancelled, 1, false},
        {"close, Save As fails too, then elsewhere",
         true,
         {A::SaveAs, A::SaveAs},
         {missing, elsewhere},
         SaveOutcome::Done,
         2,
         true},
        {"File > Save, saved elsewhere",
         false,
         {A::SaveAs},
         {elsewhere},
         SaveOutcome::Done,
         1,
         true},
        {"File > Save, given up",
         false,
         {A::CloseWithoutSaving},
         {},
         SaveOutcome::CloseUnsaved,
         1,
         false},
    };
    for (const FlowCase& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        if (c.closing) {
            std::string line =
                "\"" + mesh + "," + MARROWBY_SOURCE_DIR + "/examples/box_seams.bin,,,\"";
            ASSERT_FALSE(parseCommandLine(line.data()));
        } else {
            ASSERT_TRUE(AppState::instance().loadChosenFile(mesh));
        }
        finishStartupUnwrap();
        const std::string before = read_file(mesh);
        ASSERT_EQ(chmod(mesh.c_str(), 0444), 0);

        ScriptedWindow window;
        window.answers.assign(c.answers.begin(), c.answers.end());
        window.paths.assign(c.paths.begin(), c.paths.end());
        SaveFlow flow(window);
        testing::internal::CaptureStderr();
        const SaveOutcome outcome = c.closing ? flow.close() : flow.save();
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(outcome, c.outcome);
        ASSERT_EQ(window.messages.size(), c.asked);
        // The reason the batch path prints, in the box.
        const std::string reason = mesh + ": cannot write: the file is read-only";
        EXPECT_NE(err.find("marrowby: " + reason + "\n"), std::string::npos) << err;
        EXPECT_NE(window.messages[0].find(reason), std::string::npos) << window.messages[0];
        if (c.asked > 1) {
            EXPECT_NE(window.messages[1].find(missing + ": cannot write"), std::string::npos)
                << window.messages[1];
        }
        EXPECT_EQ(read_file(elsewhere).find("MarrowbyOut") != std::string::npos, c.savedElsewhere);

        // Once the window is gone, the command line's file is written only when the user
        // neither saved elsewhere nor gave the edits up; it is writable again by then.
        ASSERT_EQ(chmod(mesh.c_str(), 0644), 0);
        const bool settled = startup_state().exitWriteSettled;
        finishInteractive();
        const bool rewritten = read_file(mesh) != before;
        EXPECT_EQ(rewritten, c.closing && outcome == SaveOutcome::Cancelled);
        EXPECT_EQ(settled, outcome == SaveOutcome::CloseUnsaved ||
                               (c.closing && outcome == SaveOutcome::Done));
        TearDown();
    }
}

TEST_F(SaveFlowTest, AWriteThatWorksAsksNothing) {
    ASSERT_TRUE(AppState::instance().loadChosenFile(mesh));
    ScriptedWindow window;
    EXPECT_EQ(SaveFlow(window).save(), SaveOutcome::Done);
    EXPECT_EQ(SaveFlow(window).saveAs(elsewhere), SaveOutcome::Done);
    EXPECT_TRUE(window.messages.empty());
    EXPECT_NE(read_file(elsewhere).find("MarrowbyOut"), std::string::npos);
    // With nothing loaded nothing is written, and that is no failure either.
    shutdownCleanup();
    AppState::instance().reset();
    EXPECT_EQ(SaveFlow(window).save(), SaveOutcome::Done);
    EXPECT_EQ(SaveFlow(window).close(), SaveOutcome::Done);
    EXPECT_TRUE(window.messages.empty());
}

} // namespace
