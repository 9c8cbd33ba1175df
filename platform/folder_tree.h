#pragma once

#include "platform/file_descriptor.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include <time.h>

namespace platform {

// What a path names on the file system, symlinks followed.
struct PathInfo {
    int error = 0; // errno of the failed stat, 0 when it succeeded
    bool isFolder = false;
    bool isRegularFile = false;
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    timespec modified {}; // the last change of its contents

    bool exists() const { return error == 0; }
    // Whether both name the same existing file or folder.
    bool sameAs(const PathInfo &other) const
    {
        return exists() && other.exists() && device == other.device && inode == other.inode;
    }
};

// What path (of any length, see statPath) names.
PathInfo InspectPath(const std::string &path);

// What the entry at path itself is: a symlink there is not followed (and is neither a folder nor
// a regular file), the folders on the way are.
PathInfo InspectEntry(const std::string &path);

// What the file or folder open as fd is.
PathInfo InspectOpen(int fd);

// One level of a folder as a tree walk needs it.
struct FolderLevel {
    // Names matching the mask (as MatchesMask) of regular files, symlinks counting as what they
    // point to, sorted bytewise: exactly what FindMatchingFiles gives for the same folder.
    std::vector<std::string> files;
    // Visible subfolders (names not beginning with "."), sorted bytewise, with what each is.
    // Symlinks to folders are left out, so that a walk never follows one out of the tree.
    std::vector<std::pair<std::string, PathInfo>> folders;
    // Visible entries that could not be looked at, in name order, each with the system's reason:
    // whether they are photos or folders cannot be told. An entry that went away meanwhile, or a
    // link that leads nowhere, is not among them.
    std::vector<std::pair<std::string, int>> unexamined;
};

// Opens the folder at path (a byte string of any length, used as it is, symlinks followed) to
// be listed. Throws EFOpenError(path, errno).
FileDescriptor OpenFolderToList(const std::string &path);

// Opens the subfolder name of the folder open as parent to be listed, never through a symbolic
// link; path names it in errors. An invalid descriptor when name has gone or is no longer a
// folder (changed since it was listed); throws EFOpenError(path, errno) for any other failure.
FileDescriptor OpenSubfolderToList(int parent, const std::string &name, const std::string &path);

// Lists the folder open as folder (it stays open and is read from its start); path names it in
// errors. Every entry is looked at from the folder's descriptor, so a folder however deep is
// listed whole. Throws EFOpenError(path, errno) when the folder cannot be read, or when no entry
// of it can be looked at (EACCES: it may be listed but not searched).
FolderLevel ListFolderLevel(int folder, const std::string &path, const std::string &mask);

} // namespace platform
