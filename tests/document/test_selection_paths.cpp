// Selections that follow the mesh: edge paths, edge loops, UV borders and islands, each
// checked against the written rule on real meshes.

#include "document/undo_history.h"
#include "reference_selection.h"
#include "selection_test_util.h"
#include "tools/seamgen/seam_cuts.h"

#include <gtest/gtest.h>

#include <cmath>
#include <queue>
#include <random>
#include <set>
#include <vector>

namespace {

std::vector<int32_t> edge_flags(const MeshDocument& doc) {
    std::vector<int32_t> f;
    for (int e = 0; e < doc.edgeCount; e++)
        f.push_back(doc.edges[size_t(e)].flags);
    return f;
}

std::vector<int32_t> uv_flags(const MeshDocument& doc) {
    std::vector<int32_t> f;
    for (int i = 0; i < doc.uvCount; i++)
        f.push_back(doc.uvs[size_t(i)].flags);
    return f;
}

std::set<int> selected_edges(const MeshDocument& doc) {
    std::set<int> s;
    for (int e = 0; e < doc.edgeCount; e++)
        if (selected(doc.edges[size_t(e)].flags))
            s.insert(e);
    return s;
}

// A click in the edge-path mode of the 3D view: the nearest edge under a 6-pixel square.
bool path_click(MeshDocument& doc, int edge) {
    float x, y;
    edge_mid(doc, edge, &x, &y);
    int32_t rect[4];
    click_rect(x, y, rect);
    doc.pickEdges3d(flat_view(), rect, true, false, true, false, true, false);
    return doc.finishEdgePath();
}

TEST(EdgePath, FirstClickAnchorsSecondSelectsThePathClickingTheAnchorForgetsIt) {
    MeshDocument doc;
    ASSERT_TRUE(read_obj_text(doc, grid_obj(4, 4)));
    const int a = doc.findEdge(1, 2);   // bottom left
    const int b = doc.findEdge(24, 25); // top right
    ASSERT_GE(a, 0);
    ASSERT_GE(b, 0);
    EXPECT_FALSE(path_click(doc, a));
    EXPECT_EQ(doc.anchorEdge, a);
    EXPECT_TRUE(selected_edges(doc).empty()) << "the anchor alone is not selected";

    EXPECT_TRUE(path_click(doc, b));
    const std::set<int> path = selected_edges(doc);
    EXPECT_TRUE(path.count(a) && path.count(b));
    // A chain from a to b: every path edge but the two ends shares a vertex with two others.
    std::vector<int> degree(size_t(doc.vertexSlots), 0);
    for (int e : path) {
        degree[size_t(doc.edges[size_t(e)].vertexA)]++;
        degree[size_t(doc.edges[size_t(e)].vertexB)]++;
    }
    int ends = 0;
    for (int d : degree) {
        EXPECT_LE(d, 2);
        ends += d == 1;
    }
    EXPECT_EQ(ends, 2);
    EXPECT_EQ(path.size(), 8u) << "bottom left to top right of a 4 x 4 grid";
    EXPECT_EQ(doc.anchorEdge, b);
    EXPECT_EQ(doc.pathEndEdge, -1);

    EXPECT_FALSE(path_click(doc, b));
    EXPECT_EQ(doc.anchorEdge, -1);
    EXPECT_EQ(selected_edges(doc), path) << "forgetting the anchor changes no selection";
}

TEST(EdgePath, UnreachableTargetSelectsNothing) {
    MeshDocument doc;
    ASSERT_TRUE(read_obj_text(doc, "v 0 0 0\nv 1 0 0\nv 0 1 0\nv 3 0 0\nv 4 0 0\nv 3 1 0\n"
                                   "f 1 2 3\nf 4 5 6\n"));
    path_click(doc, 0);
    ASSERT_EQ(doc.anchorEdge, 0);
    path_click(doc, 4);
    EXPECT_TRUE(selected_edges(doc).empty());
    EXPECT_EQ(doc.anchorEdge, 4) << "the end becomes the anchor all the same";
}

// Smallest total step cost from edge s to edge t over the same graph, in double precision,
// walking only the edges `allowed` lets through (all when empty); -1 when t is not reached.
double reference_path_cost(const UnwrapMesh& m, int s, int t, const std::set<int>& allowed = {}) {
    std::vector<std::vector<int>> at(size_t(m.vertexCount));
    for (int e = 0; e < m.edgeCount; e++) {
        at[size_t(m.edges[e].v1)].push_back(e);
        at[size_t(m.edges[e].v2)].push_back(e);
    }
    auto dist = [&m](int a, int b) {
        const UnwrapVertex &p = m.vertices[a], &q = m.vertices[b];
        return std::sqrt(double(p.x - q.x) * (p.x - q.x) + double(p.y - q.y) * (p.y - q.y) +
                         double(p.z - q.z) * (p.z - q.z));
    };
    const int t0 = m.edges[t].v1, t1 = m.edges[t].v2;
    std::vector<double> cost(size_t(m.edgeCount), 1e300);
    using Item = std::pair<double, int>;
    std::priority_queue<Item, std::vector<Item>, std::greater<>> q;
    cost[size_t(s)] = 0;
    q.push({0, s});
    while (!q.empty()) {
        auto [c, e] = q.top();
        q.pop();
        if (c > cost[size_t(e)])
            continue;
        if (e == t)
            return c;
        for (int v : {m.edges[e].v1, m.edges[e].v2}) {
            const int a = v == m.edges[e].v1 ? m.edges[e].v2 : m.edges[e].v1;
            for (int n : at[size_t(v)]) {
                if (!allowed.empty() && !allowed.count(n))
                    continue;
                const int b = m.edges[n].v1 == v ? m.edges[n].v2 : m.edges[n].v1;
                const double step = std::min(std::min(dist(t0, a), dist(t0, b)),
                                             std::min(dist(t1, a), dist(t1, b)));
                if (c + step < cost[size_t(n)]) {
                    cost[size_t(n)] = c + step;
                    q.push({c + step, n});
                }
            }
        }
    }
    return -1;
}

TEST(EdgePath, OnRealMeshesMatchesTheWrittenRuleAndIsShortest) {
    for (const char* name : {"bunny.obj", "dragon_res3.obj"}) {
        MeshDocument doc, ref;
        const std::string path = std::string(MARROWBY_MESH_DIR) + "/" + name;
        ASSERT_TRUE(doc.load(path.c_str())) << name;
        ASSERT_TRUE(ref.load(path.c_str())) << name;
        std::mt19937 rng(7);
        std::uniform_int_distribution<int> pick(0, doc.edgeCount - 1);
        for (int trial = 0; trial < 4; trial++) {
            const int a = pick(rng), b = pick(rng);
            doc.anchorEdge = a;
            doc.pathEndEdge = -1;
            doc.edges[size_t(b)].flags |= FLAG_PICK_ADD;
            ASSERT_TRUE(doc.finishEdgePath());
            ref_edge_path(ref, a, b);
            ASSERT_EQ(edge_flags(doc), edge_flags(ref)) << name << " path " << a << " to " << b;

            // Its cost is the least over the same steps: walking the chain alone costs what
            // the whole mesh allows.
            const UnwrapMesh& base = unwrap_base_set();
            const std::set<int> chain = selected_edges(doc);
            const double best = reference_path_cost(base, a, b);
            if (best < 0) {
                EXPECT_TRUE(chain.empty());
            } else {
                EXPECT_TRUE(chain.count(a) && chain.count(b));
                EXPECT_NEAR(reference_path_cost(base, a, b, chain), best, 1e-4 * (1 + best));
            }
            doc.deselectAll();
            ref.deselectAll();
        }
    }
}

// A 3 x 5 quad grid whose top left two quads are split into triangles.
std::string mixed_grid() {
    std::string obj = grid_obj(3, 5);
    for (const char* quad :
         {"f 13/13/1 14/14/1 20/20/1 19/19/1\n", "f 14/14/1 15/15/1 21/21/1 20/20/1\n"}) {
        const size_t at = obj.find(quad);
        EXPECT_NE(at, std::string::npos);
        std::string q(quad);
        int a, b, c, d;
        std::sscanf(quad, "f %d/%*d/1 %d/%*d/1 %d/%*d/1 %d", &a, &b, &c, &d);
        auto corner = [](int v) {
            return " " + std::to_string(v) + "/" + std::to_string(v) + "/1";
        };
        obj.replace(at, q.size(),
                    "f" + corner(a) + corner(b) + corner(c) + "\nf" + corner(a) + corner(c) +
                        corner(d) + "\n");
    }
    return obj;
}

TEST(EdgeLoop, RunsAcrossQuadGridsAndStopsAtTriangles) {
    struct Case {
        const char* name;
        std::string obj;
        int from, to; // vertex pair of the double-clicked edge
        size_t loopEdges;
    } cases[] = {
        {"quads", grid_obj(3, 5), 8, 14, 3},
        {"quads, along a row", grid_obj(3, 5), 8, 9, 5},
        {"triangles mixed in", mixed_grid(), 8, 14, 2},
        {"triangles mixed in, along a row", mixed_grid(), 14, 15, 4},
    };
    // Also with another document loaded in between: the loop still follows this one's faces.
    for (bool otherLoad : {false, true})
        for (Case& c : cases) {
            SCOPED_TRACE(testing::Message() << c.name << (otherLoad ? ", other load" : ""));
            MeshDocument doc, other;
            ASSERT_TRUE(read_obj_text(doc, c.obj));
            if (otherLoad) {
                ASSERT_TRUE(read_obj_text(other, grid_obj(6, 2)));
            }
            const int e = doc.findEdge(c.from, c.to);
            ASSERT_GE(e, 0);
            doc.edges[size_t(e)].flags |= FLAG_PICK_ADD;
            EXPECT_TRUE(doc.selectEdgeLoop(false));
            const std::set<int> loop = selected_edges(doc);
            EXPECT_EQ(loop.size(), c.loopEdges);
            EXPECT_TRUE(loop.count(e));
        }
}

// Random meshes, broken ones included (edges of three faces, shared UV points, seams): from
// every point, the indexed walk marks exactly what the written rule marks.
TEST(UvBorderOrIsland, OnRandomMeshesMatchesTheWrittenRuleFromEveryPoint) {
    std::mt19937 rng(11);
    for (int trial = 0; trial < 20; trial++) {
        std::string obj;
        const int vertices = 12, uvPoints = 10;
        for (int i = 0; i < vertices; i++)
            obj += "v " + std::to_string(rng() % 5) + " " + std::to_string(rng() % 5) + " " +
                   std::to_string(i) + "\n";
        for (int i = 0; i < uvPoints; i++)
            obj += "vt 0." + std::to_string(rng() % 10) + " 0." + std::to_string(rng() % 10) + "\n";
        for (int f = 0; f < 14; f++) {
            const int n = 3 + int(rng() % 2);
            std::set<int> used;
            std::string line = "f";
            while (int(used.size()) < n) {
                const int v = 1 + int(rng() % vertices);
                if (used.insert(v).second)
                    line += " " + std::to_string(v) + "/" + std::to_string(1 + rng() % uvPoints);
            }
            obj += line + "\n";
        }
        MeshDocument doc, ref;
        ASSERT_TRUE(read_obj_text(doc, obj));
        ASSERT_TRUE(read_obj_text(ref, obj));
        for (int e = 0; e < doc.edgeCount; e += 3) {
            doc.edges[size_t(e)].flags |= FLAG_SEAM;
            ref.edges[size_t(e)].flags |= FLAG_SEAM;
        }
        for (int start = 0; start < doc.uvCount; start++) {
            for (MeshDocument* d : {&doc, &ref}) {
                d->deselectAll();
                d->uvs[size_t(start)].flags = FLAG_UNSELECTED | FLAG_PICK_ADD;
            }
            const bool ours = doc.selectUvBorderOrIsland(false);
            EXPECT_EQ(ours, ref_select_uv_border_or_island(ref));
            ASSERT_EQ(uv_flags(doc), uv_flags(ref)) << "trial " << trial << " start " << start;
        }
    }
}

// The bunny cut into discs and unwrapped, so that it has charts with borders through seams.
struct CutBunny : testing::Test {
    static MeshDocument doc;
    static UndoHistory history;
    static void SetUpTestSuite() {
        const std::string path = std::string(MARROWBY_MESH_DIR) + "/bunny.obj";
        ASSERT_TRUE(doc.load(path.c_str()));
        for (auto [a, b] : seams_to_discs(doc, seams_along_slabs(doc, 4))) {
            const int e = doc.findEdge(a + 1, b + 1);
            if (e >= 0)
                doc.edges[size_t(e)].flags |= FLAG_SEAM;
        }
        history.push();
        doc.unwrapNow();
        doc.labelCharts();
    }
};
MeshDocument CutBunny::doc;
UndoHistory CutBunny::history{CutBunny::doc};

TEST_F(CutBunny, DoubleClickOnBorderSelectsTheBorderLoopOnInteriorTheIsland) {
    ASSERT_GT(doc.chartCount, 1);
    // Points on a border through a seam, and interior points, as the written rule sees them.
    std::vector<int> borderPoints, interiorPoints;
    std::vector<char> onBorder(size_t(doc.uvCount), 0), used(size_t(doc.uvCount), 0);
    for (int f = 0; f < doc.faceCount; f++) {
        const MeshFace& face = doc.faces[size_t(f)];
        for (int k = 0; k < face.cornerCount; k++) {
            const int prev = face.uvIndices[k == 0 ? face.cornerCount - 1 : k - 1];
            used[size_t(face.uvIndices[k])] = 1;
            if (ref_is_border(doc, face, k))
                onBorder[size_t(prev)] = onBorder[size_t(face.uvIndices[k])] = 1;
        }
    }
    for (int i = 0; i < doc.uvCount; i++)
        (onBorder[size_t(i)] ? borderPoints : interiorPoints).push_back(i);
    ASSERT_FALSE(borderPoints.empty());
    ASSERT_FALSE(interiorPoints.empty());

    MeshDocument& ref = doc; // the same document, reset between the two runs
    for (int start : {borderPoints.front(), borderPoints[borderPoints.size() / 2],
                      interiorPoints.front(), interiorPoints.back()}) {
        if (!used[size_t(start)])
            continue;
        doc.deselectAll();
        doc.uvs[size_t(start)].flags = FLAG_UNSELECTED | FLAG_PICK_ADD;
        EXPECT_TRUE(doc.selectUvBorderOrIsland(false));
        const std::vector<int32_t> ours = uv_flags(doc);

        ref.deselectAll();
        ref.uvs[size_t(start)].flags = FLAG_UNSELECTED | FLAG_PICK_ADD;
        ref_select_uv_border_or_island(ref);
        EXPECT_EQ(ours, uv_flags(ref)) << "start " << start;

        int count = 0;
        for (int i = 0; i < doc.uvCount; i++) {
            if (!selected(ours[size_t(i)]))
                continue;
            count++;
            if (onBorder[size_t(start)]) {
                EXPECT_TRUE(onBorder[size_t(i)]) << "border walk left the border at " << i;
            }
        }
        EXPECT_GT(count, 2) << "start " << start;
    }
}

} // namespace
