#pragma once

struct UnwrapMesh;

// Shortest chain of edges from one edge to another, walking from edge to edge through shared
// vertices: a best-first search whose step cost is how far the step's outer vertices lie from
// the target edge, so the chain heads straight for it. Only edges of visible (not hidden)
// triangles are walked. The edges of the chain, both ends included, get flag bit
// SEAM_PATH_MARK; bit SEAM_PATH_WORKING is used during the search and clear on return.

constexpr int SEAM_PATH_MARK = 4;
constexpr int SEAM_PATH_WORKING = 0x100;

// What the search needs of the mesh besides positions: which edges are visible and the edges
// at every vertex. It depends only on the mesh's topology, so a caller may keep it for as
// long as the mesh's vertices, edges and triangles stay as they are.
struct SeamPathIndex {
    int vertexCount;
    int edgeCount;
    int* start;            // vertexCount + 1 offsets into edges
    int* edges;            // two entries per edge, listed at both of its vertices in edge order
    unsigned char* hidden; // per edge: 1 when no visible triangle uses it
};

void seam_path_index_build(SeamPathIndex* index, const UnwrapMesh* mesh);
void seam_path_index_free(SeamPathIndex* index);

// 1 when the target was reached (its chain is marked), 0 otherwise; source or target -1 gives
// 0 at once. Builds and releases its own index.
int seam_path(UnwrapMesh* mesh, int source, int target);
// The same search over an index built from this mesh.
int seam_path_indexed(UnwrapMesh* mesh, const SeamPathIndex* index, int source, int target);
