// uvstats: prints the figures of the UV layout of each OBJ file given.
#include "document/mesh_document.h"
#include "document/obj_reader.h"
#include "tools/uvstats/uv_stats.h"

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0) {
        std::fprintf(
            argc < 2 ? stderr : stdout,
            "usage: uvstats FILE.obj [FILE.obj ...]\n"
            "Prints faces, charts, flipped triangles, angle distortion, stretch, the\n"
            "share of the unit square covered, UVs outside [0,1] and non-finite values.\n");
        return argc < 2 ? 2 : 0;
    }
    int failures = 0;
    for (int i = 1; i < argc; i++) {
        MeshDocument doc;
        ObjReader reader;
        if (!reader.read(doc, argv[i])) {
            std::fprintf(stderr, "uvstats: %s\n", reader.error.c_str());
            failures++;
            continue;
        }
        if (reader.noTexCoords) {
            std::fprintf(stderr, "uvstats: %s: no texture coordinates (vt lines)\n", argv[i]);
            failures++;
            continue;
        }
        print_uv_stats(stdout, argv[i], compute_uv_stats(doc));
    }
    return failures ? 1 : 0;
}
