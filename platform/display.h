#pragma once

// Whether a window could be opened at all: an X11 or Wayland display is named in the
// environment, or the toolkit was pointed at a platform of its own (QT_QPA_PLATFORM, such as
// offscreen). Without one the toolkit would abort the process when the window is made.
bool platform_display_available();
