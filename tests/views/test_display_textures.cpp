// Palette order, texels of the display textures, the glyph table and text layout, the stretch
// ramp and the edge colour rule, without a window.

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "document/mesh_types.h"
#include "views/display_textures.h"
#include "views/glyph_font.h"
#include "views/view_draw.h"

namespace {

// A held image record in bytes: header, palette, pixels.
std::vector<uint8_t> make_record(int w, int h, int bpp, const uint8_t* palette,
                                 const std::vector<uint8_t>& pixels) {
    std::vector<uint8_t> bytes(16 + 1024 + pixels.size());
    const int32_t header[4] = {w, h, bpp, 1};
    for (int i = 0; i < 4; ++i)
        for (int b = 0; b < 4; ++b)
            bytes[size_t(4 * i + b)] = uint8_t(uint32_t(header[i]) >> (8 * b));
    std::memcpy(bytes.data() + 16, palette, 1024);
    std::memcpy(bytes.data() + 1040, pixels.data(), pixels.size());
    return bytes;
}

} // namespace

TEST(Palette, EntriesEightToFifteenTradePlacesWithSixteenToTwentyThree) {
    EXPECT_EQ(palette_reorder_index(8), 16);
    EXPECT_EQ(palette_reorder_index(15), 23);
    EXPECT_EQ(palette_reorder_index(16), 8);
    EXPECT_EQ(palette_reorder_index(23), 15);
    EXPECT_EQ(palette_reorder_index(40), 48);
    EXPECT_EQ(palette_reorder_index(255), 255);
    for (int i : {0, 7, 24, 31, 32, 39, 56, 231})
        EXPECT_EQ(palette_reorder_index(i), i) << i;
    for (int i = 0; i < 256; ++i)
        EXPECT_EQ(palette_reorder_index(palette_reorder_index(i)), i);

    uint8_t stored[1024], out[1024];
    for (int i = 0; i < 256; ++i)
        for (int c = 0; c < 4; ++c)
            stored[4 * i + c] = uint8_t(i + c);
    palette_reorder(stored, out);
    EXPECT_EQ(out[4 * 9], 17);
    EXPECT_EQ(out[4 * 9 + 3], 20);
    EXPECT_EQ(out[4 * 17], 9);
    EXPECT_EQ(out[4 * 5], 5);
}

TEST(Checker, SixteenSquaresOfFourTexelsStartingLight) {
    std::vector<uint8_t> t(64 * 64 * 4);
    checker_texels(t.data());
    auto grey = [&](int row, int col) { return t[size_t(4 * (row * 64 + col))]; };
    EXPECT_EQ(grey(0, 0), 200);
    EXPECT_EQ(grey(3, 3), 200);
    EXPECT_EQ(grey(0, 4), 55);
    EXPECT_EQ(grey(4, 0), 55);
    EXPECT_EQ(grey(4, 4), 200);
    EXPECT_EQ(grey(63, 63), 200);
    EXPECT_EQ(grey(63, 59), 55);
    int light = 0;
    for (int i = 0; i < 64 * 64; ++i) {
        EXPECT_EQ(t[size_t(4 * i)], t[size_t(4 * i + 1)]);
        EXPECT_EQ(t[size_t(4 * i)], t[size_t(4 * i + 2)]);
        EXPECT_EQ(t[size_t(4 * i + 3)], 255);
        light += t[size_t(4 * i)] == 200;
    }
    EXPECT_EQ(light, 64 * 64 / 2);
    white_texels(t.data());
    for (uint8_t b : t)
        ASSERT_EQ(b, 255);
}

