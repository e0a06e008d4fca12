// Automatic seams on real and broken meshes: every face laid out, nothing flipped or collapsed,
// every chart under the stretch bound, the user's seams kept, the same seams for any number of
// threads, and only the charts of the selection touched.

#include "edit_test_util.h"
#include "tools/uvstats/uv_stats.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <map>
#include <numeric>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace {

struct Triangle {
    int face;
    int v[3];
    int uv[3];
};

std::vector<Triangle> fan_triangles(const MeshDocument& doc) {
    std::vector<Triangle> out;
    for (int f = 0; f < doc.faceCount; f++) {
        const MeshFace& face = doc.faces[size_t(f)];
        for (int l = 1; l + 1 < face.cornerCount; l++) {
            Triangle t{f, {}, {}};
            const int corners[3] = {0, l, l + 1};
            for (int k = 0; k < 3; k++) {
                t.v[k] = face.vertexIndices[corners[k]];
                t.uv[k] = face.uvIndices[corners[k]];
            }
            out.push_back(t);
        }
    }
    return out;
}

double area3(const MeshDocument& doc, const Triangle& t) {
    const Vec3 &a = doc.vertices[size_t(t.v[0])], &b = doc.vertices[size_t(t.v[1])],
               &c = doc.vertices[size_t(t.v[2])];
    const double e1[3] = {double(b.x) - a.x, double(b.y) - a.y, double(b.z) - a.z};
    const double e2[3] = {double(c.x) - a.x, double(c.y) - a.y, double(c.z) - a.z};
    const double n[3] = {e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2],
                         e1[0] * e2[1] - e1[1] * e2[0]};
    return 0.5 * std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
}

double area_uv(const MeshDocument& doc, const Triangle& t) {
    const UvPoint &a = doc.uvs[size_t(t.uv[0])], &b = doc.uvs[size_t(t.uv[1])],
                  &c = doc.uvs[size_t(t.uv[2])];
    return 0.5 *
           ((double(b.u) - a.u) * (double(c.v) - a.v) - (double(c.u) - a.u) * (double(b.v) - a.v));
}

// Sander's stretch sum of one triangle (3D area times the mean squared singular value of the
// map from the layout to the surface), or infinity for a collapsed layout.
double stretch_sum(const MeshDocument& doc, const Triangle& t) {
    double q[3][3], s[3], r[3];
    for (int i = 0; i < 3; i++) {
        const Vec3& p = doc.vertices[size_t(t.v[i])];
        q[i][0] = p.x, q[i][1] = p.y, q[i][2] = p.z;
        s[i] = doc.uvs[size_t(t.uv[i])].u;
        r[i] = doc.uvs[size_t(t.uv[i])].v;
    }
    const double twice = (s[1] - s[0]) * (r[2] - r[0]) - (s[2] - s[0]) * (r[1] - r[0]);
    if (twice == 0.0)
        return INFINITY;
    double a = 0, c = 0;
    for (int k = 0; k < 3; k++) {
        const double ds =
            (q[0][k] * (r[1] - r[2]) + q[1][k] * (r[2] - r[0]) + q[2][k] * (r[0] - r[1])) / twice;
        const double dr =
            (q[0][k] * (s[2] - s[1]) + q[1][k] * (s[0] - s[2]) + q[2][k] * (s[1] - s[0])) / twice;
        a += ds * ds;
        c += dr * dr;
    }
    return area3(doc, t) * 0.5 * (a + c);
}

// Charts: triangles joined through shared UV points.
std::vector<int> chart_of_triangles(const MeshDocument& doc, const std::vector<Triangle>& tris) {
    std::vector<int> parent(size_t(doc.uvCount));
    std::iota(parent.begin(), parent.end(), 0);
    auto find = [&](int x) {
        while (parent[size_t(x)] != x)
            x = parent[size_t(x)] = parent[size_t(parent[size_t(x)])];
        return x;
    };
    for (const Triangle& t : tris)
        for (int k = 1; k < 3; k++)
            parent[size_t(find(t.uv[k]))] = find(t.uv[0]);
    std::vector<int> chart;
    for (const Triangle& t : tris)
        chart.push_back(find(t.uv[0]));
    return chart;
}

struct LayoutFigures {
    int charts = 0;
    int unlaid = 0;    // triangles with 3D area and no UV area
    int flipped = 0;   // against their chart's orientation, on manifold edges
    int collapsed = 0; // UV area under 1e-4 of their share
    int overStretched = 0;
    double worstStretch = 0.0;
};

