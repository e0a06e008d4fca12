#include "document/obj_reader.h"

#include "document/mesh_document.h"
#include "document/obj_text.h"
#include "document/undo_history.h"
#include "platform/read_file.h"

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string_view>

namespace {

constexpr int MAX_CORNERS = 100;

enum class LineKind { Skip, Vertex, TexCoord, Normal, Face };

LineKind classify(const ObjLine& line) {
    const char* s = line.begin;
    size_t len = size_t(line.end - line.begin);
    if (len < 1)
        return LineKind::Skip;
    bool blankAfter = len == 1 || obj_is_blank(s[1]);
    if (s[0] == 'v' && len >= 2 && obj_is_blank(s[1]))
        return LineKind::Vertex;
    if (s[0] == 'v' && len >= 2 && s[1] == 't')
        return LineKind::TexCoord;
    if (s[0] == 'v' && len >= 2 && s[1] == 'n')
        return LineKind::Normal;
    if (s[0] == 'f' && blankAfter)
        return LineKind::Face;
    return LineKind::Skip;
}

// Reads up to `want` numbers after the keyword; answers how many were read and whether all of
// them were finite.
int read_floats(const ObjLine& line, float* out, int want, bool& finite) {
    const char* s = line.begin;
    while (s < line.end && !obj_is_blank(*s))
        s++;
    finite = true;
    for (int i = 0; i < want; i++) {
        const char* next = obj_read_float(s, line.end, out[i]);
        if (!next)
            return i;
        finite = finite && std::isfinite(out[i]);
        s = next;
    }
    return want;
}

// A decimal integer with an optional sign, saturated far beyond any index.
bool read_int(const char*& c, const char* end, int64_t& value) {
    bool negative = false;
    if (c < end && (*c == '+' || *c == '-'))
        negative = *c++ == '-';
    const char* digits = c;
    value = 0;
    while (c < end && *c >= '0' && *c <= '9') {
        if (value < 1000000000000LL)
            value = value * 10 + (*c - '0');
        c++;
    }
    if (negative)
        value = -value;
    return c > digits;
}

// One face corner in any of the format's forms: v, v/vt, v//vn, v/vt/vn.
struct Corner {
    int64_t v = 0, vt = 0, vn = 0;
    bool hasVt = false, hasVn = false;
};

bool parse_corner(const char* c, const char* end, Corner& out) {
    out = Corner{};
    if (!read_int(c, end, out.v))
        return false;
    if (c == end)
        return true;
    if (*c++ != '/')
        return false;
    if (c < end && *c == '/') {
        c++;
        out.hasVn = read_int(c, end, out.vn);
        return out.hasVn && c == end;
    }
    out.hasVt = read_int(c, end, out.vt);
    if (!out.hasVt)
        return false;
    if (c == end)
        return true;
    if (*c++ != '/')
        return false;
    out.hasVn = read_int(c, end, out.vn);
    return out.hasVn && c == end;
}

struct Counts {
    int64_t vertices = 0, texCoords = 0, normals = 0, faces = 0, corners = 0;
};

Counts count_lines(const char* text, size_t size) {
    Counts counts;
    ObjLineReader reader(text, size);
    ObjLine line;
    while (reader.next(line)) {
        switch (classify(line)) {
        case LineKind::Vertex:
            counts.vertices++;
            break;
        case LineKind::TexCoord:
            counts.texCoords++;
            break;
        case LineKind::Normal:
            counts.normals++;
            break;
        case LineKind::Face:
            counts.faces++;
            for (const char* s = line.begin + 1; s < line.end; s++) {
                if (!obj_is_blank(*s) && obj_is_blank(s[-1]))
                    counts.corners++;
            }
            break;
        case LineKind::Skip:
            break;
        }
    }
    return counts;
}

// The corners of one face line, by 1-based vertex and 0-based texture and normal index.
struct FaceLine {
    int n = 0;
    int32_t v[MAX_CORNERS], t[MAX_CORNERS], normal[MAX_CORNERS];
    bool usesPlaceholder = false; // a corner without a texture index
    bool needsNormal = false;     // a corner without a normal index (its normal is -1)
};

// Reads the corners of a face line; false, with what is wrong, for a corner outside the
// subset. Corners without a texture index get the placeholder point; without a normal index
// (or in a file without normals, where every face gets its own) -1, for the face's own normal.
bool read_face_line(const ObjLine& line, const Counts& counts, bool noNormals,
                    int32_t placeholderUv, FaceLine& face, std::string& problem) {
    const char* c = line.begin + 1;
    for (;;) {
        while (c < line.end && obj_is_blank(*c))
            c++;
        if (c == line.end)
            return true;
        const char* tokenEnd = c;
        while (tokenEnd < line.end && !obj_is_blank(*tokenEnd))
            tokenEnd++;
        // Only a message needs the corner's text.
        const std::string_view text(c, size_t(tokenEnd - c));
        auto token = [text] { return std::string(text); };
        Corner k;
        if (face.n == MAX_CORNERS) {
            problem = "face with more than 100 corners";
        } else if (!parse_corner(c, tokenEnd, k)) {
            problem = "face corner '" + token() + "' is not one of v, v/vt, v//vn, v/vt/vn";
        } else if (k.v < 1 || k.v > counts.vertices) {
            problem = "vertex index in '" + token() + "' is outside 1.." +
                      std::to_string(counts.vertices);
        } else if (k.hasVt && counts.texCoords == 0) {
            problem = "texture index in '" + token() + "' but the file has no vt line";
        } else if (k.hasVt && (k.vt < 1 || k.vt > counts.texCoords)) {
            problem = "texture index in '" + token() + "' is outside 1.." +
                      std::to_string(counts.texCoords);
        } else if (k.hasVn && !noNormals && (k.vn < 1 || k.vn > counts.normals)) {
            problem =
                "normal index in '" + token() + "' is outside 1.." + std::to_string(counts.normals);
        }
        if (!problem.empty())
            return false;
        const bool hasNormal = k.hasVn && !noNormals;
        face.v[face.n] = int32_t(k.v);
        face.t[face.n] = k.hasVt ? int32_t(k.vt - 1) : placeholderUv;
        face.normal[face.n] = hasNormal ? int32_t(k.vn - 1) : -1;
        face.usesPlaceholder = face.usesPlaceholder || !k.hasVt;
        face.needsNormal = face.needsNormal || !hasNormal;
        face.n++;
        c = tokenEnd;
    }
}

// The line number of the vertex line that gives slot `slot` (1-based).
long vertex_line(const char* text, size_t size, int slot) {
    ObjLineReader reader(text, size);
    ObjLine line;
    int seen = 0;
    while (reader.next(line)) {
        if (classify(line) == LineKind::Vertex && ++seen == slot)
            return line.number;
    }
    return 0;
}

// The first vertex whose distance from the mean of all positions overflows a float, or 0.
// The normalisation at load divides every position by the largest of those distances, so one
// such vertex would turn the whole mesh into NaN.
int first_unnormalisable_vertex(const MeshDocument& doc) {
    int n = doc.vertexSlots - 1;
    double sum[3] = {0, 0, 0};
    for (int i = 1; i <= n; i++) {
        sum[0] += doc.vertices[size_t(i)].x;
        sum[1] += doc.vertices[size_t(i)].y;
        sum[2] += doc.vertices[size_t(i)].z;
    }
    float centre[3];
    for (int c = 0; c < 3; c++)
        centre[c] = n > 0 ? float(sum[c] / n) : 0.0f;
    for (int i = 1; i <= n; i++) {
        const Vec3& p = doc.vertices[size_t(i)];
        float dx = p.x - centre[0], dy = p.y - centre[1], dz = p.z - centre[2];
        if (!std::isfinite(dx * dx + dy * dy + dz * dz))
            return i;
    }
    return 0;
}

std::string where(const char* name, long line) {
    return std::string(name) + ":" + std::to_string(line) + ": ";
}

std::unique_ptr<ObjReader>& reader_slot() {
    static std::unique_ptr<ObjReader> reader;
    return reader;
}

} // namespace

