#include "platform/volumes.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

using platform::VolumeKind;
using Listed = std::vector<std::pair<std::string, VolumeKind>>;

Listed listed(const std::string &mountInfo)
{
    Listed result;
    for (const platform::Volume &volume : platform::ParseMountInfo(mountInfo))
        result.emplace_back(volume.mountPoint, volume.kind);
    return result;
}

// A desktop's table: pseudo and system mounts, a bound subtree, one partition mounted twice,
// a stick whose mount point has a space, a share, a disc, a RAM disk, malformed lines.
TEST(ParseMountInfo, KeepsRecognisableVolumesWithTheirKind)
{
    const std::string text = "22 27 0:21 / /proc rw shared:5 - proc proc rw\n"
                             "24 27 0:6 / /dev rw - devtmpfs udev rw\n"
                             "25 24 0:23 / /dev/shm rw - tmpfs tmpfs rw\n"
                             "27 1 8:2 / / rw shared:1 - ext4 /dev/sda2 rw\n"
                             "28 27 8:3 / /home rw shared:2 - ext4 /dev/sda3 rw\n"
                             "29 27 8:3 /anna/shared /srv/shared rw - ext4 /dev/sda3 rw\n"
                             "30 27 8:3 / /mnt/home-again rw - ext4 /dev/sda3 rw\n"
                             "31 23 0:28 / /sys/fs/cgroup rw - cgroup2 cgroup2 rw\n"
                             "32 27 0:29 / /run rw - tmpfs tmpfs rw\n"
                             "33 32 8:17 / /media/anna/MY\\040PHOTOS rw - vfat /dev/sdb1 rw\n"
                             "34 27 0:40 / /mnt/nas rw - nfs4 nas:/export rw\n"
                             "35 27 11:0 / /mnt/cd ro - iso9660 /dev/sr0 ro\n"
                             "36 27 0:41 / /tmp rw - tmpfs tmpfs rw\n"
                             "37 27 0:42 / /mnt/server rw - fuse.sshfs anna@server:/data rw\n"
                             "38 32 8:33 / /run/media/anna/CAMERA rw - exfat /dev/sdc1 rw\n"
                             "malformed line\n"
                             "39 27 0:43 / /mnt/odd rw\n";
    const Listed expected { { "/", VolumeKind::Fixed }, { "/home", VolumeKind::Fixed },
        { "/media/anna/MY PHOTOS", VolumeKind::Removable }, { "/mnt/cd", VolumeKind::CdRom },
        { "/mnt/nas", VolumeKind::Network }, { "/mnt/server", VolumeKind::Network },
        { "/run/media/anna/CAMERA", VolumeKind::Removable }, { "/tmp", VolumeKind::Ram } };
    EXPECT_EQ(listed(text), expected);
}

// The root stays even when its device repeats; btrfs subvolumes share a device side by side.
TEST(ParseMountInfo, RootAndSubvolumesStayBindsInsideThemGo)
{
    const std::string text = "27 1 0:30 /@ / rw - btrfs /dev/nvme0n1p2 rw\n"
                             "28 27 0:30 /@home /home rw - btrfs /dev/nvme0n1p2 rw\n"
                             "29 27 0:30 /@home/anna/pub /srv/pub rw - btrfs /dev/nvme0n1p2 rw\n"
                             "30 27 0:30 /@homework /work rw - btrfs /dev/nvme0n1p2 rw\n"
                             "31 27 0:51 / /work rw - xfs /dev/vdc rw\n";
    const Listed expected { { "/", VolumeKind::Fixed }, { "/home", VolumeKind::Fixed },
        { "/work", VolumeKind::Fixed } };
    EXPECT_EQ(listed(text), expected);
    EXPECT_EQ(platform::ParseMountInfo(text).back().fsType, "xfs"); // the later mount hides
}

TEST(DecodeMountField, OctalAndHexEscapes)
{
    EXPECT_EQ(platform::DecodeMountField("/a\\040b\\011c\\134d"), "/a b\tc\\d");
    EXPECT_EQ(platform::DecodeMountField("end\\04 \\089"), "end\\04 \\089");
    EXPECT_EQ(platform::DecodeLabel("MY\\x20PHOTOS\\xZZ"), "MY PHOTOS\\xZZ");
}

TEST(VolumeOf, LongestMountPointByWholeComponents)
{
    const std::vector<platform::Volume> volumes { { "/", "", "", VolumeKind::Fixed, "" },
        { "/home", "", "", VolumeKind::Fixed, "" } };
    EXPECT_EQ(platform::VolumeOf("/home/anna", volumes), "/home");
    EXPECT_EQ(platform::VolumeOf("/homework", volumes), "/");
    EXPECT_EQ(platform::ListVolumes().front().mountPoint, "/");
}

} // namespace
