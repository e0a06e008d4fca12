#include "views/pass_inputs.h"

#include "document/mesh_document.h"

#include <vector>

namespace {

// Which mesh is loaded: its arrays are replaced whole on every load.
struct MeshIdentity {
    const void* vertices;
    const void* normals;
    const void* topology;
    int faceCount, vertexSlots, normalCount, edgeCount, uvCount, pad;
};

bool mesh_changed(const MeshDocument& doc, InputMemo& memo, size_t part) {
    const MeshIdentity id{doc.vertices.data(), doc.normals.data(), doc.topology().get(),
                          doc.faceCount,       doc.vertexSlots,    doc.normalCount,
                          doc.edgeCount,       doc.uvCount,        0};
    return memo.update(part, &id, sizeof(id));
}

bool uv_coordinates_changed(const MeshDocument& doc, InputMemo& memo, size_t part) {
    std::vector<float> uv(size_t(doc.uvCount) * 2);
    for (int i = 0; i < doc.uvCount; i++) {
        uv[size_t(2 * i)] = doc.uvs[size_t(i)].u;
        uv[size_t(2 * i + 1)] = doc.uvs[size_t(i)].v;
    }
    bool changed = memo.update(part, uv.data(), uv.size() * sizeof(float));
    changed |=
        memo.update(part + 1, doc.cornerUvs().data(), doc.cornerUvs().size() * sizeof(int32_t));
    return changed;
}

bool shades_changed(const MeshDocument& doc, InputMemo& memo, size_t part, bool showStretch) {
    std::vector<float> shade;
    if (showStretch)
        for (int f = 0; f < doc.faceCount; f++)
            shade.push_back(doc.faces[size_t(f)].stretchShade);
    const uint8_t on = showStretch ? 1 : 0;
    bool changed = memo.update(part, &on, 1);
    changed |= memo.update(part + 1, shade.data(), shade.size() * sizeof(float));
    return changed;
}

bool edge_flags_changed(const MeshDocument& doc, InputMemo& memo, size_t part, int anchorEdge) {
    std::vector<int32_t> flags(size_t(doc.edgeCount) + 1);
    for (int e = 0; e < doc.edgeCount; e++)
        flags[size_t(e)] = doc.edges[size_t(e)].flags;
    flags[size_t(doc.edgeCount)] = anchorEdge;
    return memo.update(part, flags.data(), flags.size() * sizeof(int32_t));
}

} // namespace

bool scene_face_inputs_changed(const MeshDocument& doc, InputMemo& memo, float textureRepeat,
                               bool showStretch) {
    bool changed = mesh_changed(doc, memo, 0);
    changed |= uv_coordinates_changed(doc, memo, 1);
    changed |= memo.update(3, &textureRepeat, sizeof(textureRepeat));
    changed |= shades_changed(doc, memo, 4, showStretch);
    return changed;
}

bool edge_inputs_changed(const MeshDocument& doc, InputMemo& memo, int anchorEdge) {
    bool changed = mesh_changed(doc, memo, 0);
    changed |= edge_flags_changed(doc, memo, 1, anchorEdge);
    return changed;
}

bool uv_inputs_changed(const MeshDocument& doc, InputMemo& memo, int anchorEdge, bool showStretch) {
    bool changed = edge_inputs_changed(doc, memo, anchorEdge);
    changed |= uv_coordinates_changed(doc, memo, 2);
    changed |= shades_changed(doc, memo, 4, showStretch);
    return changed;
}
