#include "platform/folders.h"

#include "platform/path_names.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include <dirent.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

struct DirCloser {
    void operator()(DIR *dir) const { closedir(dir); }
};

char lowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

bool lessIgnoringCase(const std::string &a, const std::string &b)
{
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const char x = lowerAscii(a[i]);
        const char y = lowerAscii(b[i]);
        if (x != y)
            return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
    }
    if (a.size() != b.size())
        return a.size() < b.size();
    return a < b;
}

} // namespace

std::string GetCurrentDir()
{
    std::string buffer(PATH_MAX, '\0');
    while (!getcwd(buffer.data(), buffer.size())) {
        if (errno != ERANGE)
            throw EInOutError(
                std::string("Cannot determine the current folder: ") + std::strerror(errno));
        buffer.resize(buffer.size() * 2);
    }
    buffer.resize(std::strlen(buffer.c_str()));
    return buffer;
}

void SetCurrentDir(const std::string &folder)
{
    if (chdir(folder.c_str()) != 0)
        throw EInOutError("Cannot open folder " + folder + ": " + std::strerror(errno));
}

void EnsureCurrentDir()
{
    try {
        GetCurrentDir();
    } catch (const EInOutError &) {
        SetCurrentDir("/");
    }
}

bool DirectoryExists(const std::string &path)
{
    struct stat info {
    };
    return !path.empty() && stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool CreateDir(const std::string &path)
{
    return mkdir(path.c_str(), 0777) == 0;
}

bool CreateFolderPath(const std::string &path)
{
    if (path.empty())
        throw EInOutError("Unable to create directory");
    std::string folder = path;
    if (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    if (folder == "/" || DirectoryExists(folder))
        return true;
    const std::size_t slash = folder.rfind('/');
    // No parent named: the parent is the current folder, which exists.
    if (slash == std::string::npos)
        return CreateDir(folder);
    const std::string parent = slash == 0 ? "/" : folder.substr(0, slash);
    return CreateFolderPath(parent) && CreateDir(folder);
}

std::string ExpandFileName(const std::string &path)
{
    if (path.empty())
        return path;
    const std::string absolute = path[0] == '/' ? path : GetCurrentDir() + "/" + path;
    std::vector<std::string> parts;
    for (const std::string &name : pathNames(absolute)) {
        if (name != "..")
            parts.push_back(name);
        else if (!parts.empty())
            parts.pop_back();
    }
    std::string result;
    for (const std::string &part : parts)
        result += "/" + part;
    if (result.empty())
        return "/";
    if (path.back() == '/')
        result += "/";
    return result;
}

std::vector<std::string> ListSubfolders(const std::string &folder)
{
    std::vector<std::string> names;
    const std::unique_ptr<DIR, DirCloser> dir(opendir(folder.c_str()));
    if (!dir)
        return names;
    const std::string prefix = folder.empty() || folder.back() == '/' ? folder : folder + "/";
    while (const dirent *entry = readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (name.empty() || name[0] == '.')
            continue;
        if (DirectoryExists(prefix + name))
            names.push_back(name);
    }
    std::sort(names.begin(), names.end(), lessIgnoringCase);
    return names;
}

} // namespace platform
