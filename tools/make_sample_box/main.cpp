// Writes the bundled sample: a box of quads (each side cut into n x n) as an OBJ file, and a
// seam list that cuts seven of the box's twelve edges, the cuts that open it into a cross.
//   make_sample_box BOX.obj SEAMS.bin [n]    (examples/ holds the output for n = 4)

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <tuple>
#include <vector>

namespace {

using Grid = std::tuple<int, int, int>;

struct Box {
    int n;
    std::map<Grid, int> index; // grid point -> 0-based vertex index
    std::vector<Grid> points;
    std::vector<std::vector<int>> quads;

    int vertex(int x, int y, int z) {
        auto [it, added] = index.emplace(Grid{x, y, z}, int(points.size()));
        if (added)
            points.push_back(Grid{x, y, z});
        return it->second;
    }

    void build() {
        for (int axis = 0; axis < 3; axis++) {
            for (int side = 0; side < 2; side++) {
                for (int i = 0; i < n; i++) {
                    for (int j = 0; j < n; j++) {
                        int uv[4][2] = {{i, j}, {i + 1, j}, {i + 1, j + 1}, {i, j + 1}};
                        std::vector<int> quad;
                        for (auto& c : uv) {
                            int p[3];
                            p[axis] = side * n;
                            p[(axis + 1) % 3] = c[0];
                            p[(axis + 2) % 3] = c[1];
                            quad.push_back(vertex(p[0], p[1], p[2]));
                        }
                        if (side == 0) // outward on the low side too
                            quad = {quad[0], quad[3], quad[2], quad[1]};
                        quads.push_back(quad);
                    }
                }
            }
        }
    }

    // The n segments of the box edge from corner p along axis.
    void edge(int px, int py, int pz, int axis, std::vector<std::pair<int, int>>& out) {
        int p[3] = {px, py, pz};
        for (int s = 0; s < n; s++) {
            int a[3] = {p[0], p[1], p[2]}, b[3] = {p[0], p[1], p[2]};
            a[axis] += s;
            b[axis] += s + 1;
            out.emplace_back(index.at({a[0], a[1], a[2]}), index.at({b[0], b[1], b[2]}));
        }
    }
};

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: make_sample_box BOX.obj SEAMS.bin [n]\n");
        return 2;
    }
    Box box{argc > 3 ? std::atoi(argv[3]) : 4, {}, {}, {}};
    if (box.n < 1 || box.n > 200) {
        std::fprintf(stderr, "make_sample_box: n must be 1..200\n");
        return 2;
    }
    box.build();
    FILE* obj = std::fopen(argv[1], "w");
    if (!obj) {
        std::perror(argv[1]);
        return 1;
    }
    std::fprintf(obj, "# Sample box, %d x %d quads per side\n", box.n, box.n);
    for (const Grid& g : box.points) {
        double s = 2.0 / box.n;
        std::fprintf(obj, "v %g %g %g\n", std::get<0>(g) * s - 1, std::get<1>(g) * s - 1,
                     std::get<2>(g) * s - 1);
    }
    for (const auto& q : box.quads)
        std::fprintf(obj, "f %d %d %d %d\n", q[0] + 1, q[1] + 1, q[2] + 1, q[3] + 1);
    std::fclose(obj);

    // Three edges of the top (z = n) and the four upright edges: a spanning tree of the
    // box's corners, so cutting them opens the box into one cross-shaped chart.
    int n = box.n;
    std::vector<std::pair<int, int>> seams;
    box.edge(0, 0, n, 0, seams);
    box.edge(n, 0, n, 1, seams);
    box.edge(0, n, n, 0, seams);
    box.edge(0, 0, 0, 2, seams);
    box.edge(n, 0, 0, 2, seams);
    box.edge(n, n, 0, 2, seams);
    box.edge(0, n, 0, 2, seams);
    FILE* bin = std::fopen(argv[2], "wb");
    if (!bin) {
        std::perror(argv[2]);
        return 1;
    }
    uint32_t count = uint32_t(seams.size());
    unsigned char head[4] = {uint8_t(count), uint8_t(count >> 8), uint8_t(count >> 16),
                             uint8_t(count >> 24)};
    std::fwrite(head, 1, 4, bin);
    for (const auto& [a, b] : seams) {
        std::string text = std::to_string(a);
        std::fwrite(text.c_str(), 1, text.size() + 1, bin);
        text = std::to_string(b);
        std::fwrite(text.c_str(), 1, text.size() + 1, bin);
    }
    std::fclose(bin);
    std::printf("%s: %zu vertices, %zu quads; %s: %zu seam pairs\n", argv[1], box.points.size(),
                box.quads.size(), argv[2], seams.size());
    return 0;
}
