#include "platform/qt/key_map.h"

#include <Qt>

namespace {

int keypad_key(int qtKey) {
    if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9)
        return 96 + (qtKey - Qt::Key_0);
    // NumLock off: the keypad's second meanings.
    switch (qtKey) {
    case Qt::Key_Insert:
        return 96;
    case Qt::Key_End:
        return 97;
    case Qt::Key_Down:
        return 98;
    case Qt::Key_PageDown:
        return 99;
    case Qt::Key_Left:
        return 100;
    case Qt::Key_Clear:
        return 101;
    case Qt::Key_Right:
        return 102;
    case Qt::Key_Home:
        return 103;
    case Qt::Key_Up:
        return 104;
    case Qt::Key_PageUp:
        return 105;
    case Qt::Key_Asterisk:
        return 106;
    case Qt::Key_Plus:
        return 107;
    case Qt::Key_Minus:
        return 109;
    case Qt::Key_Period:
    case Qt::Key_Delete:
        return 110;
    case Qt::Key_Slash:
        return 111;
    case Qt::Key_Enter:
        return 13;
    default:
        return 0;
    }
}

} // namespace

int virtual_key_from_qt(int qtKey, Qt::KeyboardModifiers modifiers, quint32 nativeVirtualKey) {
    if (modifiers & Qt::KeypadModifier)
        return keypad_key(qtKey);
    if (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z)
        return 'A' + (qtKey - Qt::Key_A);
    if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9)
        return '0' + (qtKey - Qt::Key_0);
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F12)
        return 112 + (qtKey - Qt::Key_F1);
    switch (qtKey) {
    case Qt::Key_Shift:
        return 16;
    case Qt::Key_Control:
        return 17;
    case Qt::Key_Alt:
        return nativeVirtualKey == XK_ALT_R ? 165 : nativeVirtualKey == XK_ALT_L ? 164 : 18;
    case Qt::Key_Backspace:
        return 8;
    case Qt::Key_Tab:
        return 9;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return 13;
    case Qt::Key_Escape:
        return 27;
    case Qt::Key_Space:
        return 32;
    case Qt::Key_PageUp:
        return 33;
    case Qt::Key_PageDown:
        return 34;
    case Qt::Key_End:
        return 35;
    case Qt::Key_Home:
        return 36;
    case Qt::Key_Left:
        return 37;
    case Qt::Key_Up:
        return 38;
    case Qt::Key_Right:
        return 39;
    case Qt::Key_Down:
        return 40;
    case Qt::Key_Insert:
        return 45;
    case Qt::Key_Delete:
        return 46;
    default:
        return 0;
    }
}
