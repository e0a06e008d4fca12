// Align, the selection centre and the UV drags: where the movable points end up, what the live
// solve does to the rest, and when they refuse.

#include "edit_test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace {

// Grid of 6 x 6 quads, slightly curved so that the live solve has something to do: UV point
// (x, y) is 7 y + x at (x / 6, y / 6).
class UvEdits : public EditFixture {
protected:
    void SetUp() override {
        EditFixture::SetUp();
        load(grid_obj(6, 0.05f));
    }
    static int point(int x, int y) { return 7 * y + x; }
    UvPoint at(int i) const { return doc.uvs[size_t(i)]; }
    // Gives three inner points the u values 0.2, 0.5 and 0.9, selects them and records that.
    void three_selected() {
        const float us[] = {0.2f, 0.5f, 0.9f};
        for (int k = 0; k < 3; k++) {
            doc.uvs[size_t(spread[k])].u = us[k];
            select_uv(doc, spread[k]);
        }
        history.push();
    }
    const int spread[3] = {point(1, 2), point(3, 3), point(5, 4)};
};

// Align, per side: which coordinate of the three points changes, and whether to the largest.
struct AlignCase {
    const char* name;
    int side;
    bool movesU;
    bool toLargest;
};

class AlignSides : public UvEdits, public ::testing::WithParamInterface<AlignCase> {};

TEST_P(AlignSides, PutsEveryMovablePointOnTheExtremeAndKeepsTheOtherCoordinate) {
    const AlignCase& c = GetParam();
    three_selected();
    UvPoint before[3];
    float expected = c.toLargest ? -1e9f : 1e9f;
    for (int k = 0; k < 3; k++) {
        before[k] = at(spread[k]);
        float x = c.movesU ? before[k].u : before[k].v;
        expected = c.toLargest ? std::max(expected, x) : std::min(expected, x);
    }
    int snapshots = history.size();
    std::vector<int> corners = fan_corner_counts(doc);
    EXPECT_TRUE(doc.alignSelected(c.side));
    for (int k = 0; k < 3; k++) {
        UvPoint p = at(spread[k]);
        int n = corners[size_t(spread[k])];
        EXPECT_EQ(c.movesU ? p.u : p.v, pinned_mean(expected, n)) << "point " << k;
        EXPECT_EQ(c.movesU ? p.v : p.u, pinned_mean(c.movesU ? before[k].v : before[k].u, n))
            << "point " << k;
        EXPECT_EQ(p.flags, FLAG_SELECTED);
    }
    EXPECT_EQ(history.size(), snapshots + 1);
    EXPECT_EQ(history.current()->uv(spread[0]).u, at(spread[0]).u) << "the snapshot has it";
    EXPECT_TRUE(doc.liveTriUvs.empty());
    EXPECT_TRUE(all_uvs_finite(doc));
}

INSTANTIATE_TEST_SUITE_P(Sides, AlignSides,
                         ::testing::Values(AlignCase{"MinimumU", 1, true, false},
                                           AlignCase{"MaximumU", 3, true, true},
                                           AlignCase{"MinimumV", 2, false, false},
                                           AlignCase{"MaximumV", 4, false, true}),
                         [](const ::testing::TestParamInfo<AlignCase>& info) {
                             return info.param.name;
                         });

TEST_F(UvEdits, AlignWithEveryPointPinnedAnswersFalseAndChangesNothing) {
    three_selected();
    for (int i : spread)
        doc.uvs[size_t(i)].flags |= FLAG_PINNED;
    Layout before = layout_of(doc);
    int snapshots = history.size();
    EXPECT_FALSE(doc.alignSelected(1));
    EXPECT_EQ(layout_of(doc), before);
    EXPECT_EQ(history.size(), snapshots);
}

