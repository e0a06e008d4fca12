// The window as an editor, driven through real input events under a virtual display: picking
// in both views, cut and undo with the background unwrap, the UV tools, edge paths, loops,
// borders and islands, and the status lines of the modes.

#include "app/app_state.h"
#include "app/startup.h"
#include "document/engine_options.h"
#include "document/mesh_document.h"
#include "document/undo_history.h"
#include "platform/key_state.h"
#include "platform/qt/main_window.h"
#include "platform/qt/window_run.h"
#include "platform/ui_messages.h"
#include "tools/seamgen/seam_cuts.h"
#include "views/renderer.h"
#include "views/scene_view.h"
#include "views/select_gesture.h"
#include "views/uv_view.h"
#include "window_test_util.h"

#include <gtest/gtest.h>

#include <QCursor>
#include <QTimer>

#include <cmath>
#include <fstream>
#include <iterator>
#include <memory>
#include <set>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

void reset_views() {
    for (auto* status : {SceneView::instance().statusText, UvView::instance().statusText})
        status[0] = 0;
    SceneView& s = SceneView::instance();
    s.mode = s.savedMode = MODE_NONE;
    s.rectActive = s.commitPending = s.shiftDown = s.ctrlDown = 0;
    UvView& u = UvView::instance();
    u.mode = u.savedMode = MODE_NONE;
    u.rectActive = u.commitPending = u.shiftDown = u.ctrlDown = 0;
    u.activeUvTool = 0;
    u.uvDragOpen = u.uvDragRefused = 0;
    u.reset();
    DisplaySwitches::instance() = DisplaySwitches{};
    platform_clear_keys();
}

std::set<int> selected_edges() {
    const MeshDocument& doc = MeshDocument::instance();
    std::set<int> s;
    for (int e = 0; e < doc.edgeCount; e++)
        if (doc.edges[size_t(e)].flags & FLAG_SELECTED)
            s.insert(e);
    return s;
}

std::set<int> selected_points() {
    const MeshDocument& doc = MeshDocument::instance();
    std::set<int> s;
    for (int i = 0; i < doc.uvCount; i++)
        if (doc.uvs[size_t(i)].flags & FLAG_SELECTED)
            s.insert(i);
    return s;
}

std::vector<float> uv_values() {
    const MeshDocument& doc = MeshDocument::instance();
    std::vector<float> v;
    for (int i = 0; i < doc.uvCount; i++) {
        v.push_back(doc.uvs[size_t(i)].u);
        v.push_back(doc.uvs[size_t(i)].v);
    }
    return v;
}

// Screen position of a point under a view's camera, in the view's own pixels.
QPointF view_pixel(const float modelView[16], const ViewRect& r, float x, float y, float z) {
    const PickCamera c = pick_camera(pick_view_of(modelView, r.right - r.left, r.bottom - r.top));
    float clip[4], sx, sy;
    pick_clip(c, x, y, z, clip);
    pick_screen(c, clip, &sx, &sy);
    return QPointF(sx, sy);
}

struct Gestures : testing::Test {
    std::string dir = "/tmp/marrowby_gesture_test_" + std::to_string(getpid());
    std::unique_ptr<MainWindow> window;

    void SetUp() override {
        application();
        shutdownCleanup();
        AppState::instance().reset();
        startup_state() = StartupState{};
        engine_options() = EngineOptions{};
        reset_views();
        ASSERT_EQ(std::system(("rm -rf " + dir + " && mkdir -p " + dir).c_str()), 0);
    }
    void TearDown() override {
        window.reset();
        shutdownCleanup();
        reset_views();
        QCoreApplication::processEvents();
        (void)std::system(("rm -rf " + dir).c_str());
    }

