// Cutting charts into topological discs, so that every chart can be flattened.
//
// A chart flattens only when it is a disc: one boundary loop and Euler characteristic
// χ = V − E + F = 1. Other charts are cut along mesh edges, the cuts only adding to the seams:
//  - closed charts of genus 0 get a cut tree through a few points of the largest angle defect
//    (their natural cone points), joined by shortest paths, so that the flattening does not have
//    to open a sphere through one short slit (the cut-graph construction of Sheffer and Hart's
//    "Seamster" and of Gu, Gortler and Hoppe's "Geometry Images": cuts through the points of
//    high curvature);
//  - charts with several boundary loops get each further loop joined to the rest by a shortest
//    path along edge lengths, loop by loop;
//  - handles are cut by the classic cut graph of a dual spanning tree (Erickson and Har-Peled,
//    "Optimally cutting a surface into a disk"): the edges that a spanning tree of the triangles
//    does not cross, pruned of every dangling edge, leave the boundary and one loop pair per
//    handle.
// A disc can still be impossible to lay out without a fold: an inner point with only two
// triangles around it (two faces folded onto each other, as duplicate faces of opposite
// orientation make) is joined to the boundary by a shortest path as well.
// Edges inside filled holes are not mesh edges: shortest paths never take them and the spanning
// tree crosses them first, so that no cut runs through a hole.

#include "unwrap/unwrap_cut_to_disc.h"

#include "unwrap/unwrap_geometry.h"

#include <algorithm>
#include <cmath>
#include <deque>
#include <limits>
#include <queue>
#include <unordered_map>
#include <vector>

