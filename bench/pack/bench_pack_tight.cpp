// Shelf packing against tight packing on the real meshes, each cut by seamgen's rule into 8
// slabs and flattened once: the covered share of the unit square, the closest two charts come
// (in texels of the tight packer's resolution) and the packing time, best of five runs.
//
//   bench_pack_tight [RES PAD [MESH...]]   default 1024 texels, 4 texels of padding and the
//                                          meshes bunny, dragon_res3 and snowden
#include "app/seam_list.h"
#include "document/mesh_document.h"
#include "document/undo_history.h"
#include "tools/seamgen/seam_cuts.h"
#include "unwrap/unwrap.h"
#include "unwrap/unwrap_glue.h"
#include "unwrap/unwrap_lscm.h"
#include "unwrap/unwrap_pack.h"
#include "unwrap/unwrap_pack_tight.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <time.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct SavedUv {
    PPoint* point;
    float uv[2];
};

std::vector<SavedUv> save_uvs(PHandle* handle) {
    std::vector<SavedUv> saved;
    for (int i = 0; i < handle->ncharts; i++)
        for (PPoint* p = handle->charts[i]->points; p; p = p->next)
            saved.push_back({p, {p->uv[0], p->uv[1]}});
    return saved;
}

void restore_uvs(const std::vector<SavedUv>& saved) {
    for (const SavedUv& s : saved) {
        s.point->uv[0] = s.uv[0];
        s.point->uv[1] = s.uv[1];
    }
}

// Processor time of this thread: the machine may be shared, and wall time would count the
// other processes' turns.
double thread_seconds() {
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + 1e-9 * double(ts.tv_nsec);
}

double covered_share(PHandle* handle) {
    double sum = 0;
    for (int i = 0; i < handle->ncharts; i++)
        for (PTriangle* t = handle->charts[i]->triangles; t; t = t->next) {
            if (t->flags & PTRI_FILLED)
                continue;
            const float* a = t->edge->point->uv;
            const float* b = t->edge->nextInTri->point->uv;
            const float* c = t->edge->nextInTri->nextInTri->point->uv;
            sum += std::fabs(0.5 * ((double(b[0]) - a[0]) * (double(c[1]) - a[1]) -
                                    (double(c[0]) - a[0]) * (double(b[1]) - a[1])));
        }
    return sum;
}

// Closest two charts' points (UV units), from their border points: a point inside a chart is
// never closer to another chart than that chart's border.
double closest_charts(PHandle* handle) {
    struct Pt {
        float u, v;
        int chart;
    };
    std::vector<Pt> pts;
    for (int i = 0; i < handle->ncharts; i++)
        for (PPoint* p = handle->charts[i]->points; p; p = p->next)
            pts.push_back({p->uv[0], p->uv[1], i});
    std::sort(pts.begin(), pts.end(), [](const Pt& a, const Pt& b) { return a.u < b.u; });
    double best = 1e9;
    for (size_t i = 0; i < pts.size(); i++)
        for (size_t j = i + 1; j < pts.size() && pts[j].u - pts[i].u < best; j++)
            if (pts[j].chart != pts[i].chart)
                best = std::min(
                    best, std::hypot(double(pts[j].u) - pts[i].u, double(pts[j].v) - pts[i].v));
    return best;
}

void run_mesh(const std::string& name, int resolution, int padding) {
    std::string path = std::string(MARROWBY_MESH_DIR) + "/" + name + ".obj";
    std::string seams = std::filesystem::temp_directory_path() /
                        ("bench_pack_" + std::to_string(getpid()) + ".bin");
    MeshDocument& doc = MeshDocument::instance();
    UndoHistory::instance().reset();
    if (!doc.load(path.c_str())) {
        std::printf("%s: not loaded\n", name.c_str());
        return;
    }
    write_seam_list(seams, seams_to_discs(doc, seams_along_slabs(doc, 8)));
    readSeamList(seams.c_str());
    std::filesystem::remove(seams);
    doc.liveSnapshotId = UndoHistory::instance().currentId();
    doc.buildRunSet(doc.liveSnapshotId);
    UnwrapMesh* run = &unwrap_run_set();
    select_linked_faces(run);
    PHandle* handle = build_unwrap_handle(run, true, false);
    unwrap_lscm_begin(handle, false, true);
    unwrap_lscm_solve(handle);
    unwrap_lscm_end(handle);
    std::vector<SavedUv> saved = save_uvs(handle);
    std::printf("%s: %d charts\n", name.c_str(), handle->ncharts);
    for (bool tight : {false, true}) {
        double best = 1e30, bestCpu = 1e30;
        for (int rep = 0; rep < 5; rep++) {
            restore_uvs(saved);
            auto t = Clock::now();
            double c = thread_seconds();
            if (tight)
                unwrap_pack_tight(handle, resolution, padding);
            else
                unwrap_pack(handle);
            bestCpu = std::min(bestCpu, thread_seconds() - c);
            best = std::min(best, std::chrono::duration<double>(Clock::now() - t).count());
        }
        std::printf("  %-6s covered %5.1f %%   closest charts %6.2f texels   pack %7.3f s "
                    "(processor %7.3f s)\n",
                    tight ? "tight" : "shelf", 100.0 * covered_share(handle),
                    closest_charts(handle) * resolution, best, bestCpu);
    }
    unwrap_delete(handle);
    doc.clear();
}

} // namespace

int main(int argc, char** argv) {
    int resolution = argc > 2 ? std::atoi(argv[1]) : UNWRAP_TIGHT_RESOLUTION;
    int padding = argc > 2 ? std::atoi(argv[2]) : UNWRAP_TIGHT_PADDING;
    std::printf("tight packing at %d texels, %d texels of padding\n", resolution, padding);
    if (argc > 3) {
        for (int i = 3; i < argc; i++)
            run_mesh(argv[i], resolution, padding);
        return 0;
    }
    for (const char* name : {"bunny", "dragon_res3", "snowden"})
        run_mesh(name, resolution, padding);
    return 0;
}
