// The batch path end to end: load, seams, unwrap, write, on real meshes cut into discs.

#include "app/startup.h"
#include "document/engine_options.h"
#include "document/mesh_document.h"
#include "document/obj_reader.h"
#include "tools/seamgen/seam_cuts.h"
#include "tools/uvstats/uv_stats.h"

#include "app/layout_check.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct Loaded {
    MeshDocument doc;
    ObjReader reader;
    bool ok = false;
    explicit Loaded(const std::string& path) { ok = reader.read(doc, path.c_str()); }
};

class BatchUnwrap : public ::testing::Test {
protected:
    fs::path dir = fs::temp_directory_path() / ("marrowby_e2e_" + std::to_string(getpid()));
    void SetUp() override {
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    // Copies the mesh, writes its seam list (slabs, then cut into discs) and returns both paths.
    std::pair<std::string, std::string> prepare(const std::string& source, const std::string& name,
                                                int slabs) {
        std::string mesh = (dir / name).string(), seams = (dir / (name + ".bin")).string();
        fs::copy_file(source, mesh, fs::copy_options::overwrite_existing);
        Loaded original(mesh);
        EXPECT_TRUE(original.ok) << original.reader.error;
        EXPECT_TRUE(write_seam_list(
            seams, seams_to_discs(original.doc, seams_along_slabs(original.doc, slabs))));
        return {mesh, seams};
    }

    static int run_batch(const std::string& mesh, const std::string& seams,
                         const std::string& method = "", const std::string& holes = "",
                         const std::string& switches = "") {
        engine_options() = EngineOptions{};
        std::string argument =
            mesh + "," + seams + "," + method + "," + holes + ",-notlive" + switches;
        const char* argv[] = {"marrowby", argument.c_str()};
        return marrowby_main(2, argv);
    }
};

// What every written layout must hold, whatever the mesh.
void expect_sound_layout(const MeshDocument& before, const MeshDocument& after) {
    ASSERT_EQ(after.faceCount, before.faceCount);
    ASSERT_EQ(after.vertexSlots, before.vertexSlots);
    for (int f = 0; f < after.faceCount; f++) {
        const MeshFace& a = after.faces[size_t(f)];
        const MeshFace& b = before.faces[size_t(f)];
        ASSERT_EQ(a.cornerCount, b.cornerCount) << "face " << f;
        for (int k = 0; k < a.cornerCount; k++) {
            ASSERT_EQ(a.vertexIndices[k], b.vertexIndices[k]) << "face " << f;
            ASSERT_GE(a.uvIndices[k], 0) << "face " << f;
            ASSERT_LT(a.uvIndices[k], after.uvCount) << "face " << f;
        }
    }
    for (int i = 0; i < after.uvCount; i++) {
        const UvPoint& p = after.uvs[size_t(i)];
        ASSERT_TRUE(std::isfinite(p.u) && std::isfinite(p.v)) << "uv " << i;
        ASSERT_GE(p.u, 0.0f);
        ASSERT_LE(p.u, 1.0f);
        ASSERT_GE(p.v, 0.0f);
        ASSERT_LE(p.v, 1.0f);
    }
}

struct MeshCase {
    const char* file;
    int slabs;
    // Triangles allowed to come out without UV area: slivers of the scan whose 3D area is a
    // millionth of the median (snowden has two).
    int degenerate;
};

class BatchUnwrapRealMesh : public BatchUnwrap, public ::testing::WithParamInterface<MeshCase> {};

// Every face gets texture space of its own: every chart a disc, none flipped or collapsed.
TEST_P(BatchUnwrapRealMesh, WritesASoundLayoutOfDiscCharts) {
    std::string source = std::string(MARROWBY_MESH_DIR) + "/" + GetParam().file;
    auto [mesh, seams] = prepare(source, GetParam().file, GetParam().slabs);
    EXPECT_EQ(run_batch(mesh, seams), -1);
    Loaded before(source), after(mesh);
    ASSERT_TRUE(after.ok) << after.reader.error;
    ASSERT_FALSE(after.reader.noTexCoords);
    expect_sound_layout(before.doc, after.doc);

    UvStats stats = compute_uv_stats(after.doc);
    print_uv_stats(stdout, GetParam().file, stats);
    EXPECT_EQ(stats.discCharts, stats.charts);
    EXPECT_EQ(stats.flippedTriangles, 0);
    EXPECT_LE(stats.degenerateTriangles, GetParam().degenerate);
    EXPECT_EQ(count_faces_without_layout(after.doc), 0);
    EXPECT_LT(stats.stretchL2, 1.6);
    EXPECT_GT(stats.coverage, 0.05) << "charts are packed to fill part of the square";
}

INSTANTIATE_TEST_SUITE_P(Meshes, BatchUnwrapRealMesh,
                         ::testing::Values(MeshCase{"bunny.obj", 8, 0},
                                           MeshCase{"dragon_res3.obj", 8, 0},
                                           MeshCase{"snowden.obj", 8, 2}),
                         [](const auto& info) {
                             std::string name = info.param.file;
                             return name.substr(0, name.find('.'));
                         });

std::string file_bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class BatchUnwrapThreads : public BatchUnwrap, public ::testing::WithParamInterface<const char*> {};

// Charts are flattened concurrently; the written file must not depend on how many threads did it.
TEST_P(BatchUnwrapThreads, WrittenFileIsTheSameForOneTwoAndEightThreads) {
    std::string source = std::string(MARROWBY_MESH_DIR) + "/" + GetParam();
    auto [unused, seams] = prepare(source, GetParam(), 8);
    const char* old = std::getenv("MARROWBY_THREADS");
    std::string saved = old ? old : "";
    std::string first;
    for (const char* threads : {"1", "2", "8"}) {
        std::string mesh = (dir / (std::string(threads) + "_" + GetParam())).string();
        fs::copy_file(source, mesh, fs::copy_options::overwrite_existing);
        setenv("MARROWBY_THREADS", threads, 1);
        EXPECT_EQ(run_batch(mesh, seams), -1) << threads << " threads";
        std::string bytes = file_bytes(mesh);
        if (first.empty()) {
            first = bytes;
            ASSERT_GT(first.size(), 1000u);
        } else {
            EXPECT_TRUE(bytes == first) << threads << " threads wrote a different file";
        }
    }
    if (old)
        setenv("MARROWBY_THREADS", saved.c_str(), 1);
    else
        unsetenv("MARROWBY_THREADS");
}

INSTANTIATE_TEST_SUITE_P(Meshes, BatchUnwrapThreads,
                         ::testing::Values("bunny.obj", "dragon_res3.obj", "snowden.obj"),
                         [](const auto& info) {
                             std::string name = info.param;
                             return name.substr(0, name.find('.'));
                         });

TEST_F(BatchUnwrap, LscmAloneDistortsAnglesMoreThanWithAngleBasedFlattening) {
    std::string source = std::string(MARROWBY_MESH_DIR) + "/bunny.obj";
    auto [abfMesh, seams] = prepare(source, "abf.obj", 4);
    auto [lscmMesh, unused] = prepare(source, "lscm.obj", 4);
    EXPECT_EQ(run_batch(abfMesh, seams), -1);
    EXPECT_EQ(run_batch(lscmMesh, seams, "-lscm"), -1);
    Loaded abf(abfMesh), lscm(lscmMesh);
    UvStats a = compute_uv_stats(abf.doc), l = compute_uv_stats(lscm.doc);
    std::printf("mean angle distortion: ABF + LSCM %.3f deg, LSCM %.3f deg\n",
                a.meanAngleDistortion, l.meanAngleDistortion);
    EXPECT_LT(a.meanAngleDistortion, l.meanAngleDistortion);
    expect_sound_layout(abf.doc, lscm.doc);
}

// A flat square with a square hole in the middle and no seams: filled, it flattens as a disc
// and keeps its shape; unfilled, it is a ring, which is cut open from the hole to the border
// before it is flattened, so its points on that cut get a second UV.
std::string square_with_hole_obj() {
    const int n = 6;
    std::string text;
    for (int y = 0; y <= n; y++)
        for (int x = 0; x <= n; x++)
            text += "v " + std::to_string(x) + " " + std::to_string(y) + " " +
                    std::to_string(0.02 * x * y) + "\n";
    for (int y = 0; y < n; y++)
        for (int x = 0; x < n; x++) {
            if (x >= 2 && x < 4 && y >= 2 && y < 4)
                continue;
            int a = y * (n + 1) + x + 1, b = a + 1, c = a + n + 2, d = a + n + 1;
            text += "f " + std::to_string(a) + " " + std::to_string(b) + " " + std::to_string(c) +
                    " " + std::to_string(d) + "\n";
        }
    return text;
}

TEST_F(BatchUnwrap, AnUnfilledHoleIsCutOpenToTheBorder) {
    std::string text = square_with_hole_obj();
    std::string filled = (dir / "filled.obj").string(), open = (dir / "open.obj").string();
    std::string seams = (dir / "none.bin").string();
    for (const std::string& path : {filled, open})
        std::ofstream(path) << text;
    ASSERT_TRUE(write_seam_list(seams, {}));
    EXPECT_EQ(run_batch(filled, seams), -1);
    EXPECT_EQ(run_batch(open, seams, "", "-nofillholes"), -1);
    Loaded a(filled), b(open);
    ASSERT_TRUE(a.ok && b.ok);
    expect_sound_layout(a.doc, b.doc);
    EXPECT_EQ(a.doc.uvCount, 48);
    EXPECT_GT(b.doc.uvCount, a.doc.uvCount);
    for (const MeshDocument* doc : {&a.doc, &b.doc}) {
        UvStats stats = compute_uv_stats(*doc);
        EXPECT_EQ(stats.charts, 1);
        // The filled chart's layout still has the hole; the cut one is a disc.
        EXPECT_EQ(stats.discCharts, doc == &b.doc ? 1 : 0);
        EXPECT_EQ(stats.flippedTriangles + stats.degenerateTriangles, 0);
    }
}

// A 10 x 10 square with a closed square tube 40 units long standing on a hole in its middle,
// no seams: one disc whose flattening squeezes the tube's tip by about e^-30, far below what
// float UVs can tell apart.
std::string finger_obj() {
    std::string text;
    auto vertex = [&text](double x, double y, double z) {
        text += "v " + std::to_string(x) + " " + std::to_string(y) + " " + std::to_string(z) + "\n";
    };
    // Triangles only: the checks below then see the triangles the engine lays out.
    auto face = [&text](std::initializer_list<int> corners) {
        const std::vector<int> c(corners);
        for (size_t k = 1; k + 1 < c.size(); k++)
            text += "f " + std::to_string(c[0]) + " " + std::to_string(c[k]) + " " +
                    std::to_string(c[k + 1]) + "\n";
    };
    const int n = 10, rings = 40;
    for (int y = 0; y <= n; y++)
        for (int x = 0; x <= n; x++)
            vertex(x, y, 0); // the centre (5, 5) is left unused
    auto grid = [](int x, int y) { return y * 11 + x + 1; };
    for (int y = 0; y < n; y++)
        for (int x = 0; x < n; x++)
            if (x < 4 || x > 5 || y < 4 || y > 5)
                face({grid(x, y), grid(x + 1, y), grid(x + 1, y + 1), grid(x, y + 1)});
    const int around[8][2] = {{4, 4}, {5, 4}, {6, 4}, {6, 5}, {6, 6}, {5, 6}, {4, 6}, {4, 5}};
    std::vector<std::vector<int>> ring(rings + 1);
    int next = 11 * 11 + 1;
    for (int k = 0; k <= rings; k++)
        for (int i = 0; i < 8; i++) {
            if (k == 0) {
                ring[0].push_back(grid(around[i][0], around[i][1]));
            } else {
                vertex(around[i][0], around[i][1], k);
                ring[size_t(k)].push_back(next++);
            }
        }
    for (int k = 1; k <= rings; k++)
        for (int i = 0; i < 8; i++) {
            const int j = (i + 1) % 8;
            face({ring[size_t(k - 1)][size_t(i)], ring[size_t(k - 1)][size_t(j)],
                  ring[size_t(k)][size_t(j)], ring[size_t(k)][size_t(i)]});
        }
    vertex(5, 5, rings + 0.5);
    for (int i = 0; i < 8; i++)
        face({ring[size_t(rings)][size_t(i)], ring[size_t(rings)][size_t((i + 1) % 8)], next});
    return text;
}

TEST_F(BatchUnwrap, ALongProtrusionIsSplitOffUntilEveryFaceHasTextureSpace) {
    std::string mesh = (dir / "finger.obj").string(), kept = (dir / "kept.obj").string();
    std::string seams = (dir / "none.bin").string();
    for (const std::string& path : {mesh, kept})
        std::ofstream(path) << finger_obj();
    ASSERT_TRUE(write_seam_list(seams, {}));
    EXPECT_EQ(run_batch(mesh, seams), -1);
    EXPECT_EQ(run_batch(kept, seams, "", "", ",-keepflips"), -1);
    Loaded sound(mesh), squeezed(kept);
    ASSERT_TRUE(sound.ok && squeezed.ok);
    const UvStats a = compute_uv_stats(sound.doc), b = compute_uv_stats(squeezed.doc);
    EXPECT_GT(b.degenerateTriangles, 0) << "the flattening alone squeezes the tip to nothing";
    EXPECT_EQ(a.degenerateTriangles + a.flippedTriangles, 0);
    EXPECT_EQ(count_faces_without_layout(sound.doc), 0);
    EXPECT_GT(a.charts, 1) << "split";
}

TEST_F(BatchUnwrap, OnePolygonFansIntoTrianglesOfOneChart) {
    std::string mesh = (dir / "hexagon.obj").string(), seams = (dir / "none.bin").string();
    std::ofstream(mesh) << "v 1 0 0\nv 0.5 0.87 0\nv -0.5 0.87 0\nv -1 0 0\nv -0.5 -0.87 0\n"
                           "v 0.5 -0.87 0\nf 1 2 3 4 5 6\n";
    ASSERT_TRUE(write_seam_list(seams, {}));
    EXPECT_EQ(run_batch(mesh, seams), -1);
    Loaded after(mesh);
    ASSERT_TRUE(after.ok);
    EXPECT_EQ(after.doc.faceCount, 1);
    EXPECT_EQ(after.doc.uvCount, 6);
    EXPECT_EQ(after.doc.chartCount, 1);
    UvStats stats = compute_uv_stats(after.doc);
    EXPECT_EQ(stats.triangles, 4);
    EXPECT_NEAR(stats.meanAngleDistortion, 0.0, 0.05) << "a flat polygon keeps its shape";
}

} // namespace
