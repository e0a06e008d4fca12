#pragma once

#include <cstdint>

// The unwrap engine's records. Plain records with explicit list links; every point, half-edge
// and triangle of a handle comes from the handle's arena and dies with it, charts and arrays come
// from the guarded allocator.
//
// Keys: a point's key is the caller's vertex key, a half-edge's the XOR of its two end keys, a
// triangle's the caller's face key. After construction the key fields are reused as indices
// (point index in its chart from LSCM begin on, angle index and triangle index from ABF set-up).

struct MemArena;
struct HeapNode;
struct NLContext;

struct PHandle;
struct PChart;
struct PPoint;
struct PHalfEdge;
struct PTriangle;
struct PHash;

// Engine constants: pi and 2 pi are held in single precision on purpose, results depend on them.
constexpr float UNWRAP_PI = 3.1415927f;
constexpr float UNWRAP_2PI = 6.2831855f;

// PHandle::state
enum {
    PHANDLE_STATE_CONSTRUCT = 0, // faces and seams may be added
    PHANDLE_STATE_ALLOCATED = 1, // charts built
    PHANDLE_STATE_LSCM = 2,      // between unwrap_lscm_begin and unwrap_lscm_end
};

// PPoint::flags
enum : uint8_t {
    PPOINT_PINNED = 1,
    PPOINT_SELECTED = 2,
    PPOINT_INTERIOR = 4, // used by ABF
    PPOINT_SPLIT = 16,   // copied because it lay on several fans (first point and every copy)
};

// PHalfEdge::flags
enum : uint16_t {
    PEDGE_SEAM = 1,
    PEDGE_FAN_VISITED = 2,      // point splitting
    PEDGE_PINNED = 4,           // pinned corner
    PEDGE_SELECTED = 8,         // selected corner
    PEDGE_BOUNDARY_WALKED = 16, // boundary loop search
    PEDGE_FILLED = 32,          // hole walked, or made by hole filling
};

// PTriangle::flags
enum : uint8_t {
    PTRI_CONNECTED = 1, // reached by the chart flood fill
    PTRI_FILLED = 2,    // made by hole filling
};

// PChart::flags
enum : uint8_t {
    PCHART_USER_PINNED = 1, // more than one pinned point at LSCM begin: neither rotated nor packed
    PCHART_LAID_OUT = 2,    // its layout was taken over from an earlier build: not flattened again
};

struct PPoint {
    PPoint* next;
    int key;
    // A half-edge that starts here. For a boundary point, the boundary half-edge that starts
    // here, so that rotating from it visits the whole fan.
    PHalfEdge* edge;
    float* co; // x, y, z in the caller's storage
    float uv[2];
    uint8_t flags;
};

// One corner of one triangle, directed from its point to the next corner's point.
struct PHalfEdge {
    PHalfEdge* next;
    int key;
    PPoint* point;        // origin
    PHalfEdge* pair;      // opposite half-edge of the neighbouring triangle; null on a boundary
    PHalfEdge* nextInTri; // the ring of a triangle has exactly three half-edges
    PTriangle* triangle;
    float* uvLink; // caller's UV pair of this corner; null for filled triangles
    uint16_t flags;
    union {
        PHalfEdge* nextSameEnds; // construction: next half-edge joining the same two vertex keys
        HeapNode* heapLink;      // hole filling: this half-edge's node in the boundary heap
    };
};

struct PTriangle {
    PTriangle* next;
    int key; // face key; chart number during splitting; index from ABF set-up on
    PHalfEdge* edge;
    uint8_t flags;
};

struct PLiveRows;

// Solver view of a chart (LSCM and ABF).
struct PChartSolver {
    NLContext* context; // null when the chart is not to be solved
    float* abfAngles;   // three per triangle in triangle-list order; null unless ABF succeeded
    PPoint* pin1;       // automatic pins; null when the chart has user pins
    PPoint* pin2;
    PLiveRows*
        live; // live charts: what every re-solve restates, in flat arrays (unwrap_live_rows.h)
};

// Packing view of a chart.
struct PChartPack {
    float scale;
    float area;
    float size[2];
    float trans[2];
};

struct PChart {
    PPoint* points;
    PHalfEdge* edges;
    PTriangle* triangles;
    int npoints;
    int nedges;
    int ntriangles;
    union {
        PChartSolver lscm;
        PChartPack pack;
    } u;
    uint8_t flags;
    PHandle* handle;
};

// Intrusive hash over one of the construction chart's lists: the chains are the list itself.
// A bucket points at the first record of a contiguous run of the list whose keys map to it.
// Construction-time index of half-edges by their unordered pair of end keys. Edge keys (XOR of
// vertex keys) collide heavily on regularly numbered meshes, so the questions that only need
// the set of half-edges joining two keys (pair search, existing triangles, seams) ask this
// index instead of walking long runs of the edge hash.
struct PEdgeIndexSlot {
    uint64_t key;    // unordered end keys, packed
    PHalfEdge* head; // first half-edge added for the key; null = empty slot
};

struct PEdgeIndex {
    PEdgeIndexSlot* slots; // "PEdgeIndexSlots"
    unsigned capacity;     // a power of two
    unsigned count;
};

struct PHash {
    void** list;    // address of the indexed list head
    void** buckets; // "PHashBuckets", one record pointer per bucket
    int size;       // records inserted
    int cursize;    // bucket count, a value of the size table
    int cursizeIndex;
};

struct PHandle {
    int state;
    MemArena* arena;      // chunk size 65536; every PPoint, PHalfEdge and PTriangle
    PChart* construction; // null after construction end
    PHash* hashPoints;    // the hashes exist during construction only
    PHash* hashEdges;     // unused: half-edges are found through edgeIndex
    PChart** charts;      // "PCharts"
    int ncharts;
    PEdgeIndex* edgeIndex; // construction only, like the hashes
    bool live;             // set by unwrap_lscm_begin: live solves stay on the calling thread
    // Construction end keeps closed charts (no boundary) instead of dropping them, so that they
    // can be cut open (unwrap_disc_cuts).
    bool keepClosedCharts;
};
