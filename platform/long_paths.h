#pragma once

#include "platform/file_descriptor.h"

#include <string>

#include <sys/stat.h>

namespace platform {

// Opens path (a byte string, used as it is) as ::open(path, flags) does, also where it is longer
// than the system looks up at once: its folders are then entered one name at a time, each from
// the descriptor of the one before, symbolic links followed as the system follows them. Returns
// an invalid descriptor, errno set, when it fails.
FileDescriptor openPath(const std::string &path, int flags);

// ::stat of path (symbolic links followed), of any length as openPath. Returns 0, or -1 with
// errno set.
int statPath(const std::string &path, struct stat &status);

// ::lstat of path (a symbolic link at its end not followed), of any length as openPath.
int lstatPath(const std::string &path, struct stat &status);

} // namespace platform
