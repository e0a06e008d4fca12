// The camera scanner on arbitrary bytes: it must stay inside the text up to its first NUL, and
// whatever it accepts must hold together.
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
        // A name is a non-empty run of bytes between two quotes of the text.
        if (u.name.empty() || u.name.find('"') != std::string::npos ||
            u.name.find('\0') != std::string::npos) {
            std::abort();
        }
        if (std::string_view(text, length).find(u.name) == std::string_view::npos) {
            std::abort();
        }
    }
    std::free(text);
    return 0;
}
