#include "pack_geometry_util.h"
#include "unwrap/unwrap_pack_raster.h"
#include "unwrap/unwrap_pack_sheet.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

bool texel(const PackMask& m, int i, int j) {
    return m.texels[size_t(j) * size_t(m.width) + size_t(i)] != 0;
}

// A mask of random triangles: the shapes the packer sees.
PackMask random_mask(std::mt19937& rng, int width, int height, int triangles) {
    std::uniform_real_distribution<float> u(0.0f, float(width)), v(0.0f, float(height));
    PackMask mask;
    pack_mask_reset(mask, width, height);
    for (int k = 0; k < triangles; k++) {
        float a[2] = {u(rng), v(rng)}, b[2] = {u(rng), v(rng)}, c[2] = {u(rng), v(rng)};
        pack_mask_triangle(mask, a, b, c);
    }
    return mask;
}

TEST(PackRaster, TriangleSetsExactlyTheTexelsItTouches) {
    struct Case {
        const char* name;
        float a[2], b[2], c[2];
    };
    const Case cases[] = {
        {"ordinary", {1.3f, 2.2f}, {9.7f, 4.1f}, {4.4f, 11.6f}},
        {"edges on texel borders", {2.0f, 2.0f}, {8.0f, 2.0f}, {2.0f, 8.0f}},
        {"sliver", {0.5f, 0.5f}, {14.5f, 1.0f}, {14.6f, 1.05f}},
        {"point", {3.5f, 3.5f}, {3.5f, 3.5f}, {3.5f, 3.5f}},
        {"clipped by the mask", {-4.0f, -3.0f}, {20.0f, 5.0f}, {6.0f, 30.0f}},
        {"clockwise", {9.7f, 4.1f}, {1.3f, 2.2f}, {4.4f, 11.6f}},
    };
    for (const Case& c : cases) {
        PackMask mask;
        pack_mask_reset(mask, 16, 16);
        pack_mask_triangle(mask, c.a, c.b, c.c);
        const P2 tri[3] = {{c.a[0], c.a[1]}, {c.b[0], c.b[1]}, {c.c[0], c.c[1]}};
        for (int j = 0; j < 16; j++) {
            for (int i = 0; i < 16; i++) {
                const P2 square[4] = {{double(i), double(j)},
                                      {i + 1.0, double(j)},
                                      {i + 1.0, j + 1.0},
                                      {double(i), j + 1.0}};
                double d = polygon_distance(tri, 3, square, 4);
                // Touching within a hundredth of a texel may count either way.
                if (d == 0.0) {
                    EXPECT_TRUE(texel(mask, i, j)) << c.name << ": texel " << i << ", " << j;
                } else if (d > 0.01) {
                    EXPECT_FALSE(texel(mask, i, j)) << c.name << ": texel " << i << ", " << j;
                }
            }
        }
    }
}

TEST(PackRaster, NonFiniteCornersSetNothing) {
    PackMask mask;
    pack_mask_reset(mask, 8, 8);
    float a[2] = {1, 1}, b[2] = {std::nanf(""), 2}, c[2] = {3, INFINITY};
    pack_mask_triangle(mask, a, b, c);
    for (uint8_t t : mask.texels)
        EXPECT_EQ(t, 0);
}

TEST(PackRaster, TurnedMaskHoldsTheTurnedPoints) {
    std::mt19937 rng(7);
    for (int trial = 0; trial < 6; trial++) {
        PackMask mask = random_mask(rng, 5 + 3 * trial, 9 + trial, 3);
        for (int turns = 0; turns < 4; turns++) {
            PackMask turned;
            pack_mask_turn(mask, turns, turned);
            bool swap = turns % 2 == 1;
            ASSERT_EQ(turned.width, swap ? mask.height : mask.width);
            ASSERT_EQ(turned.height, swap ? mask.width : mask.height);
            // A texel's centre turned by the point rule lands on the centre of its turned
            // texel, which must carry the same coverage.
            for (int j = 0; j < mask.height; j++)
                for (int i = 0; i < mask.width; i++) {
                    float out[2];
                    pack_point_turn(i + 0.5f, j + 0.5f, mask.width, mask.height, turns, out);
                    EXPECT_EQ(texel(turned, int(out[0]), int(out[1])), texel(mask, i, j))
                        << "turns " << turns << " texel " << i << ", " << j;
                }
        }
    }
}

