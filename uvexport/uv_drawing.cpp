#include "document/mesh_document.h"
#include "document/stretch_colour.h"
#include "uvexport/uv_layout.h"

#include <algorithm>
#include <cstdint>
#include <unordered_map>

namespace {

// The UV view draws plain edges (1.3, 1.3, 1.3) clamped to white, seams red at twice the width
// and the integer grid lines in (0, 0.2, 0.7).
constexpr UvStyle EDGE_STYLE = {{255, 255, 255}, 1.0f};
constexpr UvStyle BORDER_STYLE = {{255, 255, 255}, 2.0f};
constexpr UvStyle SEAM_STYLE = {{255, 0, 0}, 2.0f};
constexpr UvStyle SQUARE_STYLE = {{0, 51, 179}, 2.0f};

uint64_t pair_key(int a, int b) {
    if (a > b)
        std::swap(a, b);
    return (uint64_t(uint32_t(a)) << 32) | uint32_t(b);
}

unsigned char channel(float c) {
    return (unsigned char)(std::clamp(c, 0.0f, 1.0f) * 255.0f + 0.5f);
}

} // namespace

// The UV view's background is the checker (55 and 200) at 0.7: this grey is its mean, dark
// enough for the white edges to show.
const unsigned char UV_BACKGROUND[3] = {89, 89, 89};

UvStyle uv_line_style(UvLineKind kind) {
    switch (kind) {
    case UvLineKind::Border:
        return BORDER_STYLE;
    case UvLineKind::Seam:
        return SEAM_STYLE;
    case UvLineKind::Edge:
        break;
    }
    return EDGE_STYLE;
}

UvStyle uv_square_style() {
    return SQUARE_STYLE;
}

UvDrawing uv_drawing_of(const MeshDocument& doc, bool stretchFills) {
    UvDrawing out;
    auto valid_uv = [&](int i) { return i >= 0 && i < doc.uvCount; };
    // Each UV edge once: how many face sides use it, and whether its mesh edge is a seam.
    struct Use {
        int count;
        int first, second;
        bool seam;
    };
    std::unordered_map<uint64_t, Use> uses;
    std::vector<uint64_t> order;
    for (int f = 0; f < doc.faceCount; f++) {
        const MeshFace& face = doc.faces[size_t(f)];
        const int n = face.cornerCount;
        bool complete = n >= 3;
        for (int k = 0; k < n && complete; k++)
            complete = valid_uv(face.uvIndices[k]);
        if (!complete)
            continue;
        if (stretchFills) {
            UvFill fill;
            float rgb[3];
            stretch_colour(face.stretchShade, rgb);
            for (int c = 0; c < 3; c++)
                fill.rgb[c] = channel(rgb[c]);
            for (int k = 0; k < n; k++) {
                fill.uv.push_back(doc.uvs[size_t(face.uvIndices[k])].u);
                fill.uv.push_back(doc.uvs[size_t(face.uvIndices[k])].v);
            }
            out.fills.push_back(std::move(fill));
        }
        for (int k = 0; k < n; k++) {
            const int ua = face.uvIndices[k == 0 ? n - 1 : k - 1], ub = face.uvIndices[k];
            const int e = face.edgeIndices[k];
            const bool seam =
                e >= 0 && e < doc.edgeCount && (doc.edges[size_t(e)].flags & FLAG_SEAM);
            const uint64_t key = pair_key(ua, ub);
            auto [it, added] = uses.try_emplace(key, Use{0, ua, ub, false});
            if (added)
                order.push_back(key);
            it->second.count++;
            it->second.seam = it->second.seam || seam;
        }
    }
    for (UvLineKind kind : {UvLineKind::Edge, UvLineKind::Border, UvLineKind::Seam}) {
        for (uint64_t key : order) {
            const Use& use = uses[key];
            UvLineKind k = use.seam ? UvLineKind::Seam
                                    : (use.count == 1 ? UvLineKind::Border : UvLineKind::Edge);
            if (k != kind)
                continue;
            const UvPoint& a = doc.uvs[size_t(use.first)];
            const UvPoint& b = doc.uvs[size_t(use.second)];
            out.lines.push_back({{a.u, a.v}, {b.u, b.v}, k});
        }
    }
    return out;
}
