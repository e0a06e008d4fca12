#pragma once

// The relax pass transcribed directly from its rule, scanning every face for every point, kept
// apart from the document's indexed pass so that tests can compare the two.

#include "document/mesh_document.h"

#include <algorithm>
#include <vector>

inline void reference_relax(MeshDocument& doc) {
    for (int p = 0; p < doc.uvCount; p++) {
        UvPoint& point = doc.uvs[size_t(p)];
        if (!(point.flags & FLAG_SELECTED) || (point.flags & FLAG_PINNED))
            continue;
        // On a boundary or seam: some face uses the point at a corner whose edge from the
        // previous corner or to the next corner has no neighbour face or is a seam.
        bool onBorder = false;
        for (int f = 0; f < doc.faceCount; f++) {
            const MeshFace& face = doc.faces[size_t(f)];
            int n = face.cornerCount;
            for (int k = 0; k < n; k++) {
                if (face.uvIndices[k] != p)
                    continue;
                for (int slot : {k, (k + 1) % n}) {
                    if (face.neighbourFaces[slot] == -1 ||
                        (doc.edges[size_t(face.edgeIndices[slot])].flags & FLAG_SEAM))
                        onBorder = true;
                }
            }
        }
        if (onBorder)
            continue;
        std::vector<int> list;
        auto add = [&list](int q) {
            if (std::find(list.begin(), list.end(), q) == list.end())
                list.push_back(q);
        };
        for (int f = 0; f < doc.faceCount; f++) {
            const MeshFace& face = doc.faces[size_t(f)];
            int n = face.cornerCount;
            int last = -1;
            for (int k = 0; k < n; k++) {
                if (face.uvIndices[k] == p)
                    last = k;
            }
            if (last < 0)
                continue;
            add(face.uvIndices[(last + 1) % n]);
            add(face.uvIndices[(last + n - 1) % n]);
        }
        if (list.empty())
            continue;
        float sumU = 0, sumV = 0;
        for (int q : list) {
            sumU += doc.uvs[size_t(q)].u;
            sumV += doc.uvs[size_t(q)].v;
        }
        float meanU = sumU / float(list.size()), meanV = sumV / float(list.size());
        point.u = point.u + (meanU - point.u) * 0.6f;
        point.v = point.v + (meanV - point.v) * 0.6f;
    }
}
