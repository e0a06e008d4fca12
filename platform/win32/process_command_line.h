#pragma once

#include <string>

// The process's command line after the program name, as the starting program passed it (quotes
// kept), with the blanks around it removed. Empty when nothing follows the program name.
std::string platform_process_command_line();

// The same for a given command line text (the program name first, quoted or not).
std::string platform_text_after_program(const char* commandLine);
