#include "uvexport/uv_png_file.h"

#include <png.h>

#include <cstdio>
#include <memory>

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// libpng reports failures by long jump: nothing that needs a destructor may live between the
// set-up and the jump target, so the rows and the file are owned by the caller.
bool write_png_rows(std::FILE* f, int width, int height, const std::vector<unsigned char>& rgb) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!png)
        return false;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, f);
    png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int j = 0; j < height; j++)
        png_write_row(png, &rgb[size_t(j) * size_t(width) * 3]);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

} // namespace

bool uv_write_png_file(const std::string& path, int width, int height,
                       const std::vector<unsigned char>& rgb, std::string* error) {
    File f(std::fopen(path.c_str(), "wb"));
    if (!f) {
        *error = path + " cannot be opened for writing";
        return false;
    }
    if (!write_png_rows(f.get(), width, height, rgb) || std::fclose(f.release()) != 0) {
        *error = path + " could not be written completely";
        return false;
    }
    return true;
}
