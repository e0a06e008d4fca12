// Flattening and packing: ABF of one chart (time and Newton steps), the first LSCM solve of a chart
// (assembly of the normal equations, factorisation and solve), a live re-solve through the kept
// factorisation, the minimum-area rotation, packing, and the whole flow (ABF + LSCM + rotation +
// packing) on generated meshes cut into about 100 charts and on the real meshes.
//
// Large cases run one iteration each; the figure is the time of that run. Construction of the
// handle is not timed (see bench_unwrap_construct).

#include "Lscm/opennl_context.h"
#include "support/guarded_alloc.h"
#include "unwrap/unwrap.h"
#include "unwrap/unwrap_abf.h"
#include "unwrap/unwrap_lscm.h"
#include "unwrap/unwrap_pack.h"

#include <benchmark/benchmark.h>
#include <slu_sdefs.h>

#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

// The benchmark links with --wrap for SuperLU's ordering, factorisation and solve calls, so that
// the time inside them can be told apart from the engine's own assembly work.
struct SuperluTimes {
    double ordering = 0; // get_perm_c (COLAMD)
    double factor = 0;   // sgstrf
    double trisolve = 0; // sgstrs through kept factors
    double oneshot = 0;  // sgssv (ABF's Newton steps)
    double factorNonzeros = 0;
};
SuperluTimes superlu;

using Clock = std::chrono::steady_clock;
double since(Clock::time_point t) {
    return std::chrono::duration<double>(Clock::now() - t).count();
}

extern "C" {
void __real_get_perm_c(int, SuperMatrix*, int*);
void __real_sgstrf(superlu_options_t*, SuperMatrix*, int, int, int*, void*, int, int*, int*,
                   SuperMatrix*, SuperMatrix*, GlobalLU_t*, SuperLUStat_t*, int*);
void __real_sgstrs(trans_t, SuperMatrix*, SuperMatrix*, int*, int*, SuperMatrix*, SuperLUStat_t*,
                   int*);
void __real_sgssv(superlu_options_t*, SuperMatrix*, int*, int*, SuperMatrix*, SuperMatrix*,
                  SuperMatrix*, SuperLUStat_t*, int*);

void __wrap_get_perm_c(int ispec, SuperMatrix* A, int* perm_c) {
    auto t = Clock::now();
    __real_get_perm_c(ispec, A, perm_c);
    superlu.ordering += since(t);
}
void __wrap_sgstrf(superlu_options_t* options, SuperMatrix* A, int relax, int panel, int* etree,
                   void* work, int lwork, int* perm_c, int* perm_r, SuperMatrix* L, SuperMatrix* U,
                   GlobalLU_t* glu, SuperLUStat_t* stat, int* info) {
    auto t = Clock::now();
    __real_sgstrf(options, A, relax, panel, etree, work, lwork, perm_c, perm_r, L, U, glu, stat,
                  info);
    superlu.factor += since(t);
    if (*info == 0)
        superlu.factorNonzeros += double(static_cast<SCformat*>(L->Store)->nnz) +
                                  double(static_cast<NCformat*>(U->Store)->nnz);
}
void __wrap_sgstrs(trans_t trans, SuperMatrix* L, SuperMatrix* U, int* perm_c, int* perm_r,
                   SuperMatrix* B, SuperLUStat_t* stat, int* info) {
    auto t = Clock::now();
    __real_sgstrs(trans, L, U, perm_c, perm_r, B, stat, info);
    superlu.trisolve += since(t);
}
void __wrap_sgssv(superlu_options_t* options, SuperMatrix* A, int* perm_c, int* perm_r,
                  SuperMatrix* L, SuperMatrix* U, SuperMatrix* B, SuperLUStat_t* stat, int* info) {
    auto t = Clock::now();
    __real_sgssv(options, A, perm_c, perm_r, L, U, B, stat, info);
    superlu.oneshot += since(t);
}
}

