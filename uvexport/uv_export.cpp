#include "document/mesh_document.h"
#include "uvexport/uv_layout.h"
#include "uvexport/uv_png_file.h"

#include <cctype>
#include <cstdio>
#include <memory>

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

bool ends_with_nocase(const std::string& s, const char* suffix) {
    std::string t(suffix);
    if (s.size() < t.size())
        return false;
    for (size_t i = 0; i < t.size(); i++)
        if (std::tolower((unsigned char)s[s.size() - t.size() + i]) != t[i])
            return false;
    return true;
}

bool write_text(const std::string& path, const std::string& text, std::string* error) {
    File f(std::fopen(path.c_str(), "wb"));
    if (!f) {
        *error = path + " cannot be opened for writing";
        return false;
    }
    if (std::fwrite(text.data(), 1, text.size(), f.get()) != text.size() ||
        std::fclose(f.release()) != 0) {
        *error = path + " could not be written completely";
        return false;
    }
    return true;
}

} // namespace

bool uv_picture_format_of(const std::string& path, UvPictureFormat* format) {
    if (ends_with_nocase(path, ".svg")) {
        *format = UvPictureFormat::Svg;
        return true;
    }
    if (ends_with_nocase(path, ".png")) {
        *format = UvPictureFormat::Png;
        return true;
    }
    return false;
}

bool export_uv_layout(const MeshDocument& doc, const std::string& path, int size, bool stretchFills,
                      std::string* error) {
    std::string ignored;
    if (!error)
        error = &ignored;
    UvPictureFormat format;
    if (!uv_picture_format_of(path, &format)) {
        *error = path + " does not end in .svg or .png";
        return false;
    }
    if (size < UV_PICTURE_MIN_SIZE || size > UV_PICTURE_MAX_SIZE) {
        *error = "the picture size must be between 16 and 16384 pixels";
        return false;
    }
    UvDrawing drawing = uv_drawing_of(doc, stretchFills);
    if (format == UvPictureFormat::Svg)
        return write_text(path, uv_svg_text(drawing, size), error);
    std::vector<unsigned char> rgb;
    uv_png_pixels(drawing, size, rgb);
    return uv_write_png_file(path, size, size, rgb, error);
}
