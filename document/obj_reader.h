#pragma once

#include <cstddef>
#include <string>
#include <vector>

class MeshDocument;

// Reads the OBJ subset (v, vt, vn, f) into a document, in two passes over the text: one that
// counts and one that appends. Input outside the subset fails the load with one message that
// names the file and the line: a file that is not text, holds no OBJ line, or has a position
// or normal that is not a finite number. Every corner form of the format is read on any face;
// faces with fewer than three corners are dropped with a warning.
class ObjReader {
public:
    // Reads the file at path into doc (cleared first). On failure doc is left cleared.
    bool read(MeshDocument& doc, const char* path);
    // The same over text in memory; name stands for the file in messages.
    bool readText(MeshDocument& doc, const char* name, const char* text, size_t size);

    bool noNormals = false;   // the file held no vn line; normals were computed per face
    bool noTexCoords = false; // the file held no vt line
    std::string error;        // "file:line: what", empty after a successful read
    std::vector<std::string> warnings; // what a successful read dropped or replaced
};

// The reader of the last load (kept until the next one).
ObjReader* last_obj_reader();
