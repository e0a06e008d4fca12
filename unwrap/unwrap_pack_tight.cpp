#include "unwrap/unwrap_pack_tight.h"

#include "unwrap/unwrap_pack.h"
#include "unwrap/unwrap_pack_raster.h"
#include "unwrap/unwrap_pack_sheet.h"

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

namespace {

// The bisection stops when the fitting side is within this share of the failing one: finer
// steps change the covered share by less than the texel grid does.
constexpr float TIGHT_PRECISION = 0.01f;
constexpr int TIGHT_BISECTION_STEPS = 15;
// The share of the square the first guess expects the charts to cover; its growth until the
// charts fit, and how often it may grow.
constexpr float TIGHT_FIRST_SHARE = 0.5f;
constexpr float TIGHT_GROWTH = 1.25f;
constexpr int TIGHT_GROWTH_STEPS = 60;
// The side is first searched on a grid this many times coarser (a try there costs about a
// sixteenth), then confirmed on the real grid from just below the coarse answer, growing by
// the fine step until the charts fit. Coarse texels are fatter, so the fine search mostly
// fits at once and takes one or two bisection steps.
constexpr int TIGHT_COARSE = 4;
constexpr float TIGHT_FINE_START = 0.99f;
constexpr float TIGHT_FINE_FLOOR = 0.96f;
constexpr float TIGHT_FINE_GROWTH = 1.02f;
// Charts sit this far (texels) inside their masks. A point on a mask's outer border would have
// its neighbouring texel clipped away, and a quarter turn moves the box's minimum side onto the
// far border: without the inset, charts could touch there when the padding is 0.
constexpr float TIGHT_INSET = 0.01f;
// Charts whose longer side exceeds this share of the side of a square of their total area
// go first, longest first: they decide whether a side can hold the charts at all.
constexpr float TIGHT_LONG_SHARE = 0.7f;
// The same flatness rule as the shelf packer: such a chart is a line, not an area.
constexpr float TIGHT_FLAT_RATIO = 1e-5f;

struct TightChart {
    PChart* chart;
    float extent[2]; // box of the scaled chart, whose minimum is at the origin
    // The scaled UVs of the chart's triangles, three corners of two floats each, gathered once
    // so that every try of a scale reads them in order instead of walking the chart's lists.
    std::vector<float> corners;
    PackMask cover[4];
    PackRuns runs[4];
    PackRuns grown[4];
    std::vector<int> needs[4];
    float texelsPerUnit; // scale and padding of the masks above; 0 before the first
    int padding;
    int turn, x, y;
};

float area_3d(const PTriangle* t) {
    const float* a = t->edge->point->co;
    const float* b = t->edge->nextInTri->point->co;
    const float* c = t->edge->nextInTri->nextInTri->point->co;
    float u[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
    float v[3] = {c[0] - a[0], c[1] - a[1], c[2] - a[2]};
    float n[3] = {u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]};
    float len2 = n[0] * n[0] + n[1] * n[1] + n[2] * n[2];
    return len2 > 1e-35f ? 0.5f * std::sqrt(len2) : 0.0f;
}

float area_uv(const PTriangle* t) {
    const float* a = t->edge->point->uv;
    const float* b = t->edge->nextInTri->point->uv;
    const float* c = t->edge->nextInTri->nextInTri->point->uv;
    return std::fabs(0.5f * ((b[0] - a[0]) * (c[1] - a[1]) - (c[0] - a[0]) * (b[1] - a[1])));
}

// Triangles made by hole filling cover no texture: their points all lie on real triangles.
bool covers_texture(const PTriangle* t) {
    return !(t->flags & PTRI_FILLED);
}

// Scales the chart to its 3D area with its box's minimum at the origin; returns the 3D area.
// A chart without a usable UV area (a failed solve, a line, non-finite UVs) collapses onto the
// origin.
float scale_to_area(TightChart& tc) {
    PChart* chart = tc.chart;
    float uvArea = 0.0f, area = 0.0f;
    for (PTriangle* t = chart->triangles; t; t = t->next) {
        uvArea += area_uv(t);
        area += area_3d(t);
    }
    float lo[2] = {1e30f, 1e30f}, hi[2] = {-1e30f, -1e30f};
    bool finite = true;
    for (PPoint* p = chart->points; p; p = p->next) {
        finite = finite && std::isfinite(p->uv[0]) && std::isfinite(p->uv[1]);
        for (int k = 0; k < 2; k++) {
            lo[k] = std::min(lo[k], p->uv[k]);
            hi[k] = std::max(hi[k], p->uv[k]);
        }
    }
    float extent = std::max(hi[0] - lo[0], hi[1] - lo[1]);
    float scale = uvArea > 0.0f ? std::sqrt(area) / std::sqrt(uvArea) : 0.0f;
    if (!finite || !std::isfinite(scale) || uvArea <= TIGHT_FLAT_RATIO * extent * extent)
        scale = 0.0f;
    for (PPoint* p = chart->points; p; p = p->next) {
        p->uv[0] = scale > 0.0f ? (p->uv[0] - lo[0]) * scale : 0.0f;
        p->uv[1] = scale > 0.0f ? (p->uv[1] - lo[1]) * scale : 0.0f;
    }
    tc.corners.clear();
    for (PTriangle* t = chart->triangles; t; t = t->next) {
        if (!covers_texture(t))
            continue;
        for (const PHalfEdge* e : {t->edge, t->edge->nextInTri, t->edge->nextInTri->nextInTri}) {
            tc.corners.push_back(e->point->uv[0]);
            tc.corners.push_back(e->point->uv[1]);
        }
    }
    tc.extent[0] = scale > 0.0f ? (hi[0] - lo[0]) * scale : 0.0f;
    tc.extent[1] = scale > 0.0f ? (hi[1] - lo[1]) * scale : 0.0f;
    return area >= 0.0f ? area : 0.0f;
}

void texel_of(const PPoint* p, float texelsPerUnit, float out[2]) {
    out[0] = p->uv[0] * texelsPerUnit;
    out[1] = p->uv[1] * texelsPerUnit;
}

void rasterise(TightChart& tc, float texelsPerUnit, int padding) {
    int w = int(std::floor(tc.extent[0] * texelsPerUnit + TIGHT_INSET + 1e-3f)) + 1;
    int h = int(std::floor(tc.extent[1] * texelsPerUnit + TIGHT_INSET + 1e-3f)) + 1;
    PackMask& base = tc.cover[0];
    pack_mask_reset(base, w, h);
    const float* q = tc.corners.data();
    for (size_t k = 0; k + 6 <= tc.corners.size(); k += 6) {
        float a[2] = {q[k] * texelsPerUnit + TIGHT_INSET, q[k + 1] * texelsPerUnit + TIGHT_INSET};
        float b[2] = {q[k + 2] * texelsPerUnit + TIGHT_INSET,
                      q[k + 3] * texelsPerUnit + TIGHT_INSET};
        float c[2] = {q[k + 4] * texelsPerUnit + TIGHT_INSET,
                      q[k + 5] * texelsPerUnit + TIGHT_INSET};
        pack_mask_triangle(base, a, b, c);
    }
    // A chart whose triangles are all fill (or that collapsed) still takes its corner texel.
    if (std::find(base.texels.begin(), base.texels.end(), 1) == base.texels.end())
        base.texels[0] = 1;
    for (int turn = 0; turn < 4; turn++) {
        if (turn > 0)
            pack_mask_turn(base, turn, tc.cover[turn]);
        pack_runs_of(tc.cover[turn], tc.runs[turn]);
        pack_runs_dilated(tc.runs[turn], padding, tc.grown[turn]);
        pack_runs_needs(tc.runs[turn], tc.needs[turn]);
    }
}

bool same_mask(const PackMask& a, const PackMask& b) {
    return a.width == b.width && a.height == b.height && a.texels == b.texels;
}

// Places every chart into a square of the given side (world units) on a copy of the sheet
// that holds the pinned charts; false as soon as one does not fit.
bool place_all(std::vector<TightChart>& charts, const std::vector<int>& order,
               const PackSheet& pinned, float side, int resolution, int padding) {
    const float texelsPerUnit = float(resolution) / side;
    PackSheet sheet = pinned;
    for (int index : order) {
        TightChart& tc = charts[size_t(index)];
        // Another order tried at the same scale finds the masks made already.
        if (tc.texelsPerUnit != texelsPerUnit || tc.padding != padding) {
            rasterise(tc, texelsPerUnit, padding);
            tc.texelsPerUnit = texelsPerUnit;
            tc.padding = padding;
        }
        // Each turn goes to its lowest free position; of those, the one whose top stays lowest
        // wins (then the lower bottom, then the smaller u), so that long charts lie down
        // instead of standing up over the rows still free beside them.
        int bestTop = resolution + 1, bestY = resolution, bestX = resolution, bestTurn = -1;
        for (int turn = 0; turn < 4; turn++) {
            bool repeat = false;
            for (int k = 0; k < turn && !repeat; k++)
                repeat = same_mask(tc.cover[k], tc.cover[turn]);
            const int height = tc.cover[turn].height;
            int x, y;
            if (repeat ||
                !pack_sheet_find(sheet, tc.runs[turn], tc.needs[turn], bestTop - height, &x, &y))
                continue;
            const int top = y + height;
            if (top < bestTop || (top == bestTop && (y < bestY || (y == bestY && x < bestX)))) {
                bestTop = top;
                bestX = x;
                bestY = y;
                bestTurn = turn;
            }
        }
        if (bestTurn < 0)
            return false;
        tc.turn = bestTurn;
        tc.x = bestX;
        tc.y = bestY;
        pack_sheet_take(sheet, tc.grown[bestTurn], bestX, bestY);
    }
    return true;
}

// Greedy placement depends on the order: a side that one order cannot fill, another may. The
// orders are tried in turn until one places every chart, starting with the one that fitted
// last (`first`, updated): at a nearby side it mostly fits again, and failed tries cost most.
bool place_any(std::vector<TightChart>& charts, const std::vector<std::vector<int>>& orders,
               const PackSheet& pinned, float side, int resolution, int padding, size_t* first) {
    for (size_t k = 0; k < orders.size(); k++) {
        size_t which = (*first + k) % orders.size();
        if (place_all(charts, orders[which], pinned, side, resolution, padding)) {
            *first = which;
            return true;
        }
    }
    return false;
}

// The orders tried: long charts first and then by the shorter side of the box (wide charts
// settle first, thin ones lie along the rows left free), then plain shorter side, area, longer
// side and box area, each largest first with ties by area. On the test meshes no one order
// wins everywhere.
std::vector<std::vector<int>> placement_orders(const std::vector<TightChart>& charts,
                                               float totalArea) {
    const float longSide = TIGHT_LONG_SHARE * std::sqrt(totalArea);
    auto shorter = [](const TightChart& c) { return std::min(c.extent[0], c.extent[1]); };
    auto longer = [](const TightChart& c) { return std::max(c.extent[0], c.extent[1]); };
    auto area = [](const TightChart& c) { return c.chart->u.pack.area; };
    // Sort keys, compared as pairs: a first part of 1 puts a chart ahead of all with 0.
    auto key = [&](const TightChart& c, int kind) -> std::pair<int, float> {
        switch (kind) {
        case 0:
            return longer(c) > longSide ? std::pair{1, longer(c)} : std::pair{0, shorter(c)};
        case 1:
            return {0, shorter(c)};
        case 2:
            return {0, area(c)};
        case 3:
            return {0, longer(c)};
        default:
            return {0, c.extent[0] * c.extent[1]};
        }
    };
    std::vector<std::vector<int>> orders;
    for (int kind = 0; kind < 5; kind++) {
        std::vector<int> order(charts.size());
        for (size_t i = 0; i < order.size(); i++)
            order[i] = int(i);
        std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
            const TightChart& ca = charts[size_t(a)];
            const TightChart& cb = charts[size_t(b)];
            std::pair<int, float> ka = key(ca, kind), kb = key(cb, kind);
            if (ka != kb)
                return ka > kb;
            return area(ca) > area(cb);
        });
        if (std::find(orders.begin(), orders.end(), order) == orders.end())
            orders.push_back(std::move(order));
    }
    return orders;
}

