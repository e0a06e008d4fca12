#include "unwrap/unwrap_lscm.h"

#include "Lscm/opennl.h"
#include "support/guarded_alloc.h"
#include "support/process_memory.h"
#include "support/require.h"
#include "unwrap/unwrap_abf.h"
#include "unwrap/unwrap_geometry.h"
#include "unwrap/unwrap_live_rows.h"
#include "unwrap/unwrap_pack.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <system_error>
#include <thread>
#include <vector>

namespace {

// Runs work on every chart, the largest first, on up to unwrap_thread_count() threads; each
// chart is touched by one thread only. What the charts share is safe for that: the guarded
// allocator locks its list, the solver layer's current context is per thread, SuperLU keeps no
// state between calls, and the charts own their points, half-edges and triangles. The results
// do not depend on which thread flattened a chart, nor on the order.
template <typename Work> void for_each_chart(PHandle* handle, bool parallel, Work work) {
    const int n = handle->ncharts;
    const int threads = parallel ? std::min(unwrap_thread_count(), n) : 1;
    if (threads <= 1) {
        for (int i = 0; i < n; i++)
            work(handle->charts[i]);
        return;
    }
    std::vector<PChart*> order(handle->charts, handle->charts + n);
    std::stable_sort(order.begin(), order.end(), [](const PChart* a, const PChart* b) {
        return a->ntriangles > b->ntriangles;
    });
    std::atomic<int> next{0};
    auto run = [&] {
        for (int i = next.fetch_add(1); i < n; i = next.fetch_add(1))
            work(order[size_t(i)]);
    };
    std::vector<std::thread> pool;
    for (int t = 1; t < threads; t++) {
        try {
            pool.emplace_back([&run] {
                keep_freed_memory_in_thread();
                run();
            });
        } catch (const std::system_error&) {
            break; // no more threads to be had: the ones running (and this one) do the rest
        }
    }
    run();
    for (std::thread& thread : pool)
        thread.join();
}

inline bool is_split(const PPoint* p) {
    return (p->flags & PPOINT_SPLIT) != 0;
}

// Boundary rule: a chart cut along its mirror line has a long run of split points on its
// boundary. The pins are the middle of that run and the middle of the rest of the loop.
bool pins_from_boundary(PChart* chart, PHalfEdge* b0, PPoint** pin1, PPoint** pin2) {
    PHalfEdge* last = unwrap_boundary_prev(b0);
    if (!last)
        return false;
    PHalfEdge* runStart = nullptr;
    float runLength = 0.0f, best = 0.0f, total = 0.0f;
    PHalfEdge* bestStart = nullptr;
    PHalfEdge* bestEnd = nullptr;
    float firstLength = 0.0f;
    PHalfEdge* firstEnd = nullptr;

    PHalfEdge* b = b0;
    int steps = 0;
    do {
        PHalfEdge* next = unwrap_boundary_next(b);
        total += unwrap_edge_length(b);
        if (is_split(b->point) || (is_split(last->point) && is_split(next->point))) {
            if (!runStart)
                runStart = b;
            else
                runLength += unwrap_edge_length(last);
        } else if (runStart) {
            if (runLength > best) {
                best = runLength;
                bestStart = runStart;
                bestEnd = last;
            }
            if (runStart == b0) {
                firstLength = runLength;
                firstEnd = last;
            }
            runStart = nullptr;
            runLength = 0.0f;
        }
        last = b;
        b = next;
    } while (b != b0 && ++steps <= chart->nedges);

    // A run still open at the end goes on into the run that opened at the start.
    if (runStart && runStart != b0) {
        runLength = runLength + unwrap_edge_length(b0) + firstLength;
        if (runLength > best) {
            best = runLength;
            bestStart = runStart;
            bestEnd = firstEnd;
        }
    }
    if (!bestStart || !bestEnd || best < 0.5f * total)
        return false;

    // The middle of the run, walking in from both of its ends.
    PHalfEdge* w1 = bestStart;
    PHalfEdge* w2 = bestEnd;
    float l1 = 0.0f, l2 = 0.0f;
    // The walkers meet within one round of the loop; the bound only guards broken topology.
    int limit = 2 * chart->nedges + 2;
    do {
        if (l1 < l2) {
            l1 += unwrap_edge_length(w1);
            w1 = unwrap_boundary_next(w1);
        } else {
            w2 = unwrap_boundary_prev(w2);
            if (!w2)
                return false;
            l2 += unwrap_edge_length(w2);
        }
    } while (w1 != w2 && --limit > 0);
    if (w1 != w2)
        return false;
    PPoint* middle = w1->point;

    // The middle of the rest of the loop, walking out from both ends of the run.
    w1 = bestStart;
    w2 = bestEnd;
    l1 = l2 = 0.0f;
    limit = 2 * chart->nedges + 2;
    do {
        if (l1 < l2) {
            w1 = unwrap_boundary_prev(w1);
            if (!w1)
                return false;
            l1 += unwrap_edge_length(w1);
        } else {
            l2 += unwrap_edge_length(w2);
            w2 = unwrap_boundary_next(w2);
        }
    } while (w1 != w2 && --limit > 0);
    if (w1 != w2)
        return false;
    *pin1 = middle;
    *pin2 = w1->point;
    return true;
}

// Extremes rule: the lowest and highest point along the axis of largest extent.
void pins_from_extremes(PChart* chart, PPoint** pin1, PPoint** pin2) {
    float minv[3] = {1e20f, 1e20f, 1e20f}, maxv[3] = {-1e20f, -1e20f, -1e20f};
    PPoint* minp[3] = {chart->points, chart->points, chart->points};
    PPoint* maxp[3] = {chart->points, chart->points, chart->points};
    for (PPoint* p = chart->points; p; p = p->next) {
        for (int a = 0; a < 3; a++) {
            if (p->co[a] < minv[a]) {
                minv[a] = p->co[a];
                minp[a] = p;
            }
            if (p->co[a] > maxv[a]) {
                maxv[a] = p->co[a];
                maxp[a] = p;
            }
        }
    }
    int axis = 0;
    float extent = -1.0f;
    for (int a = 0; a < 3; a++) {
        if (maxv[a] - minv[a] > extent) {
            extent = maxv[a] - minv[a];
            axis = a;
        }
    }
    *pin1 = minp[axis];
    *pin2 = maxp[axis];
}

void chart_begin(PChart* chart, bool live, bool useAbf) {
    PChartSolver& s = chart->u.lscm;
    s.context = nullptr;
    s.abfAngles = nullptr;
    s.pin1 = s.pin2 = nullptr;
    s.live = nullptr;

    int npinned = 0;
    bool anyUnselected = false;
    for (PPoint* p = chart->points; p; p = p->next) {
        if (p->flags & PPOINT_PINNED)
            npinned++;
        if (!(p->flags & PPOINT_SELECTED))
            anyUnselected = true;
    }
    if ((live && (npinned == 0 || !anyUnselected)) || npinned == 1)
        return;

    if (useAbf)
        unwrap_abf_chart(chart);

    if (npinned > 1) {
        chart->flags |= PCHART_USER_PINNED;
    } else {
        unwrap_lscm_choose_pins(chart, &s.pin1, &s.pin2);
        unwrap_lscm_place_pins(chart, &s.pin1, &s.pin2);
    }

    int k = 0;
    for (PPoint* p = chart->points; p; p = p->next)
        p->key = k++;

    s.context = nl_new_context();
    nl_set_parameter(NL_PARAM_VARIABLE_COUNT, 2 * chart->npoints);
    nl_set_parameter(NL_PARAM_LEAST_SQUARES, 1);
    if (live)
        s.live = unwrap_live_rows_new(chart, s.abfAngles);
}

void lock_point(const PPoint* p) {
    unsigned u = unsigned(2 * p->key);
    nl_lock_variable(u);
    nl_lock_variable(u + 1);
}

void set_point(const PPoint* p) {
    unsigned u = unsigned(2 * p->key);
    nl_set_variable(u, p->uv[0]);
    nl_set_variable(u + 1, p->uv[1]);
}

// Two rows per triangle keep its angles: the third corner is placed from the first two.
void state_triangle_rows(const PTriangleRows& t) {
    const double cosine = t.cosine, sine = t.sine;
    const unsigned u1 = t.u[0], v1 = u1 + 1;
    const unsigned u2 = t.u[1], v2 = u2 + 1;
    const unsigned u3 = t.u[2], v3 = u3 + 1;

    nl_begin(NL_BLOCK_ROW);
    nl_coefficient(u1, cosine - 1.0f);
    nl_coefficient(v1, -sine);
    nl_coefficient(u2, -cosine);
    nl_coefficient(v2, sine);
    nl_coefficient(u3, 1.0f);
    nl_end(NL_BLOCK_ROW);

    nl_begin(NL_BLOCK_ROW);
    nl_coefficient(u1, sine);
    nl_coefficient(v1, cosine - 1.0f);
    nl_coefficient(u2, -sine);
    nl_coefficient(v2, -cosine);
    nl_coefficient(v3, 1.0f);
    nl_end(NL_BLOCK_ROW);
}

bool chart_solve(PChart* chart) {
    PChartSolver& s = chart->u.lscm;
    const PLiveRows* live = s.live;
    nl_make_current(s.context);
    nl_begin(NL_BLOCK_SYSTEM);

    // Pins the user moved since the last solve take effect here.
    if (live) {
        for (PPoint* p : live->pinned)
            unwrap_point_initial_uv(p);
    } else {
        for (PPoint* p = chart->points; p; p = p->next)
            if (p->flags & PPOINT_PINNED)
                unwrap_point_initial_uv(p);
    }

    if (s.pin1) {
        lock_point(s.pin1);
        lock_point(s.pin2);
        set_point(s.pin1);
        set_point(s.pin2);
    } else if (live) {
        for (const PPoint* p : live->pinned) {
            lock_point(p);
            set_point(p);
        }
    } else {
        for (PPoint* p = chart->points; p; p = p->next) {
            if (p->flags & PPOINT_PINNED) {
                lock_point(p);
                set_point(p);
            }
        }
    }

    nl_begin(NL_BLOCK_MATRIX);
    if (live && nl_restating_kept_rows()) {
        // Only the rows of triangles with a pinned corner have locked terms to state again.
        unsigned next = 0;
        for (unsigned i : live->pinnedTriangles) {
            nl_skip_free_rows(2 * (i - next));
            state_triangle_rows(live->triangles[i]);
            next = i + 1;
        }
        nl_skip_free_rows(2 * (unsigned(live->triangles.size()) - next));
    } else if (live) {
        for (const PTriangleRows& t : live->triangles)
            state_triangle_rows(t);
    } else {
        const float* abf = s.abfAngles;
        for (PTriangle* t = chart->triangles; t; t = t->next) {
            state_triangle_rows(unwrap_triangle_rows(t, abf));
            if (abf)
                abf += 3;
        }
    }
    nl_end(NL_BLOCK_MATRIX);
    nl_end(NL_BLOCK_SYSTEM);

    bool ok = nl_solve_reusing(true);
    auto take = [ok](PPoint* p) {
        unsigned u = unsigned(2 * p->key);
        p->uv[0] = ok ? nl_get_variable(u) : 0.0f;
        p->uv[1] = ok ? nl_get_variable(u + 1) : 0.0f;
    };
    if (live) {
        for (PPoint* p : live->points)
            take(p);
    } else {
        for (PPoint* p = chart->points; p; p = p->next)
            take(p);
    }
    return ok;
}

void chart_release(PChart* chart) {
    PChartSolver& s = chart->u.lscm;
    if (s.context)
        nl_delete_context(s.context);
    s.context = nullptr;
    if (s.abfAngles)
        mem_free(s.abfAngles);
    s.abfAngles = nullptr;
    s.pin1 = s.pin2 = nullptr;
    unwrap_live_rows_delete(s.live);
    s.live = nullptr;
}

// A solve of unwrap_lscm_solve, with the rotation and release that follow it.
void chart_solve_and_rotate(PChart* chart) {
    if (!chart->u.lscm.context)
        return;
    bool ok = chart_solve(chart);
    if (ok && !(chart->flags & PCHART_USER_PINNED))
        unwrap_chart_rotate_minimum_area(chart);
    if (!ok || chart->u.lscm.pin1)
        chart_release(chart);
}

} // namespace

