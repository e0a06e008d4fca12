#include "uvexport/uv_layout.h"

#include <charconv>
#include <cstdio>

namespace {

// Numbers in the picture's pixels with three decimals, whatever the process locale says.
void put_number(std::string& out, float value) {
    char buf[32];
    auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, 3);
    out.append(buf, r.ptr);
}

void put_point(std::string& out, const float uv[2], int size) {
    put_number(out, uv[0] * float(size));
    out += ' ';
    put_number(out, (1.0f - uv[1]) * float(size));
}

std::string hex_colour(const unsigned char rgb[3]) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "#%02x%02x%02x", rgb[0], rgb[1], rgb[2]);
    return buf;
}

void put_path(std::string& out, const UvDrawing& drawing, UvLineKind kind, const char* id,
              int size) {
    UvStyle style = uv_line_style(kind);
    out += "<path id=\"";
    out += id;
    out += "\" fill=\"none\" stroke=\"" + hex_colour(style.rgb) + "\" stroke-width=\"";
    put_number(out, style.width);
    out += "\" stroke-linecap=\"round\" d=\"";
    bool first = true;
    for (const UvLine& line : drawing.lines) {
        if (line.kind != kind)
            continue;
        out += first ? "M" : " M";
        first = false;
        put_point(out, line.a, size);
        out += " L";
        put_point(out, line.b, size);
    }
    out += "\"/>\n";
}

} // namespace

std::string uv_svg_text(const UvDrawing& drawing, int size) {
    std::string out;
    const std::string s = std::to_string(size);
    out += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    out += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + s + "\" height=\"" + s +
           "\" viewBox=\"0 0 " + s + " " + s + "\">\n";
    UvStyle square = uv_square_style();
    out += "<rect id=\"square\" x=\"0\" y=\"0\" width=\"" + s + "\" height=\"" + s + "\" fill=\"" +
           hex_colour(UV_BACKGROUND) + "\" stroke=\"" + hex_colour(square.rgb) +
           "\" stroke-width=\"";
    put_number(out, square.width);
    out += "\"/>\n";
    out += "<g id=\"stretch\" stroke=\"none\">\n";
    for (const UvFill& fill : drawing.fills) {
        out += "<polygon fill=\"" + hex_colour(fill.rgb) + "\" points=\"";
        for (size_t k = 0; k + 1 < fill.uv.size(); k += 2) {
            if (k > 0)
                out += ' ';
            put_point(out, &fill.uv[k], size);
        }
        out += "\"/>\n";
    }
    out += "</g>\n";
    put_path(out, drawing, UvLineKind::Edge, "edges", size);
    put_path(out, drawing, UvLineKind::Border, "borders", size);
    put_path(out, drawing, UvLineKind::Seam, "seams", size);
    out += "</svg>\n";
    return out;
}
