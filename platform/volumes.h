#pragma once

#include <functional>
#include <string>
#include <vector>

namespace platform {

// What a volume is, which decides its glyph in the drive list.
enum class VolumeKind { Removable, Fixed, Network, CdRom, Ram };

// One mounted file system the user would recognise. Texts are bytes as the kernel gives them,
// escapes decoded.
struct Volume {
    std::string mountPoint; // absolute, "/" for the root file system
    std::string source; // device or remote name ("/dev/sdb1", "server:/export")
    std::string fsType; // "ext4", "nfs4", "fuse.sshfs", ...
    VolumeKind kind = VolumeKind::Fixed;
    std::string label; // empty when the file system has none or it cannot be read
};

// The volumes described by the text of /proc/self/mountinfo, sorted by mount point ("/" first).
// Pseudo file systems, mounts inside the system areas (/proc, /sys, /dev, /run except
// /run/media) and bind duplicates (a file system, or a subtree of one, already listed) are left
// out. The kind comes from the type and the mount point only; labels stay empty. Malformed lines
// are skipped.
std::vector<Volume> ParseMountInfo(const std::string &text);

// Decodes the kernel's octal escapes ("\040" is a space) in a mountinfo field.
std::string DecodeMountField(const std::string &field);

// Decodes the "\xHH" escapes that udev uses in /dev/disk/by-label names.
std::string DecodeLabel(const std::string &name);

// The volumes of this machine: ParseMountInfo of /proc/self/mountinfo less mount points that
// are not folders (bound files), with block devices that
// the kernel flags removable marked Removable and labels taken from /dev/disk/by-label. Never
// throws; when the mount table cannot be read, "/" alone.
std::vector<Volume> ListVolumes();

// The mount point among volumes that holds the absolute path: the longest one that is a whole
// leading run of its components. "/" when none does (or volumes is empty).
std::string VolumeOf(const std::string &path, const std::vector<Volume> &volumes);

// The folder last shown on the volume mounted at mountPoint during this process; empty when
// none was. Remembering replaces the previous folder of that volume.
std::string FolderLastShownOn(const std::string &mountPoint);
void RememberFolderOn(const std::string &mountPoint, const std::string &folder);

} // namespace platform
