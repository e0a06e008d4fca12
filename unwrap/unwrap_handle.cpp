#include "unwrap/unwrap.h"

#include "support/guarded_alloc.h"
#include "support/mem_arena.h"
#include "support/require.h"
#include "unwrap/unwrap_geometry.h"
#include "unwrap/unwrap_hash.h"
#include "unwrap/unwrap_internal.h"
#include "unwrap/unwrap_live_rows.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr int ARENA_CHUNK_SIZE = 65536;

PPoint* find_or_add_point(PHandle* handle, int vkey, float* co, PHalfEdge* e) {
    PPoint* p = phash_lookup_point(handle->hashPoints, vkey);
    if (p)
        return p;
    p = unwrap_new_point(handle);
    p->co = co;
    p->key = vkey;
    p->edge = e;
    phash_insert(handle->hashPoints, p);
    handle->construction->npoints++;
    return p;
}

void add_triangle(PHandle* handle, int faceKey, int i0, int i1, int i2, const int* vkeys,
                  float* const* co, float* const* uv, const uint8_t* pin, const uint8_t* select) {
    PChart* cc = handle->construction;
    PTriangle* t = unwrap_new_triangle(handle);
    PHalfEdge* e[3] = {unwrap_new_edge(handle), unwrap_new_edge(handle), unwrap_new_edge(handle)};
    const int corner[3] = {i0, i1, i2};

    for (int k = 0; k < 3; k++) {
        int i = corner[k];
        e[k]->nextInTri = e[(k + 1) % 3];
        e[k]->triangle = t;
        e[k]->point = find_or_add_point(handle, vkeys[i], co[i], e[k]);
        e[k]->uvLink = uv[i];
        if (pin && pin[i])
            e[k]->flags |= PEDGE_PINNED;
        if (select && select[i])
            e[k]->flags |= PEDGE_SELECTED;
    }

    t->edge = e[0];
    t->key = faceKey;
    // Held in reverse order of addition until construction ends (phash_order_as_inserted).
    t->next = cc->triangles;
    cc->triangles = t;
    cc->ntriangles++;

    for (int k = 0; k < 3; k++) {
        e[k]->key = e[k]->point->key ^ e[k]->nextInTri->point->key;
        e[k]->next = cc->edges;
        cc->edges = e[k];
        pedgeindex_insert(handle->edgeIndex, e[k]);
        cc->nedges++;
    }
}

bool edge_joins(const PHalfEdge* e, int a, int b) {
    int k1 = e->point->key, k2 = e->nextInTri->point->key;
    return (k1 == a && k2 == b) || (k1 == b && k2 == a);
}

// A triangle (a, b, c) exists when a half-edge joins a and b and its third corner is c.
bool triangle_exists(PHandle* handle, int a, int b, int c) {
    for (PHalfEdge* e = pedgeindex_lookup(handle->edgeIndex, a, b); e; e = e->nextSameEnds) {
        if (edge_joins(e, a, b) && e->nextInTri->nextInTri->point->key == c)
            return true;
    }
    return false;
}

float distance(const float* p, const float* q) {
    float d[3] = {p[0] - q[0], p[1] - q[1], p[2] - q[2]};
    return std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
}

} // namespace

PPoint* unwrap_new_point(PHandle* handle) {
    auto* p = static_cast<PPoint*>(arena_alloc(handle->arena, sizeof(PPoint)));
    std::memset(p, 0, sizeof(PPoint));
    return p;
}

PHalfEdge* unwrap_new_edge(PHandle* handle) {
    auto* e = static_cast<PHalfEdge*>(arena_alloc(handle->arena, sizeof(PHalfEdge)));
    std::memset(e, 0, sizeof(PHalfEdge));
    return e;
}

PTriangle* unwrap_new_triangle(PHandle* handle) {
    auto* t = static_cast<PTriangle*>(arena_alloc(handle->arena, sizeof(PTriangle)));
    std::memset(t, 0, sizeof(PTriangle));
    return t;
}

PHandle* unwrap_handle_create() {
    auto* handle = static_cast<PHandle*>(mem_calloc(sizeof(PHandle), "PHandle"));
    SUPPORT_REQUIRE(handle, "unwrap: out of memory for a handle");
    handle->construction = static_cast<PChart*>(mem_calloc(sizeof(PChart), "PChart"));
    SUPPORT_REQUIRE(handle->construction, "unwrap: out of memory for a chart");
    handle->construction->handle = handle;
    handle->arena = arena_new(ARENA_CHUNK_SIZE);
    PChart* cc = handle->construction;
    handle->hashPoints = phash_new(reinterpret_cast<void**>(&cc->points), 1);
    // Half-edges are looked up through the end-key index only; their construction list order is
    // never read, so they need no hash of their own.
    handle->hashEdges = nullptr;
    handle->edgeIndex = pedgeindex_new();
    handle->state = PHANDLE_STATE_CONSTRUCT;
    return handle;
}

