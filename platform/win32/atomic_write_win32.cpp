#include "platform/atomic_write.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>

namespace {

std::string last_error_text(DWORD code) {
    char* text = nullptr;
    DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                 FORMAT_MESSAGE_IGNORE_INSERTS,
                             nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string out = n && text ? std::string(text, n) : "error " + std::to_string(code);
    LocalFree(text);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == '.'))
        out.pop_back();
    return out;
}

std::string reason(const char* path, const char* what, DWORD code) {
    return std::string(path) + ": " + what + ": " + last_error_text(code);
}

// A temporary name beside the target that nobody else holds: the file is created exclusively.
HANDLE create_temporary(const std::string& path, std::string& temp) {
    for (unsigned attempt = 0; attempt < 100; attempt++) {
        temp = path + "." + std::to_string(GetCurrentProcessId()) + "." +
               std::to_string(GetTickCount() + attempt) + ".tmp";
        HANDLE h = CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS)
            return h;
    }
    SetLastError(ERROR_FILE_EXISTS);
    return INVALID_HANDLE_VALUE;
}

} // namespace

bool platform_write_file_atomically(const char* target, const std::function<bool(FILE*)>& fill,
                                    std::string& error) {
    error.clear();
    const std::string path = target;
    const DWORD attributes = GetFileAttributesA(target);
    const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
    if (!exists && GetLastError() != ERROR_FILE_NOT_FOUND) {
        error = reason(target, "cannot write", GetLastError());
        return false;
    }
    if (exists && (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE))) {
        error = path + ": cannot write: not a regular file";
        return false;
    }
    if (exists && (attributes & FILE_ATTRIBUTE_READONLY)) {
        error = path + ": cannot write: the file is read-only";
        return false;
    }
    std::string temp;
    HANDLE h = create_temporary(path, temp);
    if (h == INVALID_HANDLE_VALUE) {
        error = reason(target, "cannot write", GetLastError());
        return false;
    }
    int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_WRONLY | _O_BINARY);
    FILE* file = fd >= 0 ? _fdopen(fd, "wb") : nullptr;
    if (!file) {
        if (fd >= 0)
            _close(fd);
        else
            CloseHandle(h);
        DeleteFileA(temp.c_str());
        error = path + ": cannot write: the temporary file cannot be opened";
        return false;
    }
    bool ok = fill(file);
    DWORD code = ERROR_WRITE_FAULT;
    if (ok && std::fflush(file) != 0)
        ok = false;
    if (ok && !FlushFileBuffers(h)) {
        ok = false;
        code = GetLastError();
    }
    if (std::fclose(file) != 0 && ok)
        ok = false;
    // The replacement keeps the attributes a user gave the file (hidden, archive).
    if (ok && exists)
        SetFileAttributesA(temp.c_str(), attributes);
    if (ok &&
        !MoveFileExA(temp.c_str(), target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        ok = false;
        code = GetLastError();
    }
    if (!ok) {
        DeleteFileA(temp.c_str());
        error = reason(target, "cannot write", code);
    }
    return ok;
}
