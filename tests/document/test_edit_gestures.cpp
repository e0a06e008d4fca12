// Whole gestures: a cut with the worker's result against the batch path, a rotate drag on a real
// chart, undo after every edit, and the menu and key commands reaching the document.

#include "app/app_state.h"
#include "app/commands.h"
#include "app/edit_binding.h"
#include "app/seam_list.h"
#include "app/startup.h"
#include "document/engine_options.h"
#include "edit_test_util.h"
#include "tools/seamgen/seam_cuts.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <functional>
#include <set>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

void deliver_process_wide_runs() {
    MeshDocument& doc = MeshDocument::instance();
    while (doc.liveBusy) {
        unsigned message = platform_wait_message(std::chrono::seconds(120));
        ASSERT_EQ(message, WM_UNWRAP_DONE);
        doc.onUnwrapDone();
    }
}

// The bunny with a seam list that cuts it into discs, and one more edge that extends a seam.
class BunnyGesture : public ::testing::Test {
protected:
    fs::path dir = fs::temp_directory_path() / ("marrowby_edit_" + std::to_string(getpid()));
    SeamPairs seams;
    std::pair<int, int> extra{-1, -1};

    void SetUp() override {
        while (platform_take_message() != 0) {
        }
        engine_options() = EngineOptions{};
        fs::remove_all(dir);
        fs::create_directories(dir);
        MeshDocument doc;
        ObjReader reader;
        ASSERT_TRUE(reader.read(doc, (std::string(MARROWBY_MESH_DIR) + "/bunny.obj").c_str()));
        seams = seams_to_discs(doc, seams_along_slabs(doc, 4));
        std::set<int> onSeam;
        std::set<std::pair<int, int>> seamSet;
        for (auto [a, b] : seams) {
            onSeam.insert(a);
            onSeam.insert(b);
            seamSet.insert({std::min(a, b), std::max(a, b)});
        }
        // The first edge with exactly one end on a seam: cutting it lengthens that seam.
        for (int e = 0; e < doc.edgeCount && extra.first < 0; e++) {
            int a = doc.edges[size_t(e)].vertexA - 1, b = doc.edges[size_t(e)].vertexB - 1;
            if (onSeam.count(a) + onSeam.count(b) == 1 &&
                !seamSet.count({std::min(a, b), std::max(a, b)}))
                extra = {a, b};
        }
        ASSERT_GE(extra.first, 0);
        doc.clear();
    }
    void TearDown() override {
        shutdownCleanup();
        fs::remove_all(dir);
    }
    std::string copy_bunny(const std::string& name) {
        std::string path = (dir / name).string();
        fs::copy_file(std::string(MARROWBY_MESH_DIR) + "/bunny.obj", path);
        return path;
    }
    // Starts as the window does with a file: load, seam list, unwrap.
    void start_interactive() {
        std::string mesh = copy_bunny("live.obj"), list = (dir / "live.bin").string();
        ASSERT_TRUE(write_seam_list(list, seams));
        std::string line = "\"" + mesh + "," + list + ",,,\"";
        ASSERT_FALSE(parseCommandLine(line.data()));
        finishStartupUnwrap();
        ASSERT_GT(MeshDocument::instance().chartCount, 1);
    }
};

TEST_F(BunnyGesture, CutAndTheWorkersResultGiveTheBatchLayoutWithThatEdgeInTheSeamList) {
    std::string batchMesh = copy_bunny("batch.obj"), batchList = (dir / "batch.bin").string();
    SeamPairs withExtra = seams;
    withExtra.push_back(extra);
    ASSERT_TRUE(write_seam_list(batchList, withExtra));
    std::string argument = batchMesh + "," + batchList + ",,,-notlive";
    const char* argv[] = {"marrowby", argument.c_str()};
    ASSERT_EQ(marrowby_main(2, argv), -1);
    MeshDocument batch;
    ObjReader reader;
    ASSERT_TRUE(reader.read(batch, batchMesh.c_str())) << reader.error;

    start_interactive();
    MeshDocument& doc = MeshDocument::instance();
    int uvsBeforeCut = doc.uvCount;
    select_edge(doc, extra.first + 1, extra.second + 1);
    ASSERT_TRUE(doc.cutSelectedEdges());
    ASSERT_TRUE(doc.liveBusy) << "the cut unwraps in the background";
    deliver_process_wide_runs();

    EXPECT_GT(doc.uvCount, uvsBeforeCut) << "the cut opened the seam";
    ASSERT_EQ(doc.uvCount, batch.uvCount);
    ASSERT_EQ(doc.cornerUvs(), batch.cornerUvs());
    // The written file holds six decimals.
    for (int i = 0; i < doc.uvCount; i++) {
        ASSERT_NEAR(doc.uvs[size_t(i)].u, batch.uvs[size_t(i)].u, 1e-6f) << "uv " << i;
        ASSERT_NEAR(doc.uvs[size_t(i)].v, batch.uvs[size_t(i)].v, 1e-6f) << "uv " << i;
    }
    EXPECT_EQ(doc.chartCount, batch.chartCount);
}

