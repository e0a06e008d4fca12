#include "support/guarded_alloc.h"
#include "unwrap/unwrap.h"
#include "unwrap/unwrap_geometry.h"
#include "unwrap_test_mesh.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <set>
#include <vector>

namespace {

int live_blocks() {
    int n = 0;
    for (BlockLink* l = mem_live_list().first; l; l = l->next)
        n++;
    return n;
}

// The vertex keys of every construction triangle, each sorted.
std::vector<std::array<int, 3>> construction_triangles(const PHandle* handle) {
    std::vector<std::array<int, 3>> result;
    for (PTriangle* t = handle->construction->triangles; t; t = t->next) {
        PHalfEdge* e = t->edge;
        std::array<int, 3> k = {e->point->key, e->nextInTri->point->key,
                                e->nextInTri->nextInTri->point->key};
        std::sort(k.begin(), k.end());
        result.push_back(k);
    }
    std::sort(result.begin(), result.end());
    return result;
}

PPoint* find_point(const PChart* chart, int key) {
    for (PPoint* p = chart->points; p; p = p->next)
        if (p->key == key)
            return p;
    return nullptr;
}

TEST(UnwrapAddFace, QuadWithEqualDiagonalsSplitsAlong02) {
    TestMesh mesh;
    for (int i = 0; i < 4; i++)
        mesh.addVertex(float(i == 1 || i == 2), float(i >= 2), 0.0f);
    mesh.addQuad(0, 1, 2, 3);
    PHandle* handle = test_mesh_begin(mesh);
    std::vector<std::array<int, 3>> expected = {{0, 1, 2}, {0, 2, 3}};
    EXPECT_EQ(construction_triangles(handle), expected);
    EXPECT_EQ(handle->construction->ntriangles, 2);
    EXPECT_EQ(handle->construction->nedges, 6);
    unwrap_delete(handle);
}

TEST(UnwrapAddFace, QuadWithLonger02DiagonalSplitsAlong13) {
    TestMesh mesh;
    mesh.addVertex(0, 0, 0);
    mesh.addVertex(1, 0.2f, 0);
    mesh.addVertex(3, 0, 0);
    mesh.addVertex(1, -0.2f, 0);
    mesh.addQuad(0, 1, 2, 3);
    PHandle* handle = test_mesh_begin(mesh);
    std::vector<std::array<int, 3>> expected = {{0, 1, 3}, {1, 2, 3}};
    EXPECT_EQ(construction_triangles(handle), expected);
    // Both triangles carry the quad's face key.
    for (PTriangle* t = handle->construction->triangles; t; t = t->next)
        EXPECT_EQ(t->key, 0);
    unwrap_delete(handle);
}

TEST(UnwrapAddFace, QuadsSharingThreeVerticesNeverRepeatATriangle) {
    TestMesh mesh;
    mesh.addVertex(0, 0, 0);
    mesh.addVertex(1, 0, 0);
    mesh.addVertex(1, 1, 0);
    mesh.addVertex(0, 1, 0);
    mesh.addVertex(0, 1, 0.1f); // a second quad over 0, 1, 2 with a short 0-2 diagonal
    mesh.addQuad(0, 1, 2, 3);
    mesh.addQuad(0, 1, 2, 4);
    PHandle* handle = test_mesh_begin(mesh);
    auto triangles = construction_triangles(handle);
    ASSERT_EQ(triangles.size(), 4u);
    EXPECT_TRUE(std::adjacent_find(triangles.begin(), triangles.end()) == triangles.end());
    std::vector<std::array<int, 3>> expected = {{0, 1, 2}, {0, 1, 4}, {0, 2, 3}, {1, 2, 4}};
    EXPECT_EQ(triangles, expected);
    unwrap_delete(handle);
}

TEST(UnwrapAddFace, LongDiagonalQuadFallsBackTo02WhenTheOtherSplitExists) {
    TestMesh mesh;
    mesh.addVertex(0, 0, 0);
    mesh.addVertex(1, 0.2f, 0);
    mesh.addVertex(3, 0, 0);
    mesh.addVertex(1, -0.2f, 0);
    mesh.addTriangle(1, 2, 3);
    mesh.addQuad(0, 1, 2, 3);
    PHandle* handle = test_mesh_begin(mesh);
    std::vector<std::array<int, 3>> expected = {{0, 1, 2}, {0, 2, 3}, {1, 2, 3}};
    EXPECT_EQ(construction_triangles(handle), expected);
    unwrap_delete(handle);
}

TEST(UnwrapAddFace, SharedVertexKeyGivesOnePoint) {
    TestMesh mesh;
    for (int i = 0; i < 4; i++)
        mesh.addVertex(float(i), float(i * i), 0.0f);
    mesh.addTriangle(0, 1, 2);
    mesh.addTriangle(2, 1, 3);
    PHandle* handle = test_mesh_begin(mesh);
    EXPECT_EQ(handle->construction->npoints, 4);
    std::set<PPoint*> pointsOfKey1;
    for (PHalfEdge* e = handle->construction->edges; e; e = e->next) {
        EXPECT_EQ(e->key, e->point->key ^ e->nextInTri->point->key);
        if (e->point->key == 1)
            pointsOfKey1.insert(e->point);
    }
    EXPECT_EQ(pointsOfKey1.size(), 1u);
    unwrap_delete(handle);
}

TEST(UnwrapAddFace, CornerFlagsAndLinksFollowTheCorners) {
    TestMesh mesh;
    for (int i = 0; i < 3; i++)
        mesh.addVertex(float(i), float(i % 2), 0.0f);
    TestMesh::Face& f = mesh.addTriangle(0, 1, 2);
    f.pin[1] = 7;
    f.select[2] = 1;
    PHandle* handle = test_mesh_begin(mesh);
    for (PHalfEdge* e = handle->construction->edges; e; e = e->next) {
        int corner = e->point->key;
        EXPECT_EQ(e->uvLink, mesh.faces[0].uv[corner]);
        EXPECT_EQ(bool(e->flags & PEDGE_PINNED), corner == 1);
        EXPECT_EQ(bool(e->flags & PEDGE_SELECTED), corner == 2);
        EXPECT_EQ(e->pair, nullptr);
    }
    unwrap_delete(handle);
}

TEST(UnwrapMarkSeam, FindsTheEdgeInEitherDirection) {
    TestMesh mesh = test_mesh_grid(1);
    PHandle* handle = test_mesh_begin(mesh);
    PHalfEdge* e = unwrap_mark_seam(handle, 1, 0);
    ASSERT_NE(e, nullptr);
    EXPECT_TRUE(e->flags & PEDGE_SEAM);
    std::set<int> ends = {e->point->key, e->nextInTri->point->key};
    EXPECT_EQ(ends, (std::set<int>{0, 1}));
    unwrap_delete(handle);
}

TEST(UnwrapMarkSeam, KeysThatNoFaceJoinsFindNothingAndChangeNothing) {
    TestMesh mesh = test_mesh_grid(2);
    PHandle* handle = test_mesh_begin(mesh);
    // 2 ^ 6 equals the key of the diagonal 0-4, but no face joins 2 and 6.
    EXPECT_EQ(unwrap_mark_seam(handle, 2, 6), nullptr);
    EXPECT_EQ(unwrap_mark_seam(handle, 0, 99), nullptr);
    for (PHalfEdge* e = handle->construction->edges; e; e = e->next)
        EXPECT_FALSE(e->flags & PEDGE_SEAM);
    unwrap_delete(handle);
}

TEST(UnwrapInitialUv, PointWithoutUvLinksGetsZero) {
    TestMesh mesh;
    for (int i = 0; i < 3; i++)
        mesh.addVertex(float(i), float(i % 2), 0.0f);
    TestMesh::Face& f = mesh.addTriangle(0, 1, 2);
    f.linked = false;
    f.uv[0][0] = 5.0f;
    PHandle* handle = test_mesh_build(mesh, true);
    ASSERT_EQ(handle->ncharts, 1);
    for (PPoint* p = handle->charts[0]->points; p; p = p->next) {
        EXPECT_EQ(p->uv[0], 0.0f);
        EXPECT_EQ(p->uv[1], 0.0f);
        EXPECT_EQ(p->flags & (PPOINT_PINNED | PPOINT_SELECTED), 0);
    }
    unwrap_delete(handle);
}

TEST(UnwrapInitialUv, OnePinnedCornerGivesExactlyItsUvAndThePin) {
    TestMesh mesh = test_mesh_grid(1);
    // Corner UVs of vertex 2 differ between the two triangles' corners only through the quad;
    // add a second face over vertex 2 with another UV and pin it there.
    int v4 = mesh.addVertex(2, 1, 0);
    TestMesh::Face& f = mesh.addTriangle(1, v4, 3);
    f.uv[0][0] = 0.25f;
    f.uv[0][1] = 0.75f;
    f.pin[0] = 1;
    f.select[0] = 1;
    PHandle* handle = test_mesh_build(mesh, false);
    ASSERT_EQ(handle->ncharts, 1);
    PPoint* p = find_point(handle->charts[0], 1);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->uv[0], 0.25f);
    EXPECT_EQ(p->uv[1], 0.75f);
    EXPECT_TRUE(p->flags & PPOINT_PINNED);
    EXPECT_TRUE(p->flags & PPOINT_SELECTED);
    PPoint* q = find_point(handle->charts[0], 0);
    ASSERT_NE(q, nullptr);
    EXPECT_FALSE(q->flags & (PPOINT_PINNED | PPOINT_SELECTED));
    unwrap_delete(handle);
}

