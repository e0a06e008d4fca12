#pragma once

#include "unwrap/unwrap_pack_raster.h"

#include <cstdint>
#include <vector>

// The texels of the square taken so far by the tight packer: one bit per texel, rows of 64-bit
// words, and per row the longest free run, which lets a search skip rows where a chart's row
// cannot fit anywhere.

struct PackSheet {
    int size = 0;  // texels along each side
    int words = 0; // 64-bit words per row
    std::vector<uint64_t> bits;
    std::vector<int> longestFree; // per row
};

void pack_sheet_reset(PackSheet& sheet, int size);

// True when no covered texel of the runs, moved by (x, y), is taken or outside the sheet.
bool pack_sheet_fits(const PackSheet& sheet, const PackRuns& runs, int x, int y);

// The lowest free position (smallest y, then smallest x) for the runs, looking at rows
// y <= maxY only; false when there is none. Per-row longest runs of the chart ("needs", one
// per runs row) let rows that cannot hold it be skipped at once.
bool pack_sheet_find(const PackSheet& sheet, const PackRuns& runs, const std::vector<int>& needs,
                     int maxY, int* x, int* y);

// Marks the texels of the runs, moved by (x, y), as taken; parts outside the sheet are
// dropped.
void pack_sheet_take(PackSheet& sheet, const PackRuns& runs, int x, int y);

// The longest run of each runs row.
void pack_runs_needs(const PackRuns& runs, std::vector<int>& needs);

bool pack_sheet_taken(const PackSheet& sheet, int x, int y);