TEST_F(BunnyGesture, RotateDragOnARealChartKeepsTheSelectionWhereTheRotationPutItAndAllFinite) {
    start_interactive();
    MeshDocument& doc = MeshDocument::instance();
    // A small patch: the points of one face and of its neighbours within the same chart.
    const MeshFace& seed = doc.faces[size_t(doc.faceCount / 2)];
    std::set<int> patch;
    for (int k = 0; k < seed.cornerCount; k++) {
        patch.insert(seed.uvIndices[k]);
        int n = seed.neighbourFaces[k];
        if (n >= 0 && doc.faces[size_t(n)].chart == seed.chart) {
            for (int j = 0; j < doc.faces[size_t(n)].cornerCount; j++)
                patch.insert(doc.faces[size_t(n)].uvIndices[j]);
        }
    }
    ASSERT_GE(patch.size(), 4u);
    for (int i : patch)
        select_uv(doc, i);
    UndoHistory::instance().push();
    std::vector<UvPoint> start(doc.uvs.begin(), doc.uvs.begin() + doc.uvCount);
    std::vector<int> corners = fan_corner_counts(doc);

    ASSERT_TRUE(doc.computeSelectionCentre());
    ASSERT_TRUE(doc.beginUvDrag());
    std::vector<float> rotatedU(start.size()), rotatedV(start.size());
    for (int step = 0; step < 8; step++) {
        doc.rotateSelected(12, -3);
        float radians = doc.rotateAngle * 0.017460318f;
        float c = std::cos(radians), s = std::sin(radians);
        for (int i : patch) {
            float du = start[size_t(i)].u - doc.selCentreU,
                  dv = start[size_t(i)].v - doc.selCentreV;
            rotatedU[size_t(i)] = doc.selCentreU + c * du - s * dv;
            rotatedV[size_t(i)] = doc.selCentreV + s * du + c * dv;
            int n = corners[size_t(i)];
            ASSERT_EQ(doc.uvs[size_t(i)].u, pinned_mean(rotatedU[size_t(i)], n)) << "step " << step;
            ASSERT_EQ(doc.uvs[size_t(i)].v, pinned_mean(rotatedV[size_t(i)], n)) << "step " << step;
        }
        ASSERT_TRUE(all_uvs_finite(doc)) << "step " << step;
    }
    EXPECT_NEAR(doc.rotateAngle, 8 * 12 * 0.33f, 1e-4f);
    int moved = 0;
    for (int i = 0; i < doc.uvCount; i++)
        moved += !patch.count(i) && doc.uvs[size_t(i)].u != start[size_t(i)].u ? 1 : 0;
    EXPECT_GT(moved, 0) << "the chart was solved around the rotated patch";

    doc.endUvDrag();
    doc.dropUvBackup();
    for (int i : patch) {
        // The end's solve starts from the corners as the last step left them.
        int n = corners[size_t(i)];
        EXPECT_EQ(doc.uvs[size_t(i)].u, pinned_mean(pinned_mean(rotatedU[size_t(i)], n), n));
        EXPECT_EQ(doc.uvs[size_t(i)].v, pinned_mean(pinned_mean(rotatedV[size_t(i)], n), n));
    }
    EXPECT_TRUE(all_uvs_finite(doc));
    EXPECT_TRUE(doc.liveTriUvs.empty());
}

