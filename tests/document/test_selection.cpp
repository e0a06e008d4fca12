// Selecting: the screen tests, the marking and commit of picks, the 3D edge pick, deselect all
// and the selection's place in the undo history.

#include "document/undo_history.h"
#include "selection_test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

TEST(PickGeometry, SegmentsAndPointsAgainstTheRectangle) {
    const int32_t rect[4] = {20, 10, 10, 20}; // either corner first
    const PickRect r = pick_rect(rect);
    struct Case {
        float x1, y1, x2, y2;
        bool hit;
    } cases[] = {
        {15, 15, 100, 100, true}, // an end inside
        {0, 15, 30, 15, true},    // horizontal, through both sides
        {15, 0, 15, 30, true},    // vertical, through top and bottom
        {0, 5, 30, 25, true},     // diagonal through, no end inside
        {0, 0, 30, 30, false},    // the diagonal through both corners
        {0, 10, 30, 10, false},   // along the top border only
        {10, 0, 10, 30, false},   // along the left border only
        {0, 30, 30, 30, false},   // below
        {5, 15, 5, 15, false},    // a point outside
        {0, 25, 25, 0, true},     // cuts the corner region
        {0, 20, 20, 0, false},    // through the corner (10, 10) only
    };
    for (const Case& c : cases) {
        EXPECT_EQ(segment_hits_rect(r, c.x1, c.y1, c.x2, c.y2), c.hit)
            << c.x1 << "," << c.y1 << " - " << c.x2 << "," << c.y2;
        EXPECT_EQ(segment_hits_rect(r, c.x2, c.y2, c.x1, c.y1), c.hit) << "reversed";
    }
    EXPECT_TRUE(rect_contains(r, 15, 15));
    EXPECT_FALSE(rect_contains(r, 10, 15)); // strict
    EXPECT_FALSE(rect_contains(r, 15, 20));
}

TEST(PickGeometry, NearClippingMovesTheEndBehindToTheNearLimit) {
    float a[4] = {1, 2, 3, -1}, b[4] = {3, 2, 5, 1};
    ASSERT_TRUE(clip_segment_near(a, b));
    // t = (0.01 + 1) / 2 of the way from a to b.
    EXPECT_FLOAT_EQ(a[0], 1 + 0.505f * 2);
    EXPECT_FLOAT_EQ(a[2], 3 + 0.505f * 2);
    EXPECT_FLOAT_EQ(a[3], 0.01f);
    EXPECT_FLOAT_EQ(b[0], 3);
    float c[4] = {0, 0, 0, 0.01f}, d[4] = {0, 0, 0, -2};
    EXPECT_FALSE(clip_segment_near(c, d)); // neither end beyond the limit
    // Counter-clockwise on screen (y down) faces the camera.
    EXPECT_LT(facing_value(0, 0, 10, 0, 0, -10), 0);
    EXPECT_GT(facing_value(0, 0, 0, -10, 10, 0), 0);
}

// Two UV points at pixels (50, 50) and (150, 50) of the flat UV camera; each case selects
// some, picks a rectangle over some with modifiers, commits, and checks states and report.
struct MarkCase {
    const char* name;
    bool sel[2];
    bool hit[2];
    bool shift, ctrl;
    bool expect[2];
    bool changed;
};