void unwrap_lscm_choose_pins(PChart* chart, PPoint** pin1, PPoint** pin2) {
    int nboundaries;
    PHalfEdge* outer;
    unwrap_chart_boundaries(chart, &nboundaries, &outer);
    if (outer && pins_from_boundary(chart, outer, pin1, pin2))
        return;
    pins_from_extremes(chart, pin1, pin2);
}

void unwrap_lscm_place_pins(PChart* chart, PPoint** pin1, PPoint** pin2) {
    PPoint* a = *pin1;
    PPoint* b = *pin2;
    if (a == b) {
        a = chart->triangles->edge->point;
        b = chart->triangles->edge->nextInTri->point;
        a->uv[0] = 0.0f;
        a->uv[1] = 0.5f;
        b->uv[0] = 1.0f;
        b->uv[1] = 0.5f;
        *pin1 = a;
        *pin2 = b;
        return;
    }

    float d[3];
    for (int k = 0; k < 3; k++)
        d[k] = std::fabs(a->co[k] - b->co[k]);
    int uAxis, vAxis;
    if (d[0] > d[1] && d[0] > d[2]) {
        uAxis = 0;
        vAxis = d[1] > d[2] ? 1 : 2;
    } else if (d[1] > d[0] && d[1] > d[2]) {
        uAxis = 1;
        vAxis = d[0] > d[2] ? 0 : 2;
    } else {
        // Z dominates: z goes on v.
        vAxis = 2;
        uAxis = d[0] > d[1] ? 0 : 1;
    }
    a->uv[0] = a->co[uAxis];
    a->uv[1] = a->co[vAxis];
    b->uv[0] = b->co[uAxis];
    b->uv[1] = b->co[vAxis];
}

