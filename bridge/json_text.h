// Token-level helpers for the camera scanner: a JSON string is always read as one token, so that
// a brace, bracket, quote or key word inside a scene name is never taken for structure.
#ifndef ZELVORA_BRIDGE_JSON_TEXT_H
#define ZELVORA_BRIDGE_JSON_TEXT_H

#include <string>

namespace zelvora {

// A stretch of the input, [begin, end). Every search stays inside it.
struct Span {
    const char* begin;
    const char* end;
};

// Just past the closing quote of the string whose opening quote is at `open`; null when the
// text ends inside the string.
const char* json_string_end(const char* open, const char* end);

// The first `c` at or after `from` that is not inside a string; null without one (or when a
// string runs to the end of the text).
const char* json_find_outside_strings(const char* from, const char* end, char c);

// The '}' that closes the '{' at `open`, counting braces outside strings only; null when the text
// ends first.
const char* json_object_end(const char* open, const char* end);

// Just past the closing quote of the first string in `text` that is a key (a colon follows it,
// after blanks) and whose unescaped value is `key`; keys of nested objects count too. Null
// without one.
const char* json_find_key(Span text, const char* key);

// The body of a JSON string, [begin, end) between its quotes, with its escapes undone: \" \\ \/
// \b \f \n \r \t, and \uXXXX as UTF-8 (a surrogate pair as the one code point it stands for).
// An escape that is not JSON stays as written. Never longer than the body.
std::string json_unescape(const char* begin, const char* end);

} // namespace zelvora

#endif
