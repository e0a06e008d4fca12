#include "support/edge_table.h"

#include "support/guarded_alloc.h"
#include "support/require.h"

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <queue>
#include <utility>
#include <vector>

namespace {

EdgeTable g_table = {};
// Hash numbers continue across rebuilds.
int g_next_hash_number = 0;

// Ring path working state that the next ring path resets.
std::vector<TableEdge*> g_touched_edges;
std::vector<TableFace*> g_touched_faces;
std::vector<TableVert*> g_touched_verts;

template <typename T> T* new_record() {
    T* record = static_cast<T*>(std::calloc(1, sizeof(T)));
    SUPPORT_REQUIRE(record, "edge table: out of memory for a record");
    return record;
}

TableEdgeLookup& lookup_slot(TableVert* vert1) {
    if (!g_table.lookup) {
        g_table.lookup = static_cast<TableEdgeLookup*>(
            mem_calloc(EDGE_TABLE_LOOKUP_SLOTS * sizeof(TableEdgeLookup), "hashedgetab"));
        SUPPORT_REQUIRE(g_table.lookup, "edge table: out of memory for the lookup table");
    }
    return g_table.lookup[vert1->hashNumber % EDGE_TABLE_LOOKUP_SLOTS];
}

void order_by_address(TableVert*& p, TableVert*& q) {
    if (std::less<TableVert*>()(q, p))
        std::swap(p, q);
}

TableVert* vert_of(int index) {
    if (index < 0 || index >= g_table.indexCount)
        return nullptr;
    return g_table.index[index];
}

int edge_slots(const TableFace* f) {
    return f->corners[3] ? 4 : 3;
}

} // namespace

EdgeTable& edge_table() {
    return g_table;
}

void edge_table_build_verts(int n) {
    if (n < 0)
        n = 0;
    g_table.index = static_cast<TableVert**>(std::calloc(size_t(n) + 1, sizeof(TableVert*)));
    SUPPORT_REQUIRE(g_table.index, "edge table: out of memory for the index array");
    g_table.indexCount = n;
    for (int i = 0; i < n; i++) {
        auto* v = new_record<TableVert>();
        v->index = i;
        v->hashNumber = g_next_hash_number;
        g_next_hash_number = (g_next_hash_number + 1) % EDGE_TABLE_LOOKUP_SLOTS;
        dlist_append(&g_table.verts, v);
        g_table.index[i] = v;
    }
}

void edge_table_build_faces(int faceCount, EdgeTableFaceFn faceCorners, const void* context) {
    for (int f = 0; f < faceCount; f++) {
        const int* corners = nullptr;
        int n = faceCorners(context, f, &corners);
        if (n > 4)
            return;
        if (n < 3)
            continue;
        TableVert* v[4] = {};
        bool complete = true;
        for (int k = 0; k < n; k++) {
            v[k] = vert_of(corners[k]);
            complete = complete && v[k];
        }
        if (complete)
            edge_table_add_face(v[0], v[1], v[2], v[3]);
    }
}

TableEdge* edge_table_find_edge(TableVert* p, TableVert* q) {
    if (!p || !q)
        return nullptr;
    order_by_address(p, q);
    TableEdgeLookup& slot = lookup_slot(p);
    for (TableEdgeLookup* l = &slot; l; l = l->next) {
        if (l->edge && l->edge->vert1 == p && l->edge->vert2 == q)
            return l->edge;
    }
    return nullptr;
}

TableEdge* edge_table_add_edge(TableVert* p, TableVert* q) {
    if (p == q || !p || !q)
        return nullptr;
    if (TableEdge* found = edge_table_find_edge(p, q))
        return found;
    order_by_address(p, q);
    auto* e = new_record<TableEdge>();
    e->vert1 = p;
    e->vert2 = q;
    dlist_append(&g_table.edges, e);
    TableEdgeLookup& slot = lookup_slot(p);
    if (!slot.edge) {
        slot.edge = e;
    } else {
        e->lookup.edge = e;
        e->lookup.next = slot.next;
        slot.next = &e->lookup;
    }
    return e;
}

TableFace* edge_table_add_face(TableVert* a, TableVert* b, TableVert* c, TableVert* d) {
    TableEdge* e1 = edge_table_add_edge(a, b);
    TableEdge* e2 = edge_table_add_edge(b, c);
    TableEdge* e3 = d ? edge_table_add_edge(c, d) : edge_table_add_edge(c, a);
    TableEdge* e4 = d ? edge_table_add_edge(d, a) : nullptr;
    if (a == b || b == c || a == c || !e2)
        return nullptr;
    // A null edge in any other slot means a repeated corner; such a face cannot be walked.
    if (!e1 || !e3 || (d && !e4))
        return nullptr;
    auto* f = new_record<TableFace>();
    f->corners[0] = a;
    f->corners[1] = b;
    f->corners[2] = c;
    f->corners[3] = d;
    f->edges[0] = e1;
    f->edges[1] = e2;
    f->edges[2] = e3;
    f->edges[3] = e4;
    f->ordinal = g_table.faceCount++;
    dlist_append(&g_table.faces, f);
    for (int k = 0; k < edge_slots(f); k++) {
        TableEdge* e = f->edges[k];
        TableFaceUse* use = &f->uses[k];
        use->face = f;
        if (e->lastUse)
            e->lastUse->next = use;
        else
            e->firstUse = use;
        e->lastUse = use;
        e->faceCount++;
    }
    return f;
}

