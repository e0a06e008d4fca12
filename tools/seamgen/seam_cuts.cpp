#include "tools/seamgen/seam_cuts.h"

#include "document/mesh_document.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <vector>

SeamPairs seams_along_slabs(const MeshDocument& doc, int slabs) {
    SeamPairs pairs;
    if (doc.faceCount == 0 || slabs < 2)
        return pairs;
    float lo[3] = {1e30f, 1e30f, 1e30f}, hi[3] = {-1e30f, -1e30f, -1e30f};
    for (int i = 1; i < doc.vertexSlots; i++) {
        const float p[3] = {doc.vertices[size_t(i)].x, doc.vertices[size_t(i)].y,
                            doc.vertices[size_t(i)].z};
        for (int c = 0; c < 3; c++) {
            lo[c] = std::min(lo[c], p[c]);
            hi[c] = std::max(hi[c], p[c]);
        }
    }
    int axis = 0;
    for (int c = 1; c < 3; c++)
        if (hi[c] - lo[c] > hi[axis] - lo[axis])
            axis = c;
    float width = (hi[axis] - lo[axis]) / float(slabs);

    std::vector<int> slabOf(size_t(doc.faceCount), 0);
    for (int f = 0; f < doc.faceCount; f++) {
        const MeshFace& face = doc.faces[size_t(f)];
        float sum = 0;
        for (int k = 0; k < face.cornerCount; k++) {
            const Vec3& p = doc.vertices[size_t(face.vertexIndices[k])];
            sum += axis == 0 ? p.x : axis == 1 ? p.y : p.z;
        }
        float centroid = face.cornerCount ? sum / float(face.cornerCount) : lo[axis];
        int slab = width > 0 ? int((centroid - lo[axis]) / width) : 0;
        slabOf[size_t(f)] = std::clamp(slab, 0, slabs - 1);
    }

    std::vector<uint8_t> taken(size_t(doc.edgeCount), 0);
    for (int f = 0; f < doc.faceCount; f++) {
        const MeshFace& face = doc.faces[size_t(f)];
        for (int k = 0; k < face.cornerCount; k++) {
            int other = face.neighbourFaces[k], e = face.edgeIndices[k];
            if (other < 0 || e < 0 || e >= doc.edgeCount || taken[size_t(e)])
                continue;
            if (slabOf[size_t(other)] == slabOf[size_t(f)])
                continue;
            taken[size_t(e)] = 1;
            pairs.push_back({doc.edges[size_t(e)].vertexA - 1, doc.edges[size_t(e)].vertexB - 1});
        }
    }
    return pairs;
}

bool write_seam_list(const std::string& path, const SeamPairs& pairs) {
    std::string temporary = path + ".tmp";
    std::FILE* out = std::fopen(temporary.c_str(), "wb");
    if (!out)
        return false;
    uint32_t count = uint32_t(pairs.size());
    unsigned char word[4] = {uint8_t(count), uint8_t(count >> 8), uint8_t(count >> 16),
                             uint8_t(count >> 24)};
    bool ok = std::fwrite(word, 1, 4, out) == 4;
    for (auto [a, b] : pairs) {
        for (int index : {a, b}) {
            char digits[16];
            int n = std::snprintf(digits, sizeof digits, "%d", index);
            ok = ok && std::fwrite(digits, 1, size_t(n) + 1, out) == size_t(n) + 1;
        }
    }
    ok = (std::fclose(out) == 0) && ok;
    if (!ok || std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}
