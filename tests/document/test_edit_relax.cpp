// Relax: one pass moves every movable inner point 60 % of the way to its neighbours' mean; the
// document's indexed pass gives exactly what the rule written out face by face gives.

#include "edit_test_util.h"
#include "reference_relax.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>

namespace {

// Grid of 4 x 4 quads: UV point (x, y) is 5 y + x at (x / 4, y / 4).
class RelaxGrid : public EditFixture {
protected:
    void SetUp() override {
        EditFixture::SetUp();
        load(grid_obj(4));
    }
    static int point(int x, int y) { return 5 * y + x; }
    void displace(int i, float du, float dv) {
        doc.uvs[size_t(i)].u += du;
        doc.uvs[size_t(i)].v += dv;
    }
    UvPoint at(int i) const { return doc.uvs[size_t(i)]; }
};

TEST_F(RelaxGrid, OnePassMovesSixtyPercentTowardsTheMeanAndASecondPassFurther) {
    int p = point(2, 2);
    select_uv(doc, p);
    displace(p, 0.05f, 0.03f); // its four neighbours' mean stays (0.5, 0.5)
    int snapshots = history.size();
    EXPECT_TRUE(doc.relaxSelected());
    EXPECT_NEAR(at(p).u, 0.52f, 1e-6f);
    EXPECT_NEAR(at(p).v, 0.512f, 1e-6f);
    EXPECT_TRUE(doc.relaxSelected());
    EXPECT_NEAR(at(p).u, 0.508f, 1e-6f);
    EXPECT_NEAR(at(p).v, 0.5048f, 1e-6f);
    EXPECT_EQ(history.size(), snapshots) << "relax records nothing";
}

TEST_F(RelaxGrid, PointsOnTheBorderOrASeamAndPointsNotMovableStay) {
    int border = point(0, 2), seamEnd = point(2, 2), pinned = point(1, 1), unselected = point(3, 3);
    select_uv(doc, border);
    select_uv(doc, seamEnd);
    select_uv(doc, pinned, FLAG_PINNED);
    for (int i : {border, seamEnd, pinned, unselected})
        displace(i, 0.04f, -0.02f);
    doc.edges[size_t(doc.findEdge(seamEnd + 1, point(3, 2) + 1))].flags |= FLAG_SEAM;
    Layout before = layout_of(doc);
    EXPECT_TRUE(doc.relaxSelected());
    EXPECT_EQ(layout_of(doc), before);
}

// A pyramid over a 60-gon: its apex has 60 distinct neighbours, all of which count.
TEST(RelaxNeighbours, APointWithMoreThanFiftyNeighboursUsesThemAll) {
    const int SIDES = 60;
    std::string text = "v 0 0 1\n";
    for (int i = 0; i < SIDES; i++) {
        double a = 2 * M_PI * i / SIDES;
        text += "v " + std::to_string(std::cos(a)) + " " + std::to_string(std::sin(a)) + " 0\n";
    }
    text += "vt 0.3 0.1\n";
    for (int i = 0; i < SIDES; i++) {
        double a = 2 * M_PI * i / SIDES;
        text += "vt " + std::to_string(0.5 + 0.4 * std::cos(a)) + " " +
                std::to_string(0.5 + 0.4 * std::sin(a)) + "\n";
    }
    auto corner = [](int i) { return std::to_string(i) + "/" + std::to_string(i); };
    for (int i = 0; i < SIDES; i++)
        text += "f 1/1 " + corner(2 + i) + " " + corner(2 + (i + 1) % SIDES) + "\n";
    text += "f";
    for (int i = SIDES - 1; i >= 0; i--)
        text += " " + corner(2 + i);
    text += "\n";
    MeshDocument doc;
    ASSERT_TRUE(read_obj_text(doc, text));
    select_uv(doc, 0);
    float sumU = 0, sumV = 0, firstFiftyU = 0;
    for (int i = 1; i <= SIDES; i++) {
        sumU += doc.uvs[size_t(i)].u;
        sumV += doc.uvs[size_t(i)].v;
        if (i == 50)
            firstFiftyU = sumU / 50;
    }
    float expectU = 0.3f + (sumU / SIDES - 0.3f) * 0.6f;
    float expectV = 0.1f + (sumV / SIDES - 0.1f) * 0.6f;
    ASSERT_GT(std::fabs(0.3f + (firstFiftyU - 0.3f) * 0.6f - expectU), 0.01f);
    doc.relaxSelected();
    EXPECT_NEAR(doc.uvs[0].u, expectU, 1e-6f);
    EXPECT_NEAR(doc.uvs[0].v, expectV, 1e-6f);
}

// Runs the document's pass and the written rule on two copies of a document for a few passes
// and compares every UV point bit for bit.
void expect_same_as_rule(MeshDocument& indexed, MeshDocument& rule, int passes) {
    ASSERT_EQ(indexed.uvCount, rule.uvCount);
    for (int pass = 0; pass < passes; pass++) {
        indexed.relaxSelected();
        reference_relax(rule);
        for (int i = 0; i < indexed.uvCount; i++) {
            ASSERT_EQ(indexed.uvs[size_t(i)].u, rule.uvs[size_t(i)].u)
                << "pass " << pass << " uv " << i;
            ASSERT_EQ(indexed.uvs[size_t(i)].v, rule.uvs[size_t(i)].v)
                << "pass " << pass << " uv " << i;
        }
    }
}

// The same flags on both documents: some edges seams, points selected and pinned at random.
void mark_at_random(std::mt19937& rng, MeshDocument& a, MeshDocument& b, double selected,
                    double pinned, double seams) {
    std::uniform_real_distribution<double> chance(0, 1);
    for (int e = 0; e < a.edgeCount; e++) {
        if (chance(rng) < seams) {
            a.edges[size_t(e)].flags |= FLAG_SEAM;
            b.edges[size_t(e)].flags |= FLAG_SEAM;
        }
    }
    for (int i = 0; i < a.uvCount; i++) {
        int flags = chance(rng) < selected ? FLAG_SELECTED : FLAG_UNSELECTED;
        if (chance(rng) < pinned)
            flags |= FLAG_PINNED;
        a.uvs[size_t(i)].flags = b.uvs[size_t(i)].flags = flags;
    }
}

// Polygons of three to six distinct vertices over a small vertex set, with UV indices drawn
// freely (a face may name one point at several corners; edges may have three faces).
std::string random_obj(std::mt19937& rng) {
    const int VERTICES = 14, POINTS = 12, FACES = 30;
    std::uniform_real_distribution<float> coord(0, 1);
    std::uniform_int_distribution<int> uvPick(1, POINTS), sides(3, 6);
    std::string text;
    for (int i = 0; i < VERTICES; i++)
        text += "v " + std::to_string(coord(rng)) + " " + std::to_string(coord(rng)) + " " +
                std::to_string(coord(rng)) + "\n";
    for (int i = 0; i < POINTS; i++)
        text += "vt " + std::to_string(coord(rng)) + " " + std::to_string(coord(rng)) + "\n";
    for (int f = 0; f < FACES; f++) {
        std::vector<int> order(VERTICES);
        for (int i = 0; i < VERTICES; i++)
            order[size_t(i)] = i + 1;
        std::shuffle(order.begin(), order.end(), rng);
        text += "f";
        for (int k = 0, n = sides(rng); k < n; k++)
            text += " " + std::to_string(order[size_t(k)]) + "/" + std::to_string(uvPick(rng));
        text += "\n";
    }
    return text;
}

TEST(RelaxMatchesTheRule, OnRandomPolygonMeshes) {
    for (unsigned seed = 1; seed <= 60; seed++) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        std::mt19937 rng(seed);
        std::string text = random_obj(rng);
        MeshDocument indexed, rule;
        ASSERT_TRUE(read_obj_text(indexed, text));
        ASSERT_TRUE(read_obj_text(rule, text));
        mark_at_random(rng, indexed, rule, 0.8, 0.1, 0.1);
        expect_same_as_rule(indexed, rule, 3);
    }
}