void edge_table_clear() {
    auto free_list = [](DList& list) {
        DLink* l = list.first;
        while (l) {
            DLink* next = l->next;
            std::free(l);
            l = next;
        }
        list.first = list.last = nullptr;
    };
    free_list(g_table.faces);
    free_list(g_table.edges);
    free_list(g_table.verts);
    if (g_table.lookup)
        mem_free(g_table.lookup);
    g_table.lookup = nullptr;
    std::free(g_table.index);
    g_table.index = nullptr;
    g_table.indexCount = 0;
    g_table.faceCount = 0;
    g_table.source = 0;
    g_touched_edges.clear();
    g_touched_faces.clear();
    g_touched_verts.clear();
}

// The ring path. The walk repeats passes over the face list in list order until a pass
// changes nothing; a face only acts once one of its edges is reached. Instead of rescanning
// the mesh, faces are queued when one of their edges becomes reached: into the pass under way
// when they lie ahead of the face being handled, into the next pass otherwise. This visits the
// same faces in the same order as the passes would, at a cost that follows the ring.
namespace {

struct RingWalk {
    using Entry = std::pair<int, TableFace*>; // ordinal, face
    std::priority_queue<Entry, std::vector<Entry>, std::greater<Entry>> thisPass, nextPass;
    int position = -1; // ordinal of the face being handled

    static bool walkable(const TableFace* f) {
        if (!f->corners[3] || f->done)
            return false;
        for (TableEdge* e : f->edges) {
            if (e->faceCount > 2)
                return false;
        }
        return true;
    }

    static void touch(TableEdge* e) {
        if (!e->touched) {
            e->touched = true;
            g_touched_edges.push_back(e);
        }
    }

    void reach(TableEdge* e) {
        if (e->reached)
            return;
        e->reached = 1;
        touch(e);
        for (TableFaceUse* u = e->firstUse; u; u = u->next) {
            TableFace* f = u->face;
            if (f->queued || !walkable(f))
                continue;
            f->queued = true;
            g_touched_faces.push_back(f);
            (f->ordinal > position ? thisPass : nextPass).push({f->ordinal, f});
        }
    }

    static void mark(TableEdge* e) {
        if (e->marked)
            return;
        e->marked = 1;
        touch(e);
        for (TableVert* v : {e->vert1, e->vert2}) {
            if (v->markedEdges++ == 0)
                g_touched_verts.push_back(v);
        }
    }

    // Marks the unreached edges of the faces around x that touch an already marked edge.
    static void spread(TableEdge* x) {
        TableFace* previous = nullptr;
        for (TableFaceUse* u = x->firstUse; u; u = u->next) {
            TableFace* f = u->face;
            if (f == previous)
                continue;
            previous = f;
            int slots = edge_slots(f), reachedCount = 0;
            bool anyMarked = false;
            for (int k = 0; k < slots; k++) {
                reachedCount += f->edges[k]->reached ? 1 : 0;
                anyMarked = anyMarked || f->edges[k]->marked;
            }
            if (reachedCount != 2 || anyMarked)
                continue;
            for (int k = 0; k < slots; k++) {
                TableEdge* e = f->edges[k];
                if (!e->reached && (e->vert1->markedEdges > 0 || e->vert2->markedEdges > 0))
                    mark(e);
            }
        }
    }

    void handle(TableFace* f) {
        TableEdge** e = f->edges;
        if (e[0]->reached) {
            reach(e[2]);
            f->done = 1;
            spread(e[0]);
        } else if (e[1]->reached) {
            reach(e[3]);
            f->done = 1;
            spread(e[1]);
        }
        if (e[2]->reached) {
            reach(e[0]);
            f->done = 1;
            spread(e[2]);
        }
        if (e[3]->reached) {
            reach(e[1]);
            f->done = 1;
            spread(e[3]);
        }
    }

    void run() {
        for (;;) {
            if (thisPass.empty()) {
                if (nextPass.empty())
                    return;
                std::swap(thisPass, nextPass);
                position = -1;
            }
            TableFace* f = thisPass.top().second;
            thisPass.pop();
            position = f->ordinal;
            if (walkable(f))
                handle(f);
        }
    }
};

void reset_last_ring_path() {
    for (TableEdge* e : g_touched_edges) {
        e->reached = e->marked = 0;
        e->touched = false;
    }
    for (TableFace* f : g_touched_faces) {
        f->done = 0;
        f->queued = false;
    }
    for (TableVert* v : g_touched_verts)
        v->markedEdges = 0;
    g_touched_edges.clear();
    g_touched_faces.clear();
    g_touched_verts.clear();
}

} // namespace

void edge_table_ring_path(int a, int b, int c, int d, EdgeTableSelectFn select, void* context) {
    TableEdge* target = edge_table_find_edge(vert_of(a), vert_of(b));
    TableEdge* start = edge_table_find_edge(vert_of(c), vert_of(d));
    if (!target || !start)
        return;
    reset_last_ring_path();

    RingWalk walk;
    walk.reach(start);
    RingWalk::mark(target);
    walk.run();

    // Select in face list order, each face's marked edges in slot order.
    std::vector<TableFace*> faces;
    for (TableEdge* e : g_touched_edges) {
        if (!e->marked)
            continue;
        for (TableFaceUse* u = e->firstUse; u; u = u->next)
            faces.push_back(u->face);
    }
    std::sort(faces.begin(), faces.end(),
              [](const TableFace* x, const TableFace* y) { return x->ordinal < y->ordinal; });
    faces.erase(std::unique(faces.begin(), faces.end()), faces.end());
    for (TableFace* f : faces) {
        for (int k = 0; k < edge_slots(f); k++) {
            TableEdge* e = f->edges[k];
            if (e->marked)
                select(context, e->vert1->index, e->vert2->index);
        }
    }
}
