#include "unwrap/unwrap_pack.h"

#include "support/guarded_alloc.h"
#include "support/require.h"
#include "unwrap/unwrap_geometry.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr float HALF_PI = 1.5707964f;
constexpr float QUARTER_PI = 0.7853982f;
constexpr float NO_MEASURE = 1e10f;
// A box 1 % larger than its chart keeps neighbours apart.
constexpr float PACK_MARGIN = 1.01f;
constexpr float PACK_SLACK = 0.00001f;
constexpr int PACK_BISECTION_STEPS = 15;

PPoint** alloc_points(int count, const char* tag) {
    auto** p =
        static_cast<PPoint**>(mem_alloc(int(sizeof(PPoint*)) * (count > 0 ? count : 1), tag));
    SUPPORT_REQUIRE(p, "unwrap: out of memory for hull points");
    return p;
}

// Twice-halved signed area of (e, d, c): positive when c lies to the left of e -> d.
float turn(const PPoint* e, const PPoint* d, const PPoint* c) {
    return ((d->uv[1] - e->uv[1]) * (c->uv[0] - e->uv[0]) -
            (c->uv[1] - e->uv[1]) * (d->uv[0] - e->uv[0])) /
           2.0f;
}

// Intersection of the line through p along dp with the line through q along dq; false when
// they are parallel.
bool intersect_lines(const float p[2], const float dp[2], const float q[2], const float dq[2],
                     float out[2]) {
    float det = dp[0] * dq[1] - dp[1] * dq[0];
    if (det == 0.0f)
        return false;
    float s = ((q[0] - p[0]) * dq[1] - (q[1] - p[1]) * dq[0]) / det;
    out[0] = p[0] + s * dp[0];
    out[1] = p[1] + s * dp[1];
    return true;
}

float distance_2d(const float a[2], const float b[2]) {
    float d[2] = {a[0] - b[0], a[1] - b[1]};
    return std::sqrt(d[0] * d[0] + d[1] * d[1]);
}

// Area of the box whose sides run through the caliper points: B and H on the lines along
// edge B -> A, I and K on the lines across it.
float box_measure(const float B[2], const float A[2], const float I[2], const float H[2],
                  const float K[2]) {
    float d[2] = {A[0] - B[0], A[1] - B[1]};
    float len = std::sqrt(d[0] * d[0] + d[1] * d[1]);
    if (!(len > 0.0f))
        return NO_MEASURE;
    d[0] /= len;
    d[1] /= len;
    float o[2] = {d[1], -d[0]};
    float c1[2], c2[2], c3[2];
    if (!intersect_lines(B, d, I, o, c1) || !intersect_lines(B, d, K, o, c2) ||
        !intersect_lines(H, d, K, o, c3))
        return NO_MEASURE;
    return distance_2d(c1, c2) * distance_2d(c2, c3);
}

float triangle_area_3d(const PTriangle* t) {
    const float* a = t->edge->point->co;
    const float* b = t->edge->nextInTri->point->co;
    const float* c = t->edge->nextInTri->nextInTri->point->co;
    float u[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
    float v[3] = {c[0] - a[0], c[1] - a[1], c[2] - a[2]};
    float n[3] = {u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]};
    float len2 = n[0] * n[0] + n[1] * n[1] + n[2] * n[2];
    return len2 > 1e-35f ? 0.5f * std::sqrt(len2) : 0.0f;
}

float triangle_area_uv(const PTriangle* t) {
    const float* a = t->edge->point->uv;
    const float* b = t->edge->nextInTri->point->uv;
    const float* c = t->edge->nextInTri->nextInTri->point->uv;
    return std::fabs(0.5f * ((b[0] - a[0]) * (c[1] - a[1]) - (c[0] - a[0]) * (b[1] - a[1])));
}

// Shelf placement of the charts (in their sorted order) into a square of the given side;
// sets every placed chart's translation. False when they do not fit.
bool shelf_fits(PHandle* handle, float side) {
    float x0 = 0.0f, y0 = 0.0f, h = 0.0f;
    for (int i = 0; i < handle->ncharts; i++) {
        PChart* chart = handle->charts[i];
        if (chart->flags & PCHART_USER_PINNED)
            continue;
        PChartPack& pack = chart->u.pack;
        if (pack.size[0] <= side - x0) {
            pack.trans[0] = x0;
            pack.trans[1] = y0;
            x0 += pack.size[0];
            h = std::max(h, pack.size[1]);
        } else {
            y0 += h;
            pack.trans[0] = 0.0f;
            pack.trans[1] = y0;
            h = pack.size[1];
            x0 = pack.size[0];
        }
        if (y0 + h > side)
            return false;
    }
    return true;
}

} // namespace

