#pragma once

#include <utility>
#include <vector>

#include "document/mesh_types.h"

#include <cstdint>

// The flat copy of the document's mesh that the engine works on: triangles with their corner
// UVs, pins and selection, vertices and edges with the seam flag. The engine's UV links point
// into the face records, so a run's results land there. There are two process-wide sets: the
// run set, rebuilt before every engine run, and the base set, built after a load (seams off)
// for the seam shortest path. Only one thread uses them at a time.

constexpr uint8_t UNWRAP_FACE_SELECTED = 1;
constexpr uint8_t UNWRAP_FACE_HIDDEN = 64;
constexpr uint8_t unwrap_corner_selected(int corner) {
    return uint8_t(4 << corner);
}
constexpr uint16_t unwrap_corner_pinned(int corner) {
    return uint16_t(16 << corner);
}
constexpr uint16_t UNWRAP_EDGE_SEAM = 4;

struct UnwrapFaceVertices {
    int32_t v[4]; // vertex indices; v[3] == 0 means a triangle
    int32_t unused[3];
};

struct UnwrapFace {
    float uv[4][2];     // per corner; the engine writes its results here
    int32_t uvIndex[3]; // per corner, into the unique-UV table (uv_index_rebuild)
    uint8_t flags;      // UNWRAP_FACE_SELECTED, unwrap_corner_selected(k), UNWRAP_FACE_HIDDEN
    uint16_t pins;      // unwrap_corner_pinned(k)
};

struct UnwrapVertex {
    float x, y, z; // the engine's position pointers point at x
    int32_t unused[2];
};

struct UnwrapEdge {
    int32_t v1, v2;
    uint16_t flags; // UNWRAP_EDGE_SEAM
};

struct UnwrapMesh {
    UnwrapFaceVertices* faceVertices;
    UnwrapFace* faces;
    UnwrapVertex* vertices;
    UnwrapEdge* edges;
    int edgeCount;
    int triangleCount;
    int vertexCount;
    // Edges the last build of a handle cut so that every chart is a disc (vertex index pairs),
    // beyond the seams, and the number of charts they cut.
    std::vector<std::pair<int, int>> discCuts;
    int discCutCharts = 0;
    // The edge records that the last unwrap with automatic seams made chart borders.
    std::vector<int> addedSeams;
};

// The unique UVs of the last run: three slots per triangle of the run set.
struct UnwrapUvTable {
    float (*uv)[2];
    int count;
};

UnwrapMesh& unwrap_run_set();
UnwrapMesh& unwrap_base_set();
UnwrapUvTable& unwrap_uv_table();

// Frees any previous arrays of the set, then copies `count` positions; vertex index i of the
// faces reads positions[i] (the document's slot 0 included).
void unwrap_mesh_copy_vertices(UnwrapMesh* mesh, int count, const Vec3* positions);
// One record per document edge; the seam flag is kept unless disableSeams.
void unwrap_mesh_copy_edges(UnwrapMesh* mesh, int count, const MeshEdge* edges, bool disableSeams);
// Per triangle t: vertexTriples[3t..3t+2], uvTriples[3t..3t+2] into uvs, and pinTriples
// (1 = pinned). Every triangle is selected with its corner 0; the fourth corner's UV is (0, 0).
void unwrap_mesh_copy_faces(UnwrapMesh* mesh, int triangleCount, const int32_t* vertexTriples,
                            const int32_t* uvTriples, const UvPoint* uvs, int uvCount,
                            const uint8_t* pinTriples);
// Copies the document's UVs into the corners again (before a live solve); index -1 is skipped.
void unwrap_mesh_copy_uvs_in(UnwrapMesh* mesh, int triangleCount, const int32_t* uvTriples,
                             const UvPoint* uvs, int uvCount);
// Frees the four arrays and the unique-UV table.
void unwrap_mesh_free(UnwrapMesh* mesh);

// Grows the face selection over edges that are not seams until it stops growing.
void select_linked_faces(UnwrapMesh* mesh);
// Rebuilds the unique-UV table from every triangle's corners 0..2 (first appearance order) and
// sets each corner's uvIndex.
void uv_index_rebuild(UnwrapMesh* mesh);
