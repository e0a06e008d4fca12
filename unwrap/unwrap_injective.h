#pragma once

#include "unwrap/unwrap_records.h"

// Lays out again, without flips, every chart of a flattened handle that has a flipped,
// collapsed or non-finite triangle (see unwrap_injective.cpp), and with maxStretch > 0 every
// small sound chart that stretches more than that (unwrap_chart_stretch) when the refinement
// stretches it less; other charts, and charts with the user's pins, keep their layout exactly.
// Answers the number of charts laid out again.
int unwrap_refine_injective(PHandle* handle, double maxStretch = 0.0);

// Whether a chart's layout has no flipped, collapsed (UV area under 1e-4 of its share) or
// non-finite triangle among those of the mesh.
bool unwrap_chart_sound(const PChart* chart);
