// Locally injective refinement of charts whose layout has flipped or collapsed triangles, by the
// scalable locally injective mappings method (Rabinovich, Poranne, Panozzo and Sorkine-Hornung,
// "Scalable Locally Injective Mappings", 2017):
//  - start from a Tutte embedding (Tutte, "How to draw a graph", 1963): the boundary on a convex
//    polygon, every inner point at the mean of its neighbours; no triangle is flipped;
//  - lower the symmetric Dirichlet energy Σ area (σ1² + σ1⁻² + σ2² + σ2⁻²) by local-global steps:
//    per triangle the closest rotation R of its Jacobian J and the weight W that makes the
//    quadratic proxy Σ area |W (J − R)|² match the energy's gradient; then one weighted
//    least-squares solve for all UVs, with a free boundary;
//  - move towards that solve by a line search that stops short of the first triangle whose
//    signed area would reach zero (a root of a quadratic per triangle), so that no triangle
//    ever flips, and lowers the energy.
// Charts without flipped or collapsed triangles, and charts with the user's pins, are left
// exactly as they are; a chart takes the new layout only when it has fewer flipped or collapsed
// triangles than its own.

#include "unwrap/unwrap_injective.h"

#include "unwrap/unwrap_stretch.h"

#include "Lscm/opennl.h"
#include "unwrap/unwrap_geometry.h"
#include "unwrap/unwrap_lscm.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <unordered_map>
#include <utility>
#include <vector>

namespace {

// A triangle whose UV area is under this share of its 3D area times the chart's UV/3D area
// ratio is collapsed.
constexpr double kCollapsedShare = 1e-4;
// Steps end when the energy falls by less than this share, or after this many steps.
constexpr double kRelativeDecrease = 1e-3;
constexpr int kMaxSteps = 50;
// A step goes at most this share of the way to the first triangle that would flip.
constexpr double kFlipMargin = 0.8;
// The singular values the proxy weights see (see proxy_weight).
constexpr double kWeightRange = 1e-3;
// Weight of the pull that keeps every point in the global solve, against a triangle's.
constexpr double kPull = 1e-6;

struct Triangle {
    int p[3];
    bool real;   // not made by hole filling
    double area; // 3D area (0 for filled or degenerate triangles: no energy)
    // Gradient of a linear function from its corner values, in the triangle's own frame:
    // ∇f = (Σ gx[i] f[i], Σ gy[i] f[i]).
    double gx[3], gy[3];
};

struct ChartMesh {
    std::vector<PPoint*> points;
    std::vector<Triangle> triangles;
    std::vector<std::pair<int, int>> edges; // each once
    std::vector<int> boundary;              // the longest boundary loop, in order
};

double length3(const float* a, const float* b) {
    const double d[3] = {double(b[0]) - a[0], double(b[1]) - a[1], double(b[2]) - a[2]};
    return std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
}

// A triangle in its own frame: corner 0 at the origin, corner 1 at (a, 0), corner 2 at (b, c).
void triangle_frame(const float* const co[3], double* a, double* b, double* c) {
    *a = length3(co[0], co[1]);
    double u[3], v[3];
    for (int k = 0; k < 3; k++) {
        u[k] = double(co[1][k]) - co[0][k];
        v[k] = double(co[2][k]) - co[0][k];
    }
    *b = *a > 0 ? (u[0] * v[0] + u[1] * v[1] + u[2] * v[2]) / *a : 0.0;
    *c = std::sqrt(std::max(0.0, v[0] * v[0] + v[1] * v[1] + v[2] * v[2] - *b * *b));
}

} // namespace

