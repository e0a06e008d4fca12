// Live re-solves answered by combining earlier solutions must equal direct re-solves: random
// drags (moves, rotations and scales about a fixed centre, aligns) of a group of pinned points
// on a real chart, solved side by side with recycling on and off.

#include "Lscm/opennl_context.h"
#include "flatten_test_util.h"
#include "unwrap/unwrap_lscm.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <set>
#include <vector>

namespace {

// A piece of the bunny laid out once (its UVs land in the faces), with a group of points
// around one point of the layout pinned to be dragged and three far points pinned in place.
struct DragCase {
    TestMesh mesh;
    std::set<int> group;
    float centre[2] = {0, 0};
    float extent = 0;
};

DragCase make_case() {
    DragCase c;
    TestMesh bunny = test_mesh_load_obj(mesh_path("bunny.obj"));
    c.mesh = mesh_ball_piece(bunny, 1 + 977 % int(bunny.positions.size() - 1), 0.2f);
    PHandle* handle = test_mesh_build(c.mesh, true);
    unwrap_lscm_begin(handle, false, false);
    unwrap_lscm_solve(handle);
    unwrap_lscm_end(handle);
    unwrap_flush(handle);
    unwrap_delete(handle);

    float lo[2] = {1e30f, 1e30f}, hi[2] = {-1e30f, -1e30f};
    for (const TestMesh::Face& f : c.mesh.faces)
        for (int k = 0; k < f.n; k++)
            for (int a = 0; a < 2; a++) {
                lo[a] = std::min(lo[a], f.uv[k][a]);
                hi[a] = std::max(hi[a], f.uv[k][a]);
            }
    c.extent = std::max(hi[0] - lo[0], hi[1] - lo[1]);
    const TestMesh::Face& seed = c.mesh.faces[c.mesh.faces.size() / 2];
    float radius = 0.12f * c.extent;
    for (const TestMesh::Face& f : c.mesh.faces)
        for (int k = 0; k < f.n; k++)
            if (std::hypot(f.uv[k][0] - seed.uv[0][0], f.uv[k][1] - seed.uv[0][1]) < radius)
                c.group.insert(f.v[k]);
    std::set<int> anchors = {c.mesh.faces.front().v[0], c.mesh.faces.back().v[1],
                             c.mesh.faces[c.mesh.faces.size() / 4].v[2]};
    int corners = 0;
    for (TestMesh::Face& f : c.mesh.faces)
        for (int k = 0; k < f.n; k++) {
            bool inGroup = c.group.count(f.v[k]) > 0;
            f.pin[k] = inGroup || anchors.count(f.v[k]) ? 1 : 0;
            if (inGroup) {
                c.centre[0] += f.uv[k][0];
                c.centre[1] += f.uv[k][1];
                corners++;
            }
        }
    c.centre[0] /= float(corners);
    c.centre[1] /= float(corners);
    return c;
}

// The chart's point UVs, point by point.
std::vector<float> point_uvs(const PHandle* handle) {
    std::vector<float> uv;
    for (int i = 0; i < handle->ncharts; i++)
        for (const PPoint* p = handle->charts[i]->points; p; p = p->next)
            uv.insert(uv.end(), {p->uv[0], p->uv[1]});
    return uv;
}

void solve_with(PHandle* handle, bool recycle) {
    const NLFactorOptions saved = nl_factor_options();
    nl_factor_options().recycle = recycle;
    unwrap_lscm_solve(handle);
    nl_factor_options() = saved;
}

// Applies f to the UV of every pinned corner of the given vertices, in both meshes alike.
template <typename F> void edit(DragCase& a, TestMesh& b, const std::set<int>& vertices, F f) {
    for (TestMesh* mesh : {&a.mesh, &b})
        for (TestMesh::Face& face : mesh->faces)
            for (int k = 0; k < face.n; k++)
                if (vertices.count(face.v[k]))
                    f(face.uv[k]);
}

TEST(RecycledLiveSolve, RandomDragsEqualDirectResolvesAndChangesOutsideTheSpanSolveDirectly) {
    DragCase a = make_case();
    ASSERT_GT(a.group.size(), 5u);
    TestMesh b = a.mesh;
    PHandle* recycled = test_mesh_build(a.mesh, true);
    PHandle* direct = test_mesh_build(b, true);
    unwrap_lscm_begin(recycled, true, false);
    unwrap_lscm_begin(direct, true, false);
    solve_with(recycled, true);
    solve_with(direct, false);

    std::mt19937 random(5);
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
    const long recycledBefore = nl_recycled_solves();
    double worst = 0;
    const char* names[] = {"move", "rotate", "scale", "align"};
    // Drags of six steps each, every one a random move, rotation, scale or align, the way a
    // user's gestures follow one another within one live run.
    int op = 0;
    for (int step = 0; step < 48; step++) {
        if (step % 6 == 0)
            op = int(random() % 4);
        const float cx = a.centre[0], cy = a.centre[1];
        if (op == 0) {
            float dx = 0.02f * a.extent * unit(random), dy = 0.02f * a.extent * unit(random);
            edit(a, b, a.group, [&](float* uv) {
                uv[0] += dx;
                uv[1] += dy;
            });
        } else if (op == 1) {
            float angle = 0.2f * unit(random), c = std::cos(angle), s = std::sin(angle);
            edit(a, b, a.group, [&](float* uv) {
                float x = uv[0] - cx, y = uv[1] - cy;
                uv[0] = cx + c * x - s * y;
                uv[1] = cy + s * x + c * y;
            });
        } else if (op == 2) {
            float scale = 1.0f + 0.1f * unit(random);
            edit(a, b, a.group, [&](float* uv) {
                uv[0] = cx + scale * (uv[0] - cx);
                uv[1] = cy + scale * (uv[1] - cy);
            });
        } else {
            float lowest = 1e30f;
            edit(a, b, a.group, [&](float* uv) { lowest = std::min(lowest, uv[0]); });
            edit(a, b, a.group, [&](float* uv) { uv[0] = lowest; });
        }
        solve_with(recycled, true);
        solve_with(direct, false);
        std::vector<float> r = point_uvs(recycled), d = point_uvs(direct);
        ASSERT_EQ(r.size(), d.size());
        double apart = 0;
        for (size_t i = 0; i < r.size(); i++)
            apart = std::max(apart, double(std::fabs(r[i] - d[i])));
        EXPECT_LT(apart, 1e-5 * a.extent) << "step " << step << ", " << names[op];
        worst = std::max(worst, apart);
    }
    const long recycledDuring = nl_recycled_solves() - recycledBefore;
    std::printf("[ recycle ] %zu dragged points, %ld of 48 steps recycled, largest difference "
                "%.2e of the chart size\n",
                a.group.size(), recycledDuring, worst / a.extent);
    // Within a drag the changes lie in two directions (a move) or two about the fixed centre (a
    // rotation or a scale), and an align repeated changes nothing: most steps combine.
    EXPECT_GE(recycledDuring, 20);

    // A long drag one way: every step after its first lies along the first one's direction, how
    // ever far the points have gone, so each combines and still equals the direct answer.
    const long longBefore = nl_recycled_solves();
    for (int step = 0; step < 24; step++) {
        edit(a, b, a.group, [&](float* uv) { uv[0] += 0.05f * a.extent; });
        solve_with(recycled, true);
        solve_with(direct, false);
        std::vector<float> r = point_uvs(recycled), d = point_uvs(direct);
        for (size_t i = 0; i < r.size(); i++)
            ASSERT_NEAR(r[i], d[i], 1e-5 * a.extent) << "long drag, step " << step;
    }
    EXPECT_GE(nl_recycled_solves() - longBefore, 23);

    // One anchor moved alone: a direction no drag has taken, so it is solved directly.
    std::set<int> anchor = {a.mesh.faces.front().v[0]};
    edit(a, b, anchor, [&](float* uv) { uv[1] += 0.05f * a.extent; });
    const long recycledNow = nl_recycled_solves(), directNow = nl_direct_resolves();
    solve_with(recycled, true);
    solve_with(direct, false);
    EXPECT_EQ(nl_recycled_solves(), recycledNow);
    EXPECT_EQ(nl_direct_resolves(), directNow + 2);
    std::vector<float> r = point_uvs(recycled), d = point_uvs(direct);
    for (size_t i = 0; i < r.size(); i++)
        ASSERT_NEAR(r[i], d[i], 1e-5 * a.extent) << "value " << i;

    unwrap_lscm_end(recycled);
    unwrap_lscm_end(direct);
    unwrap_delete(recycled);
    unwrap_delete(direct);
}

} // namespace
