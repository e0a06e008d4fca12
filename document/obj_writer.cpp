#include "document/mesh_document.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

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
    // "%f": six decimals.
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
        // Back to the file's coordinates, in single precision as stored.
        const Vec3& p = doc.vertices[size_t(i)];
        out.text("v ");
        out.fixed(doc.centre[0] + doc.radius * p.x);
        out.text(" ");
        out.fixed(doc.centre[1] + doc.radius * p.y);
        out.text(" ");
        out.fixed(doc.centre[2] + doc.radius * p.z);
        out.text("\n");
    }
    out.text("\n# ");
    out.number(doc.normalCount);
    out.text(" Normal vectors\n");
    for (int i = 0; i < doc.normalCount; i++) {
        const Vec3& n = doc.normals[size_t(i)];
        out.text("vn ");
        out.fixed(n.x);
        out.text(" ");
        out.fixed(n.y);
        out.text(" ");
        out.fixed(n.z);
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

bool MeshDocument::writeObj(const char* target, const char* source) const {
    if (!source || !*source || !target || !*target)
        return false;
    // A temporary file next to the target, renamed over it only when complete: a failed
    // write leaves the target as it was.
    std::string temp = std::string(target) + ".XXXXXX";
    int fd = mkstemp(temp.data());
    if (fd < 0) {
        std::fprintf(stderr, "marrowby: cannot write %s: %s\n", target, std::strerror(errno));
        return false;
    }
    struct stat st;
    if (stat(target, &st) == 0) {
        (void)fchmod(fd, st.st_mode & 07777);
    } else {
        mode_t mask = umask(0);
        umask(mask);
        (void)fchmod(fd, 0666 & ~mask);
    }
    FILE* file = fdopen(fd, "w");
    if (!file) {
        close(fd);
        unlink(temp.c_str());
        return false;
    }
    OutText out(file);
    write_document(*this, out);
    bool ok = out.finish();
    ok = std::fflush(file) == 0 && ok;
    ok = fsync(fileno(file)) == 0 && ok;
    int savedErrno = errno;
    ok = std::fclose(file) == 0 && ok;
    if (ok && std::rename(temp.c_str(), target) != 0) {
        savedErrno = errno;
        ok = false;
    }
    if (!ok) {
        unlink(temp.c_str());
        std::fprintf(stderr, "marrowby: cannot write %s: %s\n", target, std::strerror(savedErrno));
    }
    return ok;
}
