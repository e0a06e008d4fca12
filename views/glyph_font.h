#pragma once

#include <cstdint>

#include "views/display_textures.h"

// Glyph entry: uLeft, vTop, uRight, vBottom, width, height, advance (pixels).
struct Glyph {
    float uLeft, vTop, uRight, vBottom;
    float width, height, advance;
};

constexpr int GLYPH_SLOTS = 224;
constexpr int GLYPH_CELLS = 211;

// Glyph table of a font sheet of 10 x 18 cells, 25 per row; cell k holds character k + 33.
// Slots past the 211 cells stay zero. False when the sheet is too small for the cells.
bool glyph_table_build(const HeldImage& sheet, Glyph out[GLYPH_SLOTS]);

class GlyphFont {
public:
    static GlyphFont& instance(); // builds the texture: needs a current context

    // Text at (x, y) (top-left, pixels, y down) in a target area of the given half sizes;
    // colour 0xRRGGBB. The caller sets texturing, blending and alpha test.
    void drawText(const char* text, int x, int y, uint32_t colour, float halfWidth,
                  float halfHeight);

    unsigned texture = 0;
    Glyph glyphs[GLYPH_SLOTS] = {};
    int32_t cellHeight = 18;
    int32_t cellWidth = 10;
    int32_t spaceAdvance = 6;
    int32_t sheetWidth = 256, sheetHeight = 256;

private:
    GlyphFont();
};

// Quads drawText would emit, in pixels: x0, y0, x1, y1 and glyph slot per character drawn.
// Returns the pen's end x. Spaces move the pen; bytes without a glyph are skipped.
struct GlyphQuad {
    float x0, y0, x1, y1;
    int slot;
};
int glyph_layout(const Glyph glyphs[GLYPH_SLOTS], int spaceAdvance, const char* text, int x, int y,
                 GlyphQuad* quads, int maxQuads, int* quadCount);
