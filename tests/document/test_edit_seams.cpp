// Cut, weld, pin and unpin: which flags change, when a snapshot is pushed and when the
// background unwrap starts or is queued.

#include "edit_test_util.h"

#include <gtest/gtest.h>

namespace {

class SeamEdits : public EditFixture {
protected:
    void SetUp() override {
        EditFixture::SetUp();
        load(grid_obj(4));
    }
    int flags_of(int a, int b) const { return doc.edges[size_t(doc.findEdge(a, b))].flags; }
};

TEST_F(SeamEdits, CutWithOneEdgeAlreadyASeamChangesOneEdgePushesOnceAndStartsOneRun) {
    select_edge(doc, 7, 8);
    select_edge(doc, 8, 9, FLAG_SEAM);
    int snapshots = history.size();
    EXPECT_TRUE(doc.cutSelectedEdges());
    EXPECT_EQ(flags_of(7, 8), FLAG_SELECTED | FLAG_SEAM);
    EXPECT_EQ(flags_of(8, 9), FLAG_SELECTED | FLAG_SEAM);
    EXPECT_EQ(history.size(), snapshots + 1);
    EXPECT_TRUE(doc.liveBusy);
    EXPECT_EQ(doc.liveSnapshotId, history.currentId());
    deliver_until_idle();
    EXPECT_EQ(platform_take_message(), 0u) << "exactly one run";
}

TEST_F(SeamEdits, WeldWithNoSeamInTheSelectionAnswersFalseAndPushesNothing) {
    select_edge(doc, 7, 8);
    select_edge(doc, 12, 13);
    int snapshots = history.size();
    EXPECT_FALSE(doc.weldSelectedEdges());
    EXPECT_EQ(history.size(), snapshots);
    EXPECT_FALSE(doc.liveBusy);
}

TEST_F(SeamEdits, WeldKeepsOnlyTheSelectionStateOfSelectedSeams) {
    select_edge(doc, 7, 8, FLAG_SEAM | FLAG_WAS_SELECTED);
    int unselectedSeam = doc.findEdge(12, 13);
    doc.edges[size_t(unselectedSeam)].flags = FLAG_UNSELECTED | FLAG_SEAM;
    int snapshots = history.size();
    EXPECT_TRUE(doc.weldSelectedEdges());
    EXPECT_EQ(flags_of(7, 8), FLAG_SELECTED);
    EXPECT_EQ(flags_of(12, 13), FLAG_UNSELECTED | FLAG_SEAM) << "not selected: kept";
    EXPECT_EQ(history.size(), snapshots + 1);
    EXPECT_TRUE(doc.liveBusy);
    deliver_until_idle();
}

// A closed cube without seams is cut open by the unwrap; those cuts are marked, are no seams,
// and go once the user's own seams make them unnecessary. Weld brings them back; undo too.
TEST_F(SeamEdits, AutomaticCutsAreMarkedAndGoWhenSeamsTakeTheirPlace) {
    doc.clear();
    load("v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nv 0 0 1\nv 1 0 1\nv 1 1 1\nv 0 1 1\n"
         "vt 0 0\nvn 0 0 1\n"
         "f 1/1/1 4/1/1 3/1/1 2/1/1\nf 5/1/1 6/1/1 7/1/1 8/1/1\nf 1/1/1 2/1/1 6/1/1 5/1/1\n"
         "f 2/1/1 3/1/1 7/1/1 6/1/1\nf 3/1/1 4/1/1 8/1/1 7/1/1\nf 4/1/1 1/1/1 5/1/1 8/1/1\n");
    auto marked = [this](int flag) {
        std::vector<int> edges;
        for (int e = 0; e < doc.edgeCount; e++)
            if (doc.edges[size_t(e)].flags & flag)
                edges.push_back(e);
        return edges;
    };
    ASSERT_TRUE(marked(FLAG_SEAM).empty());
    doc.startLiveUnwrap(history.currentId());
    deliver_until_idle();
    const std::vector<int> cuts = marked(FLAG_AUTO_CUT);
    ASSERT_FALSE(cuts.empty());
    EXPECT_TRUE(marked(FLAG_SEAM).empty());
    EXPECT_EQ(doc.chartCount, 1);

    for (int e : cuts)
        doc.edges[size_t(e)].flags |= FLAG_SELECTED;
    EXPECT_FALSE(doc.weldSelectedEdges()) << "automatic cuts are no seams to weld";
    ASSERT_TRUE(doc.cutSelectedEdges());
    deliver_until_idle();
    EXPECT_EQ(marked(FLAG_SEAM), cuts);
    EXPECT_TRUE(marked(FLAG_AUTO_CUT).empty());

    ASSERT_TRUE(doc.weldSelectedEdges());
    deliver_until_idle();
    EXPECT_TRUE(marked(FLAG_SEAM).empty());
    EXPECT_FALSE(marked(FLAG_AUTO_CUT).empty());
    history.undo();
    EXPECT_EQ(marked(FLAG_SEAM), cuts);
    EXPECT_TRUE(marked(FLAG_AUTO_CUT).empty());
}

// Pin and unpin: flags after the edit, and whether a snapshot was pushed.
struct PinCase {
    const char* name;
    bool pin; // else unpin
    int before[3];
    int after[3];
    bool pushes;
};

class PinEdits : public SeamEdits, public ::testing::WithParamInterface<PinCase> {};

TEST_P(PinEdits, FlagsAndSnapshot) {
    const PinCase& c = GetParam();
    for (int i = 0; i < 3; i++)
        doc.uvs[size_t(i)].flags = c.before[i];
    int snapshots = history.size();
    if (c.pin)
        doc.pinSelected();
    else
        doc.unpinSelected();
    for (int i = 0; i < 3; i++)
        EXPECT_EQ(doc.uvs[size_t(i)].flags, c.after[i]) << "point " << i;
    EXPECT_EQ(history.size(), snapshots + (c.pushes ? 1 : 0));
    EXPECT_FALSE(doc.liveBusy) << "pins start no unwrap";
    if (c.pushes) {
        EXPECT_EQ(history.current()->uv(0).flags, c.after[0]);
    }
}

constexpr int S = FLAG_SELECTED, U = FLAG_UNSELECTED, P = FLAG_PINNED, W = FLAG_WAS_SELECTED;

INSTANTIATE_TEST_SUITE_P(
    Cases, PinEdits,
    ::testing::Values(
        PinCase{"PinMarksOnlySelectedPoints", true, {S, U, S | W}, {S | P, U, S | W | P}, true},
        PinCase{"PinOfAnAllPinnedSelectionStillPushes",
                true,
                {S | P, S | P, U},
                {S | P, S | P, U},
                true},
        PinCase{"UnpinKeepsTheLowFourBitsOfSelectedPinned",
                false,
                {S | P | W, U | P, S},
                {S, U | P, S},
                true},
        PinCase{"UnpinWithNoPinnedPointSelectedPushesNothing",
                false,
                {S, U | P, S | W},
                {S, U | P, S | W},
                false}),
    [](const ::testing::TestParamInfo<PinCase>& info) { return info.param.name; });

} // namespace