// A strip of 2 x 12 quads, curved, laid out upright: Min U on its top row puts all three top
// points on one spot. Holding only them, the live solve would shrink the strip onto that spot;
// it must stay two-dimensional, unfolded, with the top points aligned.
TEST(AlignTallChart, MinimumUOnTheTopRowKeepsTheChartOpen) {
    MeshDocument doc;
    UndoHistory history{doc};
    doc.history = &history;
    const int w = 2, h = 12;
    std::string text;
    for (int y = 0; y <= h; y++)
        for (int x = 0; x <= w; x++)
            text += "v " + std::to_string(x) + " " + std::to_string(y) + " " +
                    std::to_string(0.1 * x * x + 0.02 * y * y) + "\n";
    for (int y = 0; y <= h; y++)
        for (int x = 0; x <= w; x++)
            text += "vt " + std::to_string(x / 12.0) + " " + std::to_string(y / 12.0) + "\n";
    text += "vn 0 0 1\n";
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            int a = y * (w + 1) + x + 1, b = a + 1, c = a + w + 2, d = a + w + 1;
            auto corner = [](int i) { return std::to_string(i) + "/" + std::to_string(i) + "/1"; };
            text += "f " + corner(a) + " " + corner(b) + " " + corner(c) + " " + corner(d) + "\n";
        }
    ASSERT_TRUE(read_obj_text(doc, text));
    history.push();
    auto signed_areas = [&doc] {
        std::vector<double> areas;
        for (int f = 0; f < doc.faceCount; f++) {
            const MeshFace& face = doc.faces[size_t(f)];
            double area = 0;
            for (int k = 0; k < face.cornerCount; k++) {
                const UvPoint& p = doc.uvs[size_t(face.uvIndices[k])];
                const UvPoint& q = doc.uvs[size_t(face.uvIndices[(k + 1) % face.cornerCount])];
                area += 0.5 * (double(p.u) * q.v - double(q.u) * p.v);
            }
            areas.push_back(area);
        }
        return areas;
    };
    double before = 0;
    for (double a : signed_areas())
        before += a;
    ASSERT_GT(before, 0);
    const int top[3] = {h * (w + 1), h * (w + 1) + 1, h * (w + 1) + 2};
    for (int i : top)
        select_uv(doc, i);
    history.push();
    ASSERT_TRUE(doc.alignSelected(1));
    for (int i : top)
        EXPECT_NEAR(doc.uvs[size_t(i)].u, doc.uvs[size_t(top[0])].u, 1e-6f);
    double after = 0, smallest = 1;
    for (double a : signed_areas())
        after += a, smallest = std::min(smallest, a);
    EXPECT_GT(after, 0.2 * before) << "the strip kept its size";
    EXPECT_GT(smallest, 0) << "no face folded or collapsed";
    EXPECT_TRUE(all_uvs_finite(doc));
    doc.clear();
}

TEST_F(UvEdits, AlignAndDragRefuseWhileAWorkerRunsAndLeaveItsRunAlone) {
    three_selected();
    select_edge(doc, point(3, 0) + 1, point(3, 1) + 1);
    ASSERT_TRUE(doc.cutSelectedEdges());
    ASSERT_TRUE(doc.liveBusy);
    std::vector<int32_t> runTriangles = doc.liveTriUvs;
    Layout before = layout_of(doc);
    int snapshots = history.size();
    EXPECT_FALSE(doc.alignSelected(1));
    EXPECT_FALSE(doc.beginUvDrag());
    EXPECT_EQ(layout_of(doc), before);
    EXPECT_EQ(history.size(), snapshots);
    EXPECT_EQ(doc.liveTriUvs, runTriangles);
    deliver_until_idle();
    EXPECT_EQ(doc.uvCount, history.current()->uvCount) << "the cut's result landed";
}

TEST_F(UvEdits, SelectionCentreIsTheMeanOfTheMovablePoints) {
    select_uv(doc, point(1, 1));
    select_uv(doc, point(3, 1));
    select_uv(doc, point(2, 4));
    select_uv(doc, point(6, 6), FLAG_PINNED);
    doc.rotateAngle = 12;
    EXPECT_TRUE(doc.computeSelectionCentre());
    EXPECT_EQ(doc.selCentreValid, 1);
    EXPECT_NEAR(doc.selCentreU, 2.0f / 6, 1e-6f);
    EXPECT_NEAR(doc.selCentreV, 2.0f / 6, 1e-6f);
    EXPECT_EQ(doc.rotateAngle, 0);
    doc.moveSelectionCentre(0.25f, -0.125f);
    EXPECT_NEAR(doc.selCentreU, 2.0f / 6 + 0.25f, 1e-6f);
    EXPECT_NEAR(doc.selCentreV, 2.0f / 6 - 0.125f, 1e-6f);

    for (int x : {1, 3})
        doc.uvs[size_t(point(x, 1))].flags = FLAG_UNSELECTED;
    doc.uvs[size_t(point(2, 4))].flags |= FLAG_PINNED;
    EXPECT_FALSE(doc.computeSelectionCentre());
    EXPECT_EQ(doc.selCentreValid, 0);
}

// A square of four selected points around (0.5, 0.5), a drag started on it.
class UvDrag : public UvEdits {
protected:
    const int square[4] = {point(2, 2), point(4, 2), point(4, 4), point(2, 4)};
    UvPoint start[4];
    void SetUp() override {
        UvEdits::SetUp();
        for (int i : square)
            select_uv(doc, i);
        history.push();
        for (int k = 0; k < 4; k++)
            start[k] = at(square[k]);
        ASSERT_TRUE(doc.computeSelectionCentre());
        ASSERT_TRUE(doc.beginUvDrag());
    }
    void finish() {
        doc.endUvDrag();
        doc.dropUvBackup();
    }
};

