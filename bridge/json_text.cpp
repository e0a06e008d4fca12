#include "bridge/json_text.h"

#include <cstring>

namespace zelvora {

namespace {

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

bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Whether the string body [begin, end) reads as `word` once unescaped. Most keys hold no
// escape, and those compare without a copy.
bool body_is(const char* begin, const char* end, const char* word) {
    const size_t n = static_cast<size_t>(end - begin);
    if (std::memchr(begin, '\\', n) == nullptr) {
        return n == std::strlen(word) && std::memcmp(begin, word, n) == 0;
    }
    return json_unescape(begin, end) == word;
}

} // namespace

const char* json_string_end(const char* open, const char* end) {
    for (const char* p = open + 1; p < end; ++p) {
        if (*p == '\\') {
            ++p;
        } else if (*p == '"') {
            return p + 1;
        }
    }
    return nullptr;
}

const char* json_find_outside_strings(const char* from, const char* end, char c) {
    for (const char* p = from; p < end;) {
        if (*p == c) {
            return p;
        }
        if (*p == '"') {
            p = json_string_end(p, end);
            if (p == nullptr) {
                return nullptr;
            }
            continue;
        }
        ++p;
    }
    return nullptr;
}

const char* json_object_end(const char* open, const char* end) {
    int depth = 1;
    for (const char* p = open + 1; p < end;) {
        if (*p == '"') {
            p = json_string_end(p, end);
            if (p == nullptr) {
                return nullptr;
            }
            continue;
        }
        if (*p == '{') {
            ++depth;
        } else if (*p == '}' && --depth == 0) {
            return p;
        }
        ++p;
    }
    return nullptr;
}

const char* json_find_key(Span text, const char* key) {
    for (const char* p = text.begin; p < text.end;) {
        if (*p != '"') {
            ++p;
            continue;
        }
        const char* close = json_string_end(p, text.end);
        if (close == nullptr) {
            return nullptr;
        }
        const char* next = close;
        while (next < text.end && is_blank(*next)) {
            ++next;
        }
        if (next < text.end && *next == ':' && body_is(p + 1, close - 1, key)) {
            return close;
        }
        p = close;
    }
    return nullptr;
}

std::string json_unescape(const char* p, const char* end) {
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

} // namespace zelvora
