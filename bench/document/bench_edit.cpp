// The edit operations on large layouts: a relax pass and pin / unpin with every point selected
// (generated grid of 1,000,000 triangles, and the largest real mesh with one UV point per
// vertex), align of 1,000 points and one step of each UV drag on a one-chart grid of 100,000
// triangles (and the real mesh, whose largest chart is about as big).

#include "Lscm/opennl_context.h"
#include "document/mesh_document.h"
#include "document/obj_reader.h"
#include "document/undo_history.h"
#include "grid_mesh.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <string>
#include <unistd.h>

namespace {

std::string data_dir() {
    static std::string dir = [] {
        std::string d = "/tmp/marrowby_bench_document";
        std::string cmd = "mkdir -p " + d;
        (void)std::system(cmd.c_str());
        return d;
    }();
    return dir;
}

// A generated grid of about that many triangles: one chart, one UV point per vertex.
std::string grid_path(int64_t triangles) {
    int rows = triangles >= 1000000 ? 500 : 200;
    int cols = int(triangles / (2 * rows));
    std::string path = data_dir() + "/grid_" + std::to_string(2 * rows * cols) + ".obj";
    if (access(path.c_str(), R_OK) != 0 && !write_grid_obj(path, rows, cols))
        return {};
    return path;
}

// The largest real mesh has no texture coordinates: give every vertex one, its (x, y).
std::string snowden_uv_path() {
    std::string path = data_dir() + "/snowden_uv.obj";
    if (access(path.c_str(), R_OK) == 0)
        return path;
    MeshDocument src;
    ObjReader reader;
    if (!reader.read(src, (std::string(MARROWBY_MESH_DIR) + "/snowden.obj").c_str()))
        return {};
    FILE* f = std::fopen(path.c_str(), "w");
    if (!f)
        return {};
    for (int i = 1; i < src.vertexSlots; i++) {
        const Vec3& p = src.vertices[size_t(i)];
        std::fprintf(f, "v %f %f %f\n", p.x, p.y, p.z);
    }
    for (int i = 1; i < src.vertexSlots; i++) {
        const Vec3& p = src.vertices[size_t(i)];
        std::fprintf(f, "vt %f %f\n", 0.5 + 0.5 * p.x, 0.5 + 0.5 * p.y);
    }
    for (int t = 0; t < src.faceCount; t++) {
        const MeshFace& face = src.faces[size_t(t)];
        std::fprintf(f, "f");
        for (int k = 0; k < face.cornerCount; k++)
            std::fprintf(f, " %d/%d", face.vertexIndices[k], face.vertexIndices[k]);
        std::fprintf(f, "\n");
    }
    return std::fclose(f) == 0 ? path : std::string();
}

// A loaded document with its own history and one snapshot, as after a load.
struct Loaded {
    MeshDocument doc;
    UndoHistory history{doc};
    bool ok = false;
    explicit Loaded(const std::string& path) {
        doc.history = &history;
        ok = !path.empty() && doc.load(path.c_str());
    }
    ~Loaded() {
        doc.endUvDrag();
        doc.clear();
    }
    void select_all() {
        for (int i = 0; i < doc.uvCount; i++)
            doc.uvs[size_t(i)].flags = FLAG_SELECTED;
    }
    // The first `count` points in index order: rows of the grid, a block of the real mesh.
    void select_first(int count) {
        for (int i = 0; i < doc.uvCount; i++)
            doc.uvs[size_t(i)].flags = i < count ? FLAG_SELECTED : FLAG_UNSELECTED;
    }
};

std::string mesh_path(int which, int64_t gridTriangles) {
    return which == 0 ? grid_path(gridTriangles) : snowden_uv_path();
}

std::unique_ptr<Loaded> load_or_skip(benchmark::State& state, const std::string& path) {
    auto l = std::make_unique<Loaded>(path);
    if (!l->ok) {
        state.SkipWithError(("cannot load " + path).c_str());
        return nullptr;
    }
    state.counters["triangles"] = l->doc.triangleCount;
    state.counters["uv_points"] = l->doc.uvCount;
    return l;
}

// Arg 0: the grid of 1,000,000 triangles; arg 1: the real mesh.
void BM_RelaxPass_AllSelected(benchmark::State& state) {
    auto l = load_or_skip(state, mesh_path(int(state.range(0)), 1000000));
    if (!l)
        return;
    l->select_all();
    for (auto _ : state)
        l->doc.relaxSelected();
}
BENCHMARK(BM_RelaxPass_AllSelected)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(10);

// Each pin records a snapshot (every point selected counts as changed).
void BM_Pin_AllSelected(benchmark::State& state) {
    auto l = load_or_skip(state, mesh_path(int(state.range(0)), 1000000));
    if (!l)
        return;
    l->select_all();
    for (auto _ : state)
        l->doc.pinSelected();
}
BENCHMARK(BM_Pin_AllSelected)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(10);

void BM_Unpin_AllSelected(benchmark::State& state) {
    auto l = load_or_skip(state, mesh_path(int(state.range(0)), 1000000));
    if (!l)
        return;
    for (auto _ : state) {
        state.PauseTiming();
        for (int i = 0; i < l->doc.uvCount; i++)
            l->doc.uvs[size_t(i)].flags = FLAG_SELECTED | FLAG_PINNED;
        state.ResumeTiming();
        l->doc.unpinSelected();
    }
}
BENCHMARK(BM_Unpin_AllSelected)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(10);

// Align of 1,000 points: the live run built from the snapshot, one solve, the end, a snapshot.
void BM_Align1000(benchmark::State& state) {
    auto l = load_or_skip(state, mesh_path(int(state.range(0)), 100000));
    if (!l)
        return;
    l->select_first(1000);
    l->history.push();
    int side = 1;
    for (auto _ : state) {
        l->doc.alignSelected(side);
        side = side % 4 + 1;
    }
}
BENCHMARK(BM_Align1000)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(3);

// The start of a drag: the run set from the snapshot and the live handle (flattening and the
// kept factorisation of every chart that takes part).
void BM_BeginUvDrag1000(benchmark::State& state) {
    auto l = load_or_skip(state, mesh_path(int(state.range(0)), 100000));
    if (!l)
        return;
    l->select_first(1000);
    l->history.push();
    for (auto _ : state) {
        l->doc.beginUvDrag();
        state.PauseTiming();
        l->doc.endUvDrag();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_BeginUvDrag1000)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(3);

// One step of a drag of 1,000 points, after its first three; range(1): 0 move, 1 rotate, 2 scale.
void BM_DragStep1000(benchmark::State& state) {
    auto l = load_or_skip(state, mesh_path(int(state.range(0)), 100000));
    if (!l)
        return;
    l->select_first(1000);
    l->history.push();
    l->doc.computeSelectionCentre();
    l->doc.beginUvDrag();
    int kind = int(state.range(1));
    auto step = [&] {
        if (kind == 0)
            l->doc.moveSelected(0.0001f, 0.00005f);
        else if (kind == 1)
            l->doc.rotateSelected(1, 0);
        else
            l->doc.scaleSelected(1, 0);
    };
    // A step of a drag under way: the first ones flatten and factorise, and are not timed.
    for (int i = 0; i < 3; i++)
        step();
    const long recycledBefore = nl_recycled_solves(), directBefore = nl_direct_resolves();
    for (auto _ : state)
        step();
    state.counters["recycled"] = double(nl_recycled_solves() - recycledBefore);
    state.counters["direct"] = double(nl_direct_resolves() - directBefore);
    l->doc.endUvDrag();
    l->doc.dropUvBackup();
}
BENCHMARK(BM_DragStep1000)
    ->ArgsProduct({{0, 1}, {0, 1, 2}})
    ->ArgNames({"mesh", "kind"})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(40);

} // namespace

BENCHMARK_MAIN();
