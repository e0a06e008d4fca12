#include "bridge/camera_updates.h"

#include "bridge/json_text.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <system_error>

namespace zelvora {

namespace {

// Past the blanks and the colon that separate a key from its value.
const char* skip_to_value(const char* p, const char* end) {
    while (p < end && (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n' || *p == ':')) {
        ++p;
    }
    return p;
}

// The finite number that starts at `from` (after blanks), read without regard to the process's
// locale. Returns the end of the number, or null when the value there is anything else (null,
// a string, an infinity or NaN, a number beyond the range of a double): that setting then
// stays as it is instead of being taken from some later digit.
const char* read_number(const char* from, const char* end, double* value) {
    const char* p = skip_to_value(from, end);
    // JSON has no plus sign, but the writers this reads may put one.
    if (p < end && *p == '+' && p + 1 < end && p[1] != '-') {
        ++p;
    }
    double v = 0.0;
    const auto result = std::from_chars(p, end, v);
    if (result.ec != std::errc() || !std::isfinite(v)) {
        return nullptr;
    }
    *value = v;
    return result.ptr;
}

bool read_name(Span object, std::string* name) {
    const char* p = json_find_key(object, "name");
    if (p == nullptr) {
        return false;
    }
    p = skip_to_value(p, object.end);
    if (p >= object.end || *p != '"') {
        return false;
    }
    const char* close = json_string_end(p, object.end);
    if (close == nullptr) {
        return false;
    }
    *name = json_unescape(p + 1, close - 1);
    return true;
}

bool read_bool(Span object, const char* key, bool* value) {
    const char* p = json_find_key(object, key);
    if (p == nullptr) {
        return false;
    }
    p = skip_to_value(p, object.end);
    const size_t left = static_cast<size_t>(object.end - p);
    if (left >= 4 && std::memcmp(p, "true", 4) == 0) {
        *value = true;
        return true;
    }
    if (left >= 5 && std::memcmp(p, "false", 5) == 0) {
        *value = false;
        return true;
    }
    return false;
}

bool read_scale(Span object, double* value) {
    const char* p = json_find_key(object, "scale_2d");
    return p != nullptr && read_number(p, object.end, value) != nullptr;
}

bool read_center(Span object, double value[3]) {
    const char* p = json_find_key(object, "center_2d");
    if (p == nullptr) {
        return false;
    }
    p = skip_to_value(p, object.end);
    if (p >= object.end || *p != '[') {
        return false;
    }
    ++p;
    double v[3];
    for (int i = 0; i < 3; ++i) {
        if (i > 0) {
            p = skip_to_value(p, object.end);
            if (p >= object.end || *p != ',') {
                return false;
            }
            ++p;
        }
        p = read_number(p, object.end, &v[i]);
        if (p == nullptr) {
            return false;
        }
    }
    p = skip_to_value(p, object.end);
    if (p >= object.end || *p != ']') {
        return false;
    }
    value[0] = v[0];
    value[1] = v[1];
    value[2] = v[2];
    return true;
}

// One object of the array, from its '{' through its '}'.
CameraUpdate read_update(Span object) {
    CameraUpdate update;
    read_name(object, &update.name);
    update.has_is_2d = read_bool(object, "is_2d", &update.is_2d);
    update.has_scale_2d = read_scale(object, &update.scale_2d);
    update.has_center_2d = read_center(object, update.center_2d);
    update.has_is_perspective = read_bool(object, "is_perspective", &update.is_perspective);
    return update;
}

// The '[' that opens the scenes' array: the one after the key "scenes", else the first of the
// text. Null without one.
const char* find_array(const char* text, const char* end) {
    if (const char* key = json_find_key(Span{text, end}, "scenes")) {
        if (const char* array = json_find_outside_strings(key, end, '[')) {
            return array;
        }
    }
    return json_find_outside_strings(text, end, '[');
}

} // namespace

std::vector<CameraUpdate> parse_camera_updates(const char* text) {
    std::vector<CameraUpdate> updates;
    if (text == nullptr) {
        return updates;
    }
    const char* end = text + std::strlen(text);
    const char* array = find_array(text, end);
    if (array == nullptr) {
        return updates;
    }
    // Every object inside the array, up to the bracket that closes it; strings and other
    // values between them are stepped over whole.
    int depth = 1;
    for (const char* p = array + 1; p < end && depth > 0;) {
        if (*p == '"') {
            p = json_string_end(p, end);
            if (p == nullptr) {
                break;
            }
            continue;
        }
        if (*p == '[') {
            ++depth;
        } else if (*p == ']') {
            --depth;
        } else if (*p == '{') {
            const char* close = json_object_end(p, end);
            if (close == nullptr) {
                break; // the unfinished last object is dropped
            }
            CameraUpdate update = read_update(Span{p, close + 1});
            if (!update.name.empty()) {
                updates.push_back(std::move(update));
            }
            p = close;
        }
        ++p;
    }
    return updates;
}

} // namespace zelvora
