#pragma once

#include "document/mesh_types.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

class MeshDocument;
struct FaceTopology;
struct UnwrapResult;

// An array cut into fixed-size chunks that snapshots share when their content is equal, so a
// history of 40 snapshots that differ in a few selection flags costs little more than one.
template <typename T> class SharedChunks {
public:
    static constexpr size_t CHUNK = 4096;

    // Copies data[0..n); chunks equal to the same chunk of `like` are shared with it.
    void capture(const T* data, size_t n, const SharedChunks* like) {
        chunks_.clear();
        size_ = n;
        for (size_t start = 0, i = 0; start < n; start += CHUNK, i++) {
            size_t len = std::min(CHUNK, n - start);
            if (like && i < like->chunks_.size() && like->chunks_[i]->size() == len &&
                std::memcmp(like->chunks_[i]->data(), data + start, len * sizeof(T)) == 0) {
                chunks_.push_back(like->chunks_[i]);
            } else {
                chunks_.push_back(
                    std::make_shared<const std::vector<T>>(data + start, data + start + len));
            }
        }
    }
    size_t size() const { return size_; }
    const T& operator[](size_t i) const { return (*chunks_[i / CHUNK])[i % CHUNK]; }
    void copyTo(T* out) const {
        for (const auto& c : chunks_) {
            std::memcpy(out, c->data(), c->size() * sizeof(T));
            out += c->size();
        }
    }
    std::vector<T> toVector() const {
        std::vector<T> v(size_);
        copyTo(v.data());
        return v;
    }
    // Bytes held by chunks not shared with `other` (for memory accounting in tests).
    size_t chunkCount() const { return chunks_.size(); }
    const void* chunkId(size_t i) const { return chunks_[i].get(); }

private:
    std::vector<std::shared_ptr<const std::vector<T>>> chunks_;
    size_t size_ = 0;
};

// One recorded state of the editable part of the document: UV points, the faces' UV indices,
// edge flags and the anchor edge. The per-face arrays that never change after a load (vertex,
// normal, edge and neighbour indices) and the edges' ends are shared with the document.
// Stretch, shade and chart numbers are not kept: every restore recomputes them.
class UndoSnapshot {
public:
    int faceCount = 0;
    int uvCount = 0;
    int edgeCount = 0;
    int id = 0;
    int anchorEdge = -1;
    UndoSnapshot* next = nullptr; // newer
    UndoSnapshot* prev = nullptr; // older

    int cornerCount(int face) const;
    const int32_t* vertexIndices(int face) const;
    int32_t uvIndex(int face, int corner) const;
    const UvPoint& uv(int i) const { return uvs_[size_t(i)]; }
    // vertexA, vertexB and flags; the two bytes are 0.
    MeshEdge edge(int i) const;

    const SharedChunks<UvPoint>& uvArray() const { return uvs_; }
    const SharedChunks<int32_t>& cornerUvArray() const { return cornerUv_; }
    const SharedChunks<int32_t>& edgeFlagArray() const { return edgeFlags_; }
    const std::shared_ptr<FaceTopology>& topology() const { return topo_; }

private:
    friend class UndoHistory;
    std::shared_ptr<FaceTopology> topo_;
    SharedChunks<UvPoint> uvs_;
    SharedChunks<int32_t> cornerUv_;
    SharedChunks<int32_t> edgeFlags_;
};

// Up to 40 snapshots of the document; undo and redo move along them and restore one. Reached
// through instance() for the process-wide document; tests may make their own.
class UndoHistory {
public:
    static constexpr int LIMIT = 40;

    static UndoHistory& instance();
    explicit UndoHistory(MeshDocument& doc);
    ~UndoHistory();
    UndoHistory(const UndoHistory&) = delete;
    UndoHistory& operator=(const UndoHistory&) = delete;

    // Records the document after the current snapshot; newer snapshots are lost.
    void push();
    void undo();
    void redo();
    // Destroys every snapshot; ids keep counting.
    void clear();
    // clear() and ids start again at 0.
    void reset();

    bool contains(int id) const;
    const UndoSnapshot* find(int id) const;
    int currentId() const { return current_ ? current_->id : -1; }
    const UndoSnapshot* current() const { return current_; }
    const UndoSnapshot* first() const { return first_; }
    int nextId() const { return nextId_; }
    int size() const;

    // Writes an engine result into the snapshot with that id and every newer one; true when
    // the current snapshot was among them.
    bool applyResult(int id, const UnwrapResult& result);

private:
    void capture(UndoSnapshot& s, const UndoSnapshot* like);
    void restore(const UndoSnapshot& s);
    void destroyAfter(UndoSnapshot* s);

    MeshDocument& doc_;
    int nextId_ = 0;
    UndoSnapshot* first_ = nullptr;
    UndoSnapshot* current_ = nullptr;
    int afterFirst_ = 0; // snapshots after first_
};

// The rule that puts an engine result into a UV list and the faces' corner UV indices: every
// point (u, v) unselected; per fan triangle, corners 0 and 1 from a face's first triangle and
// corner l+1 from triangle l, each point unselected plus pinned where the engine says so.
void apply_unwrap_result(const UnwrapResult& result, const FaceTopology& topo,
                         std::vector<UvPoint>& uvs, int32_t* cornerUv);
