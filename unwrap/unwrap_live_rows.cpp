#include "unwrap/unwrap_live_rows.h"

#include "unwrap/unwrap_geometry.h"

#include <algorithm>
#include <cmath>
#include <functional>

namespace {

// Cosine and sine of the angle at a between b − a and c − a, in double precision from the
// vectors themselves. A zero-length side gives a right angle, as the single-precision angle does.
void corner_cosine_sine(const float* a, const float* b, const float* c, double* cosine,
                        double* sine) {
    double u[3], v[3];
    for (int i = 0; i < 3; i++) {
        u[i] = double(b[i]) - double(a[i]);
        v[i] = double(c[i]) - double(a[i]);
    }
    const double lengths = std::sqrt((u[0] * u[0] + u[1] * u[1] + u[2] * u[2]) *
                                     (v[0] * v[0] + v[1] * v[1] + v[2] * v[2]));
    if (!(lengths > 0.0)) {
        *cosine = 0.0;
        *sine = 1.0;
        return;
    }
    const double cross[3] = {u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2],
                             u[0] * v[1] - u[1] * v[0]};
    *cosine = (u[0] * v[0] + u[1] * v[1] + u[2] * v[2]) / lengths;
    *sine = std::sqrt(cross[0] * cross[0] + cross[1] * cross[1] + cross[2] * cross[2]) / lengths;
}

} // namespace

PTriangleRows unwrap_triangle_rows(const PTriangle* t, const float* abf) {
    PHalfEdge* e1 = t->edge;
    PHalfEdge* e2 = e1->nextInTri;
    PHalfEdge* e3 = e2->nextInTri;
    const PPoint* p[3] = {e1->point, e2->point, e3->point};
    double c[3], s[3];
    if (abf) {
        for (int k = 0; k < 3; k++) {
            c[k] = std::cos(double(abf[k]));
            s[k] = std::sin(double(abf[k]));
        }
    } else {
        // The third angle is pi less the other two, as for the single-precision angles.
        corner_cosine_sine(p[0]->co, p[1]->co, p[2]->co, &c[0], &s[0]);
        corner_cosine_sine(p[1]->co, p[2]->co, p[0]->co, &c[1], &s[1]);
        s[2] = s[0] * c[1] + c[0] * s[1];
        c[2] = s[0] * s[1] - c[0] * c[1];
    }
    const double smax = std::fmax(std::fmax(s[0], s[1]), s[2]);

    // The corner of largest sine goes last, so that the ratio of sines stays bounded.
    auto rotate = [&]() {
        std::swap(p[1], p[2]);
        std::swap(p[0], p[1]);
        std::swap(c[1], c[2]);
        std::swap(c[0], c[1]);
        std::swap(s[1], s[2]);
        std::swap(s[0], s[1]);
    };
    if (s[2] != smax) {
        rotate();
        if (s[1] == smax)
            rotate();
    }

    const double ratio = s[2] == 0.0 ? 1.0 : s[1] / s[2];
    PTriangleRows rows;
    rows.cosine = c[0] * ratio;
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
