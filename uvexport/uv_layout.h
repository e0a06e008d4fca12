#pragma once

#include <string>
#include <vector>

class MeshDocument;

// A picture of a document's UV layout for texture painters: the unit square, every UV edge,
// chart borders and seams in the UV view's colours, and optionally every face filled with its
// stretch colour. Written as SVG text or as a PNG image of size x size pixels that spans the
// unit square exactly (u to the right, v up).

enum class UvLineKind {
    Edge,   // an edge inside a chart: thin, white
    Border, // a chart's border that is not a seam (an open edge of the mesh): thick, white
    Seam,   // a seam: thick, red
};

struct UvLine {
    float a[2], b[2]; // UV
    UvLineKind kind;
};

struct UvFill {
    std::vector<float> uv; // the face's corners, u and v in turn
    unsigned char rgb[3];
};

struct UvDrawing {
    std::vector<UvFill> fills; // empty unless stretch colours were asked for
    std::vector<UvLine> lines; // each UV edge once, edges first, then borders, then seams
};

// Colours and widths (in pixels of the picture) of what is drawn.
struct UvStyle {
    unsigned char rgb[3];
    float width;
};
UvStyle uv_line_style(UvLineKind kind);
UvStyle uv_square_style();                   // the unit square's outline: the UV view's blue
extern const unsigned char UV_BACKGROUND[3]; // inside the unit square

// The faces' stretch shades must be current (MeshDocument::computeStretch) when fills are
// asked for. UV edges of faces whose corners name no UV point are left out.
UvDrawing uv_drawing_of(const MeshDocument& doc, bool stretchFills);

// The picture's text and pixels (RGB, rows from the top).
std::string uv_svg_text(const UvDrawing& drawing, int size);
void uv_png_pixels(const UvDrawing& drawing, int size, std::vector<unsigned char>& rgb);

enum class UvPictureFormat { Svg, Png };

// The format named by the path's extension (.svg or .png, any case); false for others.
bool uv_picture_format_of(const std::string& path, UvPictureFormat* format);

// Writes the picture of the document to path in the format of its extension. Sizes from 16
// to 16384 pixels. False with a reason when the path names no known format or cannot be
// written.
bool export_uv_layout(const MeshDocument& doc, const std::string& path, int size, bool stretchFills,
                      std::string* error);

constexpr int UV_PICTURE_DEFAULT_SIZE = 1024;
constexpr int UV_PICTURE_MIN_SIZE = 16;
constexpr int UV_PICTURE_MAX_SIZE = 16384;