    // Opens the window on a copy of a mesh, cut into discs by seamgen and unwrapped.
    void open(const std::string& source, int slabs) {
        const std::string mesh = dir + "/mesh.obj", seams = dir + "/seams.bin";
        ASSERT_EQ(std::system(("cp " + source + " " + mesh).c_str()), 0);
        {
            MeshDocument doc;
            ASSERT_TRUE(doc.load(mesh.c_str()));
            ASSERT_TRUE(write_seam_list(seams, seams_to_discs(doc, seams_along_slabs(doc, slabs))));
        }
        std::string line = "\"" + mesh + "," + seams + ",,,\"";
        std::vector<char> text(line.begin(), line.end());
        text.push_back('\0');
        ASSERT_FALSE(parseCommandLine(text.data()));
        ASSERT_GT(MeshDocument::instance().faceCount, 0);
        finishStartupUnwrap();
        window = std::make_unique<MainWindow>();
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        window->views()->setFocus();
        frame();
    }
    QImage frame() {
        window->views()->repaint();
        return window->views()->grabFramebuffer();
    }
    GlView* v() { return window->views(); }
    void key(Qt::Key k) { QTest::keyClick(v(), k); }

    QPoint scenePoint(const Vec3& p) {
        const SceneView& s = SceneView::instance();
        QPointF q = view_pixel(s.modelView, s.viewRect, p.x, p.y, p.z);
        return QPoint(s.viewRect.left + int(q.x()), s.viewRect.top + int(q.y()));
    }
    int uvOffset() {
        return int(AppState::instance().splitRatio * float(AppState::instance().right));
    }
    QPoint uvPoint(float u, float v) {
        const UvView& view = UvView::instance();
        QPointF q = view_pixel(view.modelView, view.viewRect, u, v, 0);
        return QPoint(uvOffset() + int(q.x()), int(q.y()));
    }
    void drag(Qt::MouseButton button, QPoint from, QPoint to, int steps = 4) {
        QTest::mouseMove(v(), from);
        QTest::mousePress(v(), button, Qt::NoModifier, from);
        for (int i = 1; i <= steps; i++)
            QTest::mouseMove(v(), from + (to - from) * i / steps);
        QTest::mouseRelease(v(), button, Qt::NoModifier, to);
    }
    void click(QPoint p) {
        QTest::mouseMove(v(), p);
        QTest::mousePress(v(), Qt::LeftButton, Qt::NoModifier, p);
        QTest::mouseRelease(v(), Qt::LeftButton, Qt::NoModifier, p);
    }
    // The front-facing edge whose middle lies nearest the 3D view's centre.
    int centralEdge() {
        const MeshDocument& doc = MeshDocument::instance();
        const SceneView& s = SceneView::instance();
        const QPoint centre((s.viewRect.left + s.viewRect.right) / 2, s.viewRect.bottom / 2);
        int best = -1;
        double bestDistance = 1e30;
        for (int e = 0; e < doc.edgeCount; e++) {
            const MeshEdge& edge = doc.edges[size_t(e)];
            if (edge.frontFacing != 1)
                continue;
            QPoint m = edgeMiddle(e);
            double d = std::hypot(m.x() - centre.x(), m.y() - centre.y());
            if (d < bestDistance)
                bestDistance = d, best = e;
        }
        return best;
    }
    QPoint edgeMiddle(int e) {
        const MeshDocument& doc = MeshDocument::instance();
        const Vec3& a = doc.vertices[size_t(doc.edges[size_t(e)].vertexA)];
        const Vec3& b = doc.vertices[size_t(doc.edges[size_t(e)].vertexB)];
        return scenePoint(Vec3{(a.x + b.x) / 2, (a.y + b.y) / 2, (a.z + b.z) / 2});
    }
};

// The background unwrap's message, taken from the plain queue (no event loop sink here).
bool unwrap_landed() {
    MeshDocument& doc = MeshDocument::instance();
    if (platform_take_message() == WM_UNWRAP_DONE) {
        // As the window's message forwarding does.
        doc.onUnwrapDone();
        if (MainWindow* w = MainWindow::current())
            w->unwrapLanded();
    }
    return doc.liveBusy == 0;
}

std::string real_mesh(const char* name) {
    return std::string(MARROWBY_MESH_DIR) + "/" + name;
}

// Orange, the colour of a selected edge that is not a seam.
bool orange_near(const QImage& image, QPoint p) {
    for (int dy = -2; dy <= 2; dy++)
        for (int dx = -2; dx <= 2; dx++) {
            QColor c = image.pixelColor(p + QPoint(dx, dy));
            if (c.red() > 200 && c.green() > 110 && c.green() < 200 && c.blue() < 60)
                return true;
        }
    return false;
}

