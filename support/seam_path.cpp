#include "support/seam_path.h"

#include "support/guarded_alloc.h"
#include "support/heap.h"
#include "unwrap/unwrap_glue_mesh.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <initializer_list>

namespace {

// Bit pattern 0x60AD78EC: the start cost of every edge.
constexpr float UNREACHED = 1.0e20f;

bool vertex_in_range(const SeamPathIndex* index, int v) {
    return v >= 0 && v < index->vertexCount;
}

float distance(const UnwrapVertex& a, const UnwrapVertex& b) {
    const float dx = a.x - b.x, dy = a.y - b.y, dz = a.z - b.z;
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}

// The step from edge e to edge n through their shared vertex: the nearest of the two outer
// vertices to either end of the target edge.
float step_cost(const UnwrapVertex* vertices, int outerA, int outerB, int t0, int t1) {
    float best = distance(vertices[t0], vertices[outerA]);
    const float d1 = distance(vertices[t0], vertices[outerB]);
    const float d2 = distance(vertices[t1], vertices[outerA]);
    const float d3 = distance(vertices[t1], vertices[outerB]);
    if (d1 < best)
        best = d1;
    if (d2 < best)
        best = d2;
    if (d3 < best)
        best = d3;
    return best;
}

void* edge_data(int e) {
    return reinterpret_cast<void*>(intptr_t(e));
}

int edge_of(void* data) {
    return int(reinterpret_cast<intptr_t>(data));
}

} // namespace

void seam_path_index_build(SeamPathIndex* index, const UnwrapMesh* mesh) {
    const int edgeCount = mesh->edges ? mesh->edgeCount : 0;
    index->vertexCount = mesh->vertices ? mesh->vertexCount : 0;
    index->edgeCount = edgeCount;

    // Counting sort: every edge listed at both of its vertices, in edge order.
    index->start = static_cast<int*>(
        mem_calloc(int(sizeof(int)) * (index->vertexCount + 1), "SeamPathNEdges"));
    index->edges = static_cast<int*>(
        mem_alloc(int(sizeof(int)) * (2 * edgeCount > 0 ? 2 * edgeCount : 1), "SeamPathEdges"));
    for (int e = 0; e < edgeCount; e++) {
        const UnwrapEdge& edge = mesh->edges[e];
        if (!vertex_in_range(index, edge.v1) || !vertex_in_range(index, edge.v2))
            continue;
        index->start[edge.v1 + 1]++;
        index->start[edge.v2 + 1]++;
    }
    for (int v = 0; v < index->vertexCount; v++)
        index->start[v + 1] += index->start[v];
    int* fill =
        static_cast<int*>(mem_alloc(int(sizeof(int)) * (index->vertexCount + 1), "SeamPathFill"));
    std::memcpy(fill, index->start, sizeof(int) * size_t(index->vertexCount + 1));
    for (int e = 0; e < edgeCount; e++) {
        const UnwrapEdge& edge = mesh->edges[e];
        if (!vertex_in_range(index, edge.v1) || !vertex_in_range(index, edge.v2))
            continue;
        index->edges[fill[edge.v1]++] = e;
        index->edges[fill[edge.v2]++] = e;
    }
    mem_free(fill);

    // Only edges that a visible triangle uses (corners 0-1, 1-2, then 2-3 and 3-0 for a
    // fourth corner, else 2-0) are walked: every edge with such a vertex pair, found among
    // the edges at the pair's first vertex.
    index->hidden =
        static_cast<unsigned char*>(mem_alloc(edgeCount > 0 ? edgeCount : 1, "SeamPathHidden"));
    std::memset(index->hidden, 1, size_t(edgeCount));
    for (int t = 0; t < mesh->triangleCount; t++) {
        if (mesh->faces[t].flags & UNWRAP_FACE_HIDDEN)
            continue;
        const int32_t* c = mesh->faceVertices[t].v;
        const int n = c[3] != 0 ? 4 : 3;
        for (int k = 0; k < n; k++) {
            const int a = c[k], b = c[(k + 1) % n];
            if (!vertex_in_range(index, a) || !vertex_in_range(index, b))
                continue;
            for (int i = index->start[a]; i < index->start[a + 1]; i++) {
                const UnwrapEdge& edge = mesh->edges[index->edges[i]];
                if ((edge.v1 == a && edge.v2 == b) || (edge.v1 == b && edge.v2 == a))
                    index->hidden[index->edges[i]] = 0;
            }
        }
    }
}

void seam_path_index_free(SeamPathIndex* index) {
    if (index->start)
        mem_free(index->start);
    if (index->edges)
        mem_free(index->edges);
    if (index->hidden)
        mem_free(index->hidden);
    *index = SeamPathIndex{};
}

int seam_path_indexed(UnwrapMesh* mesh, const SeamPathIndex* index, int source, int target) {
    const int edgeCount = index->edgeCount;
    if (source < 0 || target < 0 || source >= edgeCount || target >= edgeCount)
        return 0;
    UnwrapEdge* edges = mesh->edges;
    const UnwrapVertex* vertices = mesh->vertices;
    for (int e = 0; e < edgeCount; e++)
        if (index->hidden[e])
            edges[e].flags |= SEAM_PATH_WORKING;

    float* cost = static_cast<float*>(mem_alloc(int(sizeof(float)) * edgeCount, "SeamPathCost"));
    int* previous = static_cast<int*>(mem_alloc(int(sizeof(int)) * edgeCount, "SeamPathPrevious"));
    for (int e = 0; e < edgeCount; e++) {
        cost[e] = UNREACHED;
        previous[e] = -1;
    }
    const int t0 = edges[target].v1, t1 = edges[target].v2;
    const bool targetPlaced = vertex_in_range(index, t0) && vertex_in_range(index, t1);

    Heap* heap = heap_new();
    cost[source] = 0;
    heap_insert(heap, 0, edge_data(source));
    int last = -1;
    while (!heap_is_empty(heap)) {
        const int e = edge_of(heap_pop_min(heap));
        last = e;
        if (e == target)
            break;
        if (edges[e].flags & SEAM_PATH_WORKING)
            continue;
        edges[e].flags |= SEAM_PATH_WORKING;
        if (!targetPlaced)
            continue;
        for (const int v : {edges[e].v1, edges[e].v2}) {
            const int outerA = v == edges[e].v1 ? edges[e].v2 : edges[e].v1;
            for (int i = index->start[v]; i < index->start[v + 1]; i++) {
                const int n = index->edges[i];
                if (edges[n].flags & SEAM_PATH_WORKING)
                    continue;
                const int outerB = edges[n].v1 == v ? edges[n].v2 : edges[n].v1;
                const float candidate = cost[e] + step_cost(vertices, outerA, outerB, t0, t1);
                if (candidate < cost[n]) {
                    cost[n] = candidate;
                    previous[n] = e;
                    heap_insert(heap, candidate, edge_data(n));
                }
            }
        }
    }
    heap_free(heap, nullptr);
    mem_free(cost);
    for (int e = 0; e < edgeCount; e++)
        edges[e].flags &= uint16_t(~SEAM_PATH_WORKING);

    int reached = 0;
    if (last == target) {
        for (int e = target; e != -1; e = previous[e])
            edges[e].flags |= SEAM_PATH_MARK;
        reached = 1;
    }
    mem_free(previous);
    return reached;
}

int seam_path(UnwrapMesh* mesh, int source, int target) {
    if (source < 0 || target < 0)
        return 0;
    SeamPathIndex index{};
    seam_path_index_build(&index, mesh);
    const int reached = seam_path_indexed(mesh, &index, source, target);
    seam_path_index_free(&index);
    return reached;
}
