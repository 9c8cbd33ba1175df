#pragma once

#include <cstdint>
#include <string>
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

PathInfo InspectPath(const std::string &path);

// What the entry at path itself is: a symlink there is not followed (and is neither a folder nor
// a regular file), the folders on the way are.
PathInfo InspectEntry(const std::string &path);

// One level of a folder as a tree walk needs it.
struct FolderLevel {
    // Names matching the mask (as MatchesMask) of regular files, symlinks counting as what they
    // point to, sorted bytewise: exactly what FindMatchingFiles gives for the same folder.
    std::vector<std::string> files;
    // Visible subfolders (names not beginning with "."), sorted bytewise, with what each is.
    // Symlinks to folders are left out, so that a walk never follows one out of the tree.
    std::vector<std::pair<std::string, PathInfo>> folders;
};

// Lists folder (a byte string, used as it is). Throws EFOpenError(folder, errno) when it cannot
// be opened or read.
FolderLevel ListFolderLevel(const std::string &folder, const std::string &mask);

} // namespace platform
