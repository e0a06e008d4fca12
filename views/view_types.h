#pragma once

#include <cstdint>

// A view's rectangle in window pixels, y growing downwards.
struct ViewRect {
    int32_t left, top, right, bottom;
};

constexpr int MODE_NONE = 0;
constexpr int MODE_EDGE_SELECT = 1;
constexpr int MODE_UV_SELECT = 3;
constexpr int MODE_UV_MOVE = 7;
constexpr int MODE_EDGE_LOOP_PENDING = 8;
constexpr int MODE_EDGE_TOPOLOGICAL = 9;
constexpr int MODE_PIVOT = 10;
constexpr int MODE_UV_ISLAND_PENDING = 11;

// Key entry codes besides the modes.
constexpr int KEYCODE_SHIFT = 16;
constexpr int KEYCODE_CTRL = 32;

constexpr int EVT_MOUSE_MOVE = 1;
constexpr int EVT_LBUTTON_DOWN = 2;
constexpr int EVT_LBUTTON_UP = 4;
constexpr int EVT_MBUTTON_DOWN = 8;
constexpr int EVT_MBUTTON_UP = 16;
constexpr int EVT_RBUTTON_DOWN = 32;
constexpr int EVT_RBUTTON_UP = 64;
constexpr int EVT_KEY_DOWN = 128;
constexpr int EVT_KEY_UP = 256;
constexpr int EVT_LBUTTON_DBLCLK = 512;

// Process-wide display switches of the Switches and Textures menus; the window toggles them,
// the frame and the picking read them. All 0 at start.
struct DisplaySwitches {
    uint8_t wireframe = 0;
    uint8_t dontSelectBackFaces = 0;
    uint8_t singleSelect = 0;
    uint8_t showStretch = 0;
    static DisplaySwitches& instance();
};

// True when the selection mode takes rectangles and clicks (navigation ends a rectangle in them).
inline bool mode_is_selection(int mode) {
    return mode == MODE_EDGE_SELECT || mode == MODE_UV_SELECT || mode == MODE_EDGE_LOOP_PENDING ||
           mode == MODE_EDGE_TOPOLOGICAL || mode == MODE_UV_ISLAND_PENDING;
}
