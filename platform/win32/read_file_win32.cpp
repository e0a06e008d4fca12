#include "platform/read_file.h"

#include <windows.h>

namespace {

std::string why(DWORD code) {
    switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return "No such file or directory";
    case ERROR_ACCESS_DENIED:
        return "Permission denied";
    case ERROR_SHARING_VIOLATION:
        return "the file is in use";
    default:
        return "error " + std::to_string(code);
    }
}

} // namespace

bool platform_read_regular_file(const char* path, std::string& bytes, std::string& error) {
    bytes.clear();
    error.clear();
    if (!path || !*path) {
        error = "(no path): no file named";
        return false;
    }
    const DWORD attributes = GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        error = std::string(path) + ": is a folder, not a file";
        return false;
    }
    HANDLE h = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        error = std::string(path) + ": cannot open: " + why(GetLastError());
        return false;
    }
    // Devices, pipes and consoles are refused before a byte is read.
    if (GetFileType(h) != FILE_TYPE_DISK) {
        CloseHandle(h);
        error = std::string(path) + ": is not a regular file";
        return false;
    }
    LARGE_INTEGER size;
    if (GetFileSizeEx(h, &size) && size.QuadPart > 0)
        bytes.reserve(size_t(size.QuadPart));
    char chunk[1 << 16];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(h, chunk, sizeof chunk, &got, nullptr)) {
            error = std::string(path) + ": cannot read: " + why(GetLastError());
            CloseHandle(h);
            bytes.clear();
            return false;
        }
        if (got == 0)
            break;
        bytes.append(chunk, got);
    }
    CloseHandle(h);
    return true;
}
