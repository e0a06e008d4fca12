// Splitting charts that stay unsound after flattening and refinement, or that stretch too much.
//
// A chart with a long protrusion (a finger, a horn) is squeezed by every flattening that keeps
// it in one piece: the conformal map shrinks the protrusion exponentially, and a convex start
// for the refinement squeezes it just as hard, so that float UVs round whole regions to a point.
// Such a chart is split in two by region growing from two seeds, as chart segmentation by
// growing regions over the triangles does (Sander, Snyder, Gortler and Hoppe, "Texture Mapping
// Progressive Meshes", 2001; Lévy, Petitjean, Ray and Maillot, "Least Squares Conformal Maps",
// 2002): the most squeezed triangle and the triangle farthest from it across the chart. Every
// triangle joins the seed nearer to it (distances between triangle centres across shared
// edges), and the edges between the two regions are cut. Each half is squeezed far less; the
// caller builds the charts again with the cuts and flattens them. A sound chart that stretches
// too much is split the same way between its most squeezed and its most widened triangle.

#include "unwrap/unwrap_split_unsound.h"

#include "unwrap/unwrap_injective.h"
#include "unwrap/unwrap_stretch.h"

#include <array>
#include <cmath>
#include <limits>
#include <queue>
#include <unordered_map>
#include <vector>

namespace {

// A chart with fewer triangles that stretches too much (a sharp cone, a fan of slivers) is cut
// into its triangles at once instead of in halves over several rounds.
constexpr int kFewestToSplitInHalves = 16;

// A triangle whose UV area is under this share of its 3D area times the chart's UV/3D area
// ratio is collapsed (the refinement's rule).
constexpr double kCollapsedShare = 1e-4;

struct ChartTriangles {
    std::vector<const PTriangle*> triangles;
    std::vector<double> ratio;                  // UV area over 3D area, signed; 0 if no area
    std::vector<std::array<double, 3>> centre;  // 3D
    std::vector<std::array<int, 3>> neighbours; // across each half-edge, -1 on the boundary
    std::vector<std::array<const PHalfEdge*, 3>> halfEdges;
};

double area3(const float* a, const float* b, const float* c) {
    const double e1[3] = {double(b[0]) - a[0], double(b[1]) - a[1], double(b[2]) - a[2]};
    const double e2[3] = {double(c[0]) - a[0], double(c[1]) - a[1], double(c[2]) - a[2]};
    const double n[3] = {e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2],
                         e1[0] * e2[1] - e1[1] * e2[0]};
    return 0.5 * std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
}

double area2(const float* a, const float* b, const float* c) {
    return 0.5 * ((double(b[0]) - a[0]) * (double(c[1]) - a[1]) -
                  (double(b[1]) - a[1]) * (double(c[0]) - a[0]));
}

ChartTriangles chart_triangles(const PChart* chart) {
    ChartTriangles c;
    std::unordered_map<const PTriangle*, int> index;
    for (const PTriangle* t = chart->triangles; t; t = t->next) {
        index.emplace(t, int(c.triangles.size()));
        c.triangles.push_back(t);
    }
    const size_t n = c.triangles.size();
    c.ratio.assign(n, 0.0);
    c.centre.resize(n);
    c.neighbours.resize(n);
    c.halfEdges.resize(n);
    for (size_t i = 0; i < n; i++) {
        const PHalfEdge* e = c.triangles[i]->edge;
        const PPoint* p[3] = {e->point, e->nextInTri->point, e->nextInTri->nextInTri->point};
        for (int k = 0; k < 3; k++, e = e->nextInTri) {
            c.halfEdges[i][size_t(k)] = e;
            c.neighbours[i][size_t(k)] = e->pair ? index.at(e->pair->triangle) : -1;
        }
        for (int a = 0; a < 3; a++)
            c.centre[i][size_t(a)] = (double(p[0]->co[a]) + p[1]->co[a] + p[2]->co[a]) / 3.0;
        const double a3 = area3(p[0]->co, p[1]->co, p[2]->co);
        if (a3 > 0 && !(c.triangles[i]->flags & PTRI_FILLED))
            c.ratio[i] = area2(p[0]->uv, p[1]->uv, p[2]->uv) / a3;
    }
    return c;
}

// Distances across the triangles from the sources (between centres, across shared edges);
// `nearest` gets the source each triangle is nearest to.
std::vector<double> distances_from(const ChartTriangles& c, const std::vector<int>& sources,
                                   std::vector<int>& nearest) {
    const size_t n = c.triangles.size();
    std::vector<double> distance(n, std::numeric_limits<double>::infinity());
    nearest.assign(n, -1);
    using Item = std::pair<double, int>;
    std::priority_queue<Item, std::vector<Item>, std::greater<Item>> queue;
    for (size_t s = 0; s < sources.size(); s++) {
        distance[size_t(sources[s])] = 0.0;
        nearest[size_t(sources[s])] = int(s);
        queue.push({0.0, sources[s]});
    }
    while (!queue.empty()) {
        auto [d, t] = queue.top();
        queue.pop();
        if (d > distance[size_t(t)])
            continue;
        for (int k = 0; k < 3; k++) {
            const int u = c.neighbours[size_t(t)][size_t(k)];
            if (u < 0)
                continue;
            const auto& a = c.centre[size_t(t)];
            const auto& b = c.centre[size_t(u)];
            const double step =
                std::sqrt((a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]) +
                          (a[2] - b[2]) * (a[2] - b[2]));
            if (d + step < distance[size_t(u)]) {
                distance[size_t(u)] = d + step;
                nearest[size_t(u)] = nearest[size_t(t)];
                queue.push({distance[size_t(u)], u});
            }
        }
    }
    return distance;
}

