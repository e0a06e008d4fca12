#pragma once

#include <string>
#include <utility>
#include <vector>

class MeshDocument;

// Seam lists for tests and people: cut a loaded mesh into charts along plane sections.
// Pairs are 0-based vertex indices (the order of the v lines), as a seam list file holds them.
using SeamPairs = std::vector<std::pair<int, int>>;

// Sorts the faces into `slabs` slabs of equal width along the mesh's longest axis by their
// centroids, and returns every edge between two neighbouring faces of different slabs.
SeamPairs seams_along_slabs(const MeshDocument& doc, int slabs);

// Writes a seam list file: the pair count as a 32-bit little-endian number, then each index as
// decimal digits followed by a zero byte. Written through a temporary file and a rename.
bool write_seam_list(const std::string& path, const SeamPairs& pairs);
