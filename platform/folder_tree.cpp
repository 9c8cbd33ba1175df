#include "platform/folder_tree.h"

#include "platform/file_errors.h"
#include "platform/find_files.h"
#include "platform/long_paths.h"

#include <algorithm>
#include <cerrno>
#include <memory>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

namespace platform {

namespace {

struct DirCloser {
    void operator()(DIR *dir) const { closedir(dir); }
};

PathInfo infoFrom(const struct stat &status)
{
    PathInfo info;
    info.isFolder = S_ISDIR(status.st_mode);
    info.isRegularFile = S_ISREG(status.st_mode);
    info.device = std::uint64_t(status.st_dev);
    info.inode = std::uint64_t(status.st_ino);
    info.modified = status.st_mtim;
    return info;
}

PathInfo failedInfo(int error)
{
    PathInfo missing;
    missing.error = error;
    return missing;
}

// Where a link leads nowhere (dangling, a loop, through a file), it is no photo. Any other
// failure to follow it leaves unknown what it is.
bool leadsNowhere(int error)
{
    return error == ENOENT || error == ELOOP || error == ENOTDIR;
}

} // namespace

PathInfo InspectPath(const std::string &path)
{
    struct stat status {
    };
    if (statPath(path, status) != 0)
        return failedInfo(errno);
    return infoFrom(status);
}

PathInfo InspectEntry(const std::string &path)
{
    struct stat status {
    };
    if (lstatPath(path, status) != 0)
        return failedInfo(errno);
    return infoFrom(status);
}

PathInfo InspectOpen(int fd)
{
    struct stat status {
    };
    if (::fstat(fd, &status) != 0)
        return failedInfo(errno);
    return infoFrom(status);
}

FileDescriptor OpenFolderToList(const std::string &path)
{
    FileDescriptor folder = openPath(path, O_RDONLY | O_DIRECTORY);
    if (!folder.valid())
        throw EFOpenError(path, errno);
    return folder;
}

FileDescriptor OpenSubfolderToList(int parent, const std::string &name, const std::string &path)
{
    FileDescriptor folder(
        ::openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!folder.valid() && errno != ENOENT && errno != ENOTDIR && errno != ELOOP)
        throw EFOpenError(path, errno);
    return folder;
}

namespace {

// Sorts the visible entry name of the folder open as folder into level.
void examine(FolderLevel &level, int folder, const std::string &name, const std::string &path,
    const std::string &mask)
{
    struct stat status {
    };
    // lstat first: a symlink is a file when it points to one, never a folder to walk into.
    if (::fstatat(folder, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
        // Refused for one name, the search is refused for every name of the folder.
        if (errno == EACCES)
            throw EFOpenError(path, EACCES);
        if (errno != ENOENT)
            level.unexamined.emplace_back(name, errno);
        return;
    }
    if (S_ISDIR(status.st_mode)) {
        level.folders.emplace_back(name, infoFrom(status));
        return;
    }
    if (!MatchesMask(name, mask))
        return;
    if (S_ISLNK(status.st_mode) && ::fstatat(folder, name.c_str(), &status, 0) != 0) {
        if (!leadsNowhere(errno))
            level.unexamined.emplace_back(name, errno);
        return;
    }
    if (S_ISREG(status.st_mode))
        level.files.push_back(name);
}

} // namespace

FolderLevel ListFolderLevel(int folder, const std::string &path, const std::string &mask)
{
    // A descriptor of its own: the stream reads from the start and closes it, leaving folder.
    const int own = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const std::unique_ptr<DIR, DirCloser> dir(own >= 0 ? ::fdopendir(own) : nullptr);
    if (!dir) {
        const int error = errno;
        if (own >= 0)
            ::close(own);
        throw EFOpenError(path, error);
    }
    FolderLevel level;
    errno = 0;
    while (const dirent *entry = readdir(dir.get())) {
        if (entry->d_name[0] != '.')
            examine(level, folder, entry->d_name, path, mask);
        errno = 0;
    }
    if (errno != 0)
        throw EFOpenError(path, errno);
    std::sort(level.files.begin(), level.files.end());
    std::sort(level.folders.begin(), level.folders.end(),
        [](const auto &a, const auto &b) { return a.first < b.first; });
    std::sort(level.unexamined.begin(), level.unexamined.end());
    return level;
}

} // namespace platform
