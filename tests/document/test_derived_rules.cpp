// The hashed edge numbering and adjacency against direct transcriptions of their rules.

#include "doc_test_util.h"
#include "reference_rules.h"

#include <gtest/gtest.h>

#include <random>

namespace {

std::vector<RefFace> ref_faces_of(const MeshDocument& doc) {
    std::vector<RefFace> faces(size_t(doc.faceCount));
    for (int f = 0; f < doc.faceCount; f++) {
        const MeshFace& face = doc.faces[size_t(f)];
        faces[size_t(f)].v.assign(face.vertexIndices, face.vertexIndices + face.cornerCount);
    }
    return faces;
}

void expect_same_as_reference(const MeshDocument& doc, const std::vector<RefEdge>& edges,
                              const std::vector<RefFace>& ref) {
    ASSERT_EQ(doc.edgeCount, int(edges.size()));
    for (int e = 0; e < doc.edgeCount; e++) {
        ASSERT_EQ(doc.edges[size_t(e)].vertexA, edges[size_t(e)].a) << "edge " << e;
        ASSERT_EQ(doc.edges[size_t(e)].vertexB, edges[size_t(e)].b) << "edge " << e;
    }
    for (int f = 0; f < doc.faceCount; f++) {
        const MeshFace& face = doc.faces[size_t(f)];
        for (int k = 0; k < face.cornerCount; k++) {
            ASSERT_EQ(face.edgeIndices[k], ref[size_t(f)].edge[size_t(k)]) << f << "/" << k;
            ASSERT_EQ(face.neighbourFaces[k], ref[size_t(f)].neighbour[size_t(k)])
                << "face " << f << " corner " << k;
        }
    }
}

// Random polygons over few vertices: many edges with three or more faces, duplicate faces,
// repeated corners, one- and two-corner faces.
void make_random_mesh(MeshDocument& doc, unsigned seed) {
    std::mt19937 rng(seed);
    int vertexCount = 3 + int(rng() % 14);
    int faceCount = 1 + int(rng() % 60);
    doc.reserve(vertexCount, faceCount, 0, 1);
    for (int i = 0; i < vertexCount; i++)
        doc.addVertex(float(rng() % 100), float(rng() % 100), float(rng() % 100));
    doc.addUv(0, 0);
    std::vector<int32_t> corners;
    std::vector<int32_t> previous;
    for (int f = 0; f < faceCount; f++) {
        if (!previous.empty() && rng() % 8 == 0) {
            corners = previous; // a duplicate face
            if (rng() % 2)
                std::reverse(corners.begin(), corners.end());
        } else {
            int n = rng() % 10 == 0 ? 1 + int(rng() % 2) : 3 + int(rng() % 4);
            corners.resize(size_t(n));
            for (int32_t& c : corners)
                c = 1 + int32_t(rng() % unsigned(vertexCount));
        }
        doc.addFace(int(corners.size()), corners.data(), nullptr, nullptr);
        previous = corners;
    }
    doc.computeFaceNormals();
    doc.rebuildDerived();
}

TEST(DerivedRules, QuadAndTrianglesMatchTheExhaustiveRules) {
    MeshDocument doc;
    ASSERT_TRUE(read_obj_text(doc, "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nv 2 0 0\nv 2 1 0\n"
                                   "f 1 2 3 4\nf 2 5 6\nf 2 6 3\nf 4 3 6\n"));
    auto ref = ref_faces_of(doc);
    auto edges = ref_edges_exhaustive(ref);
    ref_adjacency_exhaustive(ref);
    expect_same_as_reference(doc, edges, ref);
}

TEST(DerivedRules, RandomNonManifoldMeshesMatchTheExhaustiveRules) {
    for (unsigned seed = 1; seed <= 400; seed++) {
        MeshDocument doc;
        make_random_mesh(doc, seed);
        auto ref = ref_faces_of(doc);
        auto edges = ref_edges_exhaustive(ref);
        ref_adjacency_exhaustive(ref);
        SCOPED_TRACE("seed " + std::to_string(seed));
        expect_same_as_reference(doc, edges, ref);
        if (HasFatalFailure())
            return;
    }
}

TEST(DerivedRules, VertexPrunedReferenceEqualsTheExhaustiveOne) {
    // The pruned transcription used on the real meshes below must itself follow the rules.
    for (unsigned seed = 1000; seed < 1200; seed++) {
        MeshDocument doc;
        make_random_mesh(doc, seed);
        auto a = ref_faces_of(doc), b = ref_faces_of(doc);
        auto edgesA = ref_edges_exhaustive(a);
        ref_adjacency_exhaustive(a);
        auto edgesB = ref_edges_by_vertex(b, doc.vertexSlots);
        ref_adjacency_by_vertex(b, doc.vertexSlots);
        ASSERT_EQ(edgesA.size(), edgesB.size());
        for (size_t f = 0; f < a.size(); f++) {
            ASSERT_EQ(a[f].edge, b[f].edge);
            ASSERT_EQ(a[f].neighbour, b[f].neighbour);
        }
    }
}

TEST(DerivedRulesOnRealMeshes, EveryMeshMatchesTheReference) {
    for (const std::string& path : real_meshes()) {
        SCOPED_TRACE(path);
        MeshDocument doc;
        ObjReader reader;
        ASSERT_TRUE(reader.read(doc, path.c_str())) << reader.error;
        auto ref = ref_faces_of(doc);
        auto edges = ref_edges_by_vertex(ref, doc.vertexSlots);
        ref_adjacency_by_vertex(ref, doc.vertexSlots);
        expect_same_as_reference(doc, edges, ref);
    }
}

TEST(DerivedRulesOnRealMeshes, FindEdgeAgreesWithTheEdgeList) {
    MeshDocument doc;
    ObjReader reader;
    ASSERT_TRUE(reader.read(doc, real_meshes()[1].c_str())) << reader.error;
    for (int e = 0; e < doc.edgeCount; e++) {
        const MeshEdge& edge = doc.edges[size_t(e)];
        ASSERT_EQ(doc.findEdge(edge.vertexA, edge.vertexB), e);
        ASSERT_EQ(doc.findEdge(edge.vertexB, edge.vertexA), e);
    }
    EXPECT_EQ(doc.findEdge(1, 1), -1);
}

} // namespace
