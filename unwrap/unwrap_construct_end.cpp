#include "unwrap/unwrap.h"

#include "support/guarded_alloc.h"
#include "support/require.h"
#include "unwrap/unwrap_geometry.h"
#include "unwrap/unwrap_hash.h"
#include "unwrap/unwrap_internal.h"

void unwrap_construct_end(PHandle* handle, bool fillHoles) {
    SUPPORT_REQUIRE(handle->state == PHANDLE_STATE_CONSTRUCT,
                    "unwrap_construct_end: construction has already ended");

    phash_order_as_inserted(&handle->construction->triangles);
    int ncharts = unwrap_split_charts(handle);

    PChart** charts = nullptr;
    if (ncharts > 0) {
        charts = static_cast<PChart**>(mem_calloc(int(sizeof(PChart*)) * ncharts, "PCharts"));
        SUPPORT_REQUIRE(charts, "unwrap: out of memory for the charts array");
        for (int i = 0; i < ncharts; i++) {
            charts[i] = static_cast<PChart*>(mem_calloc(sizeof(PChart), "PChart"));
            SUPPORT_REQUIRE(charts[i], "unwrap: out of memory for a chart");
            charts[i]->handle = handle;
        }
    }

    unwrap_distribute(handle, charts);

    mem_free(handle->construction);
    phash_delete(handle->hashPoints);
    phash_delete(handle->hashEdges);
    pedgeindex_delete(handle->edgeIndex);
    handle->edgeIndex = nullptr;
    handle->construction = nullptr;
    handle->hashPoints = handle->hashEdges = nullptr;

    int kept = 0;
    for (int i = 0; i < ncharts; i++) {
        PChart* chart = charts[i];
        int nboundaries = 0;
        PHalfEdge* outer = nullptr;
        unwrap_chart_boundaries(chart, &nboundaries, &outer);

        // A closed surface cannot be flattened; its faces keep their UVs.
        if (nboundaries == 0 && !handle->keepClosedCharts) {
            mem_free(chart);
            continue;
        }
        if (fillHoles && nboundaries > 1)
            unwrap_fill_holes(chart, outer);
        for (PPoint* p = chart->points; p; p = p->next)
            unwrap_point_initial_uv(p);
        charts[kept++] = chart;
    }

    handle->charts = charts;
    handle->ncharts = kept;
    handle->state = PHANDLE_STATE_ALLOCATED;
}
