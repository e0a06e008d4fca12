#pragma once

#include "unwrap/unwrap_records.h"

#include <utility>
#include <vector>

// Edges to cut so that every chart of a handle becomes a disc (see unwrap_cut_to_disc.cpp).
struct PDiscCuts {
    std::vector<std::pair<int, int>> edges; // vertex keys of each edge's ends
    int charts = 0;                         // charts that need cutting
};

// The cuts for every chart of a constructed handle (closed charts kept) that has more than one
// boundary loop, no boundary or handles. Charts that are discs need none.
PDiscCuts unwrap_disc_cuts(const PHandle* handle);

// Whether a chart of the handle has no boundary at all.
bool unwrap_has_closed_chart(const PHandle* handle);
