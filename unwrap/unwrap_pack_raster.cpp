#include "unwrap/unwrap_pack_raster.h"

#include <algorithm>
#include <cmath>

namespace {

// A corner that lies on a texel border within this much counts as touching both texels, so
// that rounding in the chart's transform never moves a chart out of its own coverage.
constexpr double TOUCH = 1e-3;

// The u range of the triangle within the strip lo <= v <= hi; false when it misses the strip.
bool strip_range(const double p[3][2], double lo, double hi, double* umin, double* umax) {
    double a = 1e300, b = -1e300;
    for (int k = 0; k < 3; k++) {
        const double* s = p[k];
        const double* t = p[(k + 1) % 3];
        if (s[1] >= lo && s[1] <= hi) {
            a = std::min(a, s[0]);
            b = std::max(b, s[0]);
        }
        for (double y : {lo, hi}) {
            if ((s[1] < y && t[1] > y) || (s[1] > y && t[1] < y)) {
                double x = s[0] + (t[0] - s[0]) * (y - s[1]) / (t[1] - s[1]);
                a = std::min(a, x);
                b = std::max(b, x);
            }
        }
    }
    *umin = a;
    *umax = b;
    return a <= b;
}

void append_row_runs(const uint8_t* row, int width, int shift, PackRuns& out) {
    int i = 0;
    while (i < width) {
        if (!row[i]) {
            i++;
            continue;
        }
        int first = i;
        while (i < width && row[i])
            i++;
        out.runs.push_back({first + shift, i - 1 + shift});
    }
    out.rowStart.push_back(int(out.runs.size()));
}

} // namespace

void pack_mask_reset(PackMask& mask, int width, int height) {
    mask.width = std::max(width, 0);
    mask.height = std::max(height, 0);
    mask.texels.assign(size_t(mask.width) * size_t(mask.height), 0);
}

void pack_mask_triangle(PackMask& mask, const float a[2], const float b[2], const float c[2]) {
    const double p[3][2] = {{a[0], a[1]}, {b[0], b[1]}, {c[0], c[1]}};
    for (const auto& q : p)
        if (!std::isfinite(q[0]) || !std::isfinite(q[1]))
            return;
    double vmin = std::min({p[0][1], p[1][1], p[2][1]});
    double vmax = std::max({p[0][1], p[1][1], p[2][1]});
    int j0 = std::max(0, int(std::floor(vmin - TOUCH)));
    int j1 = std::min(mask.height - 1, int(std::floor(vmax + TOUCH)));
    for (int j = j0; j <= j1; j++) {
        double umin, umax;
        if (!strip_range(p, double(j) - TOUCH, double(j + 1) + TOUCH, &umin, &umax))
            continue;
        int i0 = std::max(0, int(std::floor(umin - TOUCH)));
        int i1 = std::min(mask.width - 1, int(std::floor(umax + TOUCH)));
        uint8_t* row = &mask.texels[size_t(j) * size_t(mask.width)];
        for (int i = i0; i <= i1; i++)
            row[i] = 1;
    }
}

void pack_point_turn(float x, float y, int width, int height, int turns, float out[2]) {
    switch (turns & 3) {
    case 1:
        out[0] = float(height) - y;
        out[1] = x;
        break;
    case 2:
        out[0] = float(width) - x;
        out[1] = float(height) - y;
        break;
    case 3:
        out[0] = y;
        out[1] = float(width) - x;
        break;
    default:
        out[0] = x;
        out[1] = y;
        break;
    }
}

void pack_mask_turn(const PackMask& in, int turns, PackMask& out) {
    turns &= 3;
    bool swap = turns == 1 || turns == 3;
    pack_mask_reset(out, swap ? in.height : in.width, swap ? in.width : in.height);
    for (int j = 0; j < in.height; j++) {
        for (int i = 0; i < in.width; i++) {
            if (!in.texels[size_t(j) * size_t(in.width) + size_t(i)])
                continue;
            int x = i, y = j;
            if (turns == 1) {
                x = in.height - 1 - j;
                y = i;
            } else if (turns == 2) {
                x = in.width - 1 - i;
                y = in.height - 1 - j;
            } else if (turns == 3) {
                x = j;
                y = in.width - 1 - i;
            }
            out.texels[size_t(y) * size_t(out.width) + size_t(x)] = 1;
        }
    }
}

void pack_runs_of(const PackMask& mask, PackRuns& out) {
    out.originX = 0;
    out.originY = 0;
    out.width = mask.width;
    out.height = mask.height;
    out.runs.clear();
    out.rowStart.assign(1, 0);
    for (int j = 0; j < mask.height; j++)
        append_row_runs(&mask.texels[size_t(j) * size_t(mask.width)], mask.width, 0, out);
}

void pack_runs_dilated(const PackRuns& cover, int pad, PackRuns& out) {
    pad = std::max(pad, 0);
    const int h = cover.height + 2 * pad;
    out.originX = cover.originX - pad;
    out.originY = cover.originY - pad;
    out.width = cover.width + 2 * pad;
    out.height = h;
    out.runs.clear();
    out.rowStart.assign(1, 0);
    // Output row o covers the cover rows o - 2 pad .. o, each run widened by pad on both sides;
    // the widened runs of those rows, sorted by their start, merge into the row's runs.
    std::vector<PackRun> gathered;
    for (int o = 0; o < h; o++) {
        gathered.clear();
        for (int r = std::max(0, o - 2 * pad); r <= o && r < cover.height; r++)
            for (int k = cover.rowStart[size_t(r)]; k < cover.rowStart[size_t(r) + 1]; k++)
                gathered.push_back(
                    {cover.runs[size_t(k)].first - pad, cover.runs[size_t(k)].last + pad});
        std::sort(gathered.begin(), gathered.end(),
                  [](const PackRun& a, const PackRun& b) { return a.first < b.first; });
        size_t rowFirst = out.runs.size();
        for (const PackRun& run : gathered) {
            if (out.runs.size() > rowFirst && run.first <= out.runs.back().last + 1)
                out.runs.back().last = std::max(out.runs.back().last, run.last);
            else
                out.runs.push_back(run);
        }
        out.rowStart.push_back(int(out.runs.size()));
    }
}
