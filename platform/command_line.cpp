#include "platform/command_line.h"

std::string platform_command_line(int argc, const char* const* argv) {
    std::string text;
    for (int i = 1; i < argc; i++) {
        if (i > 1)
            text += ' ';
        text += argv[i] ? argv[i] : "";
    }
    if (text.empty() || text[0] == '"')
        return text;
    return "\"" + text + "\"";
}
