#pragma once

#include <QtGlobal>
#include <qnamespace.h>

// Toolkit key events to the virtual key numbers of the key table: Shift 16, Ctrl 17, 'A'..'Z'
// 65..90, '0'..'9' 48..57, the arrows 37..40, numeric keypad 0..9 96..105, left Alt 164,
// right Alt 165. Keypad keys carry the keypad modifier, which keeps keypad 2 apart from both
// the digit 2 and the down arrow (with NumLock off it arrives as the down arrow). 0 for keys
// the program has no number for.
int virtual_key_from_qt(int qtKey, Qt::KeyboardModifiers modifiers, quint32 nativeVirtualKey);

constexpr quint32 XK_ALT_L = 0xffe9;
constexpr quint32 XK_ALT_R = 0xffea;
