#include "unwrap/unwrap_live_rows.h"

#include "unwrap/unwrap_geometry.h"

#include <algorithm>
#include <cmath>
#include <functional>

PTriangleRows unwrap_triangle_rows(const PTriangle* t, const float* abf) {
    PHalfEdge* e1 = t->edge;
    PHalfEdge* e2 = e1->nextInTri;
    PHalfEdge* e3 = e2->nextInTri;
    const PPoint* p[3] = {e1->point, e2->point, e3->point};
    float a[3];
    if (abf) {
        a[0] = abf[0];
        a[1] = abf[1];
        a[2] = abf[2];
    } else {
        unwrap_triangle_angles(t, &a[0], &a[1], &a[2]);
    }
    float s[3] = {std::sin(a[0]), std::sin(a[1]), std::sin(a[2])};
    float smax = std::fmax(std::fmax(s[0], s[1]), s[2]);

    // The corner of largest sine goes last, so that the ratio of sines stays bounded.
    auto rotate = [&]() {
        const PPoint* tp = p[2];
        p[2] = p[1];
        p[1] = p[0];
        p[0] = tp;
        float ta = a[2];
        a[2] = a[1];
        a[1] = a[0];
        a[0] = ta;
        float ts = s[2];
        s[2] = s[1];
        s[1] = s[0];
        s[0] = ts;
    };
    if (s[2] != smax) {
        rotate();
        if (s[1] == smax)
            rotate();
    }

    float ratio = s[2] == 0.0f ? 1.0f : s[1] / s[2];
    PTriangleRows rows;
    rows.cosine = std::cos(a[0]) * ratio;
    rows.sine = s[0] * ratio;
    for (int k = 0; k < 3; k++)
        rows.u[k] = unsigned(2 * p[k]->key);
    return rows;
}

PLiveRows* unwrap_live_rows_new(const PChart* chart, const float* abfAngles) {
    auto* rows = new PLiveRows;
    rows->points.reserve(size_t(chart->npoints));
    for (PPoint* p = chart->points; p; p = p->next) {
        rows->points.push_back(p);
        if (p->flags & PPOINT_PINNED)
            rows->pinned.push_back(p);
    }
    rows->triangles.reserve(size_t(chart->ntriangles));
    const float* abf = abfAngles;
    for (PTriangle* t = chart->triangles; t; t = t->next) {
        const PHalfEdge* e = t->edge;
        if ((e->point->flags | e->nextInTri->point->flags | e->nextInTri->nextInTri->point->flags) &
            PPOINT_PINNED)
            rows->pinnedTriangles.push_back(unsigned(rows->triangles.size()));
        rows->triangles.push_back(unwrap_triangle_rows(t, abf));
        if (abf)
            abf += 3;
    }
    for (PHalfEdge* e = chart->edges; e; e = e->next)
        if (e->uvLink)
            rows->links.push_back({e->uvLink, e->point});
    // Each point and each corner is written once per step, so their order is free: in memory
    // order the steps walk the arena instead of jumping about it.
    std::sort(rows->points.begin(), rows->points.end(), std::less<const PPoint*>());
    std::sort(rows->pinned.begin(), rows->pinned.end(), std::less<const PPoint*>());
    std::sort(rows->links.begin(), rows->links.end(),
              [](const PCornerLink& a, const PCornerLink& b) {
                  return std::less<const PPoint*>()(a.point, b.point);
              });
    return rows;
}

void unwrap_live_rows_delete(PLiveRows* rows) {
    delete rows;
}
