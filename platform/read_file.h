#pragma once

#include <string>

// Reads a whole regular file into bytes. Anything else (a folder, a device such as /dev/zero,
// a pipe) is refused before a byte is read, so that no input can make the program wait or
// grow without bound. On failure, error holds "path: reason".
bool platform_read_regular_file(const char* path, std::string& bytes, std::string& error);
