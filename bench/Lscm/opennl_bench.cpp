// Conformal-map systems over triangulated grids (two rows per triangle, two pinned corners) of
// 10,000, 100,000 and 1,000,000 points: assembly, the Cholesky factorisation of the normal
// equations, the first solve, the live re-solve through the kept factorisation, fill and peak
// memory. Sizes run in ascending order, so the peak resident size read after a size is that
// size's peak.

#include "Lscm/opennl_context.h"

#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <time.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double ms_since(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Process CPU time: the machine may be shared, and wall time then also counts other loads.
double cpu_ms() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

double peak_rss_mb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0;
}

// One conformal triangle: corners ordered with the largest sine last, and its two coefficients.
struct GridTriangle {
    unsigned p[3];
    float c, s;
};

struct Grid {
    unsigned side;
    std::vector<float> xyz;
    std::vector<GridTriangle> triangles;
    unsigned points() const { return side * side; }
};

// (P1, P2, P3) -> (P3, P1, P2).
template <typename T> void rotate_corners(T (&a)[3]) {
    T last = a[2];
    a[2] = a[1];
    a[1] = a[0];
    a[0] = last;
}

float corner_angle(const Grid& g, unsigned at, unsigned p, unsigned q) {
    float u[3], v[3];
    for (int k = 0; k < 3; ++k) {
        u[k] = g.xyz[3 * p + k] - g.xyz[3 * at + k];
        v[k] = g.xyz[3 * q + k] - g.xyz[3 * at + k];
    }
    float dot = u[0] * v[0] + u[1] * v[1] + u[2] * v[2];
    float cx = u[1] * v[2] - u[2] * v[1], cy = u[2] * v[0] - u[0] * v[2],
          cz = u[0] * v[1] - u[1] * v[0];
    return std::atan2(std::sqrt(cx * cx + cy * cy + cz * cz), dot);
}

Grid make_grid(unsigned points) {
    Grid g;
    g.side = unsigned(std::lround(std::sqrt(double(points))));
    const unsigned n = g.side;
    g.xyz.reserve(3 * size_t(n) * n);
    for (unsigned j = 0; j < n; ++j)
        for (unsigned i = 0; i < n; ++i) {
            float x = float(i) / float(n - 1), y = float(j) / float(n - 1);
            g.xyz.insert(g.xyz.end(), {x, y, 0.3f * std::sin(3.0f * x) * std::cos(2.0f * y)});
        }
    g.triangles.reserve(2 * size_t(n - 1) * (n - 1));
    for (unsigned j = 0; j + 1 < n; ++j)
        for (unsigned i = 0; i + 1 < n; ++i) {
            unsigned a = j * n + i, b = a + 1, c = a + n, d = c + 1;
            for (auto tri : {std::array<unsigned, 3>{a, b, d}, std::array<unsigned, 3>{a, d, c}}) {
                GridTriangle t{{tri[0], tri[1], tri[2]}, 0.0f, 0.0f};
                float ang[3] = {corner_angle(g, t.p[0], t.p[1], t.p[2]),
                                corner_angle(g, t.p[1], t.p[2], t.p[0]),
                                corner_angle(g, t.p[2], t.p[0], t.p[1])};
                while (std::sin(ang[2]) < std::max(std::sin(ang[0]), std::sin(ang[1]))) {
                    rotate_corners(t.p);
                    rotate_corners(ang);
                }
                float ratio = std::sin(ang[2]) == 0.0f ? 1.0f : std::sin(ang[1]) / std::sin(ang[2]);
                t.c = std::cos(ang[0]) * ratio;
                t.s = std::sin(ang[0]) * ratio;
                g.triangles.push_back(t);
            }
        }
    return g;
}