PPoint** unwrap_chart_convex_hull(PChart* chart, int* count, int* right) {
    *count = 0;
    *right = 0;
    int nboundaries;
    PHalfEdge* outer;
    unwrap_chart_boundaries(chart, &nboundaries, &outer);
    if (!outer)
        return nullptr;

    int n = 0;
    PHalfEdge* e = outer;
    do {
        n++;
        e = unwrap_boundary_next(e);
    } while (e != outer && n <= chart->nedges);

    PPoint** points = alloc_points(n, "PCHullpoints");
    PPoint** upper = alloc_points(n, "PCHullU");
    PPoint** lower = alloc_points(n, "PCHullL");
    e = outer;
    bool finite = true;
    for (int i = 0; i < n; i++, e = unwrap_boundary_next(e)) {
        points[i] = e->point;
        finite = finite && std::isfinite(e->point->uv[0]) && std::isfinite(e->point->uv[1]);
    }
    if (!finite) {
        // No meaningful outline (and no strict order to sort by): treat as having no hull.
        mem_free(points);
        mem_free(upper);
        mem_free(lower);
        return nullptr;
    }

    std::sort(points, points + n, [](const PPoint* a, const PPoint* b) {
        return a->uv[0] < b->uv[0] || (a->uv[0] == b->uv[0] && a->uv[1] < b->uv[1]);
    });

    int nu = 0, nl = 0;
    for (int i = 0; i < n; i++) {
        PPoint* c = points[i];
        while (nu >= 2 && turn(upper[nu - 2], upper[nu - 1], c) <= 0.0f)
            nu--;
        while (nl >= 2 && turn(lower[nl - 2], lower[nl - 1], c) >= 0.0f)
            nl--;
        upper[nu++] = c;
        lower[nl++] = c;
    }

    // Upper chain left to right, then the lower chain back without its two ends: clockwise.
    int h = 0;
    for (int i = 0; i < nu; i++)
        points[h++] = upper[i];
    for (int i = nl - 2; i > 0; i--)
        points[h++] = lower[i];

    mem_free(upper);
    mem_free(lower);
    *count = h;
    *right = nu - 1;
    return points;
}

// Relative difference of box measures (and angle in radians) below which two candidates tie.
constexpr float MEASURE_TIE = 1e-5f;

float unwrap_chart_minimum_area_angle(PChart* chart) {
    int npoints, right;
    PPoint** hull = unwrap_chart_convex_hull(chart, &npoints, &right);
    if (!hull)
        return 0.0f;
    if (npoints < 2) {
        mem_free(hull);
        return 0.0f;
    }

    auto* angles = static_cast<float*>(mem_alloc(int(sizeof(float)) * npoints, "PMinAreaAngles"));
    SUPPORT_REQUIRE(angles, "unwrap: out of memory for hull angles");
    for (int i = 0; i < npoints; i++) {
        const PPoint* prev = hull[i == 0 ? npoints - 1 : i - 1];
        const PPoint* next = hull[(i + 1) % npoints];
        angles[i] = UNWRAP_PI - unwrap_corner_angle_2d(hull[i]->uv, prev->uv, next->uv);
    }

    int iMinY = 0, iMaxY = 0;
    float minY = 1e10f, maxY = -1e10f;
    for (int i = 0; i < npoints; i++) {
        if (hull[i]->uv[1] < minY) {
            minY = hull[i]->uv[1];
            iMinY = i;
        }
        if (hull[i]->uv[1] > maxY) {
            maxY = hull[i]->uv[1];
            iMaxY = i;
        }
    }

    // Four calipers: at the leftmost point pointing up, the top pointing right, the rightmost
    // pointing down, the bottom pointing left. Each turns clockwise with the others.
    const float dirs[4][2] = {{0.0f, 1.0f}, {1.0f, 0.0f}, {0.0f, -1.0f}, {-1.0f, 0.0f}};
    int index[4] = {0, iMaxY, right, iMinY};
    float turnLeft[4];
    for (int c = 0; c < 4; c++) {
        const float* p = hull[index[c]]->uv;
        float tip[2] = {p[0] + dirs[c][0], p[1] + dirs[c][1]};
        turnLeft[c] = unwrap_corner_angle_2d(p, tip, hull[(index[c] + 1) % npoints]->uv);
    }

    float rotated = 0.0f, bestMeasure = NO_MEASURE, bestAngle = 0.0f;
    // Each caliper passes every hull point at most once in a quarter turn; the bound only
    // guards against non-finite angles.
    for (int guard = 0; guard < 4 * npoints + 8; guard++) {
        int l = 0;
        float f = NO_MEASURE;
        for (int c = 0; c < 4; c++) {
            if (turnLeft[c] < f) {
                f = turnLeft[c];
                l = c;
            }
        }
        rotated += f;
        int next = (index[l] + 1) % npoints;
        for (int c = 0; c < 4; c++)
            if (c != l)
                turnLeft[c] -= f;
        turnLeft[l] = angles[next];

        float measure =
            box_measure(hull[index[l]]->uv, hull[next]->uv, hull[index[(l + 1) % 4]]->uv,
                        hull[index[(l + 2) % 4]]->uv, hull[index[(l + 3) % 4]]->uv);
        // Near-ties (a symmetric chart's boxes) keep the first candidate, and an angle at a
        // hair over a quarter turn stays as it is: within float rounding, which of two equal
        // boxes wins would otherwise depend on the C library's trigonometry, and so would
        // the layout on each platform.
        if (measure < bestMeasure * (1.0f - MEASURE_TIE)) {
            bestMeasure = measure;
            bestAngle = rotated;
        }
        index[l] = next;
        if (!(rotated <= 1.5707963267948966))
            break;
    }

    if (bestAngle > QUARTER_PI + MEASURE_TIE)
        bestAngle -= HALF_PI;
    mem_free(angles);
    mem_free(hull);
    return bestAngle;
}