// A real mesh with one UV point per vertex, projected from its positions.
std::string with_projected_uvs(const std::string& path) {
    MeshDocument src;
    ObjReader reader;
    if (!reader.read(src, path.c_str()))
        return {};
    std::string text;
    for (int i = 1; i < src.vertexSlots; i++) {
        const Vec3& p = src.vertices[size_t(i)];
        text += "v " + std::to_string(p.x) + " " + std::to_string(p.y) + " " + std::to_string(p.z) +
                "\n";
    }
    for (int i = 1; i < src.vertexSlots; i++) {
        const Vec3& p = src.vertices[size_t(i)];
        text += "vt " + std::to_string(p.x) + " " + std::to_string(p.y) + "\n";
    }
    for (int f = 0; f < src.faceCount; f++) {
        const MeshFace& face = src.faces[size_t(f)];
        text += "f";
        for (int k = 0; k < face.cornerCount; k++) {
            std::string v = std::to_string(face.vertexIndices[k]);
            text += " " + v + "/" + v;
        }
        text += "\n";
    }
    return text;
}

// Points whose vertex lies near one of a few centres: patches, so that points relaxed early in
// a pass are neighbours of later ones. The rule scans every face per point, so patches stay
// small on the large meshes. Every eleventh edge is a seam.
void select_patches(MeshDocument& a, MeshDocument& b, float radius) {
    for (int e = 0; e < a.edgeCount; e += 11) {
        a.edges[size_t(e)].flags |= FLAG_SEAM;
        b.edges[size_t(e)].flags |= FLAG_SEAM;
    }
    const Vec3 centres[] = {{0.1f, 0.2f, 0.0f}, {-0.3f, 0.0f, 0.2f}, {0.0f, -0.4f, -0.1f}};
    for (int i = 0; i < a.uvCount; i++) {
        const Vec3& p = a.vertices[size_t(i) + 1];
        bool near = false;
        for (const Vec3& c : centres) {
            float dx = p.x - c.x, dy = p.y - c.y, dz = p.z - c.z;
            near = near || dx * dx + dy * dy + dz * dz < radius * radius;
        }
        int flags = near ? FLAG_SELECTED : FLAG_UNSELECTED;
        if (near && i % 17 == 0)
            flags |= FLAG_PINNED;
        a.uvs[size_t(i)].flags = b.uvs[size_t(i)].flags = flags;
    }
}

