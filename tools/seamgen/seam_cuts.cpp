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

SeamPairs seams_to_discs(const MeshDocument& doc, const SeamPairs& seams) {
    const size_t edgeCount = size_t(doc.edgeCount);
    std::vector<int> faceCount(edgeCount, 0);
    for (int f = 0; f < doc.faceCount; f++)
        for (int k = 0; k < doc.faces[size_t(f)].cornerCount; k++) {
            int e = doc.faces[size_t(f)].edgeIndices[k];
            if (e >= 0 && size_t(e) < edgeCount)
                faceCount[size_t(e)]++;
        }
    enum : uint8_t { OPEN = 0, SEAM = 1, BORDER = 2, TREE = 3, CUT = 4 };
    std::vector<uint8_t> state(edgeCount, OPEN);
    for (size_t e = 0; e < edgeCount; e++)
        if (faceCount[e] != 2)
            state[e] = BORDER;
    for (auto [a, b] : seams) {
        int e = doc.findEdge(a + 1, b + 1);
        if (e >= 0)
            state[size_t(e)] = SEAM;
    }

    // Spanning trees of the charts' faces across open edges; the other open edges are cut.
    std::vector<int> chartOf(size_t(doc.faceCount), -1);
    std::vector<int> stack;
    std::vector<uint8_t> chartHasBorder;
    std::vector<int> firstCut;
    for (int seed = 0; seed < doc.faceCount; seed++) {
        if (chartOf[size_t(seed)] >= 0)
            continue;
        int chart = int(chartHasBorder.size());
        chartHasBorder.push_back(0);
        firstCut.push_back(-1);
        chartOf[size_t(seed)] = chart;
        stack.push_back(seed);
        while (!stack.empty()) {
            const MeshFace& face = doc.faces[size_t(stack.back())];
            stack.pop_back();
            for (int k = 0; k < face.cornerCount; k++) {
                int e = face.edgeIndices[k], other = face.neighbourFaces[k];
                if (e < 0 || size_t(e) >= edgeCount)
                    continue;
                if (state[size_t(e)] == SEAM || state[size_t(e)] == BORDER) {
                    chartHasBorder[size_t(chart)] = 1;
                    continue;
                }
                if (state[size_t(e)] != OPEN || other < 0)
                    continue;
                if (chartOf[size_t(other)] < 0) {
                    chartOf[size_t(other)] = chart;
                    state[size_t(e)] = TREE;
                    stack.push_back(other);
                } else {
                    state[size_t(e)] = CUT;
                    if (firstCut[size_t(chart)] < 0)
                        firstCut[size_t(chart)] = e;
                }
            }
        }
    }
    // A closed chart needs one cut that stays: it opens the chart into a disc.
    std::vector<uint8_t> keep(edgeCount, 0);
    for (size_t c = 0; c < chartHasBorder.size(); c++)
        if (!chartHasBorder[c] && firstCut[c] >= 0)
            keep[size_t(firstCut[c])] = 1;

    // Give back cuts that dangle: a cut ending in a vertex with no other cut or border.
    std::vector<int> degree(size_t(doc.vertexSlots), 0);
    std::vector<std::vector<int>> cutsAt(size_t(doc.vertexSlots));
    for (size_t e = 0; e < edgeCount; e++) {
        if (state[e] == OPEN || state[e] == TREE)
            continue;
        for (int v : {doc.edges[e].vertexA, doc.edges[e].vertexB}) {
            degree[size_t(v)]++;
            if (state[e] == CUT)
                cutsAt[size_t(v)].push_back(int(e));
        }
    }
    std::vector<int> dangling;
    for (int v = 1; v < doc.vertexSlots; v++)
        if (degree[size_t(v)] == 1)
            dangling.push_back(v);
    while (!dangling.empty()) {
        int v = dangling.back();
        dangling.pop_back();
        if (degree[size_t(v)] != 1)
            continue;
        for (int e : cutsAt[size_t(v)]) {
            if (state[size_t(e)] != CUT || keep[size_t(e)])
                continue;
            state[size_t(e)] = OPEN;
            for (int w : {doc.edges[size_t(e)].vertexA, doc.edges[size_t(e)].vertexB})
                if (--degree[size_t(w)] == 1)
                    dangling.push_back(w);
            break;
        }
    }

    SeamPairs result = seams;
    for (size_t e = 0; e < edgeCount; e++)
        if (state[e] == CUT)
            result.push_back({doc.edges[e].vertexA - 1, doc.edges[e].vertexB - 1});
    return result;
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
