#include "platform/volumes.h"

#include <algorithm>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>

#include <dirent.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>

namespace platform {

namespace {

bool startsWith(const std::string &text, const std::string &prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

// Whether path is folder itself or lies inside it, compared by whole components.
bool isInside(const std::string &path, const std::string &folder)
{
    if (folder == "/")
        return !path.empty() && path[0] == '/';
    return path == folder || startsWith(path, folder + "/");
}

bool isPseudoFileSystem(const std::string &type)
{
    static const std::set<std::string> pseudo { "proc", "sysfs", "cgroup", "cgroup2", "devpts",
        "devtmpfs", "mqueue", "debugfs", "tracefs", "securityfs", "pstore", "bpf", "configfs",
        "fusectl", "hugetlbfs", "autofs", "binfmt_misc", "efivarfs", "nsfs", "rpc_pipefs",
        "selinuxfs", "nfsd", "fuse.gvfsd-fuse", "fuse.portal", "fuse.lxcfs", "squashfs" };
    return pseudo.count(type) > 0;
}

// Places where the system mounts its own machinery; a user never looks for photos there.
bool isSystemArea(const std::string &mountPoint)
{
    if (isInside(mountPoint, "/run/media"))
        return false;
    for (const char *area : { "/proc", "/sys", "/dev", "/run", "/boot/efi", "/snap" })
        if (isInside(mountPoint, area))
            return true;
    return false;
}

VolumeKind kindOf(const std::string &type, const std::string &mountPoint)
{
    static const std::set<std::string> network { "nfs", "nfs4", "cifs", "smb3", "smbfs",
        "fuse.sshfs", "sshfs", "9p", "afs", "ncpfs", "fuse.rclone", "davfs", "fuse.davfs2",
        "glusterfs", "ceph" };
    if (network.count(type))
        return VolumeKind::Network;
    if (type == "iso9660" || type == "udf")
        return VolumeKind::CdRom;
    if (type == "tmpfs" || type == "ramfs")
        return VolumeKind::Ram;
    if (isInside(mountPoint, "/media") || isInside(mountPoint, "/run/media"))
        return VolumeKind::Removable;
    return VolumeKind::Fixed;
}

std::string readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string realPath(const std::string &path)
{
    const std::unique_ptr<char, decltype(&free)> resolved(realpath(path.c_str(), nullptr), &free);
    return resolved ? std::string(resolved.get()) : std::string();
}

// The kernel's flag for the disk that holds the block device source (a partition's flag lives
// on its disk, one folder up in sysfs).
bool isRemovableDevice(const std::string &source)
{
    const std::string device = realPath(source);
    if (!startsWith(device, "/dev/"))
        return false;
    const std::string sysfs = realPath("/sys/class/block/" + device.substr(5));
    if (sysfs.empty())
        return false;
    for (const std::string &flag : { sysfs + "/removable", sysfs + "/../removable" }) {
        std::ifstream in(flag);
        char value = '0';
        if (in >> value)
            return value == '1';
    }
    return false;
}

struct DirCloser {
    void operator()(DIR *dir) const { closedir(dir); }
};

// Device path (resolved) to label, from udev's by-label links.
std::map<std::string, std::string> labelsByDevice()
{
    std::map<std::string, std::string> labels;
    const std::string folder = "/dev/disk/by-label/";
    const std::unique_ptr<DIR, DirCloser> dir(opendir(folder.c_str()));
    if (!dir)
        return labels;
    while (const dirent *entry = readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        const std::string device = realPath(folder + name);
        if (!device.empty())
            labels[device] = DecodeLabel(name);
    }
    return labels;
}

std::map<std::string, std::string> &foldersByVolume()
{
    static std::map<std::string, std::string> folders;
    return folders;
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

std::string DecodeMountField(const std::string &field)
{
    std::string out;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            const std::string digits = field.substr(i + 1, 3);
            if (digits.size() == 3 && std::all_of(digits.begin(), digits.end(), [](char c) {
                    return c >= '0' && c <= '7';
                })) {
                out += char((digits[0] - '0') * 64 + (digits[1] - '0') * 8 + (digits[2] - '0'));
                i += 3;
                continue;
            }
        }
        out += field[i];
    }
    return out;
}

std::string DecodeLabel(const std::string &name)
{
    std::string out;
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (name[i] == '\\' && i + 3 < name.size() && name[i + 1] == 'x') {
            const int high = hexDigit(name[i + 2]);
            const int low = hexDigit(name[i + 3]);
            if (high >= 0 && low >= 0) {
                out += char(high * 16 + low);
                i += 3;
                continue;
            }
        }
        out += name[i];
    }
    return out;
}

std::vector<Volume> ParseMountInfo(const std::string &text)
{
    std::vector<Volume> volumes;
    // The roots listed so far, per device: what lies inside one of them is a bind duplicate.
    std::map<std::string, std::vector<std::string>> rootsByDevice;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string id, parent, device, root, mountPoint, options, field;
        if (!(fields >> id >> parent >> device >> root >> mountPoint >> options))
            continue;
        while (fields >> field && field != "-") { }
        Volume volume;
        if (field != "-" || !(fields >> volume.fsType >> volume.source))
            continue;
        volume.mountPoint = DecodeMountField(mountPoint);
        volume.source = DecodeMountField(volume.source);
        root = DecodeMountField(root);
        const bool isRoot = volume.mountPoint == "/";
        if (!isRoot && (isPseudoFileSystem(volume.fsType) || isSystemArea(volume.mountPoint)))
            continue;
        std::vector<std::string> &roots = rootsByDevice[device];
        // Btrfs subvolumes share a device but have roots side by side, so they all stay.
        const bool duplicate = std::any_of(
            roots.begin(), roots.end(), [&](const std::string &r) { return isInside(root, r); });
        if (duplicate && !isRoot)
            continue;
        roots.push_back(root);
        volume.kind = kindOf(volume.fsType, volume.mountPoint);
        // A later mount over the same point hides the earlier one.
        volumes.erase(std::remove_if(volumes.begin(), volumes.end(),
                          [&](const Volume &v) { return v.mountPoint == volume.mountPoint; }),
            volumes.end());
        volumes.push_back(volume);
    }
    std::sort(volumes.begin(), volumes.end(),
        [](const Volume &a, const Volume &b) { return a.mountPoint < b.mountPoint; });
    return volumes;
}