struct RealMesh {
    const char* file;
    float patchRadius; // a few hundred points selected
};

class RelaxMatchesTheRuleOnRealMeshes : public ::testing::TestWithParam<RealMesh> {};

TEST_P(RelaxMatchesTheRuleOnRealMeshes, WithPatchesSelected) {
    std::string text = with_projected_uvs(std::string(MARROWBY_MESH_DIR) + "/" + GetParam().file);
    ASSERT_FALSE(text.empty());
    MeshDocument indexed, rule;
    ASSERT_TRUE(read_obj_text(indexed, text));
    ASSERT_TRUE(read_obj_text(rule, text));
    ASSERT_EQ(indexed.uvCount, indexed.vertexSlots - 1);
    select_patches(indexed, rule, GetParam().patchRadius);
    int selected = 0;
    for (int i = 0; i < indexed.uvCount; i++)
        selected += (indexed.uvs[size_t(i)].flags & FLAG_SELECTED) ? 1 : 0;
    EXPECT_GT(selected, 200);
    EXPECT_LT(selected, 1500);
    expect_same_as_rule(indexed, rule, 2);
}

INSTANTIATE_TEST_SUITE_P(Meshes, RelaxMatchesTheRuleOnRealMeshes,
                         ::testing::Values(RealMesh{"bunny.obj", 0.3f},
                                           RealMesh{"dragon_res3.obj", 0.12f},
                                           RealMesh{"snowden.obj", 0.07f}),
                         [](const ::testing::TestParamInfo<RealMesh>& info) {
                             std::string name = info.param.file;
                             return name.substr(0, name.find('.'));
                         });

} // namespace
