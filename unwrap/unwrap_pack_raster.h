#pragma once

#include <cstdint>
#include <vector>

// Pixel coverage of charts for the tight packer. A mask is a small grid of texels; texel (i, j)
// covers [i, i + 1] x [j, j + 1] in texel units. Coverage is conservative: every texel that a
// triangle touches is set, so a chart lies inside the union of its set texels.

struct PackMask {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> texels; // width * height, row j at j * width; 1 = covered
};

// One horizontal run of covered texels, columns first..last inclusive.
struct PackRun {
    int first;
    int last;
};

// The covered texels of a mask as runs, row by row. Row r of the runs is mask row r + originY;
// run columns are mask columns, negative for grown runs that reach left of the mask. Grown runs
// start below and left of their mask, at (originX, originY).
struct PackRuns {
    int originX = 0;
    int originY = 0;
    int width = 0;             // columns spanned, from originX
    int height = 0;            // rows, from originY
    std::vector<int> rowStart; // height + 1 offsets into runs
    std::vector<PackRun> runs;
};

void pack_mask_reset(PackMask& mask, int width, int height);

// Sets every texel of the mask that the triangle (a, b, c), in texel units, touches. Parts
// outside the mask are clipped away; non-finite corners set nothing.
void pack_mask_triangle(PackMask& mask, const float a[2], const float b[2], const float c[2]);

// The mask turned by quarter turns counterclockwise: turn 1 maps texel (i, j) to
// (height - 1 - j, i), turn 2 to (width - 1 - i, height - 1 - j), turn 3 to (j, width - 1 - i).
// The same maps, applied to texel coordinates with the mask's width and height as the box,
// turn a chart exactly onto its turned mask.
void pack_mask_turn(const PackMask& in, int turns, PackMask& out);
void pack_point_turn(float x, float y, int width, int height, int turns, float out[2]);

void pack_runs_of(const PackMask& mask, PackRuns& out);

// The runs grown by `pad` texels in both axes (a square of side 2 pad + 1 around every covered
// texel): a texel outside the grown runs is more than `pad` texels from the chart along u or
// along v, so a chart placed there keeps at least `pad` texels away.
void pack_runs_dilated(const PackRuns& cover, int pad, PackRuns& out);
