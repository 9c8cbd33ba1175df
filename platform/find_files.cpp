#include "platform/find_files.h"

#include "platform/file_errors.h"

#include <algorithm>
#include <cerrno>
#include <memory>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

namespace platform {

namespace {

char lowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

// Classic wildcard match with one remembered "*" position: linear in practice, never recursive.
bool matchFrom(const char *name, const char *mask)
{
    const char *starMask = nullptr;
    const char *starName = nullptr;
    while (*name) {
        if (*mask == '*') {
            starMask = ++mask;
            starName = name;
        } else if (*mask == '?' || (*mask && lowerAscii(*mask) == lowerAscii(*name))) {
            ++mask;
            ++name;
        } else if (starMask) {
            mask = starMask;
            name = ++starName;
        } else {
            return false;
        }
    }
    while (*mask == '*')
        ++mask;
    return *mask == '\0';
}

struct DirCloser {
    void operator()(DIR *dir) const { closedir(dir); }
};

// stat, not d_type: symlinks and file systems without d_type must count as their target. A
// link that leads nowhere, or nowhere we may look, is simply not a file; an entry of the folder
// itself that cannot be looked at means the folder cannot be read (no search permission).
bool isRegularFile(DIR *dir, const char *name, const std::string &folder)
{
    struct stat info {};
    if (fstatat(dirfd(dir), name, &info, 0) == 0)
        return S_ISREG(info.st_mode);
    const int error = errno;
    if (error == ENOENT || error == ELOOP || error == ENOTDIR
        || (fstatat(dirfd(dir), name, &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(info.st_mode)))
        return false;
    throw EFOpenError(folder, error);
}

} // namespace

bool MatchesMask(const std::string &name, const std::string &mask)
{
    return matchFrom(name.c_str(), mask.c_str());
}

namespace {

std::vector<std::string> findOrThrow(const std::string &pattern)
{
    const std::size_t slash = pattern.rfind('/');
    std::string folder = ".";
    if (slash != std::string::npos)
        folder = slash == 0 ? "/" : pattern.substr(0, slash);
    const std::string mask = slash == std::string::npos ? pattern : pattern.substr(slash + 1);

    std::vector<std::string> names;
    const std::unique_ptr<DIR, DirCloser> dir(opendir(folder.c_str()));
    if (!dir) {
        if (errno == ENOENT)
            return names;
        throw EFOpenError(folder, errno);
    }
    for (;;) {
        errno = 0;
        const dirent *entry = readdir(dir.get());
        if (!entry)
            break;
        const std::string name = entry->d_name;
        if (name.empty() || name[0] == '.' || !MatchesMask(name, mask))
            continue;
        if (isRegularFile(dir.get(), entry->d_name, folder))
            names.push_back(name);
    }
    // A listing cut short by a failing disk must not pass for the whole folder.
    if (errno != 0)
        throw EFOpenError(folder, errno);
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

std::vector<std::string> FindMatchingFiles(const std::string &pattern, UnreadableFolder unreadable)
{
    if (unreadable == UnreadableFolder::Fail)
        return findOrThrow(pattern);
    try {
        return findOrThrow(pattern);
    } catch (const EFOpenError &) {
        return {};
    }
}

} // namespace platform
