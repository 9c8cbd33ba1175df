#include "platform/control_groups.h"

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace platform {

namespace {

std::string wholeFile(const std::string &path)
{
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> split(const std::string &text, char separator)
{
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(text);
    while (std::getline(in, part, separator))
        parts.push_back(part);
    return parts;
}

bool listsController(const std::string &list, const std::string &controller)
{
    for (const std::string &name : split(list, ','))
        if (name == controller)
            return true;
    return false;
}

// The path of this process's group in the hierarchy, from /proc/self/cgroup
// ("ID:CONTROLLERS:PATH"; the unified hierarchy is "0::PATH").
bool groupPath(const std::string &controller, const std::string &cgroupText, std::string &path)
{
    std::istringstream lines(cgroupText);
    std::string line;
    while (std::getline(lines, line)) {
        const std::size_t first = line.find(':');
        const std::size_t second = line.find(':', first + 1);
        if (first == std::string::npos || second == std::string::npos)
            continue;
        const std::string controllers = line.substr(first + 1, second - first - 1);
        const bool unified = line.compare(0, first, "0") == 0 && controllers.empty();
        if (controller.empty() ? unified : listsController(controllers, controller)) {
            path = line.substr(second + 1);
            return true;
        }
    }
    return false;
}

// Where that hierarchy is mounted and which of its groups the mount shows at its top, from
// /proc/self/mountinfo ("ID PARENT DEV ROOT MOUNTPOINT OPTIONS [OPTIONAL...] - TYPE SOURCE
// SUPEROPTIONS").
bool hierarchyMount(const std::string &controller, const std::string &mountInfoText,
    std::string &root, std::string &mountPoint)
{
    std::istringstream lines(mountInfoText);
    std::string line;
    while (std::getline(lines, line)) {
        const std::size_t dash = line.find(" - ");
        if (dash == std::string::npos)
            continue;
        std::istringstream before(line.substr(0, dash));
        std::istringstream after(line.substr(dash + 3));
        std::string id, parent, device, type, source, superOptions;
        before >> id >> parent >> device >> root >> mountPoint;
        after >> type >> source >> superOptions;
        if (controller.empty() ? type == "cgroup2"
                               : type == "cgroup" && listsController(superOptions, controller))
            return true;
    }
    return false;
}

} // namespace

std::vector<std::string> controlGroupFolders(
    const std::string &controller, const std::string &cgroupText, const std::string &mountInfoText)
{
    std::string path, root, mountPoint;
    if (!groupPath(controller, cgroupText, path)
        || !hierarchyMount(controller, mountInfoText, root, mountPoint))
        return {};
    // Inside a container the mount may show a group deeper than the hierarchy's top; the path
    // is then relative to that group. A path outside the mounted part is not reachable.
    if (root != "/") {
        if (path.compare(0, root.size(), root) != 0)
            path = "/";
        else
            path = path.substr(root.size());
    }
    std::vector<std::string> folders;
    std::string relative = path;
    while (!relative.empty() && relative.back() == '/')
        relative.pop_back();
    for (;;) {
        folders.push_back(mountPoint + relative);
        if (relative.empty())
            break;
        const std::size_t slash = relative.rfind('/');
        relative.erase(slash == std::string::npos ? 0 : slash);
    }
    return folders;
}

std::vector<std::string> controlGroupFolders(const std::string &controller)
{
    return controlGroupFolders(
        controller, wholeFile("/proc/self/cgroup"), wholeFile("/proc/self/mountinfo"));
}

int coresFromQuota(long long quota, long long period)
{
    if (quota <= 0 || period <= 0)
        return 0;
    return int((quota + period - 1) / period);
}

int coresFromCpuMax(const std::string &text)
{
    std::istringstream in(text);
    std::string quota;
    long long period = 0;
    if (!(in >> quota >> period) || quota == "max")
        return 0;
    char *end = nullptr;
    const long long value = std::strtoll(quota.c_str(), &end, 10);
    return *end == '\0' ? coresFromQuota(value, period) : 0;
}

std::uint64_t bytesFromMemoryLimit(const std::string &text)
{
    // Version 1 says "no limit" with the largest page-aligned 63-bit number.
    constexpr std::uint64_t noLimit = std::uint64_t(1) << 62;
    if (text.empty() || text == "max")
        return 0;
    char *end = nullptr;
    errno = 0;
    const unsigned long long value = std::strtoull(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || text[0] == '-' || value >= noLimit)
        return 0;
    return value;
}

std::string firstLineOf(const std::string &path)
{
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

} // namespace platform
