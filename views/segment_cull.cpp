#include "views/segment_cull.h"

#include <algorithm>
#include <cmath>

namespace {

// Large enough that the per-batch test costs nothing beside the segments, small enough that
// a batch covers a small patch of the mesh (consecutive faces are mostly neighbours).
constexpr int BATCH_SEGMENTS = 256;

// Nearer than this the scale has no useful bound: a view with such a batch draws everything.
constexpr float NEAREST_DEPTH = 1e-3f;

} // namespace

void SegmentCull::clear() {
    length.clear();
    always.clear();
    alwaysDrawn.clear();
    batches.clear();
}

void SegmentCull::add(const float a[3], const float b[3], bool alwaysDrawn_) {
    const int index = int(length.size());
    if (batches.empty() || batches.back().count == BATCH_SEGMENTS) {
        SegmentBatch next;
        next.first = index;
        next.firstAlways = int(alwaysDrawn.size());
        for (int c = 0; c < 3; c++)
            next.lo[c] = next.hi[c] = a[c];
        batches.push_back(next);
    }
    SegmentBatch& batch = batches.back();
    batch.count++;
    for (int c = 0; c < 3; c++) {
        batch.lo[c] = std::min({batch.lo[c], a[c], b[c]});
        batch.hi[c] = std::max({batch.hi[c], a[c], b[c]});
    }
    const float dx = b[0] - a[0], dy = b[1] - a[1], dz = b[2] - a[2];
    const float l = std::sqrt(dx * dx + dy * dy + dz * dz);
    length.push_back(l);
    always.push_back(alwaysDrawn_ ? 1 : 0);
    if (alwaysDrawn_) {
        alwaysDrawn.push_back(index);
        batch.alwaysCount++;
    } else {
        batch.longestPlain = std::max(batch.longestPlain, l);
        batch.plainLength += l;
        batch.plainCount++;
    }
}

PixelScale pixel_scale(const float modelView[16], const float projection[16], int viewWidth,
                       float shortPixels) {
    PixelScale s;
    for (int c = 0; c < 4; c++)
        s.depthRow[c] = modelView[4 * c + 2];
    // Both axes give the same scale: the height's factor is the width's times w / h.
    s.pixelsAtUnitDepth = 0.5f * float(viewWidth) * std::fabs(projection[0]);
    s.shortPixels = shortPixels;
    return s;
}

namespace {

// The nearest eye depth of a batch's box.
float nearest_depth(const SegmentBatch& b, const float row[4]) {
    float centre = -row[3], reach = 0;
    for (int c = 0; c < 3; c++) {
        centre -= row[c] * 0.5f * (b.lo[c] + b.hi[c]);
        reach += std::fabs(row[c]) * 0.5f * (b.hi[c] - b.lo[c]);
    }
    return centre - reach;
}

} // namespace

void kept_segments(const SegmentCull& cull, const PixelScale& scale, std::vector<int>& out) {
    out.clear();
    const size_t segments = cull.length.size();
    bool crowded = scale.shortPixels > 0 && scale.pixelsAtUnitDepth > 0;
    // Pixels per model unit of every batch, judged at its nearest: never as more crowded than
    // it is. 0 where the batch reaches the camera and has no bound.
    std::vector<float> pixels(cull.batches.size(), 0);
    double onScreen = 0;
    int plain = 0;
    for (size_t i = 0; i < cull.batches.size() && crowded; i++) {
        const SegmentBatch& b = cull.batches[i];
        const float nearest = nearest_depth(b, scale.depthRow);
        if (nearest < NEAREST_DEPTH) {
            crowded = false;
            break;
        }
        pixels[i] = scale.pixelsAtUnitDepth / nearest;
        onScreen += double(b.plainLength) * pixels[i];
        plain += b.plainCount;
    }
    crowded = crowded && plain > 0 && onScreen < double(scale.shortPixels) * plain;
    if (!crowded) {
        out.resize(segments);
        for (size_t i = 0; i < segments; i++)
            out[i] = int(i);
        return;
    }
    const float longEnough = LONG_SEGMENT_FACTOR * scale.shortPixels;
    for (size_t k = 0; k < cull.batches.size(); k++) {
        const SegmentBatch& b = cull.batches[k];
        const float minLength = longEnough / pixels[k];
        if (b.longestPlain < minLength) {
            out.insert(out.end(), cull.alwaysDrawn.begin() + b.firstAlways,
                       cull.alwaysDrawn.begin() + b.firstAlways + b.alwaysCount);
            continue;
        }
        for (int i = b.first; i < b.first + b.count; i++)
            if (cull.always[size_t(i)] || cull.length[size_t(i)] >= minLength)
                out.push_back(i);
    }
}
