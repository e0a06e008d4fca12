#pragma once

#include "unwrap/unwrap_glue_mesh.h"

#include <utility>
#include <vector>

// Automatic charts: region growing over the mesh's triangles (see unwrap_grow_charts.cpp).
//
// In: the mesh's triangles that are not hidden and, when `mask` is given, have mask[t] != 0
// (mask holds one entry per triangle); its seam edges. Out: the edges between two grown charts,
// as vertex index pairs, each once. Seams, the mesh's borders and edges that are not shared by
// exactly two consistently oriented triangles already part charts and are never answered; nor
// are edges next to a triangle left out.
std::vector<std::pair<int, int>> unwrap_grow_charts(const UnwrapMesh* mesh,
                                                    const std::vector<char>* mask = nullptr);
