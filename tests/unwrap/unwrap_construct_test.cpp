#include "unwrap/unwrap.h"
#include "unwrap/unwrap_geometry.h"
#include "unwrap/unwrap_validate.h"
#include "unwrap_test_mesh.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace {

int boundary_loop_length(PHalfEdge* start) {
    int n = 0;
    PHalfEdge* e = start;
    do {
        n++;
        e = unwrap_boundary_next(e);
    } while (e != start && n < 100000);
    return n;
}

TEST(UnwrapConstruct, SingleTriangleIsOneChartWithOneLoopOfThree) {
    TestMesh mesh;
    mesh.addVertex(0, 0, 0);
    mesh.addVertex(1, 0, 0);
    mesh.addVertex(0, 1, 0);
    mesh.addTriangle(0, 1, 2);
    PHandle* handle = test_mesh_build(mesh, true);
    EXPECT_EQ(handle->state, PHANDLE_STATE_ALLOCATED);
    ASSERT_EQ(handle->ncharts, 1);
    PChart* chart = handle->charts[0];
    EXPECT_EQ(chart->npoints, 3);
    EXPECT_EQ(chart->nedges, 3);
    EXPECT_EQ(chart->ntriangles, 1);
    int nloops = 0;
    PHalfEdge* outer = nullptr;
    unwrap_chart_boundaries(chart, &nloops, &outer);
    EXPECT_EQ(nloops, 1);
    ASSERT_NE(outer, nullptr);
    EXPECT_EQ(boundary_loop_length(outer), 3);
    EXPECT_EQ(test_count_triangles(handle, true), 0);
    EXPECT_EQ(unwrap_validate(handle, true), "");
    unwrap_delete(handle);
}

TEST(UnwrapConstruct, ClosedCubeWithoutSeamsYieldsNoChart) {
    TestMesh mesh = test_mesh_cube();
    PHandle* handle = test_mesh_build(mesh, true);
    EXPECT_EQ(handle->ncharts, 0);
    EXPECT_EQ(handle->construction, nullptr);
    EXPECT_EQ(unwrap_validate(handle, true), "");
    unwrap_delete(handle);
}

TEST(UnwrapConstruct, CubeCutAlongASpanningTreeOpensIntoOneDisc) {
    TestMesh mesh = test_mesh_cube();
    // Four vertical edges and three top edges: a tree over all eight corners.
    mesh.seams = {{0, 4}, {1, 5}, {2, 6}, {3, 7}, {4, 5}, {5, 7}, {7, 6}};
    PHandle* handle = test_mesh_build(mesh, false);
    ASSERT_EQ(handle->ncharts, 1);
    PChart* chart = handle->charts[0];
    EXPECT_EQ(chart->ntriangles, 12);
    // Every seam edge appears twice on the boundary.
    int nloops = 0;
    PHalfEdge* outer = nullptr;
    unwrap_chart_boundaries(chart, &nloops, &outer);
    EXPECT_EQ(nloops, 1);
    EXPECT_EQ(boundary_loop_length(outer), 14);
    EXPECT_EQ(unwrap_validate(handle, true), "");
    unwrap_delete(handle);
}

TEST(UnwrapConstruct, SeamsMarkedFromEitherSideAreBoundaries) {
    TestMesh mesh = test_mesh_grid(2);
    // The middle column line 1-4-7, given once in each direction.
    mesh.seams = {{1, 4}, {7, 4}};
    PHandle* handle = test_mesh_build(mesh, false);
    EXPECT_EQ(handle->ncharts, 2);
    EXPECT_EQ(unwrap_validate(handle, true), "");
    unwrap_delete(handle);
}

TEST(UnwrapConstruct, EdgeOfThreeFacesIsABoundaryForAllThree) {
    TestMesh mesh;
    mesh.addVertex(0, 0, 0);
    mesh.addVertex(1, 0, 0);
    mesh.addVertex(0.5f, 1, 0);
    mesh.addVertex(0.5f, -1, 0);
    mesh.addVertex(0.5f, 0, 1);
    mesh.addTriangle(0, 1, 2);
    mesh.addTriangle(1, 0, 3);
    mesh.addTriangle(0, 1, 4);
    PHandle* handle = test_mesh_build(mesh, true);
    EXPECT_EQ(handle->ncharts, 3);
    for (int i = 0; i < handle->ncharts; i++)
        for (PHalfEdge* e = handle->charts[i]->edges; e; e = e->next)
            EXPECT_EQ(e->pair, nullptr);
    EXPECT_EQ(unwrap_validate(handle, true), "");
    unwrap_delete(handle);
}

