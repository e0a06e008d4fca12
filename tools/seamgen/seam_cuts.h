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

// Adds seams so that every chart that the given seams leave becomes a disc: the edges outside a
// spanning tree of each chart's faces are cut, then every cut that ends in a vertex touched by
// no other cut or border is given back, until none is left. A chart without any border keeps
// one cut edge. Edges of one face or of three and more are borders already.
SeamPairs seams_to_discs(const MeshDocument& doc, const SeamPairs& seams);

// Writes a seam list file: the pair count as a 32-bit little-endian number, then each index as
// decimal digits followed by a zero byte. Written through a temporary file and a rename.
bool write_seam_list(const std::string& path, const SeamPairs& pairs);
