#include "platform/folder_tree.h"

#include "platform/file_errors.h"
#include "platform/find_files.h"

#include <algorithm>
#include <cerrno>
#include <memory>

#include <dirent.h>
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

PathInfo failedInspection()
{
    PathInfo missing;
    missing.error = errno;
    return missing;
}

} // namespace

PathInfo InspectPath(const std::string &path)
{
    struct stat status {
    };
    if (stat(path.c_str(), &status) != 0)
        return failedInspection();
    return infoFrom(status);
}

PathInfo InspectEntry(const std::string &path)
{
    struct stat status {
    };
    if (lstat(path.c_str(), &status) != 0)
        return failedInspection();
    return infoFrom(status);
}

FolderLevel ListFolderLevel(const std::string &folder, const std::string &mask)
{
    const std::unique_ptr<DIR, DirCloser> dir(opendir(folder.c_str()));
    if (!dir)
        throw EFOpenError(folder, errno);
    FolderLevel level;
    const std::string prefix = folder + "/";
    errno = 0;
    while (const dirent *entry = readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (name.empty() || name[0] == '.') {
            errno = 0;
            continue;
        }
        struct stat status {
        };
        // lstat first: a symlink is a file when it points to one, never a folder to walk into.
        if (lstat((prefix + name).c_str(), &status) == 0) {
            if (S_ISDIR(status.st_mode)) {
                level.folders.emplace_back(name, infoFrom(status));
            } else if (MatchesMask(name, mask)
                && (S_ISREG(status.st_mode)
                    || (S_ISLNK(status.st_mode) && stat((prefix + name).c_str(), &status) == 0
                        && S_ISREG(status.st_mode)))) {
                level.files.push_back(name);
            }
        }
        errno = 0;
    }
    if (errno != 0)
        throw EFOpenError(folder, errno);
    std::sort(level.files.begin(), level.files.end());
    std::sort(level.folders.begin(), level.folders.end(),
        [](const auto &a, const auto &b) { return a.first < b.first; });
    return level;
}

} // namespace platform
