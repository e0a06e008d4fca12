#include "unwrap/unwrap.h"

#include "support/guarded_alloc.h"
#include "support/require.h"
#include "unwrap/unwrap_geometry.h"
#include "unwrap/unwrap_hash.h"
#include "unwrap/unwrap_internal.h"

#include <cstring>

namespace {

// The flood fill's explicit stack; a triangle can be pushed more than once, so it grows.
struct EdgeStack {
    PHalfEdge** base;
    int size;
    int capacity;
};

void stack_push(EdgeStack* stack, PHalfEdge* e) {
    if (stack->size == stack->capacity) {
        // The byte count must stay within an int for the allocator.
        SUPPORT_REQUIRE(stack->capacity <= (1 << 26), "unwrap: flood fill stack too large");
        int capacity = stack->capacity * 2;
        auto* base =
            static_cast<PHalfEdge**>(mem_alloc(int(sizeof(PHalfEdge*)) * capacity, "Pstackbase"));
        SUPPORT_REQUIRE(base, "unwrap: out of memory for the flood fill stack");
        std::memcpy(base, stack->base, sizeof(PHalfEdge*) * size_t(stack->size));
        mem_free(stack->base);
        stack->base = base;
        stack->capacity = capacity;
    }
    stack->base[stack->size++] = e;
}

bool edge_joins(const PHalfEdge* e, int a, int b) {
    int k1 = e->point->key, k2 = e->nextInTri->point->key;
    return (k1 == a && k2 == b) || (k1 == b && k2 == a);
}

// The half-edge that e may be paired with, or null: seams, edges of three or more triangles
// and reversed neighbours that are already joined elsewhere stay boundaries.
PHalfEdge* find_pair(PHandle* handle, PHalfEdge* e) {
    if (e->flags & PEDGE_SEAM)
        return nullptr;
    int a = e->point->key, b = e->nextInTri->point->key;
    PHalfEdge* candidate = nullptr;
    for (PHalfEdge* r = pedgeindex_lookup(handle->edgeIndex, a, b); r; r = r->nextSameEnds) {
        if (r == e || !edge_joins(r, a, b))
            continue;
        if ((r->flags & PEDGE_SEAM) || candidate)
            return nullptr;
        candidate = r;
    }
    if (!candidate)
        return nullptr;
    if (candidate->point == e->point) {
        PHalfEdge* r2 = candidate->nextInTri;
        PHalfEdge* r3 = r2->nextInTri;
        if (r2->pair || r3->pair)
            return nullptr;
    }
    return candidate;
}

// Reverses a triangle's winding; pins and UV links follow their corners, other flags stay.
void flip_triangle(PTriangle* t) {
    PHalfEdge* e1 = t->edge;
    PHalfEdge* e2 = e1->nextInTri;
    PHalfEdge* e3 = e2->nextInTri;
    PPoint* p1 = e1->point;
    PPoint* p2 = e2->point;
    PPoint* p3 = e3->point;
    float* uv1 = e1->uvLink;
    float* uv2 = e2->uvLink;
    float* uv3 = e3->uvLink;
    uint16_t pin1 = e1->flags & PEDGE_PINNED;
    uint16_t pin2 = e2->flags & PEDGE_PINNED;
    uint16_t pin3 = e3->flags & PEDGE_PINNED;

    e1->point = p2;
    e2->point = p3;
    e3->point = p1;
    e1->uvLink = uv2;
    e2->uvLink = uv3;
    e3->uvLink = uv1;
    auto setPin = [](PHalfEdge* e, uint16_t pin) {
        e->flags = uint16_t((e->flags & ~PEDGE_PINNED) | pin);
    };
    setPin(e1, pin2);
    setPin(e2, pin3);
    setPin(e3, pin1);

    e1->nextInTri = e3;
    e3->nextInTri = e2;
    e2->nextInTri = e1;
}

} // namespace

int unwrap_split_charts(PHandle* handle) {
    PChart* cc = handle->construction;
    EdgeStack stack;
    SUPPORT_REQUIRE(cc->ntriangles <= (1 << 26), "unwrap: too many triangles");
    stack.capacity = cc->ntriangles > 0 ? cc->ntriangles : 1;
    stack.size = 0;
    stack.base =
        static_cast<PHalfEdge**>(mem_alloc(int(sizeof(PHalfEdge*)) * stack.capacity, "Pstackbase"));
    SUPPORT_REQUIRE(stack.base, "unwrap: out of memory for the flood fill stack");

    int ncharts = 0;
    for (PTriangle* t = cc->triangles; t; t = t->next) {
        if (t->flags & PTRI_CONNECTED)
            continue;
        stack_push(&stack, t->edge);

        while (stack.size > 0) {
            PHalfEdge* e = stack.base[--stack.size];
            e->triangle->flags |= PTRI_CONNECTED;
            e->triangle->key = ncharts;

            PHalfEdge* ring[3] = {e, e->nextInTri, e->nextInTri->nextInTri};
            for (PHalfEdge* he : ring) {
                if (!he->pair) {
                    PHalfEdge* found = find_pair(handle, he);
                    if (found) {
                        if (found->point == he->point)
                            flip_triangle(found->triangle);
                        he->pair = found;
                        found->pair = he;
                        if (!(found->triangle->flags & PTRI_CONNECTED))
                            stack_push(&stack, found);
                    }
                }
                if (!he->pair)
                    he->point->edge = he;
            }
        }
        ncharts++;
    }

    mem_free(stack.base);
    return ncharts;
}
