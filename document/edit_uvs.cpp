#include "document/mesh_document.h"

#include "document/engine_options.h"
#include "document/undo_history.h"
#include "document/uv_movable.h"
#include "unwrap/unwrap_glue.h"
#include "unwrap/unwrap_glue_mesh.h"

#include <algorithm>
#include <cmath>
#include <vector>

// Align and the UV drags: the movable points are put where the user asks and the rest of their
// charts is solved around them by the engine's live mode, on the UI thread. The live run starts
// from the current snapshot with every selected point pinned, so the moved points stay put.

namespace {

constexpr float ALIGN_START = 10000.0f;
// Degrees per pixel of mouse displacement.
constexpr float ROTATE_RATE = 0.33f;
// Deliberately not pi / 180 (0.0174533): rotations have always been built with this factor.
constexpr float DEGREES_TO_RADIANS = 0.017460318f;
// Scale change per pixel of mouse displacement.
constexpr float SCALE_RATE = 0.005f;

// The larger of the two displacements, with its sign; dy when they are equally large.
float drag_distance(float dx, float dy) {
    return std::fabs(dy) < std::fabs(dx) ? dx : dy;
}

// The first steps of a drag: the run set from the current snapshot (selected and pinned points
// pinned), the accumulated angle and factor reset, the selection grown over the charts and the
// live handle built. Without a snapshot the run set is left empty, so nothing stale is solved
// or copied back. The points in `alsoHeld` (UV indices) are held where they are as well.
void prepare_live_run(MeshDocument& doc, const std::vector<int32_t>& alsoHeld = {}) {
    live_unwrap_end();
    UnwrapMesh* run = &unwrap_run_set();
    doc.liveTriVertices = {};
    doc.liveTriUvs = {};
    UndoHistory* history = doc.undoHistory();
    bool built = history && history->current() && doc.buildRunSet(history->currentId());
    if (!built)
        unwrap_mesh_free(run);
    doc.rotateAngle = 0;
    doc.scaleFactor = 1;
    if (!built || run->triangleCount == 0)
        return;
    if (!alsoHeld.empty()) {
        std::vector<uint8_t> held(size_t(doc.uvCount), 0);
        for (int32_t i : alsoHeld)
            held[size_t(i)] = 1;
        for (int t = 0; t < run->triangleCount; t++)
            for (int k = 0; k < 3; k++) {
                int32_t i = doc.liveTriUvs[size_t(3 * t + k)];
                if (i >= 0 && i < doc.uvCount && held[size_t(i)])
                    run->faces[t].pins |= unwrap_corner_pinned(k);
            }
    }
    select_linked_faces(run);
    live_unwrap_begin(run, engine_options().fillHoles, engine_options().useAbf);
}

// True when the run set holds this document's live run and no worker owns it.
bool live_run_ready(const MeshDocument& doc) {
    const UnwrapMesh& run = unwrap_run_set();
    return !doc.liveBusy && run.faces && size_t(run.triangleCount) * 3 == doc.liveTriUvs.size();
}

// After an align, the points a live solve holds in a chart (its movable and pinned points) may
// all lie on one line; the conformal solve would then be free to shrink the chart onto that
// line. For every such chart, the unheld point farthest from the line is held too, where it
// is, so the chart stays two-dimensional. Points that coincide count as a line through them.
std::vector<int32_t> points_keeping_charts_open(const MeshDocument& doc) {
    std::vector<int32_t> chartOf(size_t(doc.uvCount), -1);
    for (int f = 0; f < doc.faceCount; f++) {
        const MeshFace& face = doc.faces[size_t(f)];
        for (int k = 0; k < face.cornerCount; k++) {
            int32_t i = face.uvIndices[k];
            if (i >= 0 && i < doc.uvCount && face.chart >= 0)
                chartOf[size_t(i)] = face.chart;
        }
    }
    auto held = [](const UvPoint& p) { return (p.flags & (FLAG_SELECTED | FLAG_PINNED)) != 0; };
    // The held points' centroid and second moments, per chart, in double.
    struct Moments {
        int count = 0;
        double u = 0, v = 0, uu = 0, uv = 0, vv = 0;
    };
    std::vector<Moments> charts(size_t(std::max(doc.chartCount, 0)));
    for (int i = 0; i < doc.uvCount; i++) {
        const UvPoint& p = doc.uvs[size_t(i)];
        int32_t c = chartOf[size_t(i)];
        if (c < 0 || c >= int32_t(charts.size()) || !held(p))
            continue;
        Moments& m = charts[size_t(c)];
        m.count++;
        m.u += p.u, m.v += p.v;
        m.uu += double(p.u) * p.u, m.uv += double(p.u) * p.v, m.vv += double(p.v) * p.v;
    }
    // Per chart: the line's normal (zero when the points coincide) and centroid, or no line.
    struct Line {
        bool collinear = false;
        double nu = 0, nv = 0, cu = 0, cv = 0;
    };
    std::vector<Line> lines(charts.size());
    for (size_t c = 0; c < charts.size(); c++) {
        const Moments& m = charts[c];
        if (m.count < 2)
            continue;
        Line& l = lines[c];
        l.cu = m.u / m.count, l.cv = m.v / m.count;
        const double a = m.uu / m.count - l.cu * l.cu, b = m.uv / m.count - l.cu * l.cv,
                     d = m.vv / m.count - l.cv * l.cv;
        const double mean = 0.5 * (a + d), spread = std::sqrt(0.25 * (a - d) * (a - d) + b * b);
        const double largest = mean + spread, smallest = mean - spread;
        if (smallest > 1e-12 * largest)
            continue;
        l.collinear = true;
        if (largest > 0) {
            // The normal: the eigenvector of the smallest eigenvalue.
            double nu = b, nv = smallest - a;
            if (std::fabs(nu) + std::fabs(nv) == 0)
                nu = smallest - d, nv = b;
            const double length = std::hypot(nu, nv);
            if (length > 0)
                l.nu = nu / length, l.nv = nv / length;
        }
    }
    std::vector<int32_t> farthest(charts.size(), -1);
    std::vector<double> distance(charts.size(), 0);
    for (int i = 0; i < doc.uvCount; i++) {
        const UvPoint& p = doc.uvs[size_t(i)];
        int32_t c = chartOf[size_t(i)];
        if (c < 0 || c >= int32_t(lines.size()) || !lines[size_t(c)].collinear || held(p))
            continue;
        const Line& l = lines[size_t(c)];
        const double du = p.u - l.cu, dv = p.v - l.cv;
        const double d =
            (l.nu == 0 && l.nv == 0) ? std::hypot(du, dv) : std::fabs(du * l.nu + dv * l.nv);
        if (d > distance[size_t(c)])
            distance[size_t(c)] = d, farthest[size_t(c)] = i;
    }
    std::vector<int32_t> points;
    for (int32_t i : farthest)
        if (i >= 0)
            points.push_back(i);
    return points;
}

// The moved UVs into the run set, one live solve, and the solved corners back.
void solve_live_step(MeshDocument& doc) {
    if (!live_run_ready(doc))
        return;
    unwrap_mesh_copy_uvs_in(&unwrap_run_set(), int(doc.liveTriUvs.size() / 3),
                            doc.liveTriUvs.data(), doc.uvs.data(), doc.uvCount);
    live_unwrap_solve();
    doc.copyCornerUvsBack();
}

// Rotate and scale start every step from the UVs as they were when the drag's first step ran,
// so the accumulated angle or factor describes the whole drag.
void restore_from_backup(MeshDocument& doc) {
    if (doc.uvBackup.empty())
        doc.uvBackup.assign(doc.uvs.begin(), doc.uvs.begin() + doc.uvCount);
    size_t n = std::min(doc.uvBackup.size(), size_t(doc.uvCount));
    std::copy(doc.uvBackup.begin(), doc.uvBackup.begin() + std::ptrdiff_t(n), doc.uvs.begin());
}

void release_live_triangles(MeshDocument& doc) {
    doc.liveTriVertices = {};
    doc.liveTriUvs = {};
}

} // namespace

