#include "document/undo_history.h"

#include "document/mesh_document.h"
#include "document/unwrap_result.h"

UndoHistory& UndoHistory::instance() {
    // Never destroyed, like the document it records.
    static UndoHistory* history = new UndoHistory(MeshDocument::instance());
    return *history;
}

UndoHistory::UndoHistory(MeshDocument& doc) : doc_(doc) {
    if (!doc.history)
        doc.history = this;
}

UndoHistory::~UndoHistory() {
    clear();
    if (doc_.history == this)
        doc_.history = nullptr;
}

int UndoSnapshot::cornerCount(int face) const {
    return topo_->cornerStart[size_t(face) + 1] - topo_->cornerStart[size_t(face)];
}

const int32_t* UndoSnapshot::vertexIndices(int face) const {
    return topo_->vertex.data() + topo_->cornerStart[size_t(face)];
}

int32_t UndoSnapshot::uvIndex(int face, int corner) const {
    return cornerUv_[size_t(topo_->cornerStart[size_t(face)]) + size_t(corner)];
}

MeshEdge UndoSnapshot::edge(int i) const {
    return MeshEdge{topo_->edgeEnds[2 * size_t(i)], topo_->edgeEnds[2 * size_t(i) + 1],
                    edgeFlags_[size_t(i)], 0, 0};
}

void UndoHistory::capture(UndoSnapshot& s, const UndoSnapshot* like) {
    MeshDocument& d = doc_;
    if (!d.topo_)
        d.growCornerPools(0);
    s.faceCount = d.faceCount;
    s.uvCount = d.uvCount;
    s.edgeCount = d.edgeCount;
    s.anchorEdge = d.anchorEdge;
    s.topo_ = d.topo_;
    if (like && like->topo_ != s.topo_)
        like = nullptr;
    s.uvs_.capture(d.uvs.data(), size_t(d.uvCount), like ? &like->uvs_ : nullptr);
    s.cornerUv_.capture(d.cornerUv_.data(), d.cornerUv_.size(), like ? &like->cornerUv_ : nullptr);
    std::vector<int32_t> flags(size_t(d.edgeCount));
    for (int e = 0; e < d.edgeCount; e++)
        flags[size_t(e)] = d.edges[size_t(e)].flags;
    s.edgeFlags_.capture(flags.data(), flags.size(), like ? &like->edgeFlags_ : nullptr);
}

void UndoHistory::restore(const UndoSnapshot& s) {
    MeshDocument& d = doc_;
    bool sameMesh = d.topo_ == s.topo_;
    d.topo_ = s.topo_;
    d.uvCount = s.uvCount;
    d.faceCount = s.faceCount;
    d.edgeCount = s.edgeCount;
    d.anchorEdge = s.anchorEdge;
    d.uvs = s.uvs_.toVector();
    d.cornerUv_ = s.cornerUv_.toVector();
    d.cornerCapacity_ = int64_t(d.cornerUv_.size());
    d.faces.resize(size_t(s.faceCount));
    for (MeshFace& f : d.faces)
        f = MeshFace{0, 0, -1, 0, nullptr, nullptr, nullptr, nullptr, nullptr};
    for (int f = 0; f < s.faceCount; f++)
        d.faces[size_t(f)].cornerCount = s.cornerCount(f);
    d.pointFacesAtPools();
    d.edges.resize(size_t(s.edgeCount));
    for (int e = 0; e < s.edgeCount; e++)
        d.edges[size_t(e)] = s.edge(e);
    if (!sameMesh) {
        d.buildEdgeLookup();
        d.edgeTableTag_ = MeshDocument::nextEdgeTableTag();
    }
    d.labelCharts();
    d.computeStretch();
}

void UndoHistory::destroyAfter(UndoSnapshot* s) {
    UndoSnapshot* n = s ? s->next : first_;
    while (n) {
        UndoSnapshot* next = n->next;
        delete n;
        afterFirst_--;
        n = next;
    }
    if (s)
        s->next = nullptr;
}

void UndoHistory::push() {
    auto* s = new UndoSnapshot();
    s->id = nextId_++;
    if (!current_) {
        // An empty chain (a chain always has a current snapshot when it has any).
        capture(*s, nullptr);
        first_ = current_ = s;
        afterFirst_ = 0;
        return;
    }
    destroyAfter(current_); // redo is lost
    s->prev = current_;
    current_->next = s;
    capture(*s, current_);
    current_ = s;
    afterFirst_++;
    if (afterFirst_ == LIMIT) {
        UndoSnapshot* old = first_;
        first_ = old->next;
        first_->prev = nullptr;
        delete old;
        afterFirst_--;
    }
}

void UndoHistory::undo() {
    if (!current_)
        return;
    if (current_->prev)
        current_ = current_->prev;
    restore(*current_);
}

void UndoHistory::redo() {
    if (!current_)
        return;
    if (current_->next)
        current_ = current_->next;
    restore(*current_);
}

void UndoHistory::clear() {
    UndoSnapshot* s = first_;
    while (s) {
        UndoSnapshot* next = s->next;
        delete s;
        s = next;
    }
    first_ = current_ = nullptr;
    afterFirst_ = 0;
}

void UndoHistory::reset() {
    clear();
    nextId_ = 0;
}

const UndoSnapshot* UndoHistory::find(int id) const {
    for (const UndoSnapshot* s = first_; s; s = s->next) {
        if (s->id == id)
            return s;
    }
    return nullptr;
}

bool UndoHistory::contains(int id) const {
    return find(id) != nullptr;
}

int UndoHistory::size() const {
    return first_ ? afterFirst_ + 1 : 0;
}

bool UndoHistory::applyResult(int id, const UnwrapResult& result) {
    UndoSnapshot* s = const_cast<UndoSnapshot*>(find(id));
    if (!s)
        return false;
    bool currentRewritten = false;
    const UndoSnapshot* like = nullptr;
    for (; s; s = s->next) {
        std::vector<UvPoint> uvs;
        std::vector<int32_t> cornerUv = s->cornerUv_.toVector();
        apply_unwrap_result(result, *s->topo_, uvs, cornerUv.data());
        // Every rewritten snapshot gets the same table: later ones share the first's chunks.
        s->uvs_.capture(uvs.data(), uvs.size(), like ? &like->uvs_ : nullptr);
        s->cornerUv_.capture(cornerUv.data(), cornerUv.size(), like ? &like->cornerUv_ : nullptr);
        s->uvCount = result.uvCount;
        like = s;
        currentRewritten = currentRewritten || s == current_;
    }
    return currentRewritten;
}