// The texels of the user-pinned charts, grown by the padding, taken on a fresh sheet.
void take_pinned(PHandle* handle, int resolution, int padding, PackSheet& sheet) {
    pack_sheet_reset(sheet, resolution);
    PackMask mask;
    bool any = false;
    for (int i = 0; i < handle->ncharts; i++) {
        PChart* chart = handle->charts[i];
        if (!(chart->flags & PCHART_USER_PINNED))
            continue;
        if (!any)
            pack_mask_reset(mask, resolution, resolution);
        any = true;
        for (PTriangle* t = chart->triangles; t; t = t->next) {
            if (!covers_texture(t))
                continue;
            float a[2], b[2], c[2];
            texel_of(t->edge->point, float(resolution), a);
            texel_of(t->edge->nextInTri->point, float(resolution), b);
            texel_of(t->edge->nextInTri->nextInTri->point, float(resolution), c);
            pack_mask_triangle(mask, a, b, c);
        }
    }
    if (!any)
        return;
    PackRuns cover, grown;
    pack_runs_of(mask, cover);
    pack_runs_dilated(cover, padding, grown);
    pack_sheet_take(sheet, grown, 0, 0);
}

// Where a chart went in a placement that fitted: its turn, its lower-left texel and the size of
// its unturned mask, which the turn of its points needs.
struct Placed {
    PChart* chart;
    int turn, x, y, width, height;
};

