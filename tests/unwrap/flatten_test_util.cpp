#include "flatten_test_util.h"

#include "unwrap/unwrap_geometry.h"

#include <algorithm>
#include <cmath>
#include <map>

namespace {

// Small deterministic generator so that generated charts are the same on every run.
struct Lcg {
    unsigned state;
    float next() {
        state = state * 1664525u + 1013904223u;
        return float(state >> 8) / float(1u << 24);
    }
};

double length3(const float* a, const float* b) {
    double d[3] = {double(a[0]) - b[0], double(a[1]) - b[1], double(a[2]) - b[2]};
    return std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
}

double length2(const float* a, const float* b) {
    double d[2] = {double(a[0]) - b[0], double(a[1]) - b[1]};
    return std::sqrt(d[0] * d[0] + d[1] * d[1]);
}

double angle_between(const double u[], const double v[], int dim) {
    double dot = 0, lu = 0, lv = 0;
    for (int i = 0; i < dim; i++) {
        dot += u[i] * v[i];
        lu += u[i] * u[i];
        lv += v[i] * v[i];
    }
    if (lu == 0 || lv == 0)
        return 0;
    double c = std::clamp(dot / std::sqrt(lu * lv), -1.0, 1.0);
    return std::acos(c);
}

} // namespace

TestMesh flat_patch(int n, unsigned seed, float jitter) {
    Lcg rng{seed};
    TestMesh mesh;
    for (int y = 0; y <= n; y++) {
        for (int x = 0; x <= n; x++) {
            bool inner = x > 0 && y > 0 && x < n && y < n;
            float jx = inner ? (rng.next() - 0.5f) * jitter : 0.0f;
            float jy = inner ? (rng.next() - 0.5f) * jitter : 0.0f;
            // Uneven spacing as well as jitter: cells of different sizes.
            float fx = float(x) + 0.3f * float(x * x) / float(n);
            mesh.addVertex(fx + jx, float(y) + jy, 0.0f);
        }
    }
    for (int y = 0; y < n; y++) {
        for (int x = 0; x < n; x++) {
            int a = y * (n + 1) + x, b = a + 1, c = a + n + 2, d = a + n + 1;
            if (rng.next() < 0.5f) {
                mesh.addTriangle(a, b, c);
                mesh.addTriangle(a, c, d);
            } else {
                mesh.addTriangle(a, b, d);
                mesh.addTriangle(b, c, d);
            }
        }
    }
    return mesh;
}

void rotate_and_tilt(TestMesh& mesh) {
    // About z by 0.7, then about x by 1.1, then about y by -0.4, then moved.
    const float angles[3] = {0.7f, 1.1f, -0.4f};
    for (auto& p : mesh.positions) {
        float x = p[0], y = p[1], z = p[2];
        float c = std::cos(angles[0]), s = std::sin(angles[0]);
        float x1 = c * x - s * y, y1 = s * x + c * y, z1 = z;
        c = std::cos(angles[1]);
        s = std::sin(angles[1]);
        float y2 = c * y1 - s * z1, z2 = s * y1 + c * z1, x2 = x1;
        c = std::cos(angles[2]);
        s = std::sin(angles[2]);
        float x3 = c * x2 + s * z2, z3 = -s * x2 + c * z2, y3 = y2;
        p = {x3 + 3.0f, y3 - 2.0f, z3 + 5.0f};
    }
}

