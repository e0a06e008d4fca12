// Conformal-map systems over triangulated grids (two rows per triangle, two pinned corners) of
// 10,000, 100,000 and 1,000,000 points: assembly, ordering, factorisation, first solve, the live
// re-solve through the kept factorisation, the refinement steps of both, fill and peak memory.
// BM_LscmGridOrdering runs the column ordering without refinement beside them.
//
// The benchmark links with --wrap for sgstrf and get_perm_c so that the layer's own calls are
// timed where they happen. Sizes run in ascending order, so the peak resident size read after a
// size is that size's peak. Which BLAS SuperLU runs on is read from the process's mappings; see
// run_blas_comparison.sh.

#include "Lscm/opennl_context.h"

#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <time.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <fstream>
#include <string>
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

double ordering_ms = 0.0;
double factor_ms = 0.0;
double factor_cpu_ms = 0.0;

std::string blas_in_use() {
    std::ifstream maps("/proc/self/maps");
    std::string line;
    while (std::getline(maps, line)) {
        auto at = line.find('/');
        if (at == std::string::npos)
            continue;
        std::string path = line.substr(at);
        if (path.find("libblas") != std::string::npos ||
            path.find("libopenblas") != std::string::npos) {
            if (path.find("openblas") != std::string::npos)
                return "openblas";
            return "reference";
        }
    }
    return "unknown";
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
    double assembly = 0, first = 0, ordering = 0, factor = 0, factor_cpu = 0, live = 0;
    double live_solve = 0;
    double fill = 0, matrix_entries = 0;
    double first_steps = 0, live_steps = 0;
    bool ok = true;
    for (auto _ : state) {
        ordering_ms = factor_ms = factor_cpu_ms = 0.0;
        const long steps_before = nl_refinement_steps();
        auto t0 = Clock::now();
        NLContext* ctx = nl_new_context();
        nl_set_parameter(NL_PARAM_VARIABLE_COUNT, int(2 * grid.points()));
        nl_set_parameter(NL_PARAM_LEAST_SQUARES, 1);
        state_system(grid, 0.0f);
        assembly = ms_since(t0);
        matrix_entries = 0;
        for (unsigned i = 0; i < ctx->M.m; ++i)
            matrix_entries += ctx->M.rows[i].size;

        t0 = Clock::now();
        ok = nl_solve_reusing(true) && ok;
        first = ms_since(t0);
        ordering = ordering_ms;
        factor = factor_ms;
        factor_cpu = factor_cpu_ms;
        if (ctx->L.Store != nullptr && ctx->U.Store != nullptr)
            fill = double(static_cast<SCformat*>(ctx->L.Store)->nnz) +
                   double(static_cast<NCformat*>(ctx->U.Store)->nnz);

        first_steps = double(nl_refinement_steps() - steps_before);
        live = live_solve = 0.0;
        const long live_before = nl_refinement_steps();
        for (int r = 1; r <= resolves; ++r) {
            t0 = Clock::now();
            state_system(grid, 0.01f * float(r));
            auto t1 = Clock::now();
            ok = nl_solve_reusing(true) && ok;
            live_solve += ms_since(t1);
            live += ms_since(t0);
        }
        live_steps = double(nl_refinement_steps() - live_before) / resolves;
        live /= resolves;
        live_solve /= resolves;
        state.SetIterationTime(first / 1000.0);
        nl_delete_context(ctx);
    }
    if (!ok)
        state.SkipWithError("a solve failed");
    state.SetLabel(blas_in_use());
    state.counters["points"] = double(grid.points());
    state.counters["assembly_ms"] = assembly;
    state.counters["ordering_ms"] = ordering;
    state.counters["factor_ms"] = factor;
    state.counters["factor_cpu_ms"] = factor_cpu;
    state.counters["first_solve_ms"] = first;
    state.counters["resolve_ms"] = live;
    state.counters["resolve_solve_ms"] = live_solve;
    state.counters["resolve/first"] = live / first;
    state.counters["M_nnz"] = matrix_entries;
    state.counters["refine_steps_first"] = first_steps;
    state.counters["refine_steps_resolve"] = live_steps;
    state.counters["LU_nnz"] = fill;
    state.counters["peak_rss_MB"] = peak_rss_mb();
}

// The same with the column ordering for unsymmetric matrices (COLAMD, partial pivoting) and
// single-precision solves without refinement: the layer as it was first designed.
void BM_LscmGridOrdering(benchmark::State& state) {
    const NLFactorOptions saved = nl_factor_options();
    nl_factor_options() = NLFactorOptions{NL_ORDERING_COLAMD, NL_ORDERING_COLAMD, false, false};
    BM_LscmGrid(state);
    nl_factor_options() = saved;
}

BENCHMARK(BM_LscmGridOrdering)
    ->Arg(10000)
    ->Arg(100000)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

BENCHMARK(BM_LscmGrid)
    ->Arg(10000)
    ->Arg(100000)
    ->Arg(1000000)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

} // namespace

extern "C" {
void __real_sgstrf(superlu_options_t*, SuperMatrix*, int, int, int*, void*, int, int*, int*,
                   SuperMatrix*, SuperMatrix*, GlobalLU_t*, SuperLUStat_t*, int*);
void __real_get_perm_c(int, SuperMatrix*, int*);

void __wrap_sgstrf(superlu_options_t* options, SuperMatrix* A, int relax, int panel_size,
                   int* etree, void* work, int lwork, int* perm_c, int* perm_r, SuperMatrix* L,
                   SuperMatrix* U, GlobalLU_t* glu, SuperLUStat_t* stat, int* info) {
    auto t0 = Clock::now();
    double c0 = cpu_ms();
    __real_sgstrf(options, A, relax, panel_size, etree, work, lwork, perm_c, perm_r, L, U, glu,
                  stat, info);
    factor_ms += ms_since(t0);
    factor_cpu_ms += cpu_ms() - c0;
}

void __wrap_get_perm_c(int ispec, SuperMatrix* A, int* perm_c) {
    auto t0 = Clock::now();
    __real_get_perm_c(ispec, A, perm_c);
    ordering_ms += ms_since(t0);
}
}

BENCHMARK_MAIN();