void keep_placement(const std::vector<TightChart>& charts, std::vector<Placed>& out) {
    out.clear();
    for (const TightChart& tc : charts)
        out.push_back({tc.chart, tc.turn, tc.x, tc.y, tc.cover[0].width, tc.cover[0].height});
}

// The smallest side (world units) found to hold every chart: from `hi`, grown by `growth` until
// the charts fit, then bisected towards `lo`; 0 when they fit at no size. With `best`, keeps
// the placement of that side.
float search_side(std::vector<TightChart>& charts, const std::vector<std::vector<int>>& orders,
                  const PackSheet& pinned, int resolution, int padding, float lo, float hi,
                  float growth, std::vector<Placed>* best) {
    size_t first = 0;
    bool fits = place_any(charts, orders, pinned, hi, resolution, padding, &first);
    for (int step = 0; step < TIGHT_GROWTH_STEPS && !fits; step++) {
        lo = hi;
        hi = lo * growth;
        fits = place_any(charts, orders, pinned, hi, resolution, padding, &first);
    }
    if (!fits)
        return 0.0f;
    if (best)
        keep_placement(charts, *best);
    for (int step = 0; step < TIGHT_BISECTION_STEPS && hi - lo > TIGHT_PRECISION * hi; step++) {
        float mid = (lo + hi) / 2.0f;
        if (place_any(charts, orders, pinned, mid, resolution, padding, &first)) {
            hi = mid;
            if (best)
                keep_placement(charts, *best);
        } else {
            lo = mid;
        }
    }
    return hi;
}