TEST(ColourPicture, ReorderedPaletteAndFlippedRows) {
    uint8_t palette[1024] = {};
    for (int i = 0; i < 256; ++i) {
        palette[4 * i] = uint8_t(i);
        palette[4 * i + 3] = 255;
    }
    // 2 x 2: stored rows (8, 1) then (2, 16).
    const std::vector<uint8_t> pixels = {8, 1, 2, 16};
    const std::vector<uint8_t> bytes = make_record(2, 2, 8, palette, pixels);
    HeldImage image;
    ASSERT_TRUE(held_image_parse(bytes.data(), int64_t(bytes.size()), &image));
    uint8_t texels[16];
    ASSERT_TRUE(colour_picture_texels(image, texels));
    // Texture row 0 is the last stored row; index 16 reads stored entry 8 and back.
    EXPECT_EQ(texels[0], 2);
    EXPECT_EQ(texels[4], 8);
    EXPECT_EQ(texels[8], 16);
    EXPECT_EQ(texels[12], 1);

    const std::vector<uint8_t> wide = make_record(2, 1, 8, palette, {1, 2});
    ASSERT_TRUE(held_image_parse(wide.data(), int64_t(wide.size()), &image));
    EXPECT_FALSE(colour_picture_texels(image, texels)); // not square
}

TEST(FontTexels, WhiteWithCoverageInAlphaRowsAsStored) {
    uint8_t palette[1024] = {};
    for (int i = 0; i < 256; ++i) {
        palette[4 * i] = 10;
        palette[4 * i + 3] = uint8_t(i);
    }
    const std::vector<uint8_t> bytes = make_record(2, 2, 8, palette, {8, 0, 0, 16});
    HeldImage image;
    ASSERT_TRUE(held_image_parse(bytes.data(), int64_t(bytes.size()), &image));
    uint8_t texels[16];
    ASSERT_TRUE(font_texels(image, texels));
    EXPECT_EQ(texels[0], 255);
    EXPECT_EQ(texels[3], 16);
    EXPECT_EQ(texels[7], 0);
    EXPECT_EQ(texels[15], 8);
}

TEST(HeldImage, RejectsShortOrForeignRecords) {
    uint8_t palette[1024] = {};
    std::vector<uint8_t> bytes = make_record(4, 4, 8, palette, std::vector<uint8_t>(16));
    HeldImage image;
    EXPECT_TRUE(held_image_parse(bytes.data(), int64_t(bytes.size()), &image));
    EXPECT_FALSE(held_image_parse(bytes.data(), int64_t(bytes.size()) - 1, &image));
    EXPECT_FALSE(held_image_parse(bytes.data(), 20, &image));
    EXPECT_FALSE(held_image_parse(nullptr, 0, &image));
    bytes = make_record(4, 4, 24, palette, std::vector<uint8_t>(48));
    EXPECT_FALSE(held_image_parse(bytes.data(), int64_t(bytes.size()), &image));
    bytes = make_record(-4, 4, 8, palette, std::vector<uint8_t>(16));
    EXPECT_FALSE(held_image_parse(bytes.data(), int64_t(bytes.size()), &image));
}

namespace {

// A 256 x 256 sheet, background index 0, with a second background index 3 at (0, 126).
struct Sheet {
    std::vector<uint8_t> pixels = std::vector<uint8_t>(256 * 256, 0);
    uint8_t palette[1024] = {};
    void ink(int x0, int x1, int y0, int y1, uint8_t index = 9) {
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x)
                pixels[size_t(y * 256 + x)] = index;
    }
    HeldImage image() const {
        HeldImage h;
        h.width = h.height = 256;
        h.bitsPerPixel = 8;
        h.palette = palette;
        h.pixels = pixels.data();
        return h;
    }
};

int cell_left(int k) {
    return 10 * (k % 25);
}
int cell_top(int k) {
    return 18 * (k / 25);
}

} // namespace

