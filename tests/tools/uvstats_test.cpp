#include "document/mesh_document.h"
#include "document/obj_reader.h"
#include "tools/uvstats/uv_stats.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

// An n x n grid of quads over [0, 1]^2 in 3D, with one vt per vertex given by uv(x, y).
template <typename UvOf> std::string grid_obj(int n, UvOf uv) {
    std::string text;
    for (int y = 0; y <= n; y++)
        for (int x = 0; x <= n; x++)
            text +=
                "v " + std::to_string(double(x) / n) + " " + std::to_string(double(y) / n) + " 0\n";
    for (int y = 0; y <= n; y++)
        for (int x = 0; x <= n; x++) {
            auto [u, v] = uv(double(x) / n, double(y) / n);
            text += "vt " + std::to_string(u) + " " + std::to_string(v) + "\n";
        }
    for (int y = 0; y < n; y++)
        for (int x = 0; x < n; x++) {
            int a = y * (n + 1) + x + 1, b = a + 1, c = a + n + 2, d = a + n + 1;
            text += "f " + std::to_string(a) + "/" + std::to_string(a) + " " + std::to_string(b) +
                    "/" + std::to_string(b) + " " + std::to_string(c) + "/" + std::to_string(c) +
                    " " + std::to_string(d) + "/" + std::to_string(d) + "\n";
        }
    return text;
}

UvStats stats_of(const std::string& text) {
    MeshDocument doc;
    ObjReader reader;
    EXPECT_TRUE(reader.readText(doc, "test.obj", text.data(), text.size())) << reader.error;
    return compute_uv_stats(doc);
}

TEST(UvStats, IdentityLayoutHasNoDistortionAndFillsTheSquare) {
    UvStats s = stats_of(grid_obj(4, [](double x, double y) { return std::pair{x, y}; }));
    EXPECT_EQ(s.faces, 16);
    EXPECT_EQ(s.triangles, 32);
    EXPECT_EQ(s.charts, 1);
    EXPECT_EQ(s.flippedTriangles, 0);
    EXPECT_NEAR(s.meanAngleDistortion, 0.0, 1e-3);
    EXPECT_NEAR(s.stretchL2, 1.0, 1e-4);
    EXPECT_NEAR(s.stretchLinf, 1.0, 1e-4);
    EXPECT_NEAR(s.coverage, 1.0, 1e-4);
    EXPECT_EQ(s.uvsOutside, 0);
    EXPECT_EQ(s.nonFinite, 0);
}

TEST(UvStats, UniformScaleAndMirrorDoNotCountAsDistortionOrFlips) {
    // Scaled to a quarter of the square and mirrored in u: still similar, one orientation.
    UvStats s = stats_of(grid_obj(3, [](double x, double y) {
        return std::pair{0.5 - 0.5 * x, 0.5 * y};
    }));
    EXPECT_EQ(s.flippedTriangles, 0);
    EXPECT_NEAR(s.meanAngleDistortion, 0.0, 1e-3);
    EXPECT_NEAR(s.stretchL2, 1.0, 1e-4);
    EXPECT_NEAR(s.coverage, 0.25, 1e-4);
}

TEST(UvStats, SqueezedLayoutHasTheKnownStretchAndAngleError) {
    // u = x / 2: the map from UV to 3D doubles u, keeps v.
    UvStats s = stats_of(grid_obj(2, [](double x, double y) { return std::pair{0.5 * x, y}; }));
    // Singular values 2 and 1; normalised by sqrt(UV area / 3D area) = sqrt(1/2).
    EXPECT_NEAR(s.stretchL2, std::sqrt(2.5) * std::sqrt(0.5), 1e-4);
    EXPECT_NEAR(s.stretchLinf, 2 * std::sqrt(0.5), 1e-4);
    // Each half-square triangle (45, 90, 45 degrees) becomes (63.43, 90, 26.57).
    double err = std::atan(2.0) * 180 / M_PI - 45;
    EXPECT_NEAR(s.maxAngleDistortion, err, 1e-3);
    EXPECT_NEAR(s.meanAngleDistortion, 2 * err / 3, 1e-3);
    EXPECT_NEAR(s.coverage, 0.5, 1e-4);
}

TEST(UvStats, CountsFlipsIslandsOutsideAndNonFiniteUvs) {
    std::string text = "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nv 2 0 0\nv 2 1 0\n"
                       "vt 0 0\nvt 0.4 0\nvt 0.4 0.4\nvt 0 0.4\n"   // island 1
                       "vt 0.6 0\nvt 1.5 0\nvt 1 0.4\nvt 0.6 0.4\n" // island 2, one vt outside
                       "vt 0.1 0.9\nvt 0.2 0.9\nvt nan 0.8\n"       // a third face
                       "f 1/1 2/2 3/3 4/4\n"
                       "f 2/5 5/6 6/7 3/8\n"
                       "f 1/9 2/10 3/11\n";
    UvStats s = stats_of(text);
    EXPECT_EQ(s.faces, 3);
    EXPECT_EQ(s.charts, 3);
    EXPECT_EQ(s.uvsOutside, 1);
    EXPECT_EQ(s.nonFinite, 1);
    EXPECT_EQ(s.degenerateTriangles, 1) << "the triangle with a NaN UV";

    // One triangle of a square turned over against the other.
    std::string flipped = "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nv 2 0 0\n"
                          "vt 0 0\nvt 0.5 0\nvt 0.5 0.5\nvt 0 0.5\nvt 0.1 0.25\n"
                          "f 1/1 2/2 3/3 4/4\n"
                          "f 2/2 5/5 3/3\n";
    s = stats_of(flipped);
    EXPECT_EQ(s.charts, 1);
    EXPECT_EQ(s.flippedTriangles, 1);
}

} // namespace
