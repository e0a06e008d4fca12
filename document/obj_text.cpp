#include "document/obj_text.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <system_error>

ObjLineReader::ObjLineReader(const char* text, size_t size) : p_(text), end_(text + size) {
    if (size >= 3 && std::memcmp(text, "\xEF\xBB\xBF", 3) == 0)
        p_ += 3;
}

bool ObjLineReader::next(ObjLine& line) {
    if (p_ >= end_)
        return false;
    const char* start = p_;
    const char* stop = p_;
    while (stop < end_ && *stop != '\n' && *stop != '\r')
        stop++;
    p_ = stop;
    if (p_ < end_ && *p_ == '\r')
        p_++;
    if (p_ < end_ && *p_ == '\n' && (p_ == stop || p_[-1] == '\r'))
        p_++;
    line.number = ++number_;
    if (const void* hash = std::memchr(start, '#', size_t(stop - start)))
        stop = static_cast<const char*>(hash);
    while (start < stop && obj_is_blank(*start))
        start++;
    line.begin = start;
    line.end = stop;
    return true;
}

bool obj_find_binary_byte(const char* text, size_t size, size_t& offset, long& line) {
    line = 1;
    for (size_t i = 0; i < size; i++) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c >= 0x20)
            continue;
        if (c == '\n' || (c == '\r' && (i + 1 == size || text[i + 1] != '\n'))) {
            line++;
            continue;
        }
        if (c == '\t' || c == '\r' || c == '\v' || c == '\f')
            continue;
        offset = i;
        return true;
    }
    return false;
}

namespace {

bool has_negative_exponent(const char* begin, const char* end) {
    for (const char* c = begin; c + 1 < end; c++) {
        if ((*c == 'e' || *c == 'E') && c[1] == '-')
            return true;
    }
    return false;
}

} // namespace

const char* obj_read_float(const char* s, const char* end, float& value) {
    while (s < end && obj_is_blank(*s))
        s++;
    // from_chars takes no plus sign; the C conversions that files are written for do.
    if (s < end && *s == '+' && s + 1 < end && *(s + 1) != '-')
        s++;
    auto r = std::from_chars(s, end, value);
    if (r.ec == std::errc())
        return r.ptr;
    if (r.ec != std::errc::result_out_of_range)
        return nullptr;
    // Beyond the float range: the double conversion tells an overflow (infinity) from an
    // underflow (zero, or the nearest float below the normal range).
    double wide = 0;
    auto w = std::from_chars(s, end, wide);
    if (w.ec == std::errc()) {
        value = float(wide);
        return w.ptr;
    }
    bool negative = *s == '-';
    if (has_negative_exponent(s, r.ptr))
        value = negative ? -0.0f : 0.0f;
    else
        value = negative ? -std::numeric_limits<float>::infinity()
                         : std::numeric_limits<float>::infinity();
    return r.ptr;
}

char* obj_format_float(char* out, float value) {
    auto r = std::to_chars(out, out + 64, double(value), std::chars_format::fixed, 6);
    if (r.ec == std::errc()) {
        float back = 0;
        auto b = std::from_chars(out, r.ptr, back);
        if (b.ec == std::errc() && std::memcmp(&back, &value, sizeof value) == 0)
            return r.ptr;
    }
    // Shortest fixed text that reads back as this float: at most 39 digits before the point
    // (FLT_MAX) or 45 after it (the smallest subnormal) plus a sign and the point.
    r = std::to_chars(out, out + 64, value, std::chars_format::fixed);
    return r.ptr;
}