TEST_F(Gestures, ClickSelectsAnEdgeShownSelectedCutUnwrapsInTheBackgroundUndoRestores) {
    open(real_mesh("bunny.obj"), 4);
    MeshDocument& doc = MeshDocument::instance();
    AppState::instance().runCommand(ID_SWITCH_SINGLESELECT);
    key(Qt::Key_E);
    EXPECT_STREQ(SceneView::instance().statusText, "Mode: Edge Select");
    const int target = centralEdge();
    ASSERT_GE(target, 0);
    const QPoint at = edgeMiddle(target);
    EXPECT_FALSE(orange_near(frame(), at));
    const int snapshots = UndoHistory::instance().size();

    click(at);
    const std::set<int> picked = selected_edges();
    ASSERT_EQ(picked.size(), 1u) << "Single Select keeps the nearest edge";
    const int edge = *picked.begin();
    EXPECT_EQ(UndoHistory::instance().size(), snapshots + 1);
    EXPECT_TRUE(orange_near(frame(), edgeMiddle(edge))) << "drawn selected";

    const std::vector<float> before = uv_values();
    const std::string status = UvView::instance().statusText;
    key(Qt::Key_C);
    EXPECT_TRUE(doc.edges[size_t(edge)].flags & FLAG_SEAM);
    // Its result lands through the event loop, so the unwrap still runs here: it shows.
    EXPECT_EQ(doc.liveBusy, 1);
    EXPECT_STREQ(UvView::instance().statusText, "Unwrapping...");
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::BusyCursor);
    ASSERT_TRUE(wait_until(unwrap_landed));
    EXPECT_NE(uv_values(), before) << "the background unwrap landed";
    EXPECT_EQ(UvView::instance().statusText, status);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    key(Qt::Key_Z);
    EXPECT_FALSE(doc.edges[size_t(edge)].flags & FLAG_SEAM);
    EXPECT_EQ(uv_values(), before);
}

TEST_F(Gestures, RubberBandInTheUvViewSelectsThePointsInsideShiftTogglesCtrlRemoves) {
    open(real_mesh("bunny.obj"), 4);
    const MeshDocument& doc = MeshDocument::instance();
    key(Qt::Key_U);
    EXPECT_STREQ(UvView::instance().statusText, "Mode: UV Select");
    // Points strictly inside the band the gesture makes from a press at p to a release at q.
    auto inside = [&](QPoint p, QPoint q) {
        const int o = uvOffset();
        const int32_t rect[4] = {p.x() - o - 3, p.y() - 3, q.x() - o + 2, q.y() + 2};
        const PickRect r = pick_rect(rect);
        std::set<int> s;
        for (int i = 0; i < doc.uvCount; i++) {
            QPointF exact = view_pixel(UvView::instance().modelView, UvView::instance().viewRect,
                                       doc.uvs[size_t(i)].u, doc.uvs[size_t(i)].v, 0);
            if (rect_contains(r, float(exact.x()), float(exact.y())))
                s.insert(i);
        }
        return s;
    };
    const QPoint a = uvPoint(0.2f, 0.8f), b = uvPoint(0.6f, 0.3f);
    drag(Qt::LeftButton, a, b);
    const std::set<int> band = inside(a, b);
    ASSERT_GT(band.size(), 5u);
    EXPECT_EQ(selected_points(), band);

    // Shift toggles a second, overlapping band; Ctrl removes a third. Halfway through the
    // second, the band and the points it would toggle are drawn.
    const QPoint c = uvPoint(0.4f, 0.6f), d = uvPoint(0.9f, 0.1f);
    QTest::keyPress(v(), Qt::Key_Shift);
    const QImage still = frame();
    QTest::mouseMove(v(), c);
    QTest::mousePress(v(), Qt::LeftButton, Qt::NoModifier, c);
    QTest::mouseMove(v(), (c + d) / 2);
    const QImage during = frame();
    const QPoint corner = (c + d) / 2 + QPoint(2, 2);
    int changedAlongBand = 0;
    for (int x = c.x(); x < corner.x(); x++)
        changedAlongBand += during.pixel(x, c.y() - 3) != still.pixel(x, c.y() - 3);
    EXPECT_GT(changedAlongBand, (corner.x() - c.x()) / 2) << "the band's top edge is drawn";
#ifdef MARROWBY_GESTURE_SCREENSHOT
    window->grab().toImage().save(MARROWBY_GESTURE_SCREENSHOT);
#endif
    QTest::mouseMove(v(), d);
    QTest::mouseRelease(v(), Qt::LeftButton, Qt::NoModifier, d);
    QTest::keyRelease(v(), Qt::Key_Shift);
    std::set<int> expected;
    const std::set<int> second = inside(c, d);
    for (int i = 0; i < doc.uvCount; i++)
        if (band.count(i) != second.count(i))
            expected.insert(i);
    EXPECT_EQ(selected_points(), expected);

    QTest::keyPress(v(), Qt::Key_Control);
    drag(Qt::LeftButton, a, d);
    QTest::keyRelease(v(), Qt::Key_Control);
    const std::set<int> third = inside(a, d);
    std::set<int> left;
    for (int i : expected)
        if (!third.count(i))
            left.insert(i);
    EXPECT_EQ(selected_points(), left);
}