TEST(UnwrapConstruct, ReversedFaceNextToUnjoinedNeighbourIsFlippedWithItsCorners) {
    TestMesh mesh;
    mesh.addVertex(0, 0, 0);
    mesh.addVertex(1, 0, 0);
    mesh.addVertex(0, 1, 0);
    mesh.addVertex(1, 1, 0);
    TestMesh::Face& a = mesh.addTriangle(0, 1, 2);
    for (int k = 0; k < 3; k++)
        a.uv[k][0] = float(a.v[k]);
    // Same winding along 1 -> 2 as the first face: reversed.
    TestMesh::Face& b = mesh.addTriangle(1, 2, 3);
    for (int k = 0; k < 3; k++) {
        b.uv[k][0] = float(b.v[k]) + 10.0f;
        b.uv[k][1] = 1.0f;
    }
    b.pin[2] = 1; // vertex 3
    PHandle* handle = test_mesh_build(mesh, false);
    ASSERT_EQ(handle->ncharts, 1);
    EXPECT_EQ(unwrap_validate(handle, true), "");
    int paired = 0;
    for (PHalfEdge* e = handle->charts[0]->edges; e; e = e->next) {
        paired += e->pair != nullptr;
        ASSERT_NE(e->uvLink, nullptr);
        // Each corner still links the UV of its own vertex and keeps its own pin.
        float offset = e->uvLink[1] == 1.0f ? 10.0f : 0.0f; // the second face's UVs
        EXPECT_EQ(e->uvLink[0], float(e->point->key) + offset);
        EXPECT_EQ(bool(e->flags & PEDGE_PINNED), e->point->key == 3);
    }
    EXPECT_EQ(paired, 2);
    unwrap_delete(handle);
}

TEST(UnwrapConstruct, DiscWithTwoHolesIsFilledButKeepsItsOuterLoop) {
    TestMesh mesh = test_mesh_grid(6);
    // Remove two interior quads that do not touch: (1,1) and (4,3).
    mesh.faces.erase(mesh.faces.begin() + 3 * 6 + 4);
    mesh.faces.erase(mesh.faces.begin() + 1 * 6 + 1);

    PHandle* open = test_mesh_build(mesh, false);
    ASSERT_EQ(open->ncharts, 1);
    UnwrapChartShape shape = unwrap_chart_shape(open->charts[0]);
    EXPECT_EQ(shape.nloops, 3);
    EXPECT_EQ(shape.euler, -1);
    EXPECT_EQ(unwrap_validate(open, false), "");
    unwrap_delete(open);

    TestMesh before = mesh;
    PHandle* filled = test_mesh_build(mesh, true);
    ASSERT_EQ(filled->ncharts, 1);
    PChart* chart = filled->charts[0];
    EXPECT_EQ(unwrap_validate(filled, true), "");
    EXPECT_EQ(test_count_triangles(filled, true), 4);
    EXPECT_EQ(chart->ntriangles, 2 * 34 + 4);
    for (PTriangle* t = chart->triangles; t; t = t->next) {
        if (!(t->flags & PTRI_FILLED))
            continue;
        PHalfEdge* e = t->edge;
        for (int k = 0; k < 3; k++, e = e->nextInTri) {
            EXPECT_EQ(e->uvLink, nullptr);
            EXPECT_TRUE(e->flags & PEDGE_FILLED);
            EXPECT_NE(e->pair, nullptr);
        }
    }
    int nloops = 0;
    PHalfEdge* outer = nullptr;
    unwrap_chart_boundaries(chart, &nloops, &outer);
    EXPECT_EQ(nloops, 1);
    EXPECT_EQ(boundary_loop_length(outer), 24);

    // Flushing writes the initial UVs back unchanged and nothing through filled triangles.
    unwrap_flush(filled);
    for (size_t i = 0; i < mesh.faces.size(); i++)
        for (int k = 0; k < 4; k++)
            EXPECT_EQ(mesh.faces[i].uv[k][0], before.faces[i].uv[k][0]);
    unwrap_delete(filled);
}

