// Picks, commits and the special selections on the largest real mesh and on generated grids of
// 1,000,000 triangles, with the views' cameras as they are at start.

#include "document/mesh_document.h"
#include "document/obj_reader.h"
#include "grid_mesh.h"
#include "views/renderer.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <unistd.h>

namespace {

constexpr int VIEW = 600; // each view's width and height in pixels

std::string bench_dir() {
    static std::string dir = [] {
        std::string d = "/tmp/marrowby_bench_selection";
        std::string cmd = "mkdir -p " + d;
        (void)std::system(cmd.c_str());
        return d;
    }();
    return dir;
}

enum Mesh { SNOWDEN, TRIANGLE_GRID_1M, QUAD_GRID_1M, QUAD_GRID_100K };

// One loaded document per mesh, kept for the whole run.
MeshDocument& document(Mesh mesh) {
    static MeshDocument docs[4];
    static bool loaded[4] = {};
    MeshDocument& doc = docs[mesh];
    if (loaded[mesh])
        return doc;
    std::string path;
    switch (mesh) {
    case SNOWDEN:
        path = std::string(MARROWBY_MESH_DIR) + "/snowden.obj";
        break;
    case TRIANGLE_GRID_1M:
        path = bench_dir() + "/triangles_1m.obj";
        if (access(path.c_str(), R_OK) != 0)
            write_grid_obj(path, 500, 1000);
        break;
    case QUAD_GRID_1M:
        path = bench_dir() + "/quads_1m.obj";
        if (access(path.c_str(), R_OK) != 0)
            write_quad_grid_obj(path, 500, 1000);
        break;
    case QUAD_GRID_100K:
        path = bench_dir() + "/quads_100k.obj";
        if (access(path.c_str(), R_OK) != 0)
            write_quad_grid_obj(path, 200, 250);
        break;
    }
    ObjReader reader;
    loaded[mesh] = reader.read(doc, path.c_str());
    return doc;
}

// The 3D view at start: the camera 1.8 in front of the normalised mesh.
PickView scene_view() {
    PickView v{};
    for (int i = 0; i < 16; i += 5)
        v.modelView[i] = 1;
    v.modelView[14] = -1.8f;
    renderer_projection(v.projection, VIEW, VIEW, 0.01f, 65535.0f);
    v.width = v.height = VIEW;
    return v;
}

// The UV view at start: the unit square centred, one unit away.
PickView uv_view() {
    PickView v = scene_view();
    v.modelView[12] = v.modelView[13] = -0.5f;
    v.modelView[14] = -1.0f;
    return v;
}

// A 200 x 200 pixel rectangle in the middle of the view.
const int32_t RECT[4] = {VIEW / 2 - 100, VIEW / 2 - 100, VIEW / 2 + 100, VIEW / 2 + 100};

void BM_PickEdges3d(benchmark::State& state) {
    MeshDocument& doc = document(Mesh(state.range(0)));
    PickView view = scene_view();
    const bool newCamera = state.range(1) != 0;
    int step = 0;
    for (auto _ : state) {
        // A new camera each time makes every vertex be projected again.
        if (newCamera)
            view.modelView[12] = (step++ & 1) ? 1e-6f : 0.0f;
        doc.pickEdges3d(view, RECT, false, false, false, false, false, false);
    }
    state.counters["edges"] = doc.edgeCount;
}

void BM_PickEdgesUv(benchmark::State& state) {
    MeshDocument& doc = document(Mesh(state.range(0)));
    for (auto _ : state)
        doc.pickEdgesUv(uv_view(), RECT, false, false, false);
}

void BM_PickUvPoints(benchmark::State& state) {
    MeshDocument& doc = document(Mesh(state.range(0)));
    for (auto _ : state)
        doc.pickUvPoints(uv_view(), RECT, false, false, false);
    state.counters["points"] = doc.uvCount;
}

void BM_PickUvPointsByVertex(benchmark::State& state) {
    MeshDocument& doc = document(Mesh(state.range(0)));
    for (auto _ : state)
        doc.pickUvPointsByVertex(scene_view(), RECT, false, false, false);
}

void BM_CommitEdgePicks(benchmark::State& state) {
    MeshDocument& doc = document(Mesh(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        doc.pickEdges3d(scene_view(), RECT, false, false, false, false, false, false);
        state.ResumeTiming();
        benchmark::DoNotOptimize(doc.commitEdgePicks());
    }
}

void BM_CommitUvPicks(benchmark::State& state) {
    MeshDocument& doc = document(Mesh(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        doc.pickUvPoints(uv_view(), RECT, false, false, false);
        state.ResumeTiming();
        benchmark::DoNotOptimize(doc.commitUvPicks());
    }
}

// A click that ends an edge path of 500 edges along one row of the 1,000,000-triangle grid.
void BM_EdgePathClick(benchmark::State& state) {
    MeshDocument& doc = document(QUAD_GRID_1M);
    const int cols = 1000, row = 250;
    auto id = [cols](int r, int c) { return r * (cols + 1) + c + 1; };
    const int from = doc.findEdge(id(row, 100), id(row, 101));
    const int to = doc.findEdge(id(row, 599), id(row, 600));
    // The first click of a load also builds the seam path's index over the base set.
    static double firstClickMs = -1;
    if (firstClickMs < 0) {
        const auto t0 = std::chrono::steady_clock::now();
        doc.anchorEdge = from;
        doc.edges[size_t(to)].flags |= FLAG_PICK_ADD;
        doc.finishEdgePath();
        firstClickMs =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0)
                .count();
    }
    state.counters["first_click_ms"] = firstClickMs;
    for (auto _ : state) {
        doc.anchorEdge = from;
        doc.edges[size_t(to)].flags |= FLAG_PICK_ADD;
        doc.finishEdgePath();
    }
    int selected = 0;
    for (const MeshEdge& e : doc.edges)
        selected += (e.flags & FLAG_SELECTED) != 0;
    state.counters["path_edges"] = selected;
    doc.deselectAll();
}

// A double-click's loop across the whole 1,000,000-triangle grid.
void BM_EdgeLoop(benchmark::State& state) {
    MeshDocument& doc = document(QUAD_GRID_1M);
    const int cols = 1000;
    auto id = [cols](int r, int c) { return r * (cols + 1) + c + 1; };
    const int edge = doc.findEdge(id(250, 500), id(251, 500));
    for (auto _ : state) {
        doc.edges[size_t(edge)].flags |= FLAG_PICK_ADD;
        doc.selectEdgeLoop(false);
    }
    int selected = 0;
    for (const MeshEdge& e : doc.edges)
        selected += (e.flags & FLAG_SELECTED) != 0;
    state.counters["loop_edges"] = selected;
    doc.deselectAll();
}

// A double-click on a chart of 100,000 triangles: on its border (the whole border loop) and
// inside it (the whole island).
void BM_UvBorderOrIsland(benchmark::State& state) {
    MeshDocument& doc = document(QUAD_GRID_100K);
    const int point = state.range(0) ? 0 : doc.uvCount / 2;
    for (auto _ : state) {
        state.PauseTiming();
        doc.deselectAll();
        doc.uvs[size_t(point)].flags = FLAG_UNSELECTED | FLAG_PICK_ADD;
        state.ResumeTiming();
        doc.selectUvBorderOrIsland(false);
    }
}

void mesh_args(benchmark::internal::Benchmark* b) {
    b->ArgNames({"mesh"})->Arg(SNOWDEN)->Arg(TRIANGLE_GRID_1M)->Unit(benchmark::kMillisecond);
}

} // namespace

BENCHMARK(BM_PickEdges3d)
    ->ArgNames({"mesh", "new_camera"})
    ->ArgsProduct({{SNOWDEN, TRIANGLE_GRID_1M}, {0, 1}})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PickEdgesUv)->Apply(mesh_args);
BENCHMARK(BM_PickUvPoints)->Apply(mesh_args);
BENCHMARK(BM_PickUvPointsByVertex)->Apply(mesh_args);
BENCHMARK(BM_CommitEdgePicks)->Apply(mesh_args);
BENCHMARK(BM_CommitUvPicks)->Apply(mesh_args);
BENCHMARK(BM_EdgePathClick)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EdgeLoop)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UvBorderOrIsland)->ArgNames({"border"})->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
