#include "app/seam_list.h"

#include "document/mesh_document.h"
#include "document/undo_history.h"
#include "platform/read_file.h"

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr size_t MAX_DIGITS = 39;

// One number up to and including its zero byte; false when the data ends first or the
// number is too long.
bool read_number(const unsigned char* data, size_t size, size_t& pos, int& value,
                 bool& digitsOnly) {
    char text[MAX_DIGITS + 1];
    size_t len = 0;
    for (;;) {
        if (pos >= size)
            return false;
        unsigned char c = data[pos++];
        if (c == 0)
            break;
        if (len == MAX_DIGITS)
            return false;
        text[len++] = char(c);
    }
    text[len] = '\0';
    for (size_t i = 0; i < len; i++)
        digitsOnly = digitsOnly && text[i] >= '0' && text[i] <= '9';
    digitsOnly = digitsOnly && len > 0;
    // The usual conversion, stopping at the first non-digit; kept where index + 1 still fits.
    long v = std::strtol(text, nullptr, 10);
    if (v > INT_MAX - 1)
        v = INT_MAX - 1;
    if (v < INT_MIN + 1)
        v = INT_MIN + 1;
    value = int(v);
    return true;
}

} // namespace

std::vector<SeamPair> parse_seam_list(const unsigned char* data, size_t size,
                                      std::string* problem) {
    std::vector<SeamPair> pairs;
    std::string found;
    if (size < 4) {
        if (problem)
            *problem = "shorter than its 4-byte count";
        return pairs;
    }
    int32_t count = int32_t(uint32_t(data[0]) | uint32_t(data[1]) << 8 | uint32_t(data[2]) << 16 |
                            uint32_t(data[3]) << 24);
    if (count < 0)
        found = "negative count " + std::to_string(count);
    size_t pos = 4;
    bool digitsOnly = true;
    for (int32_t i = 0; i < count; i++) {
        SeamPair p;
        if (!read_number(data, size, pos, p.a, digitsOnly) ||
            !read_number(data, size, pos, p.b, digitsOnly)) {
            found = "ends after " + std::to_string(i) + " of its " + std::to_string(count) +
                    " pairs (or holds a number longer than 39 characters)";
            break;
        }
        pairs.push_back(p);
    }
    if (found.empty() && !digitsOnly)
        found = "a number holds characters other than digits";
    if (problem)
        *problem = found;
    return pairs;
}

std::string readSeamList(const char* path) {
    MeshDocument& doc = MeshDocument::instance();
    // Drops the seams the OBJ file's texture discontinuities gave, and any selection.
    for (int e = 0; e < doc.edgeCount; e++)
        doc.edges[size_t(e)].flags = FLAG_UNSELECTED;
    std::string warnings, bytes, error, problem;
    if (path && *path) {
        if (!platform_read_regular_file(path, bytes, error)) {
            warnings += "seam list " + error + "; the mesh has no seams\n";
        } else {
            std::vector<SeamPair> pairs = parse_seam_list(
                reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), &problem);
            if (!problem.empty())
                warnings += "seam list " + std::string(path) + ": " + problem + "; " +
                            std::to_string(pairs.size()) + " pairs read\n";
            size_t unmatched = 0;
            for (const SeamPair& p : pairs) {
                int e = doc.findEdge(p.a + 1, p.b + 1);
                if (e >= 0)
                    doc.edges[size_t(e)].flags = FLAG_SEAM | FLAG_UNSELECTED;
                else
                    unmatched++;
            }
            if (unmatched > 0 && doc.edgeCount > 0)
                warnings += "seam list " + std::string(path) + ": " + std::to_string(unmatched) +
                            " of " + std::to_string(pairs.size()) +
                            " pairs name no edge of the mesh\n";
        }
    }
    for (size_t start = 0; start < warnings.size();) {
        size_t end = warnings.find('\n', start);
        std::fprintf(stderr, "marrowby: warning: %.*s\n", int(end - start),
                     warnings.data() + start);
        start = end + 1;
    }
    UndoHistory::instance().push();
    return warnings;
}