TEST(UnwrapInitialUv, UnpinnedPointGetsTheMeanOfItsCorners) {
    TestMesh mesh;
    for (int i = 0; i < 4; i++)
        mesh.addVertex(float(i % 2), float(i / 2), 0.0f);
    mesh.addTriangle(0, 1, 2);
    TestMesh::Face& b = mesh.addTriangle(2, 1, 3);
    mesh.faces[0].uv[1][0] = 1.0f; // vertex 1 in face 0
    b.uv[1][0] = 3.0f;             // vertex 1 in face 1
    b.uv[1][1] = 2.0f;
    PHandle* handle = test_mesh_build(mesh, false);
    ASSERT_EQ(handle->ncharts, 1);
    PPoint* p = find_point(handle->charts[0], 1);
    ASSERT_NE(p, nullptr);
    EXPECT_FLOAT_EQ(p->uv[0], 2.0f);
    EXPECT_FLOAT_EQ(p->uv[1], 1.0f);
    unwrap_delete(handle);
}

TEST(UnwrapFlush, WritesPointUvsThroughEveryLink) {
    TestMesh mesh = test_mesh_grid(2);
    PHandle* handle = test_mesh_build(mesh, false);
    ASSERT_EQ(handle->ncharts, 1);
    for (PPoint* p = handle->charts[0]->points; p; p = p->next) {
        p->uv[0] = float(p->key) + 0.5f;
        p->uv[1] = -float(p->key);
    }
    unwrap_flush(handle);
    for (const TestMesh::Face& f : mesh.faces) {
        for (int k = 0; k < f.n; k++) {
            EXPECT_EQ(f.uv[k][0], float(f.v[k]) + 0.5f);
            EXPECT_EQ(f.uv[k][1], -float(f.v[k]));
        }
    }
    unwrap_delete(handle);
}

