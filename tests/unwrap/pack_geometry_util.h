#pragma once

#include <algorithm>
#include <cmath>

// Exact 2D distances between segments and triangles, in double precision, for checking
// layouts against what the packers promise.

struct P2 {
    double x, y;
};

inline double cross2(P2 a, P2 b, P2 c) {
    return (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x);
}

inline double point_segment_distance(P2 p, P2 a, P2 b) {
    double dx = b.x - a.x, dy = b.y - a.y, len2 = dx * dx + dy * dy;
    double t = len2 > 0 ? std::clamp(((p.x - a.x) * dx + (p.y - a.y) * dy) / len2, 0.0, 1.0) : 0.0;
    return std::hypot(p.x - a.x - t * dx, p.y - a.y - t * dy);
}

inline bool segments_cross(P2 a, P2 b, P2 c, P2 d) {
    double d1 = cross2(a, b, c), d2 = cross2(a, b, d), d3 = cross2(c, d, a), d4 = cross2(c, d, b);
    return ((d1 > 0 && d2 < 0) || (d1 < 0 && d2 > 0)) && ((d3 > 0 && d4 < 0) || (d3 < 0 && d4 > 0));
}

inline double segment_distance(P2 a, P2 b, P2 c, P2 d) {
    if (segments_cross(a, b, c, d))
        return 0.0;
    return std::min({point_segment_distance(a, c, d), point_segment_distance(b, c, d),
                     point_segment_distance(c, a, b), point_segment_distance(d, a, b)});
}

// Inside or on the border of the convex polygon of n corners (either winding); a polygon
// without area holds no point (its edges alone give its distances).
inline bool in_convex(P2 p, const P2* poly, int n) {
    double area = 0.0;
    for (int i = 1; i + 1 < n; i++)
        area += cross2(poly[0], poly[i], poly[i + 1]);
    if (area == 0.0)
        return false;
    for (int i = 0; i < n; i++) {
        double side = cross2(poly[i], poly[(i + 1) % n], p);
        if ((area > 0 && side < 0) || (area < 0 && side > 0))
            return false;
    }
    return true;
}

// Distance between two convex polygons of n and m corners (0 when they overlap).
inline double polygon_distance(const P2* s, int n, const P2* t, int m) {
    if (in_convex(t[0], s, n) || in_convex(s[0], t, m))
        return 0.0;
    double best = 1e300;
    for (int i = 0; i < n; i++)
        for (int j = 0; j < m; j++)
            best = std::min(best, segment_distance(s[i], s[(i + 1) % n], t[j], t[(j + 1) % m]));
    return best;
}
