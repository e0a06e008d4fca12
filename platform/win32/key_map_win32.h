#pragma once

// Windows key messages to the numbers of the key table. The table's numbers are Windows
// virtual keys already; what needs the message's extended-key bit is told apart here: left Alt
// 164 and right Alt 165, and the keypad's digits with NumLock off, which arrive as the arrows,
// Home, End, Page Up/Down, Insert and Clear without the bit and become keypad 0..9 (96..105),
// so that keypad 2 stays apart from the down arrow.
int virtual_key_from_message(unsigned wParam, long lParam);
