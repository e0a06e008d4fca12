// uvsnap: writes a picture of an OBJ file's UV layout, for texture painters and scripts.
#include "document/mesh_document.h"
#include "document/obj_reader.h"
#include "uvexport/uv_layout.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void usage(std::FILE* out) {
    std::fprintf(out,
                 "usage: uvsnap MESH.obj OUT.svg|OUT.png [SIZE] [--stretch]\n"
                 "Draws the unit square, every UV edge, chart borders and seams of the mesh's\n"
                 "layout into a picture of SIZE x SIZE pixels (default 1024, 16 to 16384);\n"
                 "--stretch fills every face with its stretch colour.\n");
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "--help") == 0) {
        usage(stdout);
        return 0;
    }
    int size = UV_PICTURE_DEFAULT_SIZE;
    bool stretch = false;
    const char* paths[2] = {nullptr, nullptr};
    int npaths = 0;
    bool sizeGiven = false;
    for (int i = 1; i < argc; i++) {
        if (std::strcmp(argv[i], "--stretch") == 0) {
            stretch = true;
        } else if (npaths < 2) {
            paths[npaths++] = argv[i];
        } else if (!sizeGiven) {
            char* end = nullptr;
            long n = std::strtol(argv[i], &end, 10);
            if (!*argv[i] || *end || n < UV_PICTURE_MIN_SIZE || n > UV_PICTURE_MAX_SIZE) {
                std::fprintf(stderr, "uvsnap: SIZE must be a number from 16 to 16384\n");
                return 2;
            }
            size = int(n);
            sizeGiven = true;
        } else {
            usage(stderr);
            return 2;
        }
    }
    UvPictureFormat format;
    if (npaths < 2 || !uv_picture_format_of(paths[1], &format)) {
        usage(stderr);
        return 2;
    }
    MeshDocument doc;
    ObjReader reader;
    if (!reader.read(doc, paths[0])) {
        std::fprintf(stderr, "uvsnap: %s\n", reader.error.c_str());
        return 1;
    }
    if (stretch)
        doc.computeStretch();
    std::string error;
    if (!export_uv_layout(doc, paths[1], size, stretch, &error)) {
        std::fprintf(stderr, "uvsnap: %s\n", error.c_str());
        return 1;
    }
    std::printf("%s: %d x %d\n", paths[1], size, size);
    return 0;
}
