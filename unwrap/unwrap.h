#pragma once

#include "unwrap/unwrap_records.h"

#include <cstdint>

// The unwrap handle: built from faces and seams, split into charts at construction end, then
// flattened chart by chart; results go back through the per-corner UV links (flush).

// A new, empty handle in the construct state.
PHandle* unwrap_handle_create();

// Adds a triangle or quad (ncorners 3 or 4; quads are split along a diagonal). Each array has
// ncorners entries: vertex keys, pointers to the corner's x,y,z, pointers to the corner's u,v in
// the caller's storage (may be null), pin flags and select flags (non-zero = set).
// Construct state only. Bad topology is accepted here and resolved at construction end.
void unwrap_add_face(PHandle* handle, int faceKey, int ncorners, const int* vkeys, float* const* co,
                     float* const* uv, const uint8_t* pin, const uint8_t* select);

// A hint before the faces are added: about how many there will be. Construction then needs less
// rehashing; the handle built is the same with any hint.
void unwrap_expect_faces(PHandle* handle, int nfaces);

// Flags one half-edge joining the two vertex keys (either direction) as a seam and returns it;
// null when no face joins them. Construct state only.
PHalfEdge* unwrap_mark_seam(PHandle* handle, int vkey1, int vkey2);

// Splits the faces into charts (with one boundary at least), fills every boundary loop but the
// longest when fillHoles is set, and gives every point its initial UV. Construct -> allocated.
void unwrap_construct_end(PHandle* handle, bool fillHoles);

// Writes every point's UV through the UV links of its corners. In the LSCM state only charts
// that still have a solver context are written.
void unwrap_flush(PHandle* handle);

// Frees the handle with all its charts and records, in any state.
void unwrap_delete(PHandle* handle);
