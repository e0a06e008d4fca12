#pragma once

#include "document/engine_options.h"
#include "document/mesh_types.h"
#include "document/pick_geometry.h"
#include "document/selection_cache.h"

#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

struct UnwrapResult;
class UndoHistory;

// The per-corner arrays of every face that stay fixed from one load to the next. The document
// and all of its undo snapshots hold the same block, so a snapshot never copies them.
struct FaceTopology {
    std::vector<int32_t> cornerStart; // faceCount + 1 offsets into the corner arrays
    std::vector<int32_t> vertex;
    std::vector<int32_t> normal;
    std::vector<int32_t> edge;
    std::vector<int32_t> neighbour;
    std::vector<int32_t> edgeEnds; // vertexA, vertexB of every edge
};

// The one mesh being edited: positions, normals and UV points read from an OBJ file, the
// faces that index them, the edges derived from the faces, and the data derived for display
// and unwrapping (adjacency, charts, stretch). Reached through instance(); tests may make
// their own.
class MeshDocument {
public:
    static MeshDocument& instance();
    MeshDocument();
    MeshDocument(const MeshDocument&) = delete;
    MeshDocument& operator=(const MeshDocument&) = delete;

    // Drops every array and the engine's working sets; counts 0, vertexSlots 1.
    void clear();
    // clear(), then room for the file's counts. cornerHint, when known, sizes the corner
    // pools so that the face arrays never move while faces are added.
    void reserve(int vertexCount, int faceCount, int normalCount, int texCoordCount,
                 int64_t cornerHint = 0);
    void addVertex(float x, float y, float z);
    void addNormal(float x, float y, float z);
    void addUv(float u, float v);
    // Copies the three index lists (any may be null: zeros); edges are filled by
    // rebuildDerived, neighbours start at -1.
    void addFace(int cornerCount, const int32_t* vertexIdx, const int32_t* uvIdx,
                 const int32_t* normalIdx);

    // One normal per face, from its first three corners; every corner of face i gets normal i.
    void computeFaceNormals();
    // That normal for one face: (0, 0, 0) when its first three corners do not span a plane.
    Vec3 faceNormal(int face) const;
    // After every load: normalisation, edges, adjacency, file seams, charts, stretch, and the
    // engine's base working set. The edge table waits for the first edge loop that needs it.
    void rebuildDerived();
    // Chart numbers by flooding across edges whose two faces share both UV points; marks the
    // automatic cuts first.
    void labelCharts();
    // FLAG_AUTO_CUT on exactly the edges whose two faces do not share both UV points and that
    // are no seams.
    void markAutomaticCuts();
    // Stretch of every face and its shade within its chart.
    void computeStretch();
    // Stretch of one face (also used by the 3D pass while stretch display is on).
    float faceStretch(int face) const;

    // Reads an OBJ file; false (with one line on stderr) when it cannot be opened or holds
    // input outside the accepted subset. The document is then left cleared.
    bool load(const char* path);
    // Writes the document to target through a temporary file in the same folder and a rename.
    // False, leaving target as it was, when source is absent or the write fails; a failed write
    // puts its reason ("path: cannot write: why") on stderr and, when given, into *error.
    bool writeObj(const char* target, const char* source, std::string* error = nullptr) const;

    // Index of the edge joining vertices a and b (either order), or -1.
    int findEdge(int a, int b) const;

