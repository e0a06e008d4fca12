#include "app/layout_check.h"

#include "document/mesh_document.h"
#include "unwrap/unwrap_glue_mesh.h"

#include <cstdio>

int count_faces_without_layout(const MeshDocument& doc) {
    int count = 0;
    for (int f = 0; f < doc.faceCount; f++) {
        const MeshFace& face = doc.faces[size_t(f)];
        if (face.cornerCount < 3)
            continue;
        const UvPoint& first = doc.uvs[size_t(face.uvIndices[0])];
        bool onePoint = true;
        for (int k = 1; k < face.cornerCount && onePoint; k++) {
            const UvPoint& p = doc.uvs[size_t(face.uvIndices[k])];
            onePoint = p.u == first.u && p.v == first.v;
        }
        count += onePoint;
    }
    return count;
}

void warn_disc_cuts() {
    const UnwrapMesh& run = unwrap_run_set();
    if (run.discCutCharts > 0)
        std::fprintf(
            stderr,
            "marrowby: warning: %d charts were not discs (closed, ring-shaped, with handles "
            "or folded) and were cut open along %zu edges\n",
            run.discCutCharts, run.discCuts.size());
}

void warn_faces_without_layout(const MeshDocument& doc) {
    int count = count_faces_without_layout(doc);
    if (count > 0)
        std::fprintf(stderr,
                     "marrowby: warning: %d of %d faces got no layout (all corners on one UV "
                     "point): a closed part of the mesh needs seams to be flattened\n",
                     count, doc.faceCount);
}