// Charts whose 3D area is under this share of the mesh's are too small for float UVs in the
// unit square to hold their shape (a sliver a millionth of the mesh spans a few float steps).
constexpr double kTooSmallToMeasure = 1e-6;

// Triangles that repeat another face or touch an edge of three or more faces. The engine lays
// a face and its copy out as a pair unfolded across their shared edge, one mirrored, and the
// fans around such an edge's ends are split apart the same way: the input's own folds, which
// a plain unwrap without automatic seams shows as well.
std::vector<char> non_manifold_triangles(const std::vector<Triangle>& tris) {
    std::map<std::array<int, 3>, int> copies;
    std::map<std::pair<int, int>, int> uses;
    auto edge = [](int a, int b) { return std::pair{std::min(a, b), std::max(a, b)}; };
    auto sorted = [](const Triangle& t) {
        std::array<int, 3> key = {t.v[0], t.v[1], t.v[2]};
        std::sort(key.begin(), key.end());
        return key;
    };
    for (const Triangle& t : tris) {
        copies[sorted(t)]++;
        for (int k = 0; k < 3; k++)
            uses[edge(t.v[k], t.v[(k + 1) % 3])]++;
    }
    std::set<int> ends; // vertices of edges of three or more faces
    for (const auto& [e, count] : uses)
        if (count > 2)
            ends.insert({e.first, e.second});
    std::vector<char> marked;
    for (const Triangle& t : tris) {
        bool odd = copies[sorted(t)] > 1;
        for (int k = 0; k < 3; k++)
            odd = odd || ends.count(t.v[k]) > 0;
        marked.push_back(odd ? 1 : 0);
    }
    return marked;
}

LayoutFigures figures_of(const MeshDocument& doc) {
    const std::vector<Triangle> tris = fan_triangles(doc);
    const std::vector<int> chart = chart_of_triangles(doc, tris);
    const std::vector<char> nonManifold = non_manifold_triangles(tris);
    std::vector<double> a3(tris.size()), auv(tris.size());
    double total3 = 0.0;
    std::vector<double> sorted;
    for (size_t i = 0; i < tris.size(); i++) {
        a3[i] = area3(doc, tris[i]);
        auv[i] = area_uv(doc, tris[i]);
        total3 += a3[i];
        sorted.push_back(a3[i]);
    }
    std::sort(sorted.begin(), sorted.end());
    const double sliver = 1e-9 * sorted[sorted.size() / 2];
    struct Sums {
        double a3 = 0, auvSigned = 0, auv = 0, stretch = 0;
    };
    std::map<int, Sums> sums;
    for (size_t i = 0; i < tris.size(); i++) {
        Sums& s = sums[chart[i]];
        s.a3 += a3[i];
        s.auvSigned += auv[i];
        s.auv += std::fabs(auv[i]);
        if (a3[i] > sliver)
            s.stretch += stretch_sum(doc, tris[i]);
    }
    LayoutFigures f;
    f.charts = int(sums.size());
    for (size_t i = 0; i < tris.size(); i++) {
        if (a3[i] <= sliver)
            continue;
        const Sums& s = sums[chart[i]];
        const double ratio = s.auv / s.a3;
        f.unlaid += auv[i] == 0.0;
        f.flipped += (auv[i] > 0) != (s.auvSigned > 0) && auv[i] != 0.0 && !nonManifold[i];
        f.collapsed += std::fabs(auv[i]) < 1e-4 * ratio * a3[i];
    }
    for (const auto& [id, s] : sums) {
        if (s.a3 < kTooSmallToMeasure * total3)
            continue;
        const double stretch = std::sqrt(s.stretch / s.a3 * s.auv / s.a3);
        f.worstStretch = std::max(f.worstStretch, stretch);

        f.overStretched += !(stretch < 1.10);
    }
    return f;
}

std::vector<int> seam_edges(const MeshDocument& doc) {
    std::vector<int> seams;
    for (int e = 0; e < doc.edgeCount; e++)
        if (doc.edges[size_t(e)].flags & FLAG_SEAM)
            seams.push_back(e);
    return seams;
}

