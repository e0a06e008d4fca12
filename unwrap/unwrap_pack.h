#pragma once

#include "unwrap/unwrap_records.h"

// Chart orientation and packing: a solved chart is turned so that its outline fits a small box,
// then unwrap_pack scales every chart to its 3D area and places all of them into the unit square.

// Convex hull of the UVs of the chart's longest boundary loop, clockwise from the point of
// smallest u (monotone chain over the loop's points sorted by u, then v).
// Returns a "PCHullpoints" array of *count points (free with mem_free) and sets *right to the
// index of the last point of the upper chain; null with *count = 0 when the chart has no
// boundary.
PPoint** unwrap_chart_convex_hull(PChart* chart, int* count, int* right);

// Rotating calipers over the hull: the turn (radians, within [-pi/4, pi/4]) after which, plus a
// quarter turn, the chart's box has the smallest area. 0 when there is no hull.
float unwrap_chart_minimum_area_angle(PChart* chart);

// Rotates every point UV of the chart about the origin to its minimum-area orientation.
// Called after a successful LSCM solve of a chart without user pins.
void unwrap_chart_rotate_minimum_area(PChart* chart);

// Scales every chart that is not user pinned so that its UV area equals its 3D area, sorts the
// handle's charts by area (largest first; the charts array is reordered), finds by bisection the
// smallest square a shelf placement fits them into, and maps that square onto the unit square.
// User-pinned charts keep their UVs. Handle in the allocated state (after unwrap_lscm_end), before
// unwrap_flush; uses the charts' packing view.
void unwrap_pack(PHandle* handle);
