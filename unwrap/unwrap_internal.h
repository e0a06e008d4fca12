#pragma once

#include "unwrap/unwrap_records.h"

// Pieces of construction end shared between its files.

// New records from the handle's arena, every field cleared.
PPoint* unwrap_new_point(PHandle* handle);
PHalfEdge* unwrap_new_edge(PHandle* handle);
PTriangle* unwrap_new_triangle(PHandle* handle);

// Flood fill over the construction triangles: pairs half-edges, flips triangles of reversed
// winding where allowed and numbers every triangle with its chart. Returns the chart count.
int unwrap_split_charts(PHandle* handle);

// Moves the construction triangles into charts (by their numbers) and gives every chart its
// own points, one per fan.
void unwrap_distribute(PHandle* handle, PChart** charts);

// Closes every boundary loop of the chart except the one starting at outer.
void unwrap_fill_holes(PChart* chart, PHalfEdge* outer);
