#include "app/seam_list.h"

#include "document/mesh_document.h"
#include "document/undo_history.h"

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr size_t MAX_DIGITS = 39;

// One number up to and including its zero byte; false when the data ends first or the
// number is too long.
bool read_number(const unsigned char* data, size_t size, size_t& pos, int& value) {
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

std::vector<SeamPair> parse_seam_list(const unsigned char* data, size_t size) {
    std::vector<SeamPair> pairs;
    if (size < 4)
        return pairs;
    int32_t count = int32_t(uint32_t(data[0]) | uint32_t(data[1]) << 8 | uint32_t(data[2]) << 16 |
                            uint32_t(data[3]) << 24);
    size_t pos = 4;
    for (int32_t i = 0; i < count; i++) {
        SeamPair p;
        if (!read_number(data, size, pos, p.a) || !read_number(data, size, pos, p.b))
            break;
        pairs.push_back(p);
    }
    return pairs;
}

void readSeamList(const char* path) {
    MeshDocument& doc = MeshDocument::instance();
    // Drops the seams the OBJ file's texture discontinuities gave, and any selection.
    for (int e = 0; e < doc.edgeCount; e++)
        doc.edges[size_t(e)].flags = FLAG_UNSELECTED;
    if (FILE* file = path ? std::fopen(path, "rb") : nullptr) {
        std::string bytes;
        char chunk[1 << 14];
        size_t got;
        while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0)
            bytes.append(chunk, got);
        std::fclose(file);
        for (const SeamPair& p :
             parse_seam_list(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size())) {
            int e = doc.findEdge(p.a + 1, p.b + 1);
            if (e >= 0)
                doc.edges[size_t(e)].flags = FLAG_SEAM | FLAG_UNSELECTED;
        }
    }
    UndoHistory::instance().push();
}
