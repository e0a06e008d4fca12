#include "platform/display.h"

// A Windows session always has a desktop to open the window on; when creating it fails all
// the same, the window layer reports that itself.
bool platform_display_available() {
    return true;
}