namespace {

// Reports the SuperLU share of the timed runs (seconds per iteration) and resets the totals.
void report_superlu(benchmark::State& state) {
    double n = double(state.iterations());
    if (n <= 0)
        n = 1;
    state.counters["order_s"] = superlu.ordering / n;
    state.counters["factor_s"] = superlu.factor / n;
    state.counters["trisolve_s"] = superlu.trisolve / n;
    state.counters["sgssv_s"] = superlu.oneshot / n;
    state.counters["LU_nnz"] = superlu.factorNonzeros / n;
    superlu = SuperluTimes{};
}

void reset_superlu() {
    superlu = SuperluTimes{};
}

struct BenchMesh {
    std::vector<std::array<float, 3>> positions;
    std::vector<std::array<int, 3>> triangles;
    std::vector<std::array<float, 6>> uvs; // three UV pairs per triangle
    std::vector<std::array<uint8_t, 3>> pins;
    std::vector<std::pair<int, int>> seams;
};

int grid_key(int n, int x, int y) {
    return y * (n + 1) + x;
}

// An n x n grid of quads (2 n^2 triangles) over a smooth bumpy height field, cut by seams along
// every (n / cuts)-th grid line into cuts x cuts charts (one chart for cuts = 1).
BenchMesh make_surface(int n, int cuts) {
    BenchMesh mesh;
    for (int y = 0; y <= n; y++)
        for (int x = 0; x <= n; x++)
            mesh.positions.push_back(
                {float(x), float(y),
                 6.0f * std::sin(float(x) * 0.05f) * std::cos(float(y) * 0.04f)});
    for (int y = 0; y < n; y++) {
        for (int x = 0; x < n; x++) {
            int a = grid_key(n, x, y), b = grid_key(n, x + 1, y);
            int c = grid_key(n, x + 1, y + 1), d = grid_key(n, x, y + 1);
            // Alternating diagonals, so that points have fans of 4 and 8.
            if ((x + y) % 2 == 0) {
                mesh.triangles.push_back({a, b, c});
                mesh.triangles.push_back({a, c, d});
            } else {
                mesh.triangles.push_back({a, b, d});
                mesh.triangles.push_back({b, c, d});
            }
        }
    }
    if (cuts > 1) {
        int step = n / cuts;
        for (int i = step; i + step / 2 < n; i += step) {
            for (int j = 0; j < n; j++) {
                mesh.seams.push_back({grid_key(n, i, j), grid_key(n, i, j + 1)});
                mesh.seams.push_back({grid_key(n, j, i), grid_key(n, j + 1, i)});
            }
        }
    }
    mesh.uvs.resize(mesh.triangles.size());
    mesh.pins.resize(mesh.triangles.size());
    return mesh;
}

// Pins two corners of a one-chart surface (both grid corners on the x axis), so that its LSCM
// context is kept for live re-solves.
void pin_two_corners(BenchMesh& mesh, int n) {
    int a = grid_key(n, 0, 0), b = grid_key(n, n, 0);
    for (size_t t = 0; t < mesh.triangles.size(); t++) {
        for (int k = 0; k < 3; k++) {
            int v = mesh.triangles[t][size_t(k)];
            if (v == a || v == b) {
                mesh.pins[t][size_t(k)] = 1;
                mesh.uvs[t][size_t(2 * k)] = v == a ? 0.0f : 1.0f;
                mesh.uvs[t][size_t(2 * k + 1)] = 0.0f;
            }
        }
    }
}

BenchMesh load_obj(const std::string& path) {
    BenchMesh mesh;
    mesh.positions.push_back({0, 0, 0});
    FILE* f = std::fopen(path.c_str(), "r");
    if (!f)
        return mesh;
    char line[512];
    while (std::fgets(line, sizeof line, f)) {
        if (line[0] == 'v' && line[1] == ' ') {
            std::array<float, 3> p{};
            if (std::sscanf(line + 2, "%f %f %f", &p[0], &p[1], &p[2]) == 3)
                mesh.positions.push_back(p);
        } else if (line[0] == 'f' && line[1] == ' ') {
            std::array<int, 3> t{};
            if (std::sscanf(line + 2, "%d %d %d", &t[0], &t[1], &t[2]) == 3)
                mesh.triangles.push_back(t);
        }
    }
    std::fclose(f);
    // Seams across three planes along y, so that closed meshes open up into charts.
    float lo = 1e30f, hi = -1e30f;
    for (size_t i = 1; i < mesh.positions.size(); i++) {
        lo = std::fmin(lo, mesh.positions[i][1]);
        hi = std::fmax(hi, mesh.positions[i][1]);
    }
    for (const auto& t : mesh.triangles) {
        for (int k = 0; k < 3; k++) {
            int a = t[size_t(k)], b = t[size_t((k + 1) % 3)];
            if (a <= 0 || b <= 0 || size_t(a) >= mesh.positions.size() ||
                size_t(b) >= mesh.positions.size())
                continue;
            float ya = mesh.positions[size_t(a)][1], yb = mesh.positions[size_t(b)][1];
            for (int s = 1; s < 4; s++) {
                float cut = lo + (hi - lo) * float(s) / 4.0f;
                if ((ya < cut) != (yb < cut))
                    mesh.seams.push_back({a, b});
            }
        }
    }
    mesh.uvs.resize(mesh.triangles.size());
    mesh.pins.resize(mesh.triangles.size());
    return mesh;
}

PHandle* build(BenchMesh& mesh) {
    PHandle* handle = unwrap_handle_create();
    for (size_t t = 0; t < mesh.triangles.size(); t++) {
        int keys[3];
        float* co[3];
        float* uv[3];
        bool valid = true;
        for (int k = 0; k < 3; k++) {
            keys[k] = mesh.triangles[t][size_t(k)];
            valid = valid && keys[k] >= 0 && size_t(keys[k]) < mesh.positions.size();
            co[k] = valid ? mesh.positions[size_t(keys[k])].data() : nullptr;
            uv[k] = &mesh.uvs[t][size_t(2 * k)];
        }
        if (valid)
            unwrap_add_face(handle, int(t), 3, keys, co, uv, mesh.pins[t].data(), nullptr);
    }
    for (auto [a, b] : mesh.seams)
        unwrap_mark_seam(handle, a, b);
    unwrap_construct_end(handle, true);
    return handle;
}

PChart* largest_chart(PHandle* handle) {
    PChart* best = nullptr;
    for (int i = 0; i < handle->ncharts; i++)
        if (!best || handle->charts[i]->ntriangles > best->ntriangles)
            best = handle->charts[i];
    return best;
}

int side_for(int64_t triangles) {
    return int(std::lround(std::sqrt(double(triangles) / 2.0)));
}

// ABF of one generated chart.
void BM_AbfChart(benchmark::State& state) {
    int n = side_for(state.range(0));
    BenchMesh mesh = make_surface(n, 1);
    int steps = 0, ok = 0, triangles = 0;
    reset_superlu();
    for (auto _ : state) {
        state.PauseTiming();
        PHandle* handle = build(mesh);
        PChart* chart = handle->charts[0];
        triangles = chart->ntriangles;
        state.ResumeTiming();
        ok = unwrap_abf_chart(chart);
        state.PauseTiming();
        steps = unwrap_abf_last_steps();
        if (chart->u.lscm.abfAngles)
            mem_free(chart->u.lscm.abfAngles);
        unwrap_delete(handle);
        state.ResumeTiming();
    }
    state.counters["triangles"] = triangles;
    report_superlu(state);
    state.counters["newton_steps"] = steps;
    state.counters["converged"] = ok;
}

// ABF of one generated chart with the square Newton systems ordered by columns (COLAMD, partial
// pivoting; range 1 = 0) or symmetrically (minimum degree on M + Mᵀ, diagonal pivots; 1).
void BM_AbfChartOrdering(benchmark::State& state) {
    const NLFactorOptions saved = nl_factor_options();
    nl_factor_options().square = state.range(1) ? NL_ORDERING_SYMMETRIC : NL_ORDERING_COLAMD;
    BM_AbfChart(state);
    nl_factor_options() = saved;
}

// First LSCM solve of one generated chart with two user pins: the statement of its rows, the
// normal equations, their ordering and Cholesky factorisation, and the triangular solves (3D
// angles, no rotation).
void BM_LscmFirstSolve(benchmark::State& state) {
    int n = side_for(state.range(0));
    BenchMesh mesh = make_surface(n, 1);
    pin_two_corners(mesh, n);
    for (auto _ : state) {
        state.PauseTiming();
        PHandle* handle = build(mesh);
        unwrap_lscm_begin(handle, true, false);
        state.ResumeTiming();
        unwrap_lscm_solve(handle);
        state.PauseTiming();
        unwrap_lscm_end(handle);
        unwrap_delete(handle);
        state.ResumeTiming();
    }
    state.counters["triangles"] = double(mesh.triangles.size());
}

// Live re-solve of one generated chart: the pins move, b is rebuilt and the kept factors solve
// (or earlier solutions are combined).
void BM_LscmLiveResolve(benchmark::State& state) {
    int n = side_for(state.range(0));
    BenchMesh mesh = make_surface(n, 1);
    pin_two_corners(mesh, n);
    PHandle* handle = build(mesh);
    unwrap_lscm_begin(handle, true, false);
    unwrap_lscm_solve(handle);
    float shift = 0.0f;
    auto step = [&] {
        shift += 0.01f;
        for (size_t t = 0; t < mesh.triangles.size(); t++)
            for (int k = 0; k < 3; k++)
                if (mesh.pins[t][size_t(k)] && mesh.uvs[t][size_t(2 * k)] > 0.5f)
                    mesh.uvs[t][size_t(2 * k + 1)] = shift;
        unwrap_lscm_solve(handle);
        unwrap_flush(handle);
    };
    // The figure is a step of a drag under way: its first three steps are not timed.
    for (int i = 0; i < 3; i++)
        step();
    const long recycledBefore = nl_recycled_solves(), directBefore = nl_direct_resolves();
    for (auto _ : state)
        step();
    state.counters["recycled"] = double(nl_recycled_solves() - recycledBefore);
    state.counters["direct"] = double(nl_direct_resolves() - directBefore);
    state.counters["triangles"] = double(mesh.triangles.size());
    unwrap_lscm_end(handle);
    unwrap_delete(handle);
}

// The same with every re-solve going through the factors (no recycled solutions).
void BM_LscmLiveResolveDirect(benchmark::State& state) {
    const NLFactorOptions saved = nl_factor_options();
    nl_factor_options().recycle = false;
    BM_LscmLiveResolve(state);
    nl_factor_options() = saved;
}

// Minimum-area rotation of one solved generated chart.
void BM_RotateChart(benchmark::State& state) {
    int n = side_for(state.range(0));
    BenchMesh mesh = make_surface(n, 1);
    PHandle* handle = build(mesh);
    unwrap_lscm_begin(handle, false, false);
    unwrap_lscm_solve(handle);
    unwrap_lscm_end(handle);
    PChart* chart = handle->charts[0];
    reset_superlu();
    for (auto _ : state)
        unwrap_chart_rotate_minimum_area(chart);
    state.counters["triangles"] = chart->ntriangles;
    unwrap_delete(handle);
}

struct WholeRun {
    int charts = 0;
    int abfConverged = 0;
    int largest = 0;
};

// ABF + LSCM (with rotation) + packing of every chart of a built handle; timed parts only.
void run_whole(benchmark::State& state, PHandle* handle, WholeRun* run, double* abfSeconds,
               double* packSeconds) {
    run->charts = handle->ncharts;
    run->largest = largest_chart(handle) ? largest_chart(handle)->ntriangles : 0;
    auto t0 = std::chrono::steady_clock::now();
    unwrap_lscm_begin(handle, false, true);
    auto t1 = std::chrono::steady_clock::now();
    state.PauseTiming();
    run->abfConverged = 0;
    for (int i = 0; i < handle->ncharts; i++)
        if (handle->charts[i]->u.lscm.abfAngles)
            run->abfConverged++;
    state.ResumeTiming();
    unwrap_lscm_solve(handle);
    unwrap_lscm_end(handle);
    auto t2 = std::chrono::steady_clock::now();
    unwrap_pack(handle);
    auto t3 = std::chrono::steady_clock::now();
    *abfSeconds = std::chrono::duration<double>(t1 - t0).count();
    *packSeconds = std::chrono::duration<double>(t3 - t2).count();
}

void whole_mesh(benchmark::State& state, BenchMesh& mesh) {
    WholeRun run;
    double abf = 0, pack = 0;
    reset_superlu();
    for (auto _ : state) {
        state.PauseTiming();
        PHandle* handle = build(mesh);
        state.ResumeTiming();
        run_whole(state, handle, &run, &abf, &pack);
        state.PauseTiming();
        unwrap_delete(handle);
        state.ResumeTiming();
    }
    state.counters["triangles"] = double(mesh.triangles.size());
    report_superlu(state);
    state.counters["charts"] = run.charts;
    state.counters["largest_chart"] = run.largest;
    state.counters["abf_converged"] = run.abfConverged;
    state.counters["abf_s"] = abf;
    state.counters["pack_s"] = pack;
}

// A generated mesh of about range(0) triangles cut into about 100 charts.
void BM_WholeGenerated(benchmark::State& state) {
    int n = side_for(state.range(0));
    BenchMesh mesh = make_surface(n, 10);
    whole_mesh(state, mesh);
}

void BM_WholeRealMesh(benchmark::State& state, const char* name) {
    BenchMesh mesh = load_obj(std::string(MARROWBY_MESH_DIR) + "/" + name);
    if (mesh.triangles.empty()) {
        state.SkipWithError("mesh file missing");
        return;
    }
    whole_mesh(state, mesh);
}

// Per chart of a real mesh: how ABF fares on each of the largest charts.
void BM_AbfRealCharts(benchmark::State& state, const char* name) {
    BenchMesh mesh = load_obj(std::string(MARROWBY_MESH_DIR) + "/" + name);
    if (mesh.triangles.empty()) {
        state.SkipWithError("mesh file missing");
        return;
    }
    int charts = 0, converged = 0, steps = 0;
    reset_superlu();
    for (auto _ : state) {
        state.PauseTiming();
        PHandle* handle = build(mesh);
        state.ResumeTiming();
        charts = converged = steps = 0;
        for (int i = 0; i < handle->ncharts; i++) {
            PChart* chart = handle->charts[i];
            charts++;
            if (unwrap_abf_chart(chart)) {
                converged++;
                mem_free(chart->u.lscm.abfAngles);
                chart->u.lscm.abfAngles = nullptr;
            }
            steps += unwrap_abf_last_steps();
        }
        state.PauseTiming();
        unwrap_delete(handle);
        state.ResumeTiming();
    }
    state.counters["charts"] = charts;
    state.counters["abf_converged"] = converged;
    state.counters["newton_steps"] = steps;
    report_superlu(state);
}

} // namespace

BENCHMARK(BM_AbfChart)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_AbfChartOrdering)
    ->Args({100000, 0})
    ->Args({100000, 1})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
BENCHMARK(BM_LscmFirstSolve)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_LscmLiveResolve)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LscmLiveResolveDirect)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RotateChart)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WholeGenerated)
    ->Arg(10000)
    ->Arg(100000)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
BENCHMARK_CAPTURE(BM_WholeRealMesh, bunny, "bunny.obj")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
BENCHMARK_CAPTURE(BM_WholeRealMesh, dragon, "dragon_res3.obj")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
BENCHMARK_CAPTURE(BM_WholeRealMesh, snowden, "snowden.obj")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

BENCHMARK_CAPTURE(BM_AbfRealCharts, bunny, "bunny.obj")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
BENCHMARK_CAPTURE(BM_AbfRealCharts, snowden, "snowden.obj")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

BENCHMARK_MAIN();