TEST_F(UvDrag, RotateStepsOfAHundredPixelsTurnTheSelectionThirtyThreeDegreesAboutTheCentre) {
    for (int step = 0; step < 10; step++)
        doc.rotateSelected(10, 3); // |dy| < |dx|: dx counts
    EXPECT_NEAR(doc.rotateAngle, 33.0f, 1e-4f);
    // The stored factor, not pi / 180: the two differ by 0.0001 at this radius.
    const double stored = 33 * 0.017460318, exact = 33 * M_PI / 180;
    for (int k = 0; k < 4; k++) {
        double du = start[k].u - doc.selCentreU, dv = start[k].v - doc.selCentreV;
        double u = doc.selCentreU + std::cos(stored) * du - std::sin(stored) * dv;
        double v = doc.selCentreV + std::sin(stored) * du + std::cos(stored) * dv;
        EXPECT_NEAR(at(square[k]).u, u, 2e-6) << "point " << k;
        EXPECT_NEAR(at(square[k]).v, v, 2e-6) << "point " << k;
        double uExact = doc.selCentreU + std::cos(exact) * du - std::sin(exact) * dv;
        double vExact = doc.selCentreV + std::sin(exact) * du + std::cos(exact) * dv;
        EXPECT_GT(std::fabs(at(square[k]).u - uExact) + std::fabs(at(square[k]).v - vExact), 5e-5);
    }
    EXPECT_NEAR(at(square[0]).u - doc.selCentreU, -(at(square[2]).u - doc.selCentreU), 1e-6f);
    finish();
    EXPECT_TRUE(doc.uvBackup.empty());
    EXPECT_TRUE(all_uvs_finite(doc));
}

TEST_F(UvDrag, ScaleStepsOfMinusAHundredPixelsHalveTheSelectionAboutTheCentre) {
    for (int step = 0; step < 4; step++)
        doc.scaleSelected(-25, 10);
    EXPECT_NEAR(doc.scaleFactor, 0.5f, 1e-6f);
    for (int k = 0; k < 4; k++) {
        EXPECT_NEAR(at(square[k]).u, doc.selCentreU + 0.5f * (start[k].u - doc.selCentreU), 1e-6f);
        EXPECT_NEAR(at(square[k]).v, doc.selCentreV + 0.5f * (start[k].v - doc.selCentreV), 1e-6f);
    }
    finish();
    EXPECT_TRUE(all_uvs_finite(doc));
}

TEST_F(UvDrag, MoveShiftsTheMovablePointsAndTheLiveSolveFollowsAroundThem) {
    UvPoint outside = at(point(5, 3)); // unselected, in the same chart
    std::vector<int> corners = fan_corner_counts(doc);
    EXPECT_TRUE(doc.moveSelected(0.1f, -0.05f));
    UvPoint moved[4];
    for (int k = 0; k < 4; k++) {
        int n = corners[size_t(square[k])];
        moved[k] = at(square[k]);
        EXPECT_EQ(moved[k].u, pinned_mean(start[k].u + 0.1f, n)) << "point " << k;
        EXPECT_EQ(moved[k].v, pinned_mean(start[k].v - 0.05f, n)) << "point " << k;
    }
    EXPECT_GT(std::fabs(at(point(5, 3)).u - outside.u), 1e-3f) << "the chart was re-solved";
    finish();
    for (int k = 0; k < 4; k++) {
        int n = corners[size_t(square[k])];
        EXPECT_EQ(at(square[k]).u, pinned_mean(moved[k].u, n)) << "the end's solve keeps the pins";
    }
    EXPECT_TRUE(doc.liveTriUvs.empty());
}

TEST_F(UvDrag, ACutDuringTheDragClosesTheLiveRunAndTheDragEndsSafely) {
    select_edge(doc, point(0, 3) + 1, point(1, 3) + 1);
    doc.moveSelected(0.02f, 0);
    ASSERT_TRUE(doc.cutSelectedEdges());
    EXPECT_TRUE(doc.moveSelected(0.02f, 0)) << "moves the document only";
    deliver_until_idle();
    doc.moveSelected(0.02f, 0);
    finish();
    EXPECT_TRUE(all_uvs_finite(doc));
    EXPECT_EQ(doc.uvCount, history.current()->uvCount);
}

} // namespace
