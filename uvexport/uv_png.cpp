#include "uvexport/uv_layout.h"

#include <algorithm>
#include <cmath>

// The picture drawn into RGB pixels without blending: a pixel takes the colour of the last
// shape whose area holds its centre. Pixel (i, j) has its centre at u = (i + 0.5) / size,
// v = 1 - (j + 0.5) / size.

namespace {

struct Canvas {
    int size;
    std::vector<unsigned char>& rgb;
    void set(int i, int j, const unsigned char c[3]) {
        unsigned char* p = &rgb[(size_t(j) * size_t(size) + size_t(i)) * 3];
        p[0] = c[0];
        p[1] = c[1];
        p[2] = c[2];
    }
};

void to_pixels(const float uv[2], int size, double out[2]) {
    out[0] = double(uv[0]) * size;
    out[1] = (1.0 - double(uv[1])) * size;
}

double cross(const double a[2], const double b[2], double x, double y) {
    return (b[0] - a[0]) * (y - a[1]) - (b[1] - a[1]) * (x - a[0]);
}

void fill_triangle(Canvas& canvas, const double a[2], const double b[2], const double c[2],
                   const unsigned char rgb[3]) {
    double area = cross(a, b, c[0], c[1]);
    if (area == 0.0 || !std::isfinite(area))
        return;
    int i0 = std::max(0, int(std::floor(std::min({a[0], b[0], c[0]}))));
    int i1 = std::min(canvas.size - 1, int(std::ceil(std::max({a[0], b[0], c[0]}))));
    int j0 = std::max(0, int(std::floor(std::min({a[1], b[1], c[1]}))));
    int j1 = std::min(canvas.size - 1, int(std::ceil(std::max({a[1], b[1], c[1]}))));
    double sign = area > 0 ? 1.0 : -1.0;
    for (int j = j0; j <= j1; j++) {
        for (int i = i0; i <= i1; i++) {
            double x = i + 0.5, y = j + 0.5;
            if (sign * cross(a, b, x, y) >= 0 && sign * cross(b, c, x, y) >= 0 &&
                sign * cross(c, a, x, y) >= 0)
                canvas.set(i, j, rgb);
        }
    }
}

void draw_segment(Canvas& canvas, const double a[2], const double b[2], UvStyle style) {
    if (!std::isfinite(a[0]) || !std::isfinite(a[1]) || !std::isfinite(b[0]) ||
        !std::isfinite(b[1]))
        return;
    const double r = style.width / 2.0;
    int i0 = std::max(0, int(std::floor(std::min(a[0], b[0]) - r)));
    int i1 = std::min(canvas.size - 1, int(std::ceil(std::max(a[0], b[0]) + r)));
    int j0 = std::max(0, int(std::floor(std::min(a[1], b[1]) - r)));
    int j1 = std::min(canvas.size - 1, int(std::ceil(std::max(a[1], b[1]) + r)));
    const double d[2] = {b[0] - a[0], b[1] - a[1]};
    const double len2 = d[0] * d[0] + d[1] * d[1];
    for (int j = j0; j <= j1; j++) {
        for (int i = i0; i <= i1; i++) {
            double x = i + 0.5 - a[0], y = j + 0.5 - a[1];
            double t = len2 > 0 ? std::clamp((x * d[0] + y * d[1]) / len2, 0.0, 1.0) : 0.0;
            double ex = x - t * d[0], ey = y - t * d[1];
            if (ex * ex + ey * ey <= r * r)
                canvas.set(i, j, style.rgb);
        }
    }
}

} // namespace

void uv_png_pixels(const UvDrawing& drawing, int size, std::vector<unsigned char>& rgb) {
    rgb.assign(size_t(size) * size_t(size) * 3, 0);
    Canvas canvas{size, rgb};
    for (int j = 0; j < size; j++)
        for (int i = 0; i < size; i++)
            canvas.set(i, j, UV_BACKGROUND);
    const float corners[5][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}, {0, 0}};
    for (int k = 0; k < 4; k++) {
        double a[2], b[2];
        to_pixels(corners[k], size, a);
        to_pixels(corners[k + 1], size, b);
        draw_segment(canvas, a, b, uv_square_style());
    }
    for (const UvFill& fill : drawing.fills) {
        size_t n = fill.uv.size() / 2;
        double p0[2], p1[2], p2[2];
        if (n < 3)
            continue;
        to_pixels(&fill.uv[0], size, p0);
        for (size_t k = 1; k + 1 < n; k++) {
            to_pixels(&fill.uv[2 * k], size, p1);
            to_pixels(&fill.uv[2 * k + 2], size, p2);
            fill_triangle(canvas, p0, p1, p2, fill.rgb);
        }
    }
    for (const UvLine& line : drawing.lines) {
        double a[2], b[2];
        to_pixels(line.a, size, a);
        to_pixels(line.b, size, b);
        draw_segment(canvas, a, b, uv_line_style(line.kind));
    }
}
