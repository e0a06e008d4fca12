#pragma once

#include "unwrap/unwrap_records.h"

// Angle based flattening: planar angles for one chart that stay as close as possible to its 3D
// angles while every triangle sums to pi, every interior point to 2 pi, and the sine products
// around every interior point close up. Newton steps on the Lagrangian; the per-angle and
// per-triangle unknowns are eliminated per triangle, only the 2 * (interior point count)
// multipliers go to the sparse solver (square system, one solve per step).

// Runs ABF on a chart. Renumbers the chart for the run: interior points get PPOINT_INTERIOR and
// their interior index in key (other points lose the flag), triangles their index in triangle
// list order, half-edges their angle index (3t, 3t + 1, 3t + 2 from the triangle's edge along the
// ring).
// On success the chart's abfAngles holds 3 * ntriangles floats (angle per half-edge in that
// order, owned by the chart, "dupli_alloc") and true is returned. On failure (a Newton solve
// failed, or 20 steps did not reach the tolerance) abfAngles is left null and false is returned.
// Uses the solver layer: the current solver context is null afterwards.
bool unwrap_abf_chart(PChart* chart);

// Newton steps completed by the last unwrap_abf_chart call (0 when the chart has no interior
// point); 20 after a run that did not converge. For tests and measurements.
int unwrap_abf_last_steps();
