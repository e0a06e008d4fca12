#pragma once

#include <cstddef>
#include <string>

class MeshDocument;

// Reads the OBJ subset (v, vt, vn, f) into a document, in two passes over the text: one that
// counts and one that appends. Input outside the subset fails the load with one message that
// names the file and the line.
class ObjReader {
public:
    // Reads the file at path into doc (cleared first). On failure doc is left cleared.
    bool read(MeshDocument& doc, const char* path);
    // The same over text in memory; name stands for the file in messages.
    bool readText(MeshDocument& doc, const char* name, const char* text, size_t size);

    bool noNormals = false;   // the file held no vn line; normals were computed per face
    bool noTexCoords = false; // the file held no vt line
    std::string error;        // "file:line: what", empty after a successful read
};

// The reader of the last load (kept until the next one).
ObjReader* last_obj_reader();