void MeshDocument::copyCornerUvsBack() {
    if (!topo_ || !live_run_ready(*this))
        return;
    const UnwrapMesh& run = unwrap_run_set();
    const FaceTopology& topo = *topo_;
    auto write = [&](int32_t corner, const float uv[2]) {
        int32_t index = cornerUv_[size_t(corner)];
        if (index >= 0 && index < uvCount) {
            uvs[size_t(index)].u = uv[0];
            uvs[size_t(index)].v = uv[1];
        }
    };
    int t = 0;
    for (int f = 0; f < faceCount; f++) {
        int32_t s = topo.cornerStart[size_t(f)], n = topo.cornerStart[size_t(f) + 1] - s;
        // Triangle (0, l, l + 1): the face's first one also gives corners 0 and 1.
        for (int32_t l = 1; l + 1 < n && t < run.triangleCount; l++, t++) {
            const UnwrapFace& tri = run.faces[t];
            if (l == 1) {
                write(s, tri.uv[0]);
                write(s + 1, tri.uv[1]);
            }
            write(s + l + 1, tri.uv[2]);
        }
    }
}

bool MeshDocument::alignSelected(int side) {
    float minU = ALIGN_START, minV = ALIGN_START, maxU = -ALIGN_START, maxV = -ALIGN_START;
    bool anyMovable = false;
    for (int i = 0; i < uvCount; i++) {
        const UvPoint& p = uvs[size_t(i)];
        if (!uv_movable(p))
            continue;
        anyMovable = true;
        if (p.u < minU)
            minU = p.u;
        if (p.v < minV)
            minV = p.v;
        if (p.u > maxU)
            maxU = p.u;
        if (p.v > maxV)
            maxV = p.v;
    }
    if (!anyMovable)
        return false;
    // While a worker runs, the run set and the engine are its own. Its result, when it lands,
    // replaces every UV point and clears the selection, so an align made now would be lost and
    // one made after waiting would find nothing selected: refuse, as a drag does.
    if (liveBusy)
        return false;
    // The live run is built from the snapshot, so the points can be aligned first; which
    // points must be held as well depends on where they land.
    for (int i = 0; i < uvCount; i++) {
        UvPoint& p = uvs[size_t(i)];
        if (!uv_movable(p))
            continue;
        if (side == 1)
            p.u = minU;
        else if (side == 3)
            p.u = maxU;
        else if (side == 2)
            p.v = minV;
        else if (side == 4)
            p.v = maxV;
    }
    prepare_live_run(*this, points_keeping_charts_open(*this));
    solve_live_step(*this);
    live_unwrap_end();
    copyCornerUvsBack();
    release_live_triangles(*this);
    if (UndoHistory* history = undoHistory())
        history->push();
    return true;
}

