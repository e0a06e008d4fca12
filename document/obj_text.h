#pragma once

#include <cstddef>

// The pieces of OBJ text handling that do not know about meshes: lines, text checks and
// numbers. Nothing here depends on the process's locale.

// One line of the text without its line end and without its comment, leading blanks skipped.
struct ObjLine {
    const char* begin;
    const char* end;
    long number; // 1-based
};

// Walks the lines of a text of any length. A line ends at LF, at CR LF, or at a CR alone
// (classic Mac files), and at the end of the text; '#' starts a comment that runs to the
// line end. A UTF-8 byte order mark before the first line is skipped.
class ObjLineReader {
public:
    ObjLineReader(const char* text, size_t size);
    bool next(ObjLine& line);

private:
    const char* p_;
    const char* end_;
    long number_ = 0;
};

// Where a text first holds a byte that no text file holds (NUL and the other control bytes
// except tab, LF, VT, FF and CR): its offset and 1-based line number. False for clean text.
bool obj_find_binary_byte(const char* text, size_t size, size_t& offset, long& line);

inline bool obj_is_blank(char c) {
    return c == ' ' || c == '\t';
}

// Reads one decimal floating-point number after any blanks at s, as the C locale writes it
// (an optional sign, digits with a point, an exponent; also inf and nan). Answers where it
// ended, or null when no number starts there. A value beyond the float range reads as an
// infinity, one below it as zero.
const char* obj_read_float(const char* s, const char* end, float& value);

// Appends the text for value to out (at least 64 bytes free) and answers its end: "%f" (six
// decimals) when that reads back as the same float, otherwise the shortest fixed-notation
// text that does. Non-finite values, which no reader accepts, are not expected here.
char* obj_format_float(char* out, float value);
