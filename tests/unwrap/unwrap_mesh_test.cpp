#include "unwrap/unwrap.h"
#include "unwrap/unwrap_validate.h"
#include "unwrap_test_mesh.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

namespace {

std::vector<std::string> mesh_files() {
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(MARROWBY_MESH_DIR))
        if (entry.path().extension() == ".obj")
            files.push_back(entry.path().string());
    std::sort(files.begin(), files.end());
    return files;
}

// Seams on a fixed, scattered subset of the mesh's edges.
void add_scattered_seams(TestMesh& mesh) {
    std::set<std::pair<int, int>> seen;
    for (const TestMesh::Face& f : mesh.faces) {
        for (int k = 0; k < f.n; k++) {
            int a = f.v[k], b = f.v[(k + 1) % f.n];
            std::pair<int, int> key = {std::min(a, b), std::max(a, b)};
            if ((unsigned(key.first) * 2654435761u + unsigned(key.second)) % 7 == 0 &&
                seen.insert(key).second)
                mesh.seams.push_back(key);
        }
    }
}

class UnwrapMeshes : public ::testing::TestWithParam<std::string> {};

TEST(UnwrapMeshFiles, TheMeshFolderHoldsMeshes) {
    EXPECT_GE(mesh_files().size(), 3u);
}

TEST_P(UnwrapMeshes, ChartsAreSoundWithAndWithoutFilling) {
    TestMesh mesh = test_mesh_load_obj(GetParam());
    ASSERT_FALSE(mesh.faces.empty());
    for (bool fill : {false, true}) {
        PHandle* handle = test_mesh_build(mesh, fill);
        EXPECT_EQ(unwrap_validate(handle, false), "") << "fill " << fill;
        if (fill) {
            for (int i = 0; i < handle->ncharts; i++) {
                UnwrapChartShape shape = unwrap_chart_shape(handle->charts[i]);
                EXPECT_EQ(shape.nloops, 1) << "chart " << i;
            }
        }
        unwrap_delete(handle);
    }
}

TEST_P(UnwrapMeshes, ScatteredSeamsCutSoundCharts) {
    TestMesh mesh = test_mesh_load_obj(GetParam());
    add_scattered_seams(mesh);
    PHandle* handle = test_mesh_build(mesh, true);
    EXPECT_GT(handle->ncharts, 0);
    EXPECT_EQ(unwrap_validate(handle, false), "");
    int triangles = 0;
    for (int i = 0; i < handle->ncharts; i++) {
        EXPECT_EQ(unwrap_chart_shape(handle->charts[i]).nloops, 1);
        triangles += handle->charts[i]->ntriangles;
    }
    EXPECT_GT(triangles, 0);
    unwrap_delete(handle);
}

INSTANTIATE_TEST_SUITE_P(AllMeshes, UnwrapMeshes, ::testing::ValuesIn(mesh_files()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                             return std::filesystem::path(info.param).stem().string();
                         });

} // namespace
