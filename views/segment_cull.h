#pragma once

#include <cstdint>
#include <vector>

// Which of a pass's line segments a frame draws. When a view's plain edges crowd, averaging
// under a few pixels on screen, they only paint the faces over in the edge colour: then only
// the plain ones long enough to read as lines are drawn. Edges that mean something (seams,
// cuts, chart and mesh borders, the selection and its previews) are always drawn. Segments
// are grouped in batches of consecutive ones (consecutive faces are mostly neighbours), each
// with a box and its longest plain segment, so that a frame judges a batch's scale once and
// skips all of its plain segments with one test when even the longest is short.

// Average on-screen length of the plain segments under which they crowd.
constexpr float SHORT_SEGMENT_PIXELS = 4.5f;
// Plain segments this many times that length still show among crowded ones.
constexpr float LONG_SEGMENT_FACTOR = 2.0f;

// Segments [first, first + count), whose always-drawn ones are alwaysDrawn[firstAlways ..
// firstAlways + alwaysCount). lo and hi bound their ends; longestPlain and plainLength are the
// longest and the summed length of its plain segments in model units.
struct SegmentBatch {
    int first = 0, count = 0;
    int firstAlways = 0, alwaysCount = 0;
    float lo[3] = {0, 0, 0}, hi[3] = {0, 0, 0};
    float longestPlain = 0, plainLength = 0;
    int plainCount = 0;
};

// Per segment: model length and whether it is drawn at any zoom; the batches over them.
struct SegmentCull {
    std::vector<float> length;
    std::vector<uint8_t> always;
    std::vector<int> alwaysDrawn;
    std::vector<SegmentBatch> batches;

    void clear();
    void add(const float a[3], const float b[3], bool alwaysDrawn);
};

// How a view turns model lengths into pixels: a unit length facing the camera at eye depth d
// (d = -(depthRow . (x, y, z, 1))) shows as pixelsAtUnitDepth / d pixels. Foreshortening
// only makes edges shorter; off the view's axis they grow by at most a few tenths.
struct PixelScale {
    float depthRow[4] = {0, 0, 0, 0};
    float pixelsAtUnitDepth = 0;
    float shortPixels = SHORT_SEGMENT_PIXELS;
};

// The scale of a view of viewWidth pixels with these matrices (column-major); plain segments
// crowd when they average under shortPixels on screen (0 keeps every one).
PixelScale pixel_scale(const float modelView[16], const float projection[16], int viewWidth,
                       float shortPixels);

// The segments a frame draws, in ascending order: all of them unless the plain ones crowd,
// then the always-drawn ones and the plain ones of LONG_SEGMENT_FACTOR x shortPixels or more.
void kept_segments(const SegmentCull& cull, const PixelScale& scale, std::vector<int>& out);