namespace {

// One chart as an indexed graph: points, undirected edges and triangles.
struct ChartGraph {
    std::vector<const PPoint*> points;
    struct Edge {
        int a, b;   // point indices
        int t1, t2; // triangles on either side; t2 = -1 on a boundary
        bool real;  // an edge of the caller's mesh (not inside a filled hole)
        double length;
    };
    std::vector<Edge> edges;
    std::vector<std::vector<int>> pointEdges; // edges at each point
    std::vector<std::vector<int>> triangleEdges;
    int boundaryLoops = 0;
};

// The graph is indexed by the records' own key fields, numbered for the while and given back
// afterwards: far cheaper than hashing every point, triangle and half-edge of a large chart.
ChartGraph chart_graph(PChart* chart) {
    ChartGraph g;
    std::vector<int> pointKeys, triangleKeys, edgeKeys;
    for (PPoint* p = chart->points; p; p = p->next) {
        pointKeys.push_back(p->key);
        p->key = int(g.points.size());
        g.points.push_back(p);
    }
    for (PTriangle* t = chart->triangles; t; t = t->next) {
        triangleKeys.push_back(t->key);
        t->key = int(triangleKeys.size()) - 1;
    }
    // Each edge once, from the half-edge met first in the chart's list (not by address: that
    // order depends on the allocator's history, and the cuts would too).
    for (PHalfEdge* e = chart->edges; e; e = e->next) {
        edgeKeys.push_back(e->key);
        e->key = int(edgeKeys.size()) - 1;
    }
    g.pointEdges.resize(g.points.size());
    g.triangleEdges.resize(triangleKeys.size());
    for (const PHalfEdge* e = chart->edges; e; e = e->next) {
        if (e->pair && e->pair->key < e->key)
            continue; // the pair's turn
        ChartGraph::Edge edge;
        edge.a = e->point->key;
        edge.b = e->nextInTri->point->key;
        edge.t1 = e->triangle->key;
        edge.t2 = e->pair ? e->pair->triangle->key : -1;
        const bool filled1 = e->triangle->flags & PTRI_FILLED;
        const bool filled2 = e->pair && (e->pair->triangle->flags & PTRI_FILLED);
        edge.real = !filled1 || (e->pair && !filled2);
        edge.length = unwrap_edge_length(e);
        const int index = int(g.edges.size());
        g.edges.push_back(edge);
        g.pointEdges[size_t(edge.a)].push_back(index);
        g.pointEdges[size_t(edge.b)].push_back(index);
        g.triangleEdges[size_t(edge.t1)].push_back(index);
        if (edge.t2 >= 0)
            g.triangleEdges[size_t(edge.t2)].push_back(index);
    }
    size_t i = 0;
    for (PPoint* p = chart->points; p; p = p->next)
        p->key = pointKeys[i++];
    i = 0;
    for (PTriangle* t = chart->triangles; t; t = t->next)
        t->key = triangleKeys[i++];
    i = 0;
    for (PHalfEdge* e = chart->edges; e; e = e->next)
        e->key = edgeKeys[i++];
    return g;
}

// Boundary loops as sets of points: the components of the boundary edges.
std::vector<std::vector<int>> boundary_loops(const ChartGraph& g) {
    std::vector<int> loopOf(g.points.size(), -1);
    std::vector<std::vector<int>> loops;
    for (size_t start = 0; start < g.points.size(); start++) {
        if (loopOf[start] >= 0)
            continue;
        bool onBoundary = false;
        for (int e : g.pointEdges[start])
            onBoundary = onBoundary || g.edges[size_t(e)].t2 < 0;
        if (!onBoundary)
            continue;
        std::vector<int> loop, stack{int(start)};
        loopOf[start] = int(loops.size());
        while (!stack.empty()) {
            int p = stack.back();
            stack.pop_back();
            loop.push_back(p);
            for (int e : g.pointEdges[size_t(p)]) {
                const ChartGraph::Edge& edge = g.edges[size_t(e)];
                if (edge.t2 >= 0)
                    continue;
                int q = edge.a == p ? edge.b : edge.a;
                if (loopOf[size_t(q)] < 0) {
                    loopOf[size_t(q)] = int(loops.size());
                    stack.push_back(q);
                }
            }
        }
        loops.push_back(loop);
    }
    return loops;
}

// Shortest path along real, uncut edges from any source point to the first point for which
// isTarget holds; its edges are added to cut. False when no target can be reached.
template <typename Target>
bool cut_shortest_path(const ChartGraph& g, const std::vector<char>& source, Target isTarget,
                       std::vector<char>& cut) {
    const size_t n = g.points.size();
    std::vector<double> distance(n, std::numeric_limits<double>::infinity());
    std::vector<int> via(n, -1);
    using Item = std::pair<double, int>;
    std::priority_queue<Item, std::vector<Item>, std::greater<Item>> queue;
    for (size_t p = 0; p < n; p++)
        if (source[p]) {
            distance[p] = 0.0;
            queue.push({0.0, int(p)});
        }
    while (!queue.empty()) {
        auto [d, p] = queue.top();
        queue.pop();
        if (d > distance[size_t(p)])
            continue;
        if (!source[size_t(p)] && isTarget(p)) {
            for (int at = p; via[size_t(at)] >= 0;) {
                const ChartGraph::Edge& edge = g.edges[size_t(via[size_t(at)])];
                cut[size_t(via[size_t(at)])] = 1;
                at = edge.a == at ? edge.b : edge.a;
            }
            return true;
        }
        for (int e : g.pointEdges[size_t(p)]) {
            const ChartGraph::Edge& edge = g.edges[size_t(e)];
            if (!edge.real || cut[size_t(e)])
                continue;
            const int q = edge.a == p ? edge.b : edge.a;
            if (d + edge.length < distance[size_t(q)]) {
                distance[size_t(q)] = d + edge.length;
                via[size_t(q)] = e;
                queue.push({distance[size_t(q)], q});
            }
        }
    }
    return false;
}

// Marks every point on a cut edge.
void points_on_cuts(const ChartGraph& g, const std::vector<char>& cut, std::vector<char>& on) {
    for (size_t e = 0; e < g.edges.size(); e++)
        if (cut[e]) {
            on[size_t(g.edges[e].a)] = 1;
            on[size_t(g.edges[e].b)] = 1;
        }
}

// 2π less the corner angles at each point: the curvature a flattening has to spread out.
std::vector<double> angle_defects(const PChart* chart, const ChartGraph& g) {
    std::unordered_map<const PPoint*, int> index;
    for (size_t p = 0; p < g.points.size(); p++)
        index.emplace(g.points[p], int(p));
    std::vector<double> defect(g.points.size(), 2.0 * M_PI);
    for (const PTriangle* t = chart->triangles; t; t = t->next) {
        float a[3];
        unwrap_triangle_angles(t, &a[0], &a[1], &a[2]);
        const PHalfEdge* e = t->edge;
        for (int k = 0; k < 3; k++, e = e->nextInTri)
            defect[size_t(index.at(e->point))] -= double(a[k]);
    }
    return defect;
}

// A closed chart of genus 0: a cut tree through its cone points. The defect is summed over each
// point's two rings so that a curved tip counts as one cone rather than as scattered noise;
// cones are taken greedily, each at least a fifth of the chart's size from the others.
void cut_through_cones(const PChart* chart, const ChartGraph& g, std::vector<char>& cut) {
    const size_t n = g.points.size();
    if (n < 3)
        return;
    const std::vector<double> defect = angle_defects(chart, g);
    std::vector<double> smooth(n, 0.0);
    std::vector<int> mark(n, -1);
    for (size_t p = 0; p < n; p++) {
        std::vector<int> ring{int(p)};
        mark[p] = int(p);
        for (int depth = 0; depth < 2; depth++) {
            const size_t end = ring.size();
            for (size_t i = 0; i < end; i++)
                for (int e : g.pointEdges[size_t(ring[i])]) {
                    const ChartGraph::Edge& edge = g.edges[size_t(e)];
                    const int q = edge.a == ring[i] ? edge.b : edge.a;
                    if (mark[size_t(q)] != int(p)) {
                        mark[size_t(q)] = int(p);
                        ring.push_back(q);
                    }
                }
        }
        for (int q : ring)
            smooth[p] += defect[size_t(q)];
    }
    float lo[3] = {1e30f, 1e30f, 1e30f}, hi[3] = {-1e30f, -1e30f, -1e30f};
    for (const PPoint* p : g.points)
        for (int a = 0; a < 3; a++) {
            lo[a] = std::min(lo[a], p->co[a]);
            hi[a] = std::max(hi[a], p->co[a]);
        }
    const double size = std::sqrt(double(hi[0] - lo[0]) * (hi[0] - lo[0]) +
                                  double(hi[1] - lo[1]) * (hi[1] - lo[1]) +
                                  double(hi[2] - lo[2]) * (hi[2] - lo[2]));

    std::vector<int> order(n);
    for (size_t p = 0; p < n; p++)
        order[p] = int(p);
    std::stable_sort(order.begin(), order.end(),
                     [&](int a, int b) { return smooth[size_t(a)] > smooth[size_t(b)]; });
    constexpr int kMaxCones = 6;
    std::vector<int> cones;
    for (int p : order) {
        if (int(cones.size()) == kMaxCones ||
            (!cones.empty() && smooth[size_t(p)] < 0.1 * smooth[size_t(order[0])]))
            break;
        bool apart = true;
        for (int c : cones) {
            const float* a = g.points[size_t(p)]->co;
            const float* b = g.points[size_t(c)]->co;
            const double d = std::sqrt(double(a[0] - b[0]) * (a[0] - b[0]) +
                                       double(a[1] - b[1]) * (a[1] - b[1]) +
                                       double(a[2] - b[2]) * (a[2] - b[2]));
            apart = apart && d >= 0.2 * size;
        }
        if (apart)
            cones.push_back(p);
    }
    std::vector<char> tree(n, 0), cone(n, 0);
    tree[size_t(cones[0])] = 1;
    for (size_t i = 1; i < cones.size(); i++)
        cone[size_t(cones[i])] = 1;
    if (cones.size() == 1) {
        // One cone alone: cut to the point farthest from it.
        const float* c = g.points[size_t(cones[0])]->co;
        int best = -1;
        double bestDistance = -1.0;
        for (size_t p = 0; p < n; p++) {
            const float* q = g.points[p]->co;
            const double d = double(q[0] - c[0]) * (q[0] - c[0]) +
                             double(q[1] - c[1]) * (q[1] - c[1]) +
                             double(q[2] - c[2]) * (q[2] - c[2]);
            if (d > bestDistance) {
                bestDistance = d;
                best = int(p);
            }
        }
        cone[size_t(best)] = 1;
    }
    // Each remaining cone joins the tree by its shortest path to it.
    for (;;) {
        if (!cut_shortest_path(
                g, tree, [&](int p) { return cone[size_t(p)] != 0; }, cut))
            break;
        points_on_cuts(g, cut, tree);
        bool left = false;
        for (size_t p = 0; p < n; p++) {
            if (tree[p])
                cone[p] = 0;
            left = left || cone[p];
        }
        if (!left)
            break;
    }
}

// Several boundary loops: each loop not yet reached is joined to the rest by a shortest path.
void join_loops(const ChartGraph& g, const std::vector<std::vector<int>>& loops,
                std::vector<char>& cut) {
    const size_t n = g.points.size();
    std::vector<int> loopOf(n, -1);
    for (size_t l = 0; l < loops.size(); l++)
        for (int p : loops[l])
            loopOf[size_t(p)] = int(l);
    std::vector<char> joined(n, 0);
    for (int p : loops[0])
        joined[size_t(p)] = 1;
    std::vector<char> loopJoined(loops.size(), 0);
    loopJoined[0] = 1;
    for (size_t step = 1; step < loops.size(); step++) {
        int reached = -1;
        auto target = [&](int p) {
            if (loopOf[size_t(p)] >= 0 && !loopJoined[size_t(loopOf[size_t(p)])]) {
                reached = loopOf[size_t(p)];
                return true;
            }
            return false;
        };
        if (!cut_shortest_path(g, joined, target, cut) || reached < 0)
            return;
        loopJoined[size_t(reached)] = 1;
        points_on_cuts(g, cut, joined);
        for (int p : loops[size_t(reached)])
            joined[size_t(p)] = 1;
    }
}

// Handles: the edges that a spanning tree of the triangles does not cross, with boundary and
// cut edges held, pruned of every edge with a dangling end; what is left beyond the held edges
// cuts the handles open. The tree crosses edges inside filled holes first (breadth first with
// those edges at no cost), so that no cut is left inside a hole.
void cut_handles(const ChartGraph& g, std::vector<char>& cut) {
    const size_t nt = g.triangleEdges.size(), ne = g.edges.size();
    std::vector<char> crossed(ne, 0), reached(nt, 0);
    std::deque<int> queue{0};
    reached[0] = 1;
    while (!queue.empty()) {
        const int t = queue.front();
        queue.pop_front();
        for (int e : g.triangleEdges[size_t(t)]) {
            const ChartGraph::Edge& edge = g.edges[size_t(e)];
            if (edge.t2 < 0 || cut[size_t(e)])
                continue;
            const int u = edge.t1 == t ? edge.t2 : edge.t1;
            if (reached[size_t(u)])
                continue;
            reached[size_t(u)] = 1;
            crossed[size_t(e)] = 1;
            if (edge.real)
                queue.push_back(u);
            else
                queue.push_front(u);
        }
    }
    std::vector<char> inGraph(ne, 0);
    std::vector<int> degree(g.points.size(), 0);
    for (size_t e = 0; e < ne; e++)
        if (!crossed[e]) {
            inGraph[e] = 1;
            degree[size_t(g.edges[e].a)]++;
            degree[size_t(g.edges[e].b)]++;
        }
    auto held = [&](size_t e) { return g.edges[e].t2 < 0 || cut[e]; };
    std::vector<int> dangling;
    for (size_t p = 0; p < g.points.size(); p++)
        if (degree[p] == 1)
            dangling.push_back(int(p));
    while (!dangling.empty()) {
        const int p = dangling.back();
        dangling.pop_back();
        for (int e : g.pointEdges[size_t(p)]) {
            if (!inGraph[size_t(e)] || held(size_t(e)) || degree[size_t(p)] != 1)
                continue;
            inGraph[size_t(e)] = 0;
            const ChartGraph::Edge& edge = g.edges[size_t(e)];
            for (int q : {edge.a, edge.b})
                if (--degree[size_t(q)] == 1)
                    dangling.push_back(q);
        }
    }
    for (size_t e = 0; e < ne; e++)
        if (inGraph[e] && !held(e) && g.edges[e].real)
            cut[e] = 1;
}

} // namespace

