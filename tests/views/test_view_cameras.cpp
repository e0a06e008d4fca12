// Projection, layout, per-frame matrices and navigation of the two views, without a window.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "document/mesh_document.h"
#include "platform/key_state.h"
#include "views/renderer.h"
#include "views/scene_view.h"
#include "views/uv_view.h"
#include "views/view_math.h"

namespace {

// Written out here from the rules: half the fixed 60 degree angle with pi as 22/7.
const float F = 1.0f / std::tan(60.0f * 0.008730159f);

void reset_views() {
    platform_clear_keys();
    SceneView& s = SceneView::instance();
    s.mode = MODE_NONE;
    s.rotation[0] = s.rotation[1] = s.rotation[2] = 0;
    s.translation[0] = s.translation[1] = 0;
    s.translation[2] = -1.8f;
    s.pivot[0] = s.pivot[1] = s.pivot[2] = 0;
    s.viewRect = ViewRect{0, 0, 400, 300};
    s.altDown = 0;
    s.navigating = 0;
    s.rectActive = 0;
    s.commitPending = 0;
    UvView& u = UvView::instance();
    u.mode = MODE_NONE;
    u.reset();
    u.viewRect = ViewRect{0, 0, 400, 300};
    u.altDown = 0;
    u.navigating = 0;
    u.rectActive = 0;
    u.commitPending = 0;
    u.textureScale = 2;
}

// One mouse move of (dx, dy) from (100, 100) with the given virtual button held.
bool drag_scene(int button, int dx, int dy, bool alt = true) {
    platform_clear_keys();
    platform_set_key_down(button, true);
    SceneView& s = SceneView::instance();
    s.altDown = alt ? 1 : 0;
    return s.handleMouse(EVT_MOUSE_MOVE, 100 + dx, 100 + dy, 100, 100);
}

bool drag_uv(int button, int dx, int dy) {
    platform_clear_keys();
    platform_set_key_down(button, true);
    UvView& u = UvView::instance();
    u.altDown = 1;
    return u.handleMouse(EVT_MOUSE_MOVE, 100 + dx, 100 + dy, 100, 100);
}

} // namespace

TEST(Projection, MatchesTheFixedHorizontalFieldOfView) {
    float m[16];
    renderer_projection(m, 800, 600, 0.01f, 65535.0f);
    EXPECT_FLOAT_EQ(m[0], F);
    EXPECT_FLOAT_EQ(m[5], F * 800.0f / 600.0f);
    EXPECT_FLOAT_EQ(m[10], -(65535.0f + 0.01f) / (65535.0f - 0.01f));
    EXPECT_FLOAT_EQ(m[11], -1.0f);
    EXPECT_FLOAT_EQ(m[14], -2.0f * 65535.0f * 0.01f / (65535.0f - 0.01f));
    for (int i : {1, 2, 3, 4, 6, 7, 8, 9, 12, 13, 15})
        EXPECT_EQ(m[i], 0.0f) << i;
    // One pixel at distance d spans about 1.15 d / w, whatever the height.
    const float d = 3.0f, w = 800.0f;
    const float halfWidthAtD = d / m[0];
    EXPECT_NEAR(2 * halfWidthAtD / w, 1.15f * d / w, 0.01f * d / w);
}

TEST(Projection, ViewWithoutAreaGivesNoMatrix) {
    float m[16];
    renderer_projection(m, 0, 600, 0.01f, 65535.0f);
    for (float v : m)
        EXPECT_EQ(v, 0.0f);
    renderer_projection(m, 300, 0, 0.01f, 65535.0f);
    for (float v : m)
        EXPECT_TRUE(std::isfinite(v));
}

TEST(Layout, SplitTakenFromTheRightEdgeAndViewsMeet) {
    ViewRect a, b;
    renderer_layout(0, 0, 801, 500, 0.5f, &a, &b);
    EXPECT_EQ(a.right, 400);
    EXPECT_EQ(b.left, 400);
    EXPECT_EQ(b.right, 801);
    EXPECT_EQ(a.bottom, 500);
    EXPECT_EQ(b.top, 0);
    for (float ratio : {0.1f, 0.9f}) {
        renderer_layout(0, 0, 1000, 500, ratio, &a, &b);
        EXPECT_EQ(a.right, int(1000 * ratio));
        EXPECT_EQ(a.right, b.left);
    }
}

