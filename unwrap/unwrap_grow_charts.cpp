// Automatic charts by region growing.
//
// Charts are grown over the triangles one at a time, in the manner of the segmentations that
// grow regions under a planarity cost (Sander, Snyder, Gortler and Hoppe, "Texture Mapping
// Progressive Meshes", 2001; Cohen-Steiner, Alliez and Desbrun, "Variational Shape
// Approximation", 2004): each chart has a proxy normal, the area-weighted mean of its
// triangles' normals, and takes next the neighbouring triangle that deviates least from it and
// from the chart triangle it is reached from, so that charts stop at creases. A triangle whose
// normal leaves the chart's cone is left for another chart. A chart within a cone of normals
// is nearly a height field over its proxy plane, which flattens with little stretch; the caller
// flattens every chart and splits the ones that still stretch too much.
//
// Seeds are the free triangles farthest (across the surface) from the existing borders, so
// the first charts sit in the middle of what the user's seams enclose and the cuts run between
// them. Small leftover charts are merged into the neighbour they share the longest border with.

#include "unwrap/unwrap_grow_charts.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numeric>
#include <queue>
#include <unordered_set>

namespace {

// A triangle joins a chart while its normal is within this angle of the chart's proxy normal.
constexpr double kConeDegrees = 62.0;
// Past this many triangles a chart only takes triangles within the flat cone of its proxy:
// angle based flattening takes many Newton steps on large curved charts of scanned meshes,
// and their cost grows faster than their size, while a plane flattens in one.
constexpr int kMostCurvedTriangles = 2000;
constexpr double kFlatConeDegrees = 10.0;
// Weight of the turn across the edge a triangle is reached by, against the proxy deviation.
constexpr double kCreaseWeight = 0.5;
// A chart with less than this share of the grown area, or fewer triangles, is merged away.
constexpr double kSmallShare = 2e-4;
constexpr int kSmallTriangles = 12;

using Vec = std::array<double, 3>;

struct GrowMesh {
    std::vector<int> triangle;                // mesh triangle of each grown triangle
    std::vector<std::array<int, 3>> corner;   // vertex indices
    std::vector<std::array<int, 3>> neighbor; // across edge (corner k, corner k + 1), or -1
    std::vector<Vec> normal;                  // unit, or zero without area
    std::vector<Vec> centre;
    std::vector<double> area;
};

uint64_t edge_key(int a, int b) {
    const uint32_t lo = uint32_t(std::min(a, b)), hi = uint32_t(std::max(a, b));
    return uint64_t(lo) << 32 | hi;
}

bool taken(const UnwrapMesh* mesh, const std::vector<char>* mask, int t) {
    if (mesh->faces[t].flags & UNWRAP_FACE_HIDDEN)
        return false;
    if (mask && !(*mask)[size_t(t)])
        return false;
    for (int k = 0; k < 3; k++)
        if (mesh->faceVertices[t].v[k] < 0 || mesh->faceVertices[t].v[k] >= mesh->vertexCount)
            return false;
    return true;
}

GrowMesh grow_mesh(const UnwrapMesh* mesh, const std::vector<char>* mask) {
    GrowMesh g;
    for (int t = 0; t < mesh->triangleCount; t++)
        if (taken(mesh, mask, t))
            g.triangle.push_back(t);
    const size_t n = g.triangle.size();
    g.corner.resize(n);
    g.neighbor.resize(n);
    g.normal.resize(n);
    g.centre.resize(n);
    g.area.resize(n);
    for (size_t i = 0; i < n; i++) {
        const int32_t* v = mesh->faceVertices[g.triangle[i]].v;
        Vec p[3];
        for (int k = 0; k < 3; k++) {
            g.corner[i][size_t(k)] = v[k];
            const UnwrapVertex& q = mesh->vertices[v[k]];
            p[k] = {q.x, q.y, q.z};
        }
        const Vec e1 = {p[1][0] - p[0][0], p[1][1] - p[0][1], p[1][2] - p[0][2]};
        const Vec e2 = {p[2][0] - p[0][0], p[2][1] - p[0][1], p[2][2] - p[0][2]};
        Vec nrm = {e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2],
                   e1[0] * e2[1] - e1[1] * e2[0]};
        const double len = std::sqrt(nrm[0] * nrm[0] + nrm[1] * nrm[1] + nrm[2] * nrm[2]);
        g.area[i] = std::isfinite(len) ? 0.5 * len : 0.0;
        for (int k = 0; k < 3; k++) {
            g.normal[i][size_t(k)] = g.area[i] > 0 ? nrm[size_t(k)] / len : 0.0;
            g.centre[i][size_t(k)] = (p[0][size_t(k)] + p[1][size_t(k)] + p[2][size_t(k)]) / 3.0;
        }
    }
    // Triangles around each vertex, to find the triangles on each edge.
    std::vector<int> start(size_t(mesh->vertexCount) + 1, 0), around(3 * n);
    for (size_t i = 0; i < n; i++)
        for (int v : g.corner[i])
            start[size_t(v) + 1]++;
    std::partial_sum(start.begin(), start.end(), start.begin());
    std::vector<int> fill(start.begin(), start.end() - 1);
    for (size_t i = 0; i < n; i++)
        for (int v : g.corner[i])
            around[size_t(fill[size_t(v)]++)] = int(i);
    std::unordered_set<uint64_t> seams;
    for (int e = 0; e < mesh->edgeCount; e++)
        if (mesh->edges[e].flags & UNWRAP_EDGE_SEAM)
            seams.insert(edge_key(mesh->edges[e].v1, mesh->edges[e].v2));
    for (size_t i = 0; i < n; i++) {
        for (int k = 0; k < 3; k++) {
            const int a = g.corner[i][size_t(k)], b = g.corner[i][size_t((k + 1) % 3)];
            g.neighbor[i][size_t(k)] = -1;
            if (a == b || seams.count(edge_key(a, b)))
                continue;
            // Exactly one other triangle on the edge, running it the other way.
            int other = -1, count = 0;
            for (int s = start[size_t(a)]; s < start[size_t(a) + 1]; s++) {
                const int j = around[size_t(s)];
                if (j == int(i))
                    continue;
                for (int m = 0; m < 3; m++) {
                    const int c = g.corner[size_t(j)][size_t(m)];
                    const int d = g.corner[size_t(j)][size_t((m + 1) % 3)];
                    if ((c == a && d == b) || (c == b && d == a)) {
                        count++;
                        other = (c == b && d == a) ? j : -2;
                    }
                }
            }
            if (count == 1 && other >= 0)
                g.neighbor[i][size_t(k)] = other;
        }
    }
    return g;
}