void unwrap_lscm_begin(PHandle* handle, bool live, bool useAbf) {
    SUPPORT_REQUIRE(handle->state == PHANDLE_STATE_ALLOCATED,
                    "unwrap_lscm_begin: the handle's charts are not built, or LSCM has begun");
    handle->state = PHANDLE_STATE_LSCM;
    handle->live = live;
    // A live run serves a drag on the UI thread: it stays there.
    for_each_chart(handle, !live, [&](PChart* chart) { chart_begin(chart, live, useAbf); });
}

void unwrap_lscm_solve(PHandle* handle) {
    SUPPORT_REQUIRE(handle->state == PHANDLE_STATE_LSCM,
                    "unwrap_lscm_solve: needs unwrap_lscm_begin first");
    for_each_chart(handle, !handle->live, chart_solve_and_rotate);
}

void unwrap_lscm_flatten(PHandle* handle, bool useAbf) {
    SUPPORT_REQUIRE(handle->state == PHANDLE_STATE_ALLOCATED,
                    "unwrap_lscm_flatten: the handle's charts are not built, or LSCM has begun");
    handle->state = PHANDLE_STATE_LSCM;
    handle->live = false;
    for_each_chart(handle, true, [useAbf](PChart* chart) {
        if (chart->flags & PCHART_LAID_OUT) {
            chart->u.lscm = PChartSolver{};
            return;
        }
        chart_begin(chart, false, useAbf);
        chart_solve_and_rotate(chart);
    });
}

void unwrap_for_each_chart(PHandle* handle, const std::function<void(PChart*)>& work) {
    for_each_chart(handle, true, work);
}

int unwrap_thread_count() {
    if (const char* text = std::getenv("MARROWBY_THREADS")) {
        char* end = nullptr;
        long value = std::strtol(text, &end, 10);
        if (end != text && *end == '\0' && value > 0)
            return int(std::min(value, 256L));
    }
    unsigned cores = std::thread::hardware_concurrency();
    return cores > 0 ? int(cores) : 1;
}

void unwrap_lscm_end(PHandle* handle) {
    SUPPORT_REQUIRE(handle->state == PHANDLE_STATE_LSCM,
                    "unwrap_lscm_end: needs unwrap_lscm_begin first");
    for (int i = 0; i < handle->ncharts; i++)
        chart_release(handle->charts[i]);
    handle->state = PHANDLE_STATE_ALLOCATED;
}
