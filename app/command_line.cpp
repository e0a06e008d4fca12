#include "app/command_line.h"

#include <cstring>

namespace {

constexpr size_t FIELD_WINDOW = 255;

} // namespace

CommandLineShape cutCommandLine(char* text, CommandLineFields& fields) {
    fields = CommandLineFields{};
    if (!text || !*text)
        return CommandLineShape::Empty;
    char* starts[5];
    // Field 1's window begins at the opening quote, which is skipped.
    char* from = text + 1;
    size_t window = FIELD_WINDOW - 1;
    for (int i = 0; i < 5; i++) {
        starts[i] = from;
        size_t available = strnlen(from, window);
        char* end = static_cast<char*>(std::memchr(from, i < 4 ? ',' : '"', available));
        if (!end)
            return CommandLineShape::Incomplete;
        *end = '\0';
        from = end + 1;
        window = FIELD_WINDOW;
    }
    fields.objPath = starts[0];
    fields.seamPath = starts[1];
    fields.method = starts[2];
    fields.holes = starts[3];
    fields.batch = starts[4];
    return CommandLineShape::Complete;
}
