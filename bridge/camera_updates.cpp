#include "bridge/camera_updates.h"

#include <cstdlib>
#include <cstring>

namespace zelvora {

namespace {

// A stretch of the input, [begin, end). Every search stays inside it.
struct Span {
    const char* begin;
    const char* end;
};

const char* find_char(const char* from, const char* end, char c) {
    if (from >= end) {
        return nullptr;
    }
    return static_cast<const char*>(std::memchr(from, c, static_cast<size_t>(end - from)));
}

const char* find_word(const char* from, const char* end, const char* word) {
    const size_t n = std::strlen(word);
    for (const char* p = from; p < end && static_cast<size_t>(end - p) >= n; ++p) {
        if (std::memcmp(p, word, n) == 0) {
            return p;
        }
    }
    return nullptr;
}

// Just past the key (its word in double quotes) in the object, or null without it.
const char* after_key(Span object, const char* quoted_key) {
    const char* key = find_word(object.begin, object.end, quoted_key);
    return key != nullptr ? key + std::strlen(quoted_key) : nullptr;
}

// Reads a number from the first '-' or digit at or after `from`. The object ends with '}', which
// no number contains, so strtod stops inside it. Returns the end of the number, or null.
const char* read_number(const char* from, const char* end, double* value) {
    const char* p = from;
    while (p < end && (*p == '\0' || std::strchr("-0123456789", *p) == nullptr)) {
        ++p;
    }
    if (p >= end) {
        return nullptr;
    }
    char* stop = nullptr;
    const double v = std::strtod(p, &stop);
    if (stop == p) {
        return nullptr;
    }
    *value = v;
    return stop;
}

bool read_name(Span object, std::string* name) {
    const char* p = after_key(object, "\"name\"");
    if (p == nullptr) {
        return false;
    }
    const char* open = find_char(p, object.end, '"');
    if (open == nullptr) {
        return false;
    }
    const char* close = find_char(open + 1, object.end, '"');
    if (close == nullptr) {
        return false;
    }
    name->assign(open + 1, close);
    return true;
}

bool read_bool(Span object, const char* quoted_key, bool* value) {
    const char* p = after_key(object, quoted_key);
    if (p == nullptr) {
        return false;
    }
    while (p < object.end && (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n' || *p == ':')) {
        ++p;
    }
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
    const char* p = after_key(object, "\"scale_2d\"");
    return p != nullptr && read_number(p, object.end, value) != nullptr;
}

bool read_center(Span object, double value[3]) {
    const char* p = after_key(object, "\"center_2d\"");
    if (p == nullptr) {
        return false;
    }
    p = find_char(p, object.end, '[');
    double v[3];
    for (int i = 0; i < 3 && p != nullptr; ++i) {
        if (i > 0) {
            p = find_char(p, object.end, ',');
            if (p == nullptr) {
                return false;
            }
        }
        p = read_number(p, object.end, &v[i]);
    }
    if (p == nullptr || find_char(p, object.end, ']') == nullptr) {
        return false;
    }
    value[0] = v[0];
    value[1] = v[1];
    value[2] = v[2];
    return true;
}

// The matching '}' of the '{' at `open`, or null when the text ends first. Braces inside strings
// count like any other.
const char* matching_brace(const char* open, const char* end) {
    int depth = 1;
    for (const char* p = open + 1; p < end; ++p) {
        if (*p == '{') {
            ++depth;
        } else if (*p == '}' && --depth == 0) {
            return p;
        }
    }
    return nullptr;
}

} // namespace

std::vector<CameraUpdate> parse_camera_updates(const char* text) {
    std::vector<CameraUpdate> updates;
    if (text == nullptr) {
        return updates;
    }
    const char* end = text + std::strlen(text);
    const char* array = nullptr;
    if (const char* key = find_word(text, end, "\"scenes\"")) {
        array = find_char(key + 8, end, '[');
    }
    if (array == nullptr) {
        array = find_char(text, end, '[');
    }
    if (array == nullptr) {
        return updates;
    }
    const char* pos = array + 1;
    while (pos < end) {
        const char* open = find_char(pos, end, '{');
        if (open == nullptr) {
            break;
        }
        const char* close = matching_brace(open, end);
        if (close == nullptr) {
            break;
        }
        const Span object{open, close + 1};
        CameraUpdate update;
        read_name(object, &update.name);
        update.has_is_2d = read_bool(object, "\"is_2d\"", &update.is_2d);
        update.has_scale_2d = read_scale(object, &update.scale_2d);
        update.has_center_2d = read_center(object, update.center_2d);
        update.has_is_perspective = read_bool(object, "\"is_perspective\"", &update.is_perspective);
        if (!update.name.empty()) {
            updates.push_back(std::move(update));
        }
        // Past the separator that follows the object.
        pos = close + 2;
    }
    return updates;
}

} // namespace zelvora
