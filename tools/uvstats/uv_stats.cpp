#include "tools/uvstats/uv_stats.h"

#include "document/mesh_document.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>
#include <set>
#include <vector>

namespace {

struct V2 {
    double x, y;
};
struct V3 {
    double x, y, z;
};

V3 sub(V3 a, V3 b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
V2 sub(V2 a, V2 b) {
    return {a.x - b.x, a.y - b.y};
}
double dot(V3 a, V3 b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
double dot(V2 a, V2 b) {
    return a.x * b.x + a.y * b.y;
}
V3 cross(V3 a, V3 b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
V3 scale(V3 a, double s) {
    return {a.x * s, a.y * s, a.z * s};
}
V3 add(V3 a, V3 b) {
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}

double angle_between(double d, double la, double lb) {
    return std::acos(std::clamp(d / (la * lb), -1.0, 1.0));
}

template <typename P> double corner_angle(P a, P b, P c) {
    P u = sub(b, a), v = sub(c, a);
    return angle_between(dot(u, v), std::sqrt(dot(u, u)), std::sqrt(dot(v, v)));
}

bool is_finite(double x) {
    return std::isfinite(x);
}

// Marks the charts whose faces form a disc as cut: with the UV points as vertices (so that a
// seam is a border), every edge on one or two faces, some border, and V - E + F = 1.
std::vector<uint8_t> disc_charts(const MeshDocument& doc) {
    int charts = std::max(doc.chartCount, 0);
    std::vector<std::vector<int>> facesOf(static_cast<size_t>(charts));
    for (int f = 0; f < doc.faceCount; f++) {
        int c = doc.faces[size_t(f)].chart;
        if (c >= 0 && c < charts)
            facesOf[size_t(c)].push_back(f);
    }
    std::vector<uint8_t> disc(size_t(charts), 0);
    for (int c = 0; c < charts; c++) {
        std::map<std::pair<int, int>, int> edgeUses;
        std::set<int> vertices;
        for (int f : facesOf[size_t(c)]) {
            const MeshFace& face = doc.faces[size_t(f)];
            for (int k = 0; k < face.cornerCount; k++) {
                int a = face.uvIndices[k], b = face.uvIndices[(k + 1) % face.cornerCount];
                vertices.insert(a);
                edgeUses[{std::min(a, b), std::max(a, b)}]++;
            }
        }
        bool manifold = true, border = false;
        for (auto& [edge, uses] : edgeUses) {
            manifold = manifold && uses <= 2;
            border = border || uses == 1;
        }
        long euler =
            long(vertices.size()) - long(edgeUses.size()) + long(facesOf[size_t(c)].size());
        disc[size_t(c)] = manifold && border && euler == 1;
    }
    return disc;
}

struct Triangle {
    V3 p[3];
    V2 t[3];
    int chart;
    double signedUvArea;
};

} // namespace

UvStats compute_uv_stats(const MeshDocument& doc) {
    UvStats s;
    s.faces = doc.faceCount;
    s.charts = doc.chartCount;
    s.uvPoints = doc.uvCount;
    for (int i = 0; i < doc.uvCount; i++) {
        const UvPoint& uv = doc.uvs[size_t(i)];
        if (!is_finite(uv.u) || !is_finite(uv.v))
            s.nonFinite++;
        else if (uv.u < 0 || uv.u > 1 || uv.v < 0 || uv.v > 1)
            s.uvsOutside++;
    }

    std::vector<Triangle> triangles;
    for (int f = 0; f < doc.faceCount; f++) {
        const MeshFace& face = doc.faces[size_t(f)];
        for (int l = 1; l + 1 < face.cornerCount; l++) {
            int corners[3] = {0, l, l + 1};
            Triangle tri{};
            bool valid = true;
            for (int k = 0; k < 3; k++) {
                int vi = face.vertexIndices[corners[k]], ti = face.uvIndices[corners[k]];
                valid = valid && vi > 0 && vi < doc.vertexSlots && ti >= 0 && ti < doc.uvCount;
                if (!valid)
                    break;
                const Vec3& p = doc.vertices[size_t(vi)];
                const UvPoint& t = doc.uvs[size_t(ti)];
                tri.p[k] = {p.x, p.y, p.z};
                tri.t[k] = {t.u, t.v};
            }
            if (!valid)
                continue;
            tri.chart = face.chart;
            V2 e1 = sub(tri.t[1], tri.t[0]), e2 = sub(tri.t[2], tri.t[0]);
            tri.signedUvArea = 0.5 * (e1.x * e2.y - e1.y * e2.x);
            triangles.push_back(tri);
        }
    }
    s.triangles = int(triangles.size());

    // Orientation of each chart: the sign of its total UV area.
    std::vector<double> chartArea(size_t(std::max(doc.chartCount, 0)) + 1, 0.0);
    for (const Triangle& t : triangles)
        if (t.chart >= 0 && t.chart < doc.chartCount && is_finite(t.signedUvArea))
            chartArea[size_t(t.chart)] += t.signedUvArea;

    std::vector<uint8_t> disc = disc_charts(doc);
    for (uint8_t d : disc)
        s.discCharts += d;

    double angleSum = 0, area3d = 0, areaUv = 0, l2Sum = 0, linf = 0;
    long corners = 0;
    for (const Triangle& t : triangles) {
        double a3 = 0.5 * std::sqrt(dot(cross(sub(t.p[1], t.p[0]), sub(t.p[2], t.p[0])),
                                        cross(sub(t.p[1], t.p[0]), sub(t.p[2], t.p[0]))));
        double auv = t.signedUvArea;
        if (!is_finite(auv) || !is_finite(a3) || auv == 0 || a3 == 0) {
            s.degenerateTriangles++;
            continue;
        }
        double orientation =
            (t.chart >= 0 && t.chart < doc.chartCount && chartArea[size_t(t.chart)] < 0) ? -1 : 1;
        if (auv * orientation < 0) {
            s.flippedTriangles++;
            if (t.chart >= 0 && size_t(t.chart) < disc.size() && disc[size_t(t.chart)])
                s.flippedOnDiscs++;
        }
        s.coverage += std::fabs(auv);

        for (int k = 0; k < 3; k++) {
            double a = corner_angle(t.p[k], t.p[(k + 1) % 3], t.p[(k + 2) % 3]);
            double b = corner_angle(t.t[k], t.t[(k + 1) % 3], t.t[(k + 2) % 3]);
            double d = std::fabs(a - b) * 180.0 / M_PI;
            angleSum += d;
            s.maxAngleDistortion = std::max(s.maxAngleDistortion, d);
            corners++;
        }

        // The Jacobian of the map from UV to 3D: its two columns Ss and St.
        const V3* q = t.p;
        const V2* p = t.t;
        double twoA = 2 * auv;
        V3 ss = scale(add(add(scale(q[0], p[1].y - p[2].y), scale(q[1], p[2].y - p[0].y)),
                          scale(q[2], p[0].y - p[1].y)),
                      1 / twoA);
        V3 st = scale(add(add(scale(q[0], p[2].x - p[1].x), scale(q[1], p[0].x - p[2].x)),
                          scale(q[2], p[1].x - p[0].x)),
                      1 / twoA);
        double a = dot(ss, ss), b = dot(ss, st), c = dot(st, st);
        double big = std::sqrt(0.5 * ((a + c) + std::sqrt((a - c) * (a - c) + 4 * b * b)));
        l2Sum += 0.5 * (a + c) * a3;
        linf = std::max(linf, big);
        area3d += a3;
        areaUv += std::fabs(auv);
    }
    if (corners > 0)
        s.meanAngleDistortion = angleSum / double(corners);
    if (area3d > 0 && areaUv > 0) {
        double norm = std::sqrt(areaUv / area3d);
        s.stretchL2 = std::sqrt(l2Sum / area3d) * norm;
        s.stretchLinf = linf * norm;
    }
    for (int i = 1; i < doc.vertexSlots; i++) {
        const Vec3& p = doc.vertices[size_t(i)];
        if (!is_finite(p.x) || !is_finite(p.y) || !is_finite(p.z))
            s.nonFinite++;
    }
    return s;
}

void print_uv_stats(std::FILE* out, const char* name, const UvStats& s) {
    std::fprintf(out,
                 "%s\n"
                 "  faces                 %d (%d triangles)\n"
                 "  charts                %d (%d discs)\n"
                 "  flipped triangles     %d (%d on discs)\n"
                 "  degenerate triangles  %d\n"
                 "  angle distortion      mean %.3f deg, max %.3f deg\n"
                 "  stretch               L2 %.4f, Linf %.4f\n"
                 "  unit square covered   %.1f %%\n"
                 "  UVs outside [0,1]     %d of %d\n"
                 "  non-finite values     %d\n",
                 name, s.faces, s.triangles, s.charts, s.discCharts, s.flippedTriangles,
                 s.flippedOnDiscs, s.degenerateTriangles, s.meanAngleDistortion,
                 s.maxAngleDistortion, s.stretchL2, s.stretchLinf, 100.0 * s.coverage, s.uvsOutside,
                 s.uvPoints, s.nonFinite);
}