void unwrap_chart_rotate_minimum_area(PChart* chart) {
    float t = unwrap_chart_minimum_area_angle(chart) + HALF_PI;
    float c = std::cos(t), s = std::sin(t);
    for (PPoint* p = chart->points; p; p = p->next) {
        float u = p->uv[0], v = p->uv[1];
        p->uv[0] = u * c - v * s;
        p->uv[1] = u * s + v * c;
    }
}

// UV area below this share of the chart's squared extent counts as none: a layout thinner than
// a hundred-thousandth of its length is a line in single precision, not a chart.
constexpr float PACK_FLAT_RATIO = 1e-5f;

void unwrap_pack(PHandle* handle) {
    if (handle->ncharts == 0)
        return;

    float totalArea = 0.0f, maxSide = 0.0f;
    for (int i = 0; i < handle->ncharts; i++) {
        PChart* chart = handle->charts[i];
        if (chart->flags & PCHART_USER_PINNED) {
            chart->u.pack.area = 0.0f;
            continue;
        }
        float uvArea = 0.0f, area = 0.0f;
        for (PTriangle* t = chart->triangles; t; t = t->next) {
            uvArea += triangle_area_uv(t);
            area += triangle_area_3d(t);
        }
        float lo[2] = {1e30f, 1e30f}, hi[2] = {-1e30f, -1e30f};
        for (PPoint* p = chart->points; p; p = p->next) {
            for (int k = 0; k < 2; k++) {
                lo[k] = std::min(lo[k], p->uv[k]);
                hi[k] = std::max(hi[k], p->uv[k]);
            }
        }
        float scale = uvArea > 0.0f ? std::sqrt(area) / std::sqrt(uvArea) : 0.0f;
        // A chart flattened onto a line (a sliver of a broken scan) has a UV area that is only
        // rounding noise; scaling that up to its 3D area would make a needle as long as the
        // whole layout and squeeze every other chart into a corner. It collapses like a chart
        // whose solve failed.
        float extent = std::max(hi[0] - lo[0], hi[1] - lo[1]);
        if (uvArea <= PACK_FLAT_RATIO * extent * extent)
            scale = 0.0f;
        for (PPoint* p = chart->points; p; p = p->next) {
            p->uv[0] = (p->uv[0] - lo[0]) * scale;
            p->uv[1] = (p->uv[1] - lo[1]) * scale;
        }
        if (!(area >= 0.0f))
            area = 0.0f; // non-finite positions: keep the sort below well defined
        PChartPack& pack = chart->u.pack;
        pack.area = area;
        pack.scale = scale * PACK_MARGIN;
        pack.size[0] = pack.scale * (hi[0] - lo[0]);
        pack.size[1] = pack.scale * (hi[1] - lo[1]);
        pack.trans[0] = pack.trans[1] = 0.0f;
        totalArea += area;
        maxSide = std::max(maxSide, std::max(pack.size[0], pack.size[1]));
    }

    std::sort(handle->charts, handle->charts + handle->ncharts,
              [](const PChart* a, const PChart* b) { return a->u.pack.area > b->u.pack.area; });

    float lo = std::max(std::sqrt(totalArea), maxSide);
    float hi = maxSide * (std::floor(std::sqrt(float(handle->ncharts - 1))) + 1.0f);
    if (lo < hi) {
        for (int step = 0; step < PACK_BISECTION_STEPS; step++) {
            float mid = (lo + hi) / 2.0f;
            if (shelf_fits(handle, mid + PACK_SLACK))
                hi = mid;
            else
                lo = mid;
        }
    }
    float side = hi + PACK_SLACK;
    shelf_fits(handle, side);

    for (int i = 0; i < handle->ncharts; i++) {
        PChart* chart = handle->charts[i];
        if (chart->flags & PCHART_USER_PINNED)
            continue;
        const PChartPack& pack = chart->u.pack;
        for (PPoint* p = chart->points; p; p = p->next) {
            p->uv[0] = p->uv[0] * (1.0f / side) + pack.trans[0] / side;
            p->uv[1] = p->uv[1] * (1.0f / side) + pack.trans[1] / side;
        }
    }
}
