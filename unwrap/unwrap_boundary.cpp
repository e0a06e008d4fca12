#include "unwrap/unwrap_geometry.h"

#include <vector>

void unwrap_chart_boundaries(PChart* chart, int* nboundaries, PHalfEdge** outer) {
    float maxLength = -1.0f;
    int count = 0;
    *outer = nullptr;
    // The walked marks are cleared from this list rather than by a second pass over the chart.
    std::vector<PHalfEdge*> walked;

    for (PHalfEdge* be = chart->edges; be; be = be->next) {
        if (be->pair || (be->flags & PEDGE_BOUNDARY_WALKED))
            continue;
        float length = 0.0f;
        PHalfEdge* e = be;
        // A loop has at most as many half-edges as the chart; the bound only guards broken input.
        for (int steps = 0; steps <= chart->nedges; steps++) {
            e->flags |= PEDGE_BOUNDARY_WALKED;
            walked.push_back(e);
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

    for (PHalfEdge* e : walked)
        e->flags &= uint16_t(~PEDGE_BOUNDARY_WALKED);
    *nboundaries = count;
}
