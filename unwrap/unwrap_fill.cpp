#include "support/heap.h"
#include "unwrap/unwrap_geometry.h"
#include "unwrap/unwrap_internal.h"

#include <initializer_list>

namespace {

// pi minus the sum of the corner angles at e's point over the whole fan.
float boundary_angle(PHalfEdge* be) {
    PPoint* p = be->point;
    float sum = 0.0f;
    PHalfEdge* e = p->edge;
    do {
        PHalfEdge* en = e->nextInTri;
        PHalfEdge* ep = en->nextInTri;
        sum += unwrap_corner_angle(p->co, en->point->co, ep->point->co);
        e = unwrap_edge_next_around(e);
    } while (e && e != p->edge);
    return UNWRAP_PI - sum;
}

void fill_loop(PChart* chart, PHalfEdge* be, int nedges) {
    PHandle* handle = chart->handle;
    Heap* heap = heap_new();
    PHalfEdge* e = be;
    do {
        e->heapLink = heap_insert(heap, boundary_angle(e), e);
        e = unwrap_boundary_next(e);
    } while (e != be);

    if (nedges == 2) {
        e = be->nextInTri->point->edge;
        be->pair = e;
        e->pair = be;
    }

    while (nedges > 2) {
        e = static_cast<PHalfEdge*>(heap_pop_min(heap));
        e->heapLink = nullptr;
        PHalfEdge* p = unwrap_boundary_prev(e);
        PHalfEdge* q = unwrap_boundary_next(e);
        heap_remove(heap, p->heapLink);
        p->heapLink = nullptr;
        heap_remove(heap, q->heapLink);
        q->heapLink = nullptr;
        e->flags |= PEDGE_FILLED;
        p->flags |= PEDGE_FILLED;

        PTriangle* t = unwrap_new_triangle(handle);
        PHalfEdge* a = unwrap_new_edge(handle);
        PHalfEdge* b = unwrap_new_edge(handle);
        PHalfEdge* c = unwrap_new_edge(handle);
        t->edge = a;
        t->flags = PTRI_FILLED;
        a->point = e->point;
        b->point = p->point;
        c->point = q->point;
        a->nextInTri = b;
        b->nextInTri = c;
        c->nextInTri = a;
        for (PHalfEdge* he : {a, b, c}) {
            he->triangle = t;
            he->flags = PEDGE_FILLED;
            he->key = he->point->key ^ he->nextInTri->point->key;
        }

        t->next = chart->triangles;
        chart->triangles = t;
        a->next = chart->edges;
        b->next = a;
        c->next = b;
        chart->edges = c;
        chart->ntriangles++;
        chart->nedges += 3;

        e->pair = c;
        c->pair = e;
        p->pair = a;
        a->pair = p;

        if (nedges == 3) {
            q->pair = b;
            b->pair = q;
        } else {
            b->point->edge = b;
            b->heapLink = heap_insert(heap, boundary_angle(b), b);
            q->heapLink = heap_insert(heap, boundary_angle(q), q);
        }
        nedges--;
    }

    heap_free(heap, nullptr);
}

} // namespace

void unwrap_fill_holes(PChart* chart, PHalfEdge* outer) {
    for (PHalfEdge* be = chart->edges; be; be = be->next) {
        if (be->pair || (be->flags & PEDGE_FILLED))
            continue;
        int nedges = 0;
        PHalfEdge* e = be;
        bool closed = false;
        // The bound only guards broken input: a loop cannot be longer than the chart.
        for (int steps = 0; steps <= chart->nedges; steps++) {
            e->flags |= PEDGE_FILLED;
            nedges++;
            e = unwrap_boundary_next(e);
            if (e == be) {
                closed = true;
                break;
            }
            if (e->flags & PEDGE_FILLED)
                break;
        }
        if (closed && be != outer)
            fill_loop(chart, be, nedges);
    }
}