// Whether the faces on the two sides of an edge share its two ends in the layout.
bool joined_in_layout(const MeshDocument& doc, int edge) {
    const int a = doc.edges[size_t(edge)].vertexA, b = doc.edges[size_t(edge)].vertexB;
    std::vector<std::pair<int, int>> sides; // UV points at a and b, per face holding the edge
    for (int f = 0; f < doc.faceCount; f++) {
        const MeshFace& face = doc.faces[size_t(f)];
        int ua = -1, ub = -1;
        for (int k = 0; k < face.cornerCount; k++) {
            if (face.vertexIndices[k] == a)
                ua = face.uvIndices[k];
            if (face.vertexIndices[k] == b)
                ub = face.uvIndices[k];
        }
        if (ua >= 0 && ub >= 0)
            sides.push_back({ua, ub});
    }
    return sides.size() == 2 && sides[0] == sides[1];
}

class AutoSeams : public EditFixture {
protected:
    void load_file(const std::string& name) {
        load(file_text(std::string(MARROWBY_MESH_DIR) + "/" + name));
    }
    // The plane y = middle of the bounding box.
    float middle_y() const {
        float lo = INFINITY, hi = -INFINITY;
        for (int v = 1; v < doc.vertexSlots; v++) {
            lo = std::min(lo, doc.vertices[size_t(v)].y);
            hi = std::max(hi, doc.vertices[size_t(v)].y);
        }
        return 0.5f * (lo + hi);
    }
    // Every edge crossing that plane becomes a seam.
    std::vector<int> cut_across_the_middle() {
        const float middle = middle_y();
        std::vector<int> seams;
        for (int e = 0; e < doc.edgeCount; e++) {
            MeshEdge& edge = doc.edges[size_t(e)];
            if ((doc.vertices[size_t(edge.vertexA)].y < middle) !=
                (doc.vertices[size_t(edge.vertexB)].y < middle)) {
                edge.flags |= FLAG_SEAM;
                seams.push_back(e);
            }
        }
        history.push();
        return seams;
    }
};

struct RealMesh {
    const char* file;
    bool givenSeams;
};

class AutoSeamsRealMesh : public AutoSeams, public ::testing::WithParamInterface<RealMesh> {};

TEST_P(AutoSeamsRealMesh, EveryFaceIsLaidOutInSoundChartsUnderTheStretchBound) {
    load_file(GetParam().file);
    std::vector<int> given;
    if (GetParam().givenSeams)
        given = cut_across_the_middle();
    for (int e = 0; e < doc.edgeCount; e++)
        doc.edges[size_t(e)].flags &= ~FLAG_SELECTED;
    const int added = doc.unwrapWithAutomaticSeams();
    EXPECT_GT(added, 0);
    EXPECT_EQ(int(seam_edges(doc).size()), int(given.size()) + added);
    for (int e : given) {
        EXPECT_TRUE(doc.edges[size_t(e)].flags & FLAG_SEAM) << "given seam " << e;
        EXPECT_FALSE(joined_in_layout(doc, e)) << "given seam " << e << " is a chart border";
    }
    const LayoutFigures f = figures_of(doc);
    std::printf("%s: %d charts, worst stretch %.4f\n", GetParam().file, f.charts, f.worstStretch);
    EXPECT_EQ(f.unlaid, 0);
    EXPECT_EQ(f.flipped, 0);
    EXPECT_EQ(f.collapsed, 0);
    EXPECT_EQ(f.overStretched, 0) << "worst " << f.worstStretch;
    EXPECT_GT(f.charts, 1);
    const UvStats stats = compute_uv_stats(doc);
    EXPECT_EQ(stats.discCharts, stats.charts) << "every chart is a disc, holes cut open";
}

INSTANTIATE_TEST_SUITE_P(
    Meshes, AutoSeamsRealMesh,
    ::testing::Values(RealMesh{"bunny.obj", false}, RealMesh{"bunny.obj", true},
                      RealMesh{"dragon_res3.obj", false}, RealMesh{"snowden.obj", true}),
    [](const auto& info) {
        std::string name = info.param.file;
        return name.substr(0, name.find('.')) + (info.param.givenSeams ? "WithSeams" : "");
    });

TEST_F(AutoSeams, TheSameSeamsAndLayoutForOneAndEightThreads) {
    const char* old = std::getenv("MARROWBY_THREADS");
    const std::string saved = old ? old : "";
    std::vector<Layout> layouts;
    for (const char* threads : {"1", "8"}) {
        setenv("MARROWBY_THREADS", threads, 1);
        doc.clear();
        load_file("dragon_res3.obj");
        doc.unwrapWithAutomaticSeams();
        layouts.push_back(layout_of(doc));
    }
    if (old)
        setenv("MARROWBY_THREADS", saved.c_str(), 1);
    else
        unsetenv("MARROWBY_THREADS");
    EXPECT_TRUE(layouts[0] == layouts[1]);
}

