// The batch path stage by stage, on one mesh: load, derived data, building the run set and
// the handle, flattening (ABF when on, then the conformal map), packing, flush, unique UVs,
// take-over and write; then the peak resident memory of the process.
//
//   batch_stages MESH.obj SEAMS.bin [-lscm] [-keepflips]
//                                              a mesh and its seam list (copied first)
//   batch_stages --grid N [-lscm]              an N x N wavy quad grid, 2 N^2 triangles, cut into
//                                              about 100 square charts
//   batch_stages --flat N [-lscm]              an N x N flat quad grid without seams, one chart;
//                                              its layout should be a similar copy of the grid
//
// Last come the whole run's time (load to write) and the layout's flipped and degenerate
// triangles and angle distortion (tools/uvstats). A single chart's refinement steps are counted.
#include "Lscm/opennl_context.h"
#include "app/seam_list.h"
#include "document/mesh_document.h"
#include "document/obj_reader.h"
#include "document/undo_history.h"
#include "support/process_memory.h"
#include "tools/seamgen/seam_cuts.h"
#include "tools/uvstats/uv_stats.h"
#include "unwrap/unwrap.h"
#include "unwrap/unwrap_glue.h"
#include "unwrap/unwrap_lscm.h"
#include "unwrap/unwrap_pack.h"
#include "unwrap/unwrap_split_unsound.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