TEST(SceneMatrices, PivotIsTheCentreOfRotation) {
    reset_views();
    SceneView& s = SceneView::instance();
    s.translation[0] = 0.3f;
    s.translation[1] = -0.2f;
    s.pivot[0] = 0.25f;
    s.pivot[1] = -0.5f;
    s.pivot[2] = 0.75f;
    for (float pitch : {0.0f, 35.0f, -80.0f})
        for (float yaw : {0.0f, 120.0f, -400.0f}) {
            s.rotation[0] = pitch;
            s.rotation[1] = yaw;
            s.buildMatrices();
            float out[4];
            mat_transform(out, s.modelView, -0.25f, -0.5f, 0.75f, 1);
            EXPECT_NEAR(out[0], 0.3f, 1e-5f);
            EXPECT_NEAR(out[1], -0.2f, 1e-5f);
            EXPECT_NEAR(out[2], -1.8f, 1e-5f);
        }
}

TEST(SceneMatrices, YawTurnsAboutModelYBeforePitch) {
    reset_views();
    SceneView& s = SceneView::instance();
    s.rotation[0] = 90;
    s.rotation[1] = 90;
    s.buildMatrices();
    // Yaw 90 takes model +X to -Z; pitch 90 about the view's X then takes -Z to +Y.
    // (90 degrees with pi as 22/7 is a little more than a right angle.)
    float out[4];
    mat_transform(out, s.modelView, 1, 0, 0, 0);
    EXPECT_NEAR(out[0], 0, 2e-3f);
    EXPECT_NEAR(out[1], 1, 2e-3f);
    EXPECT_NEAR(out[2], 0, 2e-3f);
    // The tripod turns the other way in pitch: -Z to -Y.
    mat_transform(out, s.axisMatrix, 1, 0, 0, 0);
    EXPECT_NEAR(out[1], -1, 2e-3f);
}

TEST(SceneMatrices, DegreesUseTwentyTwoSevenths) {
    float m[16];
    mat_rotation_y(m, 180.0f);
    // 180 x 0.017460316 is 22/7, a little more than pi.
    EXPECT_NEAR(m[0], std::cos(22.0f / 7.0f), 1e-6f);
    EXPECT_GT(m[2], 0.0f); // -sin(22/7) > 0
}

TEST(SceneNavigation, PitchStopsAtNinetyAndTurnsBackAtOnce) {
    reset_views();
    SceneView& s = SceneView::instance();
    EXPECT_TRUE(drag_scene(VK_KEY_LBUTTON, 0, 300));
    EXPECT_FLOAT_EQ(s.rotation[0], 90.0f);
    drag_scene(VK_KEY_LBUTTON, 0, 50);
    EXPECT_FLOAT_EQ(s.rotation[0], 90.0f);
    drag_scene(VK_KEY_LBUTTON, 0, -10);
    EXPECT_NEAR(s.rotation[0], 90.0f - 3.1412f, 1e-4f);
    drag_scene(VK_KEY_LBUTTON, 0, -1000);
    EXPECT_FLOAT_EQ(s.rotation[0], -90.0f);
}

TEST(SceneNavigation, YawIsUnbounded) {
    reset_views();
    SceneView& s = SceneView::instance();
    for (int i = 0; i < 5; ++i)
        drag_scene(VK_KEY_LBUTTON, 1000, 0);
    EXPECT_NEAR(s.rotation[1], 5 * 314.12f, 1e-2f);
}