// With an edge selected, only the chart that holds it gets new seams.
TEST_F(AutoSeams, WithASelectedEdgeOnlyItsChartIsCut) {
    load_file("bunny.obj");
    const std::vector<int> given = cut_across_the_middle();
    // An edge of a face wholly below the middle: its chart is the lower half.
    int selected = -1;
    const float middle = middle_y();
    auto below = [&](int e) {
        return doc.vertices[size_t(doc.edges[size_t(e)].vertexA)].y < middle &&
               doc.vertices[size_t(doc.edges[size_t(e)].vertexB)].y < middle;
    };
    for (int e = 0; e < doc.edgeCount && selected < 0; e++)
        if (below(e))
            selected = e;
    ASSERT_GE(selected, 0);
    doc.edges[size_t(selected)].flags |= FLAG_SELECTED;
    ASSERT_TRUE(doc.addAutomaticSeams());
    deliver_until_idle();
    int addedBelow = 0, addedAbove = 0;
    for (int e : seam_edges(doc)) {
        if (std::find(given.begin(), given.end(), e) != given.end())
            continue;
        (below(e) ? addedBelow : addedAbove)++;
    }
    EXPECT_GT(addedBelow, 0);
    EXPECT_EQ(addedAbove, 0);
}

// A bumpy grid with the defects an input file may carry: holes, duplicate faces, edges of three
// faces, zero-area triangles (a vertex collapsed onto its neighbour), and a second piece apart
// from the first. (A face stored reversed is laid out with its own winding, which a count of
// flips by winding cannot tell from a fold; a face naming one corner twice folds over its
// neighbour in any unwrap, with or without automatic seams.)
std::string broken_mesh_obj(std::mt19937& rng) {
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    const int n = 6 + int(rng() % 10);
    std::string text;
    for (int piece = 0; piece < 2; piece++)
        for (int y = 0; y <= n; y++)
            for (int x = 0; x <= n; x++) {
                // Now and then a vertex sits on its left neighbour: its triangles lose their area.
                const float at = x > 0 && unit(rng) < 0.03f ? float(x - 1) : float(x);
                const float h = std::sin(at * 0.9f) * std::cos(float(y) * 0.7f) * 1.5f;
                text += "v " + std::to_string(at + 3.0f * float(piece) * float(n)) + " " +
                        std::to_string(float(y)) + " " + std::to_string(h) + "\n";
            }
    text += "vt 0 0\nvn 0 0 1\n";
    auto corner = [](int i) { return std::to_string(i) + "/1/1"; };
    auto face = [&](int a, int b, int c) {
        return "f " + corner(a) + " " + corner(b) + " " + corner(c) + "\n";
    };
    const int side = (n + 1) * (n + 1);
    for (int piece = 0; piece < 2; piece++)
        for (int y = 0; y < n; y++)
            for (int x = 0; x < n; x++) {
                const int a = piece * side + y * (n + 1) + x + 1, b = a + 1, c = a + n + 2,
                          d = a + n + 1;
                const float r = unit(rng);
                if (r < 0.04f)
                    continue; // a hole
                text += face(a, b, c);
                text += face(a, c, d);
                if (r > 0.96f)
                    text += face(a, b, c); // duplicate
                if (r > 0.92f && r <= 0.96f && y > 0)
                    text += face(a, b, d); // a third face on the edge a-b
            }
    return text;
}

TEST_F(AutoSeams, BrokenMeshesGetSoundLayoutsOfEveryFaceWithArea) {
    for (unsigned seed = 1; seed <= 12; seed++) {
        std::mt19937 rng(seed);
        doc.clear();
        load(broken_mesh_obj(rng));
        ASSERT_GT(doc.faceCount, 0);
        doc.unwrapWithAutomaticSeams();
        const LayoutFigures f = figures_of(doc);
        EXPECT_EQ(f.unlaid, 0) << "seed " << seed;
        EXPECT_EQ(f.flipped, 0) << "seed " << seed;
        EXPECT_EQ(f.collapsed, 0) << "seed " << seed;
        EXPECT_EQ(f.overStretched, 0) << "seed " << seed << " worst " << f.worstStretch;
        EXPECT_TRUE(all_uvs_finite(doc)) << "seed " << seed;
    }
}

} // namespace
