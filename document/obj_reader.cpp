#include "document/obj_reader.h"

#include "document/mesh_document.h"
#include "document/undo_history.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

// Lines are read as by a 500-character buffer: at most 499 characters form one read, and a
// longer line is handled in pieces, each as a line of its own.
constexpr size_t READ_BUFFER = 500;
constexpr int MAX_CORNERS = 100;

enum class LineKind { Skip, Vertex, TexCoord, Normal, Face };

struct Piece {
    char text[READ_BUFFER];
    size_t len;
    long line;        // physical line number, 1-based
    const char* body; // after the leading blanks
};

class PieceReader {
public:
    PieceReader(const char* text, size_t size) : p_(text), end_(text + size) {}

    bool next(Piece& out) {
        if (p_ >= end_)
            return false;
        size_t n = std::min(READ_BUFFER - 1, size_t(end_ - p_));
        const char* nl = static_cast<const char*>(std::memchr(p_, '\n', n));
        if (nl)
            n = size_t(nl - p_) + 1;
        std::memcpy(out.text, p_, n);
        out.text[n] = '\0';
        out.line = line_;
        if (nl)
            line_++;
        p_ += n;
        // A zero byte ends the text as a C string would; '#' starts a comment.
        out.len = std::strlen(out.text);
        if (char* hash = static_cast<char*>(std::memchr(out.text, '#', out.len))) {
            *hash = '\0';
            out.len = size_t(hash - out.text);
        }
        while (out.len > 0 && (out.text[out.len - 1] == '\r' || out.text[out.len - 1] == '\n'))
            out.text[--out.len] = '\0';
        out.body = out.text;
        while (*out.body == ' ' || *out.body == '\t')
            out.body++;
        return true;
    }

private:
    const char* p_;
    const char* end_;
    long line_ = 1;
};

bool is_blank(char c) {
    return c == ' ' || c == '\t';
}

LineKind classify(const Piece& piece) {
    if (piece.len == 0)
        return LineKind::Skip;
    const char* s = piece.body;
    if (s[0] == 'v' && is_blank(s[1]))
        return LineKind::Vertex;
    if (s[0] == 'v' && s[1] == 't')
        return LineKind::TexCoord;
    if (s[0] == 'v' && s[1] == 'n')
        return LineKind::Normal;
    if (s[0] == 'f' && (is_blank(s[1]) || s[1] == '\0'))
        return LineKind::Face;
    return LineKind::Skip;
}