ObjReader* last_obj_reader() {
    return reader_slot().get();
}

bool ObjReader::readText(MeshDocument& doc, const char* name, const char* text, size_t size) {
    error.clear();
    warnings.clear();
    doc.clear();
    size_t badOffset = 0;
    long badLine = 0;
    if (obj_find_binary_byte(text, size, badOffset, badLine)) {
        char byte[8];
        std::snprintf(byte, sizeof byte, "0x%02x",
                      unsigned(static_cast<unsigned char>(text[badOffset])));
        error = where(name, badLine) + "not a text file (byte " + byte + ")";
        return false;
    }
    Counts counts = count_lines(text, size);
    if (counts.vertices + counts.texCoords + counts.normals + counts.faces == 0) {
        error = std::string(name) + ": no OBJ content (not one v, vt, vn or f line)";
        return false;
    }
    if (counts.vertices > INT_MAX - 2 || counts.texCoords > INT_MAX - 2 ||
        counts.normals > INT_MAX - 2 || counts.faces > INT_MAX - 2 || counts.corners > INT_MAX) {
        error = std::string(name) + ": too many lines for one mesh";
        return false;
    }
    noTexCoords = counts.texCoords == 0;
    noNormals = counts.normals == 0;
    // Corners without a texture index share one placeholder point after the file's own.
    const int32_t placeholderUv = int32_t(counts.texCoords);
    doc.reserve(int(counts.vertices), int(counts.faces), int(counts.normals),
                int(counts.texCoords) + 1, counts.corners);

    std::string problem;
    std::vector<int> facesWithoutNormals;
    bool placeholderUsed = noTexCoords;
    long droppedFaces = 0, firstDroppedLine = 0;
    ObjLineReader reader(text, size);
    ObjLine line;
    while (error.empty() && reader.next(line)) {
        float xyz[3];
        bool finite = true;
        switch (classify(line)) {
        case LineKind::Vertex:
            if (read_floats(line, xyz, 3, finite) < 3)
                error = where(name, line.number) + "vertex line with fewer than three numbers";
            else if (!finite)
                error = where(name, line.number) + "vertex position is not a finite number";
            else
                doc.addVertex(xyz[0], xyz[1], xyz[2]);
            break;
        case LineKind::TexCoord:
            // Texture coordinates are what an unwrap replaces; non-finite ones are kept for
            // the tools that report them.
            if (read_floats(line, xyz, 2, finite) < 2)
                error = where(name, line.number) +
                        "texture coordinate line with fewer than two numbers";
            else
                doc.addUv(xyz[0], xyz[1]);
            break;
        case LineKind::Normal:
            if (read_floats(line, xyz, 3, finite) < 3)
                error = where(name, line.number) + "normal line with fewer than three numbers";
            else if (!finite)
                error = where(name, line.number) + "normal is not a finite number";
            else
                doc.addNormal(xyz[0], xyz[1], xyz[2]);
            break;
        case LineKind::Skip:
            break;
        case LineKind::Face: {
            FaceLine face;
            if (!read_face_line(line, counts, noNormals, placeholderUv, face, problem)) {
                error = where(name, line.number) + problem;
                break;
            }
            if (face.n < 3) {
                if (droppedFaces++ == 0)
                    firstDroppedLine = line.number;
                break;
            }
            placeholderUsed = placeholderUsed || face.usesPlaceholder;
            if (face.needsNormal && !noNormals)
                facesWithoutNormals.push_back(doc.faceCount);
            doc.addFace(face.n, face.v, face.t, face.normal);
            break;
        }
        }
    }
    if (error.empty()) {
        if (int bad = first_unnormalisable_vertex(doc))
            error = where(name, vertex_line(text, size, bad)) +
                    "vertex position too far from the others: its distance from the centre of "
                    "the mesh overflows single precision";
    }
    if (!error.empty()) {
        doc.clear();
        return false;
    }
    if (droppedFaces > 0)
        warnings.push_back(std::string(name) + ": " + std::to_string(droppedFaces) +
                           (droppedFaces == 1 ? " face" : " faces") +
                           " with fewer than three corners dropped (the first at line " +
                           std::to_string(firstDroppedLine) + ")");
    if (placeholderUsed)
        doc.addUv(0, 0);
    if (noNormals) {
        doc.computeFaceNormals();
    } else {
        for (int f : facesWithoutNormals) {
            MeshFace& face = doc.faces[size_t(f)];
            Vec3 normal = doc.faceNormal(f);
            int32_t index = doc.normalCount;
            doc.addNormal(normal.x, normal.y, normal.z);
            for (int k = 0; k < face.cornerCount; k++) {
                if (face.normalIndices[k] < 0)
                    face.normalIndices[k] = index;
            }
        }
    }
    doc.rebuildDerived();
    return true;
}

bool ObjReader::read(MeshDocument& doc, const char* path) {
    error.clear();
    warnings.clear();
    doc.clear();
    std::string text;
    if (!platform_read_regular_file(path, text, error))
        return false;
    return readText(doc, path, text.data(), text.size());
}

bool MeshDocument::load(const char* path) {
    reader_slot() = std::make_unique<ObjReader>();
    ObjReader& reader = *reader_slot();
    if (!reader.read(*this, path)) {
        std::fprintf(stderr, "marrowby: %s\n", reader.error.c_str());
        return false;
    }
    for (const std::string& warning : reader.warnings)
        std::fprintf(stderr, "marrowby: warning: %s\n", warning.c_str());
    if (document_view_hooks().loaded)
        document_view_hooks().loaded();
    UndoHistory* h = history ? history : (this == &instance() ? &UndoHistory::instance() : nullptr);
    if (h)
        h->push();
    return true;
}
