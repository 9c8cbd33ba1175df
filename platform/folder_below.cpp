#include "platform/folder_below.h"

#include "platform/path_names.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>

namespace platform {

namespace {

// Opens a folder for reading, or where that is not allowed (a folder we may enter and write in
// but not list) as a path only, which still serves to open and create what is inside it.
FileDescriptor openFolder(int at, const char *name, int flags, bool &readable)
{
    FileDescriptor folder(::openat(at, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC | flags));
    readable = folder.valid();
    if (!folder.valid() && errno == EACCES)
        folder = FileDescriptor(::openat(at, name, O_PATH | O_DIRECTORY | O_CLOEXEC | flags));
    return folder;
}

bool isLink(int at, const char *name)
{
    struct stat status = {};
    return ::fstatat(at, name, &status, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(status.st_mode);
}

// One name inside the open folder at, made first when missing and create is set.
FileDescriptor enterName(int at, const std::string &name, bool create, bool &readable)
{
    if (name == "..") {
        errno = EXDEV;
        return FileDescriptor();
    }
    FileDescriptor folder = openFolder(at, name.c_str(), O_NOFOLLOW, readable);
    if (!folder.valid() && errno == ENOENT && create
        && (::mkdirat(at, name.c_str(), 0777) == 0 || errno == EEXIST))
        folder = openFolder(at, name.c_str(), O_NOFOLLOW, readable);
    return folder;
}

} // namespace

FolderBelow enterFolderBelow(const std::string &top, const std::string &below, bool create)
{
    FolderBelow result;
    result.folder = openFolder(AT_FDCWD, top.c_str(), 0, result.readable);
    if (!result.folder.valid()) {
        result.failedPath = top;
        result.error = errno;
        return result;
    }
    std::string reached = top;
    for (const std::string &name : pathNames(below)) {
        reached += "/" + name;
        FileDescriptor next = enterName(result.folder.get(), name, create, result.readable);
        if (!next.valid()) {
            result.error = errno;
            result.failedPath = reached;
            // O_NOFOLLOW | O_DIRECTORY meets a link as "not a directory": tell the two apart.
            result.isLink = isLink(result.folder.get(), name.c_str());
            result.folder.reset();
            return result;
        }
        result.folder = std::move(next);
    }
    return result;
}

} // namespace platform