TEST(PackRaster, GrownRunsAreTheSquareNeighbourhoodOfTheCover) {
    std::mt19937 rng(11);
    for (int pad : {0, 1, 2, 4}) {
        for (int trial = 0; trial < 4; trial++) {
            PackMask mask = random_mask(rng, 7 + 5 * trial, 6 + 2 * trial, 2);
            PackRuns cover, grown;
            pack_runs_of(mask, cover);
            pack_runs_dilated(cover, pad, grown);
            ASSERT_EQ(grown.originX, -pad);
            ASSERT_EQ(grown.originY, -pad);
            ASSERT_EQ(grown.height, mask.height + 2 * pad);
            for (int r = 0; r < grown.height; r++) {
                int y = r + grown.originY;
                std::vector<bool> inRuns(size_t(mask.width + 2 * pad), false);
                for (int k = grown.rowStart[size_t(r)]; k < grown.rowStart[size_t(r) + 1]; k++) {
                    const PackRun& run = grown.runs[size_t(k)];
                    if (k > grown.rowStart[size_t(r)]) {
                        EXPECT_GT(run.first, grown.runs[size_t(k) - 1].last + 1) << "unmerged";
                    }
                    for (int x = run.first; x <= run.last; x++)
                        inRuns[size_t(x + pad)] = true;
                }
                for (int x = -pad; x < mask.width + pad; x++) {
                    bool near = false;
                    for (int j = std::max(0, y - pad); j <= std::min(mask.height - 1, y + pad); j++)
                        for (int i = std::max(0, x - pad); i <= std::min(mask.width - 1, x + pad);
                             i++)
                            near = near || texel(mask, i, j);
                    EXPECT_EQ(inRuns[size_t(x + pad)], near)
                        << "pad " << pad << " trial " << trial << " at " << x << ", " << y;
                }
            }
        }
    }
}

TEST(PackSheet, FindGivesTheLowestThenLeftmostFreePosition) {
    std::mt19937 rng(3);
    for (int trial = 0; trial < 12; trial++) {
        const int size = 24 + trial;
        PackSheet sheet;
        pack_sheet_reset(sheet, size);
        // Obstacles: random charts taken where they fall.
        for (int k = 0; k < 3 + trial / 2; k++) {
            PackMask obstacle = random_mask(rng, 4 + k % 5, 3 + k % 4, 2);
            PackRuns runs;
            pack_runs_of(obstacle, runs);
            pack_sheet_take(sheet, runs, int(rng() % unsigned(size)) - 2,
                            int(rng() % unsigned(size)) - 2);
        }
        for (int y = 0; y < size; y++) {
            int longest = 0, run = 0;
            for (int x = 0; x < size; x++) {
                run = pack_sheet_taken(sheet, x, y) ? 0 : run + 1;
                longest = std::max(longest, run);
            }
            ASSERT_EQ(sheet.longestFree[size_t(y)], longest) << "trial " << trial << " row " << y;
        }
        PackMask chart = random_mask(rng, 3 + trial % 6, 2 + trial % 5, 2);
        PackRuns runs;
        std::vector<int> needs;
        pack_runs_of(chart, runs);
        pack_runs_needs(runs, needs);
        int wantX = -1, wantY = -1;
        for (int y = 0; y + chart.height <= size && wantY < 0; y++)
            for (int x = 0; x + chart.width <= size && wantX < 0; x++) {
                bool free = true;
                for (int j = 0; j < chart.height && free; j++)
                    for (int i = 0; i < chart.width && free; i++)
                        free = !texel(chart, i, j) || !pack_sheet_taken(sheet, x + i, y + j);
                if (free) {
                    wantX = x;
                    wantY = y;
                }
            }
        int x = -1, y = -1;
        bool found = pack_sheet_find(sheet, runs, needs, size, &x, &y);
        ASSERT_EQ(found, wantY >= 0) << "trial " << trial;
        if (!found)
            continue;
        EXPECT_EQ(y, wantY) << "trial " << trial;
        EXPECT_EQ(x, wantX) << "trial " << trial;
        EXPECT_TRUE(pack_sheet_fits(sheet, runs, x, y));
        // Searching only below the answer finds nothing.
        EXPECT_FALSE(pack_sheet_find(sheet, runs, needs, y - 1, &x, &y)) << "trial " << trial;
    }
}

TEST(PackSheet, TakenRunsAreClippedToTheSheet) {
    PackSheet sheet;
    pack_sheet_reset(sheet, 70); // rows of two words
    PackRuns runs;
    runs.width = 140;
    runs.height = 3;
    runs.rowStart = {0, 1, 2, 3};
    runs.runs = {{-5, 66}, {60, 200}, {0, 10}};
    pack_sheet_take(sheet, runs, 0, 68); // the third row falls off the top
    for (int x = 0; x < 70; x++) {
        EXPECT_EQ(pack_sheet_taken(sheet, x, 68), x <= 66) << x;
        EXPECT_EQ(pack_sheet_taken(sheet, x, 69), x >= 60) << x;
        EXPECT_FALSE(pack_sheet_taken(sheet, x, 67)) << x;
    }
    EXPECT_EQ(sheet.longestFree[67], 70);
    EXPECT_EQ(sheet.longestFree[68], 3);
    EXPECT_EQ(sheet.longestFree[69], 60);
}

} // namespace
