#pragma once

#include "unwrap/unwrap_records.h"

// Shared topology walks and geometric rules of the engine.

// The half-edge before e in its triangle.
inline PHalfEdge* unwrap_edge_prev_in_tri(PHalfEdge* e) {
    return e->nextInTri->nextInTri;
}

// Rotating around e's point: the next half-edge (pair of the corner before e), or null at a
// boundary.
inline PHalfEdge* unwrap_edge_next_around(PHalfEdge* e) {
    return unwrap_edge_prev_in_tri(e)->pair;
}

// Rotating the other way: the next-in-triangle of e's pair, or null at a boundary.
inline PHalfEdge* unwrap_edge_prev_around(PHalfEdge* e) {
    return e->pair ? e->pair->nextInTri : nullptr;
}

// The boundary half-edge that follows boundary half-edge e in its loop.
inline PHalfEdge* unwrap_boundary_next(PHalfEdge* e) {
    return e->nextInTri->point->edge;
}

// The boundary half-edge that ends at e's point (e itself a boundary half-edge, or any
// half-edge of a point whose fan is open).
PHalfEdge* unwrap_boundary_prev(PHalfEdge* e);

// 3D length of a half-edge.
float unwrap_edge_length(const PHalfEdge* e);

// Angle at a between b - a and c - a; pi for a cosine <= -1, 0 for a cosine >= 1.
float unwrap_corner_angle(const float a[3], const float b[3], const float c[3]);
// The same rule in the plane (used on UVs).
float unwrap_corner_angle_2d(const float a[2], const float b[2], const float c[2]);

// The three 3D corner angles of a triangle, in ring order from its edge; the third is pi minus
// the other two.
void unwrap_triangle_angles(const PTriangle* t, float* a1, float* a2, float* a3);

// A point's initial UV from the caller's UVs of its corners (pinned corners win); adds the
// pinned and selected flags, never clears them.
void unwrap_point_initial_uv(PPoint* p);

// Boundary loops of a chart: their number and the starting half-edge of the longest (null when
// there is none). Loops are walked in half-edge list order.
void unwrap_chart_boundaries(PChart* chart, int* nboundaries, PHalfEdge** outer);
