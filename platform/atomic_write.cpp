#include "platform/atomic_write.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string reason(const char* path, const char* what, int err) {
    return std::string(path) + ": " + what + ": " + std::strerror(err);
}

// The path the write must replace: the file itself, or the file that a chain of links ends at.
bool resolve_target(const char* target, std::string& path, bool& exists, struct stat& st,
                    std::string& error) {
    struct stat link;
    if (lstat(target, &link) != 0) {
        if (errno != ENOENT) {
            error = reason(target, "cannot write", errno);
            return false;
        }
        path = target;
        exists = false;
        return true;
    }
    if (S_ISLNK(link.st_mode)) {
        std::unique_ptr<char, decltype(&std::free)> real(realpath(target, nullptr), &std::free);
        if (!real) {
            error = reason(target, "cannot follow the link", errno);
            return false;
        }
        path = real.get();
    } else {
        path = target;
    }
    if (stat(path.c_str(), &st) != 0) {
        error = reason(target, "cannot write", errno);
        return false;
    }
    exists = true;
    if (!S_ISREG(st.st_mode)) {
        error = std::string(target) + ": cannot write: not a regular file";
        return false;
    }
    // access() answers yes to root for any file; a file without a single write bit is still
    // meant to stay as it is.
    if (access(path.c_str(), W_OK) != 0 || (st.st_mode & 0222) == 0) {
        error = std::string(target) + ": cannot write: the file is read-only";
        return false;
    }
    return true;
}

} // namespace

bool platform_write_file_atomically(const char* target, const std::function<bool(FILE*)>& fill,
                                    std::string& error) {
    error.clear();
    std::string path;
    bool exists = false;
    struct stat st;
    if (!resolve_target(target, path, exists, st, error))
        return false;
    std::string temp = path + ".XXXXXX";
    int fd = mkstemp(temp.data());
    if (fd < 0) {
        error = reason(target, "cannot write", errno);
        return false;
    }
    if (exists) {
        // Giving the file back to its owner works only where the process may do so (root,
        // or a group of the user's); anyone else's own file already has the right owner.
        // The mode comes after, since a change of owner may drop set-id bits.
        if (fchown(fd, st.st_uid, st.st_gid) != 0)
            errno = 0;
        (void)fchmod(fd, st.st_mode & 07777);
    } else {
        mode_t mask = umask(0);
        umask(mask);
        (void)fchmod(fd, 0666 & ~mask);
    }
    FILE* file = fdopen(fd, "w");
    if (!file) {
        int err = errno;
        close(fd);
        unlink(temp.c_str());
        error = reason(target, "cannot write", err);
        return false;
    }
    errno = 0;
    bool ok = fill(file);
    int err = errno ? errno : EIO;
    if (ok && (std::fflush(file) != 0 || fsync(fileno(file)) != 0)) {
        ok = false;
        err = errno;
    }
    if (std::fclose(file) != 0 && ok) {
        ok = false;
        err = errno;
    }
    if (ok && std::rename(temp.c_str(), path.c_str()) != 0) {
        ok = false;
        err = errno;
    }
    if (!ok) {
        unlink(temp.c_str());
        error = reason(target, "cannot write", err);
    }
    return ok;
}
