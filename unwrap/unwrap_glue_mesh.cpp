#include "unwrap/unwrap_glue_mesh.h"

#include "support/edge_hash.h"
#include "support/guarded_alloc.h"
#include "support/require.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

UnwrapMesh g_run_set = {};
UnwrapMesh g_base_set = {};
UnwrapUvTable g_uv_table = {};

template <typename T> T* calloc_array(int count, const char* tag) {
    if (count <= 0)
        return nullptr;
    SUPPORT_REQUIRE(size_t(count) * sizeof(T) < size_t(1) << 31, "unwrap mesh: array too large");
    auto* array = static_cast<T*>(mem_calloc(int(size_t(count) * sizeof(T)), tag));
    SUPPORT_REQUIRE(array, "unwrap mesh: out of memory");
    return array;
}

void release(void* p) {
    if (p)
        mem_free(p);
}

void free_arrays(UnwrapMesh* mesh) {
    release(mesh->faceVertices);
    release(mesh->faces);
    release(mesh->vertices);
    release(mesh->edges);
    *mesh = UnwrapMesh{};
}

int corner_count(const UnwrapFaceVertices& f) {
    return f.v[3] != 0 ? 4 : 3;
}

uint64_t mix(uint64_t key) {
    key ^= key >> 33;
    key *= 0xff51afd7ed558ccdULL;
    key ^= key >> 33;
    return key;
}

uint64_t pair_key(int a, int b) {
    if (a > b)
        std::swap(a, b);
    return (uint64_t(uint32_t(a)) << 32) | uint32_t(b);
}

} // namespace

UnwrapMesh& unwrap_run_set() {
    return g_run_set;
}
UnwrapMesh& unwrap_base_set() {
    return g_base_set;
}
UnwrapUvTable& unwrap_uv_table() {
    return g_uv_table;
}

void unwrap_mesh_copy_vertices(UnwrapMesh* mesh, int count, const Vec3* positions) {
    free_arrays(mesh);
    mesh->vertices = calloc_array<UnwrapVertex>(count, "UnwrapVertices");
    for (int i = 0; i < count; i++) {
        mesh->vertices[i].x = positions[i].x;
        mesh->vertices[i].y = positions[i].y;
        mesh->vertices[i].z = positions[i].z;
    }
    mesh->vertexCount = count > 0 ? count : 0;
}

void unwrap_mesh_copy_edges(UnwrapMesh* mesh, int count, const MeshEdge* edges, bool disableSeams) {
    release(mesh->edges);
    mesh->edges = calloc_array<UnwrapEdge>(count, "UnwrapEdges");
    for (int i = 0; i < count; i++) {
        mesh->edges[i].v1 = edges[i].vertexA;
        mesh->edges[i].v2 = edges[i].vertexB;
        bool seam = (edges[i].flags & FLAG_SEAM) && !disableSeams;
        mesh->edges[i].flags = seam ? UNWRAP_EDGE_SEAM : 0;
    }
    mesh->edgeCount = count > 0 ? count : 0;
}

void unwrap_mesh_copy_faces(UnwrapMesh* mesh, int triangleCount, const int32_t* vertexTriples,
                            const int32_t* uvTriples, const UvPoint* uvs, int uvCount,
                            const uint8_t* pinTriples) {
    release(mesh->faceVertices);
    release(mesh->faces);
    mesh->faceVertices = calloc_array<UnwrapFaceVertices>(triangleCount, "UnwrapFaceVertices");
    mesh->faces = calloc_array<UnwrapFace>(triangleCount, "UnwrapFaces");
    for (int t = 0; t < triangleCount; t++) {
        UnwrapFaceVertices& fv = mesh->faceVertices[t];
        UnwrapFace& f = mesh->faces[t];
        for (int k = 0; k < 3; k++) {
            fv.v[k] = vertexTriples[3 * t + k];
            int uv = uvTriples[3 * t + k];
            if (uv >= 0 && uv < uvCount) {
                f.uv[k][0] = uvs[uv].u;
                f.uv[k][1] = uvs[uv].v;
            }
            f.uvIndex[k] = uv;
            if (pinTriples[3 * t + k] == 1)
                f.pins |= unwrap_corner_pinned(k);
        }
        fv.v[3] = 0;
        f.flags = UNWRAP_FACE_SELECTED | unwrap_corner_selected(0);
    }
    mesh->triangleCount = triangleCount > 0 ? triangleCount : 0;
}

void unwrap_mesh_copy_uvs_in(UnwrapMesh* mesh, int triangleCount, const int32_t* uvTriples,
                             const UvPoint* uvs, int uvCount) {
    int n = std::min(triangleCount, mesh->triangleCount);
    for (int t = 0; t < n; t++) {
        for (int k = 0; k < 3; k++) {
            int uv = uvTriples[3 * t + k];
            if (uv == -1 || uv < 0 || uv >= uvCount)
                continue;
            mesh->faces[t].uv[k][0] = uvs[uv].u;
            mesh->faces[t].uv[k][1] = uvs[uv].v;
        }
    }
}

void unwrap_mesh_free(UnwrapMesh* mesh) {
    free_arrays(mesh);
    release(g_uv_table.uv);
    g_uv_table = UnwrapUvTable{};
}

