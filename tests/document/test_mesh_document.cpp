// The mesh model: edges, adjacency, file seams, charts, stretch, normals, result takeover.

#include "doc_test_util.h"
#include "document/unwrap_result.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

TEST(MeshDocumentBasics, NewAndClearedDocumentsAreEmpty) {
    MeshDocument doc;
    EXPECT_EQ(doc.vertexSlots, 1);
    EXPECT_EQ(doc.faceCount + doc.uvCount + doc.normalCount + doc.edgeCount, 0);
    EXPECT_EQ(doc.anchorEdge, -1);
    EXPECT_EQ(doc.pathEndEdge, -1);
    EXPECT_EQ(doc.pathNextEdge, -1);
    ASSERT_TRUE(read_obj_text(doc, "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n"));
    doc.anchorEdge = 2;
    doc.liveBusy = 1;
    doc.clear();
    EXPECT_EQ(doc.vertexSlots, 1);
    EXPECT_EQ(doc.faceCount + doc.uvCount + doc.normalCount + doc.edgeCount, 0);
    EXPECT_EQ(doc.anchorEdge, -1);
    EXPECT_EQ(doc.liveBusy, 0);
    EXPECT_TRUE(doc.faces.empty());
}

TEST(MeshDocumentEdges, QuadEdgesStartWithTheClosingEdge) {
    MeshDocument doc;
    // a b c d = 3 1 4 2
    ASSERT_TRUE(read_obj_text(doc, "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nf 3 1 4 2\n"));
    ASSERT_EQ(doc.edgeCount, 4);
    int expected[4][2] = {{2, 3}, {3, 1}, {1, 4}, {4, 2}};
    for (int e = 0; e < 4; e++) {
        EXPECT_EQ(doc.edges[size_t(e)].vertexA, expected[e][0]);
        EXPECT_EQ(doc.edges[size_t(e)].vertexB, expected[e][1]);
        EXPECT_EQ(doc.edges[size_t(e)].flags, FLAG_UNSELECTED);
        EXPECT_EQ(doc.faces[0].edgeIndices[e], e);
    }
    EXPECT_EQ(doc.triangleCount, 2);
}

TEST(MeshDocumentEdges, SharedEdgeKeepsTheNumberOfItsFirstAppearance) {
    MeshDocument doc;
    ASSERT_TRUE(read_obj_text(doc, "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nf 1 2 3\nf 1 3 4\n"));
    // Face 0 makes (3,1) (1,2) (2,3); face 1 makes (4,1), meets (1,3) as edge 0, makes (3,4).
    EXPECT_EQ(doc.edgeCount, 5);
    EXPECT_EQ(doc.faces[1].edgeIndices[0], 3);
    EXPECT_EQ(doc.faces[1].edgeIndices[1], 0);
    EXPECT_EQ(doc.faces[1].edgeIndices[2], 4);
    EXPECT_EQ(doc.faces[0].neighbourFaces[0], 1);
    EXPECT_EQ(doc.faces[1].neighbourFaces[1], 0);
    EXPECT_EQ(doc.faces[0].neighbourFaces[1], -1);
}

TEST(MeshDocumentAdjacency, ThreeFacesOnOneEdgeKeepTheLastPairsLinks) {
    MeshDocument doc;
    ASSERT_TRUE(read_obj_text(doc, "v 0 0 0\nv 1 0 0\nv 0 1 0\nv 0 -1 0\nv 0 0 1\n"
                                   "f 1 2 3\nf 2 1 4\nf 1 2 5\n"));
    // Pairs (0,1), (0,2), (1,2) all meet at corner 1: 0 ends linked to 2, 1 to 2, 2 to 1.
    EXPECT_EQ(doc.faces[0].neighbourFaces[1], 2);
    EXPECT_EQ(doc.faces[1].neighbourFaces[1], 2);
    EXPECT_EQ(doc.faces[2].neighbourFaces[1], 1);
}

TEST(MeshDocumentSeams, DifferentUvIndicesAlongAnEdgeMakeASeamAndTwoCharts) {
    MeshDocument doc;
    ASSERT_TRUE(read_obj_text(doc, "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\n"
                                   "vt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\nvt 0.5 0.5\nvt 0.7 0.7\n"
                                   "vn 0 0 1\n"
                                   "f 1/1/1 2/2/1 3/3/1\nf 1/5/1 3/6/1 4/4/1\n"));
    int shared = doc.findEdge(1, 3);
    ASSERT_GE(shared, 0);
    EXPECT_EQ(doc.edges[size_t(shared)].flags, FLAG_SEAM | FLAG_UNSELECTED);
    EXPECT_EQ(doc.chartCount, 2);
    EXPECT_NE(doc.faces[0].chart, doc.faces[1].chart);
}