// Undo after an edit brings back the layout as it was before the edit. (Relax records nothing,
// so undo after it goes back past the last recorded state, as for any unrecorded change.)
struct UndoCase {
    const char* name;
    std::function<void(MeshDocument&)> select;
    std::function<void(MeshDocument&, UndoHistory&)> edit;
};

constexpr int GRID = 6;
int grid_point(int x, int y) {
    return (GRID + 1) * y + x;
}

void select_three(MeshDocument& doc) {
    const float us[] = {0.2f, 0.5f, 0.9f};
    const int points[] = {grid_point(1, 2), grid_point(3, 3), grid_point(5, 4)};
    for (int k = 0; k < 3; k++) {
        doc.uvs[size_t(points[k])].u = us[k];
        select_uv(doc, points[k]);
    }
}

void select_square(MeshDocument& doc) {
    for (int i : {grid_point(2, 2), grid_point(4, 2), grid_point(4, 4), grid_point(2, 4)})
        select_uv(doc, i);
}

// A drag as the UV view runs it: centre, begin, steps, end, backup dropped, one snapshot.
std::function<void(MeshDocument&, UndoHistory&)> drag(void (*steps)(MeshDocument&)) {
    return [steps](MeshDocument& doc, UndoHistory& history) {
        ASSERT_TRUE(doc.computeSelectionCentre());
        ASSERT_TRUE(doc.beginUvDrag());
        steps(doc);
        doc.endUvDrag();
        doc.dropUvBackup();
        history.push();
    };
}

std::function<void(MeshDocument&, UndoHistory&)> align(int side) {
    return [side](MeshDocument& doc, UndoHistory&) { ASSERT_TRUE(doc.alignSelected(side)); };
}

class UndoAfterEdit : public EditFixture, public ::testing::WithParamInterface<UndoCase> {};

TEST_P(UndoAfterEdit, RestoresTheLayoutBeforeIt) {
    load(grid_obj(GRID, 0.05f));
    GetParam().select(doc);
    history.push();
    Layout before = layout_of(doc);
    GetParam().edit(doc, history);
    deliver_until_idle();
    ASSERT_NE(layout_of(doc), before) << "the edit changed something";
    history.undo();
    EXPECT_EQ(layout_of(doc), before);
}

INSTANTIATE_TEST_SUITE_P(
    Edits, UndoAfterEdit,
    ::testing::Values(
        UndoCase{
            "Cut",
            [](MeshDocument& doc) { select_edge(doc, grid_point(3, 0) + 1, grid_point(3, 1) + 1); },
            [](MeshDocument& doc, UndoHistory&) { ASSERT_TRUE(doc.cutSelectedEdges()); }},
        UndoCase{"Weld",
                 [](MeshDocument& doc) {
                     select_edge(doc, grid_point(3, 0) + 1, grid_point(3, 1) + 1, FLAG_SEAM);
                 },
                 [](MeshDocument& doc, UndoHistory&) { ASSERT_TRUE(doc.weldSelectedEdges()); }},
        UndoCase{"Pin", select_three, [](MeshDocument& doc, UndoHistory&) { doc.pinSelected(); }},
        UndoCase{"Unpin",
                 [](MeshDocument& doc) {
                     select_three(doc);
                     doc.uvs[size_t(grid_point(3, 3))].flags |= FLAG_PINNED;
                 },
                 [](MeshDocument& doc, UndoHistory&) { doc.unpinSelected(); }},
        UndoCase{"AlignMinimumU", select_three, align(1)},
        UndoCase{"AlignMinimumV", select_three, align(2)},
        UndoCase{"AlignMaximumU", select_three, align(3)},
        UndoCase{"AlignMaximumV", select_three, align(4)},
        UndoCase{"MoveDrag", select_square, drag([](MeshDocument& doc) {
                     for (int i = 0; i < 3; i++)
                         doc.moveSelected(0.02f, 0.01f);
                 })},
        UndoCase{"RotateDrag", select_square, drag([](MeshDocument& doc) {
                     for (int i = 0; i < 3; i++)
                         doc.rotateSelected(15, 0);
                 })},
        UndoCase{"ScaleDrag", select_square, drag([](MeshDocument& doc) {
                     for (int i = 0; i < 3; i++)
                         doc.scaleSelected(0, 20);
                 })}),
    [](const ::testing::TestParamInfo<UndoCase>& info) { return info.param.name; });

