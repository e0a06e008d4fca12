#include "unwrap/unwrap_geometry.h"
#include "unwrap/unwrap_internal.h"

namespace {

// Gives the fan of e its own point: the original point when the fan holds the point's edge,
// otherwise a copy. A vertex shared by several fans thus becomes one point per fan.
void split_point(PHandle* handle, PChart* chart, PHalfEdge* e) {
    if (e->flags & PEDGE_FAN_VISITED)
        return;
    PPoint* v = e->point;

    // Rewind to the first half-edge of the fan (the boundary one when the fan is open).
    PHalfEdge* first = e;
    for (PHalfEdge* we = unwrap_edge_prev_around(e); we && we != e;
         we = unwrap_edge_prev_around(we))
        first = we;

    bool claimed = false;
    for (PHalfEdge* we = first; we && !(we->flags & PEDGE_FAN_VISITED);
         we = unwrap_edge_next_around(we)) {
        we->flags |= PEDGE_FAN_VISITED;
        if (we == v->edge)
            claimed = true;
    }

    if (claimed) {
        v->next = chart->points;
        chart->points = v;
        chart->npoints++;
        return;
    }

    v->flags |= PPOINT_SPLIT;
    PPoint* copy = unwrap_new_point(handle);
    *copy = *v;
    copy->flags |= PPOINT_SPLIT;
    copy->edge = first;
    copy->next = chart->points;
    chart->points = copy;
    chart->npoints++;

    PHalfEdge* we = first;
    do {
        we->point = copy;
        we = unwrap_edge_next_around(we);
    } while (we && we != first);
}

} // namespace

void unwrap_distribute(PHandle* handle, PChart** charts) {
    PTriangle* next = nullptr;
    for (PTriangle* t = handle->construction->triangles; t; t = next) {
        next = t->next;
        PChart* chart = charts[t->key];
        PHalfEdge* e1 = t->edge;
        PHalfEdge* e2 = e1->nextInTri;
        PHalfEdge* e3 = e2->nextInTri;

        t->next = chart->triangles;
        chart->triangles = t;
        e1->next = chart->edges;
        e2->next = e1;
        e3->next = e2;
        chart->edges = e3;
        chart->ntriangles++;
        chart->nedges += 3;

        split_point(handle, chart, e1);
        split_point(handle, chart, e2);
        split_point(handle, chart, e3);
    }
}