TEST(Selection, MarkingRuleAndCommitReport) {
    const MarkCase cases[] = {
        {"plain replaces", {false, true}, {true, false}, false, false, {true, false}, true},
        {"plain over nothing deselects",
         {true, false},
         {false, false},
         false,
         false,
         {false, false},
         true},
        {"plain over nothing, nothing selected",
         {false, false},
         {false, false},
         false,
         false,
         {false, false},
         false},
        {"plain over the selection keeps it",
         {true, false},
         {true, false},
         false,
         false,
         {true, false},
         false},
        {"shift swaps", {true, false}, {true, true}, true, false, {false, true}, true},
        {"ctrl removes and reports nothing",
         {true, false},
         {true, true},
         false,
         true,
         {false, false},
         false},
        {"ctrl over unselected leaves it",
         {false, false},
         {false, true},
         false,
         true,
         {false, false},
         false},
        {"ctrl shift adds", {true, false}, {true, true}, true, true, {true, true}, true},
        {"ctrl shift over selected only",
         {true, false},
         {true, false},
         true,
         true,
         {true, false},
         false},
    };
    for (const MarkCase& c : cases) {
        MeshDocument doc;
        ASSERT_TRUE(read_obj_text(doc, grid_obj(1, 1)));
        doc.uvs[0].u = -0.5f, doc.uvs[0].v = 0.5f; // pixel (50, 50)
        doc.uvs[1].u = 0.5f, doc.uvs[1].v = 0.5f;  // pixel (150, 50)
        doc.uvs[2].u = doc.uvs[3].u = -0.9f;       // out of every rectangle below
        doc.uvs[2].v = doc.uvs[3].v = -0.9f;
        for (int i = 0; i < 2; i++)
            doc.uvs[size_t(i)].flags = c.sel[i] ? FLAG_SELECTED : FLAG_UNSELECTED;
        int32_t rect[4] = {0, 0, 1, 1}; // empty space
        if (c.hit[0] || c.hit[1])
            rect[0] = c.hit[0] ? 40 : 140, rect[2] = c.hit[1] ? 160 : 60, rect[1] = 40,
            rect[3] = 60;
        // A drag repeats its pick at every event; the marks describe the last rectangle.
        doc.pickUvPoints(flat_view(), rect, c.shift, c.ctrl, false);
        doc.pickUvPoints(flat_view(), rect, c.shift, c.ctrl, false);
        EXPECT_EQ(doc.commitUvPicks(), c.changed) << c.name;
        for (int i = 0; i < 4; i++) {
            const int32_t f = doc.uvs[size_t(i)].flags;
            EXPECT_EQ(selected(f), i < 2 && c.expect[i]) << c.name << " point " << i;
            EXPECT_EQ(f & (FLAG_PICK_ADD | FLAG_PICK_REMOVE | FLAG_WAS_SELECTED), 0) << c.name;
            EXPECT_EQ(f & 3, selected(f) ? FLAG_SELECTED : FLAG_UNSELECTED) << c.name;
        }
    }
}

TEST(Selection, ForcedPickLeavesAPointSelectedWhateverItWas) {
    MeshDocument doc;
    ASSERT_TRUE(read_obj_text(doc, grid_obj(1, 1)));
    doc.uvs[0].u = -0.5f, doc.uvs[0].v = 0.5f;
    doc.uvs[0].flags = FLAG_SELECTED;
    const int32_t rect[4] = {47, 47, 53, 53};
    doc.pickUvPoints(flat_view(), rect, true, false, true); // Shift would toggle it off
    EXPECT_EQ(doc.uvs[0].flags & 0x0F, FLAG_UNSELECTED | FLAG_PICK_ADD);
    doc.commitUvPicks();
    EXPECT_TRUE(selected(doc.uvs[0].flags));
}

// A camera for which every point lands on the pixel row y = 100, at depth
// w = depth - ax x - ay y, so edges can lie partly behind it.
PickView slanted_view(float ax, float ay, float depth) {
    PickView v{};
    v.modelView[0] = 1;  // x_eye = x
    v.modelView[2] = ax; // z_eye = ax x + ay y - depth
    v.modelView[6] = ay;
    v.modelView[14] = -depth;
    v.modelView[15] = 1;
    v.projection[0] = 1;
    v.projection[5] = 1;
    v.projection[10] = 1;
    v.projection[11] = -1; // w = -z_eye
    v.width = v.height = 200;
    return v;
}

