#pragma once

#include <cstdint>

// The document's records. Vertex indices are 1-based as in OBJ files (slot 0 is never
// filled); every other index is 0-based.

constexpr int FLAG_UNSELECTED = 0x01;
constexpr int FLAG_SELECTED = 0x02;
constexpr int FLAG_PICK_ADD = 0x04;
constexpr int FLAG_PICK_REMOVE = 0x08;
constexpr int FLAG_PINNED = 0x10;
constexpr int FLAG_SEAM = 0x20;
constexpr int FLAG_WAS_SELECTED = 0x40;
// On edges: a chart border of the layout that is no seam, so the unwrap cut it to make its
// chart a disc. Derived from the layout whenever charts are labelled; never saved as a seam.
constexpr int FLAG_AUTO_CUT = 0x80;

struct Vec3 {
    float x, y, z;
};

struct UvPoint {
    float u, v;
    int32_t flags;
};

struct MeshEdge {
    int32_t vertexA; // end met first
    int32_t vertexB;
    int32_t flags;
    uint8_t frontFacing; // a face owning the edge faced the camera in the last 3D pass
    uint8_t uvHit;       // hit through one of its faces by the UV edge pick in progress
};

// One polygon, corners in file order. The five per-corner arrays point into the document's
// corner pools: the vertex, normal, edge and neighbour arrays never change after a load and
// are shared with the undo snapshots; only the UV indices are edited.
struct MeshFace {
    float stretch;      // UV area / 3D area
    float stretchShade; // stretch mapped into 0..1 against the face's chart
    int32_t chart;      // -1 while unlabelled
    int32_t cornerCount;
    int32_t* vertexIndices;  // 1-based
    int32_t* normalIndices;  // 0-based
    int32_t* uvIndices;      // 0-based
    int32_t* edgeIndices;    // per corner k: edge from corner k-1 to corner k
    int32_t* neighbourFaces; // per corner k: face across that edge, -1 if none
};
