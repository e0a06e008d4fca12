// Builds an unwrap handle from arbitrary bytes: faces of 3 or 4 corners over a few vertex keys
// (any winding, repeats, duplicates, degenerate positions), seams, pins and missing UV links;
// then checks the topology with and without hole filling.

#include "unwrap/unwrap.h"
#include "unwrap/unwrap_validate.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2)
        return 0;
    int nverts = 3 + data[0] % 29;
    bool fill = data[1] & 1;
    size_t pos = 2;
    auto next = [&]() -> uint8_t { return pos < size ? data[pos++] : 0; };

    std::vector<float> positions(size_t(nverts) * 3);
    for (int i = 0; i < nverts; i++)
        for (int k = 0; k < 3; k++)
            positions[size_t(i) * 3 + size_t(k)] = float(next() % 8);

    struct Face {
        int v[4];
        float uv[8];
        uint8_t pin[4];
        uint8_t select[4];
        int n;
        bool linked;
    };
    std::vector<Face> faces;
    std::vector<int> seams;
    while (pos + 5 <= size && faces.size() < 256) {
        uint8_t op = next();
        if (op % 8 == 7) {
            seams.push_back(next() % nverts);
            seams.push_back(next() % nverts);
            continue;
        }
        Face f{};
        f.n = op % 2 ? 4 : 3;
        for (int k = 0; k < f.n; k++) {
            f.v[k] = next() % nverts;
            f.uv[2 * k] = float(k);
            f.pin[k] = op & 16;
            f.select[k] = op & 32;
        }
        f.linked = !(op & 64);
        faces.push_back(f);
    }

    PHandle* handle = unwrap_handle_create();
    for (size_t i = 0; i < faces.size(); i++) {
        Face& f = faces[i];
        float* co[4];
        float* uv[4];
        for (int k = 0; k < f.n; k++) {
            co[k] = &positions[size_t(f.v[k]) * 3];
            uv[k] = f.linked ? &f.uv[2 * k] : nullptr;
        }
        unwrap_add_face(handle, int(i), f.n, f.v, co, uv, f.pin, f.select);
    }
    for (size_t i = 0; i + 1 < seams.size(); i += 2)
        unwrap_mark_seam(handle, seams[i], seams[i + 1]);
    unwrap_construct_end(handle, fill);
    std::string fault = unwrap_validate(handle, false);
    if (!fault.empty()) {
        std::fprintf(stderr, "unwrap topology fault: %s\n", fault.c_str());
        std::abort();
    }
    unwrap_flush(handle);
    unwrap_delete(handle);
    return 0;
}