std::vector<Volume> ListVolumes()
{
    std::vector<Volume> volumes = ParseMountInfo(readFile("/proc/self/mountinfo"));
    // Containers bind single files (/etc/hosts and the like) from disks not otherwise listed.
    volumes.erase(std::remove_if(volumes.begin(), volumes.end(),
                      [](const Volume &v) {
                          struct stat info {
                          };
                          return stat(v.mountPoint.c_str(), &info) != 0 || !S_ISDIR(info.st_mode);
                      }),
        volumes.end());
    if (volumes.empty() || volumes.front().mountPoint != "/") {
        Volume root;
        root.mountPoint = "/";
        volumes.insert(volumes.begin(), root);
    }
    const std::map<std::string, std::string> labels = labelsByDevice();
    for (Volume &volume : volumes) {
        if (volume.kind == VolumeKind::Fixed && isRemovableDevice(volume.source))
            volume.kind = VolumeKind::Removable;
        const auto label = labels.find(realPath(volume.source));
        if (label != labels.end())
            volume.label = label->second;
    }
    return volumes;
}

std::string VolumeOf(const std::string &path, const std::vector<Volume> &volumes)
{
    std::string best = "/";
    for (const Volume &volume : volumes)
        if (isInside(path, volume.mountPoint) && volume.mountPoint.size() > best.size())
            best = volume.mountPoint;
    return best;
}

std::string FolderLastShownOn(const std::string &mountPoint)
{
    const auto found = foldersByVolume().find(mountPoint);
    return found == foldersByVolume().end() ? std::string() : found->second;
}

void RememberFolderOn(const std::string &mountPoint, const std::string &folder)
{
    foldersByVolume()[mountPoint] = folder;
}

} // namespace platform
