#pragma once

// Writes a benchmark mesh: a gently waved grid of rows x cols quads split into triangles,
// with one vt and one vn line per vertex and faces in the v/vt/vn form, as a host would.

#include <cmath>
#include <cstdio>
#include <string>

inline bool write_grid_obj(const std::string& path, int rows, int cols) {
    FILE* f = std::fopen(path.c_str(), "w");
    if (!f)
        return false;
    for (int r = 0; r <= rows; r++) {
        for (int c = 0; c <= cols; c++)
            std::fprintf(f, "v %f %f %f\n", c * 0.01, r * 0.01,
                         0.05 * std::sin(c * 0.1 + r * 0.07));
    }
    for (int r = 0; r <= rows; r++) {
        for (int c = 0; c <= cols; c++)
            std::fprintf(f, "vt %f %f\n", double(c) / cols, double(r) / rows);
    }
    for (int r = 0; r <= rows; r++) {
        for (int c = 0; c <= cols; c++)
            std::fprintf(f, "vn 0 0 1\n");
    }
    auto id = [cols](int r, int c) { return r * (cols + 1) + c + 1; };
    for (int r = 0; r < rows; r++) {
        for (int c = 0; c < cols; c++) {
            int a = id(r, c), b = id(r, c + 1), d = id(r + 1, c), e = id(r + 1, c + 1);
            std::fprintf(f, "f %d/%d/%d %d/%d/%d %d/%d/%d\n", a, a, a, b, b, b, e, e, e);
            std::fprintf(f, "f %d/%d/%d %d/%d/%d %d/%d/%d\n", a, a, a, e, e, e, d, d, d);
        }
    }
    return std::fclose(f) == 0;
}

// Writes a grid of rows x cols quads, gently waved in z, with one vt line per vertex (a single
// chart filling the unit square) and one shared vn line.
inline bool write_quad_grid_obj(const std::string& path, int rows, int cols) {
    FILE* f = std::fopen(path.c_str(), "w");
    if (!f)
        return false;
    for (int r = 0; r <= rows; r++)
        for (int c = 0; c <= cols; c++)
            std::fprintf(f, "v %d %d %f\n", c, r, 0.02 * (c % 7));
    for (int r = 0; r <= rows; r++)
        for (int c = 0; c <= cols; c++)
            std::fprintf(f, "vt %f %f\n", double(c) / cols, double(r) / rows);
    std::fprintf(f, "vn 0 0 1\n");
    auto id = [cols](int r, int c) { return r * (cols + 1) + c + 1; };
    for (int r = 0; r < rows; r++)
        for (int c = 0; c < cols; c++)
            std::fprintf(f, "f %d/%d/1 %d/%d/1 %d/%d/1 %d/%d/1\n", id(r, c), id(r, c), id(r, c + 1),
                         id(r, c + 1), id(r + 1, c + 1), id(r + 1, c + 1), id(r + 1, c),
                         id(r + 1, c));
    return std::fclose(f) == 0;
}
