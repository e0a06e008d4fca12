#include "document/mesh_document.h"
#include "document/obj_reader.h"
#include "document/undo_history.h"
#include "platform/ui_messages.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

namespace {

// A flat n x n grid of quads with one vt per vertex.
std::string grid_obj(int n, float tilt = 0) {
    std::string text;
    for (int y = 0; y <= n; y++)
        for (int x = 0; x <= n; x++)
            text += "v " + std::to_string(x) + " " + std::to_string(y) + " " +
                    std::to_string(tilt * float(x * x)) + "\n";
    for (int y = 0; y <= n; y++)
        for (int x = 0; x <= n; x++)
            text += "vt " + std::to_string(float(x) / float(n)) + " " +
                    std::to_string(float(y) / float(n)) + "\n";
    for (int y = 0; y < n; y++)
        for (int x = 0; x < n; x++) {
            int a = y * (n + 1) + x + 1, b = a + 1, c = a + n + 2, d = a + n + 1;
            auto corner = [](int i) { return std::to_string(i) + "/" + std::to_string(i); };
            text += "f " + corner(a) + " " + corner(b) + " " + corner(c) + " " + corner(d) + "\n";
        }
    return text;
}

// The UI thread's side: the document, its own history and the message queue.
class LiveUnwrap : public ::testing::Test {
protected:
    static constexpr int N = 6;
    MeshDocument doc;
    UndoHistory history{doc};
    int messages = 0;

    void SetUp() override {
        while (platform_take_message() != 0) {
        }
        doc.history = &history;
        load(grid_obj(N, 0.05f));
    }
    void TearDown() override { doc.clear(); }

    void load(const std::string& text) {
        ObjReader reader;
        ASSERT_TRUE(reader.readText(doc, "grid.obj", text.data(), text.size())) << reader.error;
        history.push();
    }

    // Seams down the middle column of the grid (or none), then a snapshot.
    int set_middle_seam(bool seam) {
        for (int y = 0; y < N; y++) {
            int a = y * (N + 1) + N / 2 + 1, b = a + N + 1;
            int e = doc.findEdge(a, b);
            EXPECT_GE(e, 0);
            doc.edges[size_t(e)].flags = seam ? (FLAG_SEAM | FLAG_UNSELECTED) : FLAG_UNSELECTED;
        }
        history.push();
        return history.currentId();
    }

