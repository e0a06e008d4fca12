#include "bridge/camera_updates.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <system_error>

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

int hex_digit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// Four hex digits at p (within end), or -1.
long hex4(const char* p, const char* end) {
    if (end - p < 4) {
        return -1;
    }
    long value = 0;
    for (int i = 0; i < 4; ++i) {
        const int d = hex_digit(p[i]);
        if (d < 0) {
            return -1;
        }
        value = value * 16 + d;
    }
    return value;
}

void append_utf8(std::string* out, unsigned long code) {
    if (code < 0x80) {
        *out += static_cast<char>(code);
    } else if (code < 0x800) {
        *out += static_cast<char>(0xC0 | (code >> 6));
        *out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        *out += static_cast<char>(0xE0 | (code >> 12));
        *out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        *out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        *out += static_cast<char>(0xF0 | (code >> 18));
        *out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        *out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        *out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// The bytes of a JSON string body [p, end) with its escapes undone, so that a name the reader
// escaped compares equal to the scene's own name. An escape that is not JSON stays as written.
std::string unescape(const char* p, const char* end) {
    std::string out;
    while (p < end) {
        if (*p != '\\' || p + 1 >= end) {
            out += *p++;
            continue;
        }
        static const char letters[] = "\"\\/bfnrt";
        static const char decoded[] = "\"\\/\b\f\n\r\t";
        const char c = p[1];
        const char* simple = c != '\0' ? std::strchr(letters, c) : nullptr;
        if (simple != nullptr) {
            out += decoded[simple - letters];
            p += 2;
            continue;
        }
        long code = c == 'u' ? hex4(p + 2, end) : -1;
        if (code < 0) {
            out += *p++;
            continue;
        }
        p += 6;
        // A surrogate pair stands for one code point above U+FFFF.
        if (code >= 0xD800 && code <= 0xDBFF && end - p >= 6 && p[0] == '\\' && p[1] == 'u') {
            const long low = hex4(p + 2, end);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
                p += 6;
            }
        }
        append_utf8(&out, static_cast<unsigned long>(code));
    }
    return out;
}

bool read_name(Span object, std::string* name) {
    const char* p = after_key(object, "\"name\"");
    if (p == nullptr) {
        return false;
    }
    p = skip_to_value(p, object.end);
    if (p >= object.end || *p != '"') {
        return false;
    }
    const char* open = p;
    for (p = open + 1; p < object.end; ++p) {
        if (*p == '\\') {
            ++p;
        } else if (*p == '"') {
            *name = unescape(open + 1, p);
            return true;
        }
    }
    return false;
}

bool read_bool(Span object, const char* quoted_key, bool* value) {
    const char* p = after_key(object, quoted_key);
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
    const char* p = after_key(object, "\"scale_2d\"");
    return p != nullptr && read_number(p, object.end, value) != nullptr;
}

bool read_center(Span object, double value[3]) {
    const char* p = after_key(object, "\"center_2d\"");
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
