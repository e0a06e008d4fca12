#pragma once

#include "doc_test_util.h"
#include "document/mesh_document.h"

#include <cstring>
#include <string>

// A flat grid of rows x cols quads in the plane z = 0 with one UV point per vertex, as OBJ
// text; with `triangles` every quad is split into two triangles.
inline std::string grid_obj(int rows, int cols, bool triangles = false) {
    std::string s;
    for (int r = 0; r <= rows; r++)
        for (int c = 0; c <= cols; c++)
            s += "v " + std::to_string(c) + " " + std::to_string(r) + " 0\n";
    for (int r = 0; r <= rows; r++)
        for (int c = 0; c <= cols; c++)
            s += "vt " + std::to_string(double(c) / cols) + " " + std::to_string(double(r) / rows) +
                 "\n";
    s += "vn 0 0 1\n";
    auto id = [cols](int r, int c) { return std::to_string(r * (cols + 1) + c + 1); };
    auto corner = [](const std::string& v) { return " " + v + "/" + v + "/1"; };
    for (int r = 0; r < rows; r++)
        for (int c = 0; c < cols; c++) {
            std::string a = id(r, c), b = id(r, c + 1), d = id(r + 1, c + 1), e = id(r + 1, c);
            if (triangles)
                s += "f" + corner(a) + corner(b) + corner(d) + "\nf" + corner(a) + corner(d) +
                     corner(e) + "\n";
            else
                s += "f" + corner(a) + corner(b) + corner(d) + corner(e) + "\n";
        }
    return s;
}

// A camera that maps model (x, y) in [-1, 1] straight onto a size x size view: clip = (x, y,
// z, 1), so a point lands at pixel (size/2 (1 + x), size/2 (1 - y)).
inline PickView flat_view(int size = 200) {
    PickView v{};
    for (int i = 0; i < 16; i += 5) {
        v.modelView[i] = 1;
        v.projection[i] = 1;
    }
    v.width = v.height = size;
    return v;
}

// Pixel of a model point under flat_view.
inline void flat_pixel(float x, float y, int size, float* px, float* py) {
    *px = float(size) / 2 * (1 + x);
    *py = float(size) / 2 * (1 - y);
}

// A 6-pixel square around a model point under flat_view.
inline void click_rect(float x, float y, int32_t rect[4], int size = 200) {
    float px, py;
    flat_pixel(x, y, size, &px, &py);
    rect[0] = int32_t(px) - 3;
    rect[1] = int32_t(py) - 3;
    rect[2] = int32_t(px) + 3;
    rect[3] = int32_t(py) + 3;
}

// The midpoint of an edge in the document's (normalised) positions.
inline void edge_mid(const MeshDocument& doc, int e, float* x, float* y) {
    const Vec3& a = doc.vertices[size_t(doc.edges[size_t(e)].vertexA)];
    const Vec3& b = doc.vertices[size_t(doc.edges[size_t(e)].vertexB)];
    *x = (a.x + b.x) / 2;
    *y = (a.y + b.y) / 2;
}

inline bool selected(int32_t flags) {
    return (flags & FLAG_UNSELECTED) == 0;
}
