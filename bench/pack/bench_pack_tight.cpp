// Shelf packing against tight packing on the real meshes, each cut by seamgen's rule into 8
// slabs and flattened once: the covered share of the unit square, the closest two charts come
// (in texels of the tight packer's resolution) and the packing time, best of five runs.
//
//   bench_pack_tight [RES PAD [MESH...]]   default 1024 texels, 4 texels of padding and the
//                                          meshes bunny, dragon_res3 and snowden
//
// Then a profile of the charts' shapes (see print_profile). BENCH_PACK_NO_PROFILE=1 leaves it
// out, BENCH_PACK_DUMP=1 lists every chart, BENCH_PACK_PICTURE=DIR writes the tight layout to
// DIR/pack.pgm.
#include "app/seam_list.h"
#include "document/mesh_document.h"
#include "document/undo_history.h"
#include "tools/seamgen/seam_cuts.h"
#include "unwrap/unwrap.h"
#include "unwrap/unwrap_glue.h"
#include "unwrap/unwrap_lscm.h"
#include "unwrap/unwrap_pack.h"
#include "unwrap/unwrap_pack_raster.h"
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

// What the charts' own shapes allow, measured on the tight layout (UVs in the unit square, so
// texel units are UV times the resolution):
//   box fill      the charts' area over the area of their boxes as laid out (quarter turns of
//                 the minimum-area orientation), and over their best box at any angle
//   small charts  the share of the charts whose area is under 4 padding squares
//   raster bound  the covered share if every chart's texels, each grown by half the padding,
//                 tiled the square without a gap: no packer on this texel grid does better
//   steiner       the same for the exact shapes grown by a disc of half the padding, taken as
//                 A + P r + pi r^2 per chart: exact for convex charts, too large for ragged
//                 ones (their notches fill up), so there the true limit lies higher
//   longest chart the covered share if the square were no larger than the longest chart's
//                 box: with quarter turns of the minimum-area orientation, and at the angle
//                 (in whole degrees) where that chart's longer side is shortest; no placement
//                 of those orientations covers more, whatever the padding
struct ChartShape {
    std::vector<float> corners; // texel units, three corners of two floats each
    double area = 0, perimeter = 0, box = 0, bestBox = 0;
    double longSide = 0, bestLongSide = 0; // laid out, and at the best angle
};

std::vector<ChartShape> chart_shapes(PHandle* handle, int resolution) {
    std::vector<ChartShape> shapes;
    for (int i = 0; i < handle->ncharts; i++) {
        ChartShape s;
        float lo[2] = {1e30f, 1e30f}, hi[2] = {-1e30f, -1e30f};
        std::vector<float> pts;
        for (PTriangle* t = handle->charts[i]->triangles; t; t = t->next) {
            if (t->flags & PTRI_FILLED)
                continue;
            const PHalfEdge* e[3] = {t->edge, t->edge->nextInTri, t->edge->nextInTri->nextInTri};
            for (int k = 0; k < 3; k++) {
                for (int c = 0; c < 2; c++) {
                    float x = e[k]->point->uv[c] * float(resolution);
                    s.corners.push_back(x);
                    lo[c] = std::min(lo[c], x);
                    hi[c] = std::max(hi[c], x);
                }
                const PHalfEdge* pair = e[k]->pair;
                if (!pair || (pair->triangle->flags & PTRI_FILLED)) {
                    const float* a = e[k]->point->uv;
                    const float* b = e[k]->nextInTri->point->uv;
                    s.perimeter +=
                        std::hypot(double(b[0]) - a[0], double(b[1]) - a[1]) * resolution;
                }
            }
        }
        const float* q = s.corners.data();
        for (size_t k = 0; k + 6 <= s.corners.size(); k += 6)
            s.area += std::fabs(0.5 * ((double(q[k + 2]) - q[k]) * (double(q[k + 5]) - q[k + 1]) -
                                       (double(q[k + 4]) - q[k]) * (double(q[k + 3]) - q[k + 1])));
        s.box = double(hi[0] - lo[0]) * double(hi[1] - lo[1]);
        s.bestBox = s.box;
        s.longSide = s.bestLongSide = std::max(hi[0] - lo[0], hi[1] - lo[1]);
        for (int deg = 1; deg < 90; deg++) {
            double a = deg * M_PI / 180.0, c = std::cos(a), n = std::sin(a);
            double blo[2] = {1e300, 1e300}, bhi[2] = {-1e300, -1e300};
            for (size_t k = 0; k + 2 <= s.corners.size(); k += 2) {
                double x = c * q[k] - n * q[k + 1], y = n * q[k] + c * q[k + 1];
                blo[0] = std::min(blo[0], x), bhi[0] = std::max(bhi[0], x);
                blo[1] = std::min(blo[1], y), bhi[1] = std::max(bhi[1], y);
            }
            s.bestBox = std::min(s.bestBox, (bhi[0] - blo[0]) * (bhi[1] - blo[1]));
            s.bestLongSide = std::min(s.bestLongSide, std::max(bhi[0] - blo[0], bhi[1] - blo[1]));
        }
        shapes.push_back(std::move(s));
    }
    return shapes;
}

