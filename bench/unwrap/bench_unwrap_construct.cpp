// Construction of an unwrap handle: add faces, mark seams, construct end with hole filling.
// Generated grids cut into about 100 charts (each with a hole to fill), at several sizes to
// show how the time grows, and the largest real mesh.

#include "unwrap/unwrap.h"

#include <benchmark/benchmark.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace {

struct BenchMesh {
    std::vector<std::array<float, 3>> positions;
    std::vector<std::array<int, 3>> triangles;
    std::vector<std::array<float, 6>> uvs; // three UV pairs per triangle
    std::vector<std::pair<int, int>> seams;
};

// An n x n grid of quads as triangles, cut along every (n / cuts)-th grid line into
// cuts x cuts charts, with one quad removed near the middle of every chart.
BenchMesh make_grid(int n, int cuts) {
    BenchMesh mesh;
    auto key = [n](int x, int y) { return y * (n + 1) + x; };
    for (int y = 0; y <= n; y++)
        for (int x = 0; x <= n; x++)
            mesh.positions.push_back(
                {float(x), float(y),
                 0.1f * std::sin(float(x) * 0.05f) * std::cos(float(y) * 0.07f)});
    int step = n / cuts;
    for (int y = 0; y < n; y++) {
        for (int x = 0; x < n; x++) {
            if (x % step == step / 2 && y % step == step / 2)
                continue; // the chart's hole
            int a = key(x, y), b = key(x + 1, y), c = key(x + 1, y + 1), d = key(x, y + 1);
            mesh.triangles.push_back({a, b, c});
            mesh.triangles.push_back({a, c, d});
        }
    }
    for (int i = step; i < n; i += step) {
        for (int j = 0; j < n; j++) {
            mesh.seams.push_back({key(i, j), key(i, j + 1)});
            mesh.seams.push_back({key(j, i), key(j + 1, i)});
        }
    }
    mesh.uvs.resize(mesh.triangles.size());
    return mesh;
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
            std::sscanf(line + 2, "%f %f %f", &p[0], &p[1], &p[2]);
            mesh.positions.push_back(p);
        } else if (line[0] == 'f' && line[1] == ' ') {
            std::array<int, 3> t{};
            if (std::sscanf(line + 2, "%d %d %d", &t[0], &t[1], &t[2]) == 3)
                mesh.triangles.push_back(t);
        }
    }
    std::fclose(f);
    mesh.uvs.resize(mesh.triangles.size());
    return mesh;
}

PHandle* construct(BenchMesh& mesh) {
    PHandle* handle = unwrap_handle_create();
    const uint8_t flags[3] = {0, 0, 0};
    for (size_t i = 0; i < mesh.triangles.size(); i++) {
        const std::array<int, 3>& t = mesh.triangles[i];
        float* co[3] = {mesh.positions[size_t(t[0])].data(), mesh.positions[size_t(t[1])].data(),
                        mesh.positions[size_t(t[2])].data()};
        float* uv[3] = {&mesh.uvs[i][0], &mesh.uvs[i][2], &mesh.uvs[i][4]};
        unwrap_add_face(handle, int(i), 3, t.data(), co, uv, flags, flags);
    }
    for (auto [a, b] : mesh.seams)
        unwrap_mark_seam(handle, a, b);
    unwrap_construct_end(handle, true);
    return handle;
}

void run(benchmark::State& state, BenchMesh& mesh) {
    int charts = 0, triangles = 0;
    for (auto _ : state) {
        PHandle* handle = construct(mesh);
        state.PauseTiming();
        charts = handle->ncharts;
        triangles = 0;
        for (int i = 0; i < handle->ncharts; i++)
            triangles += handle->charts[i]->ntriangles;
        unwrap_delete(handle);
        state.ResumeTiming();
    }
    state.counters["input_triangles"] = double(mesh.triangles.size());
    state.counters["charts"] = charts;
    state.counters["chart_triangles"] = triangles;
    state.counters["ns_per_triangle"] = benchmark::Counter(
        double(mesh.triangles.size()),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_ConstructGrid(benchmark::State& state) {
    // n x n quads = 2 n^2 triangles; 707 gives about 1,000,000.
    BenchMesh mesh = make_grid(int(state.range(0)), 10);
    run(state, mesh);
}
BENCHMARK(BM_ConstructGrid)->Arg(250)->Arg(354)->Arg(500)->Arg(707)->Unit(benchmark::kMillisecond);

void BM_ConstructLargestMesh(benchmark::State& state) {
    BenchMesh mesh = load_obj(std::string(MARROWBY_MESH_DIR) + "/snowden.obj");
    if (mesh.triangles.empty()) {
        state.SkipWithError("snowden.obj not found");
        return;
    }
    run(state, mesh);
}
BENCHMARK(BM_ConstructLargestMesh)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