TEST_F(Gestures, UvMoveDragsMoveAndRotateTheSelectionAndTheCrossMovesUnderM) {
    open(real_mesh("bunny.obj"), 4);
    MeshDocument& doc = MeshDocument::instance();
    UvView& view = UvView::instance();
    key(Qt::Key_U);
    drag(Qt::LeftButton, uvPoint(0.3f, 0.7f), uvPoint(0.5f, 0.5f));
    const std::set<int> chosen = selected_points();
    ASSERT_FALSE(chosen.empty());
    key(Qt::Key_R);
    EXPECT_STREQ(view.statusText, "Mode: UV Move");
    ASSERT_TRUE(doc.selCentreValid);
    const int snapshots = UndoHistory::instance().size();

    // Middle: every selected point moves by the drag, the rest of their charts is re-solved.
    std::vector<float> before = uv_values();
    const QPoint from = uvPoint(0.5f, 0.5f);
    drag(Qt::MiddleButton, from, from + QPoint(40, 0));
    const float h = float(view.viewRect.bottom - view.viewRect.top);
    const float du = 40 * -view.translation[2] * 1.15f / h;
    int othersMoved = 0;
    for (int i = 0; i < doc.uvCount; i++) {
        if (chosen.count(i)) {
            EXPECT_NEAR(doc.uvs[size_t(i)].u, before[size_t(2 * i)] + du, 1e-4f) << i;
            EXPECT_NEAR(doc.uvs[size_t(i)].v, before[size_t(2 * i + 1)], 1e-4f) << i;
        } else {
            othersMoved += doc.uvs[size_t(i)].u != before[size_t(2 * i)];
        }
    }
    EXPECT_GT(othersMoved, 0) << "the charts were solved around the moved points";
    EXPECT_EQ(UndoHistory::instance().size(), snapshots + 1);

    // M held: the cross follows a left drag, and stays when M is released.
    const float cu = doc.selCentreU, cv = doc.selCentreV;
    QTest::keyPress(v(), Qt::Key_M);
    drag(Qt::LeftButton, from, from + QPoint(30, 0), 3);
    QTest::keyRelease(v(), Qt::Key_M);
    const float w = float(view.viewRect.right - view.viewRect.left);
    EXPECT_NEAR(doc.selCentreU, cu + 30 * -view.translation[2] * 1.15f / w, 1e-4f);
    EXPECT_FLOAT_EQ(doc.selCentreV, cv);
    EXPECT_EQ(view.mode, MODE_UV_MOVE);

    // Left: a rotation about the cross by 0.33 degrees a pixel, 30 pixels to the right.
    before = uv_values();
    drag(Qt::LeftButton, from, from + QPoint(30, 0), 3);
    const float angle = 30 * 0.33f * 0.017460318f;
    for (int i : chosen) {
        const float x = before[size_t(2 * i)] - doc.selCentreU,
                    y = before[size_t(2 * i + 1)] - doc.selCentreV;
        EXPECT_NEAR(doc.uvs[size_t(i)].u,
                    doc.selCentreU + std::cos(angle) * x - std::sin(angle) * y, 1e-4f);
        EXPECT_NEAR(doc.uvs[size_t(i)].v,
                    doc.selCentreV + std::sin(angle) * x + std::cos(angle) * y, 1e-4f);
    }
    EXPECT_TRUE(doc.uvBackup.empty()) << "the backup goes with the release";
    EXPECT_EQ(UndoHistory::instance().size(), snapshots + 2);
}

