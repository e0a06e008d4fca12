// The seam path: marks, reach, hidden triangles and the working bit, on a small strip.

#include "support/seam_path.h"
#include "unwrap/unwrap_glue_mesh.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// A strip of two triangles (1 2 3) and (2 4 3), and a third triangle (5 6 7) apart from it.
// Edges: 0 (1,2) 1 (2,3) 2 (3,1) 3 (2,4) 4 (4,3) 5 (5,6) 6 (6,7) 7 (7,5).
struct Strip {
    std::vector<UnwrapVertex> vertices;
    std::vector<UnwrapEdge> edges;
    std::vector<UnwrapFaceVertices> faceVertices;
    std::vector<UnwrapFace> faces;
    UnwrapMesh mesh{};

    Strip() {
        const float p[8][2] = {{0, 0}, {0, 0}, {1, 0}, {0, 1}, {1, 1}, {5, 0}, {6, 0}, {5, 1}};
        for (auto& q : p)
            vertices.push_back(UnwrapVertex{q[0], q[1], 0, {0, 0}});
        const int e[8][2] = {{1, 2}, {2, 3}, {3, 1}, {2, 4}, {4, 3}, {5, 6}, {6, 7}, {7, 5}};
        for (auto& q : e)
            edges.push_back(UnwrapEdge{q[0], q[1], 0});
        const int t[3][3] = {{1, 2, 3}, {2, 4, 3}, {5, 6, 7}};
        for (auto& q : t) {
            faceVertices.push_back(UnwrapFaceVertices{{q[0], q[1], q[2], 0}, {0, 0, 0}});
            faces.push_back(UnwrapFace{});
        }
        mesh = UnwrapMesh{};
        mesh.faceVertices = faceVertices.data();
        mesh.faces = faces.data();
        mesh.vertices = vertices.data();
        mesh.edges = edges.data();
        mesh.edgeCount = int(edges.size());
        mesh.triangleCount = int(faces.size());
        mesh.vertexCount = int(vertices.size());
    }
    std::vector<int> marked() const {
        std::vector<int> m;
        for (size_t i = 0; i < edges.size(); i++)
            if (edges[i].flags & SEAM_PATH_MARK)
                m.push_back(int(i));
        return m;
    }
};

TEST(SeamPath, MarksTheChainAndClearsItsWorkingBit) {
    struct Case {
        const char* name;
        int source, target;
        int hiddenTriangle; // -1 none
        int reached;
        std::vector<int> marked;
    } cases[] = {
        {"source is target", 3, 3, -1, 1, {3}},
        {"two edges of one triangle", 0, 1, -1, 1, {0, 1}},
        {"across the strip, both ends marked", 0, 4, -1, 1, {0, 3, 4}},
        {"other component", 0, 6, -1, 0, {}},
        {"no anchor", -1, 4, -1, 0, {}},
        {"no end", 0, -1, -1, 0, {}},
        {"target only on a hidden triangle", 0, 3, 1, 0, {}},
        {"hidden edges are not walked", 0, 4, 0, 0, {}},
        {"a hidden source is still its own target", 3, 3, 1, 1, {3}},
    };
    for (const Case& c : cases) {
        Strip s;
        if (c.hiddenTriangle >= 0)
            s.faces[size_t(c.hiddenTriangle)].flags = UNWRAP_FACE_HIDDEN;
        EXPECT_EQ(seam_path(&s.mesh, c.source, c.target), c.reached) << c.name;
        EXPECT_EQ(s.marked(), c.marked) << c.name;
        for (const UnwrapEdge& e : s.edges)
            EXPECT_EQ(e.flags & SEAM_PATH_WORKING, 0) << c.name;

        // A kept index gives the same answers.
        Strip t;
        if (c.hiddenTriangle >= 0)
            t.faces[size_t(c.hiddenTriangle)].flags = UNWRAP_FACE_HIDDEN;
        SeamPathIndex index{};
        seam_path_index_build(&index, &t.mesh);
        EXPECT_EQ(seam_path_indexed(&t.mesh, &index, c.source, c.target), c.reached) << c.name;
        EXPECT_EQ(t.marked(), c.marked) << c.name;
        seam_path_index_free(&index);
    }
}

} // namespace