TEST(SceneNavigation, PanFactorNeverBelowDistanceOne) {
    for (float distance : {-0.5f, 0.5f, -1.0f}) {
        reset_views();
        SceneView& s = SceneView::instance();
        s.translation[2] = distance;
        drag_scene(VK_KEY_MBUTTON, 40, -20);
        // e = -1: pan x += 1.15 dx / w, pan y -= 1.15 dy / w.
        EXPECT_NEAR(s.translation[0], 1.15f * 40 / 400, 1e-6f) << distance;
        EXPECT_NEAR(s.translation[1], 1.15f * 20 / 400, 1e-6f) << distance;
    }
    reset_views();
    SceneView& s = SceneView::instance();
    s.translation[2] = -3.0f;
    drag_scene(VK_KEY_MBUTTON, 40, 0);
    EXPECT_NEAR(s.translation[0], 3 * 1.15f * 40 / 400, 1e-6f);
    s.translation[0] = 0;
    s.translation[2] = 2.0f; // behind the model: e = -2
    drag_scene(VK_KEY_MBUTTON, 40, 0);
    EXPECT_NEAR(s.translation[0], 2 * 1.15f * 40 / 400, 1e-6f);
}

TEST(SceneNavigation, DollyFollowsTheLargerMotionWithoutLimit) {
    reset_views();
    SceneView& s = SceneView::instance();
    drag_scene(VK_KEY_RBUTTON, 30, 10);
    EXPECT_NEAR(s.translation[2], -1.8f + 0.3f, 1e-6f);
    drag_scene(VK_KEY_RBUTTON, 10, -10); // a tie goes to dy
    EXPECT_NEAR(s.translation[2], -1.8f + 0.3f - 0.1f, 1e-6f);
    drag_scene(VK_KEY_RBUTTON, 0, 500);
    EXPECT_GT(s.translation[2], 0.0f);
}

TEST(SceneNavigation, FirstHeldButtonDecides) {
    reset_views();
    SceneView& s = SceneView::instance();
    platform_clear_keys();
    platform_set_key_down(VK_KEY_LBUTTON, true);
    platform_set_key_down(VK_KEY_RBUTTON, true);
    s.altDown = 1;
    s.handleMouse(EVT_MOUSE_MOVE, 110, 100, 100, 100);
    EXPECT_NE(s.rotation[1], 0.0f);
    EXPECT_FLOAT_EQ(s.translation[2], -1.8f);
}

TEST(SceneNavigation, WithoutLeftAltNothingMoves) {
    reset_views();
    SceneView& s = SceneView::instance();
    // The right Alt key (165) is not the left one the dispatcher reads.
    platform_set_key_down(165, true);
    EXPECT_FALSE(platform_key_down(VK_KEY_LMENU));
    platform_clear_keys();
    platform_set_key_down(VK_KEY_LBUTTON, true);
    platform_set_key_down(165, true);
    s.altDown = platform_key_down(VK_KEY_LMENU) ? 1 : 0;
    s.handleMouse(EVT_MOUSE_MOVE, 150, 180, 100, 100);
    EXPECT_EQ(s.rotation[0], 0.0f);
    EXPECT_EQ(s.rotation[1], 0.0f);
    EXPECT_EQ(s.navigating, 0);
}

TEST(SceneNavigation, AltEndsARectangleAndLeavesItsPicksPending) {
    reset_views();
    SceneView& s = SceneView::instance();
    s.mode = MODE_EDGE_SELECT;
    s.rectActive = 1;
    s.selectRect[0] = 5;
    s.selectRect[1] = 6;
    s.selectRect[2] = 50;
    s.selectRect[3] = 60;
    platform_clear_keys();
    s.altDown = 1;
    EXPECT_TRUE(s.handleMouse(EVT_MOUSE_MOVE, 100, 100, 100, 100));
    EXPECT_EQ(s.rectActive, 0);
    EXPECT_EQ(s.commitPending, 1);
    for (int c : s.selectRect)
        EXPECT_EQ(c, -1);
    EXPECT_EQ(s.navigating, 1);
}

