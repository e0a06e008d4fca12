#include "app/command_line.h"

#include <cstring>

CommandLineShape cutCommandLine(char* text, CommandLineFields& fields) {
    fields = CommandLineFields{};
    if (!text || !*text)
        return CommandLineShape::Empty;
    char* starts[5];
    // The first character (the opening quote) is skipped unchecked.
    char* from = text + 1;
    for (int i = 0; i < 5; i++) {
        starts[i] = from;
        char* end = std::strchr(from, i < 4 ? ',' : '"');
        if (!end)
            return CommandLineShape::Incomplete;
        *end = '\0';
        from = end + 1;
    }
    fields.objPath = starts[0];
    fields.seamPath = starts[1];
    fields.method = starts[2];
    fields.holes = starts[3];
    fields.batch = starts[4];
    if (char* sixth = std::strchr(starts[4], ',')) {
        *sixth = '\0';
        fields.packing = sixth + 1;
    }
    return CommandLineShape::Complete;
}