// The same test as unsound_triangles, straight from the records, without building the chart's
// arrays first.
bool unwrap_chart_sound(const PChart* chart) {
    std::vector<std::pair<double, double>> areas; // 3D, signed UV
    double area3 = 0.0, areaUv = 0.0;
    for (const PTriangle* t = chart->triangles; t; t = t->next) {
        if (t->flags & PTRI_FILLED)
            continue;
        const PHalfEdge* e = t->edge;
        const PPoint* p[3] = {e->point, e->nextInTri->point, e->nextInTri->nextInTri->point};
        const float* co[3] = {p[0]->co, p[1]->co, p[2]->co};
        double a, b, c;
        triangle_frame(co, &a, &b, &c);
        const double area = a > 0 && c > 0 ? 0.5 * a * c : 0.0;
        for (const PPoint* q : p)
            if (!std::isfinite(q->uv[0]) || !std::isfinite(q->uv[1]))
                return false;
        const double uv =
            0.5 * ((double(p[1]->uv[0]) - p[0]->uv[0]) * (double(p[2]->uv[1]) - p[0]->uv[1]) -
                   (double(p[1]->uv[1]) - p[0]->uv[1]) * (double(p[2]->uv[0]) - p[0]->uv[0]));
        areas.push_back({area, uv});
        area3 += area;
        areaUv += uv;
    }
    if (!(std::fabs(areaUv) > 0.0) || !(area3 > 0.0))
        return false;
    const double sign = areaUv > 0 ? 1.0 : -1.0, ratio = std::fabs(areaUv) / area3;
    for (auto [area, uv] : areas)
        if (sign * uv < 0.0 || sign * uv < kCollapsedShare * area * ratio)
            return false;
    return true;
}

