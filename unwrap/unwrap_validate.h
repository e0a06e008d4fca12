#pragma once

#include "unwrap/unwrap_records.h"

#include <string>

// Topology checks for a handle whose construction has ended, for tests and debugging. Returns
// an empty string when the handle is sound, otherwise a description of the first fault found:
// - counts match the lists, every triangle ring has three half-edges that belong to it;
// - pairs are mutual, lie in the same chart and join the same two points the other way round;
// - every point's edge starts at it, its fan walk from there ends at a boundary (then the edge
//   is the fan's boundary half-edge) or comes back, and the fans cover every half-edge once;
// - every chart has at least one boundary loop, and every loop closes;
// - with expectDiscs: every chart has exactly one loop and V - E + F = 1.
std::string unwrap_validate(const PHandle* handle, bool expectDiscs);

// The number of boundary loops and the Euler characteristic V - E + F of one chart.
struct UnwrapChartShape {
    int nloops;
    int euler;
};
UnwrapChartShape unwrap_chart_shape(const PChart* chart);