TEST(Selection, EdgePickIn3dClipsAtTheNearLimitAndKeepsEdgesBehind) {
    // One quad: edge 0 left (top to bottom), 1 bottom, 2 right, 3 top. Its top lies behind
    // the camera (w = 0.5 - y, y = +-0.707 after normalising).
    MeshDocument doc;
    ASSERT_TRUE(read_obj_text(doc, grid_obj(1, 1)));
    ASSERT_EQ(doc.edgeCount, 4);
    const PickView view = slanted_view(0, 1, 0.5f);
    for (MeshEdge& e : doc.edges)
        e.flags = FLAG_UNSELECTED | FLAG_PICK_ADD;
    // The left edge, clipped, runs from pixel 41 off to the far left; unclipped it would be
    // mirrored to the right. The top edge has both ends behind: its marks stay.
    const int32_t rect[4] = {17, 97, 23, 103};
    doc.pickEdges3d(view, rect, true, false, false, false, false, false);
    EXPECT_TRUE(doc.edges[0].flags & FLAG_PICK_ADD) << "clipped edge hit";
    EXPECT_FALSE(doc.edges[1].flags & FLAG_PICK_ADD) << "bottom edge missed";
    EXPECT_FALSE(doc.edges[2].flags & FLAG_PICK_ADD) << "right edge missed";
    EXPECT_TRUE(doc.edges[3].flags & FLAG_PICK_ADD) << "edge behind keeps its marks";
    EXPECT_EQ(doc.anchorEdge, 0);
}

TEST(Selection, SingleSelectKeepsTheNearestEdgeFirstInEdgeOrderAndHonoursFacing) {
    MeshDocument doc;
    ASSERT_TRUE(read_obj_text(doc, grid_obj(1, 1)));
    // The top right corner is nearest; the right edge (2) and the top edge (3) share it.
    const PickView view = slanted_view(1, 0.5f, 3);
    const int32_t all[4] = {-100000, 90, 100000, 110};
    EXPECT_FALSE(doc.pickEdges3d(view, all, false, false, true, false, false, false));
    EXPECT_TRUE(doc.commitEdgePicks());
    for (int e = 0; e < 4; e++)
        EXPECT_EQ(selected(doc.edges[size_t(e)].flags), e == 2) << e;
    EXPECT_EQ(doc.anchorEdge, 2);

    // A plain pick starts by clearing: it answers that it cleared a selected edge. With only
    // the left and bottom edges facing the camera, the nearest pickable one is the bottom.
    for (MeshEdge& e : doc.edges)
        e.frontFacing = 0;
    doc.edges[0].frontFacing = doc.edges[1].frontFacing = 1;
    EXPECT_TRUE(doc.pickEdges3d(view, all, false, false, true, false, false, true));
    doc.commitEdgePicks();
    for (int e = 0; e < 4; e++)
        EXPECT_EQ(selected(doc.edges[size_t(e)].flags), e == 1) << e;
}

TEST(Selection, DeselectAllClearsPinsAndAnchorWithoutASnapshot) {
    MeshDocument doc;
    UndoHistory history(doc);
    ASSERT_TRUE(read_obj_text(doc, grid_obj(2, 2)));
    doc.edges[3].flags = FLAG_SELECTED | FLAG_SEAM;
    doc.uvs[4].flags = FLAG_SELECTED | FLAG_PINNED;
    doc.uvs[5].flags = FLAG_UNSELECTED | FLAG_PINNED;
    doc.anchorEdge = 3;
    history.push();
    const int snapshots = history.size();
    doc.deselectAll();
    EXPECT_EQ(history.size(), snapshots);
    EXPECT_EQ(doc.edges[3].flags, FLAG_UNSELECTED | FLAG_SEAM) << "seams stay";
    EXPECT_EQ(doc.uvs[4].flags, FLAG_UNSELECTED);
    EXPECT_EQ(doc.uvs[5].flags, FLAG_UNSELECTED);
    EXPECT_EQ(doc.anchorEdge, -1);

    // Selection, pins and the anchor travel with the snapshots.
    history.push();
    history.undo();
    EXPECT_EQ(doc.edges[3].flags, FLAG_SELECTED | FLAG_SEAM);
    EXPECT_EQ(doc.uvs[4].flags, FLAG_SELECTED | FLAG_PINNED);
    EXPECT_EQ(doc.anchorEdge, 3);
}

} // namespace
