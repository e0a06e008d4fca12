#include "unwrap/unwrap_stretch.h"

#include <cmath>
#include <limits>

namespace {

struct Sums {
    double area3 = 0.0;   // 3D area of the triangles measured
    double areaUv = 0.0;  // their UV area, unsigned
    double stretch = 0.0; // 3D area times the triangle's squared stretch at UV scale 1
};

// Adds one triangle; false when its layout is collapsed or not finite.
bool add_triangle(const PTriangle* t, Sums& sums) {
    const PHalfEdge* e = t->edge;
    const PPoint* p[3] = {e->point, e->nextInTri->point, e->nextInTri->nextInTri->point};
    double q[3][3], s[3], u[3];
    for (int i = 0; i < 3; i++) {
        for (int k = 0; k < 3; k++)
            q[i][k] = p[i]->co[k];
        s[i] = p[i]->uv[0];
        u[i] = p[i]->uv[1];
    }
    const double e1[3] = {q[1][0] - q[0][0], q[1][1] - q[0][1], q[1][2] - q[0][2]};
    const double e2[3] = {q[2][0] - q[0][0], q[2][1] - q[0][1], q[2][2] - q[0][2]};
    const double n[3] = {e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2],
                         e1[0] * e2[1] - e1[1] * e2[0]};
    const double area3 = 0.5 * std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
    if (!(area3 > 0.0))
        return true;
    const double twiceUv = (s[1] - s[0]) * (u[2] - u[0]) - (s[2] - s[0]) * (u[1] - u[0]);
    if (!std::isfinite(twiceUv) || twiceUv == 0.0)
        return false;
    // The partial derivatives of the affine map from the layout to the surface.
    double ds[3], du[3];
    for (int k = 0; k < 3; k++) {
        ds[k] =
            (q[0][k] * (u[1] - u[2]) + q[1][k] * (u[2] - u[0]) + q[2][k] * (u[0] - u[1])) / twiceUv;
        du[k] =
            (q[0][k] * (s[2] - s[1]) + q[1][k] * (s[0] - s[2]) + q[2][k] * (s[1] - s[0])) / twiceUv;
    }
    const double a = ds[0] * ds[0] + ds[1] * ds[1] + ds[2] * ds[2];
    const double c = du[0] * du[0] + du[1] * du[1] + du[2] * du[2];
    sums.area3 += area3;
    sums.areaUv += 0.5 * std::fabs(twiceUv);
    sums.stretch += area3 * 0.5 * (a + c);
    return true;
}

} // namespace

double unwrap_chart_stretch(const PChart* chart) {
    constexpr double kInfinite = std::numeric_limits<double>::infinity();
    Sums sums;
    for (const PTriangle* t = chart->triangles; t; t = t->next)
        if (!(t->flags & PTRI_FILLED) && !add_triangle(t, sums))
            return kInfinite;
    if (!(sums.area3 > 0.0))
        return 1.0;
    // Scaling the layout by k divides the stretch by k and multiplies the area ratio by k^2.
    const double stretch = std::sqrt(sums.stretch / sums.area3 * sums.areaUv / sums.area3);
    return std::isfinite(stretch) ? stretch : kInfinite;
}
