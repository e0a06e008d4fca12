#pragma once

#include "unwrap/unwrap_cut_to_disc.h"

#include <unordered_map>
#include <vector>

// Every point's vertex key, taken before flattening (which numbers the points anew).
std::unordered_map<const PPoint*, int> unwrap_point_keys(const PHandle* handle);

// The cuts that split every chart of a flattened handle whose layout still has flipped or
// collapsed triangles, or (when maxStretch > 0) stretches more than maxStretch
// (unwrap_chart_stretch), into two (see unwrap_split_unsound.cpp), as vertex key pairs from
// `keys`. Charts with the user's pins, charts laid out earlier and sound charts within the bound
// need none; split[i] tells whether chart i is cut.
PDiscCuts unwrap_split_unsound_charts(const PHandle* handle,
                                      const std::unordered_map<const PPoint*, int>& keys,
                                      std::vector<char>& split, double maxStretch = 0.0);
