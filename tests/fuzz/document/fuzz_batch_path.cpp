// Any bytes through the whole batch path: they become the OBJ file (and a seam list), the
// program runs on them as a host would start it, and then either the file holds a result that
// loads again with the same vertices and faces, or the run said it failed and the file is
// exactly as it was.
//
// Input: byte 0 holds the switches (bit 0 -lscm, bit 1 -nofillholes), byte 1 the length n of
// the seam list, the next n bytes the seam list, and the rest the OBJ file.

#include "app/startup.h"
#include "document/mesh_document.h"
#include "document/obj_reader.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

namespace {

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void write_file(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2)
        return 0;
    const int switches = data[0];
    const size_t seamLength = data[1] < size - 2 ? data[1] : size - 2;
    const std::string seams(reinterpret_cast<const char*>(data) + 2, seamLength);
    const std::string obj(reinterpret_cast<const char*>(data) + 2 + seamLength,
                          size - 2 - seamLength);

    static const std::string dir = "/tmp/marrowby_fuzz_batch_" + std::to_string(getpid());
    static const bool made = std::system(("mkdir -p " + dir).c_str()) == 0;
    if (!made)
        __builtin_trap();
    const std::string objPath = dir + "/mesh.obj", seamPath = dir + "/seams.bin";
    write_file(objPath, obj);
    write_file(seamPath, seams);

    std::string arg = objPath + "," + seamPath + "," + ((switches & 1) ? "-lscm" : "") + "," +
                      ((switches & 2) ? "-nofillholes" : "") + ",-notlive";
    const char* argv[] = {"marrowby", arg.c_str()};
    const int code = marrowby_main(2, argv);

    const std::string after = read_file(objPath);
    if (code == EXIT_BATCH_DONE) {
        // The result loads again, with the vertices and faces the input had.
        MeshDocument original, written;
        ObjReader reader;
        if (!reader.readText(original, "input", obj.data(), obj.size()))
            __builtin_trap();
        if (!reader.readText(written, "written", after.data(), after.size()))
            __builtin_trap();
        if (written.vertexSlots != original.vertexSlots || written.faceCount != original.faceCount)
            __builtin_trap();
    } else if (code == EXIT_LOAD_FAILED) {
        if (after != obj)
            __builtin_trap();
    } else {
        __builtin_trap(); // a temporary folder is always writable
    }
    return 0;
}
