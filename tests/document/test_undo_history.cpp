// The undo history: the chain, its limit, redo loss, restore, and engine results.

#include "doc_test_util.h"
#include "document/undo_history.h"
#include "document/unwrap_result.h"

#include <gtest/gtest.h>

namespace {

// Two triangles over a square with their own UV points.
const char* SQUARE = "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\n"
                     "vt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\nvn 0 0 1\n"
                     "f 1/1/1 2/2/1 3/3/1\nf 1/1/1 3/3/1 4/4/1\n";

struct Fixture : testing::Test {
    MeshDocument doc;
    UndoHistory history{doc};
    void SetUp() override { ASSERT_TRUE(read_obj_text(doc, SQUARE)); }
    // Marks edge e selected and records it.
    void pushWithEdgeSelected(int e) {
        doc.edges[size_t(e)].flags = FLAG_SELECTED;
        history.push();
    }
};

struct ResultTable {
    std::vector<float> uv;
    std::vector<int32_t> tri;
    std::vector<uint8_t> pins;
    UnwrapResult view() const {
        UnwrapResult r;
        r.uv = uv.data();
        r.uvCount = int(uv.size() / 2);
        r.triangleUvs = tri.data();
        r.trianglePinned = pins.data();
        r.triangleCount = int(tri.size() / 3);
        return r;
    }
};

// A result that separates the two triangles: six points, the second triangle's pinned.
ResultTable split_result() {
    return ResultTable{{0, 0, 0.4f, 0, 0.4f, 0.4f, 0.6f, 0.6f, 1, 0.6f, 1, 1},
                       {0, 1, 2, 3, 4, 5},
                       {0, 0, 0, 1, 1, 1}};
}

using UndoHistoryChain = Fixture;

TEST_F(UndoHistoryChain, FortyFivePushesKeepIdsFiveToFortyFour) {
    for (int i = 0; i < 45; i++)
        history.push();
    EXPECT_EQ(history.size(), 40);
    EXPECT_EQ(history.first()->id, 5);
    EXPECT_EQ(history.currentId(), 44);
    EXPECT_FALSE(history.contains(4));
    EXPECT_TRUE(history.contains(5));
    int expected = 5;
    for (const UndoSnapshot* s = history.first(); s; s = s->next)
        EXPECT_EQ(s->id, expected++);
    EXPECT_EQ(expected, 45);
}

TEST_F(UndoHistoryChain, PushAfterTwoUndosLosesRedo) {
    pushWithEdgeSelected(0); // id 0
    pushWithEdgeSelected(1); // id 1
    pushWithEdgeSelected(2); // id 2
    history.undo();
    history.undo();
    EXPECT_EQ(history.currentId(), 0);
    EXPECT_EQ(doc.edges[1].flags, FLAG_UNSELECTED);
    pushWithEdgeSelected(3); // id 3
    EXPECT_FALSE(history.contains(1));
    EXPECT_FALSE(history.contains(2));
    EXPECT_EQ(history.size(), 2);
    // Redo at the newest snapshot restores it again.
    doc.edges[4].flags = FLAG_SELECTED;
    history.redo();
    EXPECT_EQ(history.currentId(), 3);
    EXPECT_EQ(doc.edges[4].flags, FLAG_UNSELECTED);
    EXPECT_EQ(doc.edges[3].flags, FLAG_SELECTED);
}

TEST_F(UndoHistoryChain, UndoAtOldestRestoresItAgain) {
    history.push();
    doc.uvs[2].u = 0.9f; // an unrecorded change
    doc.anchorEdge = 3;
    history.undo();
    EXPECT_EQ(history.currentId(), 0);
    EXPECT_FLOAT_EQ(doc.uvs[2].u, 1.0f);
    EXPECT_EQ(doc.anchorEdge, -1);
}

TEST_F(UndoHistoryChain, EmptyHistoryIgnoresUndoRedoAndLookups) {
    history.undo();
    history.redo();
    EXPECT_EQ(history.size(), 0);
    EXPECT_FALSE(history.contains(0));
    EXPECT_FALSE(history.applyResult(0, split_result().view()));
}

TEST_F(UndoHistoryChain, ClearKeepsIdsAndResetRestartsThem) {
    history.push();
    history.push();
    history.clear();
    EXPECT_EQ(history.size(), 0);
    history.push();
    EXPECT_EQ(history.currentId(), 2);
    history.reset();
    history.push();
    EXPECT_EQ(history.currentId(), 0);
}

TEST_F(UndoHistoryChain, RestoreRelabelsChartsAndKeepsPositions) {
    history.push(); // one chart
    Vec3 before = doc.vertices[3];
    ResultTable r = split_result();
    doc.takeOverResult(r.view());
    doc.labelCharts();
    EXPECT_EQ(doc.chartCount, 2);
    history.push(); // two charts
    history.undo();
    EXPECT_EQ(doc.chartCount, 1);
    EXPECT_EQ(doc.uvCount, 4);
    EXPECT_FLOAT_EQ(doc.faces[1].stretchShade, 0.5f);
    history.redo();
    EXPECT_EQ(doc.chartCount, 2);
    EXPECT_EQ(doc.uvCount, 6);
    EXPECT_EQ(doc.uvs[5].flags, FLAG_UNSELECTED | FLAG_PINNED);
    EXPECT_EQ(doc.vertices[3].x, before.x);
    EXPECT_EQ(doc.vertices[3].y, before.y);
}

TEST_F(UndoHistoryChain, SnapshotsShareUnchangedChunks) {
    history.push();
    pushWithEdgeSelected(1);
    const UndoSnapshot* a = history.find(0);
    const UndoSnapshot* b = history.find(1);
    EXPECT_EQ(a->uvArray().chunkId(0), b->uvArray().chunkId(0));
    EXPECT_EQ(a->cornerUvArray().chunkId(0), b->cornerUvArray().chunkId(0));
    EXPECT_NE(a->edgeFlagArray().chunkId(0), b->edgeFlagArray().chunkId(0));
    EXPECT_EQ(a->edge(1).flags, FLAG_UNSELECTED);
    EXPECT_EQ(b->edge(1).flags, FLAG_SELECTED);
    EXPECT_EQ(b->edge(1).vertexA, doc.edges[1].vertexA);
}

// A background run started from snapshot 7.
struct UndoHistoryResults : Fixture {
    void SetUp() override {
        Fixture::SetUp();
        for (int i = 0; i <= 7; i++)
            history.push();
        ASSERT_EQ(history.currentId(), 7);
    }
    void expectSplit(const UndoSnapshot* s) {
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(s->uvCount, 6);
        EXPECT_EQ(s->uvIndex(1, 0), 3);
        EXPECT_EQ(s->uvIndex(1, 2), 5);
        EXPECT_EQ(s->uv(4).flags, FLAG_UNSELECTED | FLAG_PINNED);
    }
    void expectUnchanged(const UndoSnapshot* s) {
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(s->uvCount, 4);
        EXPECT_EQ(s->uvIndex(1, 0), 0);
    }
};

TEST_F(UndoHistoryResults, NewerPushesAreRewrittenAndTheDocumentUpdated) {
    history.push(); // 8
    history.push(); // 9
    EXPECT_TRUE(history.applyResult(7, split_result().view()));
    expectUnchanged(history.find(6));
    expectSplit(history.find(7));
    expectSplit(history.find(8));
    expectSplit(history.find(9));
}

TEST_F(UndoHistoryResults, UndoneBeforeTheRunLeavesTheDocumentAlone) {
    history.undo(); // current 6
    EXPECT_FALSE(history.applyResult(7, split_result().view()));
    expectSplit(history.find(7));
    expectUnchanged(history.find(6));
    EXPECT_EQ(history.currentId(), 6);
}

TEST_F(UndoHistoryResults, PushedAndUndoneBackToTheRunsSnapshotIsCurrent) {
    history.push(); // 8
    history.undo(); // current 7
    EXPECT_TRUE(history.applyResult(7, split_result().view()));
    expectSplit(history.find(7));
    expectSplit(history.find(8));
}

TEST_F(UndoHistoryResults, DroppedSnapshotChangesNothing) {
    for (int i = 0; i < 40; i++)
        history.push();
    ASSERT_FALSE(history.contains(7));
    EXPECT_FALSE(history.applyResult(7, split_result().view()));
    for (const UndoSnapshot* s = history.first(); s; s = s->next)
        expectUnchanged(s);
}

} // namespace