double ms_since(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

void stage(const char* name, double ms) {
    std::printf("  %-28s %10.1f ms\n", name, ms);
}

// A wavy height field of n x n quads, each split into two triangles (flat when wave is 0).
void write_grid(const std::string& path, int n, double wave = 0.05) {
    std::FILE* out = std::fopen(path.c_str(), "w");
    for (int y = 0; y <= n; y++)
        for (int x = 0; x <= n; x++) {
            double u = double(x) / n, v = double(y) / n;
            std::fprintf(out, "v %.6f %.6f %.6f\n", u, v, wave * std::sin(9 * u) * std::cos(7 * v));
        }
    for (int y = 0; y < n; y++)
        for (int x = 0; x < n; x++) {
            int a = y * (n + 1) + x + 1, b = a + 1, c = a + n + 2, d = a + n + 1;
            std::fprintf(out, "f %d %d %d\nf %d %d %d\n", a, b, c, a, c, d);
        }
    std::fclose(out);
}

// Seams along every (n / 10)-th row and column: about 100 square charts.
SeamPairs grid_seams(int n) {
    SeamPairs pairs;
    int step = std::max(1, n / 10);
    for (int k = step; k < n; k += step)
        for (int i = 0; i < n; i++) {
            pairs.push_back({k * (n + 1) + i, k * (n + 1) + i + 1});   // along row k
            pairs.push_back({i * (n + 1) + k, (i + 1) * (n + 1) + k}); // along column k
        }
    return pairs;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr,
                     "usage: batch_stages MESH.obj SEAMS.bin | --grid N | --flat N, then [-lscm] "
                     "[-keepflips]\n");
        return 2;
    }
    // After the two arguments, in any order: -lscm (the conformal map alone) and -keepflips
    // (no refinement, no splits: the layout as flattened).
    bool useAbf = true, fixFlips = true;
    for (int i = 3; i < argc; i++) {
        useAbf = useAbf && std::strcmp(argv[i], "-lscm") != 0;
        fixFlips = fixFlips && std::strcmp(argv[i], "-keepflips") != 0;
    }
    std::string dir =
        std::filesystem::temp_directory_path() / ("batch_stages_" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    std::string mesh = dir + "/mesh.obj", seams = dir + "/seams.bin", label;
    if (std::strcmp(argv[1], "--grid") == 0) {
        int n = std::atoi(argv[2]);
        write_grid(mesh, n);
        write_seam_list(seams, grid_seams(n));
        label = "grid " + std::to_string(n) + " x " + std::to_string(n);
    } else if (std::strcmp(argv[1], "--flat") == 0) {
        int n = std::atoi(argv[2]);
        write_grid(mesh, n, 0.0);
        write_seam_list(seams, SeamPairs{});
        label = "flat grid " + std::to_string(n) + " x " + std::to_string(n);
    } else {
        std::filesystem::copy_file(argv[1], mesh);
        std::filesystem::copy_file(argv[2], seams);
        label = argv[1];
    }

    keep_freed_memory_in_process(batch_heap_estimate(std::filesystem::file_size(mesh)));
    MeshDocument& doc = MeshDocument::instance();
    const auto start = Clock::now();
    auto t = Clock::now();
    if (!doc.load(mesh.c_str()))
        return 1;
    double load = ms_since(t);
    t = Clock::now();
    doc.rebuildDerived();
    double derived = ms_since(t);
    readSeamList(seams.c_str());
    std::printf("%s: %d faces, %d triangles, %s\n", label.c_str(), doc.faceCount, doc.triangleCount,
                useAbf ? "ABF + LSCM" : "LSCM only");
    stage("load (both passes, derived)", load);
    stage("derived data alone", derived);

    // The steps of MeshDocument::unwrapNow and unwrap_selection, timed one by one.
    t = Clock::now();
    UndoHistory& history = UndoHistory::instance();
    doc.liveSnapshotId = history.currentId();
    doc.buildRunSet(doc.liveSnapshotId);
    UnwrapMesh* run = &unwrap_run_set();
    select_linked_faces(run);
    stage("run set and selection", ms_since(t));
    t = Clock::now();
    PHandle* handle = build_unwrap_handle(run, true, false);
    stage("build handle (charts, holes)", ms_since(t));
    std::printf("  %-28s %10d\n", "charts", handle->ncharts);
    t = Clock::now();
    const long stepsBefore = nl_refinement_steps();
    std::unordered_map<const PPoint*, int> keys;
    if (fixFlips)
        keys = unwrap_point_keys(handle);
    unwrap_lscm_flatten(handle, useAbf);
    stage(useAbf ? "ABF + LSCM, rotate" : "LSCM, rotate", ms_since(t));
    // A single chart is flattened on this thread, so its count is whole.
    if (handle->ncharts == 1)
        std::printf("  %-28s %10ld\n", "refinement steps", nl_refinement_steps() - stepsBefore);
    unwrap_lscm_end(handle);
    if (fixFlips) {
        t = Clock::now();
        handle = unwrap_make_sound(run, handle, std::move(keys), true, false, useAbf);
        stage("injective refinement, splits", ms_since(t));
        std::printf("  %-28s %10d\n", "charts after splits", handle->ncharts);
    }
    t = Clock::now();
    unwrap_pack(handle);
    stage("pack", ms_since(t));
    t = Clock::now();
    unwrap_flush(handle);
    unwrap_delete(handle);
    stage("flush and delete", ms_since(t));
    t = Clock::now();
    uv_index_rebuild(run);
    stage("unique UVs", ms_since(t));

    t = Clock::now();
    doc.takeOverRun();
    doc.labelCharts();
    stage("take-over", ms_since(t));
    t = Clock::now();
    doc.writeObj(mesh.c_str(), mesh.c_str());
    stage("write", ms_since(t));
    // The batch path rebuilds derived data once, within the load: the second rebuild above is
    // only here to time it.
    stage("whole run", ms_since(start) - derived);

    UvStats stats = compute_uv_stats(doc);
    std::printf("  %-28s %10d\n", "flipped triangles", stats.flippedTriangles);
    std::printf("  %-28s %10d\n", "degenerate triangles", stats.degenerateTriangles);
    std::printf("  %-28s %10.4f deg\n", "max angle distortion", stats.maxAngleDistortion);

    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("  %-28s %10.1f MB\n", "peak resident memory", double(usage.ru_maxrss) / 1024.0);
    std::filesystem::remove_all(dir);
    return 0;
}