namespace {

ChartMesh chart_mesh(PChart* chart) {
    ChartMesh m;
    std::unordered_map<const PPoint*, int> index;
    for (PPoint* p = chart->points; p; p = p->next) {
        index.emplace(p, int(m.points.size()));
        m.points.push_back(p);
    }
    for (PTriangle* t = chart->triangles; t; t = t->next) {
        Triangle tri{};
        const PHalfEdge* e = t->edge;
        const float* co[3];
        for (int k = 0; k < 3; k++, e = e->nextInTri) {
            tri.p[k] = index.at(e->point);
            co[k] = e->point->co;
        }
        tri.real = !(t->flags & PTRI_FILLED);
        double a, b, c;
        triangle_frame(co, &a, &b, &c);
        tri.area = tri.real && a > 0 && c > 0 ? 0.5 * a * c : 0.0;
        if (tri.area > 0) {
            tri.gx[0] = -1.0 / a;
            tri.gx[1] = 1.0 / a;
            tri.gy[0] = (b / a - 1.0) / c;
            tri.gy[1] = -b / (a * c);
            tri.gy[2] = 1.0 / c;
        }
        m.triangles.push_back(tri);
    }
    PHalfEdge* longest = nullptr;
    double longestLength = -1.0;
    std::vector<char> walked(size_t(chart->nedges), 0);
    // Each edge once, from the half-edge met first in the chart's list (an order of addresses
    // would depend on how earlier runs left the allocator, and so would the results).
    std::unordered_map<const PHalfEdge*, int> edgeIndex;
    int k = 0;
    for (PHalfEdge* e = chart->edges; e; e = e->next, k++)
        edgeIndex.emplace(e, k);
    k = 0;
    for (PHalfEdge* e = chart->edges; e; e = e->next, k++)
        if (!e->pair || edgeIndex.at(e->pair) > k)
            m.edges.push_back({index.at(e->point), index.at(e->nextInTri->point)});
    // Boundary loops: from a boundary half-edge the next is its far point's edge.
    for (PHalfEdge* e = chart->edges; e; e = e->next) {
        if (e->pair || walked[size_t(edgeIndex.at(e))])
            continue;
        double length = 0.0;
        PHalfEdge* b = e;
        for (int guard = 0; guard <= chart->nedges; guard++) {
            walked[size_t(edgeIndex.at(b))] = 1;
            length += length3(b->point->co, b->nextInTri->point->co);
            b = b->nextInTri->point->edge;
            if (b == e || !b || b->pair)
                break;
        }
        if (length > longestLength) {
            longestLength = length;
            longest = e;
        }
    }
    for (PHalfEdge* b = longest; b;) {
        m.boundary.push_back(index.at(b->point));
        b = b->nextInTri->point->edge;
        if (b == longest || !b || b->pair || m.boundary.size() > m.points.size())
            break;
    }
    return m;
}

double signed_area(const std::vector<double>& uv, const Triangle& t) {
    const double* a = &uv[2 * size_t(t.p[0])];
    const double* b = &uv[2 * size_t(t.p[1])];
    const double* c = &uv[2 * size_t(t.p[2])];
    return 0.5 * ((b[0] - a[0]) * (c[1] - a[1]) - (b[1] - a[1]) * (c[0] - a[0]));
}

// How many of the real triangles of a layout are flipped or collapsed; all of them when a
// value is not finite or the layout has no area.
int unsound_triangles(const ChartMesh& m, const std::vector<double>& uv) {
    int real = 0;
    double area3 = 0.0, areaUv = 0.0;
    for (const Triangle& t : m.triangles)
        if (t.real) {
            real++;
            area3 += t.area;
            areaUv += signed_area(uv, t);
        }
    for (double x : uv)
        if (!std::isfinite(x))
            return real;
    if (!(std::fabs(areaUv) > 0.0) || !(area3 > 0.0))
        return real;
    const double sign = areaUv > 0 ? 1.0 : -1.0, ratio = std::fabs(areaUv) / area3;
    int unsound = 0;
    for (const Triangle& t : m.triangles) {
        if (!t.real)
            continue;
        const double a = sign * signed_area(uv, t);
        unsound += (a < 0.0 || a < kCollapsedShare * t.area * ratio) ? 1 : 0;
    }
    return unsound;
}

// cos and sin of 2π t for t in [0, 1], by a Taylor series on the nearest octant: the four
// operations only, so the boundary lands on the same points with every C library (to 1e-13 of
// the circle, which only has to be convex).
void cos_sin_of_turn(double t, double* c, double* s) {
    const double octants = t * 8.0;
    const int octant = int(std::floor(octants + 0.5));
    const double x = (octants - octant) * (M_PI / 4.0); // |x| <= π/8
    double sx = 0.0, cx = 0.0, term = x;
    for (int k = 1; k <= 15; k += 2) {
        sx += term;
        term *= -x * x / double((k + 1) * (k + 2));
    }
    term = 1.0;
    for (int k = 0; k <= 14; k += 2) {
        cx += term;
        term *= -x * x / double((k + 1) * (k + 2));
    }
    // Rotate by octant × 45°.
    const double h = std::sqrt(0.5);
    const double rc[8] = {1, h, 0, -h, -1, -h, 0, h};
    const double rs[8] = {0, h, 1, h, 0, -h, -1, -h};
    const int o = ((octant % 8) + 8) % 8;
    *c = cx * rc[o] - sx * rs[o];
    *s = sx * rc[o] + cx * rs[o];
}

// The Tutte embedding: the boundary on a circle of the chart's area, by arc length, and every
// other point at the mean of its neighbours (a least-squares system over the edges, the
// boundary locked). False when the system cannot be solved.
bool tutte_embedding(const ChartMesh& m, std::vector<double>& uv) {
    const size_t n = m.points.size();
    if (m.boundary.size() < 3)
        return false;
    double perimeter = 0.0, area = 0.0;
    for (size_t i = 0; i < m.boundary.size(); i++)
        perimeter += length3(m.points[size_t(m.boundary[i])]->co,
                             m.points[size_t(m.boundary[(i + 1) % m.boundary.size()])]->co);
    for (const Triangle& t : m.triangles)
        area += t.area;
    const double radius = std::sqrt(std::max(area, 1e-30) / M_PI);
    std::vector<char> onBoundary(n, 0);
    double along = 0.0;
    uv.assign(2 * n, 0.0);
    for (size_t i = 0; i < m.boundary.size(); i++) {
        const int p = m.boundary[i];
        const double turn =
            perimeter > 0 ? along / perimeter : double(i) / double(m.boundary.size());
        double c, s;
        cos_sin_of_turn(turn, &c, &s);
        uv[2 * size_t(p)] = radius * c;
        uv[2 * size_t(p) + 1] = radius * s;
        onBoundary[size_t(p)] = 1;
        along += length3(m.points[size_t(p)]->co,
                         m.points[size_t(m.boundary[(i + 1) % m.boundary.size()])]->co);
    }
    NLContext* context = nl_new_context();
    nl_set_parameter(NL_PARAM_VARIABLE_COUNT, int(2 * n));
    nl_set_parameter(NL_PARAM_LEAST_SQUARES, 1);
    nl_begin(NL_BLOCK_SYSTEM);
    for (size_t p = 0; p < n; p++)
        if (onBoundary[p])
            for (int k = 0; k < 2; k++) {
                nl_set_variable(unsigned(2 * p + k), float(uv[2 * p + size_t(k)]));
                nl_lock_variable(unsigned(2 * p + k));
            }
    nl_begin(NL_BLOCK_MATRIX);
    for (auto [a, b] : m.edges)
        for (int k = 0; k < 2; k++) {
            nl_begin(NL_BLOCK_ROW);
            nl_coefficient(unsigned(2 * a + k), 1.0);
            nl_coefficient(unsigned(2 * b + k), -1.0);
            nl_end(NL_BLOCK_ROW);
        }
    nl_end(NL_BLOCK_MATRIX);
    nl_end(NL_BLOCK_SYSTEM);
    const bool ok = nl_solve();
    if (ok)
        for (size_t p = 0; p < n; p++)
            if (!onBoundary[p])
                for (int k = 0; k < 2; k++)
                    uv[2 * p + size_t(k)] = nl_get_variable_double(unsigned(2 * p + k));
    nl_delete_context(context);
    return ok;
}

// A triangle's Jacobian from the layout: rows ∇u and ∇v.
void jacobian(const Triangle& t, const double* uv, double J[2][2]) {
    for (int k = 0; k < 2; k++) {
        J[k][0] = J[k][1] = 0.0;
        for (int i = 0; i < 3; i++) {
            const double f = uv[2 * size_t(t.p[i]) + size_t(k)];
            J[k][0] += t.gx[i] * f;
            J[k][1] += t.gy[i] * f;
        }
    }
}

// The singular values of a 2 × 2 matrix with a positive determinant, from its conformal and
// anticonformal parts; the cosine and sine of its closest rotation. Square roots and the four
// operations only: they round alike in every C library, so every platform gets the same layout.
void singular_values(const double J[2][2], double* high, double* low, double rotation[2]) {
    const double e = 0.5 * (J[0][0] + J[1][1]), h = 0.5 * (J[1][0] - J[0][1]);
    const double f = 0.5 * (J[0][0] - J[1][1]), g = 0.5 * (J[1][0] + J[0][1]);
    const double q = std::sqrt(e * e + h * h), r = std::sqrt(f * f + g * g);
    *high = q + r;
    *low = q - r;
    rotation[0] = q > 0 ? e / q : 1.0;
    rotation[1] = q > 0 ? h / q : 0.0;
}

// Symmetric Dirichlet energy of a layout; infinite when a triangle is flipped or flat.
double energy(const ChartMesh& m, const std::vector<double>& uv) {
    double total = 0.0;
    for (const Triangle& t : m.triangles) {
        if (t.area <= 0)
            continue;
        double J[2][2], high, low, rotation[2];
        jacobian(t, uv.data(), J);
        singular_values(J, &high, &low, rotation);
        if (!(low > 0))
            return INFINITY;
        total += t.area * (high * high + 1.0 / (high * high) + low * low + 1.0 / (low * low));
    }
    return total;
}

// The weight that makes |W (J − R)|² a proxy of the symmetric Dirichlet energy at σ. Singular
// values far from 1 are held within a range: weights over many orders of magnitude would make
// the global solve lose every digit, while the line search keeps each step a descent anyway.
double proxy_weight(double sigma) {
    sigma = std::clamp(sigma, kWeightRange, 1.0 / kWeightRange);
    return std::sqrt((sigma + 1.0) * (sigma * sigma + 1.0) / (sigma * sigma * sigma));
}

// One global solve: argmin Σ area |W (J − R)|² over the UVs, with point 0 held in place (the
// energy does not see translations). The constants R enter through a locked variable of value 1.
bool global_step(const ChartMesh& m, const std::vector<double>& uv, std::vector<double>& target) {
    const size_t n = m.points.size();
    const unsigned one = unsigned(2 * n);
    NLContext* context = nl_new_context();
    nl_set_parameter(NL_PARAM_VARIABLE_COUNT, int(2 * n + 2));
    nl_set_parameter(NL_PARAM_LEAST_SQUARES, 1);
    nl_begin(NL_BLOCK_SYSTEM);
    for (int k = 0; k < 2; k++) {
        nl_set_variable(unsigned(k), float(uv[size_t(k)]));
        nl_lock_variable(unsigned(k));
        nl_set_variable(one + unsigned(k), k == 0 ? 1.0f : 0.0f);
        nl_lock_variable(one + unsigned(k));
    }
    nl_begin(NL_BLOCK_MATRIX);
    // A faint pull of every point towards where it is keeps the system definite where a point
    // has no triangle of non-zero area (degenerate faces of a scan); elsewhere it changes nothing
    // that can be seen.
    double meanArea = 0.0;
    for (const Triangle& t : m.triangles)
        meanArea += t.area;
    meanArea /= double(std::max<size_t>(1, m.triangles.size()));
    const double pull = std::sqrt(kPull * meanArea);
    for (size_t v = 2; v < 2 * n; v++) {
        nl_begin(NL_BLOCK_ROW);
        nl_coefficient(unsigned(v), pull);
        nl_coefficient(one, -pull * uv[v]);
        nl_end(NL_BLOCK_ROW);
    }
    for (const Triangle& t : m.triangles) {
        if (t.area <= 0)
            continue;
        double J[2][2], high, low, rotation[2];
        jacobian(t, uv.data(), J);
        singular_values(J, &high, &low, rotation);
        // W = α I + β J Jᵀ has eigenvalues w(σ1), w(σ2) along J's left singular vectors.
        const double w1 = proxy_weight(high), w2 = proxy_weight(low);
        const double gap = high * high - low * low;
        const double beta = gap > 1e-12 * high * high ? (w1 - w2) / gap : 0.0;
        const double alpha = gap > 1e-12 * high * high ? w1 - beta * high * high : 0.5 * (w1 + w2);
        double W[2][2];
        for (int r = 0; r < 2; r++)
            for (int c = 0; c < 2; c++)
                W[r][c] = (r == c ? alpha : 0.0) + beta * (J[r][0] * J[c][0] + J[r][1] * J[c][1]);
        const double R[2][2] = {{rotation[0], -rotation[1]}, {rotation[1], rotation[0]}};
        const double scale = std::sqrt(t.area);
        for (int r = 0; r < 2; r++)
            for (int c = 0; c < 2; c++) {
                // Σ_k W[r][k] (J[k][c] − R[k][c]) = 0, J[k][c] from the corners' coordinate k.
                nl_begin(NL_BLOCK_ROW);
                double constant = 0.0;
                for (int k = 0; k < 2; k++) {
                    constant -= W[r][k] * R[k][c];
                    for (int i = 0; i < 3; i++) {
                        const double g = c == 0 ? t.gx[i] : t.gy[i];
                        if (g != 0.0 && W[r][k] != 0.0)
                            nl_coefficient(unsigned(2 * t.p[i] + k), scale * W[r][k] * g);
                    }
                }
                nl_coefficient(one, scale * constant);
                nl_end(NL_BLOCK_ROW);
            }
    }
    nl_end(NL_BLOCK_MATRIX);
    nl_end(NL_BLOCK_SYSTEM);
    const bool ok = nl_solve();
    if (ok) {
        target.resize(2 * n);
        for (size_t v = 0; v < 2 * n; v++)
            target[v] = nl_get_variable_double(unsigned(v));
        // The held point's values are floats in the layer; keep them exact.
        target[0] = uv[0];
        target[1] = uv[1];
    }
    nl_delete_context(context);
    return ok;
}

// The largest step along d that keeps every triangle's signed area positive: the smallest
// positive root over the triangles of area(x + s d) = 0, a quadratic in s.
double largest_injective_step(const ChartMesh& m, const std::vector<double>& uv,
                              const std::vector<double>& d) {
    double largest = INFINITY;
    for (const Triangle& t : m.triangles) {
        if (t.area <= 0)
            continue;
        const double* a = &uv[2 * size_t(t.p[0])];
        const double* b = &uv[2 * size_t(t.p[1])];
        const double* c = &uv[2 * size_t(t.p[2])];
        const double* da = &d[2 * size_t(t.p[0])];
        const double* db = &d[2 * size_t(t.p[1])];
        const double* dc = &d[2 * size_t(t.p[2])];
        const double e1[2] = {b[0] - a[0], b[1] - a[1]}, e2[2] = {c[0] - a[0], c[1] - a[1]};
        const double f1[2] = {db[0] - da[0], db[1] - da[1]};
        const double f2[2] = {dc[0] - da[0], dc[1] - da[1]};
        const double c0 = e1[0] * e2[1] - e1[1] * e2[0];
        const double c1 = e1[0] * f2[1] - e1[1] * f2[0] + f1[0] * e2[1] - f1[1] * e2[0];
        const double c2 = f1[0] * f2[1] - f1[1] * f2[0];
        // Roots of c2 s² + c1 s + c0 (c0 > 0).
        double roots[2];
        int count = 0;
        if (std::fabs(c2) < 1e-30 * (std::fabs(c1) + std::fabs(c0))) {
            if (c1 != 0.0)
                roots[count++] = -c0 / c1;
        } else {
            const double disc = c1 * c1 - 4.0 * c2 * c0;
            if (disc >= 0.0) {
                const double q = -0.5 * (c1 + std::copysign(std::sqrt(disc), c1));
                roots[count++] = q / c2;
                if (q != 0.0)
                    roots[count++] = c0 / q;
            }
        }
        for (int i = 0; i < count; i++)
            if (roots[i] > 0.0)
                largest = std::min(largest, roots[i]);
    }
    return largest;
}

// Local-global steps from a layout without flips; the layout stays without flips.
void lower_distortion(const ChartMesh& m, std::vector<double>& uv) {
    double current = energy(m, uv);
    std::vector<double> target, d(uv.size()), trial(uv.size());
    for (int step = 0; step < kMaxSteps && std::isfinite(current); step++) {
        if (!global_step(m, uv, target))
            return;
        for (size_t v = 0; v < uv.size(); v++)
            d[v] = target[v] - uv[v];
        double s = std::min(1.0, kFlipMargin * largest_injective_step(m, uv, d));
        double next = INFINITY;
        for (int halving = 0; halving < 40; halving++, s *= 0.5) {
            for (size_t v = 0; v < uv.size(); v++)
                trial[v] = uv[v] + s * d[v];
            next = energy(m, trial);
            if (next < current)
                break;
        }
        if (!(next < current))
            return;
        uv.swap(trial);
        const double decrease = (current - next) / current;
        current = next;
        if (decrease < kRelativeDecrease)
            return;
    }
}

// Charts up to this size that are sound but stretch too much are refined as well: on a few
// triangles (a fan of slivers, a sharp cone) the refinement evens out what the angles' targets
// bend, for little work. Larger ones are split by the caller.
constexpr int kMostStretchedToRefine = 64;

bool refine_chart(PChart* chart, double maxStretch) {
    if (chart->flags & (PCHART_USER_PINNED | PCHART_LAID_OUT))
        return false;
    const bool sound = unwrap_chart_sound(chart);
    double stretchBefore = 0.0;
    if (sound) {
        if (!(maxStretch > 0.0) || chart->ntriangles > kMostStretchedToRefine)
            return false;
        stretchBefore = unwrap_chart_stretch(chart);
        if (!(stretchBefore > maxStretch))
            return false;
    }
    ChartMesh m = chart_mesh(chart);
    std::vector<double> uv(2 * m.points.size());
    for (size_t p = 0; p < m.points.size(); p++) {
        uv[2 * p] = m.points[p]->uv[0];
        uv[2 * p + 1] = m.points[p]->uv[1];
    }
    const int unsoundBefore = unsound_triangles(m, uv);
    if (unsoundBefore == 0 && !sound)
        return false;
    std::vector<double> refined;
    if (!tutte_embedding(m, refined))
        return false;
    lower_distortion(m, refined);
    // Rounded to the records' floats, the layout must be sounder than the one the chart had
    // (the steps may stall short of sound on a chart that a convex start squeezes hard; the
    // caller splits such charts), or as sound and less stretched; otherwise the chart keeps
    // its layout.
    for (double& x : refined)
        x = double(float(x));
    const int unsoundAfter = unsound_triangles(m, refined);
    if (sound ? unsoundAfter > 0 : unsoundAfter >= unsoundBefore)
        return false;
    for (size_t p = 0; p < m.points.size(); p++) {
        m.points[p]->uv[0] = float(refined[2 * p]);
        m.points[p]->uv[1] = float(refined[2 * p + 1]);
    }
    if (sound && !(unwrap_chart_stretch(chart) < stretchBefore)) {
        for (size_t p = 0; p < m.points.size(); p++) {
            m.points[p]->uv[0] = float(uv[2 * p]);
            m.points[p]->uv[1] = float(uv[2 * p + 1]);
        }
        return false;
    }
    return true;
}

} // namespace

int unwrap_refine_injective(PHandle* handle, double maxStretch) {
    // Charts are refined concurrently; each one's result does not depend on the others.
    std::atomic<int> refined{0};
    unwrap_for_each_chart(handle, [&refined, maxStretch](PChart* chart) {
        if (refine_chart(chart, maxStretch))
            refined++;
    });
    return refined;
}
