#include "platform/long_paths.h"

#include "platform/path_names.h"

#include <cerrno>
#include <vector>

#include <fcntl.h>

namespace platform {

namespace {

// The folder that holds the last name of path, entered name by name, and that name. An invalid
// descriptor, errno set, when a folder on the way cannot be entered.
FileDescriptor enterParent(const std::string &path, std::string &last)
{
    std::vector<std::string> names = pathNames(path);
    FileDescriptor folder(::open(path[0] == '/' ? "/" : ".", O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (names.empty() || !folder.valid()) {
        if (folder.valid())
            errno = ENOENT;
        return FileDescriptor();
    }
    last = names.back();
    names.pop_back();
    for (const std::string &name : names) {
        folder = FileDescriptor(
            ::openat(folder.get(), name.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
        if (!folder.valid())
            break;
    }
    return folder;
}

// ::fstatat of path from the current folder with flags, of any length as openPath.
int statAnyLength(const std::string &path, struct stat &status, int flags)
{
    const int result = ::fstatat(AT_FDCWD, path.c_str(), &status, flags);
    if (result == 0 || errno != ENAMETOOLONG)
        return result;
    std::string last;
    const FileDescriptor folder = enterParent(path, last);
    return folder.valid() ? ::fstatat(folder.get(), last.c_str(), &status, flags) : -1;
}

} // namespace

FileDescriptor openPath(const std::string &path, int flags)
{
    FileDescriptor file(::open(path.c_str(), flags | O_CLOEXEC));
    if (file.valid() || errno != ENAMETOOLONG)
        return file;
    std::string last;
    const FileDescriptor folder = enterParent(path, last);
    if (!folder.valid())
        return FileDescriptor();
    return FileDescriptor(::openat(folder.get(), last.c_str(), flags | O_CLOEXEC));
}

int statPath(const std::string &path, struct stat &status)
{
    return statAnyLength(path, status, 0);
}

int lstatPath(const std::string &path, struct stat &status)
{
    return statAnyLength(path, status, AT_SYMLINK_NOFOLLOW);
}

} // namespace platform