TestMesh open_sphere(int rings, int segments, double bottom, bool seamToPole, int* pole) {
    TestMesh mesh;
    const double pi = 3.14159265358979;
    // Ring 0 is the open rim at latitude bottom; the pole closes the top. Points mirror exactly
    // about y = 0 (segment s and segments - s), so that mirrored lengths are equal to the bit.
    for (int r = 0; r < rings; r++) {
        double lat = bottom + (0.5 * pi - bottom) * r / rings;
        for (int s = 0; s < segments; s++) {
            int m = std::min(s, segments - s);
            double lon = 2 * pi * m / segments;
            float y = float(std::cos(lat) * std::sin(lon));
            mesh.addVertex(float(std::cos(lat) * std::cos(lon)), s == m ? y : -y,
                           float(std::sin(lat)));
        }
    }
    int top = mesh.addVertex(0, 0, 1);
    if (pole)
        *pole = top;
    for (int r = 0; r < rings; r++) {
        for (int s = 0; s < segments; s++) {
            int s1 = (s + 1) % segments;
            int a = r * segments + s, b = r * segments + s1;
            if (r + 1 < rings) {
                int c = (r + 1) * segments + s1, d = (r + 1) * segments + s;
                mesh.addTriangle(a, b, c);
                mesh.addTriangle(a, c, d);
            } else {
                mesh.addTriangle(a, b, top);
            }
        }
    }
    if (seamToPole) {
        for (int r = 0; r + 1 < rings; r++)
            mesh.seams.push_back({r * segments, (r + 1) * segments});
        mesh.seams.push_back({(rings - 1) * segments, top});
    }
    return mesh;
}

TestMesh hemisphere(int rings, int segments, bool seamToPole, int* pole) {
    return open_sphere(rings, segments, 0.0, seamToPole, pole);
}

TestMesh cut_cylinder(int rings, int segments, float height) {
    TestMesh mesh;
    const double pi = 3.14159265358979;
    // Points jittered along the surface, so that the quads are not planar and the interior
    // points carry angle defects (a regular triangulated cylinder is intrinsically flat).
    Lcg rng{7};
    for (int r = 0; r <= rings; r++)
        for (int s = 0; s < segments; s++) {
            bool inner = r > 0 && r < rings && s > 0;
            double lon = 2 * pi * (s + (inner ? 0.6 * (rng.next() - 0.5) : 0.0)) / segments;
            float h = float(r) + (inner ? 0.6f * (rng.next() - 0.5f) : 0.0f);
            mesh.addVertex(float(std::cos(lon)), float(std::sin(lon)), height * h / rings);
        }
    for (int r = 0; r < rings; r++)
        for (int s = 0; s < segments; s++) {
            int s1 = (s + 1) % segments;
            int a = r * segments + s, b = r * segments + s1;
            int c = (r + 1) * segments + s1, d = (r + 1) * segments + s;
            mesh.addTriangle(a, b, c);
            mesh.addTriangle(a, c, d);
        }
    for (int r = 0; r < rings; r++)
        mesh.seams.push_back({r * segments, (r + 1) * segments});
    return mesh;
}

TestMesh mesh_ball_piece(const TestMesh& mesh, int centre, float radius) {
    float lo[3] = {1e30f, 1e30f, 1e30f}, hi[3] = {-1e30f, -1e30f, -1e30f};
    for (size_t i = 1; i < mesh.positions.size(); i++)
        for (int k = 0; k < 3; k++) {
            lo[k] = std::min(lo[k], mesh.positions[i][k]);
            hi[k] = std::max(hi[k], mesh.positions[i][k]);
        }
    double diag = std::sqrt(double(hi[0] - lo[0]) * (hi[0] - lo[0]) +
                            double(hi[1] - lo[1]) * (hi[1] - lo[1]) +
                            double(hi[2] - lo[2]) * (hi[2] - lo[2]));
    double r = radius * diag;
    const auto& c = mesh.positions[size_t(centre)];
    TestMesh piece;
    piece.positions = mesh.positions;
    for (const TestMesh::Face& f : mesh.faces) {
        double m[3] = {0, 0, 0};
        for (int k = 0; k < f.n; k++)
            for (int a = 0; a < 3; a++)
                m[a] += mesh.positions[size_t(f.v[k])][a] / f.n;
        double d = std::sqrt((m[0] - c[0]) * (m[0] - c[0]) + (m[1] - c[1]) * (m[1] - c[1]) +
                             (m[2] - c[2]) * (m[2] - c[2]));
        if (d < r)
            piece.faces.push_back(f);
    }
    return piece;
}

double uv_signed_area(const PTriangle* t) {
    const float* a = t->edge->point->uv;
    const float* b = t->edge->nextInTri->point->uv;
    const float* c = t->edge->nextInTri->nextInTri->point->uv;
    return 0.5 * ((double(b[0]) - a[0]) * (double(c[1]) - a[1]) -
                  (double(c[0]) - a[0]) * (double(b[1]) - a[1]));
}

