// The dispatcher and the command table without a window: routing, the splitter, the key table,
// the switches and the file commands.

#include "app/app_state.h"
#include "app/edit_binding.h"
#include "app/startup.h"
#include "document/engine_options.h"
#include "document/mesh_document.h"
#include "document/undo_history.h"
#include "platform/key_state.h"
#include "platform/ui_messages.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

struct Call {
    char view; // 's' 3D view, 'u' UV view
    int event, x, y, lastX, lastY;
};

struct Record {
    std::vector<Call> mouse;
    std::vector<int> sceneModes, uvModes, sceneReleases, uvReleases;
    std::vector<int> aligns;
    int cuts = 0, resets = 0, centres = 0, releaseAll = 0;
    bool alt = false;
    bool answer = true;
};
Record rec;

void install_recorders() {
    rec = Record{};
    ViewCalls& v = app_view_calls();
    v = ViewCalls{};
    v.setLeftAlt = [](bool down) { rec.alt = down; };
    v.sceneHandleMouse = [](int e, int x, int y, int lx, int ly) {
        rec.mouse.push_back({'s', e, x, y, lx, ly});
        return rec.answer;
    };
    v.uvHandleMouse = [](int e, int x, int y, int lx, int ly) {
        rec.mouse.push_back({'u', e, x, y, lx, ly});
        return rec.answer;
    };
    v.sceneSetMode = [](int c) { rec.sceneModes.push_back(c); };
    v.uvSetMode = [](int c) { rec.uvModes.push_back(c); };
    v.sceneReleaseKey = [](int c) {
        rec.sceneReleases.push_back(c);
        return false;
    };
    v.uvReleaseKey = [](int c) {
        rec.uvReleases.push_back(c);
        return true;
    };
    v.resetCameras = [] { rec.resets++; };
    v.centreOnSelectedEdges = [] { rec.centres++; };
    EditCalls& e = app_edit_calls();
    e = EditCalls{};
    e.alignSelected = [](AlignSide s) {
        rec.aligns.push_back(int(s));
        return false;
    };
    e.cutSelectedEdges = [] {
        rec.cuts++;
        return false;
    };
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

struct Dispatch : testing::Test {
    AppState& app = AppState::instance();
    void SetUp() override {
        app.reset();
        app.setClientRect(0, 0, 800, 600);
        install_recorders();
        platform_clear_keys();
    }
    void TearDown() override {
        app_view_calls() = ViewCalls{};
        app_edit_calls() = EditCalls{};
    }
    bool move(int x, int y) { return app.dispatchEvent(EVT_MOUSE_MOVE, x, y); }
    bool press(int x, int y) {
        move(x, y);
        return app.dispatchEvent(EVT_LBUTTON_DOWN, x, y);
    }
    bool release() { return app.dispatchEvent(EVT_LBUTTON_UP, 0, 0); }
};

TEST_F(Dispatch, PressWithinThreePixelsOfTheBoundaryGrabsTheSplitter) {
    ASSERT_EQ(app.splitterPosition(), 400);
    for (int x : {397, 400, 403}) {
        EXPECT_FALSE(press(x, 300)) << x;
        EXPECT_EQ(app.dragTarget, 3) << x;
        release();
    }
    EXPECT_TRUE(rec.mouse.empty());
    press(396, 300);
    EXPECT_EQ(app.dragTarget, 1);
    release();
    press(404, 300);
    EXPECT_EQ(app.dragTarget, 2);
}

TEST_F(Dispatch, SplitterDragFollowsThePointerAndStopsAtTenAndNinetyPercent) {
    press(400, 300);
    EXPECT_TRUE(move(480, 300));
    EXPECT_NEAR(app.splitRatio, 0.6f, 1e-5f);
    EXPECT_EQ(app.splitterPosition(), 480);
    move(-500, 300);
    EXPECT_FLOAT_EQ(app.splitRatio, 0.1f);
    move(2000, 300);
    EXPECT_FLOAT_EQ(app.splitRatio, 0.9f);
    release();
    EXPECT_EQ(app.dragTarget, 0);
    // The new split stays: a press just left of 720 now goes to the 3D view.
    press(700, 300);
    EXPECT_EQ(app.dragTarget, 1);
}

TEST_F(Dispatch, UvViewGetsCoordinatesRelativeToItsLeftEdge) {
    move(650, 200);
    EXPECT_TRUE(app.dispatchEvent(EVT_LBUTTON_DOWN, 650, 200));
    ASSERT_EQ(rec.mouse.size(), 1u);
    EXPECT_EQ(rec.mouse[0].view, 'u');
    EXPECT_EQ(rec.mouse[0].x, 250);
    EXPECT_EQ(rec.mouse[0].lastX, 250);
    EXPECT_EQ(rec.mouse[0].y, 200);
}

TEST_F(Dispatch, PressInTheSceneKeepsRoutingAcrossTheSplit) {
    press(100, 100);
    rec.mouse.clear();
    move(600, 120);
    app.dispatchEvent(EVT_LBUTTON_UP, 0, 0);
    ASSERT_FALSE(rec.mouse.empty());
    for (const Call& c : rec.mouse)
        EXPECT_EQ(c.view, 's');
    // The move arrives with its displacement, then once more without.
    EXPECT_EQ(rec.mouse[0].event, EVT_MOUSE_MOVE);
    EXPECT_EQ(rec.mouse[0].x, 600);
    EXPECT_EQ(rec.mouse[0].lastX, 100);
    EXPECT_EQ(rec.mouse[1].lastX, 600);
    EXPECT_EQ(rec.mouse.back().event, EVT_LBUTTON_UP);
    EXPECT_EQ(app.dragTarget, 0);
    rec.mouse.clear();
    move(650, 120);
    EXPECT_TRUE(rec.mouse.empty()) << "no press, nothing passed";
}

TEST_F(Dispatch, KeysReachTheViewHoldingThePressAsWellAsTheKeyTable) {
    press(600, 100);
    rec.mouse.clear();
    EXPECT_TRUE(app.dispatchEvent(EVT_KEY_DOWN, 'E', 0));
    ASSERT_EQ(rec.mouse.size(), 1u);
    EXPECT_EQ(rec.mouse[0].view, 'u');
    EXPECT_EQ(rec.mouse[0].event, EVT_KEY_DOWN);
    EXPECT_EQ(rec.sceneModes, (std::vector<int>{MODE_EDGE_SELECT}));
    // The table's answer wins over the view's.
    rec.answer = true;
    EXPECT_FALSE(app.dispatchEvent(EVT_KEY_DOWN, 'B', 0));
}

TEST_F(Dispatch, PressOutsideBothViewsIsNotRouted) {
    app.setClientRect(0, 0, 800, 600);
    EXPECT_FALSE(press(100, 600));
    EXPECT_EQ(app.dragTarget, 0);
    EXPECT_TRUE(rec.mouse.empty());
}

TEST_F(Dispatch, LeftAltStateReachesTheViewsAtEveryEvent) {
    platform_set_key_down(VK_KEY_LMENU, true);
    move(10, 10);
    EXPECT_TRUE(rec.alt);
    platform_set_key_down(VK_KEY_LMENU, false);
    move(11, 10);
    EXPECT_FALSE(rec.alt);
}

TEST_F(Dispatch, KeyUpTable) {
    EXPECT_TRUE(app.dispatchEvent(EVT_KEY_UP, VK_SHIFT, 0)); // the UV view answers true
    EXPECT_FALSE(app.dispatchEvent(EVT_KEY_UP, 'Q', 0));
    EXPECT_TRUE(app.dispatchEvent(EVT_KEY_UP, 'M', 0));
    EXPECT_TRUE(app.dispatchEvent(EVT_KEY_UP, 'T', 0));
    app.dispatchEvent(EVT_KEY_UP, VK_CONTROL, 0);
    EXPECT_EQ(rec.sceneReleases, (std::vector<int>{16, 10, 9, 32}));
    EXPECT_EQ(rec.uvReleases, (std::vector<int>{16, 10, 9, 32}));
}

TEST_F(Dispatch, KeyDownModesAndAnswers) {
    EXPECT_FALSE(app.dispatchEvent(EVT_KEY_DOWN, VK_SHIFT, 0));
    EXPECT_FALSE(app.dispatchEvent(EVT_KEY_DOWN, VK_CONTROL, 0));
    EXPECT_TRUE(app.dispatchEvent(EVT_KEY_DOWN, 'E', 0));
    EXPECT_TRUE(app.dispatchEvent(EVT_KEY_DOWN, 'U', 0));
    EXPECT_TRUE(app.dispatchEvent(EVT_KEY_DOWN, 'T', 0));
    EXPECT_TRUE(app.dispatchEvent(EVT_KEY_DOWN, 'M', 0));
    EXPECT_TRUE(app.dispatchEvent(EVT_KEY_DOWN, 'R', 0));
    EXPECT_EQ(rec.sceneModes, (std::vector<int>{16, 32, MODE_EDGE_SELECT, MODE_UV_SELECT,
                                                MODE_EDGE_TOPOLOGICAL, MODE_PIVOT}));
    EXPECT_EQ(rec.uvModes, (std::vector<int>{16, 32, MODE_EDGE_SELECT, MODE_UV_SELECT,
                                             MODE_EDGE_TOPOLOGICAL, MODE_PIVOT, MODE_UV_MOVE}));
    EXPECT_TRUE(app.dispatchEvent(EVT_KEY_DOWN, 'A', 0));
    EXPECT_TRUE(app.dispatchEvent(EVT_KEY_DOWN, 'N', 0));
    EXPECT_EQ(rec.resets, 1);
    EXPECT_EQ(rec.centres, 1);
    EXPECT_FALSE(app.dispatchEvent(EVT_KEY_DOWN, 'C', 0)); // the cut's own answer
    EXPECT_EQ(rec.cuts, 1);
    EXPECT_FALSE(app.dispatchEvent(EVT_KEY_DOWN, 'B', 0));
    EXPECT_FALSE(app.dispatchEvent(EVT_KEY_DOWN, '4', 0)) << "a digit is not the keypad";
    EXPECT_TRUE(rec.aligns.empty());
}

TEST_F(Dispatch, KeypadAlignsFollowTheKeysNotTheMenuLabels) {
    for (int k : {VK_NUMPAD2, VK_NUMPAD4, VK_NUMPAD6, VK_NUMPAD8})
        app.dispatchEvent(EVT_KEY_DOWN, k, 0);
    EXPECT_EQ(rec.aligns, (std::vector<int>{ALIGN_MIN_V, ALIGN_MIN_U, ALIGN_MAX_U, ALIGN_MAX_V}));
}

TEST_F(Dispatch, MenuItemDoesWhatItsKeyDoes) {
    struct Pair {
        int id, key;
    };
    for (Pair p : {Pair{ID_UV_MINU, VK_NUMPAD4}, Pair{ID_UV_MINV, VK_NUMPAD8},
                   Pair{ID_UV_MAXU, VK_NUMPAD6}, Pair{ID_UV_MAXV, VK_NUMPAD2},
                   Pair{ID_EDGE_SELECT, 'E'}, Pair{ID_EDIT_RESETCAMERAS, 'A'}}) {
        install_recorders();
        app.dispatchEvent(EVT_KEY_DOWN, p.key, 0);
        Record byKey = rec;
        install_recorders();
        CommandOutcome out = app.runCommand(p.id);
        EXPECT_TRUE(out.repaint) << p.id;
        EXPECT_EQ(out.action, WindowAction::None);
        EXPECT_EQ(rec.aligns, byKey.aligns) << p.id;
        EXPECT_EQ(rec.sceneModes, byKey.sceneModes) << p.id;
        EXPECT_EQ(rec.resets, byKey.resets) << p.id;
    }
    EXPECT_EQ(command_key(ID_TOPOLOGICAL), 'T');
}

TEST_F(Dispatch, DisplaySwitches) {
    EXPECT_FALSE(app.runCommand(ID_SWITCH_NOBACKFACES).repaint);
    EXPECT_TRUE(app.isChecked(ID_SWITCH_NOBACKFACES));
    EXPECT_FALSE(app.runCommand(ID_SWITCH_SINGLESELECT).repaint);
    EXPECT_TRUE(app.isChecked(ID_SWITCH_SINGLESELECT));
    EXPECT_TRUE(app.runCommand(ID_SWITCH_WIREFRAME).repaint);
    EXPECT_TRUE(app.isChecked(ID_SWITCH_WIREFRAME));
    EXPECT_TRUE(app.runCommand(ID_SWITCH_WIREFRAME).repaint);
    EXPECT_FALSE(app.isChecked(ID_SWITCH_WIREFRAME));
    EXPECT_TRUE(app.runCommand(ID_TEXTURE_STRETCH).repaint);
    EXPECT_TRUE(app.showStretch);
    EXPECT_TRUE(app.runCommand(ID_TEXTURE_CHECKER).repaint);
    EXPECT_FALSE(app.showStretch);
    EXPECT_TRUE(app.isChecked(ID_TEXTURE_CHECKER));
}

TEST_F(Dispatch, WindowCommandsAskTheWindow) {
    EXPECT_EQ(app.runCommand(ID_FILE_LOAD).action, WindowAction::LoadDialog);
    EXPECT_EQ(app.runCommand(ID_FILE_SAVE).action, WindowAction::Save);
    EXPECT_EQ(app.runCommand(ID_FILE_SAVEAS).action, WindowAction::SaveAsDialog);
    EXPECT_EQ(app.runCommand(ID_FILE_EXPORTUV).action, WindowAction::ExportUvDialog);
    EXPECT_EQ(app.runCommand(IDM_ABOUT).action, WindowAction::About);
    EXPECT_EQ(app.runCommand(IDM_EXIT).action, WindowAction::Exit);
}

TEST(CommandTables, MenuAndToolbarCarryTheirIdsAndTexts) {
    int menuCount = 0;
    const Menu* menus = menu_bar(&menuCount);
    ASSERT_EQ(menuCount, 7);
    std::vector<std::string> titles;
    int items = 0, separators = 0;
    for (int m = 0; m < menuCount; m++) {
        titles.push_back(menus[m].title);
        items += menus[m].count;
        for (int i = 0; i < menus[m].count; i++)
            separators += menus[m].items[i].separatorAfter;
    }
    EXPECT_EQ(titles, (std::vector<std::string>{"File", "Edit", "Edge Mode", "UV Mode", "Switches",
                                                "Textures", "Help"}));
    // The design's 30 items and 6 separators, with Export UV Layout... (and its separator),
    // Tight Packing, Fix Flips and Auto Seams of our own.
    EXPECT_EQ(items, 34);
    EXPECT_EQ(separators, 7);
    int count = 0;
    const ToolbarEntry* tb = toolbar_entries(&count);
    ASSERT_EQ(count, 17);
    int pictures = 0;
    for (int i = 0; i < count; i++) {
        if (tb[i].image < 0)
            continue;
        EXPECT_EQ(tb[i].image, pictures++);
        // Every toolbar button is also a menu command with a key, except none.
        EXPECT_NE(command_key(tb[i].id), 0) << tb[i].tooltip;
    }
    EXPECT_EQ(pictures, 14);
    EXPECT_STREQ(toolbar_tooltip(ID_UV_MINV), "Align to Minimum V");
    EXPECT_EQ(toolbar_tooltip(ID_FILE_LOAD), nullptr);
}

// With the process-wide document: options, the live unwrap and the file commands.
struct AppDocument : testing::Test {
    AppState& app = AppState::instance();
    MeshDocument& doc = MeshDocument::instance();
    std::string dir = "/tmp/marrowby_app_state_" + std::to_string(getpid());
    std::string box = dir + "/box.obj";
    std::string other = dir + "/other.obj";
    void SetUp() override {
        app.reset();
        startup_state() = StartupState{};
        engine_options() = EngineOptions{};
        shutdownCleanup();
        std::string src = std::string(MARROWBY_SOURCE_DIR) + "/examples/box.obj";
        std::string cmd = "rm -rf " + dir + " && mkdir -p " + dir + " && cp " + src + " " + box +
                          " && cp " + src + " " + other;
        ASSERT_EQ(std::system(cmd.c_str()), 0);
        platform_set_message_sink(nullptr);
        while (platform_take_message() != 0) {
        }
    }
    void TearDown() override {
        shutdownCleanup();
        while (platform_wait_message(std::chrono::milliseconds(200)) != 0)
            doc.onUnwrapDone();
        (void)std::system(("rm -rf " + dir).c_str());
    }
    // Waits for one WM_UNWRAP_DONE and hands it to the document, as the window does.
    bool finishRun() {
        unsigned m = platform_wait_message(std::chrono::seconds(30));
        if (m != WM_UNWRAP_DONE)
            return false;
        doc.onUnwrapDone();
        return true;
    }
};

TEST_F(AppDocument, TwoLscmTogglesStartTwoRunsTheSecondQueued) {
    ASSERT_TRUE(app.loadChosenFile(box));
    EXPECT_TRUE(app.runCommand(ID_SWITCH_LSCM).repaint);
    EXPECT_TRUE(app.isChecked(ID_SWITCH_LSCM));
    EXPECT_EQ(doc.liveBusy, 1);
    EXPECT_EQ(doc.liveRestartPending, 0);
    app.runCommand(ID_SWITCH_LSCM);
    EXPECT_FALSE(app.isChecked(ID_SWITCH_LSCM));
    EXPECT_TRUE(engine_options().useAbf);
    EXPECT_EQ(doc.liveRestartPending, 1);
    EXPECT_EQ(doc.liveRestartSnapshotId, UndoHistory::instance().currentId());
    ASSERT_TRUE(finishRun());
    EXPECT_EQ(doc.liveBusy, 1) << "the queued run started";
    EXPECT_EQ(doc.liveRestartPending, 0);
    ASSERT_TRUE(finishRun());
    EXPECT_EQ(doc.liveBusy, 0);
    EXPECT_EQ(platform_wait_message(std::chrono::milliseconds(100)), 0u);
}

TEST_F(AppDocument, FillHolesToggleChecksAndUnwraps) {
    ASSERT_TRUE(app.loadChosenFile(box));
    EXPECT_TRUE(app.isChecked(ID_SWITCH_FILLHOLES));
    app.runCommand(ID_SWITCH_FILLHOLES);
    EXPECT_FALSE(app.isChecked(ID_SWITCH_FILLHOLES));
    EXPECT_FALSE(engine_options().fillHoles);
    EXPECT_EQ(doc.liveBusy, 1);
    EXPECT_TRUE(finishRun());
}

TEST_F(AppDocument, TightPackingToggleChecksAndUnwrapsIntoTheSquare) {
    startup_state().startedWithFile = true; // export stays available when Save is greyed
    EXPECT_TRUE(app.isEnabled(ID_FILE_EXPORTUV));
    startup_state().startedWithFile = false;
    ASSERT_TRUE(app.loadChosenFile(box));
    EXPECT_FALSE(app.isChecked(ID_SWITCH_TIGHTPACK));
    EXPECT_TRUE(app.runCommand(ID_SWITCH_TIGHTPACK).repaint);
    EXPECT_TRUE(app.isChecked(ID_SWITCH_TIGHTPACK));
    EXPECT_TRUE(engine_options().tightPack);
    EXPECT_EQ(doc.liveBusy, 1);
    ASSERT_TRUE(finishRun());
    ASSERT_GT(doc.uvCount, 0);
    for (int i = 0; i < doc.uvCount; i++) {
        EXPECT_GE(doc.uvs[size_t(i)].u, 0.0f);
        EXPECT_LE(doc.uvs[size_t(i)].u, 1.0f);
        EXPECT_GE(doc.uvs[size_t(i)].v, 0.0f);
        EXPECT_LE(doc.uvs[size_t(i)].v, 1.0f);
    }
    app.runCommand(ID_SWITCH_TIGHTPACK);
    EXPECT_FALSE(app.isChecked(ID_SWITCH_TIGHTPACK));
    EXPECT_TRUE(finishRun());
}

// The Textures menu marks the texture that is on: the checker at start, then the one chosen.
TEST_F(AppDocument, TheTexturesMenuMarksTheTextureThatIsOn) {
    const int textures[] = {ID_TEXTURE_CHECKER, ID_TEXTURE_COLOURNUMBERS, ID_TEXTURE_STRETCH};
    auto checked = [this, &textures] {
        std::vector<int> on;
        for (int id : textures)
            if (app.isChecked(id))
                on.push_back(id);
        return on;
    };
    EXPECT_EQ(checked(), std::vector<int>{ID_TEXTURE_CHECKER});
    for (int id : {ID_TEXTURE_STRETCH, ID_TEXTURE_COLOURNUMBERS, ID_TEXTURE_CHECKER}) {
        app.runCommand(id);
        EXPECT_EQ(checked(), std::vector<int>{id});
    }
}

TEST_F(AppDocument, FixFlipsIsOnAtStartAndItsToggleUnwrapsAgain) {
    ASSERT_TRUE(app.loadChosenFile(box));
    EXPECT_TRUE(app.isChecked(ID_SWITCH_FIXFLIPS));
    for (bool on : {false, true}) {
        EXPECT_TRUE(app.runCommand(ID_SWITCH_FIXFLIPS).repaint);
        EXPECT_EQ(app.isChecked(ID_SWITCH_FIXFLIPS), on);
        EXPECT_EQ(engine_options().fixFlips, on);
        EXPECT_EQ(doc.liveBusy, 1);
        ASSERT_TRUE(finishRun());
    }
}

// Auto Seams (K) adds seams as one step that Z takes back whole, seams and layout; an added
// seam is an ordinary one that W welds.
TEST_F(AppDocument, AutoSeamsIsOneUndoableStepOfOrdinarySeams) {
    app_bind_edit_calls();
    ASSERT_TRUE(app.loadChosenFile(box));
    doc.startLiveUnwrap(UndoHistory::instance().currentId());
    ASSERT_TRUE(finishRun());
    auto seams = [this] {
        std::vector<int> on;
        for (int e = 0; e < doc.edgeCount; e++)
            if (doc.edges[size_t(e)].flags & FLAG_SEAM)
                on.push_back(e);
        return on;
    };
    auto uvs = [this] {
        std::vector<float> values;
        for (int i = 0; i < doc.uvCount; i++)
            values.insert(values.end(), {doc.uvs[size_t(i)].u, doc.uvs[size_t(i)].v});
        return values;
    };
    const std::vector<int> seamsBefore = seams();
    const std::vector<float> uvsBefore = uvs();
    const std::vector<int32_t> cornersBefore = doc.cornerUvs();

    EXPECT_TRUE(app.runCommand(ID_EDGE_AUTOSEAMS).repaint);
    EXPECT_EQ(doc.liveBusy, 1) << "the layout of the new seams runs in the background";
    ASSERT_TRUE(finishRun());
    const std::vector<int> seamsAfter = seams();
    ASSERT_GT(seamsAfter.size(), seamsBefore.size());
    for (int e : seamsBefore)
        EXPECT_TRUE(doc.edges[size_t(e)].flags & FLAG_SEAM) << "the user's seam " << e << " stays";
    EXPECT_GT(doc.chartCount, 1) << "the closed box is cut into several charts";

    app.runCommand(ID_EDIT_UNDO);
    EXPECT_EQ(seams(), seamsBefore);
    EXPECT_EQ(uvs(), uvsBefore);
    EXPECT_EQ(doc.cornerUvs(), cornersBefore);

    app.runCommand(ID_EDIT_REDO);
    EXPECT_EQ(seams(), seamsAfter);
    int added = -1;
    for (int e : seamsAfter)
        if (std::find(seamsBefore.begin(), seamsBefore.end(), e) == seamsBefore.end())
            added = e;
    ASSERT_GE(added, 0);
    doc.deselectAll();
    doc.edges[size_t(added)].flags |= FLAG_SELECTED;
    EXPECT_TRUE(app.runCommand(ID_EDGE_WELD).repaint);
    EXPECT_FALSE(doc.edges[size_t(added)].flags & FLAG_SEAM);
    EXPECT_EQ(seams().size(), seamsAfter.size() - 1);
    ASSERT_TRUE(finishRun());
}

TEST_F(AppDocument, LscmToggleWithAnEmptyDocumentStartsNothing) {
    app.runCommand(ID_SWITCH_LSCM);
    EXPECT_TRUE(app.isChecked(ID_SWITCH_LSCM));
    EXPECT_EQ(doc.liveBusy, 0);
    EXPECT_EQ(platform_wait_message(std::chrono::milliseconds(100)), 0u);
}

TEST_F(AppDocument, UndoAndRedoKeysMoveAlongTheHistory) {
    ASSERT_TRUE(app.loadChosenFile(box));
    UndoHistory& h = UndoHistory::instance();
    h.push();
    int newest = h.currentId();
    EXPECT_TRUE(app.dispatchEvent(EVT_KEY_DOWN, 'Z', 0));
    EXPECT_LT(h.currentId(), newest);
    EXPECT_TRUE(app.runCommand(ID_EDIT_REDO).repaint);
    EXPECT_EQ(h.currentId(), newest);
}

TEST_F(AppDocument, FailedLoadForgetsThePathSoSaveCannotEmptyTheEarlierFile) {
    ASSERT_TRUE(app.loadChosenFile(box));
    EXPECT_EQ(app.loadedPath, box);
    std::string before = read_file(box);
    EXPECT_FALSE(app.loadChosenFile(dir + "/missing.obj"));
    EXPECT_EQ(doc.faceCount, 0);
    EXPECT_EQ(UndoHistory::instance().size(), 0);
    EXPECT_EQ(UndoHistory::instance().nextId(), 0);
    EXPECT_TRUE(app.loadedPath.empty());
    EXPECT_FALSE(app.saveToLoadedPath());
    EXPECT_FALSE(app.runCommand(ID_FILE_SAVE).repaint);
    EXPECT_FALSE(app.saveAsChosenFile(other));
    EXPECT_EQ(read_file(box), before);
    EXPECT_EQ(read_file(other), before);
}

TEST_F(AppDocument, SaveAsWritesTheChosenFileAndKeepsTheLoadedPath) {
    ASSERT_TRUE(app.loadChosenFile(box));
    std::string target = dir + "/copy.obj";
    { std::ofstream(target) << "old\n"; }
    EXPECT_TRUE(app.saveAsChosenFile(target));
    EXPECT_EQ(app.loadedPath, box);
    std::string written = read_file(target);
    EXPECT_NE(written, "old\n");
    EXPECT_NE(written.find("MarrowbyOut"), std::string::npos);
    EXPECT_TRUE(app.saveToLoadedPath());
    EXPECT_NE(read_file(box).find("MarrowbyOut"), std::string::npos);
}

TEST_F(AppDocument, LoadWaitsForARunningWorkerAndIgnoresItsResult) {
    ASSERT_TRUE(app.loadChosenFile(box));
    app.runCommand(ID_SWITCH_LSCM);
    ASSERT_EQ(doc.liveBusy, 1);
    ASSERT_TRUE(app.loadChosenFile(other));
    EXPECT_EQ(doc.liveBusy, 0);
    std::vector<UvPoint> uvs = doc.uvs;
    int current = UndoHistory::instance().currentId();
    // The old run's message still arrives; it must change nothing.
    unsigned m = platform_wait_message(std::chrono::seconds(30));
    EXPECT_EQ(m, WM_UNWRAP_DONE);
    doc.onUnwrapDone();
    ASSERT_EQ(doc.uvs.size(), uvs.size());
    for (size_t i = 0; i < uvs.size(); i++) {
        EXPECT_EQ(doc.uvs[i].u, uvs[i].u);
        EXPECT_EQ(doc.uvs[i].v, uvs[i].v);
    }
    EXPECT_EQ(UndoHistory::instance().currentId(), current);
}

TEST_F(AppDocument, LoadKeepsCountingSnapshotIds) {
    ASSERT_TRUE(app.loadChosenFile(box));
    int first = UndoHistory::instance().currentId();
    ASSERT_TRUE(app.loadChosenFile(other));
    EXPECT_EQ(UndoHistory::instance().size(), 1);
    EXPECT_GT(UndoHistory::instance().currentId(), first);
}

TEST_F(AppDocument, StartedWithAFileGreysTheFileCommands) {
    startup_state().startedWithFile = true;
    for (int id : {ID_FILE_LOAD, ID_FILE_SAVE, ID_FILE_SAVEAS}) {
        EXPECT_FALSE(app.isEnabled(id));
        EXPECT_EQ(app.runCommand(id).action, WindowAction::None);
    }
    EXPECT_TRUE(app.isEnabled(IDM_EXIT));
    EXPECT_EQ(app.runCommand(IDM_EXIT).action, WindowAction::Exit);
}

} // namespace