TEST(GlyphTable, RightEdgeIsTheFirstEmptyColumnPlusOne) {
    Sheet s;
    s.pixels[126 * 256] = 3;
    s.ink(1, 3, 2, 12);                                  // "!": columns 1..3
    s.ink(cell_left(1) + 1, cell_left(1) + 2, 0, 0);     // '"': two blocks with a gap:
    s.ink(cell_left(1) + 4, cell_left(1) + 5, 0, 0);     // the gap ends the glyph
    s.ink(cell_left(2) + 1, cell_left(2) + 10, 16, 16);  // ink on row top + 16 counts
    s.ink(cell_left(3) + 1, cell_left(3) + 6, 17, 17);   // row top + 17 does not
    s.ink(cell_left(4) + 1, cell_left(4) + 5, 0, 10, 3); // second background index
    s.ink(cell_left(180) + 1, cell_left(180) + 10, cell_top(180), cell_top(180) + 5);
    s.ink(cell_left(181) + 1, cell_left(181) + 4, cell_top(181), cell_top(181) + 5);
    Glyph g[GLYPH_SLOTS];
    ASSERT_TRUE(glyph_table_build(s.image(), g));

    EXPECT_EQ(g[0].width, 5.0f); // r = 4, r' = 5
    EXPECT_EQ(g[0].advance, 5.0f);
    EXPECT_EQ(g[0].height, 16.0f);
    EXPECT_FLOAT_EQ(g[0].uRight, 5.0f / 256);
    EXPECT_FLOAT_EQ(g[0].vBottom, 16.0f / 256);
    EXPECT_EQ(g[1].width, 4.0f);
    EXPECT_FLOAT_EQ(g[1].uLeft, 10.0f / 256);
    EXPECT_EQ(g[2].width, 13.0f); // no empty column: r = left + 12
    EXPECT_EQ(g[3].width, 2.0f);  // first column already empty
    EXPECT_EQ(g[4].width, 2.0f);
    // Cells above 173 are 18 high and end at left + 10 at most.
    EXPECT_EQ(g[180].width, 10.0f);
    EXPECT_EQ(g[180].height, 18.0f);
    EXPECT_FLOAT_EQ(g[180].vTop, float(cell_top(180)) / 256);
    EXPECT_FLOAT_EQ(g[180].vBottom, float(cell_top(180) + 18) / 256);
    EXPECT_EQ(g[181].width, 6.0f);
    // Cell 173 is still a short one.
    EXPECT_EQ(g[173].height, 16.0f);
    EXPECT_EQ(g[211].width, 0.0f);
}

TEST(GlyphTable, TooSmallASheetIsRefused) {
    Sheet s;
    HeldImage h = s.image();
    h.height = 150;
    Glyph g[GLYPH_SLOTS];
    EXPECT_FALSE(glyph_table_build(h, g));
}

TEST(GlyphTable, HeldFontSheetKeepsTheCellLayout) {
    const HeldImage& sheet = held_font_sheet();
    ASSERT_EQ(sheet.width, 256);
    ASSERT_EQ(sheet.height, 256);
    Glyph g[GLYPH_SLOTS];
    ASSERT_TRUE(glyph_table_build(sheet, g));
    // Printable ASCII all have ink and end inside their cell.
    for (int k = 0; k < 94; ++k) {
        EXPECT_GE(g[k].width, 3.0f) << char(k + 33);
        EXPECT_LE(g[k].width, 11.0f) << char(k + 33);
    }
    EXPECT_LT(g['!' - 33].width, g['W' - 33].width);
    EXPECT_LT(g['i' - 33].width, g['m' - 33].width);
    const HeldImage& picture = held_colour_picture();
    EXPECT_EQ(picture.width, 256);
    EXPECT_EQ(picture.height, 256);
}

TEST(TextLayout, SpacesMoveThePenAndDrawNothing) {
    Glyph g[GLYPH_SLOTS] = {};
    g['A' - 33] = Glyph{0, 0, 0.1f, 0.1f, 7, 16, 7};
    g['B' - 33] = Glyph{0, 0, 0.1f, 0.1f, 5, 16, 5};
    GlyphQuad q[8];
    int n = -1;
    EXPECT_EQ(glyph_layout(g, 6, "   ", 10, 20, q, 8, &n), 28);
    EXPECT_EQ(n, 0);
    EXPECT_EQ(glyph_layout(g, 6, "A B", 10, 20, q, 8, &n), 10 + 7 + 6 + 5);
    ASSERT_EQ(n, 2);
    EXPECT_EQ(q[0].x0, 10.0f);
    EXPECT_EQ(q[0].x1, 17.0f);
    EXPECT_EQ(q[0].y1, 36.0f);
    EXPECT_EQ(q[1].x0, 23.0f);
    EXPECT_EQ(q[1].slot, 'B' - 33);
    // Control characters have no glyph.
    EXPECT_EQ(glyph_layout(g, 6, "\tA", 0, 0, q, 8, &n), 7);
    EXPECT_EQ(n, 1);
}