    // Selection (document/selection*.cpp). While a button is held the views' picks mark the
    // elements under their rectangle with pick bits; a commit at release turns them into
    // selection states and answers whether the selection changed (then the view pushes an
    // undo snapshot). A view passes its camera as it drew the last frame.
    //
    // Selected edges and UV points lose their selection, remembering it in FLAG_WAS_SELECTED;
    // with unpin the points lose their pins too. The edge version answers whether any edge
    // was selected.
    bool clearEdgeSelection();
    bool clearUvSelection(bool unpin);
    bool commitEdgePicks();
    bool commitUvPicks();
    // Key Q: both selections and every pin cleared and committed, no anchor; no snapshot.
    void deselectAll();
    // The 3D view's edge pick; answers whether its opening clear took a selected edge.
    bool pickEdges3d(const PickView& view, const int32_t rect[4], bool shift, bool ctrl,
                     bool single, bool force, bool keepAnchor, bool frontFacesOnly);
    // The UV view's edge pick through the faces' UV edges.
    void pickEdgesUv(const PickView& view, const int32_t rect[4], bool shift, bool ctrl,
                     bool keepAnchor);
    // UV points at (u, v) in the UV view, or at their corners' vertices in the 3D view.
    void pickUvPoints(const PickView& view, const int32_t rect[4], bool shift, bool ctrl,
                      bool force);
    void pickUvPointsByVertex(const PickView& view, const int32_t rect[4], bool shift, bool ctrl,
                              bool force);
    // Release in the edge-path mode: the first picked edge becomes the anchor, the next one
    // selects the shortest edge path from the anchor and becomes the anchor in turn.
    bool finishEdgePath();
    // After a double-click on an edge: the edge loop through it.
    bool selectEdgeLoop(bool shift);
    // After a double-click on a UV point: the border loop through it, or its whole island.
    bool selectUvBorderOrIsland(bool shift);
    // Every edge with ends a and b (either order) becomes selected.
    void selectEdgeByVertices(int a, int b);

    // Takes an engine result over into the UV points and faces' UV indices.
    void takeOverResult(const UnwrapResult& result);

    // Unwrap entry points (document/engine_calls.cpp). unwrapNow runs on the calling thread;
    // startLiveUnwrap runs on a worker thread, or queues the run while one is busy, and
    // onUnwrapDone takes the worker's result over when WM_UNWRAP_DONE arrives.
    void unwrapNow();
    void startLiveUnwrap(int snapshotId);
    void onUnwrapDone();
    // Waits for a running worker and takes its result over, then runs a queued request the
    // same way; their late WM_UNWRAP_DONE messages are ignored. Closing the window does this.
    void completeLiveUnwrap();
    // Waits for a running worker and drops its result; its late WM_UNWRAP_DONE is ignored.
    // Load and shutdown call this before they release the working sets.
    void waitForLiveUnwrap();
    // Builds the engine's run set from the snapshot with that id; false when there is none.
    bool buildRunSet(int snapshotId);
    // Writes the run set's result into the run's snapshot and every newer one, and into the
    // document when the current snapshot was among them; releases the run's triangle lists.
    void takeOverRun();
    void releaseEngineWorkingSets();
    void buildEngineBaseSet();

    // The shared per-corner block of the current load (null when nothing is loaded).
    const std::shared_ptr<FaceTopology>& topology() const { return topo_; }
    // UV index of every corner, in face and corner order (what a snapshot copies).
    std::vector<int32_t>& cornerUvs() { return cornerUv_; }
    const std::vector<int32_t>& cornerUvs() const { return cornerUv_; }
    int64_t cornerTotal() const { return int64_t(topo_ ? topo_->vertex.size() : 0); }

    // Edit operations (document/edit_seams.cpp, edit_relax.cpp, edit_uvs.cpp). They work on
    // the selection: a movable point is a UV point that is selected and not pinned. The bools
    // answer whether the window must repaint. UI thread only; none of them touches the engine's
    // run set while a worker holds it (liveBusy).
    //
    // Selected edges become seams (cut) or lose their seam (weld); when one changed, a snapshot
    // is pushed and a background unwrap of it started or queued.
    bool cutSelectedEdges();
    bool weldSelectedEdges();
    // Automatic seams (document/auto_seams.cpp): charts are made by the engine and the edges
    // between them become seams; the user's seams are kept. addAutomaticSeams works inside the
    // charts that hold a selected edge, or on the whole mesh when none is selected; when any
    // edge changed, a snapshot is pushed and a background unwrap started, as after a cut.
    // unwrapWithAutomaticSeams does the same on the whole mesh on the calling thread, with no
    // snapshot, and lays the mesh out at once (unwrapNow); it answers the seams added.
    bool addAutomaticSeams();
    int unwrapWithAutomaticSeams();
    // Pin every selected point (a snapshot when any is selected); unpin the selected pinned
    // ones (a snapshot when any changed). Neither unwraps.
    void pinSelected();
    void unpinSelected();
    // side 1 minimum U, 2 minimum V, 3 maximum U, 4 maximum V: the movable points get the
    // smallest or largest coordinate among them and the rest of their charts is solved around
    // them; one snapshot. False, changing nothing, when no point is movable or a worker runs.
    bool alignSelected(int side);
    // One pass: every movable point off the borders and seams moves 60 % of the way to the
    // mean of its neighbours, in point order. No snapshot.
    bool relaxSelected();
    // The pivot of rotate and scale drags: the mean of the movable points.
    bool computeSelectionCentre();
    void moveSelectionCentre(float du, float dv);
    // A UV drag: begin (false while a worker runs), any number of move, rotate and scale
    // steps, each re-solving the charts around the moved points, then end; after a rotate or
    // scale drag the caller drops the backup. The caller pushes the snapshot.
    bool beginUvDrag();
    bool moveSelected(float du, float dv);
    void rotateSelected(float dx, float dy);
    void scaleSelected(float dx, float dy);
    void endUvDrag();
    void dropUvBackup();
    // The live run's corner UVs, fan triangle by fan triangle, into the UV points that the
    // faces' corners name; flags and indices are left alone.
    void copyCornerUvsBack();
    // The history this document records into: its own, or the process-wide one for the
    // process-wide document.
    UndoHistory* undoHistory();

