#include "../document/doc_test_util.h"
#include "document/stretch_colour.h"
#include "uvexport/uv_layout.h"

#include <gtest/gtest.h>
#include <png.h>

#include <cstdio>
#include <unistd.h>

namespace {

// Two unit quads side by side in 3D, laid out apart in UV: the edge they share is a seam (its
// two sides have different UVs), the other six edges are chart borders.
//   left quad  u 0.25..0.5,   v 0.25..0.75
//   right quad u 0.625..0.875, v 0.25..0.75
const char* TWO_QUADS = "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nv 2 0 0\nv 2 1 0\n"
                        "vt 0.25 0.25\nvt 0.5 0.25\nvt 0.5 0.75\nvt 0.25 0.75\n"
                        "vt 0.625 0.25\nvt 0.875 0.25\nvt 0.875 0.75\nvt 0.625 0.75\n"
                        "f 1/1 2/2 3/3 4/4\nf 2/5 5/6 6/7 3/8\n";

// A quad split into two triangles: its diagonal is an edge inside the chart.
const char* SPLIT_QUAD = "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\n"
                         "vt 0.25 0.25\nvt 0.75 0.25\nvt 0.75 0.75\nvt 0.25 0.75\n"
                         "f 1/1 2/2 3/3\nf 1/1 3/3 4/4\n";

constexpr int SIZE = 64;

struct Rgb {
    int r, g, b;
    bool operator==(const Rgb&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Rgb& c) {
    return out << "(" << c.r << ", " << c.g << ", " << c.b << ")";
}

Rgb pixel(const std::vector<unsigned char>& rgb, int x, int y) {
    const unsigned char* p = &rgb[(size_t(y) * SIZE + size_t(x)) * 3];
    return {p[0], p[1], p[2]};
}

Rgb of(const unsigned char c[3]) {
    return {c[0], c[1], c[2]};
}

// Reads a PNG file back with libpng: its size, colour type and RGB rows.
bool read_png(const std::string& path, int* width, int* height, std::vector<unsigned char>& rgb) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return false;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        std::fclose(f);
        return false;
    }
    png_init_io(png, f);
    png_read_info(png, info);
    *width = int(png_get_image_width(png, info));
    *height = int(png_get_image_height(png, info));
    bool ok =
        png_get_color_type(png, info) == PNG_COLOR_TYPE_RGB && png_get_bit_depth(png, info) == 8;
    if (ok) {
        rgb.resize(size_t(*width) * size_t(*height) * 3);
        for (int y = 0; y < *height; y++)
            png_read_row(png, &rgb[size_t(y) * size_t(*width) * 3], nullptr);
        png_read_end(png, nullptr);
    }
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(f);
    return ok;
}

// Segments ("M x y L x y") in the d attribute of the path with the given id; -1 without it.
int count_segments(const std::string& svg, const char* id) {
    size_t at = svg.find(std::string("<path id=\"") + id + "\"");
    if (at == std::string::npos)
        return -1;
    size_t d = svg.find(" d=\"", at);
    size_t end = d == std::string::npos ? d : svg.find('"', d + 4);
    if (end == std::string::npos || end > svg.find('>', at))
        return -1;
    int n = 0;
    for (size_t k = d + 4; k < end; k++)
        n += svg[k] == 'M';
    return n;
}

TEST(UvDrawing, SortsEdgesIntoInnerEdgesBordersAndSeams) {
    struct Case {
        const char* name;
        const char* obj;
        int edges, borders, seams;
    };
    const Case cases[] = {
        {"two quads with a seam", TWO_QUADS, 0, 6, 2},
        {"split quad", SPLIT_QUAD, 1, 4, 0},
    };
    for (const Case& c : cases) {
        MeshDocument doc;
        ASSERT_TRUE(read_obj_text(doc, c.obj)) << c.name;
        UvDrawing d = uv_drawing_of(doc, false);
        int counts[3] = {0, 0, 0};
        for (const UvLine& line : d.lines)
            counts[int(line.kind)]++;
        EXPECT_EQ(counts[int(UvLineKind::Edge)], c.edges) << c.name;
        EXPECT_EQ(counts[int(UvLineKind::Border)], c.borders) << c.name;
        EXPECT_EQ(counts[int(UvLineKind::Seam)], c.seams) << c.name;
        EXPECT_TRUE(d.fills.empty()) << c.name;
        // Drawn in layers: inner edges, then borders, then seams on top.
        for (size_t i = 1; i < d.lines.size(); i++)
            EXPECT_LE(int(d.lines[i - 1].kind), int(d.lines[i].kind)) << c.name;
    }
}

