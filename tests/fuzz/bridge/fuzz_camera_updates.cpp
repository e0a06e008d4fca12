// The camera scanner on arbitrary bytes: it must stay inside the text up to its first NUL, and
// whatever it accepts must hold together.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bridge/camera_updates.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // An exact-size heap copy, so AddressSanitizer sees any read past the terminator.
    char* text = static_cast<char*>(std::malloc(size + 1));
    if (text == nullptr) {
        return 0;
    }
    std::memcpy(text, data, size);
    text[size] = '\0';
    const size_t length = std::strlen(text);

    const std::vector<zelvora::CameraUpdate> updates = zelvora::parse_camera_updates(text);
    for (const zelvora::CameraUpdate& u : updates) {
        // A name is a non-empty string of the text with its escapes undone, which never makes it
        // longer than the text it came from.
        if (u.name.empty() || u.name.size() > length)
            std::abort();
        // A value is taken only when it is a finite number.
        if (u.has_scale_2d && !std::isfinite(u.scale_2d))
            std::abort();
        for (double c : u.center_2d)
            if (u.has_center_2d && !std::isfinite(c))
                std::abort();
    }
    std::free(text);
    return 0;
}
