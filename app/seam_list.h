#pragma once

#include <cstddef>
#include <vector>

// The seam list file: a signed 32-bit little-endian count of pairs, then per pair two decimal
// numbers, each as ASCII digits followed by one zero byte (at most 39 characters before it).
// Each number is a 0-based vertex index in the order of the OBJ file's v lines.

struct SeamPair {
    int a, b;
};

// Reads as many whole pairs as the data holds, up to the count. Reading stops at the end of
// the data, at a number longer than 39 characters, and reads nothing for a negative count.
std::vector<SeamPair> parse_seam_list(const unsigned char* data, size_t size);

// Applies a seam list file to the process-wide document: every edge unselected and no seam,
// then every listed pair's edge a seam; finally one undo snapshot. A missing file only clears.
void readSeamList(const char* path);
