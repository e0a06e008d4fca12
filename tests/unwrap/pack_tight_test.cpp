#include "flatten_test_util.h"
#include "pack_geometry_util.h"
#include "unwrap/unwrap_lscm.h"
#include "unwrap/unwrap_pack.h"
#include "unwrap/unwrap_pack_tight.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <vector>

namespace {

// Appends b's vertices and faces to a, moved along x so that the pieces stay apart in 3D.
void append(TestMesh& a, const TestMesh& b, float offset) {
    int base = int(a.positions.size());
    for (auto p : b.positions)
        a.positions.push_back({p[0] + offset, p[1], p[2]});
    for (TestMesh::Face f : b.faces) {
        for (int k = 0; k < f.n; k++)
            f.v[k] += base;
        a.faces.push_back(f);
    }
    for (auto [x, y] : b.seams)
        a.seams.push_back({x + base, y + base});
}

void pin_vertex(TestMesh& mesh, int v, float u, float w) {
    for (TestMesh::Face& f : mesh.faces)
        for (int k = 0; k < f.n; k++)
            if (f.v[k] == v) {
                f.pin[k] = 1;
                f.uv[k][0] = u;
                f.uv[k][1] = w;
            }
}

// Pieces of different sizes and shapes: patches, a cut cylinder (a long strip) and a
// hemisphere, each its own chart.
TestMesh assorted_pieces() {
    TestMesh mesh = flat_patch(6, 1);
    append(mesh, flat_patch(3, 2), 20.0f);
    append(mesh, flat_patch(4, 3), 40.0f);
    append(mesh, cut_cylinder(3, 16, 4.0f), 60.0f);
    append(mesh, hemisphere(4, 12, true), 80.0f);
    append(mesh, flat_patch(2, 4), 100.0f);
    return mesh;
}

PHandle* solved(TestMesh& mesh) {
    PHandle* handle = test_mesh_build(mesh, true);
    unwrap_lscm_begin(handle, false, true);
    unwrap_lscm_solve(handle);
    unwrap_lscm_end(handle);
    return handle;
}

struct Tri {
    P2 p[3];
    int chart;
};

// The charts' triangles in UV, or only those with an edge on their chart's border: another
// chart comes no closer to a chart's inside than to its border, so the closest two charts come
// is found among these alone.
std::vector<Tri> triangles_of(PHandle* handle, bool borderOnly = false) {
    std::vector<Tri> out;
    for (int i = 0; i < handle->ncharts; i++)
        for (PTriangle* t = handle->charts[i]->triangles; t; t = t->next) {
            if (t->flags & PTRI_FILLED)
                continue;
            const PHalfEdge* e[3] = {t->edge, t->edge->nextInTri, t->edge->nextInTri->nextInTri};
            bool border = false;
            for (const PHalfEdge* h : e)
                border = border || !h->pair || (h->pair->triangle->flags & PTRI_FILLED);
            if (borderOnly && !border)
                continue;
            Tri tri;
            for (int k = 0; k < 3; k++)
                tri.p[k] = {e[k]->point->uv[0], e[k]->point->uv[1]};
            tri.chart = i;
            out.push_back(tri);
        }
    return out;
}

// The closest two triangles of different charts come, by exact tests on every pair whose
// boxes are near (pairs of far boxes cannot be closer than the limit anyway).
double closest_charts(const std::vector<Tri>& tris, double limit) {
    double best = 1e300;
    for (size_t a = 0; a < tris.size(); a++) {
        double alo[2] = {1e300, 1e300}, ahi[2] = {-1e300, -1e300};
        for (const P2& p : tris[a].p) {
            alo[0] = std::min(alo[0], p.x), ahi[0] = std::max(ahi[0], p.x);
            alo[1] = std::min(alo[1], p.y), ahi[1] = std::max(ahi[1], p.y);
        }
        for (size_t b = a + 1; b < tris.size(); b++) {
            if (tris[a].chart == tris[b].chart)
                continue;
            double blo[2] = {1e300, 1e300}, bhi[2] = {-1e300, -1e300};
            for (const P2& p : tris[b].p) {
                blo[0] = std::min(blo[0], p.x), bhi[0] = std::max(bhi[0], p.x);
                blo[1] = std::min(blo[1], p.y), bhi[1] = std::max(bhi[1], p.y);
            }
            bool far = blo[0] > ahi[0] + limit || alo[0] > bhi[0] + limit ||
                       blo[1] > ahi[1] + limit || alo[1] > bhi[1] + limit;
            if (!far)
                best = std::min(best, polygon_distance(tris[a].p, 3, tris[b].p, 3));
        }
    }
    return best;
}

// Texels of a grid at the packer's resolution reached by samples of each chart's triangles:
// no texel may be reached by two charts.
int shared_texels(const std::vector<Tri>& tris, int resolution) {
    std::map<std::pair<int, int>, int> owner;
    int shared = 0;
    for (const Tri& t : tris) {
        const int n = 12;
        for (int i = 0; i <= n; i++)
            for (int j = 0; i + j <= n; j++) {
                double a = double(i) / n, b = double(j) / n, c = 1.0 - a - b;
                double x = a * t.p[0].x + b * t.p[1].x + c * t.p[2].x;
                double y = a * t.p[0].y + b * t.p[1].y + c * t.p[2].y;
                std::pair<int, int> key{int(std::floor(x * resolution)),
                                        int(std::floor(y * resolution))};
                auto [it, added] = owner.try_emplace(key, t.chart);
                if (!added && it->second != t.chart) {
                    shared++;
                    it->second = t.chart;
                }
            }
    }
    return shared;
}

TEST(UnwrapPackTight, ChartsStayInsideTheSquareApartByThePadding) {
    struct Case {
        int resolution, padding;
    };
    const Case cases[] = {{256, 3}, {128, 1}, {512, 8}, {64, 0}};
    for (const Case& c : cases) {
        TestMesh mesh = assorted_pieces();
        PHandle* handle = solved(mesh);
        ASSERT_EQ(handle->ncharts, 6);
        unwrap_pack_tight(handle, c.resolution, c.padding);
        for (int i = 0; i < handle->ncharts; i++)
            for (PPoint* p = handle->charts[i]->points; p; p = p->next)
                for (int k = 0; k < 2; k++) {
                    EXPECT_GE(p->uv[k], 0.0f) << c.resolution;
                    EXPECT_LE(p->uv[k], 1.0f) << c.resolution;
                }
        std::vector<Tri> tris = triangles_of(handle);
        const double pad = double(c.padding) / c.resolution;
        // Exact: no two charts closer than the padding (none overlapping when it is 0).
        double closest = closest_charts(tris, pad + 1e-3);
        if (c.padding > 0) {
            EXPECT_GE(closest, pad * (1.0 - 1e-4)) << c.resolution << "/" << c.padding;
            // Rasterised: with any padding, the charts' texels are apart.
            EXPECT_EQ(shared_texels(tris, c.resolution), 0) << c.resolution << "/" << c.padding;
        } else {
            EXPECT_GT(closest, 0.0) << c.resolution;
        }
        // Charts come back largest first, as from the shelf packer.
        for (int i = 1; i < handle->ncharts; i++)
            EXPECT_GE(handle->charts[i - 1]->u.pack.area, handle->charts[i]->u.pack.area);
        unwrap_delete(handle);
    }
}

TEST(UnwrapPackTight, TighterThanShelvesOnIrregularCharts) {
    double covered[2];
    for (int tight = 0; tight < 2; tight++) {
        TestMesh mesh = assorted_pieces();
        PHandle* handle = solved(mesh);
        if (tight)
            unwrap_pack_tight(handle, UNWRAP_TIGHT_RESOLUTION, UNWRAP_TIGHT_PADDING);
        else
            unwrap_pack(handle);
        covered[tight] = 0.0;
        for (const Tri& t : triangles_of(handle))
            covered[tight] += std::fabs(cross2(t.p[0], t.p[1], t.p[2])) / 2.0;
        unwrap_delete(handle);
    }
    // Square patches suit shelves well; the strip and the hemisphere's disc do not.
    EXPECT_GT(covered[1], 1.15 * covered[0]) << "shelf " << covered[0] << " tight " << covered[1];
}

TEST(UnwrapPackTight, PinnedChartsKeepTheirUvsAndTheirAreaStaysFree) {
    TestMesh mesh = assorted_pieces();
    int base = int(mesh.positions.size());
    append(mesh, flat_patch(3, 5), 200.0f);
    pin_vertex(mesh, base, 0.3f, 0.3f);
    pin_vertex(mesh, base + 15, 0.7f, 0.55f);
    PHandle* handle = solved(mesh);
    ASSERT_EQ(handle->ncharts, 7);
    std::vector<std::pair<PPoint*, std::array<float, 2>>> pinnedUvs;
    for (int i = 0; i < handle->ncharts; i++)
        if (handle->charts[i]->flags & PCHART_USER_PINNED)
            for (PPoint* p = handle->charts[i]->points; p; p = p->next)
                pinnedUvs.push_back({p, {p->uv[0], p->uv[1]}});
    ASSERT_FALSE(pinnedUvs.empty());
    const int resolution = 256, padding = 3;
    unwrap_pack_tight(handle, resolution, padding);
    for (auto& [p, uv] : pinnedUvs) {
        EXPECT_EQ(p->uv[0], uv[0]);
        EXPECT_EQ(p->uv[1], uv[1]);
    }
    // The pinned chart counts as a chart like the others: nothing comes within the padding.
    std::vector<Tri> tris = triangles_of(handle);
    double pad = double(padding) / resolution;
    EXPECT_GE(closest_charts(tris, pad + 1e-3), pad * (1.0 - 1e-4));
    unwrap_delete(handle);
}

TEST(UnwrapPackTight, TooManyChartsForTheTextureFallBackToShelves) {
    // With 4 texels of padding, 16 texels hold at most 4 x 4 charts of one texel each.
    TestMesh mesh = flat_patch(2, 1);
    for (int k = 1; k < 20; k++)
        append(mesh, flat_patch(2, unsigned(k + 1)), 10.0f * float(k));
    PHandle* handle = solved(mesh);
    ASSERT_EQ(handle->ncharts, 20);
    unwrap_pack_tight(handle, UNWRAP_TIGHT_MIN_RESOLUTION, 4);
    std::vector<Tri> tris = triangles_of(handle);
    for (const Tri& t : tris)
        for (const P2& p : t.p) {
            EXPECT_GE(p.x, 0.0);
            EXPECT_LE(p.x, 1.0);
            EXPECT_GE(p.y, 0.0);
            EXPECT_LE(p.y, 1.0);
        }
    // The shelves' boxes keep charts apart, and all twenty take a share of the square.
    EXPECT_GT(closest_charts(tris, 0.0), 0.0);
    for (int i = 0; i < handle->ncharts; i++)
        EXPECT_GT(handle->charts[i]->u.pack.scale, 0.0f) << "chart " << i;
    unwrap_delete(handle);
}

TEST(UnwrapPackTight, FailedAndEmptyChartsDoNotDisturbTheRest) {
    TestMesh mesh = flat_patch(3, 4);
    append(mesh, flat_patch(4, 5), 20.0f);
    PHandle* handle = test_mesh_build(mesh, false);
    ASSERT_EQ(handle->ncharts, 2);
    // Chart 0 as after a failed solve, chart 1 with its 3D layout.
    for (PPoint* p = handle->charts[0]->points; p; p = p->next)
        p->uv[0] = p->uv[1] = 0.0f;
    for (PPoint* p = handle->charts[1]->points; p; p = p->next) {
        p->uv[0] = p->co[0];
        p->uv[1] = p->co[1];
    }
    PChart* failed = handle->charts[0];
    unwrap_pack_tight(handle, 128, 2);
    for (PPoint* p = failed->points; p; p = p->next) {
        EXPECT_EQ(p->uv[0], failed->points->uv[0]);
        EXPECT_EQ(p->uv[1], failed->points->uv[1]);
    }
    std::vector<Tri> tris = triangles_of(handle);
    EXPECT_EQ(shared_texels(tris, 128), 0);
    unwrap_delete(handle);

    TestMesh closed = test_mesh_cube(); // no chart survives
    PHandle* none = test_mesh_build(closed, false);
    unwrap_pack_tight(none, 128, 2);
    EXPECT_EQ(none->ncharts, 0);
    unwrap_delete(none);
}

// Seams across seven planes along y: the real mesh opens into slabs of long, ragged charts.
void cut_into_slabs(TestMesh& mesh) {
    float lo = 1e30f, hi = -1e30f;
    for (const auto& p : mesh.positions) {
        lo = std::fmin(lo, p[1]);
        hi = std::fmax(hi, p[1]);
    }
    for (const TestMesh::Face& f : mesh.faces)
        for (int k = 0; k < f.n; k++) {
            int a = f.v[k], b = f.v[(k + 1) % f.n];
            float ya = mesh.positions[size_t(a)][1], yb = mesh.positions[size_t(b)][1];
            for (int s = 1; s < 8; s++) {
                float cut = lo + (hi - lo) * float(s) / 8.0f;
                if ((ya < cut) != (yb < cut))
                    mesh.seams.push_back({a, b});
            }
        }
}

// The real mesh's ragged slabs, packed at resolutions where the side is searched on the coarse
// grid first and where it is not: inside the square, apart by the padding (exact on the
// charts' borders, sampled on their texels), and the same bits when packed again.
TEST(UnwrapPackTight, RaggedSlabsOfARealMeshStayApartAndRepeat) {
    struct Case {
        int resolution, padding;
    };
    const Case cases[] = {{1024, 4}, {256, 2}, {48, 0}};
    for (const Case& c : cases) {
        std::vector<std::vector<float>> runs;
        for (int run = 0; run < 2; run++) {
            TestMesh mesh = test_mesh_load_obj(mesh_path("bunny.obj"));
            cut_into_slabs(mesh);
            PHandle* handle = solved(mesh);
            ASSERT_GE(handle->ncharts, 8);
            unwrap_pack_tight(handle, c.resolution, c.padding);
            std::vector<float> uvs;
            for (int i = 0; i < handle->ncharts; i++)
                for (PPoint* p = handle->charts[i]->points; p; p = p->next)
                    for (int k = 0; k < 2; k++) {
                        uvs.push_back(p->uv[k]);
                        EXPECT_GE(p->uv[k], 0.0f) << c.resolution;
                        EXPECT_LE(p->uv[k], 1.0f) << c.resolution;
                    }
            runs.push_back(uvs);
            if (run == 0) {
                const double pad = double(c.padding) / c.resolution;
                double closest = closest_charts(triangles_of(handle, true), pad + 1e-3);
                EXPECT_GE(closest, c.padding > 0 ? pad * (1.0 - 1e-4) : 1e-9)
                    << c.resolution << "/" << c.padding;
                EXPECT_EQ(shared_texels(triangles_of(handle), c.resolution), 0)
                    << c.resolution << "/" << c.padding;
            }
            unwrap_delete(handle);
        }
        EXPECT_EQ(runs[0], runs[1]) << c.resolution << "/" << c.padding;
    }
}

} // namespace