LayoutMeasure measure_chart(const PChart* chart) {
    LayoutMeasure m{0, 0, 0, 0, 0};
    int positive = 0, negative = 0, corners = 0;
    double angleSum = 0, dot = 0, sq = 0;
    for (const PTriangle* t = chart->triangles; t; t = t->next) {
        if (t->flags & PTRI_FILLED)
            continue;
        m.triangles++;
        double area = uv_signed_area(t);
        if (area > 0)
            positive++;
        else if (area < 0)
            negative++;
        else
            m.degenerate++;
        const PHalfEdge* e = t->edge;
        for (int k = 0; k < 3; k++, e = e->nextInTri) {
            const PPoint* p = e->point;
            const PPoint* q = e->nextInTri->point;
            const PPoint* r = e->nextInTri->nextInTri->point;
            double u3[3], v3[3], u2[2], v2[2];
            for (int a = 0; a < 3; a++) {
                u3[a] = double(q->co[a]) - p->co[a];
                v3[a] = double(r->co[a]) - p->co[a];
            }
            for (int a = 0; a < 2; a++) {
                u2[a] = double(q->uv[a]) - p->uv[a];
                v2[a] = double(r->uv[a]) - p->uv[a];
            }
            angleSum += std::fabs(angle_between(u2, v2, 2) - angle_between(u3, v3, 3));
            corners++;
            double l3 = length3(p->co, q->co), l2 = length2(p->uv, q->uv);
            dot += l2 * l3;
            sq += l2 * l2;
        }
    }
    m.flipped = std::min(positive, negative);
    m.meanAngleError = corners ? angleSum / corners : 0;
    double s = sq > 0 ? dot / sq : 0;
    for (const PTriangle* t = chart->triangles; t; t = t->next) {
        if (t->flags & PTRI_FILLED)
            continue;
        const PHalfEdge* e = t->edge;
        for (int k = 0; k < 3; k++, e = e->nextInTri) {
            double l3 = length3(e->point->co, e->nextInTri->point->co);
            double l2 = length2(e->point->uv, e->nextInTri->point->uv);
            m.maxEdgeError = std::max(m.maxEdgeError, std::fabs(s * l2 - l3));
        }
    }
    return m;
}

bool chart_uvs_finite(const PChart* chart) {
    for (const PPoint* p = chart->points; p; p = p->next)
        if (!std::isfinite(p->uv[0]) || !std::isfinite(p->uv[1]))
            return false;
    return true;
}

std::string mesh_path(const char* name) {
    return std::string(MARROWBY_MESH_DIR) + "/" + name;
}

// Largest distance between the two layouts of a chart once the candidate is turned and moved
// onto the reference (least squares): the minimum-area rotation picks among nearly equal areas,
// so rounding alone may turn a chart by a right angle.
double aligned_difference(const std::vector<float>& r, const std::vector<float>& k) {
    const size_t n = std::min(r.size(), k.size()) / 2;
    if (n == 0)
        return 0;
    double cr[2] = {0, 0}, ck[2] = {0, 0};
    for (size_t j = 0; j < n; j++)
        for (int a = 0; a < 2; a++) {
            cr[a] += r[2 * j + a] / double(n);
            ck[a] += k[2 * j + a] / double(n);
        }
    double dot = 0, cross = 0;
    for (size_t j = 0; j < n; j++) {
        double rx = r[2 * j] - cr[0], ry = r[2 * j + 1] - cr[1];
        double kx = k[2 * j] - ck[0], ky = k[2 * j + 1] - ck[1];
        dot += kx * rx + ky * ry;
        cross += kx * ry - ky * rx;
    }
    double angle = std::atan2(cross, dot), c = std::cos(angle), s = std::sin(angle);
    double worst = 0;
    for (size_t j = 0; j < n; j++) {
        double kx = k[2 * j] - ck[0], ky = k[2 * j + 1] - ck[1];
        double dx = c * kx - s * ky - (r[2 * j] - cr[0]);
        double dy = s * kx + c * ky - (r[2 * j + 1] - cr[1]);
        worst = std::max(worst, std::hypot(dx, dy));
    }
    return worst;
}
