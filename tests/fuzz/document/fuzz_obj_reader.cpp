// Any text through the OBJ reader, the derived data and one undo round.

#include "document/mesh_document.h"
#include "document/obj_reader.h"
#include "document/undo_history.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static MeshDocument doc;
    static UndoHistory history(doc);
    ObjReader reader;
    if (reader.readText(doc, "fuzz.obj", reinterpret_cast<const char*>(data), size)) {
        history.push();
        if (doc.edgeCount > 0)
            doc.edges[0].flags = 0x22;
        history.push();
        history.undo();
        doc.findEdge(1, 2);
    }
    history.reset();
    return 0;
}
