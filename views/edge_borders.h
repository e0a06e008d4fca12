#pragma once

#include <cstdint>
#include <vector>

class MeshDocument;

// Edges the passes draw at any zoom, however short they are on screen.

// Seams, cuts, the selection and the picks in progress: what the flags show in colour.
bool flags_always_drawn(int32_t flags);

// One mark per edge: 1 on the mesh's borders (edges with other than two face corners) and,
// with uvSplits, on the chart borders in UV (edges whose two faces give different UV points).
std::vector<uint8_t> border_edges(const MeshDocument& doc, bool uvSplits);
