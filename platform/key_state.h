#pragma once

// Asynchronous key state: whether a mouse button or key is down at this moment, by Windows
// virtual key (left button 1, right 2, middle 4, Shift 16, Ctrl 17, left Alt 164). The window
// records every press and release here and clears the table when it loses focus; the views
// read it at every mouse event. UI thread only.

constexpr int VK_KEY_LBUTTON = 1;
constexpr int VK_KEY_RBUTTON = 2;
constexpr int VK_KEY_MBUTTON = 4;
constexpr int VK_KEY_LMENU = 164;

inline unsigned char* platform_key_table() {
    static unsigned char table[256] = {};
    return table;
}

inline bool platform_key_down(int virtualKey) {
    return virtualKey >= 0 && virtualKey < 256 && platform_key_table()[virtualKey] != 0;
}

inline void platform_set_key_down(int virtualKey, bool down) {
    if (virtualKey >= 0 && virtualKey < 256)
        platform_key_table()[virtualKey] = down ? 1 : 0;
}

inline void platform_clear_keys() {
    for (int i = 0; i < 256; ++i)
        platform_key_table()[i] = 0;
}