// The live cycle of one solve: pins, rows, solve. shift moves the second pin, as a drag does.
void state_system(const Grid& g, float shift) {
    const unsigned pins[2] = {0, g.points() - 1};
    nl_begin(NL_BLOCK_SYSTEM);
    for (unsigned k = 0; k < 2; ++k) {
        unsigned p = pins[k];
        nl_lock_variable(2 * p);
        nl_lock_variable(2 * p + 1);
        nl_set_variable(2 * p, g.xyz[3 * p] + (k == 1 ? shift : 0.0f));
        nl_set_variable(2 * p + 1, g.xyz[3 * p + 1]);
    }
    nl_begin(NL_BLOCK_MATRIX);
    for (const GridTriangle& t : g.triangles) {
        const unsigned u1 = 2 * t.p[0], u2 = 2 * t.p[1], u3 = 2 * t.p[2];
        nl_begin(NL_BLOCK_ROW);
        nl_coefficient(u1, t.c - 1.0f);
        nl_coefficient(u1 + 1, -t.s);
        nl_coefficient(u2, -t.c);
        nl_coefficient(u2 + 1, t.s);
        nl_coefficient(u3, 1.0f);
        nl_end(NL_BLOCK_ROW);
        nl_begin(NL_BLOCK_ROW);
        nl_coefficient(u1, t.s);
        nl_coefficient(u1 + 1, t.c - 1.0f);
        nl_coefficient(u2, -t.s);
        nl_coefficient(u2 + 1, -t.c);
        nl_coefficient(u3 + 1, 1.0f);
        nl_end(NL_BLOCK_ROW);
    }
    nl_end(NL_BLOCK_MATRIX);
    nl_end(NL_BLOCK_SYSTEM);
}

void BM_LscmGrid(benchmark::State& state) {
    const Grid grid = make_grid(unsigned(state.range(0)));
    constexpr int resolves = 5;
    double assembly = 0, first = 0, factor = 0, factor_cpu = 0, live = 0, live_solve = 0;
    double fill = 0, row_entries = 0, factor_peak = 0;
    bool ok = true;
    for (auto _ : state) {
        auto t0 = Clock::now();
        NLContext* ctx = nl_new_context();
        nl_set_parameter(NL_PARAM_VARIABLE_COUNT, int(2 * grid.points()));
        nl_set_parameter(NL_PARAM_LEAST_SQUARES, 1);
        state_system(grid, 0.0f);
        assembly = ms_since(t0);
        row_entries = double(ctx->stated.nnz);

        // The factorisation alone (normal equations, ordering, numeric), as the first solve
        // makes it; released before that solve so that the peaks do not add up.
        t0 = Clock::now();
        const double c0 = cpu_ms();
        NLCholesky* factor_only = nl_cholesky_factorize(ctx->stated, ctx->n, true);
        factor = ms_since(t0);
        factor_cpu = cpu_ms() - c0;
        factor_peak = peak_rss_mb();
        fill = double(nl_cholesky_entries(factor_only));
        ok = factor_only != nullptr && ok;
        nl_cholesky_release(factor_only);

        t0 = Clock::now();
        ok = nl_solve_reusing(true) && ok;
        first = ms_since(t0);

        live = live_solve = 0.0;
        for (int r = 1; r <= resolves; ++r) {
            t0 = Clock::now();
            state_system(grid, 0.01f * float(r));
            auto t1 = Clock::now();
            ok = nl_solve_reusing(true) && ok;
            live_solve += ms_since(t1);
            live += ms_since(t0);
        }
        live /= resolves;
        live_solve /= resolves;
        state.SetIterationTime(first / 1000.0);
        nl_delete_context(ctx);
    }
    if (!ok)
        state.SkipWithError("a solve failed");
    state.counters["points"] = double(grid.points());
    state.counters["assembly_ms"] = assembly;
    state.counters["factor_ms"] = factor;
    state.counters["factor_cpu_ms"] = factor_cpu;
    state.counters["first_solve_ms"] = first;
    state.counters["resolve_ms"] = live;
    state.counters["resolve_solve_ms"] = live_solve;
    state.counters["resolve/first"] = live / first;
    state.counters["A_nnz"] = row_entries;
    state.counters["L_nnz"] = fill;
    state.counters["factor_peak_MB"] = factor_peak;
    state.counters["peak_rss_MB"] = peak_rss_mb();
}

BENCHMARK(BM_LscmGrid)
    ->Arg(10000)
    ->Arg(100000)
    ->Arg(1000000)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
