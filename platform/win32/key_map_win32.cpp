#include "platform/win32/key_map_win32.h"

#include <windows.h>

namespace {

constexpr long EXTENDED_KEY = 1L << 24;

int keypad_digit(unsigned vk) {
    switch (vk) {
    case VK_INSERT:
        return VK_NUMPAD0;
    case VK_END:
        return VK_NUMPAD1;
    case VK_DOWN:
        return VK_NUMPAD2;
    case VK_NEXT:
        return VK_NUMPAD3;
    case VK_LEFT:
        return VK_NUMPAD4;
    case VK_CLEAR:
        return VK_NUMPAD5;
    case VK_RIGHT:
        return VK_NUMPAD6;
    case VK_HOME:
        return VK_NUMPAD7;
    case VK_UP:
        return VK_NUMPAD8;
    case VK_PRIOR:
        return VK_NUMPAD9;
    default:
        return 0;
    }
}

} // namespace

int virtual_key_from_message(unsigned wParam, long lParam) {
    const bool extended = (lParam & EXTENDED_KEY) != 0;
    if (wParam == VK_MENU)
        return extended ? VK_RMENU : VK_LMENU;
    if (!extended) {
        if (int digit = keypad_digit(wParam))
            return digit;
    }
    return wParam < 256 ? int(wParam) : 0;
}