// Inner points with fewer than three triangles around them: each is cut to the boundary (or to
// a cut) along its shortest path. Points on the boundary or on a cut are left alone.
void cut_folded_points(const ChartGraph& g, std::vector<char>& cut) {
    std::vector<char> open(g.points.size(), 0);
    for (const ChartGraph::Edge& edge : g.edges)
        if (edge.t2 < 0)
            open[size_t(edge.a)] = open[size_t(edge.b)] = 1;
    points_on_cuts(g, cut, open);
    for (size_t p = 0; p < g.points.size(); p++) {
        if (open[p] || g.pointEdges[p].size() > 2)
            continue;
        std::vector<char> source(g.points.size(), 0);
        source[p] = 1;
        if (cut_shortest_path(
                g, source, [&](int q) { return open[size_t(q)] != 0; }, cut))
            points_on_cuts(g, cut, open);
    }
}

PDiscCuts unwrap_disc_cuts(const PHandle* handle) {
    PDiscCuts cuts;
    for (int i = 0; i < handle->ncharts; i++) {
        PChart* chart = handle->charts[i];
        ChartGraph g = chart_graph(chart);
        const std::vector<std::vector<int>> loops = boundary_loops(g);
        const int euler = int(g.points.size()) - int(g.edges.size()) + int(g.triangleEdges.size());
        std::vector<char> cut(g.edges.size(), 0);
        if (loops.empty()) {
            if (euler == 2)
                cut_through_cones(chart, g, cut);
            else // a closed chart with handles: open it at one edge, the handles are cut below
                for (size_t e = 0; e < g.edges.size() && loops.empty(); e++)
                    if (g.edges[e].real) {
                        cut[e] = 1;
                        break;
                    }
        } else if (loops.size() > 1) {
            join_loops(g, loops, cut);
        }
        // Genus: χ = 2 − 2 genus − loops, with the cuts so far counted as part of the boundary.
        const int genus = (2 - int(loops.empty() ? 0 : loops.size()) - euler) / 2;
        if (genus > 0)
            cut_handles(g, cut);
        cut_folded_points(g, cut);
        int added = 0;
        for (size_t e = 0; e < g.edges.size(); e++)
            if (cut[e]) {
                cuts.edges.push_back(
                    {g.points[size_t(g.edges[e].a)]->key, g.points[size_t(g.edges[e].b)]->key});
                added++;
            }
        cuts.charts += added > 0 ? 1 : 0;
    }
    return cuts;
}

bool unwrap_has_closed_chart(const PHandle* handle) {
    for (int i = 0; i < handle->ncharts; i++) {
        bool open = false;
        for (const PHalfEdge* e = handle->charts[i]->edges; e && !open; e = e->next)
            open = e->pair == nullptr;
        if (!open)
            return true;
    }
    return false;
}
