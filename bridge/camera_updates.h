// The camera settings su_apply_camera_2d reads: a forgiving scanner for the readers' own JSON and
// anything close to it, not a general JSON parser.
#ifndef ZELVORA_BRIDGE_CAMERA_UPDATES_H
#define ZELVORA_BRIDGE_CAMERA_UPDATES_H

#include <string>
#include <vector>

namespace zelvora {

// One object of the input. A value counts only when its flag is set: its key was found and its
// value, right after the key, read completely (numbers: finite numbers only).
struct CameraUpdate {
    std::string name; // the string's bytes with its JSON escapes undone
    bool is_2d = false;
    bool has_is_2d = false;
    double scale_2d = 0.0;
    bool has_scale_2d = false;
    double center_2d[3] = {0.0, 0.0, 0.0};
    bool has_center_2d = false;
    bool is_perspective = false;
    bool has_is_perspective = false;
};

// Reads the objects of the array under the key "scenes", or of the first array in the text, up to
// the bracket that closes that array. Strings are read whole, so braces, brackets, quotes and key
// words inside a name are its text and never structure. The text ends at its first NUL; nothing
// past that, or past an object's closing brace while reading the object's keys, is ever read.
// Objects without a name, and an unfinished last object, are dropped. Never fails: what cannot
// be read is left out.
std::vector<CameraUpdate> parse_camera_updates(const char* text);

} // namespace zelvora

#endif
