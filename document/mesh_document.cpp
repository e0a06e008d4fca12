#include "document/mesh_document.h"

#include "document/engine_options.h"
#include "support/edge_table.h"

#include <cmath>

EngineOptions& engine_options() {
    static EngineOptions options;
    return options;
}

DocumentViewHooks& document_view_hooks() {
    static DocumentViewHooks hooks;
    return hooks;
}

MeshDocument& MeshDocument::instance() {
    // Never destroyed: other singletons may still reach it at exit.
    static MeshDocument* doc = new MeshDocument();
    return *doc;
}

MeshDocument::MeshDocument() = default;

void MeshDocument::clear() {
    releaseEngineWorkingSets();
    if (holdsEdgeTable())
        edge_table_clear();
    edgeTableTag_ = 0;
    selection_.drop();
    faces = {};
    vertices = {};
    filePositions = {};
    normals = {};
    uvs = {};
    edges = {};
    uvBackup = {};
    liveTriVertices = {};
    liveTriUvs = {};
    topo_.reset();
    cornerUv_ = {};
    cornerCapacity_ = 0;
    edgeSlots_ = {};
    edgeSlotMask_ = 0;
    faceCount = uvCount = normalCount = edgeCount = triangleCount = chartCount = 0;
    vertexSlots = 1;
    anchorEdge = pathEndEdge = pathNextEdge = -1;
    liveBusy = 0;
}

void MeshDocument::reserve(int vertexCount, int faceCountIn, int normalCountIn, int texCoordCount,
                           int64_t cornerHint) {
    clear();
    faces.reserve(size_t(faceCountIn) + 1);
    vertices.reserve(size_t(vertexCount) + 1);
    vertices.push_back(Vec3{0, 0, 0}); // slot 0, never used
    filePositions.reserve(size_t(vertexCount) + 1);
    normals.reserve(size_t(normalCountIn) + 1);
    uvs.reserve(size_t(texCoordCount) + 1);
    topo_ = std::make_shared<FaceTopology>();
    topo_->cornerStart.reserve(size_t(faceCountIn) + 1);
    topo_->cornerStart.push_back(0);
    if (cornerHint > 0)
        growCornerPools(cornerHint);
}

void MeshDocument::addVertex(float x, float y, float z) {
    if (vertices.empty())
        vertices.push_back(Vec3{0, 0, 0});
    vertices.push_back(Vec3{x, y, z});
    filePositions.resize(vertices.size() - 1);
    filePositions.push_back(Vec3{x, y, z});
    vertexSlots++;
}

void MeshDocument::addNormal(float x, float y, float z) {
    normals.push_back(Vec3{x, y, z});
    normalCount++;
}

void MeshDocument::addUv(float u, float v) {
    uvs.push_back(UvPoint{u, v, FLAG_UNSELECTED});
    uvCount++;
}

void MeshDocument::growCornerPools(int64_t needed) {
    if (!topo_) {
        topo_ = std::make_shared<FaceTopology>();
        topo_->cornerStart.push_back(0);
    }
    if (needed <= cornerCapacity_)
        return;
    int64_t capacity = cornerCapacity_ ? cornerCapacity_ : 64;
    while (capacity < needed)
        capacity *= 2;
    if (cornerCapacity_ == 0 && needed > 64)
        capacity = needed; // a known total: no slack
    for (auto* pool : {&topo_->vertex, &topo_->normal, &topo_->edge, &topo_->neighbour})
        pool->reserve(size_t(capacity));
    cornerUv_.reserve(size_t(capacity));
    cornerCapacity_ = capacity;
    pointFacesAtPools();
}

void MeshDocument::pointFacesAtPools() {
    if (!topo_)
        return;
    for (int f = 0; f < int(faces.size()); f++) {
        size_t start = size_t(topo_->cornerStart[size_t(f)]);
        MeshFace& face = faces[size_t(f)];
        face.vertexIndices = topo_->vertex.data() + start;
        face.normalIndices = topo_->normal.data() + start;
        face.uvIndices = cornerUv_.data() + start;
        face.edgeIndices = topo_->edge.data() + start;
        face.neighbourFaces = topo_->neighbour.data() + start;
    }
}

void MeshDocument::addFace(int cornerCount, const int32_t* vertexIdx, const int32_t* uvIdx,
                           const int32_t* normalIdx) {
    if (cornerCount < 0)
        cornerCount = 0;
    int64_t start = cornerTotal();
    growCornerPools(start + cornerCount);
    for (int k = 0; k < cornerCount; k++) {
        topo_->vertex.push_back(vertexIdx ? vertexIdx[k] : 0);
        topo_->normal.push_back(normalIdx ? normalIdx[k] : 0);
        topo_->edge.push_back(-1);
        topo_->neighbour.push_back(-1);
        cornerUv_.push_back(uvIdx ? uvIdx[k] : 0);
    }
    topo_->cornerStart.push_back(int32_t(start + cornerCount));
    MeshFace face = {};
    face.chart = -1;
    face.cornerCount = cornerCount;
    face.vertexIndices = topo_->vertex.data() + start;
    face.normalIndices = topo_->normal.data() + start;
    face.uvIndices = cornerUv_.data() + start;
    face.edgeIndices = topo_->edge.data() + start;
    face.neighbourFaces = topo_->neighbour.data() + start;
    faces.push_back(face);
    faceCount++;
}

void MeshDocument::computeFaceNormals() {
    normalCount = faceCount;
    normals.assign(size_t(faceCount) + 1, Vec3{0, 0, 0});
    for (int i = 0; i < faceCount; i++) {
        MeshFace& f = faces[size_t(i)];
        normals[size_t(i)] = faceNormal(i);
        for (int k = 0; k < f.cornerCount; k++)
            f.normalIndices[k] = i;
    }
}

Vec3 MeshDocument::faceNormal(int face) const {
    auto unit = [](Vec3 d) {
        float len = std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z);
        return Vec3{d.x / len, d.y / len, d.z / len};
    };
    auto position = [this](int index) {
        return index > 0 && index < vertexSlots ? vertices[size_t(index)] : Vec3{0, 0, 0};
    };
    const MeshFace& f = faces[size_t(face)];
    if (f.cornerCount < 3)
        return Vec3{0, 0, 0};
    Vec3 p0 = position(f.vertexIndices[0]);
    Vec3 p1 = position(f.vertexIndices[1]);
    Vec3 p2 = position(f.vertexIndices[2]);
    Vec3 a = unit(Vec3{p1.x - p0.x, p1.y - p0.y, p1.z - p0.z});
    Vec3 b = unit(Vec3{p1.x - p2.x, p1.y - p2.y, p1.z - p2.z});
    // b x a, deliberately not normalised again.
    Vec3 n{b.y * a.z - b.z * a.y, b.z * a.x - b.x * a.z, b.x * a.y - b.y * a.x};
    // Coinciding corners give NaN, which the file could not hold: the reader refuses
    // non-finite normals, so the written file would no longer load.
    if (!std::isfinite(n.x) || !std::isfinite(n.y) || !std::isfinite(n.z))
        return Vec3{0, 0, 0};
    return n;
}
