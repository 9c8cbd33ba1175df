#include "platform/volumes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// A desktop's mount table: pseudo file systems, system tmpfs, a bind of a subtree, the same
// partition mounted twice, a USB stick whose label has a space, a share and a disc.
const char *const desktopMountInfo
    = "22 27 0:21 / /proc rw,relatime shared:5 - proc proc rw\n"
      "23 27 0:22 / /sys rw,relatime shared:6 - sysfs sysfs rw\n"
      "24 27 0:6 / /dev rw,relatime - devtmpfs udev rw,size=1000k\n"
      "25 24 0:23 / /dev/shm rw,relatime - tmpfs tmpfs rw\n"
      "26 24 0:24 / /dev/pts rw,relatime - devpts devpts rw,mode=600\n"
      "27 1 8:2 / / rw,relatime shared:1 - ext4 /dev/sda2 rw,errors=remount-ro\n"
      "28 27 8:3 / /home rw,relatime shared:2 - ext4 /dev/sda3 rw\n"
      "29 27 8:3 /anna/shared /srv/shared rw,relatime shared:2 - ext4 /dev/sda3 rw\n"
      "30 27 8:3 / /mnt/home-again rw,relatime shared:2 - ext4 /dev/sda3 rw\n"
      "31 23 0:28 / /sys/fs/cgroup rw,relatime - cgroup2 cgroup2 rw\n"
      "32 27 0:29 / /run rw,nosuid - tmpfs tmpfs rw\n"
      "33 32 8:17 / /media/anna/MY\\040PHOTOS rw,nosuid shared:9 - vfat /dev/sdb1 rw\n"
      "34 27 0:40 / /mnt/nas rw,relatime - nfs4 nas:/export/photos rw,vers=4.2\n"
      "35 27 11:0 / /mnt/cd ro,relatime - iso9660 /dev/sr0 ro\n"
      "36 27 0:41 / /tmp rw,relatime - tmpfs tmpfs rw\n"
      "37 27 0:42 / /mnt/server rw - fuse.sshfs anna@server:/data rw\n"
      "38 32 8:33 / /run/media/anna/CAMERA rw - exfat /dev/sdc1 rw\n"
      "malformed line without separator\n"
      "39 27 0:43 / /mnt/odd rw\n";

std::vector<std::string> mountPoints(const std::vector<platform::Volume> &volumes)
{
    std::vector<std::string> points;
    for (const platform::Volume &volume : volumes)
        points.push_back(volume.mountPoint);
    return points;
}

TEST(ParseMountInfo, KeepsRecognisableVolumesOnly)
{
    const std::vector<std::string> expected { "/", "/home", "/media/anna/MY PHOTOS", "/mnt/cd",
        "/mnt/nas", "/mnt/server", "/run/media/anna/CAMERA", "/tmp" };
    EXPECT_EQ(mountPoints(platform::ParseMountInfo(desktopMountInfo)), expected);
}

TEST(ParseMountInfo, KindFollowsTypeAndPlace)
{
    using platform::VolumeKind;
    const std::vector<std::pair<std::string, VolumeKind>> expected { { "/", VolumeKind::Fixed },
        { "/home", VolumeKind::Fixed }, { "/media/anna/MY PHOTOS", VolumeKind::Removable },
        { "/mnt/cd", VolumeKind::CdRom }, { "/mnt/nas", VolumeKind::Network },
        { "/mnt/server", VolumeKind::Network }, { "/run/media/anna/CAMERA", VolumeKind::Removable },
        { "/tmp", VolumeKind::Ram } };
    const std::vector<platform::Volume> volumes = platform::ParseMountInfo(desktopMountInfo);
    ASSERT_EQ(volumes.size(), expected.size());
    for (std::size_t i = 0; i < volumes.size(); ++i) {
        EXPECT_EQ(volumes[i].mountPoint, expected[i].first);
        EXPECT_EQ(volumes[i].kind, expected[i].second) << volumes[i].mountPoint;
    }
    EXPECT_EQ(volumes[4].source, "nas:/export/photos");
}

// The root survives even in a container, where it is an overlay whose device repeats below.
TEST(ParseMountInfo, RootIsAlwaysKeptAndLaterMountsHideEarlierOnes)
{
    const std::string text = "10 1 0:50 / / rw - overlay overlay rw\n"
                             "11 10 0:51 / /data rw - ext4 /dev/vdb rw\n"
                             "12 10 0:52 / /data rw - xfs /dev/vdc rw\n";
    const std::vector<platform::Volume> volumes = platform::ParseMountInfo(text);
    ASSERT_EQ(volumes.size(), 2u);
    EXPECT_EQ(volumes[0].mountPoint, "/");
    EXPECT_EQ(volumes[1].fsType, "xfs");
}

// Btrfs subvolumes share one device; only a mount inside a listed subvolume is a duplicate.
TEST(ParseMountInfo, BtrfsSubvolumesAreVolumesTheirBindsAreNot)
{
    const std::string text = "27 1 0:30 /@ / rw - btrfs /dev/nvme0n1p2 rw,subvol=/@\n"
                             "28 27 0:30 /@home /home rw - btrfs /dev/nvme0n1p2 rw,subvol=/@home\n"
                             "29 27 0:30 /@home/anna/pub /srv/pub rw - btrfs /dev/nvme0n1p2 rw\n"
                             "30 27 0:30 /@homework /work rw - btrfs /dev/nvme0n1p2 rw\n";
    const std::vector<std::string> expected { "/", "/home", "/work" };
    EXPECT_EQ(mountPoints(platform::ParseMountInfo(text)), expected);
}

TEST(DecodeMountField, OctalEscapesOnly)
{
    EXPECT_EQ(platform::DecodeMountField("/media/a\\040b\\011c\\134d"), "/media/a b\tc\\d");
    EXPECT_EQ(platform::DecodeMountField("end\\04"), "end\\04");
    EXPECT_EQ(platform::DecodeMountField("\\089"), "\\089");
    EXPECT_EQ(platform::DecodeLabel("MY\\x20PHOTOS\\x2f"), "MY PHOTOS/");
    EXPECT_EQ(platform::DecodeLabel("bad\\xZZ"), "bad\\xZZ");
}

TEST(VolumeOf, LongestMountPointByWholeComponents)
{
    const std::vector<platform::Volume> volumes = platform::ParseMountInfo(desktopMountInfo);
    EXPECT_EQ(platform::VolumeOf("/home/anna/Photos", volumes), "/home");
    EXPECT_EQ(platform::VolumeOf("/home", volumes), "/home");
    EXPECT_EQ(platform::VolumeOf("/homework", volumes), "/");
    EXPECT_EQ(platform::VolumeOf("/media/anna/MY PHOTOS/2005", volumes), "/media/anna/MY PHOTOS");
    EXPECT_EQ(platform::VolumeOf("/etc", {}), "/");
}

// Whatever this machine mounts, the list starts with the root.
TEST(ListVolumes, StartsWithRoot)
{
    const std::vector<platform::Volume> volumes = platform::ListVolumes();
    ASSERT_FALSE(volumes.empty());
    EXPECT_EQ(volumes.front().mountPoint, "/");
}

} // namespace