TEST(SceneNavigation, KeyEventsAndEmptyViewsAreIgnored) {
    reset_views();
    SceneView& s = SceneView::instance();
    s.altDown = 1;
    platform_set_key_down(VK_KEY_LBUTTON, true);
    EXPECT_FALSE(s.handleMouse(EVT_KEY_DOWN, 65, 0, 0, 0));
    s.viewRect = ViewRect{0, 0, 0, 300};
    drag_scene(VK_KEY_MBUTTON, 40, 0);
    EXPECT_EQ(s.translation[0], 0.0f);
    EXPECT_TRUE(std::isfinite(s.translation[0]));
}

TEST(ScenePivot, LeftDragSlidesAlongTheScreenRightDragAlongDepth) {
    reset_views();
    SceneView& s = SceneView::instance();
    s.mode = MODE_PIVOT;
    drag_scene(VK_KEY_LBUTTON, 20, 10, false);
    // No rotation: Q is the identity; e = -1.8.
    EXPECT_NEAR(s.pivot[0], -1.15f * (-1.8f / 400) * 20, 1e-6f);
    EXPECT_NEAR(s.pivot[1], -1.15f * (-1.8f / 400) * 10, 1e-6f);
    EXPECT_EQ(s.pivot[2], 0.0f);

    reset_views();
    s.mode = MODE_PIVOT;
    s.rotation[0] = 30;
    s.rotation[1] = 40;
    drag_scene(VK_KEY_RBUTTON, 3, -7, false);
    // The pivot moved by the inverse rotation of (0, 0, 0.07): rotating back gives it.
    float rx[16], ry[16], r[16], v[4];
    mat_rotation_x(rx, 30);
    mat_rotation_y(ry, -40);
    mat_mul(r, rx, ry);
    mat_transform(v, r, s.pivot[0], s.pivot[1], s.pivot[2], 0);
    EXPECT_NEAR(v[0], 0, 1e-6f);
    EXPECT_NEAR(v[1], 0, 1e-6f);
    EXPECT_NEAR(v[2], 0.07f, 1e-6f);

    reset_views();
    s.mode = MODE_PIVOT;
    drag_scene(VK_KEY_MBUTTON, 20, 10, false);
    EXPECT_EQ(s.pivot[0], 0.0f);
    EXPECT_EQ(s.pivot[1], 0.0f);
}

TEST(UvNavigation, PanUsesTheStoredDistance) {
    reset_views();
    UvView& u = UvView::instance();
    u.translation[2] = -0.5f;
    drag_uv(VK_KEY_LBUTTON, 40, 20);
    EXPECT_NEAR(u.translation[0], -0.5f + (40.0f / 400) * 0.5f * 1.15f, 1e-6f);
    EXPECT_NEAR(u.translation[1], -0.5f - (20.0f / 400) * 0.5f * 1.15f, 1e-6f);
    const float x = u.translation[0];
    drag_uv(VK_KEY_MBUTTON, 40, 0);
    EXPECT_NEAR(u.translation[0], x + (40.0f / 400) * 0.5f * 1.15f, 1e-6f);
}

TEST(UvNavigation, ZoomStopsJustAboveThePlane) {
    reset_views();
    UvView& u = UvView::instance();
    drag_uv(VK_KEY_RBUTTON, 0, 50);
    EXPECT_NEAR(u.translation[2], -0.5f, 1e-6f);
    drag_uv(VK_KEY_RBUTTON, 200, 0);
    EXPECT_FLOAT_EQ(u.translation[2], -0.01f);
    drag_uv(VK_KEY_RBUTTON, 0, -100);
    EXPECT_NEAR(u.translation[2], -1.01f, 1e-6f);
}

TEST(UvNavigation, MatrixIsTheTranslationAlone) {
    reset_views();
    UvView& u = UvView::instance();
    u.translation[0] = 0.25f;
    u.buildMatrix();
    float out[4];
    mat_transform(out, u.modelView, 0.5f, 0.5f, 0, 1);
    EXPECT_FLOAT_EQ(out[0], 0.75f);
    EXPECT_FLOAT_EQ(out[1], 0.0f);
    EXPECT_FLOAT_EQ(out[2], -1.0f);
}

