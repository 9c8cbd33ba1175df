#include "platform/find_files.h"

#include <algorithm>
#include <memory>

#include <dirent.h>
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

bool isRegularFile(const std::string &path)
{
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

} // namespace

bool MatchesMask(const std::string &name, const std::string &mask)
{
    return matchFrom(name.c_str(), mask.c_str());
}

std::vector<std::string> FindMatchingFiles(const std::string &pattern)
{
    const std::size_t slash = pattern.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : pattern.substr(0, slash + 1);
    const std::string mask = slash == std::string::npos ? pattern : pattern.substr(slash + 1);

    std::vector<std::string> names;
    const std::unique_ptr<DIR, DirCloser> dir(opendir(folder.c_str()));
    if (!dir)
        return names;
    while (const dirent *entry = readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (name.empty() || name[0] == '.' || !MatchesMask(name, mask))
            continue;
        // stat, not d_type: symlinks and file systems without d_type must count as their target.
        if (isRegularFile(folder + name))
            names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace platform
