#include "platform/win32/process_command_line.h"

#include <windows.h>

std::string platform_text_after_program(const char* commandLine) {
    const char* p = commandLine ? commandLine : "";
    while (*p == ' ' || *p == '\t')
        p++;
    // The program name ends at the next blank, or at its closing quote when it starts with one.
    if (*p == '"') {
        p++;
        while (*p && *p != '"')
            p++;
        if (*p == '"')
            p++;
    } else {
        while (*p && *p != ' ' && *p != '\t')
            p++;
    }
    while (*p == ' ' || *p == '\t')
        p++;
    std::string text = p;
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r' ||
                             text.back() == '\n'))
        text.pop_back();
    return text;
}

std::string platform_process_command_line() {
    return platform_text_after_program(GetCommandLineA());
}
