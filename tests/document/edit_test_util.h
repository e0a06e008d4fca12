#pragma once

// Shared by the edit operation suites: small meshes, selection set-up, the layout as a value,
// and the UI thread's side of the live unwrap worker.

#include "doc_test_util.h"
#include "document/undo_history.h"
#include "platform/ui_messages.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <string>
#include <vector>

// An n x n grid of unit quads in the plane z = tilt x^2, one vt per vertex at (x / n, y / n).
// Vertex (x, y) is OBJ index y (n + 1) + x + 1 and UV point y (n + 1) + x.
inline std::string grid_obj(int n, float tilt = 0) {
    std::string text;
    for (int y = 0; y <= n; y++)
        for (int x = 0; x <= n; x++)
            text += "v " + std::to_string(x) + " " + std::to_string(y) + " " +
                    std::to_string(tilt * float(x * x)) + "\n";
    for (int y = 0; y <= n; y++)
        for (int x = 0; x <= n; x++)
            text += "vt " + std::to_string(float(x) / float(n)) + " " +
                    std::to_string(float(y) / float(n)) + "\n";
    text += "vn 0 0 1\n";
    for (int y = 0; y < n; y++)
        for (int x = 0; x < n; x++) {
            int a = y * (n + 1) + x + 1, b = a + 1, c = a + n + 2, d = a + n + 1;
            auto corner = [](int i) { return std::to_string(i) + "/" + std::to_string(i) + "/1"; };
            text += "f " + corner(a) + " " + corner(b) + " " + corner(c) + " " + corner(d) + "\n";
        }
    return text;
}

// What an edit can change: every UV point, every corner's UV index and every edge's flags.
struct Layout {
    std::vector<float> u, v;
    std::vector<int32_t> uvFlags, cornerUv, edgeFlags;
    bool operator==(const Layout&) const = default;
};

inline Layout layout_of(const MeshDocument& doc) {
    Layout l;
    for (int i = 0; i < doc.uvCount; i++) {
        l.u.push_back(doc.uvs[size_t(i)].u);
        l.v.push_back(doc.uvs[size_t(i)].v);
        l.uvFlags.push_back(doc.uvs[size_t(i)].flags);
    }
    l.cornerUv = doc.cornerUvs();
    for (int e = 0; e < doc.edgeCount; e++)
        l.edgeFlags.push_back(doc.edges[size_t(e)].flags);
    return l;
}

inline void select_uv(MeshDocument& doc, int i, int extra = 0) {
    doc.uvs[size_t(i)].flags = FLAG_SELECTED | extra;
}

inline void select_edge(MeshDocument& doc, int a, int b, int extra = 0) {
    int e = doc.findEdge(a, b);
    ASSERT_GE(e, 0) << "no edge " << a << "-" << b;
    doc.edges[size_t(e)].flags = FLAG_SELECTED | extra;
}

inline bool all_uvs_finite(const MeshDocument& doc) {
    for (int i = 0; i < doc.uvCount; i++) {
        if (!std::isfinite(doc.uvs[size_t(i)].u) || !std::isfinite(doc.uvs[size_t(i)].v))
            return false;
    }
    return true;
}

// How many fan-triangle corners (corner 0, l, l + 1 of every face) name each UV point: the
// corners through which the engine sees that point.
inline std::vector<int> fan_corner_counts(const MeshDocument& doc) {
    std::vector<int> count(size_t(doc.uvCount), 0);
    for (int f = 0; f < doc.faceCount; f++) {
        const MeshFace& face = doc.faces[size_t(f)];
        for (int l = 1; l + 1 < face.cornerCount; l++) {
            for (int k : {0, l, l + 1})
                count[size_t(face.uvIndices[k])]++;
        }
    }
    return count;
}

// Where a live solve leaves a pinned point whose corners all hold `value`: at the mean of its
// pinned corners, summed corner by corner in single precision. That is the value itself or one
// rounding away from it.
inline float pinned_mean(float value, int corners) {
    float sum = 0;
    for (int i = 0; i < corners; i++)
        sum += value;
    return sum / float(corners);
}

// A document with its own history, loaded from OBJ text and recorded once, and the message
// queue that the worker posts to.
class EditFixture : public ::testing::Test {
protected:
    MeshDocument doc;
    UndoHistory history{doc};

    void SetUp() override {
        while (platform_take_message() != 0) {
        }
        doc.history = &history;
    }
    void TearDown() override {
        doc.endUvDrag();
        doc.clear();
    }

    void load(const std::string& text) {
        ASSERT_TRUE(read_obj_text(doc, text));
        history.push();
    }
    // Hands the worker's message to the document, as the window does, until no run is left.
    void deliver_until_idle() {
        while (doc.liveBusy) {
            unsigned message = platform_wait_message(std::chrono::seconds(120));
            ASSERT_EQ(message, WM_UNWRAP_DONE);
            doc.onUnwrapDone();
        }
    }
};
