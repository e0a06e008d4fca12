#pragma once

#include <string>

// The program's command line as the start-up code expects it: the text after the program
// name, beginning with a double quote. The arguments are joined by single spaces and wrapped
// in double quotes unless the text already begins with one, so both a shell's
// `marrowby "m.obj,s.bin,,,-notlive"` and a host that passes the quoted text unchanged work.
// No arguments give an empty text.
std::string platform_command_line(int argc, const char* const* argv);
