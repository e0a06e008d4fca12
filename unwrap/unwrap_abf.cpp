#include "unwrap/unwrap_abf.h"

#include "Lscm/opennl.h"
#include "support/guarded_alloc.h"
#include "support/require.h"
#include "unwrap/unwrap_geometry.h"

#include <cmath>
#include <cstring>
#include <vector>

namespace {

// Angles are kept between 7.5 and 172.5 degrees at the start so that the weights 2 / beta^2
// stay finite and the sines away from zero.
constexpr float ABF_MIN_ANGLE = 0.13089969754219055f;
constexpr float ABF_MAX_ANGLE = 3.010693073272705f;
constexpr int ABF_MAX_STEPS = 20;
// Small charts must converge tightly; large ones only roughly, which is all LSCM needs.
constexpr int ABF_SMALL_CHART = 100;
constexpr float ABF_TOLERANCE_SMALL = 0.001f;
constexpr float ABF_TOLERANCE_LARGE = 1.0f;

// Per thread: charts are flattened on several threads at once.
thread_local int lastSteps = 0;

struct AbfSystem {
    int ninterior;
    int nfaces;
    int nangles;
    float* alpha;
    float* beta;
    float* sine;
    float* cosine;
    float* weight;
    float* bAlpha;
    float* bTriangle;
    float* bInterior;
    float* lambdaTriangle;
    float* lambdaPlanar;
    float* lambdaLength;
    float (*J2dt)[3];
    float* bstar;
    float* dstar;
    // The fans of the interior points, flat and in fan order (the products below are taken in
    // that order): for each corner at the point, the angle there and the angles that follow and
    // precede it in its triangle. Point k's corners are fanStart[k] to fanStart[k + 1].
    std::vector<int> fanStart, fanAt, fanFollowing, fanPreceding;
    // The interior point at each corner, -1 at the boundary. Triangle t's corners are the angles
    // 3t, 3t + 1 and 3t + 2, in the order of its edges, and the triangles are in list order.
    std::vector<int> cornerPoint;
};

float* alloc_floats(int count, const char* tag, bool zeroed) {
    // Empty arrays still get a block so that every field is a valid allocation.
    int len = int(sizeof(float)) * (count > 0 ? count : 1);
    void* p = zeroed ? mem_calloc(len, tag) : mem_alloc(len, tag);
    SUPPORT_REQUIRE(p, "unwrap_abf_chart: out of memory");
    return static_cast<float*>(p);
}

void system_alloc(AbfSystem* sys) {
    int na = sys->nangles, nf = sys->nfaces, ni = sys->ninterior;
    sys->alpha = alloc_floats(na, "ABFalpha", false);
    sys->beta = alloc_floats(na, "ABFbeta", false);
    sys->sine = alloc_floats(na, "ABFsine", false);
    sys->cosine = alloc_floats(na, "ABFcosine", false);
    sys->weight = alloc_floats(na, "ABFweight", false);
    sys->bAlpha = alloc_floats(na, "ABFbalpha", false);
    sys->bTriangle = alloc_floats(nf, "ABFbtriangle", false);
    sys->bInterior = alloc_floats(2 * ni, "ABFbinterior", false);
    sys->lambdaTriangle = alloc_floats(nf, "ABFlambdatri", true);
    sys->lambdaPlanar = alloc_floats(ni, "ABFlamdaplane", true);
    sys->lambdaLength = alloc_floats(ni, "ABFlambdalen", false);
    sys->J2dt = reinterpret_cast<float(*)[3]>(alloc_floats(3 * na, "ABFj2dt", false));
    sys->bstar = alloc_floats(nf, "ABFbstar", false);
    sys->dstar = alloc_floats(nf, "ABFdstar", false);
    for (int i = 0; i < ni; i++)
        sys->lambdaLength[i] = 1.0f;
}

void system_free(AbfSystem* sys) {
    float* arrays[] = {sys->alpha,          sys->beta,         sys->sine,         sys->cosine,
                       sys->weight,         sys->bAlpha,       sys->bTriangle,    sys->bInterior,
                       sys->lambdaTriangle, sys->lambdaPlanar, sys->lambdaLength, &sys->J2dt[0][0],
                       sys->bstar,          sys->dstar};
    for (float* a : arrays)
        mem_free(a);
}

inline bool is_interior(const PPoint* p) {
    return (p->flags & PPOINT_INTERIOR) != 0;
}

// The fan of an interior point is closed; the null test only guards broken topology.
template <typename F> void for_each_in_fan(PPoint* p, F f) {
    PHalfEdge* e = p->edge;
    do {
        f(e);
        e = unwrap_edge_next_around(e);
    } while (e && e != p->edge);
}

// Gathers the fans of the interior points, whose keys are already 0 to ninterior - 1, and the
// points of the corners, so that the Newton steps walk flat arrays instead of the chart's lists.
void gather_fans(AbfSystem* sys, PChart* chart) {
    sys->cornerPoint.assign(size_t(sys->nangles), -1);
    for (PTriangle* t = chart->triangles; t; t = t->next) {
        PHalfEdge* e = t->edge;
        for (int k = 0; k < 3; k++, e = e->nextInTri)
            if (is_interior(e->point))
                sys->cornerPoint[size_t(e->key)] = e->point->key;
    }
    sys->fanStart.assign(size_t(sys->ninterior) + 1, 0);
    for (PPoint* v = chart->points; v; v = v->next)
        if (is_interior(v))
            for_each_in_fan(v, [&](PHalfEdge*) { sys->fanStart[size_t(v->key) + 1]++; });
    for (int k = 0; k < sys->ninterior; k++)
        sys->fanStart[size_t(k) + 1] += sys->fanStart[size_t(k)];
    const size_t corners = size_t(sys->fanStart.back());
    sys->fanAt.resize(corners);
    sys->fanFollowing.resize(corners);
    sys->fanPreceding.resize(corners);
    for (PPoint* v = chart->points; v; v = v->next) {
        if (!is_interior(v))
            continue;
        size_t i = size_t(sys->fanStart[size_t(v->key)]);
        for_each_in_fan(v, [&](PHalfEdge* e) {
            sys->fanAt[i] = e->key;
            sys->fanFollowing[i] = e->nextInTri->key;
            sys->fanPreceding[i] = e->nextInTri->nextInTri->key;
            i++;
        });
    }
}

// Product of the sines of the angles that follow each of interior point v's corners in its
// triangle (`following`), or of the angles that precede them, in fan order; angle a contributes
// its cosine instead (none does for a = -1).
float fan_sine_product(const AbfSystem* sys, int v, bool following, int a) {
    const int* keys = following ? sys->fanFollowing.data() : sys->fanPreceding.data();
    float product = 1.0f;
    for (int i = sys->fanStart[size_t(v)]; i < sys->fanStart[size_t(v) + 1]; i++)
        product *= keys[i] == a ? sys->cosine[keys[i]] : sys->sine[keys[i]];
    return product;
}

// The length residual around interior point v: the product of the following sines less that of
// the preceding ones.
float length_residual(const AbfSystem* sys, int v) {
    return fan_sine_product(sys, v, true, -1) - fan_sine_product(sys, v, false, -1);
}

// Its derivative at the point of triangle t's corner k with respect to the angle of its corner
// m (m != k). The angle is in one of the two products only, and the other one is dropped.
float length_derivative(const AbfSystem* sys, int t, int k, int m) {
    const int v = sys->cornerPoint[size_t(3 * t + k)];
    if (m == (k + 1) % 3)
        return fan_sine_product(sys, v, true, 3 * t + m);
    return 0.0f - fan_sine_product(sys, v, false, 3 * t + m);
}

float gradient_alpha(const AbfSystem* sys, int t, int c) {
    const int a = 3 * t + c, c1 = (c + 1) % 3, c2 = (c + 2) % 3;
    const int v = sys->cornerPoint[size_t(a)];
    const int v1 = sys->cornerPoint[size_t(3 * t + c1)];
    const int v2 = sys->cornerPoint[size_t(3 * t + c2)];
    double g = double(sys->alpha[a] - sys->beta[a]) * double(sys->weight[a]);
    g += sys->lambdaTriangle[t];
    if (v >= 0)
        g += sys->lambdaPlanar[v];
    if (v1 >= 0)
        g += double(length_derivative(sys, t, c1, c)) * double(sys->lambdaLength[v1]);
    if (v2 >= 0)
        g += double(length_derivative(sys, t, c2, c)) * double(sys->lambdaLength[v2]);
    return float(g);
}

// Fills the right-hand sides and returns the squared norm of the gradient of the Lagrangian.
double compute_gradient(AbfSystem* sys) {
    double norm = 0.0;
    for (int t = 0; t < sys->nfaces; t++) {
        float g1 = gradient_alpha(sys, t, 0);
        float g2 = gradient_alpha(sys, t, 1);
        float g3 = gradient_alpha(sys, t, 2);
        sys->bAlpha[3 * t] = -g1;
        sys->bAlpha[3 * t + 1] = -g2;
        sys->bAlpha[3 * t + 2] = -g3;
        float gt = sys->alpha[3 * t] + sys->alpha[3 * t + 1] + sys->alpha[3 * t + 2] - UNWRAP_PI;
        sys->bTriangle[t] = -gt;
        norm += double(g1) * g1 + double(g2) * g2 + double(g3) * g3 + double(gt) * gt;
    }
    int ni = sys->ninterior;
    for (int v = 0; v < ni; v++) {
        float sum = 0.0f;
        for (int i = sys->fanStart[size_t(v)]; i < sys->fanStart[size_t(v) + 1]; i++)
            sum += sys->alpha[sys->fanAt[size_t(i)]];
        float gp = sum - UNWRAP_2PI;
        float gl = length_residual(sys, v);
        sys->bInterior[v] = -gp;
        sys->bInterior[ni + v] = -gl;
        norm += double(gp) * gp + double(gl) * gl;
    }
    return norm;
}

void compute_sines(AbfSystem* sys) {
    for (int i = 0; i < sys->nangles; i++) {
        sys->sine[i] = std::sin(sys->alpha[i]);
        sys->cosine[i] = std::cos(sys->alpha[i]);
    }
}

// One Newton step. Per triangle, the angle and triangle multiplier unknowns are eliminated in
// closed form; each triangle adds a 3-by-6 block over the planarity and length multipliers of its
// interior corners to the square system solved here. Every step states the same entries in the
// same order, so the steps of a chart share one column ordering.
bool newton_step(AbfSystem* sys, NLKeptOrdering* ordering) {
    int ni = sys->ninterior;
    NLContext* context = nl_new_context();
    nl_set_parameter(NL_PARAM_VARIABLE_COUNT, 2 * ni);
    nl_begin(NL_BLOCK_SYSTEM);
    nl_begin(NL_BLOCK_MATRIX);
    for (int i = 0; i < 2 * ni; i++)
        nl_right_hand_side_add(unsigned(i), sys->bInterior[i]);

    for (int t = 0; t < sys->nfaces; t++) {
        const int e[3] = {3 * t, 3 * t + 1, 3 * t + 2};
        float wi[3], beta[3];
        for (int k = 0; k < 3; k++)
            wi[k] = 1.0f / sys->weight[e[k]];

        float b = wi[0] * sys->bAlpha[e[0]] + wi[1] * sys->bAlpha[e[1]] +
                  wi[2] * sys->bAlpha[e[2]] - sys->bTriangle[t];
        float si = 1.0f / (wi[0] + wi[1] + wi[2]);
        for (int k = 0; k < 3; k++)
            beta[k] = b * si - sys->bAlpha[e[k]];
        sys->bstar[t] = b;
        sys->dstar[t] = si;

        float W[3][3];
        for (int r = 0; r < 3; r++)
            for (int c = 0; c < 3; c++)
                W[r][c] = (r == c) ? si - sys->weight[e[r]] : si;

        // j2[m][k]: derivative of corner k's constraints with respect to angle m, scaled by
        // 1 / weight[m]; the planarity constraint for m = k, the length constraint otherwise.
        float j2[3][3] = {};
        float row[3][6] = {};
        int vid[6] = {-1, -1, -1, -1, -1, -1};
        for (int k = 0; k < 3; k++) {
            const int pk = sys->cornerPoint[size_t(e[k])];
            sys->J2dt[e[0]][k] = 0.0f;
            sys->J2dt[e[1]][k] = 0.0f;
            sys->J2dt[e[2]][k] = 0.0f;
            if (pk < 0)
                continue;
            vid[k] = pk;
            vid[k + 3] = ni + pk;
            float rhsLength = 0.0f;
            for (int m = 0; m < 3; m++) {
                if (m == k)
                    j2[m][k] = wi[m];
                else {
                    j2[m][k] = length_derivative(sys, t, k, m) * wi[m];
                    rhsLength += j2[m][k] * beta[m];
                }
                sys->J2dt[e[m]][k] = j2[m][k];
            }
            nl_right_hand_side_add(unsigned(pk), j2[k][k] * beta[k]);
            nl_right_hand_side_add(unsigned(ni + pk), rhsLength);
            for (int r = 0; r < 3; r++) {
                row[r][k] = j2[k][k] * W[r][k];
                float sum = 0.0f;
                for (int m = 0; m < 3; m++)
                    if (m != k)
                        sum += j2[m][k] * W[r][m];
                row[r][k + 3] = sum;
            }
        }

        for (int i = 0; i < 3; i++) {
            if (vid[i] == -1)
                continue;
            for (int j = 0; j < 6; j++) {
                if (vid[j] == -1)
                    continue;
                unsigned c = unsigned(vid[j]);
                for (int r = 0; r < 3; r++) {
                    int rowIndex = (r == i) ? vid[i] : ni + vid[i];
                    nl_matrix_add(unsigned(rowIndex), c, j2[r][i] * row[r][j]);
                }
            }
        }
    }

    nl_end(NL_BLOCK_MATRIX);
    nl_end(NL_BLOCK_SYSTEM);
    nl_share_ordering(ordering);
    bool ok = nl_solve();

    if (ok) {
        for (int t = 0; t < sys->nfaces; t++) {
            const int e[3] = {3 * t, 3 * t + 1, 3 * t + 2};
            float pre[3] = {0.0f, 0.0f, 0.0f};
            for (int k = 0; k < 3; k++) {
                const int pk = sys->cornerPoint[size_t(e[k])];
                if (pk < 0)
                    continue;
                float x1 = nl_get_variable(unsigned(pk));
                float x2 = nl_get_variable(unsigned(ni + pk));
                for (int m = 0; m < 3; m++)
                    pre[m] += sys->J2dt[e[m]][k] * (m == k ? x1 : x2);
            }
            float dl = (sys->bstar[t] - (pre[0] + pre[1] + pre[2])) * sys->dstar[t];
            sys->lambdaTriangle[t] += dl;
            for (int m = 0; m < 3; m++) {
                int a = e[m];
                float alpha = sys->alpha[a] + (sys->bAlpha[a] - dl) / sys->weight[a] - pre[m];
                if (alpha > UNWRAP_PI)
                    alpha = UNWRAP_PI;
                else if (alpha < 0.0f)
                    alpha = 0.0f;
                sys->alpha[a] = alpha;
            }
        }
        for (int i = 0; i < ni; i++) {
            sys->lambdaPlanar[i] += nl_get_variable(unsigned(i));
            sys->lambdaLength[i] += nl_get_variable(unsigned(ni + i));
        }
    }

    nl_delete_context(context);
    return ok;
}

float clamp_angle(float a) {
    if (a < ABF_MIN_ANGLE)
        return ABF_MIN_ANGLE;
    if (a > ABF_MAX_ANGLE)
        return ABF_MAX_ANGLE;
    return a;
}

} // namespace