TEST(TextureScale, StepsBetweenOneAndFour) {
    reset_views();
    UvView& u = UvView::instance();
    EXPECT_TRUE(u.coarserTexture());
    EXPECT_EQ(u.textureScale, 1);
    EXPECT_FALSE(u.coarserTexture());
    EXPECT_EQ(u.textureScale, 1);
    EXPECT_TRUE(u.finerTexture());
    EXPECT_TRUE(u.finerTexture());
    EXPECT_TRUE(u.finerTexture());
    EXPECT_FALSE(u.finerTexture());
    EXPECT_EQ(u.textureScale, 4);
    EXPECT_EQ(texture_repeat(1), 0.5f);
    EXPECT_EQ(texture_repeat(2), 1.0f);
    EXPECT_EQ(texture_repeat(3), 2.0f);
    EXPECT_EQ(texture_repeat(4), 4.0f);
}

TEST(Modes, KeyEntriesSetTextAndTemporaryModesReturn) {
    reset_views();
    SceneView& s = SceneView::instance();
    UvView& u = UvView::instance();
    EXPECT_TRUE(s.setMode(MODE_UV_SELECT));
    EXPECT_STREQ(s.statusText, "Mode: UV Select");
    EXPECT_FALSE(s.setMode(MODE_UV_SELECT));
    s.setMode(MODE_EDGE_TOPOLOGICAL);
    EXPECT_STREQ(s.statusText, "Mode: Edge Topological");
    s.releaseKey(MODE_EDGE_TOPOLOGICAL);
    EXPECT_EQ(s.mode, MODE_EDGE_SELECT);
    EXPECT_STREQ(s.statusText, "Mode: Edge Select");
    s.setMode(MODE_PIVOT);
    EXPECT_EQ(s.savedMode, MODE_EDGE_SELECT);
    EXPECT_STREQ(s.statusText, "Mode: Edge Select");
    s.releaseKey(MODE_PIVOT);
    EXPECT_EQ(s.mode, MODE_EDGE_SELECT);
    s.setMode(KEYCODE_SHIFT);
    EXPECT_EQ(s.shiftDown, 1);
    EXPECT_EQ(s.mode, MODE_EDGE_SELECT);

    u.setMode(MODE_UV_MOVE);
    u.setMode(MODE_PIVOT);
    u.releaseKey(MODE_PIVOT);
    EXPECT_EQ(u.mode, MODE_UV_MOVE);
    EXPECT_STREQ(u.statusText, "Mode: UV Move");

    s.setMode(MODE_EDGE_TOPOLOGICAL);
    u.setMode(MODE_EDGE_TOPOLOGICAL);
    s.releaseAll();
    EXPECT_EQ(s.mode, MODE_EDGE_SELECT);
    EXPECT_EQ(u.mode, MODE_EDGE_SELECT);
    EXPECT_EQ(s.shiftDown, 0);
}

namespace {

// A cube of edge 2 around (1, 1, 1) with texture coordinates and normals.
std::string write_cube() {
    const std::string path = testing::TempDir() + "views_cube.obj";
    std::FILE* f = std::fopen(path.c_str(), "w");
    std::fputs("v 0 0 0\nv 2 0 0\nv 2 2 0\nv 0 2 0\nv 0 0 2\nv 2 0 2\nv 2 2 2\nv 0 2 2\n"
               "vt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\nvn 0 0 1\n"
               "f 1/1/1 2/2/1 3/3/1 4/4/1\nf 5/1/1 8/4/1 7/3/1 6/2/1\n"
               "f 1/1/1 5/2/1 6/3/1 2/4/1\nf 2/1/1 6/2/1 7/3/1 3/4/1\n"
               "f 3/1/1 7/2/1 8/3/1 4/4/1\nf 4/1/1 8/2/1 5/3/1 1/4/1\n",
               f);
    std::fclose(f);
    return path;
}

} // namespace