void unwrap_add_face(PHandle* handle, int faceKey, int ncorners, const int* vkeys, float* const* co,
                     float* const* uv, const uint8_t* pin, const uint8_t* select) {
    SUPPORT_REQUIRE(handle->state == PHANDLE_STATE_CONSTRUCT,
                    "unwrap_add_face: construction has ended");
    SUPPORT_REQUIRE(ncorners == 3 || ncorners == 4, "unwrap_add_face: 3 or 4 corners");

    if (ncorners == 3) {
        add_triangle(handle, faceKey, 0, 1, 2, vkeys, co, uv, pin, select);
        return;
    }

    // Split along the shorter diagonal, unless that would repeat an existing triangle.
    const int* k = vkeys;
    float d = distance(co[0], co[2]) - distance(co[1], co[3]);
    bool along02;
    if (d <= 0.0f)
        along02 = !(triangle_exists(handle, k[0], k[1], k[2]) ||
                    triangle_exists(handle, k[0], k[2], k[3]));
    else
        along02 =
            triangle_exists(handle, k[0], k[1], k[3]) || triangle_exists(handle, k[1], k[2], k[3]);

    if (along02) {
        add_triangle(handle, faceKey, 0, 1, 2, vkeys, co, uv, pin, select);
        add_triangle(handle, faceKey, 0, 2, 3, vkeys, co, uv, pin, select);
    } else {
        add_triangle(handle, faceKey, 0, 1, 3, vkeys, co, uv, pin, select);
        add_triangle(handle, faceKey, 1, 2, 3, vkeys, co, uv, pin, select);
    }
}

void unwrap_expect_faces(PHandle* handle, int nfaces) {
    SUPPORT_REQUIRE(handle->state == PHANDLE_STATE_CONSTRUCT,
                    "unwrap_expect_faces: construction has ended");
    if (nfaces <= 0)
        return;
    // A closed mesh of triangles has 1.5 edges per triangle; quads give two triangles each.
    pedgeindex_reserve(handle->edgeIndex, 2u * unsigned(std::min(nfaces, 1 << 26)));
    // About half a point per triangle: a bucket each. The points are only looked up by key (the
    // construction's point list is never walked), so the hash may start at its final size.
    if (handle->hashPoints->size == 0) {
        phash_delete(handle->hashPoints);
        handle->hashPoints =
            phash_new(reinterpret_cast<void**>(&handle->construction->points), nfaces / 2);
    }
}

PHalfEdge* unwrap_mark_seam(PHandle* handle, int vkey1, int vkey2) {
    SUPPORT_REQUIRE(handle->state == PHANDLE_STATE_CONSTRUCT,
                    "unwrap_mark_seam: construction has ended");
    // Only the first half-edge added between the two keys is flagged; the pair search looks at
    // both sides, so which one carries the flag does not change the charts.
    PHalfEdge* e = pedgeindex_lookup(handle->edgeIndex, vkey1, vkey2);
    if (e)
        e->flags |= PEDGE_SEAM;
    return e;
}

void unwrap_flush(PHandle* handle) {
    for (int i = 0; i < handle->ncharts; i++) {
        PChart* chart = handle->charts[i];
        if (handle->state == PHANDLE_STATE_LSCM && !chart->u.lscm.context)
            continue;
        if (handle->state == PHANDLE_STATE_LSCM && chart->u.lscm.live) {
            for (const PCornerLink& link : chart->u.lscm.live->links) {
                link.uvLink[0] = link.point->uv[0];
                link.uvLink[1] = link.point->uv[1];
            }
            continue;
        }
        for (PHalfEdge* e = chart->edges; e; e = e->next) {
            if (e->uvLink) {
                e->uvLink[0] = e->point->uv[0];
                e->uvLink[1] = e->point->uv[1];
            }
        }
    }
}

void unwrap_delete(PHandle* handle) {
    if (!handle)
        return;
    for (int i = 0; i < handle->ncharts; i++)
        mem_free(handle->charts[i]);
    if (handle->charts)
        mem_free(handle->charts);
    if (handle->construction) {
        mem_free(handle->construction);
        phash_delete(handle->hashPoints);
        phash_delete(handle->hashEdges);
        pedgeindex_delete(handle->edgeIndex);
    }
    arena_free(handle->arena);
    mem_free(handle);
}