TEST_F(Gestures, EdgePathWhileTIsHeldAndDoubleClicksSelectLoopsBordersAndIslands) {
    open(std::string(MARROWBY_SOURCE_DIR) + "/examples/box.obj", 2);
    MeshDocument& doc = MeshDocument::instance();
    key(Qt::Key_E);
    frame();
    QTest::keyPress(v(), Qt::Key_T);
    EXPECT_STREQ(SceneView::instance().statusText, "Mode: Edge Topological");
    // Two front-facing edges far apart.
    const int first = centralEdge();
    ASSERT_GE(first, 0);
    int second = -1;
    int farthest = 0;
    for (int e = 0; e < doc.edgeCount; e++) {
        if (doc.edges[size_t(e)].frontFacing != 1)
            continue;
        const QPoint d = edgeMiddle(e) - edgeMiddle(first);
        if (d.manhattanLength() > farthest)
            farthest = d.manhattanLength(), second = e;
    }
    click(edgeMiddle(first));
    EXPECT_TRUE(selected_edges().empty()) << "the first click only anchors";
    const int anchor = doc.anchorEdge;
    ASSERT_GE(anchor, 0);
    click(edgeMiddle(second));
    QTest::keyRelease(v(), Qt::Key_T);
    EXPECT_STREQ(SceneView::instance().statusText, "Mode: Edge Select");
    const std::set<int> path = selected_edges();
    EXPECT_TRUE(path.count(anchor));
    EXPECT_TRUE(path.count(doc.anchorEdge)) << "the end is the new anchor";
    EXPECT_GE(path.size(), 2u);

    // A double-click on an edge of the box selects the loop of quads through it.
    key(Qt::Key_Q);
    EXPECT_TRUE(selected_edges().empty());
    const QPoint at = edgeMiddle(first);
    QTest::mouseMove(v(), at);
    QTest::mouseDClick(v(), Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseRelease(v(), Qt::LeftButton, Qt::NoModifier, at);
    EXPECT_EQ(SceneView::instance().mode, MODE_EDGE_SELECT);
    EXPECT_GE(selected_edges().size(), 4u) << "a loop around the box";

    // In UV mode: a double-click on a point selects its island's border or the island.
    key(Qt::Key_U);
    key(Qt::Key_Q);
    const UvPoint p = doc.uvs[size_t(doc.faces[0].uvIndices[0])];
    const QPoint uvAt = uvPoint(p.u, p.v);
    QTest::mouseMove(v(), uvAt);
    QTest::mouseDClick(v(), Qt::LeftButton, Qt::NoModifier, uvAt);
    QTest::mouseRelease(v(), Qt::LeftButton, Qt::NoModifier, uvAt);
    EXPECT_EQ(UvView::instance().mode, MODE_UV_SELECT);
    EXPECT_GE(selected_points().size(), 4u);
    const int chart = doc.faces[0].chart;
    for (int i : selected_points()) {
        bool inChart = false;
        for (int f = 0; f < doc.faceCount; f++)
            for (int k = 0; k < doc.faces[size_t(f)].cornerCount; k++)
                inChart |=
                    doc.faces[size_t(f)].uvIndices[k] == i && doc.faces[size_t(f)].chart == chart;
        EXPECT_TRUE(inChart) << "point " << i << " of another island";
    }
}

TEST_F(Gestures, StatusLinesFollowTheModesAndAnEmptyUvMoveChangesNothing) {
    open(real_mesh("bunny.obj"), 4);
    MeshDocument& doc = MeshDocument::instance();
    key(Qt::Key_U);
    QTest::keyPress(v(), Qt::Key_T);
    EXPECT_STREQ(UvView::instance().statusText, "Mode: Edge Topological");
    QTest::keyRelease(v(), Qt::Key_T);
    EXPECT_STREQ(UvView::instance().statusText, "Mode: Edge Select") << "even from UV selection";

    key(Qt::Key_R);
    EXPECT_STREQ(UvView::instance().statusText, "Mode: UV Move");
    EXPECT_FALSE(doc.selCentreValid);
    EXPECT_TRUE(window->toolAction(ID_UV_MOVE)->isChecked()) << "the toolbar shows the mode";
    EXPECT_FALSE(window->toolAction(ID_UV_SELECT)->isChecked());
    const std::vector<float> before = uv_values();
    const QPoint from = uvPoint(0.5f, 0.5f);
    drag(Qt::MiddleButton, from, from + QPoint(20, 10));
    drag(Qt::LeftButton, from, from + QPoint(20, 10));
    drag(Qt::RightButton, from, from + QPoint(20, 10));
    EXPECT_EQ(uv_values(), before);
    EXPECT_FALSE(doc.liveTriVertices.size()) << "no live solve left open";

    // Losing the focus while T is held returns both views to edge selection.
    QTest::keyPress(v(), Qt::Key_T);
    QFocusEvent out(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
    QApplication::sendEvent(v(), &out);
    EXPECT_EQ(SceneView::instance().mode, MODE_EDGE_SELECT);
    EXPECT_EQ(UvView::instance().mode, MODE_EDGE_SELECT);
    EXPECT_STREQ(SceneView::instance().statusText, "Mode: Edge Select");
}

TEST_F(Gestures, StartedWithAFileTheWindowShowsAtOnceAndClosingWritesTheBackgroundUnwrap) {
    // Two copies of a large mesh and its seams: one for the window, one for the batch path.
    const std::string seams = dir + "/seams.bin", shown = dir + "/shown.obj",
                      batch = dir + "/batch.obj";
    for (const std::string& copy : {shown, batch})
        ASSERT_EQ(std::system(("cp " + real_mesh("snowden.obj") + " " + copy).c_str()), 0);
    {
        MeshDocument doc;
        ASSERT_TRUE(doc.load(shown.c_str()));
        ASSERT_TRUE(write_seam_list(seams, seams_to_discs(doc, seams_along_slabs(doc, 6))));
    }
    const std::string arg = shown + "," + seams + ",,,";
    const char* argv[] = {"marrowby", arg.c_str()};
    bool shownBusy = false, busyStatus = false, busyCursor = false;
    QTimer::singleShot(0, [&] {
        ASSERT_TRUE(wait_until([] { return MainWindow::current() != nullptr; }));
        shownBusy =
            MeshDocument::instance().liveBusy == 1 && MeshDocument::instance().faceCount > 0;
        busyStatus = std::string(UvView::instance().statusText) == "Unwrapping...";
        busyCursor = QApplication::overrideCursor() &&
                     QApplication::overrideCursor()->shape() == Qt::BusyCursor;
        MainWindow::current()->close(); // before the unwrap lands
    });
    testing::internal::CaptureStderr();
    EXPECT_EQ(marrowby_main(2, argv, platform_run_window), 0);
    EXPECT_TRUE(shownBusy) << "the window was up with the mesh while the unwrap ran";
    EXPECT_TRUE(busyStatus);
    EXPECT_TRUE(busyCursor);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    const std::string batchArg = batch + "," + seams + ",,,-notlive";
    const char* batchArgv[] = {"marrowby", batchArg.c_str()};
    EXPECT_EQ(marrowby_main(2, batchArgv), -1);
    testing::internal::GetCapturedStderr();
    std::ifstream a(shown), b(batch);
    const std::string shownText((std::istreambuf_iterator<char>(a)), {});
    const std::string batchText((std::istreambuf_iterator<char>(b)), {});
    EXPECT_GT(shownText.size(), 1000u);
    EXPECT_TRUE(shownText == batchText) << "the file holds the unwrap the window was waiting for";
}

std::vector<QPoint> g_moves;

TEST_F(Gestures, MovesThatArriveTogetherReachTheViewAsTheLastOne) {
    open(real_mesh("bunny.obj"), 4);
    app_view_calls().sceneHandleMouse = [](int e, int x, int y, int, int) {
        if (e == EVT_MOUSE_MOVE)
            g_moves.push_back(QPoint(x, y));
        return false;
    };
    auto move = [this](int x, int y) {
        QMouseEvent m(QEvent::MouseMove, QPointF(x, y), v()->mapToGlobal(QPointF(x, y)),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(v(), &m);
    };
    QTest::mouseMove(v(), QPoint(100, 200));
    QTest::mousePress(v(), Qt::LeftButton, Qt::NoModifier, QPoint(100, 200));
    // Whatever the toolkit still had queued for the press goes first.
    QTest::qWait(50);
    g_moves.clear();
    for (int i = 1; i <= 5; i++)
        move(100 + i, 200);
    EXPECT_TRUE(g_moves.empty()) << "nothing delivered while events are coming in";
    EXPECT_TRUE(wait_until([] { return !g_moves.empty(); }, 2000));
    QTest::qWait(20);
    for (const QPoint& p : g_moves)
        EXPECT_EQ(p, QPoint(105, 200)) << "only the last position reaches the view";
    // A release delivers the pending move first.
    g_moves.clear();
    move(120, 210);
    QTest::mouseRelease(v(), Qt::LeftButton, Qt::NoModifier, QPoint(120, 210));
    ASSERT_FALSE(g_moves.empty());
    EXPECT_EQ(g_moves.front(), QPoint(120, 210));
}

TEST_F(Gestures, TheWheelZoomsTheViewUnderTheCursorWithinTheLimits) {
    open(real_mesh("bunny.obj"), 4);
    auto wheel = [this](QPoint at, int notches) {
        QWheelEvent e(at, v()->mapToGlobal(at), QPoint(), QPoint(0, 120 * notches), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(v(), &e);
    };
    const float scene = SceneView::instance().translation[2],
                uv = UvView::instance().translation[2];
    wheel(QPoint(SceneView::instance().viewRect.right / 2, 200), 2);
    EXPECT_FLOAT_EQ(SceneView::instance().translation[2], scene * 0.81f);
    EXPECT_FLOAT_EQ(UvView::instance().translation[2], uv) << "only the view under the cursor";
    wheel(uvPoint(0.5f, 0.5f), -1);
    EXPECT_FLOAT_EQ(UvView::instance().translation[2], uv / 0.9f);
    wheel(uvPoint(0.5f, 0.5f), 200);
    EXPECT_FLOAT_EQ(UvView::instance().translation[2], UV_NEAREST_DISTANCE);
}

} // namespace

// At the window's own size no edge of the bunny crowds: leaving out short edges changes none
// of its pixels, in either view and in every display mode.
TEST_F(Gestures, SparseMeshInTheWindowShowsTheSamePixelsAsWithEveryEdgeDrawn) {
    open(std::string(MARROWBY_MESH_DIR) + "/bunny.obj", 6);
    struct Case {
        const char* name;
        DisplaySwitches switches;
    };
    const Case cases[] = {
        {"plain", DisplaySwitches{}},
        {"wireframe", DisplaySwitches{1, 0, 0, 0}},
        {"stretch", DisplaySwitches{0, 0, 0, 1}},
    };
    Renderer& renderer = Renderer::instance();
    for (const Case& c : cases) {
        DisplaySwitches::instance() = c.switches;
        renderer.shortSegmentPixels = 0;
        const QImage every = frame();
        renderer.shortSegmentPixels = SHORT_SEGMENT_PIXELS;
        const QImage ruled = frame();
        ASSERT_EQ(every.size(), ruled.size());
        int differing = 0;
        for (int y = 0; y < every.height(); y++)
            for (int x = 0; x < every.width(); x++)
                differing += every.pixel(x, y) != ruled.pixel(x, y);
        EXPECT_EQ(differing, 0) << c.name;
        if (std::getenv("VIEW_FRAME_DUMP_DIR"))
            ruled.save(QString::fromLocal8Bit(std::getenv("VIEW_FRAME_DUMP_DIR")) +
                       "/window_bunny_" + c.name + ".png");
    }
}