    // Waits for the worker's message and hands it to the document, as the window does.
    void deliver_one() {
        unsigned message = platform_wait_message(std::chrono::seconds(60));
        ASSERT_EQ(message, WM_UNWRAP_DONE);
        messages++;
        doc.onUnwrapDone();
    }
    void deliver_until_idle() {
        while (doc.liveBusy)
            deliver_one();
    }
    std::vector<float> document_uvs() const {
        std::vector<float> out;
        for (int i = 0; i < doc.uvCount; i++) {
            out.push_back(doc.uvs[size_t(i)].u);
            out.push_back(doc.uvs[size_t(i)].v);
        }
        return out;
    }
};

TEST_F(LiveUnwrap, CutThenWeldDuringTheRunEndsWithTheWeldsResult) {
    int cut = set_middle_seam(true);
    doc.startLiveUnwrap(cut);
    EXPECT_TRUE(doc.liveBusy);
    int weld = set_middle_seam(false);
    doc.startLiveUnwrap(weld);
    EXPECT_TRUE(doc.liveRestartPending);

    deliver_one(); // the cut's run: the current (weld) snapshot is newer, so it takes it over
    EXPECT_EQ(doc.chartCount, 2);
    EXPECT_TRUE(doc.liveBusy) << "the weld's run started at once";
    EXPECT_EQ(doc.liveSnapshotId, weld);
    deliver_one();
    EXPECT_FALSE(doc.liveBusy);
    EXPECT_EQ(doc.chartCount, 1);
    EXPECT_EQ(messages, 2);
    for (int i = 0; i < doc.uvCount; i++) {
        EXPECT_GE(doc.uvs[size_t(i)].u, 0.0f);
        EXPECT_LE(doc.uvs[size_t(i)].u, 1.0f);
    }
}

TEST_F(LiveUnwrap, ThreeQuickRequestsRunTheFirstAndThenOnlyTheLast) {
    int first = set_middle_seam(true);
    doc.startLiveUnwrap(first);
    set_middle_seam(false);
    doc.startLiveUnwrap(history.currentId());
    int last = set_middle_seam(true);
    doc.startLiveUnwrap(last);
    EXPECT_EQ(doc.liveRestartSnapshotId, last);

    deliver_one();
    EXPECT_EQ(doc.liveSnapshotId, last);
    deliver_one();
    EXPECT_FALSE(doc.liveBusy);
    EXPECT_EQ(messages, 2);
    EXPECT_EQ(doc.chartCount, 2);
}

TEST_F(LiveUnwrap, RunWhoseSnapshotWasUndonePastUpdatesOnlyTheHistory) {
    std::vector<float> before = document_uvs();
    int cut = set_middle_seam(true);
    doc.startLiveUnwrap(cut);
    history.undo();
    std::vector<float> undone = document_uvs();
    EXPECT_EQ(undone, before);

    deliver_until_idle();
    EXPECT_EQ(document_uvs(), undone) << "the document stays as undone";
    const UndoSnapshot* s = history.find(cut);
    ASSERT_NE(s, nullptr);
    EXPECT_NE(s->uvCount, doc.uvCount) << "the cut's snapshot got the result (seam: more UVs)";
    history.redo();
    EXPECT_EQ(doc.uvCount, s->uvCount);
}

TEST_F(LiveUnwrap, RunWhoseSnapshotWasDroppedIsDiscarded) {
    std::vector<float> before = document_uvs();
    int cut = set_middle_seam(true);
    doc.startLiveUnwrap(cut);
    history.undo();
    set_middle_seam(false); // a push after the undo loses the cut's snapshot
    EXPECT_FALSE(history.contains(cut));
    deliver_until_idle();
    EXPECT_EQ(document_uvs(), before);
    EXPECT_EQ(doc.chartCount, 1);
}

TEST_F(LiveUnwrap, LoadingWhileARunIsBusyWaitsAndIgnoresItsLateResult) {
    int cut = set_middle_seam(true);
    doc.startLiveUnwrap(cut);
    load(grid_obj(3)); // waits for the worker before the working sets go
    EXPECT_FALSE(doc.liveBusy);
    std::vector<float> loaded = document_uvs();

    doc.startLiveUnwrap(history.currentId()); // a run on the new file
    deliver_one();                            // the old run's message: ignored
    EXPECT_TRUE(doc.liveBusy);
    EXPECT_EQ(document_uvs(), loaded);
    deliver_until_idle();
    EXPECT_EQ(doc.faceCount, 9);
    EXPECT_EQ(doc.chartCount, 1);
    for (int i = 0; i < doc.uvCount; i++)
        EXPECT_LE(doc.uvs[size_t(i)].u, 1.0f);
}

TEST_F(LiveUnwrap, ClearingWhileARunIsBusyWaitsForIt) {
    doc.startLiveUnwrap(set_middle_seam(true));
    doc.clear();
    EXPECT_FALSE(doc.liveBusy);
    EXPECT_EQ(doc.faceCount, 0);
    deliver_one(); // the late message finds nothing to do
    EXPECT_FALSE(doc.liveBusy);
}

TEST_F(LiveUnwrap, EmptyDocumentStartsNothing) {
    doc.clear();
    history.clear();
    doc.startLiveUnwrap(0);
    EXPECT_FALSE(doc.liveBusy);
    EXPECT_EQ(platform_wait_message(std::chrono::milliseconds(50)), 0u);
}

TEST_F(LiveUnwrap, UnwrapNowTakesTheResultOverOnTheCallingThread) {
    set_middle_seam(true);
    doc.unwrapNow();
    EXPECT_FALSE(doc.liveBusy);
    EXPECT_EQ(doc.chartCount, 2);
    EXPECT_EQ(history.current()->uvCount, doc.uvCount);
    EXPECT_EQ(platform_take_message(), 0u);
}

} // namespace
