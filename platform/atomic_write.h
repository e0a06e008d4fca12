#pragma once

#include <cstdio>
#include <functional>
#include <string>

// Replaces the file at target with what fill writes, or leaves it exactly as it was.
//
// The text goes to a temporary file in the same folder as the file it replaces, which is
// renamed over it only once complete and on disk. A symbolic link is followed: its target is
// replaced (in the target's folder) and the link stays a link. The replacement keeps the
// file's permission bits (and its owner, where the process may set it). A file the user may
// not write, or one marked read-only for everybody, is refused as a plain write would refuse
// it, as is anything that is not a regular file. fill answers false to abandon the write.
// On failure, error holds "path: reason".
bool platform_write_file_atomically(const char* target, const std::function<bool(FILE*)>& fill,
                                    std::string& error);