TEST(StretchRamp, RedThroughGreenToBlue) {
    float c[3];
    stretch_colour(0, c);
    EXPECT_FLOAT_EQ(c[0], 1);
    EXPECT_FLOAT_EQ(c[1], 0);
    stretch_colour(0.25f, c);
    EXPECT_FLOAT_EQ(c[0], 0.5f);
    EXPECT_FLOAT_EQ(c[1], 0.5f);
    EXPECT_FLOAT_EQ(c[2], 0);
    stretch_colour(0.5f, c);
    EXPECT_FLOAT_EQ(c[0], 0);
    EXPECT_FLOAT_EQ(c[1], 1);
    EXPECT_FLOAT_EQ(c[2], 0);
    stretch_colour(0.75f, c);
    EXPECT_FLOAT_EQ(c[1], 0.5f);
    EXPECT_FLOAT_EQ(c[2], 0.5f);
    stretch_colour(1, c);
    EXPECT_FLOAT_EQ(c[0], 0);
    EXPECT_FLOAT_EQ(c[1], 0);
    EXPECT_FLOAT_EQ(c[2], 1);
}

TEST(EdgeColours, SelectionShownDuringTheDrag) {
    float c[3], w;
    edge_style(FLAG_UNSELECTED, false, c, &w);
    EXPECT_EQ(w, 1.0f);
    EXPECT_FLOAT_EQ(c[0], 0);
    EXPECT_FLOAT_EQ(c[1], 1.3f);
    edge_style(FLAG_UNSELECTED, true, c, &w);
    EXPECT_FLOAT_EQ(c[0], 1.3f);
    edge_style(FLAG_UNSELECTED | FLAG_SEAM, true, c, &w);
    EXPECT_EQ(w, 2.0f);
    EXPECT_FLOAT_EQ(c[0], 1);
    EXPECT_FLOAT_EQ(c[2], 0);
    edge_style(FLAG_SELECTED, false, c, &w);
    EXPECT_FLOAT_EQ(c[0], 1.5f);
    EXPECT_FLOAT_EQ(c[1], 0.64f);
    edge_style(FLAG_SELECTED | FLAG_SEAM, false, c, &w);
    EXPECT_FLOAT_EQ(c[0], 1);
    EXPECT_FLOAT_EQ(c[1], 0);
    EXPECT_FLOAT_EQ(c[2], 1);
    // A selected seam about to be deselected is red already.
    edge_style(FLAG_SELECTED | FLAG_PICK_REMOVE | FLAG_SEAM, false, c, &w);
    EXPECT_FLOAT_EQ(c[0], 1);
    EXPECT_FLOAT_EQ(c[2], 0);
    // An automatic cut has a colour of its own, unless it is selected.
    float seam[3], plain[3], cut[3];
    edge_style(FLAG_UNSELECTED | FLAG_SEAM, false, seam, &w);
    edge_style(FLAG_UNSELECTED, false, plain, &w);
    edge_style(FLAG_UNSELECTED | FLAG_AUTO_CUT, false, cut, &w);
    EXPECT_EQ(w, 2.0f);
    for (const float* other : {seam, plain})
        EXPECT_FALSE(cut[0] == other[0] && cut[1] == other[1] && cut[2] == other[2]);
    edge_style(FLAG_SELECTED | FLAG_AUTO_CUT, false, c, &w);
    EXPECT_FLOAT_EQ(c[0], 1.5f);
    // An unselected edge about to be added shows selected.
    EXPECT_TRUE(shown_selected(FLAG_UNSELECTED | FLAG_PICK_ADD));
    EXPECT_FALSE(shown_selected(FLAG_SELECTED | FLAG_PICK_ADD));
    EXPECT_FALSE(shown_selected(FLAG_UNSELECTED));
}
