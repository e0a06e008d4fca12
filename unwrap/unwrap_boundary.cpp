#include "unwrap/unwrap_geometry.h"

void unwrap_chart_boundaries(PChart* chart, int* nboundaries, PHalfEdge** outer) {
    float maxLength = -1.0f;
    int count = 0;
    *outer = nullptr;

    for (PHalfEdge* be = chart->edges; be; be = be->next) {
        if (be->pair || (be->flags & PEDGE_BOUNDARY_WALKED))
            continue;
        float length = 0.0f;
        PHalfEdge* e = be;
        // A loop has at most as many half-edges as the chart; the bound only guards broken input.
        for (int steps = 0; steps <= chart->nedges; steps++) {
            e->flags |= PEDGE_BOUNDARY_WALKED;
            length += unwrap_edge_length(e);
            e = unwrap_boundary_next(e);
            if (e == be || (e->flags & PEDGE_BOUNDARY_WALKED))
                break;
        }
        if (length > maxLength) {
            *outer = be;
            maxLength = length;
        }
        count++;
    }

    for (PHalfEdge* e = chart->edges; e; e = e->next)
        e->flags &= uint16_t(~PEDGE_BOUNDARY_WALKED);
    *nboundaries = count;
}
