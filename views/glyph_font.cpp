#include "views/glyph_font.h"

#include <GL/gl.h>

#include <cstddef>
#include <vector>

namespace {

constexpr int CELL_W = 10, CELL_H = 18, CELLS_PER_ROW = 25;

} // namespace

bool glyph_table_build(const HeldImage& sheet, Glyph out[GLYPH_SLOTS]) {
    for (int i = 0; i < GLYPH_SLOTS; ++i)
        out[i] = Glyph{0, 0, 0, 0, 0, 0, 0};
    const int lastRowTop = CELL_H * ((GLYPH_CELLS - 1) / CELLS_PER_ROW);
    // The scan reads up to column left + 10 of the last cell of a row, row 126 for the
    // second background index, and rows top .. top + 16 of the last row of cells.
    if (!sheet.pixels || sheet.width < CELL_W * CELLS_PER_ROW + 1 || sheet.height < 127 ||
        sheet.height < lastRowTop + CELL_H)
        return false;
    const int w = sheet.width;
    const float sw = float(sheet.width), sh = float(sheet.height);
    const uint8_t bg0 = sheet.pixels[0];
    const uint8_t bg1 = sheet.pixels[126 * w]; // column 0, row 126
    for (int k = 0; k < GLYPH_CELLS; ++k) {
        const int left = CELL_W * (k % CELLS_PER_ROW);
        const int top = CELL_H * (k / CELLS_PER_ROW);
        int r = left + 12;
        for (int x = left + 1; x <= left + 10; ++x) {
            bool empty = true;
            for (int y = top; y <= top + 16 && empty; ++y) {
                const uint8_t p = sheet.pixels[y * w + x];
                empty = p == bg0 || p == bg1;
            }
            if (empty) {
                r = x;
                break;
            }
        }
        const bool tall = k > 173;
        const int rr = (tall && r > left + 10) ? left + 10 : r + 1;
        const int height = tall ? 18 : 16;
        Glyph& g = out[k];
        g.uLeft = float(left) / sw;
        g.vTop = float(top) / sh;
        g.uRight = float(rr) / sw;
        g.vBottom = float(top + height) / sh;
        g.width = float(rr - left);
        g.height = float(height);
        g.advance = float(rr - left);
    }
    return true;
}

int glyph_layout(const Glyph glyphs[GLYPH_SLOTS], int spaceAdvance, const char* text, int x, int y,
                 GlyphQuad* quads, int maxQuads, int* quadCount) {
    int n = 0;
    float pen = float(x);
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); p && *p; ++p) {
        if (*p == ' ') {
            pen += float(spaceAdvance);
            continue;
        }
        const int slot = int(*p) - 33;
        if (slot < 0 || slot >= GLYPH_CELLS)
            continue; // no glyph: never drawn by the program's own texts
        const Glyph& g = glyphs[slot];
        if (n < maxQuads)
            quads[n] = GlyphQuad{pen, float(y), pen + g.width, float(y) + g.height, slot};
        ++n;
        pen += g.advance;
    }
    if (quadCount)
        *quadCount = n;
    return int(pen);
}

GlyphFont& GlyphFont::instance() {
    static GlyphFont* font = new GlyphFont();
    return *font;
}

GlyphFont::GlyphFont() {
    const HeldImage& sheet = held_font_sheet();
    sheetWidth = sheet.width;
    sheetHeight = sheet.height;
    glyph_table_build(sheet, glyphs);
    std::vector<uint8_t> texels(std::size_t(sheet.width) * sheet.height * 4);
    if (!font_texels(sheet, texels.data()))
        return;
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, sheet.width, sheet.height, 0, GL_RGBA,
                 GL_UNSIGNED_BYTE, texels.data());
    texture = name;
}

void GlyphFont::drawText(const char* text, int x, int y, uint32_t colour, float halfWidth,
                         float halfHeight) {
    if (halfWidth <= 0 || halfHeight <= 0)
        return;
    GlyphQuad quads[128];
    int count = 0;
    glyph_layout(glyphs, spaceAdvance, text, x, y, quads, 128, &count);
    if (count > 128)
        count = 128;
    // Channels are 0 or 255 and alpha 2: the pipeline clamps them to fully on or off.
    glColor4f(float((colour >> 16) & 0xff), float((colour >> 8) & 0xff), float(colour & 0xff),
              2.0f);
    glBindTexture(GL_TEXTURE_2D, texture);
    glBegin(GL_QUADS);
    for (int i = 0; i < count; ++i) {
        const Glyph& g = glyphs[quads[i].slot];
        const float x0 = (quads[i].x0 - halfWidth) / halfWidth;
        const float x1 = (quads[i].x1 - halfWidth) / halfWidth;
        const float y0 = (halfHeight - quads[i].y0) / halfHeight;
        const float y1 = (halfHeight - quads[i].y1) / halfHeight;
        glTexCoord2f(g.uLeft, g.vTop);
        glVertex3f(x0, y0, 0);
        glTexCoord2f(g.uRight, g.vTop);
        glVertex3f(x1, y0, 0);
        glTexCoord2f(g.uRight, g.vBottom);
        glVertex3f(x1, y1, 0);
        glTexCoord2f(g.uLeft, g.vBottom);
        glVertex3f(x0, y1, 0);
    }
    glEnd();
}
