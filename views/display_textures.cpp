#include "views/display_textures.h"

#include <GL/gl.h>

#include <cstring>
#include <vector>

namespace {

int32_t read_i32(const uint8_t* p) {
    return int32_t(uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 |
                   uint32_t(p[3]) << 24);
}

unsigned upload(int size, const uint8_t* texels, GLint filter) {
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, size, size, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels);
    return name;
}

} // namespace

bool held_image_parse(const uint8_t* data, int64_t size, HeldImage* out) {
    if (!data || size < 16 + 1024)
        return false;
    HeldImage image;
    image.width = read_i32(data);
    image.height = read_i32(data + 4);
    image.bitsPerPixel = read_i32(data + 8);
    image.fourth = read_i32(data + 12);
    if (image.bitsPerPixel != 8 || image.width <= 0 || image.height <= 0 || image.width > 4096 ||
        image.height > 4096)
        return false;
    if (size - 16 - 1024 < int64_t(image.width) * image.height)
        return false;
    image.palette = data + 16;
    image.pixels = data + 16 + 1024;
    *out = image;
    return true;
}

int palette_reorder_index(int index) {
    const int b3 = (index >> 3) & 1, b4 = (index >> 4) & 1;
    return (index & ~0x18) | (b3 << 4) | (b4 << 3);
}

void palette_reorder(const uint8_t stored[1024], uint8_t out[1024]) {
    for (int i = 0; i < 256; ++i)
        std::memcpy(out + 4 * i, stored + 4 * palette_reorder_index(i), 4);
}

void white_texels(uint8_t out[64 * 64 * 4]) {
    std::memset(out, 255, 64 * 64 * 4);
}

void checker_texels(uint8_t out[64 * 64 * 4]) {
    for (int i = 0; i < 64; ++i)
        for (int j = 0; j < 64; ++j) {
            uint8_t* t = out + 4 * (i * 64 + j);
            const uint8_t grey = (((i >> 2) ^ (j >> 2)) & 1) ? 55 : 200;
            t[0] = t[1] = t[2] = grey;
            t[3] = 255;
        }
}

bool colour_picture_texels(const HeldImage& image, uint8_t* out) {
    if (!image.pixels || image.width != image.height)
        return false;
    uint8_t palette[1024];
    palette_reorder(image.palette, palette);
    const int size = image.height;
    for (int r = 0; r < size; ++r) {
        const uint8_t* src = image.pixels + int64_t(r) * size;
        uint8_t* dst = out + int64_t(size - 1 - r) * size * 4;
        for (int c = 0; c < size; ++c)
            std::memcpy(dst + 4 * c, palette + 4 * src[c], 4);
    }
    return true;
}

bool font_texels(const HeldImage& image, uint8_t* out) {
    if (!image.pixels)
        return false;
    uint8_t palette[1024];
    palette_reorder(image.palette, palette);
    const int64_t count = int64_t(image.width) * image.height;
    for (int64_t p = 0; p < count; ++p) {
        uint8_t* t = out + 4 * p;
        t[0] = t[1] = t[2] = 255;
        t[3] = palette[4 * image.pixels[p] + 3];
    }
    return true;
}

void build_display_textures(unsigned* white, unsigned* checker, unsigned* colourNumbers) {
    std::vector<uint8_t> texels(64 * 64 * 4);
    white_texels(texels.data());
    *white = upload(64, texels.data(), GL_NEAREST);
    checker_texels(texels.data());
    *checker = upload(64, texels.data(), GL_NEAREST);
    const HeldImage& picture = held_colour_picture();
    texels.assign(size_t(picture.width) * picture.height * 4, 0);
    *colourNumbers = 0;
    if (colour_picture_texels(picture, texels.data()))
        *colourNumbers = upload(picture.width, texels.data(), GL_LINEAR);
}
