#pragma once

// Direct transcriptions of the written selection rules that the document answers through
// indexes: every edge scanned for a vertex pair, every face scanned for each border point, the
// base working set and the whole seam path rebuilt for each path.

#include "document/mesh_document.h"
#include "support/seam_path.h"
#include "unwrap/unwrap_glue_mesh.h"

#include <vector>

inline void ref_select_edge_by_vertices(MeshDocument& doc, int a, int b) {
    for (int e = 0; e < doc.edgeCount; e++) {
        MeshEdge& edge = doc.edges[size_t(e)];
        if ((edge.vertexA == a && edge.vertexB == b) || (edge.vertexA == b && edge.vertexB == a))
            edge.flags = (edge.flags & ~0x0F) | FLAG_SELECTED;
    }
}

// The seam path from a rebuilt base set; selects the marked edges and answers the reach.
inline int ref_edge_path(MeshDocument& doc, int anchor, int end) {
    doc.buildEngineBaseSet();
    UnwrapMesh* base = &unwrap_base_set();
    const int reached = seam_path(base, anchor, end);
    for (int e = 0; e < base->edgeCount; e++)
        if (base->edges[e].flags & SEAM_PATH_MARK)
            ref_select_edge_by_vertices(doc, base->edges[e].v1, base->edges[e].v2);
    doc.buildEngineBaseSet();
    return reached;
}

inline bool ref_is_border(const MeshDocument& doc, const MeshFace& face, int corner) {
    return face.neighbourFaces[corner] < 0 ||
           (doc.edges[size_t(face.edgeIndices[corner])].flags & FLAG_SEAM);
}

// From point p, through every face that uses it, along border edges; answers whether p had a
// border edge.
inline bool ref_border_from(MeshDocument& doc, int p) {
    bool border = false;
    for (int f = 0; f < doc.faceCount; f++) {
        const MeshFace& face = doc.faces[size_t(f)];
        const int n = face.cornerCount;
        int k = -1;
        for (int j = 0; j < n; j++)
            if (face.uvIndices[j] == p)
                k = j;
        if (k < 0)
            continue;
        doc.uvs[size_t(p)].flags |= FLAG_PICK_ADD;
        const int before = k == 0 ? n - 1 : k - 1, after = k + 1 == n ? 0 : k + 1;
        const int edgeCorner[2] = {k, after}, farCorner[2] = {before, after};
        for (int s = 0; s < 2; s++) {
            if (!ref_is_border(doc, face, edgeCorner[s]))
                continue;
            border = true;
            const int far = face.uvIndices[farCorner[s]];
            if (doc.uvs[size_t(far)].flags & FLAG_PICK_ADD)
                continue;
            doc.uvs[size_t(far)].flags |= FLAG_PICK_ADD;
            ref_border_from(doc, far);
        }
    }
    return border;
}

inline bool ref_select_uv_border_or_island(MeshDocument& doc) {
    int start = -1;
    for (int i = 0; i < doc.uvCount && start < 0; i++)
        if (doc.uvs[size_t(i)].flags & (FLAG_PICK_ADD | FLAG_PICK_REMOVE))
            start = i;
    if (start < 0)
        return false;
    if (ref_border_from(doc, start)) {
        doc.commitUvPicks();
        return true;
    }
    for (int i = 0; i < doc.uvCount; i++) {
        if (!(doc.uvs[size_t(i)].flags & (FLAG_PICK_ADD | FLAG_PICK_REMOVE)))
            continue;
        for (int f = 0; f < doc.faceCount; f++) {
            const MeshFace& face = doc.faces[size_t(f)];
            bool uses = false;
            for (int k = 0; k < face.cornerCount; k++)
                uses |= face.uvIndices[k] == i;
            if (!uses)
                continue;
            for (int g = 0; g < doc.faceCount; g++) {
                const MeshFace& other = doc.faces[size_t(g)];
                if (other.chart != face.chart)
                    continue;
                for (int k = 0; k < other.cornerCount; k++) {
                    int32_t& flags = doc.uvs[size_t(other.uvIndices[k])].flags;
                    flags = (flags & ~0x0F) | FLAG_SELECTED;
                }
            }
            return true;
        }
    }
    return true;
}