    // Fields, in the order of the record.
    uint8_t selCentreValid = 0;
    float selCentreU = 0, selCentreV = 0;
    float rotateAngle = 0;
    float scaleFactor = 1;
    int faceCount = 0;
    int vertexSlots = 1;
    int uvCount = 0;
    int normalCount = 0;
    int edgeCount = 0;
    int triangleCount = 0;
    std::vector<MeshFace> faces;
    std::vector<Vec3> vertices;
    // The positions exactly as read, same slots: what the writer gives back, so that a write
    // changes only texture coordinates and texture indices.
    std::vector<Vec3> filePositions;
    std::vector<Vec3> normals;
    std::vector<UvPoint> uvs;
    std::vector<MeshEdge> edges;
    int anchorEdge = -1;
    float centre[3] = {0, 0, 0};
    float radius = 0;
    int chartCount = 0;
    int liveSnapshotId = 0;
    std::thread liveThread;
    uint8_t liveBusy = 0;
    uint8_t liveRestartPending = 0;
    int liveRestartSnapshotId = 0;
    std::vector<UvPoint> uvBackup; // empty: none
    std::vector<int32_t> liveTriVertices;
    std::vector<int32_t> liveTriUvs;
    int pathEndEdge = -1;
    int pathNextEdge = -1;
    // The options of the run in progress, read when it started.
    EngineOptions liveOptions;
    // WM_UNWRAP_DONE messages of runs that waitForLiveUnwrap dropped and that are still queued.
    int liveStaleMessages = 0;

    // The history that load() pushes to; the process-wide document uses the process-wide one.
    UndoHistory* history = nullptr;

private:
    // Runs the engine with automatic seams on the current snapshot (faces of the charts that
    // hold a selected edge only, when selectedCharts and any is selected) and marks the added
    // seams; answers how many. The run set keeps the result.
    int runAutomaticSeams(bool selectedCharts);

    friend class UndoHistory;
    void pointFacesAtPools();
    void growCornerPools(int64_t needed);
    // Joins the worker, takes its result over and starts the queued run, if any.
    void landLiveRun();
    void normalise();
    void buildEdges();
    void buildAdjacency();
    void seamsFromFile();
    // The process-wide edge table, built from this document's faces if it holds another
    // load's (or another document's).
    void useEdgeTable();
    bool holdsEdgeTable() const;
    // A tag for a new set of faces; never 0, and never given twice in a process.
    static uint64_t nextEdgeTableTag();
    void buildEdgeLookup();

    const float* vertexClipPositions(const PickCamera& camera, const PickView& view);

    std::shared_ptr<FaceTopology> topo_;
    std::vector<int32_t> cornerUv_;
    int64_t cornerCapacity_ = 0;
    // Open-addressed edge numbers keyed by their unordered vertex pair; -1 marks a free slot.
    std::vector<int32_t> edgeSlots_;
    uint64_t edgeSlotMask_ = 0;
    SelectionCache selection_;
    uint64_t edgeTableTag_ = 0; // what the edge table holds when it holds this load's faces
};

// Hook for the 3D view: set its camera translation when a load normalises the mesh, and
// rebuild both views' matrices after a successful load. Unset until the views exist.
struct DocumentViewHooks {
    void (*normalised)() = nullptr;
    void (*loaded)() = nullptr;
};
DocumentViewHooks& document_view_hooks();