bool MeshDocument::computeSelectionCentre() {
    selCentreValid = 0;
    // Summed in double: a large selection would otherwise drift the pivot.
    double sumU = 0, sumV = 0;
    int count = 0;
    for (int i = 0; i < uvCount; i++) {
        const UvPoint& p = uvs[size_t(i)];
        if (uv_movable(p)) {
            sumU += p.u;
            sumV += p.v;
            count++;
        }
    }
    if (count == 0)
        return false;
    rotateAngle = 0;
    selCentreValid = 1;
    selCentreU = float(sumU / count);
    selCentreV = float(sumV / count);
    return true;
}

void MeshDocument::moveSelectionCentre(float du, float dv) {
    selCentreU += du;
    selCentreV += dv;
}

bool MeshDocument::beginUvDrag() {
    if (liveBusy)
        return false;
    prepare_live_run(*this);
    return true;
}

bool MeshDocument::moveSelected(float du, float dv) {
    bool moved = false;
    for (int i = 0; i < uvCount; i++) {
        UvPoint& p = uvs[size_t(i)];
        if (uv_movable(p)) {
            p.u += du;
            p.v += dv;
            moved = true;
        }
    }
    if (moved)
        solve_live_step(*this);
    return moved;
}

void MeshDocument::rotateSelected(float dx, float dy) {
    restore_from_backup(*this);
    if (selCentreValid)
        rotateAngle += drag_distance(dx, dy) * ROTATE_RATE;
    float radians = rotateAngle * DEGREES_TO_RADIANS;
    float c = std::cos(radians), s = std::sin(radians);
    for (int i = 0; i < uvCount; i++) {
        UvPoint& p = uvs[size_t(i)];
        if (!uv_movable(p))
            continue;
        float du = p.u - selCentreU, dv = p.v - selCentreV;
        p.u = selCentreU + c * du - s * dv;
        p.v = selCentreV + s * du + c * dv;
    }
    solve_live_step(*this);
}

void MeshDocument::scaleSelected(float dx, float dy) {
    restore_from_backup(*this);
    if (selCentreValid)
        scaleFactor += drag_distance(dx, dy) * SCALE_RATE;
    for (int i = 0; i < uvCount; i++) {
        UvPoint& p = uvs[size_t(i)];
        if (!uv_movable(p))
            continue;
        p.u = selCentreU + scaleFactor * (p.u - selCentreU);
        p.v = selCentreV + scaleFactor * (p.v - selCentreV);
    }
    solve_live_step(*this);
}

void MeshDocument::endUvDrag() {
    // A worker started meanwhile (a cut during the drag) has closed the live run and owns the
    // run set and the triangle lists.
    if (liveBusy)
        return;
    live_unwrap_end();
    copyCornerUvsBack();
    release_live_triangles(*this);
}

void MeshDocument::dropUvBackup() {
    uvBackup = {};
}