// Texels of the chart scaled by k about its box corner, grown by `grow` texels in both axes.
long grown_texels(const ChartShape& s, double k, int grow) {
    float lo[2] = {1e30f, 1e30f};
    for (size_t i = 0; i + 2 <= s.corners.size(); i += 2)
        for (int c = 0; c < 2; c++)
            lo[c] = std::min(lo[c], s.corners[i + size_t(c)]);
    std::vector<float> q;
    float hi[2] = {0, 0};
    for (size_t i = 0; i + 2 <= s.corners.size(); i += 2)
        for (int c = 0; c < 2; c++) {
            q.push_back(float((s.corners[i + size_t(c)] - lo[c]) * k));
            hi[c] = std::max(hi[c], q.back());
        }
    PackMask mask;
    pack_mask_reset(mask, int(hi[0]) + 1, int(hi[1]) + 1);
    for (size_t i = 0; i + 6 <= q.size(); i += 6)
        pack_mask_triangle(mask, &q[i], &q[i + 2], &q[i + 4]);
    PackRuns runs, grown;
    pack_runs_of(mask, runs);
    pack_runs_dilated(runs, grow, grown);
    long n = 0;
    for (const PackRun& r : grown.runs)
        n += r.last - r.first + 1;
    return n;
}

// The largest k (scale of every chart) at which cost(k) stays within the budget, by bisection.
template <class Cost> double largest_scale(Cost cost, double budget) {
    double lo = 0.0, hi = 1.0;
    while (cost(hi) <= budget && hi < 64)
        hi *= 2.0;
    for (int step = 0; step < 30; step++) {
        double mid = (lo + hi) / 2.0;
        (cost(mid) <= budget ? lo : hi) = mid;
    }
    return lo;
}

void print_profile(PHandle* handle, int resolution, int padding) {
    std::vector<ChartShape> shapes = chart_shapes(handle, resolution);
    double area = 0, box = 0, bestBox = 0, perimeter = 0, small = 0, longest = 0, bestLongest = 0;
    for (const ChartShape& s : shapes) {
        longest = std::max(longest, s.longSide);
        bestLongest = std::max(bestLongest, s.bestLongSide);
        area += s.area;
        box += s.box;
        bestBox += s.bestBox;
        perimeter += s.perimeter;
        small += s.area < 4.0 * padding * padding ? 1 : 0;
    }
    if (const char* dir = std::getenv("BENCH_PACK_PICTURE")) {
        // Charts in grey shades, one byte per texel, as a portable grey map.
        PackMask picture;
        std::vector<uint8_t> grey(size_t(resolution) * size_t(resolution), 255);
        for (size_t i = 0; i < shapes.size(); i++) {
            pack_mask_reset(picture, resolution, resolution);
            const std::vector<float>& q = shapes[i].corners;
            for (size_t k = 0; k + 6 <= q.size(); k += 6)
                pack_mask_triangle(picture, &q[k], &q[k + 2], &q[k + 4]);
            for (size_t t = 0; t < grey.size(); t++)
                if (picture.texels[t])
                    grey[t] = uint8_t(40 + (i * 37) % 160);
        }
        std::string path = std::string(dir) + "/pack.pgm";
        if (FILE* f = std::fopen(path.c_str(), "wb")) {
            std::fprintf(f, "P5 %d %d 255\n", resolution, resolution);
            for (int y = resolution - 1; y >= 0; y--)
                std::fwrite(&grey[size_t(y) * size_t(resolution)], 1, size_t(resolution), f);
            std::fclose(f);
        }
    }
    if (std::getenv("BENCH_PACK_DUMP")) {
        std::vector<const ChartShape*> order;
        for (const ChartShape& s : shapes)
            order.push_back(&s);
        std::sort(order.begin(), order.end(), [](auto* a, auto* b) { return a->area > b->area; });
        for (const ChartShape* s : order)
            std::printf("    chart area %9.1f perim %8.1f box %9.1f fill %4.1f %%\n", s->area,
                        s->perimeter, s->box, 100.0 * s->area / s->box);
    }
    const double r = padding / 2.0, square = double(resolution + padding) * (resolution + padding);
    double steiner = largest_scale(
        [&](double k) {
            return k * k * area + k * perimeter * r + double(shapes.size()) * M_PI * r * r;
        },
        square);
    const int grow = padding / 2;
    const double rasterSquare = double(resolution + 2 * grow) * (resolution + 2 * grow);
    double raster = largest_scale(
        [&](double k) {
            double n = 0;
            for (const ChartShape& s : shapes)
                n += double(grown_texels(s, k, grow));
            return n;
        },
        rasterSquare);
    const double covered = area / (double(resolution) * resolution);
    std::printf("  shapes box fill %4.1f %% (best angle %4.1f %%)   small charts %4.1f %%\n",
                100.0 * area / box, 100.0 * area / bestBox, 100.0 * small / double(shapes.size()));
    std::printf("  limits raster %5.1f %%   steiner %5.1f %%   longest chart %5.1f %% (any angle "
                "%5.1f %%)\n",
                100.0 * covered * raster * raster, 100.0 * covered * steiner * steiner,
                100.0 * area / (longest * longest), 100.0 * area / (bestLongest * bestLongest));
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
    if (!std::getenv("BENCH_PACK_NO_PROFILE"))
        print_profile(handle, resolution, padding);
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