// Reads up to `want` numbers after the keyword token, as "%s %f %f %f" would; answers how
// many were read.
int read_floats(const char* s, float* out, int want) {
    while (*s && !std::isspace(static_cast<unsigned char>(*s)))
        s++;
    for (int i = 0; i < want; i++) {
        char* end = nullptr;
        out[i] = std::strtof(s, &end);
        if (end == s)
            return i;
        s = end;
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

bool expect(const char*& c, const char* end, char ch) {
    if (c < end && *c == ch) {
        c++;
        return true;
    }
    return false;
}

struct Counts {
    int64_t vertices = 0, texCoords = 0, normals = 0, faces = 0, corners = 0;
};

Counts count_lines(const char* text, size_t size) {
    Counts counts;
    PieceReader reader(text, size);
    Piece piece;
    while (reader.next(piece)) {
        switch (classify(piece)) {
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
            for (const char* s = piece.body + 1; *s; s++) {
                if (!is_blank(*s) && is_blank(s[-1]))
                    counts.corners++;
            }
            break;
        case LineKind::Skip:
            break;
        }
    }
    return counts;
}

// The corner form a file's content calls for.
enum class CornerForm { V, VT, VN, VTN };

const char* form_text(CornerForm form) {
    switch (form) {
    case CornerForm::VTN:
        return "v/vt/vn";
    case CornerForm::VN:
        return "v//vn";
    case CornerForm::VT:
        return "v/vt or v/vt/vn";
    case CornerForm::V:
        break;
    }
    return "v or v//vn";
}

// Parses one corner token; vt and vn are 0 when the form has none (or ignores them).
bool parse_corner(const char* c, const char* end, CornerForm form, int64_t& v, int64_t& vt,
                  int64_t& vn) {
    vt = vn = 0;
    int64_t ignored = 0;
    if (!read_int(c, end, v))
        return false;
    switch (form) {
    case CornerForm::VTN:
        if (!expect(c, end, '/') || !read_int(c, end, vt) || !expect(c, end, '/') ||
            !read_int(c, end, vn))
            return false;
        break;
    case CornerForm::VN:
        if (!expect(c, end, '/') || !expect(c, end, '/') || !read_int(c, end, vn))
            return false;
        break;
    case CornerForm::VT:
        if (!expect(c, end, '/') || !read_int(c, end, vt))
            return false;
        if (c < end && (!expect(c, end, '/') || !read_int(c, end, ignored)))
            return false;
        break;
    case CornerForm::V:
        if (c < end && (!expect(c, end, '/') || !expect(c, end, '/') || !read_int(c, end, ignored)))
            return false;
        break;
    }
    return c == end;
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
    doc.clear();
    Counts counts = count_lines(text, size);
    if (counts.vertices > INT_MAX - 2 || counts.texCoords > INT_MAX - 2 ||
        counts.normals > INT_MAX - 2 || counts.faces > INT_MAX - 2 || counts.corners > INT_MAX) {
        error = std::string(name) + ": too many lines for one mesh";
        return false;
    }
    noTexCoords = counts.texCoords == 0;
    noNormals = counts.normals == 0;
    doc.reserve(int(counts.vertices), int(counts.faces), int(counts.normals),
                noTexCoords ? 1 : int(counts.texCoords), counts.corners);
    CornerForm form = !noTexCoords ? (!noNormals ? CornerForm::VTN : CornerForm::VT)
                                   : (!noNormals ? CornerForm::VN : CornerForm::V);

    int32_t vIdx[MAX_CORNERS], tIdx[MAX_CORNERS], nIdx[MAX_CORNERS];
    PieceReader reader(text, size);
    Piece piece;
    while (reader.next(piece)) {
        float xyz[3];
        switch (classify(piece)) {
        case LineKind::Vertex:
            if (read_floats(piece.body, xyz, 3) < 3) {
                error = where(name, piece.line) + "vertex line with fewer than three numbers";
                break;
            }
            doc.addVertex(xyz[0], xyz[1], xyz[2]);
            continue;
        case LineKind::TexCoord:
            if (read_floats(piece.body, xyz, 2) < 2) {
                error =
                    where(name, piece.line) + "texture coordinate line with fewer than two numbers";
                break;
            }
            doc.addUv(xyz[0], xyz[1]);
            continue;
        case LineKind::Normal:
            if (read_floats(piece.body, xyz, 3) < 3) {
                error = where(name, piece.line) + "normal line with fewer than three numbers";
                break;
            }
            doc.addNormal(xyz[0], xyz[1], xyz[2]);
            continue;
        case LineKind::Skip:
            continue;
        case LineKind::Face: {
            int n = 0;
            const char* c = piece.body + 1;
            while (error.empty()) {
                while (is_blank(*c))
                    c++;
                if (!*c)
                    break;
                const char* tokenEnd = c;
                while (*tokenEnd && !is_blank(*tokenEnd))
                    tokenEnd++;
                auto token = [&] { return std::string(c, size_t(tokenEnd - c)); };
                int64_t v, vt, vn;
                if (n == MAX_CORNERS) {
                    error = where(name, piece.line) + "face with more than 100 corners";
                } else if (!parse_corner(c, tokenEnd, form, v, vt, vn)) {
                    error = where(name, piece.line) + "face corner '" + token() +
                            "' does not have the form " + form_text(form) +
                            " that this file's content calls for";
                } else if (v < 1 || v > counts.vertices) {
                    error = where(name, piece.line) + "vertex index in '" + token() +
                            "' is outside 1.." + std::to_string(counts.vertices);
                } else if ((form == CornerForm::VTN || form == CornerForm::VT) &&
                           (vt < 1 || vt > counts.texCoords)) {
                    error = where(name, piece.line) + "texture index in '" + token() +
                            "' is outside 1.." + std::to_string(counts.texCoords);
                } else if ((form == CornerForm::VTN || form == CornerForm::VN) &&
                           (vn < 1 || vn > counts.normals)) {
                    error = where(name, piece.line) + "normal index in '" + token() +
                            "' is outside 1.." + std::to_string(counts.normals);
                } else {
                    vIdx[n] = int32_t(v);
                    tIdx[n] = vt > 0 ? int32_t(vt - 1) : 0; // 0: the placeholder point
                    nIdx[n] = vn > 0 ? int32_t(vn - 1) : 0; // replaced by the face's own
                    n++;
                }
                c = tokenEnd;
            }
            if (error.empty() && n == 0)
                error = where(name, piece.line) + "face line without corners";
            if (!error.empty())
                break;
            doc.addFace(n, vIdx, tIdx, nIdx);
            continue;
        }
        }
        doc.clear();
        return false;
    }
    if (doc.uvCount == 0)
        doc.addUv(0, 0);
    noNormals = doc.normalCount == 0;
    if (noNormals)
        doc.computeFaceNormals();
    doc.rebuildDerived();
    return true;
}

bool ObjReader::read(MeshDocument& doc, const char* path) {
    error.clear();
    doc.clear();
    FILE* file = path ? std::fopen(path, "rb") : nullptr;
    if (!file) {
        error = std::string(path ? path : "(no path)") + ": cannot open: " + std::strerror(errno);
        return false;
    }
    std::string text;
    if (std::fseek(file, 0, SEEK_END) == 0) {
        long length = std::ftell(file);
        if (length > 0)
            text.reserve(size_t(length));
        std::rewind(file);
    }
    char chunk[1 << 16];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0)
        text.append(chunk, got);
    bool failed = std::ferror(file);
    std::fclose(file);
    if (failed) {
        error = std::string(path) + ": cannot read: " + std::strerror(errno);
        return false;
    }
    return readText(doc, path, text.data(), text.size());
}

bool MeshDocument::load(const char* path) {
    reader_slot() = std::make_unique<ObjReader>();
    ObjReader& reader = *reader_slot();
    if (!reader.read(*this, path)) {
        std::fprintf(stderr, "marrowby: %s\n", reader.error.c_str());
        return false;
    }
    if (document_view_hooks().loaded)
        document_view_hooks().loaded();
    UndoHistory* h = history ? history : (this == &instance() ? &UndoHistory::instance() : nullptr);
    if (h)
        h->push();
    return true;
}