TEST(Cameras, LoadResetsTheSceneCameraAndKeepsTheRest) {
    reset_views();
    SceneView& s = SceneView::instance();
    UvView& u = UvView::instance();
    s.rotation[0] = 20;
    s.translation[0] = 0.7f;
    s.translation[2] = -5;
    s.pivot[0] = 0.3f;
    u.translation[2] = -3;
    ASSERT_TRUE(MeshDocument::instance().load(write_cube().c_str()));
    EXPECT_EQ(s.translation[0], 0.0f);
    EXPECT_FLOAT_EQ(s.translation[2], -1.8f);
    EXPECT_EQ(s.pivot[0], 0.0f);
    EXPECT_EQ(s.rotation[0], 20.0f);
    EXPECT_EQ(u.translation[2], -3.0f);
    EXPECT_EQ(u.modelView[14], -3.0f);
    EXPECT_EQ(s.modelView[14], -1.8f);
}

TEST(Cameras, ResetKeepsRotationPivotAndMesh) {
    reset_views();
    MeshDocument& doc = MeshDocument::instance();
    ASSERT_TRUE(doc.load(write_cube().c_str()));
    const std::vector<Vec3> before = doc.vertices;
    SceneView& s = SceneView::instance();
    UvView& u = UvView::instance();
    s.rotation[0] = 33;
    s.pivot[1] = 0.4f;
    s.translation[0] = 2;
    s.translation[2] = -7;
    u.translation[0] = 4;
    s.resetCamera();
    u.reset();
    EXPECT_EQ(s.translation[0], 0.0f);
    EXPECT_FLOAT_EQ(s.translation[2], -1.8f);
    EXPECT_EQ(s.rotation[0], 33.0f);
    EXPECT_EQ(s.pivot[1], 0.4f);
    EXPECT_FLOAT_EQ(u.translation[0], -0.5f);
    EXPECT_FLOAT_EQ(u.translation[2], -1.0f);
    ASSERT_EQ(before.size(), doc.vertices.size());
    for (size_t i = 1; i < before.size(); ++i)
        EXPECT_EQ(before[i].x, doc.vertices[i].x);
}

TEST(Cameras, CentreOnSelectedEdgesCountsEveryEdgeEnd) {
    reset_views();
    MeshDocument& doc = MeshDocument::instance();
    ASSERT_TRUE(doc.load(write_cube().c_str()));
    SceneView& s = SceneView::instance();
    s.pivot[0] = 0.1f;
    s.pivot[1] = 0.2f;
    s.pivot[2] = 0.3f;
    for (MeshEdge& e : doc.edges)
        e.flags = (e.flags & ~(FLAG_SELECTED | FLAG_UNSELECTED)) | FLAG_UNSELECTED;
    EXPECT_TRUE(s.centreOnSelectedEdges());
    EXPECT_EQ(s.pivot[0], 0.1f); // nothing selected: unchanged
    EXPECT_EQ(s.pivot[2], 0.3f);

    // Two edges sharing a vertex: the shared end counts twice.
    const int e1 = doc.findEdge(1, 2), e2 = doc.findEdge(2, 3);
    ASSERT_GE(e1, 0);
    ASSERT_GE(e2, 0);
    for (int e : {e1, e2})
        doc.edges[size_t(e)].flags = FLAG_SELECTED;
    const Vec3 a = doc.vertices[1], b = doc.vertices[2], c = doc.vertices[3];
    s.centreOnSelectedEdges();
    EXPECT_NEAR(s.pivot[0], -(a.x + 2 * b.x + c.x) / 4, 1e-6f);
    EXPECT_NEAR(s.pivot[1], (a.y + 2 * b.y + c.y) / 4, 1e-6f);
    EXPECT_NEAR(s.pivot[2], (a.z + 2 * b.z + c.z) / 4, 1e-6f);
    // The mean becomes the centre of rotation.
    s.rotation[1] = 77;
    s.buildMatrices();
    float out[4];
    mat_transform(out, s.modelView, (a.x + 2 * b.x + c.x) / 4, (a.y + 2 * b.y + c.y) / 4,
                  (a.z + 2 * b.z + c.z) / 4, 1);
    EXPECT_NEAR(out[0], s.translation[0], 1e-5f);
    EXPECT_NEAR(out[2], s.translation[2], 1e-5f);
}
