// Loading (both passes and the derived data), writing, and the memory of 40 undo snapshots,
// on generated grids of 100,000 and 1,000,000 triangles and on the largest real mesh.

#include "document/mesh_document.h"
#include "document/obj_reader.h"
#include "document/undo_history.h"
#include "document/unwrap_result.h"
#include "grid_mesh.h"

#include <benchmark/benchmark.h>

#include <malloc.h>
#include <random>
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

// Triangles -> path of a generated grid with that many triangles (cached between runs).
std::string grid_path(int64_t triangles) {
    int rows = triangles >= 1000000 ? 500 : 200;
    int cols = int(triangles / (2 * rows));
    std::string path = data_dir() + "/grid_" + std::to_string(2 * rows * cols) + ".obj";
    if (access(path.c_str(), R_OK) != 0 && !write_grid_obj(path, rows, cols))
        return {};
    return path;
}

std::string snowden_path() {
    return std::string(MARROWBY_MESH_DIR) + "/snowden.obj";
}

double resident_mb() {
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return double(resident) * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

void load_and_derive(benchmark::State& state, const std::string& path) {
    MeshDocument doc;
    ObjReader reader;
    for (auto _ : state) {
        if (!reader.read(doc, path.c_str())) {
            state.SkipWithError(reader.error.c_str());
            return;
        }
    }
    state.counters["triangles"] = doc.triangleCount;
    state.counters["edges"] = doc.edgeCount;
}

void BM_LoadAndDerive_Grid(benchmark::State& state) {
    load_and_derive(state, grid_path(state.range(0)));
}
BENCHMARK(BM_LoadAndDerive_Grid)
    ->Arg(100000)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

void BM_LoadAndDerive_Snowden(benchmark::State& state) {
    load_and_derive(state, snowden_path());
}
BENCHMARK(BM_LoadAndDerive_Snowden)->Unit(benchmark::kMillisecond)->Iterations(5);

// The derived data alone (normalisation, edges, edge table, adjacency, seams, charts, stretch).
void BM_DerivedOnly_Grid(benchmark::State& state) {
    MeshDocument doc;
    ObjReader reader;
    if (!reader.read(doc, grid_path(state.range(0)).c_str())) {
        state.SkipWithError(reader.error.c_str());
        return;
    }
    for (auto _ : state)
        doc.rebuildDerived();
}
BENCHMARK(BM_DerivedOnly_Grid)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(3);

void write_back(benchmark::State& state, const std::string& path) {
    MeshDocument doc;
    ObjReader reader;
    if (!reader.read(doc, path.c_str())) {
        state.SkipWithError(reader.error.c_str());
        return;
    }
    std::string out = data_dir() + "/written.obj";
    for (auto _ : state) {
        if (!doc.writeObj(out.c_str(), path.c_str()))
            state.SkipWithError("write failed");
    }
}

void BM_Write_Grid(benchmark::State& state) {
    write_back(state, grid_path(state.range(0)));
}
BENCHMARK(BM_Write_Grid)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_Write_Snowden(benchmark::State& state) {
    write_back(state, snowden_path());
}
BENCHMARK(BM_Write_Snowden)->Unit(benchmark::kMillisecond)->Iterations(5);

// 40 snapshots of the 1,000,000-triangle grid. Edits between pushes:
//   0: selection of 1,000 edges changes and 1,000 UV points move (the usual edit);
//   1: every UV value changes, as after a fresh unwrap of the whole mesh;
//   2: as 1, and every edge's flags change too (the worst case).
void BM_UndoMemory40(benchmark::State& state) {
    int scenario = int(state.range(0));
    for (auto _ : state) {
        malloc_trim(0);
        double before = resident_mb();
        MeshDocument doc;
        UndoHistory history(doc);
        ObjReader reader;
        if (!reader.read(doc, grid_path(1000000).c_str())) {
            state.SkipWithError(reader.error.c_str());
            return;
        }
        history.push();
        malloc_trim(0);
        double loaded = resident_mb();
        std::mt19937 rng(1);
        std::vector<float> table;
        std::vector<int32_t> triUv;
        for (int i = 1; i < UndoHistory::LIMIT; i++) {
            if (scenario == 0) {
                for (int k = 0; k < 1000; k++) {
                    doc.edges[rng() % unsigned(doc.edgeCount)].flags ^= 0x03;
                    doc.uvs[rng() % unsigned(doc.uvCount)].u += 0.001f;
                }
            } else {
                // A result whose table holds one point per corner vertex, every value new.
                table.assign(size_t(doc.uvCount) * 2, 0);
                for (int p = 0; p < doc.uvCount; p++) {
                    table[2 * size_t(p)] = doc.uvs[size_t(p)].u + 0.01f * float(i);
                    table[2 * size_t(p) + 1] = doc.uvs[size_t(p)].v;
                }
                triUv.clear();
                for (const MeshFace& f : doc.faces) {
                    for (int t = 0; t + 2 < f.cornerCount; t++) {
                        triUv.push_back(f.uvIndices[0]);
                        triUv.push_back(f.uvIndices[t + 1]);
                        triUv.push_back(f.uvIndices[t + 2]);
                    }
                }
                UnwrapResult result;
                result.uv = table.data();
                result.uvCount = doc.uvCount;
                result.triangleUvs = triUv.data();
                result.triangleCount = int(triUv.size() / 3);
                doc.takeOverResult(result);
                if (scenario == 2) {
                    for (MeshEdge& e : doc.edges)
                        e.flags = (i % 2) ? FLAG_SELECTED : FLAG_UNSELECTED;
                }
            }
            history.push();
        }
        table = {};
        triUv = {};
        malloc_trim(0);
        double after = resident_mb();
        state.counters["snapshots"] = history.size();
        state.counters["rss_total_MB"] = after;
        state.counters["rss_document_MB"] = loaded - before;
        state.counters["rss_snapshots_MB"] = after - loaded;
    }
}
BENCHMARK(BM_UndoMemory40)->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

BENCHMARK_MAIN();