TEST(UvPicture, PngPixelsShowTheSquareBordersSeamsAndStretch) {
    MeshDocument doc;
    ASSERT_TRUE(read_obj_text(doc, TWO_QUADS));
    doc.computeStretch();
    std::vector<unsigned char> rgb;
    uv_png_pixels(uv_drawing_of(doc, true), SIZE, rgb);
    const Rgb background = of(UV_BACKGROUND), white{255, 255, 255}, red{255, 0, 0};
    const Rgb blue = of(uv_square_style().rgb);
    float shade[3];
    stretch_colour(doc.faces[0].stretchShade, shade);
    const Rgb fill{int(shade[0] * 255 + 0.5f), int(shade[1] * 255 + 0.5f),
                   int(shade[2] * 255 + 0.5f)};
    // u = 0.25 is pixel column 16: a two-pixel border covers the columns 15 and 16; the seam at
    // u = 0.5 covers 31 and 32. v = 0.5 is row 32. The square's outline lies on the picture's
    // edge, so one column of it shows.
    struct Probe {
        int x, y;
        Rgb expected;
        const char* what;
    };
    const Probe probes[] = {
        {0, 32, blue, "unit square outline, left"},
        {63, 32, blue, "unit square outline, right"},
        {32, 0, blue, "unit square outline, top"},
        {1, 32, background, "inside the square, outside the charts"},
        {14, 32, background, "left of the left border"},
        {15, 32, white, "left border, outer column"},
        {16, 32, white, "left border, inner column"},
        {17, 32, fill, "left chart's stretch fill"},
        {31, 32, red, "seam, left side"},
        {32, 32, red, "seam, right side"},
        {36, 32, background, "between the charts"},
        {39, 32, red, "the seam's copy on the right chart"},
        {48, 32, fill, "right chart's stretch fill"},
        {24, 15, white, "top border of the left chart (v = 0.75 is row 16)"},
        {24, 48, white, "bottom border of the left chart"},
        {24, 50, background, "below the left chart"},
    };
    for (const Probe& p : probes)
        EXPECT_EQ(pixel(rgb, p.x, p.y), p.expected) << p.what << " at " << p.x << ", " << p.y;
}

TEST(UvPicture, SvgHoldsTheSquareFillsAndOnePathPerKindOfLine) {
    MeshDocument doc;
    ASSERT_TRUE(read_obj_text(doc, TWO_QUADS));
    doc.computeStretch();
    std::string svg = uv_svg_text(uv_drawing_of(doc, true), SIZE);
    EXPECT_EQ(svg.rfind("<?xml", 0), 0u);
    EXPECT_NE(svg.find("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"64\" height=\"64\" "
                       "viewBox=\"0 0 64 64\">"),
              std::string::npos);
    EXPECT_NE(svg.find("<rect id=\"square\" x=\"0\" y=\"0\" width=\"64\" height=\"64\" "
                       "fill=\"#595959\" stroke=\"#0033b3\""),
              std::string::npos);
    // v runs up in UV and down in the picture: the left chart's corners in pixels.
    EXPECT_NE(svg.find("points=\"16.000 48.000 32.000 48.000 32.000 16.000 16.000 16.000\""),
              std::string::npos);
    EXPECT_EQ(count_segments(svg, "edges"), 0);
    EXPECT_EQ(count_segments(svg, "borders"), 6);
    EXPECT_EQ(count_segments(svg, "seams"), 2);
    EXPECT_NE(
        svg.find("<path id=\"seams\" fill=\"none\" stroke=\"#ff0000\" stroke-width=\"2.000\""),
        std::string::npos);
    EXPECT_NE(svg.find("M32.000 48.000 L32.000 16.000"), std::string::npos);
    size_t polygons = 0;
    for (size_t at = svg.find("<polygon"); at != std::string::npos;
         at = svg.find("<polygon", at + 1))
        polygons++;
    EXPECT_EQ(polygons, 2u);
    EXPECT_EQ(svg.substr(svg.size() - 7), "</svg>\n");

    std::string plain = uv_svg_text(uv_drawing_of(doc, false), SIZE);
    EXPECT_EQ(plain.find("<polygon"), std::string::npos);
}

TEST(UvPicture, ExportWritesTheFormatOfTheExtensionAndRefusesOthers) {
    MeshDocument doc;
    ASSERT_TRUE(read_obj_text(doc, TWO_QUADS));
    std::string dir = temp_dir();
    std::string error;

    ASSERT_TRUE(export_uv_layout(doc, dir + "/layout.PNG", SIZE, false, &error)) << error;
    int w = 0, h = 0;
    std::vector<unsigned char> read, drawn;
    ASSERT_TRUE(read_png(dir + "/layout.PNG", &w, &h, read));
    EXPECT_EQ(w, SIZE);
    EXPECT_EQ(h, SIZE);
    uv_png_pixels(uv_drawing_of(doc, false), SIZE, drawn);
    EXPECT_TRUE(read == drawn) << "the file holds other pixels than were drawn";

    ASSERT_TRUE(export_uv_layout(doc, dir + "/layout.svg", SIZE, false, &error)) << error;
    EXPECT_EQ(file_text(dir + "/layout.svg"), uv_svg_text(uv_drawing_of(doc, false), SIZE));

    struct Refused {
        std::string path;
        int size;
    };
    const Refused refused[] = {
        {dir + "/layout.jpg", SIZE},
        {dir + "/layout", SIZE},
        {dir + "/layout.png", UV_PICTURE_MIN_SIZE - 1},
        {dir + "/layout.png", UV_PICTURE_MAX_SIZE + 1},
        {dir + "/no such folder/layout.png", SIZE},
    };
    for (const Refused& r : refused) {
        error.clear();
        EXPECT_FALSE(export_uv_layout(doc, r.path, r.size, false, &error)) << r.path;
        EXPECT_FALSE(error.empty()) << r.path;
    }
}

} // namespace