TEST(MeshDocumentSeams, SharedUvIndicesKeepTheEdgeAndOneChart) {
    MeshDocument doc;
    // The second face runs the shared edge the other way round: reversed pairs match too.
    ASSERT_TRUE(read_obj_text(doc, "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\n"
                                   "vt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\nvn 0 0 1\n"
                                   "f 1/1/1 2/2/1 3/3/1\nf 1/1/1 3/3/1 4/4/1\n"));
    EXPECT_EQ(doc.edges[size_t(doc.findEdge(1, 3))].flags, FLAG_UNSELECTED);
    EXPECT_EQ(doc.chartCount, 1);
    EXPECT_EQ(doc.faces[0].chart, 0);
    EXPECT_EQ(doc.faces[1].chart, 0);
}

TEST(MeshDocumentCharts, SeamFlagAloneDoesNotSplitAChart) {
    MeshDocument doc;
    ASSERT_TRUE(read_obj_text(doc, "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nf 1 2 3\nf 1 3 4\n"));
    doc.edges[size_t(doc.findEdge(1, 3))].flags = FLAG_SEAM | FLAG_UNSELECTED;
    doc.labelCharts();
    EXPECT_EQ(doc.chartCount, 1);
}

TEST(MeshDocumentCharts, LongStripIsOneChartWithoutDeepRecursion) {
    MeshDocument doc;
    const int columns = 100000;
    doc.reserve(2 * (columns + 1), 2 * columns, 0, 1);
    for (int i = 0; i <= columns; i++) {
        doc.addVertex(float(i), 0, 0);
        doc.addVertex(float(i), 1, 0);
    }
    doc.addUv(0, 0);
    for (int i = 0; i < columns; i++) {
        int32_t a = 2 * i + 1, b = a + 1, c = a + 2, d = a + 3;
        int32_t t1[3] = {a, c, d}, t2[3] = {a, d, b};
        doc.addFace(3, t1, nullptr, nullptr);
        doc.addFace(3, t2, nullptr, nullptr);
    }
    doc.computeFaceNormals();
    doc.rebuildDerived();
    EXPECT_EQ(doc.chartCount, 1);
    EXPECT_EQ(doc.faces.back().chart, 0);
}

TEST(MeshDocumentStretch, EqualStretchGivesHalfShadeAndOutliersClamp) {
    const std::string square = "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nvn 0 0 1\n";
    MeshDocument doc;
    ASSERT_TRUE(read_obj_text(doc, square + "vt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\n"
                                            "f 1/1/1 2/2/1 3/3/1\nf 1/1/1 3/3/1 4/4/1\n"));
    // Radius sqrt(0.5): each triangle's normalised area is 1, its UV area 0.5.
    EXPECT_NEAR(doc.faces[0].stretch, 0.5f, 1e-5f);
    EXPECT_NEAR(doc.faces[1].stretch, 0.5f, 1e-5f);
    EXPECT_FLOAT_EQ(doc.faces[0].stretchShade, 0.5f);
    EXPECT_FLOAT_EQ(doc.faces[1].stretchShade, 0.5f);

    // The second triangle's UV area 15.5 is 31 times the first's: above 1.8 avg and the
    // first below 0.2 avg.
    ASSERT_TRUE(read_obj_text(doc, square + "vt 0 0\nvt 1 0\nvt 1 1\nvt -15 16\n"
                                            "f 1/1/1 2/2/1 3/3/1\nf 1/1/1 3/3/1 4/4/1\n"));
    EXPECT_EQ(doc.chartCount, 1);
    EXPECT_EQ(doc.faces[0].stretchShade, 0.0f);
    EXPECT_EQ(doc.faces[1].stretchShade, 1.0f);
}