double distance(const Vec& a, const Vec& b) {
    return std::sqrt((a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]) +
                     (a[2] - b[2]) * (a[2] - b[2]));
}

double dot(const Vec& a, const Vec& b) {
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

// Distances across the surface from the triangles on a border; triangles of a closed piece
// get infinity.
std::vector<double> distances_from_borders(const GrowMesh& g) {
    const size_t n = g.triangle.size();
    std::vector<double> d(n, std::numeric_limits<double>::infinity());
    using Item = std::pair<double, int>;
    std::priority_queue<Item, std::vector<Item>, std::greater<Item>> queue;
    for (size_t i = 0; i < n; i++)
        for (int k = 0; k < 3; k++)
            if (g.neighbor[i][size_t(k)] < 0 && d[i] != 0.0) {
                d[i] = 0.0;
                queue.push({0.0, int(i)});
            }
    while (!queue.empty()) {
        auto [di, i] = queue.top();
        queue.pop();
        if (di > d[size_t(i)])
            continue;
        for (int j : g.neighbor[size_t(i)]) {
            if (j < 0)
                continue;
            const double dj = di + distance(g.centre[size_t(i)], g.centre[size_t(j)]);
            if (dj < d[size_t(j)]) {
                d[size_t(j)] = dj;
                queue.push({dj, j});
            }
        }
    }
    return d;
}

struct Candidate {
    double cost;
    int triangle;
    int from; // the chart triangle it is reached from
    bool operator>(const Candidate& o) const {
        return cost != o.cost ? cost > o.cost : triangle > o.triangle;
    }
};

Vec unit(const Vec& v) {
    const double len = std::sqrt(dot(v, v));
    return len > 0 ? Vec{v[0] / len, v[1] / len, v[2] / len} : Vec{0, 0, 0};
}

// Grows one chart from a seed over free triangles; answers its triangles.
void grow_chart(const GrowMesh& g, int seed, int id, std::vector<int>& chart) {
    constexpr double kDegree = 3.14159265358979323846 / 180.0;
    const double coneCos = std::cos(kConeDegrees * kDegree);
    const double flatCos = std::cos(kFlatConeDegrees * kDegree);
    Vec sum = {0, 0, 0};
    int size = 0;
    auto add = [&](int t) {
        chart[size_t(t)] = id;
        size++;
        for (int k = 0; k < 3; k++)
            sum[size_t(k)] += g.area[size_t(t)] * g.normal[size_t(t)][size_t(k)];
    };
    std::priority_queue<Candidate, std::vector<Candidate>, std::greater<Candidate>> queue;
    auto cost_of = [&](int t, int from, const Vec& proxy) {
        const Vec& n = g.normal[size_t(t)];
        if (dot(n, n) == 0.0)
            return 0.0; // no area, no normal: it goes with whichever chart reaches it first
        return (1.0 - dot(n, proxy)) + kCreaseWeight * (1.0 - dot(n, g.normal[size_t(from)]));
    };
    auto push_neighbours = [&](int t, const Vec& proxy) {
        for (int j : g.neighbor[size_t(t)])
            if (j >= 0 && chart[size_t(j)] < 0)
                queue.push({cost_of(j, t, proxy), j, t});
    };
    add(seed);
    Vec proxy = unit(sum);
    push_neighbours(seed, proxy);
    while (!queue.empty()) {
        const Candidate c = queue.top();
        queue.pop();
        if (chart[size_t(c.triangle)] >= 0)
            continue;
        const Vec& n = g.normal[size_t(c.triangle)];
        const double cosine = dot(n, proxy);
        if (dot(n, n) != 0.0 &&
            (cosine < coneCos || (size >= kMostCurvedTriangles && cosine < flatCos)))
            continue; // outside the cone now; another chart takes it
        // The proxy has moved since the cost was taken: queue it again at its cost now.
        const double now = cost_of(c.triangle, c.from, proxy);
        if (now > c.cost + 1e-9) {
            queue.push({now, c.triangle, c.from});
            continue;
        }
        add(c.triangle);
        proxy = unit(sum);
        if (dot(proxy, proxy) == 0.0)
            proxy = n;
        push_neighbours(c.triangle, proxy);
    }
}

// Merges charts that are too small into the neighbouring chart they share the longest border
// with (a neighbour that is itself small is fine: the merged chart is measured again).
void merge_small_charts(const GrowMesh& g, std::vector<int>& chart, int charts) {
    std::vector<double> area(size_t(charts), 0.0);
    std::vector<int> count(size_t(charts), 0);
    double total = 0.0;
    for (size_t i = 0; i < chart.size(); i++) {
        area[size_t(chart[i])] += g.area[i];
        count[size_t(chart[i])]++;
        total += g.area[i];
    }
    std::vector<int> into(static_cast<size_t>(charts));
    std::iota(into.begin(), into.end(), 0);
    auto root = [&](int c) {
        while (into[size_t(c)] != c)
            c = into[size_t(c)] = into[size_t(into[size_t(c)])];
        return c;
    };
    // Members of every chart, to walk its border.
    std::vector<std::vector<int>> members(static_cast<size_t>(charts));
    for (size_t i = 0; i < chart.size(); i++)
        members[size_t(chart[i])].push_back(int(i));
    for (int c = 0; c < charts; c++) {
        if (area[size_t(c)] >= kSmallShare * total && count[size_t(c)] >= kSmallTriangles)
            continue;
        // Neighbouring charts and the number of edges shared with each: the triangles of one
        // mesh have similar sizes, so edges stand in for length.
        std::vector<std::pair<int, double>> border;
        for (int t : members[size_t(c)])
            for (int k = 0; k < 3; k++) {
                const int j = g.neighbor[size_t(t)][size_t(k)];
                if (j < 0)
                    continue;
                const int other = root(chart[size_t(j)]);
                if (other == root(c))
                    continue;
                auto it = std::find_if(border.begin(), border.end(),
                                       [&](const auto& b) { return b.first == other; });
                if (it == border.end())
                    border.push_back({other, 1.0});
                else
                    it->second += 1.0;
            }
        if (border.empty())
            continue;
        int best = border[0].first;
        double longest = border[0].second;
        for (auto [other, length] : border)
            if (length > longest || (length == longest && other < best)) {
                best = other;
                longest = length;
            }
        const int from = root(c);
        into[size_t(from)] = best;
        area[size_t(best)] += area[size_t(from)];
        count[size_t(best)] += count[size_t(from)];
    }
    for (int& c : chart)
        c = root(c);
}

} // namespace

std::vector<std::pair<int, int>> unwrap_grow_charts(const UnwrapMesh* mesh,
                                                    const std::vector<char>* mask) {
    const GrowMesh g = grow_mesh(mesh, mask);
    const size_t n = g.triangle.size();
    const std::vector<double> depth = distances_from_borders(g);
    std::vector<int> order(n);
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&](int a, int b) { return depth[size_t(a)] > depth[size_t(b)]; });
    std::vector<int> chart(n, -1);
    int charts = 0;
    for (int seed : order)
        if (chart[size_t(seed)] < 0)
            grow_chart(g, seed, charts++, chart);
    merge_small_charts(g, chart, charts);
    std::vector<std::pair<int, int>> cuts;
    for (size_t i = 0; i < n; i++)
        for (int k = 0; k < 3; k++) {
            const int j = g.neighbor[i][size_t(k)];
            if (j > int(i) && chart[i] != chart[size_t(j)])
                cuts.push_back({g.corner[i][size_t(k)], g.corner[i][size_t((k + 1) % 3)]});
        }
    return cuts;
}