TEST(UnwrapConstruct, VertexWhereTwoChartsMeetIsPresentOnceInEach) {
    TestMesh mesh = test_mesh_grid(2);
    mesh.seams = {{1, 4}, {4, 7}};
    PHandle* handle = test_mesh_build(mesh, true);
    ASSERT_EQ(handle->ncharts, 2);
    for (int i = 0; i < 2; i++) {
        std::map<int, int> keys;
        for (PPoint* p = handle->charts[i]->points; p; p = p->next)
            keys[p->key]++;
        EXPECT_EQ(handle->charts[i]->npoints, 6);
        for (int shared : {1, 4, 7}) {
            EXPECT_EQ(keys[shared], 1) << "chart " << i << " key " << shared;
        }
        for (PPoint* p = handle->charts[i]->points; p; p = p->next) {
            bool onSeam = p->key == 1 || p->key == 4 || p->key == 7;
            EXPECT_EQ(bool(p->flags & PPOINT_SPLIT), onSeam);
        }
    }
    EXPECT_NE(handle->charts[0]->points, handle->charts[1]->points);
    EXPECT_EQ(unwrap_validate(handle, true), "");
    unwrap_delete(handle);
}

TEST(UnwrapConstruct, BowTieVertexBecomesOnePointPerFan) {
    TestMesh mesh;
    mesh.addVertex(0, 0, 0);
    mesh.addVertex(-1, -1, 0);
    mesh.addVertex(-1, 1, 0);
    mesh.addVertex(1, 1, 0);
    mesh.addVertex(1, -1, 0);
    mesh.addTriangle(0, 1, 2);
    mesh.addTriangle(0, 3, 4);
    PHandle* handle = test_mesh_build(mesh, true);
    ASSERT_EQ(handle->ncharts, 2);
    std::set<PPoint*> centres;
    for (int i = 0; i < 2; i++)
        for (PPoint* p = handle->charts[i]->points; p; p = p->next)
            if (p->key == 0)
                centres.insert(p);
    EXPECT_EQ(centres.size(), 2u);
    EXPECT_EQ(unwrap_validate(handle, true), "");
    unwrap_delete(handle);
}

TEST(UnwrapConstruct, NonManifoldVertexInsideOneChartIsSplitPerFan) {
    // Two fans around vertex 0 that share no edge, joined into one chart through 2-5-3.
    TestMesh mesh;
    mesh.addVertex(0, 0, 0);
    mesh.addVertex(-1, 1, 0);
    mesh.addVertex(-1, -1, 0);
    mesh.addVertex(1, -1, 0);
    mesh.addVertex(1, 1, 0);
    mesh.addVertex(0, -2, 0);
    mesh.addTriangle(0, 1, 2);
    mesh.addTriangle(0, 3, 4);
    mesh.addTriangle(2, 1, 5);
    mesh.addTriangle(3, 2, 5);
    mesh.addTriangle(4, 3, 5);
    PHandle* handle = test_mesh_build(mesh, false);
    ASSERT_EQ(handle->ncharts, 1);
    int centres = 0;
    for (PPoint* p = handle->charts[0]->points; p; p = p->next) {
        if (p->key == 0) {
            centres++;
            EXPECT_TRUE(p->flags & PPOINT_SPLIT);
        }
    }
    EXPECT_EQ(centres, 2);
    EXPECT_EQ(unwrap_validate(handle, false), "");
    unwrap_delete(handle);
}

TEST(UnwrapConstruct, DuplicateTriangleGluesToItsTwinButNotAcrossAThirdFace) {
    TestMesh mesh;
    for (int i = 0; i < 4; i++)
        mesh.addVertex(float(i % 2), float(i / 2), 0.0f);
    mesh.addTriangle(0, 1, 3);
    mesh.addTriangle(0, 3, 2);
    mesh.addTriangle(0, 1, 3);
    PHandle* handle = test_mesh_build(mesh, true);
    // Edge 0-3 has three faces; the twins join along their two other edges (one of them
    // flipped), which leaves a disc with a loop of two half-edges.
    ASSERT_EQ(handle->ncharts, 2);
    EXPECT_EQ(unwrap_validate(handle, true), "");
    int twins = handle->charts[0]->ntriangles == 2 ? 0 : 1;
    EXPECT_EQ(handle->charts[twins]->ntriangles, 2);
    EXPECT_EQ(handle->charts[1 - twins]->ntriangles, 1);
    unwrap_delete(handle);
}

TEST(UnwrapConstruct, DuplicateTriangleAloneClosesIntoAPillowAndIsDropped) {
    TestMesh mesh;
    for (int i = 0; i < 3; i++)
        mesh.addVertex(float(i % 2), float(i / 2), 0.0f);
    mesh.addTriangle(0, 1, 2);
    mesh.addTriangle(0, 1, 2);
    PHandle* handle = test_mesh_build(mesh, true);
    EXPECT_EQ(handle->ncharts, 0);
    unwrap_delete(handle);
}

} // namespace