TEST(MeshDocumentStretch, FaceWithTwoCornersHasNonFiniteStretch) {
    // The reader drops such faces; the model itself still gives them a non-finite stretch.
    MeshDocument doc;
    doc.reserve(3, 2, 0, 1);
    doc.addVertex(0, 0, 0);
    doc.addVertex(1, 0, 0);
    doc.addVertex(0, 1, 0);
    doc.addUv(0, 0);
    const int32_t corners[3] = {1, 2, 3}, zeros[3] = {0, 0, 0};
    doc.addFace(3, corners, zeros, zeros);
    doc.addFace(2, corners, zeros, zeros);
    doc.computeFaceNormals();
    doc.rebuildDerived();
    EXPECT_TRUE(std::isfinite(doc.faces[0].stretch));
    EXPECT_FALSE(std::isfinite(doc.faces[1].stretch));
    EXPECT_EQ(doc.triangleCount, 1);
}

TEST(MeshDocumentNormals, FileWithoutNormalsGetsOneRightHandedNormalPerFace) {
    MeshDocument doc;
    ASSERT_TRUE(read_obj_text(doc, "v 0 0 0\nv 1 0 0\nv 0 1 0\nv 1 1 0\nf 1 2 3\nf 2 4 3\n"));
    ASSERT_EQ(doc.normalCount, 2);
    // a = (1,0,0), b = unit(1,-1,0): b x a = (0, 0, 1/sqrt 2), not normalised again.
    EXPECT_NEAR(doc.normals[0].x, 0.0f, 1e-6f);
    EXPECT_NEAR(doc.normals[0].y, 0.0f, 1e-6f);
    EXPECT_NEAR(doc.normals[0].z, std::sqrt(0.5f), 1e-6f);
    for (int k = 0; k < 3; k++) {
        EXPECT_EQ(doc.faces[0].normalIndices[k], 0);
        EXPECT_EQ(doc.faces[1].normalIndices[k], 1);
    }
}

TEST(MeshDocumentNormalisation, PositionsFitTheUnitSphereAroundTheCentre) {
    MeshDocument doc;
    ASSERT_TRUE(read_obj_text(doc, "v 10 0 0\nv 14 0 0\nv 10 3 0\nf 1 2 3\n"));
    EXPECT_NEAR(doc.centre[0], 34.0f / 3, 1e-5f);
    EXPECT_NEAR(doc.centre[1], 1.0f, 1e-6f);
    float maxLen = 0;
    for (int i = 1; i < doc.vertexSlots; i++) {
        const Vec3& p = doc.vertices[size_t(i)];
        maxLen = std::max(maxLen, std::sqrt(p.x * p.x + p.y * p.y + p.z * p.z));
    }
    EXPECT_NEAR(maxLen, 1.0f, 1e-6f);
}

TEST(MeshDocumentNormalisation, SingleVertexStaysFiniteWithZeroRadius) {
    MeshDocument doc;
    ASSERT_TRUE(read_obj_text(doc, "v 5 6 7\nf 1 1 1\n"));
    EXPECT_EQ(doc.radius, 0.0f);
    EXPECT_TRUE(std::isfinite(doc.vertices[1].x));
}

TEST(MeshDocumentResult, TakeoverFillsCornersFromFanTrianglesWithPins) {
    MeshDocument doc;
    ASSERT_TRUE(read_obj_text(doc, "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nf 1 2 3 4\n"));
    float table[] = {0.1f, 0.2f, 0.3f, 0.4f, 0.5f, 0.6f, 0.7f, 0.8f};
    // Fan (0,1,2) and (0,2,3); the second triangle's first two corners must not count.
    int32_t triUv[] = {3, 2, 1, 1, 1, 0};
    uint8_t pinned[] = {0, 1, 0, 0, 0, 1};
    UnwrapResult result;
    result.uv = table;
    result.uvCount = 4;
    result.triangleUvs = triUv;
    result.trianglePinned = pinned;
    result.triangleCount = 2;
    doc.takeOverResult(result);
    ASSERT_EQ(doc.uvCount, 4);
    EXPECT_EQ(doc.faces[0].uvIndices[0], 3);
    EXPECT_EQ(doc.faces[0].uvIndices[1], 2);
    EXPECT_EQ(doc.faces[0].uvIndices[2], 1);
    EXPECT_EQ(doc.faces[0].uvIndices[3], 0);
    EXPECT_EQ(doc.uvs[2].flags, FLAG_UNSELECTED | FLAG_PINNED);
    EXPECT_EQ(doc.uvs[0].flags, FLAG_UNSELECTED | FLAG_PINNED);
    EXPECT_EQ(doc.uvs[3].flags, FLAG_UNSELECTED);
    EXPECT_FLOAT_EQ(doc.uvs[3].u, 0.7f);
}

} // namespace