int unwrap_abf_last_steps() {
    return lastSteps;
}

bool unwrap_abf_chart(PChart* chart) {
    lastSteps = 0;
    chart->u.lscm.abfAngles = nullptr;

    AbfSystem sys{};
    for (PPoint* p = chart->points; p; p = p->next) {
        if (p->edge->pair) {
            p->flags |= PPOINT_INTERIOR;
            p->key = sys.ninterior++;
        } else {
            p->flags &= uint8_t(~PPOINT_INTERIOR);
        }
    }
    for (PTriangle* t = chart->triangles; t; t = t->next) {
        t->key = sys.nfaces;
        t->edge->key = 3 * sys.nfaces;
        t->edge->nextInTri->key = 3 * sys.nfaces + 1;
        t->edge->nextInTri->nextInTri->key = 3 * sys.nfaces + 2;
        sys.nfaces++;
    }
    sys.nangles = 3 * sys.nfaces;
    float tolerance = sys.nfaces <= ABF_SMALL_CHART ? ABF_TOLERANCE_SMALL : ABF_TOLERANCE_LARGE;
    system_alloc(&sys);

    for (PTriangle* t = chart->triangles; t; t = t->next) {
        float a[3];
        unwrap_triangle_angles(t, &a[0], &a[1], &a[2]);
        PHalfEdge* e = t->edge;
        for (int k = 0; k < 3; k++, e = e->nextInTri) {
            float angle = clamp_angle(a[k]);
            sys.alpha[e->key] = sys.beta[e->key] = angle;
            sys.weight[e->key] = 2.0f / (angle * angle);
        }
    }

    // Scale the targets around every interior point to a full turn; the weights keep their
    // 3D values.
    for (PPoint* v = chart->points; v; v = v->next) {
        if (!is_interior(v))
            continue;
        float sum = 0.0f;
        for_each_in_fan(v, [&](PHalfEdge* e) { sum += sys.beta[e->key]; });
        float scale = sum == 0.0f ? 0.0f : UNWRAP_2PI / sum;
        for_each_in_fan(v, [&](PHalfEdge* e) {
            sys.beta[e->key] *= scale;
            sys.alpha[e->key] = sys.beta[e->key];
        });
    }

    if (sys.ninterior > 0) {
        gather_fans(&sys, chart);
        compute_sines(&sys);
        bool converged = false;
        NLKeptOrdering ordering;
        for (int step = 0; step < ABF_MAX_STEPS; step++) {
            double norm = compute_gradient(&sys);
            if (norm < tolerance) {
                converged = true;
                break;
            }
            if (!newton_step(&sys, &ordering))
                break; // not converged: the chart falls back to LSCM alone
            lastSteps = step + 1;
            compute_sines(&sys);
        }
        nl_release_ordering(&ordering);
        if (!converged) {
            system_free(&sys);
            return false;
        }
    }

    chart->u.lscm.abfAngles = static_cast<float*>(mem_dup(sys.alpha));
    system_free(&sys);
    return true;
}