void apply_placement(const std::vector<Placed>& placed, float side, int resolution) {
    const float texelsPerUnit = float(resolution) / side;
    for (const Placed& pc : placed) {
        for (PPoint* p = pc.chart->points; p; p = p->next) {
            float t[2], turned[2];
            texel_of(p, texelsPerUnit, t);
            t[0] += TIGHT_INSET;
            t[1] += TIGHT_INSET;
            pack_point_turn(t[0], t[1], pc.width, pc.height, pc.turn, turned);
            for (int k = 0; k < 2; k++) {
                float uv = (turned[k] + float(k == 0 ? pc.x : pc.y)) / float(resolution);
                p->uv[k] = std::clamp(uv, 0.0f, 1.0f);
            }
        }
    }
}

} // namespace

void unwrap_pack_tight(PHandle* handle, int resolution, int padding) {
    if (handle->ncharts == 0)
        return;
    resolution = std::clamp(resolution, UNWRAP_TIGHT_MIN_RESOLUTION, UNWRAP_TIGHT_MAX_RESOLUTION);
    padding = std::clamp(padding, 0, resolution / 4);

    for (int i = 0; i < handle->ncharts; i++) {
        PChart* chart = handle->charts[i];
        chart->u.pack.area = 0.0f;
        if (!(chart->flags & PCHART_USER_PINNED))
            unwrap_chart_rotate_minimum_area(chart);
    }
    std::vector<TightChart> charts;
    float totalArea = 0.0f, maxSide = 0.0f;
    for (int i = 0; i < handle->ncharts; i++) {
        PChart* chart = handle->charts[i];
        if (chart->flags & PCHART_USER_PINNED)
            continue;
        TightChart tc{};
        tc.chart = chart;
        chart->u.pack.area = scale_to_area(tc);
        totalArea += chart->u.pack.area;
        maxSide = std::max({maxSide, tc.extent[0], tc.extent[1]});
        charts.push_back(std::move(tc));
    }
    std::sort(handle->charts, handle->charts + handle->ncharts,
              [](const PChart* a, const PChart* b) { return a->u.pack.area > b->u.pack.area; });
    if (charts.empty())
        return;
    const std::vector<std::vector<int>> orders = placement_orders(charts, totalArea);

    // No square smaller than the charts' total area or their longest side can hold them. The
    // first try assumes they cover half of the square; it grows until they fit.
    float lo = std::max(std::sqrt(totalArea), maxSide);
    if (!(lo > 0.0f) || !std::isfinite(lo))
        lo = 1.0f;
    float hi = std::max(lo, std::sqrt(totalArea / TIGHT_FIRST_SHARE));
    float growth = TIGHT_GROWTH;
    const int coarseResolution = resolution / TIGHT_COARSE;
    if (coarseResolution >= UNWRAP_TIGHT_MIN_RESOLUTION) {
        const int coarsePadding = (padding + TIGHT_COARSE - 1) / TIGHT_COARSE;
        PackSheet pinned;
        take_pinned(handle, coarseResolution, coarsePadding, pinned);
        float side = search_side(charts, orders, pinned, coarseResolution, coarsePadding, lo, hi,
                                 TIGHT_GROWTH, nullptr);
        if (side > 0.0f) {
            hi = std::max(lo, side * TIGHT_FINE_START);
            lo = std::max(lo, side * TIGHT_FINE_FLOOR);
            growth = TIGHT_FINE_GROWTH;
        }
    }
    PackSheet pinned;
    take_pinned(handle, resolution, padding, pinned);
    std::vector<Placed> best;
    float side = search_side(charts, orders, pinned, resolution, padding, lo, hi, growth, &best);
    if (side <= 0.0f) {
        unwrap_pack(handle);
        return;
    }
    apply_placement(best, side, resolution);
}