TEST(UnwrapFlush, InLscmStateSkipsChartsWithoutSolverContext) {
    TestMesh mesh = test_mesh_grid(1);
    int a = mesh.addVertex(5, 5, 0), b = mesh.addVertex(6, 5, 0), c = mesh.addVertex(5, 6, 0);
    mesh.addTriangle(a, b, c);
    PHandle* handle = test_mesh_build(mesh, false);
    ASSERT_EQ(handle->ncharts, 2);
    for (int i = 0; i < 2; i++)
        for (PPoint* p = handle->charts[i]->points; p; p = p->next)
            p->uv[0] = p->uv[1] = 9.0f;
    // Only the chart holding the quad pretends to have a context; flush never touches it.
    PChart* solved = handle->charts[0]->ntriangles == 2 ? handle->charts[0] : handle->charts[1];
    NLContext* fake = reinterpret_cast<NLContext*>(solved);
    solved->u.lscm.context = fake;
    handle->state = PHANDLE_STATE_LSCM;
    unwrap_flush(handle);
    EXPECT_EQ(mesh.faces[0].uv[2][0], 9.0f);
    EXPECT_EQ(mesh.faces[1].uv[0][0], 0.0f);
    solved->u.lscm.context = nullptr;
    unwrap_delete(handle);
}