// The cut edges that split one chart, or none when it is sound (and, with a bound, stretches
// no more than that).
bool split_chart(const PChart* chart, const std::unordered_map<const PPoint*, int>& keys,
                 double maxStretch, PDiscCuts& cuts) {
    if (chart->flags & (PCHART_USER_PINNED | PCHART_LAID_OUT))
        return false;
    const bool sound = unwrap_chart_sound(chart);
    if (sound && !(maxStretch > 0.0 && unwrap_chart_stretch(chart) > maxStretch))
        return false;
    const ChartTriangles c = chart_triangles(chart);
    const size_t n = c.triangles.size();
    if (n < 2)
        return false;
    if (sound && int(n) < kFewestToSplitInHalves) {
        int added = 0;
        for (size_t i = 0; i < n; i++)
            for (int k = 0; k < 3; k++)
                if (c.neighbours[i][size_t(k)] > int(i)) {
                    const PHalfEdge* e = c.halfEdges[i][size_t(k)];
                    cuts.edges.push_back({keys.at(e->point), keys.at(e->nextInTri->point)});
                    added++;
                }
        cuts.charts += added > 0 ? 1 : 0;
        return added > 0;
    }
    double area3Sum = 0.0, areaUvSum = 0.0;
    for (size_t i = 0; i < n; i++) {
        const PHalfEdge* e = c.triangles[i]->edge;
        const double a3 =
            area3(e->point->co, e->nextInTri->point->co, e->nextInTri->nextInTri->point->co);
        if (c.ratio[i] != 0.0) {
            area3Sum += a3;
            areaUvSum += c.ratio[i] * a3;
        }
    }
    if (!(area3Sum > 0.0) || !std::isfinite(areaUvSum))
        return false;
    const double sign = areaUvSum < 0 ? -1.0 : 1.0;
    const double chartRatio = std::fabs(areaUvSum) / area3Sum;
    int squeezed = -1, widened = -1, unsound = 0;
    double least = std::numeric_limits<double>::infinity(), most = 0.0;
    for (size_t i = 0; i < n; i++) {
        if (c.ratio[i] == 0.0 && (c.triangles[i]->flags & PTRI_FILLED))
            continue;
        const double r = sign * c.ratio[i];
        if (r < kCollapsedShare * chartRatio)
            unsound++;
        if (r < least) {
            least = r;
            squeezed = int(i);
        }
        if (r > most) {
            most = r;
            widened = int(i);
        }
    }
    if (squeezed < 0 || (!sound && unsound == 0))
        return false;
    std::vector<int> nearest;
    int farthest = -1;
    if (sound) {
        // A sound chart that stretches too much: the conformal map scales its parts apart, so
        // the most squeezed and the most widened triangle seed the two halves.
        farthest = widened != squeezed ? widened : -1;
    } else {
        const std::vector<double> fromSqueezed = distances_from(c, {squeezed}, nearest);
        double far = 0.0;
        for (size_t i = 0; i < n; i++)
            if (std::isfinite(fromSqueezed[i]) && fromSqueezed[i] > far) {
                far = fromSqueezed[i];
                farthest = int(i);
            }
    }
    if (farthest < 0)
        return false;
    distances_from(c, {squeezed, farthest}, nearest);
    int added = 0;
    for (size_t i = 0; i < n; i++)
        for (int k = 0; k < 3; k++) {
            const int u = c.neighbours[i][size_t(k)];
            if (u < int(i) || nearest[i] == nearest[size_t(u)])
                continue;
            const PHalfEdge* e = c.halfEdges[i][size_t(k)];
            cuts.edges.push_back({keys.at(e->point), keys.at(e->nextInTri->point)});
            added++;
        }
    cuts.charts += added > 0 ? 1 : 0;
    return added > 0;
}

} // namespace

std::unordered_map<const PPoint*, int> unwrap_point_keys(const PHandle* handle) {
    std::unordered_map<const PPoint*, int> keys;
    for (int i = 0; i < handle->ncharts; i++)
        for (const PPoint* p = handle->charts[i]->points; p; p = p->next)
            keys.emplace(p, p->key);
    return keys;
}

PDiscCuts unwrap_split_unsound_charts(const PHandle* handle,
                                      const std::unordered_map<const PPoint*, int>& keys,
                                      std::vector<char>& split, double maxStretch) {
    PDiscCuts cuts;
    split.assign(size_t(handle->ncharts), 0);
    for (int i = 0; i < handle->ncharts; i++)
        split[size_t(i)] = split_chart(handle->charts[i], keys, maxStretch, cuts) ? 1 : 0;
    return cuts;
}
