#include "document/mesh_document.h"

#include "document/engine_options.h"
#include "document/undo_history.h"
#include "document/uv_movable.h"
#include "unwrap/unwrap_glue.h"
#include "unwrap/unwrap_glue_mesh.h"

#include <algorithm>
#include <cmath>

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
// or copied back.
void prepare_live_run(MeshDocument& doc) {
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
    select_linked_faces(run);
    live_unwrap_begin(run, engine_options().fillHoles, engine_options().useAbf);
}

// True when the run set holds this document's live run and no worker owns it.
bool live_run_ready(const MeshDocument& doc) {
    const UnwrapMesh& run = unwrap_run_set();
    return !doc.liveBusy && run.faces && size_t(run.triangleCount) * 3 == doc.liveTriUvs.size();
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
    prepare_live_run(*this);
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
