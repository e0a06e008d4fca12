#include "document/mesh_document.h"
#include "document/obj_text.h"
#include "platform/atomic_write.h"

#include <charconv>
#include <cstdio>
#include <string>

namespace {

// Collects the text and hands it to the file in large pieces. Numbers are formatted with
// to_chars, which prints exactly what printf's "%f" and "%d" print, several times faster.
class OutText {
public:
    explicit OutText(FILE* file) : file_(file) { buf_.reserve(CHUNK + 256); }

    void text(const char* s) { buf_.append(s); }
    void number(int value) {
        char tmp[16];
        auto r = std::to_chars(tmp, tmp + sizeof tmp, value);
        buf_.append(tmp, size_t(r.ptr - tmp));
        maybeFlush();
    }
    // "%f": six decimals (texture coordinates).
    void fixed(float value) {
        char tmp[64];
        auto r = std::to_chars(tmp, tmp + sizeof tmp, double(value), std::chars_format::fixed, 6);
        if (r.ec != std::errc()) {
            int n = std::snprintf(tmp, sizeof tmp, "%f", double(value));
            buf_.append(tmp, size_t(n > 0 ? n : 0));
        } else {
            buf_.append(tmp, size_t(r.ptr - tmp));
        }
        maybeFlush();
    }
    // "%f" where that reads back as the same float, else as many decimals as it takes
    // (positions and normals, which a write must not change).
    void exact(float value) {
        char tmp[80];
        buf_.append(tmp, size_t(obj_format_float(tmp, value) - tmp));
        maybeFlush();
    }
    bool finish() {
        flush();
        return ok_;
    }

private:
    static constexpr size_t CHUNK = 1 << 20;
    void maybeFlush() {
        if (buf_.size() >= CHUNK)
            flush();
    }
    void flush() {
        if (ok_ && !buf_.empty() && std::fwrite(buf_.data(), 1, buf_.size(), file_) != buf_.size())
            ok_ = false;
        buf_.clear();
    }
    FILE* file_;
    std::string buf_;
    bool ok_ = true;
};

void write_document(const MeshDocument& doc, OutText& out) {
    out.text("# ###############################\n"
             "# Obj file written by Marrowby1_1\n"
             "# Marrowby UV layout, by the Marrowby developers\n"
             "# https://marrowby.example/\n"
             "# ###############################\n"
             "g MarrowbyOut\n"
             "o MarrowbyOut\n"
             "# ");
    out.number(doc.vertexSlots - 1);
    out.text(" Vertex coords\n");
    for (int i = 1; i < doc.vertexSlots; i++) {
        // The position as read; a document built without the reader's record of it gives
        // the normalised position back through centre and radius.
        const Vec3& q = doc.vertices[size_t(i)];
        Vec3 p = size_t(i) < doc.filePositions.size()
                     ? doc.filePositions[size_t(i)]
                     : Vec3{doc.centre[0] + doc.radius * q.x, doc.centre[1] + doc.radius * q.y,
                            doc.centre[2] + doc.radius * q.z};
        out.text("v ");
        out.exact(p.x);
        out.text(" ");
        out.exact(p.y);
        out.text(" ");
        out.exact(p.z);
        out.text("\n");
    }
    out.text("\n# ");
    out.number(doc.normalCount);
    out.text(" Normal vectors\n");
    for (int i = 0; i < doc.normalCount; i++) {
        const Vec3& n = doc.normals[size_t(i)];
        out.text("vn ");
        out.exact(n.x);
        out.text(" ");
        out.exact(n.y);
        out.text(" ");
        out.exact(n.z);
        out.text("\n");
    }
    out.text("\n# ");
    out.number(doc.uvCount);
    out.text(" texture coords\n");
    for (int i = 0; i < doc.uvCount; i++) {
        out.text("vt ");
        out.fixed(doc.uvs[size_t(i)].u);
        out.text(" ");
        out.fixed(doc.uvs[size_t(i)].v);
        out.text(" 0.00\n");
    }
    out.text("\n# ");
    out.number(doc.faceCount);
    out.text(" Faces\n");
    for (int f = 0; f < doc.faceCount; f++) {
        const MeshFace& face = doc.faces[size_t(f)];
        out.text("f ");
        for (int k = 0; k < face.cornerCount; k++) {
            out.text(" ");
            out.number(face.vertexIndices[k]);
            out.text("/");
            out.number(face.uvIndices[k] + 1);
            out.text("/");
            out.number(face.normalIndices[k] + 1);
            out.text(" ");
        }
        out.text("\n");
    }
}

} // namespace

bool MeshDocument::writeObj(const char* target, const char* source, std::string* error) const {
    if (!source || !*source || !target || !*target)
        return false;
    std::string reason;
    bool ok = platform_write_file_atomically(
        target,
        [this](FILE* file) {
            OutText out(file);
            write_document(*this, out);
            return out.finish();
        },
        reason);
    if (!ok)
        std::fprintf(stderr, "marrowby: %s\n", reason.c_str());
    if (!ok && error)
        *error = reason;
    return ok;
}
