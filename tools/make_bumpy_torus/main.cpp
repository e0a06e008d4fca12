// Writes a closed torus of about TRIANGLES triangles with bumps of several sizes on it, as an
// OBJ file without seams: a large curved mesh with a handle, for measuring automatic seams.
//   make_bumpy_torus TORUS.obj [TRIANGLES]    (1,000,000 by default)

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: make_bumpy_torus TORUS.obj [TRIANGLES]\n");
        return 2;
    }
    const long triangles = argc == 3 ? std::atol(argv[2]) : 1000000;
    if (triangles < 8) {
        std::fprintf(stderr, "make_bumpy_torus: at least 8 triangles\n");
        return 2;
    }
    // Around the ring twice as many quads as around the tube.
    const int tube = std::max(2, int(std::lround(std::sqrt(double(triangles) / 4.0))));
    const int ring = 2 * tube;
    std::FILE* out = std::fopen(argv[1], "w");
    if (!out) {
        std::fprintf(stderr, "make_bumpy_torus: cannot write %s\n", argv[1]);
        return 1;
    }
    const double pi = 3.14159265358979323846;
    for (int i = 0; i < ring; i++)
        for (int j = 0; j < tube; j++) {
            const double u = 2 * pi * i / ring, v = 2 * pi * j / tube;
            const double bump = 0.06 * std::sin(5 * u) * std::sin(3 * v) +
                                0.02 * std::sin(23 * u + 1) * std::cos(17 * v);
            const double r = 0.35 + bump, centre = 1.0 + r * std::cos(v);
            std::fprintf(out, "v %.6f %.6f %.6f\n", centre * std::cos(u), centre * std::sin(u),
                         r * std::sin(v));
        }
    std::fprintf(out, "vt 0 0\nvn 0 0 1\n");
    auto index = [&](int i, int j) { return (i % ring) * tube + (j % tube) + 1; };
    for (int i = 0; i < ring; i++)
        for (int j = 0; j < tube; j++) {
            const int a = index(i, j), b = index(i + 1, j), c = index(i + 1, j + 1),
                      d = index(i, j + 1);
            std::fprintf(out, "f %d/1/1 %d/1/1 %d/1/1\nf %d/1/1 %d/1/1 %d/1/1\n", a, b, c, a, c, d);
        }
    if (std::fclose(out) != 0) {
        std::fprintf(stderr, "make_bumpy_torus: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
