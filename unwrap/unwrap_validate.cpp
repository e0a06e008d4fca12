#include "unwrap/unwrap_validate.h"

#include "unwrap/unwrap_geometry.h"

#include <unordered_map>
#include <unordered_set>

namespace {

std::string fault(int chart, const char* what) {
    return "chart " + std::to_string(chart) + ": " + what;
}

std::string check_chart(const PChart* chart, int index) {
    std::unordered_set<const PPoint*> points;
    std::unordered_set<const PHalfEdge*> edges;
    std::unordered_set<const PTriangle*> triangles;
    for (const PPoint* p = chart->points; p; p = p->next)
        if (!points.insert(p).second || int(points.size()) > chart->npoints)
            return fault(index, "point list longer than its count or cyclic");
    for (const PHalfEdge* e = chart->edges; e; e = e->next)
        if (!edges.insert(e).second || int(edges.size()) > chart->nedges)
            return fault(index, "half-edge list longer than its count or cyclic");
    for (const PTriangle* t = chart->triangles; t; t = t->next)
        if (!triangles.insert(t).second || int(triangles.size()) > chart->ntriangles)
            return fault(index, "triangle list longer than its count or cyclic");
    if (int(points.size()) != chart->npoints || int(edges.size()) != chart->nedges ||
        int(triangles.size()) != chart->ntriangles)
        return fault(index, "list shorter than its count");
    if (chart->nedges != 3 * chart->ntriangles)
        return fault(index, "half-edge count is not three per triangle");

    for (const PTriangle* t : triangles) {
        const PHalfEdge* e = t->edge;
        for (int k = 0; k < 3; k++, e = e->nextInTri) {
            if (!edges.count(e) || e->triangle != t)
                return fault(index, "triangle ring leaves its triangle or its chart");
        }
        if (e != t->edge)
            return fault(index, "triangle ring does not close after three half-edges");
    }

    int nboundary = 0;
    for (const PHalfEdge* e : edges) {
        if (!points.count(e->point))
            return fault(index, "half-edge starts at a point of another chart");
        if (!triangles.count(e->triangle))
            return fault(index, "half-edge belongs to a triangle of another chart");
        if (!e->pair) {
            nboundary++;
            continue;
        }
        if (e->pair == e || e->pair->pair != e)
            return fault(index, "pair is not mutual");
        if (!edges.count(e->pair))
            return fault(index, "pair lies in another chart");
        if (e->pair->point != e->nextInTri->point || e->pair->nextInTri->point != e->point)
            return fault(index, "pair does not join the same points the other way round");
    }

    // Every half-edge lies in exactly one point's fan.
    std::unordered_map<const PHalfEdge*, const PPoint*> owner;
    for (const PPoint* p : points) {
        if (!p->edge || !edges.count(p->edge) || p->edge->point != p)
            return fault(index, "point edge does not start at the point");
        PHalfEdge* start = p->edge;
        PHalfEdge* e = start;
        int steps = 0;
        do {
            if (e->point != p)
                return fault(index, "fan walk reaches a half-edge of another point");
            if (!owner.emplace(e, p).second)
                return fault(index, "half-edge lies in two fans");
            e = unwrap_edge_next_around(e);
            if (++steps > chart->nedges)
                return fault(index, "fan walk does not end");
        } while (e && e != start);
        if (!e && unwrap_edge_prev_around(start))
            return fault(index, "open fan whose point edge is not its boundary half-edge");
    }
    if (int(owner.size()) != chart->nedges)
        return fault(index, "some half-edges lie in no point's fan");

    // Boundary loops close.
    std::unordered_set<const PHalfEdge*> walked;
    for (const PHalfEdge* be : edges) {
        if (be->pair || walked.count(be))
            continue;
        const PHalfEdge* e = be;
        do {
            if (e->pair || !edges.count(e))
                return fault(index, "boundary walk leaves the boundary");
            if (!walked.insert(e).second)
                return fault(index, "boundary loop does not come back to its start");
            e = unwrap_boundary_next(const_cast<PHalfEdge*>(e));
        } while (e != be);
    }
    if (nboundary == 0)
        return fault(index, "kept chart has no boundary");
    return std::string();
}

} // namespace

UnwrapChartShape unwrap_chart_shape(const PChart* chart) {
    int nboundary = 0;
    for (const PHalfEdge* e = chart->edges; e; e = e->next)
        if (!e->pair)
            nboundary++;
    std::unordered_set<const PHalfEdge*> walked;
    int nloops = 0;
    for (const PHalfEdge* be = chart->edges; be; be = be->next) {
        if (be->pair || walked.count(be))
            continue;
        nloops++;
        const PHalfEdge* e = be;
        while (walked.insert(e).second)
            e = unwrap_boundary_next(const_cast<PHalfEdge*>(e));
    }
    int nundirected = (chart->nedges + nboundary) / 2;
    return {nloops, chart->npoints - nundirected + chart->ntriangles};
}

std::string unwrap_validate(const PHandle* handle, bool expectDiscs) {
    if (handle->state == PHANDLE_STATE_CONSTRUCT)
        return "construction has not ended";
    if (handle->construction || handle->hashPoints || handle->hashEdges || handle->edgeIndex)
        return "construction records left after construction end";
    for (int i = 0; i < handle->ncharts; i++) {
        const PChart* chart = handle->charts[i];
        if (chart->handle != handle)
            return fault(i, "chart does not point back at its handle");
        std::string message = check_chart(chart, i);
        if (!message.empty())
            return message;
        if (expectDiscs) {
            UnwrapChartShape shape = unwrap_chart_shape(chart);
            if (shape.nloops != 1)
                return fault(i, "filled chart has more than one boundary loop");
            if (shape.euler != 1)
                return fault(i, "filled chart is not a disc (V - E + F != 1)");
        }
    }
    return std::string();
}
