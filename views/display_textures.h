#pragma once

// stretch_colour: the ramp lives with the document, so that pictures drawn without GL use it.
#include "document/stretch_colour.h"

#include <cstdint>

// A held 8-bit palette image (the colour picture and the font sheet): four i32 words
// (width, height, bits per pixel, unused), 256 RGBA palette entries in stored order, then
// width x height palette indices row by row from the first stored row.
struct HeldImage {
    int32_t width = 0, height = 0, bitsPerPixel = 0, fourth = 0;
    const uint8_t* palette = nullptr; // 256 x 4 bytes
    const uint8_t* pixels = nullptr;  // width x height bytes
};

// Reads the record from bytes; false when it is short, not 8 bits, or of a bad size. The
// image points into the bytes.
bool held_image_parse(const uint8_t* data, int64_t size, HeldImage* out);

// The two images built into the program.
const HeldImage& held_colour_picture();
const HeldImage& held_font_sheet();

// Within each block of 32 entries, entries 8..15 and 16..23 change places (bits 3 and 4 of
// the index swapped): the stored palettes are kept in that order.
int palette_reorder_index(int index);
void palette_reorder(const uint8_t stored[1024], uint8_t out[1024]);

// Texels, RGBA8 row by row from texture row 0.
constexpr int DISPLAY_TEXTURE_SIZE = 64;
void white_texels(uint8_t out[64 * 64 * 4]);
void checker_texels(uint8_t out[64 * 64 * 4]);
// width x height x 4 bytes; the picture is flipped (stored row r becomes row size-1-r) and
// must be square.
bool colour_picture_texels(const HeldImage& image, uint8_t* out);
// White with the coverage in alpha; rows as stored.
bool font_texels(const HeldImage& image, uint8_t* out);

// GL textures (current context): white, checker, colour picture, in that order.
void build_display_textures(unsigned* white, unsigned* checker, unsigned* colourNumbers);
