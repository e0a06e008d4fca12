#include "unwrap/unwrap_geometry.h"

#include <cmath>

namespace {

// Vectors shorter than this (squared) normalise to zero rather than to noise.
constexpr float NORMALIZE_EPSILON = 1e-35f;

template <int N> void normalize(float v[N]) {
    float d = 0.0f;
    for (int i = 0; i < N; i++)
        d += v[i] * v[i];
    if (d > NORMALIZE_EPSILON) {
        d = std::sqrt(d);
        for (int i = 0; i < N; i++)
            v[i] /= d;
    } else {
        for (int i = 0; i < N; i++)
            v[i] = 0.0f;
    }
}

template <int N> float angle_at(const float* a, const float* b, const float* c) {
    float u[N], v[N];
    for (int i = 0; i < N; i++) {
        u[i] = b[i] - a[i];
        v[i] = c[i] - a[i];
    }
    normalize<N>(u);
    normalize<N>(v);
    float dot = 0.0f;
    for (int i = 0; i < N; i++)
        dot += u[i] * v[i];
    if (dot <= -1.0f)
        return UNWRAP_PI;
    if (dot >= 1.0f)
        return 0.0f;
    return std::acos(dot);
}

} // namespace

PHalfEdge* unwrap_boundary_prev(PHalfEdge* e) {
    PHalfEdge* we = e;
    for (;;) {
        PHalfEdge* before = unwrap_edge_prev_in_tri(we);
        if (!before->pair)
            return before;
        we = before->pair;
        if (we == e)
            return nullptr; // closed fan: there is no boundary here
    }
}

float unwrap_edge_length(const PHalfEdge* e) {
    const float* a = e->point->co;
    const float* b = e->nextInTri->point->co;
    float d[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
    return std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
}

float unwrap_corner_angle(const float a[3], const float b[3], const float c[3]) {
    return angle_at<3>(a, b, c);
}

float unwrap_corner_angle_2d(const float a[2], const float b[2], const float c[2]) {
    return angle_at<2>(a, b, c);
}

void unwrap_triangle_angles(const PTriangle* t, float* a1, float* a2, float* a3) {
    const PHalfEdge* e1 = t->edge;
    const PHalfEdge* e2 = e1->nextInTri;
    const PHalfEdge* e3 = e2->nextInTri;
    const float* p1 = e1->point->co;
    const float* p2 = e2->point->co;
    const float* p3 = e3->point->co;
    *a1 = unwrap_corner_angle(p1, p2, p3);
    *a2 = unwrap_corner_angle(p2, p3, p1);
    *a3 = UNWRAP_PI - *a2 - *a1;
}

void unwrap_point_initial_uv(PPoint* p) {
    float pinUv[2] = {0.0f, 0.0f}, uv[2] = {0.0f, 0.0f};
    int npinned = 0, nlinked = 0;
    PHalfEdge* e = p->edge;
    do {
        if (e->uvLink) {
            if (e->flags & PEDGE_SELECTED)
                p->flags |= PPOINT_SELECTED;
            if (e->flags & PEDGE_PINNED) {
                pinUv[0] += e->uvLink[0];
                pinUv[1] += e->uvLink[1];
                npinned++;
            } else {
                uv[0] += e->uvLink[0];
                uv[1] += e->uvLink[1];
            }
            nlinked++;
        }
        e = unwrap_edge_next_around(e);
    } while (e && e != p->edge);

    if (npinned > 0) {
        p->flags |= PPOINT_PINNED;
        p->uv[0] = pinUv[0] / float(npinned);
        p->uv[1] = pinUv[1] / float(npinned);
    } else if (nlinked > 0) {
        p->uv[0] = uv[0] / float(nlinked);
        p->uv[1] = uv[1] / float(nlinked);
    } else {
        p->uv[0] = 0.0f;
        p->uv[1] = 0.0f;
    }
}
