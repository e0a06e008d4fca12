// seamgen: writes a seam list that cuts a mesh into charts along plane sections.
#include "document/mesh_document.h"
#include "document/obj_reader.h"
#include "tools/seamgen/seam_cuts.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
    if (argc < 3 || std::strcmp(argv[1], "--help") == 0) {
        std::fprintf(
            argc < 3 ? stderr : stdout,
            "usage: seamgen MESH.obj SEAMS.bin [SLABS]\n"
            "Cuts the mesh into SLABS slabs (default 4) along its longest axis and writes\n"
            "the edges between slabs as a seam list file.\n");
        return argc < 3 ? 2 : 0;
    }
    int slabs = argc > 3 ? std::atoi(argv[3]) : 4;
    if (slabs < 1 || slabs > 100000) {
        std::fprintf(stderr, "seamgen: SLABS must be between 1 and 100000\n");
        return 2;
    }
    MeshDocument doc;
    ObjReader reader;
    if (!reader.read(doc, argv[1])) {
        std::fprintf(stderr, "seamgen: %s\n", reader.error.c_str());
        return 1;
    }
    SeamPairs pairs = seams_to_discs(doc, seams_along_slabs(doc, slabs));
    if (!write_seam_list(argv[2], pairs)) {
        std::fprintf(stderr, "seamgen: cannot write %s\n", argv[2]);
        return 1;
    }
    std::printf("%s: %zu seam edges in %d slabs\n", argv[2], pairs.size(), slabs);
    return 0;
}