TEST(UnwrapDelete, ReleasesEveryGuardedBlockInEveryState) {
    int before = live_blocks();
    PHandle* empty = unwrap_handle_create();
    EXPECT_GT(live_blocks(), before);
    unwrap_delete(empty);
    EXPECT_EQ(live_blocks(), before);

    TestMesh mesh = test_mesh_grid(3);
    PHandle* constructing = test_mesh_begin(mesh);
    unwrap_delete(constructing);
    EXPECT_EQ(live_blocks(), before);

    PHandle* built = test_mesh_build(mesh, true);
    unwrap_delete(built);
    EXPECT_EQ(live_blocks(), before);
}

TEST(UnwrapDelete, RecordsCarryTheirTags) {
    TestMesh mesh = test_mesh_grid(1);
    PHandle* handle = test_mesh_build(mesh, false);
    EXPECT_STREQ(mem_header_of(handle)->name, "PHandle");
    EXPECT_STREQ(mem_header_of(handle->charts)->name, "PCharts");
    EXPECT_STREQ(mem_header_of(handle->charts[0])->name, "PChart");
    unwrap_delete(handle);
}

TEST(UnwrapCornerAngle, RightStraightAndZeroAngles) {
    const float a[3] = {0, 0, 0}, x[3] = {2, 0, 0}, y[3] = {0, 3, 0}, mx[3] = {-1, 0, 0};
    EXPECT_FLOAT_EQ(unwrap_corner_angle(a, x, y), float(std::numbers::pi / 2));
    EXPECT_EQ(unwrap_corner_angle(a, x, mx), UNWRAP_PI);
    EXPECT_EQ(unwrap_corner_angle(a, x, x), 0.0f);
}

TEST(UnwrapCornerAngle, ZeroLengthSideNormalisesToZero) {
    const float a[3] = {1, 1, 1}, same[3] = {1, 1, 1}, x[3] = {2, 1, 1};
    // A zero vector has dot 0 with anything: the angle is that of a cosine of 0.
    EXPECT_FLOAT_EQ(unwrap_corner_angle(a, same, x), std::acos(0.0f));
}

TEST(UnwrapCornerAngle, ThirdAngleIsPiMinusTheOthers) {
    TestMesh mesh;
    mesh.addVertex(0, 0, 0);
    mesh.addVertex(4, 0, 0);
    mesh.addVertex(1, 2, 0);
    mesh.addTriangle(0, 1, 2);
    PHandle* handle = test_mesh_build(mesh, false);
    ASSERT_EQ(handle->ncharts, 1);
    float a1, a2, a3;
    PTriangle* t = handle->charts[0]->triangles;
    unwrap_triangle_angles(t, &a1, &a2, &a3);
    EXPECT_EQ(a3, UNWRAP_PI - a2 - a1);
    const float* p1 = t->edge->point->co;
    EXPECT_FLOAT_EQ(a1, unwrap_corner_angle(p1, t->edge->nextInTri->point->co,
                                            t->edge->nextInTri->nextInTri->point->co));
    EXPECT_NEAR(a1 + a2 + a3, float(std::numbers::pi), 1e-6);
    unwrap_delete(handle);
}

TEST(UnwrapStateChecks, AddingAFaceAfterConstructionEndStops) {
    TestMesh mesh = test_mesh_grid(1);
    PHandle* handle = test_mesh_build(mesh, false);
    int v[3] = {0, 1, 2};
    float* co[3] = {mesh.positions[0].data(), mesh.positions[1].data(), mesh.positions[2].data()};
    float* uv[3] = {nullptr, nullptr, nullptr};
    EXPECT_DEATH(unwrap_add_face(handle, 9, 3, v, co, uv, nullptr, nullptr),
                 "construction has ended");
    unwrap_delete(handle);
    PHandle* fresh = unwrap_handle_create();
    EXPECT_DEATH(unwrap_add_face(fresh, 9, 5, v, co, uv, nullptr, nullptr), "3 or 4 corners");
    unwrap_delete(fresh);
}

} // namespace
