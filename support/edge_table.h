#pragma once

#include "support/mem_arena.h"

#include <cstdint>

// A small topological copy of the document's mesh: vertex, edge and face records in linked
// lists, with a lookup table that finds the edge between two vertex records. It serves the
// ring path selection. There is one table per process.

struct TableVert {
    DLink link;
    int index;       // the document's vertex index
    int hashNumber;  // picks the lookup slot of the edges whose vert1 this is
    int markedEdges; // ring path working state: marked edges that end here
};

struct TableEdge;
struct TableFace;

// An edge's place in its lookup slot's chain.
struct TableEdgeLookup {
    TableEdge* edge;
    TableEdgeLookup* next;
};

// One face's use of one of its edges; an edge's uses run in face list order.
struct TableFaceUse {
    TableFace* face;
    TableFaceUse* next;
};

struct TableEdge {
    DLink link;
    TableVert* vert1; // the record with the lower address
    TableVert* vert2;
    uint16_t faceCount;
    uint16_t reached;
    uint16_t marked;
    TableEdgeLookup lookup; // used when the edge is not the first of its slot
    TableFaceUse* firstUse;
    TableFaceUse* lastUse;
    bool touched; // changed by the last ring path
};

struct TableFace {
    DLink link;
    TableVert* corners[4]; // c1..c4; c4 null for a triangle
    TableEdge* edges[4];   // e1 = c1-c2, e2 = c2-c3, e3 = c3-c4 (or c3-c1), e4 = c4-c1 (or null)
    uint8_t done;
    bool queued; // ring path working state
    int ordinal; // position in the face list
    TableFaceUse uses[4];
};

constexpr int EDGE_TABLE_LOOKUP_SLOTS = 262144;

struct EdgeTable {
    DList verts;
    DList edges;
    DList faces;
    TableVert** index; // document vertex index -> record
    int indexCount;
    TableEdgeLookup* lookup; // EDGE_TABLE_LOOKUP_SLOTS slots, made at the first lookup
    int faceCount;
    uint64_t source; // the caller's tag for what the table was built from; 0 when empty
};

// The process-wide table, for inspection.
EdgeTable& edge_table();

// Gives the corner count of face `face` and points `vertexIndices` at its corners.
using EdgeTableFaceFn = int (*)(const void* context, int face, const int** vertexIndices);
// Receives the two document vertex indices of an edge the ring path selects.
using EdgeTableSelectFn = void (*)(void* context, int vertexA, int vertexB);

// Makes records for vertex indices 0..n-1.
void edge_table_build_verts(int n);
// Adds faces in order; stops at the first face with more than four corners. Faces with fewer
// than three corners or a corner outside the vertex records are left out.
void edge_table_build_faces(int faceCount, EdgeTableFaceFn faceCorners, const void* context);
TableEdge* edge_table_find_edge(TableVert* p, TableVert* q);
TableEdge* edge_table_add_edge(TableVert* p, TableVert* q);
TableFace* edge_table_add_face(TableVert* a, TableVert* b, TableVert* c, TableVert* d);
void edge_table_clear();

// Walks across quads from the start edge (c, d) and selects the target edge (a, b) with the
// edges that continue it through the crossed quads. Does nothing when either edge is missing.
void edge_table_ring_path(int a, int b, int c, int d, EdgeTableSelectFn select, void* context);
