#include "platform/read_file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

bool platform_read_regular_file(const char* path, std::string& bytes, std::string& error) {
    bytes.clear();
    error.clear();
    if (!path || !*path) {
        error = "(no path): no file named";
        return false;
    }
    // Non-blocking, so that opening a pipe with no writer does not wait; regular files
    // ignore the flag.
    int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = std::string(path) + ": cannot open: " + std::strerror(errno);
        return false;
    }
    struct stat st;
    if (fstat(fd, &st) != 0) {
        error = std::string(path) + ": cannot read: " + std::strerror(errno);
        close(fd);
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        error = std::string(path) +
                (S_ISDIR(st.st_mode) ? ": is a folder, not a file" : ": is not a regular file");
        close(fd);
        return false;
    }
    if (st.st_size > 0)
        bytes.reserve(size_t(st.st_size));
    char chunk[1 << 16];
    for (;;) {
        ssize_t got = read(fd, chunk, sizeof chunk);
        if (got > 0) {
            bytes.append(chunk, size_t(got));
            continue;
        }
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            error = std::string(path) + ": cannot read: " + std::strerror(errno);
            close(fd);
            bytes.clear();
            return false;
        }
        break;
    }
    close(fd);
    return true;
}
