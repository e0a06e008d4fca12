#include "platform/display.h"

#include <cstdlib>

namespace {

bool set(const char* name) {
    const char* value = std::getenv(name);
    return value && *value;
}

} // namespace

bool platform_display_available() {
    return set("DISPLAY") || set("WAYLAND_DISPLAY") || set("QT_QPA_PLATFORM");
}