// Menu and toolbar commands go through the key table to the process-wide document. Each case
// selects the three points of select_three (u 0.2, 0.5, 0.9 at y = 2, 3, 4) or the edge from
// (3, 0) to (3, 1), with the flags given, and checks one value after the command.
struct CommandCase {
    const char* name;
    int command;
    int pointFlags; // extra flags of the three points; -1: select the edge instead
    int edgeFlags;  // extra flags of the edge
    std::function<float(const MeshDocument&)> value;
    float expected;
};

const int MIDDLE = grid_point(3, 3);
int the_edge(const MeshDocument& doc) {
    return doc.findEdge(grid_point(3, 0) + 1, grid_point(3, 1) + 1);
}
float middle_u(const MeshDocument& doc) {
    return doc.uvs[size_t(MIDDLE)].u;
}
float middle_v(const MeshDocument& doc) {
    return doc.uvs[size_t(MIDDLE)].v;
}
float first_u(const MeshDocument& doc) {
    return doc.uvs[size_t(grid_point(1, 2))].u;
}
float middle_flags(const MeshDocument& doc) {
    return float(doc.uvs[size_t(MIDDLE)].flags);
}
float edge_flags(const MeshDocument& doc) {
    return float(doc.edges[size_t(the_edge(doc))].flags);
}

class EditCommands : public ::testing::TestWithParam<CommandCase> {
protected:
    void SetUp() override {
        while (platform_take_message() != 0) {
        }
        shutdownCleanup();
        AppState::instance().reset();
        app_bind_edit_calls();
    }
    void TearDown() override { shutdownCleanup(); }
};

TEST_P(EditCommands, ReachTheDocument) {
    const CommandCase& c = GetParam();
    MeshDocument& doc = MeshDocument::instance();
    ASSERT_TRUE(read_obj_text(doc, grid_obj(GRID, 0.05f)));
    if (c.pointFlags >= 0) {
        select_three(doc);
        for (int i : {grid_point(1, 2), MIDDLE, grid_point(5, 4)})
            doc.uvs[size_t(i)].flags |= c.pointFlags;
    } else {
        select_edge(doc, grid_point(3, 0) + 1, grid_point(3, 1) + 1, c.edgeFlags);
    }
    UndoHistory::instance().push();
    EXPECT_TRUE(AppState::instance().runCommand(c.command).repaint);
    deliver_process_wide_runs();
    EXPECT_NEAR(c.value(doc), c.expected, 1e-6f);
}

INSTANTIATE_TEST_SUITE_P(
    Commands, EditCommands,
    ::testing::Values(
        CommandCase{"MinUOnKeypad4", ID_UV_MINU, 0, 0, middle_u, 0.2f},
        CommandCase{"MaxUOnKeypad6", ID_UV_MAXU, 0, 0, middle_u, 0.9f},
        // Keypad 8, the menu's "Min V", sets the largest V: the top of the view.
        CommandCase{"MinVItemSetsTheLargestV", ID_UV_MINV, 0, 0, middle_v, 4.0f / 6},
        CommandCase{"MaxVItemSetsTheSmallestV", ID_UV_MAXV, 0, 0, middle_v, 2.0f / 6},
        CommandCase{"Pin", ID_UV_PIN, 0, 0, middle_flags, FLAG_SELECTED | FLAG_PINNED},
        CommandCase{"Unpin", ID_UV_UNPIN, FLAG_PINNED, 0, middle_flags, FLAG_SELECTED},
        // The point at u = 0.2 goes 60 % of the way to its neighbours' mean, 1/6.
        CommandCase{"Relax", ID_UV_RELAX, 0, 0, first_u, 0.18f},
        CommandCase{"Cut", ID_EDGE_CUT, -1, 0, edge_flags, FLAG_SELECTED | FLAG_SEAM},
        CommandCase{"Weld", ID_EDGE_WELD, -1, FLAG_SEAM, edge_flags, FLAG_SELECTED}),
    [](const ::testing::TestParamInfo<CommandCase>& info) { return info.param.name; });

} // namespace
