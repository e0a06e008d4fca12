#pragma once

#include <unordered_map>
#include <utility>
#include <vector>

#include "unwrap/unwrap_glue_mesh.h"
#include "unwrap/unwrap_pack_tight.h"

struct PHandle;
struct PPoint;

// Engine runs over an UnwrapMesh. The options are the application's "fill holes" and "use
// angle based flattening" as they are when the run starts.

// A handle in the allocated state built from the mesh's triangles (hidden ones skipped,
// unselected ones when selectedOnly, and those with skip[t] != 0 when skip holds one entry per
// triangle) and its seam edges, with `splits` (vertex key pairs) cut as well and every chart
// cut to a disc; mesh->discCuts gets every edge cut beyond the seams (the splits first), and
// mesh->discCutCharts the number of charts this build cut to discs.
PHandle* build_unwrap_handle(UnwrapMesh* mesh, bool fillHoles, bool selectedOnly,
                             const std::vector<std::pair<int, int>>& splits = {},
                             const std::vector<char>* skip = nullptr);

// After the first flattening (ABF and the conformal map, LSCM ended) of a handle built by
// build_unwrap_handle: refines every chart with flipped or collapsed triangles, then splits
// the charts that stay so and lays them out again (the others keep their layout), a few rounds
// at most. keys are the points' vertex keys from before the flattening (unwrap_point_keys);
// mesh->discCuts must hold the cuts the handle was built with, and holds every cut after. With
// maxStretch > 0, sound charts that stretch more than that (unwrap_chart_stretch) are split as
// well. Answers the handle that holds the result, which may replace the one given (deleted).
PHandle* unwrap_make_sound(UnwrapMesh* mesh, PHandle* handle,
                           std::unordered_map<const PPoint*, int> keys, bool fillHoles,
                           bool selectedOnly, bool useAbf, double maxStretch = 0.0);

// How a full unwrap packs its charts: on shelves (the default), or tightly by their shapes at a
// texture resolution with a padding in texels.
struct UnwrapPacking {
    bool tight = false;
    int resolution = UNWRAP_TIGHT_RESOLUTION;
    int padding = UNWRAP_TIGHT_PADDING;
};

// Automatic seams for a full unwrap: charts are grown over the faces (all, or those with
// faces[t] != 0 when it holds one entry per triangle) and split until every chart is sound and
// stretches no more than maxStretch. The default keeps charts under 1.10 with room for the
// packing's float rounding and the six decimals of the file.
struct UnwrapAutoSeams {
    std::vector<char> faces;
    double maxStretch = 1.09;
};

// One full unwrap: charts (every one cut to a disc), flattening, the locally injective
// refinement of charts with flipped or collapsed triangles (unless fixFlips is off), packing;
// the new UVs land in the face records and the unique-UV table is rebuilt. Leaves no handle
// behind. With autoSeams, the charts are made first (the refinement is on, and holes are cut
// open instead of filled, so that every chart is a disc) and mesh->addedSeams gets the edges
// that became chart borders beyond the seams.
void unwrap_selection(UnwrapMesh* mesh, bool allFaces, bool fillHoles, bool useAbf,
                      const UnwrapPacking& packing = UnwrapPacking{}, bool fixFlips = true,
                      const UnwrapAutoSeams* autoSeams = nullptr);

// Live unwrap around the user's pins: begin when a drag starts, solve after every move (the
// moved UVs copied in first), end when the drag ends. Solve and end do nothing without a begin.
void live_unwrap_begin(UnwrapMesh* mesh, bool fillHoles, bool useAbf);
void live_unwrap_solve();
void live_unwrap_end();
bool live_unwrap_active();
