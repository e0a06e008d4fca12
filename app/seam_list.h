#pragma once

#include <cstddef>
#include <string>
#include <vector>

// The seam list file: a signed 32-bit little-endian count of pairs, then per pair two decimal
// numbers, each as ASCII digits followed by one zero byte (at most 39 characters before it).
// Each number is a 0-based vertex index in the order of the OBJ file's v lines.

struct SeamPair {
    int a, b;
};

// Reads as many whole pairs as the data holds, up to the count. Reading stops at the end of
// the data, at a number longer than 39 characters, and reads nothing for a negative count.
// When problem is given it receives what made the data malformed (empty when nothing did);
// the pairs read are the same either way.
std::vector<SeamPair> parse_seam_list(const unsigned char* data, size_t size,
                                      std::string* problem = nullptr);

// Applies a seam list file to the process-wide document: every edge unselected and no seam,
// then every listed pair's edge a seam; finally one undo snapshot. A missing file only clears.
// A file that cannot be read, a malformed one, and pairs that name no edge each get one
// warning line on stderr; an empty path names no file and gets none. Answers those warnings
// (empty when there were none), for the window to show.
std::string readSeamList(const char* path);
