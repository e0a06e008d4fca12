// Any text as the command line, and as the arguments the platform joins into one.

#include "app/command_line.h"
#include "platform/command_line.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Exactly the input, then its zero byte: reads past the text reach the redzone.
    std::vector<char> text(data, data + size);
    text.push_back('\0');
    CommandLineFields fields;
    if (cutCommandLine(text.data(), fields) == CommandLineShape::Complete) {
        for (const char* f :
             {fields.objPath, fields.seamPath, fields.method, fields.holes, fields.batch}) {
            if (f < text.data() || f > text.data() + size || f + std::strlen(f) > text.data() + size)
                __builtin_trap();
        }
    }
    // The same bytes as argv (split at zero bytes) through the platform's joining.
    std::vector<std::string> args = {"marrowby"};
    std::string current;
    for (size_t i = 0; i < size; i++) {
        if (data[i] == 0) {
            args.push_back(current);
            current.clear();
        } else {
            current += char(data[i]);
        }
    }
    args.push_back(current);
    std::vector<const char*> argv;
    for (const std::string& a : args)
        argv.push_back(a.c_str());
    std::string joined = platform_command_line(int(argv.size()), argv.data());
    std::vector<char> line(joined.begin(), joined.end());
    line.push_back('\0');
    cutCommandLine(line.data(), fields);
    return 0;
}
