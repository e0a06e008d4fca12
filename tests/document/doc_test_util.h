#pragma once

#include "document/mesh_document.h"
#include "document/obj_reader.h"

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

// Reads OBJ text into doc; fails the calling test when the reader refuses it.
inline bool read_obj_text(MeshDocument& doc, const std::string& text, ObjReader* reader = nullptr) {
    ObjReader local;
    ObjReader& r = reader ? *reader : local;
    return r.readText(doc, "test.obj", text.data(), text.size());
}

inline std::string file_text(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

inline void write_text(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

inline std::string temp_dir() {
    std::string dir = std::string("/tmp/marrowby_doc_test_") + std::to_string(::getpid());
    std::string cmd = "mkdir -p " + dir;
    (void)std::system(cmd.c_str());
    return dir;
}

inline std::vector<std::string> real_meshes() {
    return {std::string(MARROWBY_MESH_DIR) + "/bunny.obj",
            std::string(MARROWBY_MESH_DIR) + "/dragon_res3.obj",
            std::string(MARROWBY_MESH_DIR) + "/snowden.obj"};
}