// The selection grows over every edge that is not a seam, pass after pass, until nothing
// joins; the result is the set of triangles linked to the selection through such edges. One
// flood over triangles grouped by shared edge gives the same set without the repeated passes.
void select_linked_faces(UnwrapMesh* mesh) {
    const int n = mesh->triangleCount;
    EdgeHash* seams = edgehash_new();
    for (int i = 0; i < mesh->edgeCount; i++) {
        if (mesh->edges[i].flags & UNWRAP_EDGE_SEAM)
            edgehash_insert(seams, mesh->edges[i].v1, mesh->edges[i].v2, nullptr);
    }
    auto* marks = static_cast<uint8_t*>(mem_calloc(n, "linkflaguv"));

    // Every (edge, triangle) use, grouped by edge.
    struct Use {
        uint64_t key;
        int triangle;
        int corner;
    };
    std::vector<Use> uses;
    uses.reserve(size_t(n) * 3);
    for (int t = 0; t < n; t++) {
        const UnwrapFaceVertices& fv = mesh->faceVertices[t];
        int corners = corner_count(fv);
        for (int k = 0; k < corners; k++)
            uses.push_back({pair_key(fv.v[k], fv.v[(k + 1) % corners]), t, k});
    }
    std::sort(uses.begin(), uses.end(), [](const Use& a, const Use& b) {
        return a.key != b.key ? a.key < b.key : a.triangle < b.triangle;
    });
    // Per triangle corner: the first use of its edge's group.
    std::vector<size_t> groupOf(size_t(n) * 4);
    size_t groupStart = 0;
    for (size_t i = 0; i < uses.size(); i++) {
        if (i == 0 || uses[i].key != uses[i - 1].key)
            groupStart = i;
        groupOf[size_t(uses[i].triangle) * 4 + size_t(uses[i].corner)] = groupStart;
    }

    std::vector<int> stack;
    for (int t = 0; t < n; t++) {
        if (!(mesh->faces[t].flags & UNWRAP_FACE_HIDDEN) &&
            (mesh->faces[t].flags & UNWRAP_FACE_SELECTED)) {
            marks[t] = 1;
            stack.push_back(t);
        }
    }
    std::vector<uint8_t> spent(uses.size(), 0); // an edge spreads once
    while (!stack.empty()) {
        int t = stack.back();
        stack.pop_back();
        const UnwrapFaceVertices& fv = mesh->faceVertices[t];
        int corners = corner_count(fv);
        for (int k = 0; k < corners; k++) {
            int a = fv.v[k], b = fv.v[(k + 1) % corners];
            size_t first = groupOf[size_t(t) * 4 + size_t(k)];
            if (spent[first] || edgehash_has_key(seams, a, b))
                continue;
            spent[first] = 1;
            for (size_t i = first; i < uses.size() && uses[i].key == uses[first].key; i++) {
                int other = uses[i].triangle;
                if (!marks[other] && !(mesh->faces[other].flags & UNWRAP_FACE_HIDDEN)) {
                    marks[other] = 1;
                    stack.push_back(other);
                }
            }
        }
    }

    edgehash_free(seams, nullptr);
    for (int t = 0; t < n; t++) {
        if (marks[t])
            mesh->faces[t].flags |= UNWRAP_FACE_SELECTED;
        else
            mesh->faces[t].flags &= uint8_t(~UNWRAP_FACE_SELECTED);
    }
    if (marks)
        mem_free(marks);
}

// Each corner's UV gets the position of the first equal pair in the table, appended when new.
// Equality is float equality: -0 equals +0 and NaN equals nothing, so the hash key folds the
// zeros together and NaN pairs are never looked up.
void uv_index_rebuild(UnwrapMesh* mesh) {
    const int n = mesh->triangleCount;
    release(g_uv_table.uv);
    g_uv_table = UnwrapUvTable{};
    if (n <= 0)
        return;
    SUPPORT_REQUIRE(size_t(n) * 3 * sizeof(float[2]) < size_t(1) << 31, "uv table too large");
    g_uv_table.uv = static_cast<float(*)[2]>(mem_alloc(n * 3 * int(sizeof(float[2])), "UvTable"));
    SUPPORT_REQUIRE(g_uv_table.uv, "uv table: out of memory");

    auto bits = [](float f) {
        uint32_t b;
        std::memcpy(&b, &f, sizeof b);
        return b == 0x80000000u ? 0u : b;
    };
    // Open addressing over (u, v) bit patterns: one flat array, no allocation per entry.
    size_t capacity = 16;
    while (capacity < size_t(n) * 6)
        capacity *= 2;
    std::vector<uint64_t> keys(capacity);
    std::vector<int32_t> slots(capacity, -1);
    const size_t mask = capacity - 1;
    for (int t = 0; t < n; t++) {
        for (int k = 0; k < 3; k++) {
            float u = mesh->faces[t].uv[k][0], v = mesh->faces[t].uv[k][1];
            int position = -1;
            bool comparable = !std::isnan(u) && !std::isnan(v);
            uint64_t key = (uint64_t(bits(u)) << 32) | bits(v);
            size_t slot = size_t(mix(key)) & mask;
            if (comparable) {
                while (slots[slot] >= 0 && keys[slot] != key)
                    slot = (slot + 1) & mask;
                position = slots[slot];
            }
            if (position < 0) {
                position = g_uv_table.count++;
                g_uv_table.uv[position][0] = u;
                g_uv_table.uv[position][1] = v;
                if (comparable) {
                    keys[slot] = key;
                    slots[slot] = position;
                }
            }
            mesh->faces[t].uvIndex[k] = position;
        }
    }
}
