#include "platform/posix/mount_table.h"

#include <gtest/gtest.h>

#include <set>

#include "platform/folders.h"
#include "platform/posix/user_table.h"

namespace {

const char kSample[] =
    "22 27 0:21 / /proc rw,relatime - proc proc rw\n"
    "27 1 254:0 / / rw,relatime shared:1 - ext4 /dev/vda rw,discard\n"
    "28 27 8:17 / /home/my\\040disk rw,relatime shared:2 master:3 - ext4 /dev/sdb1 rw\n"
    "29 27 8:33 / /media/usb rw,nosuid - vfat /dev/sdc1 rw\n"
    "30 27 11:0 / /media/cdrom ro,nosuid - iso9660 /dev/sr0 ro\n"
    "31 27 254:0 /srv/data /mnt/bind rw - ext4 /dev/vda rw\n"
    "32 27 254:0 / /mnt/again rw - ext4 /dev/vda rw\n"
    "33 27 0:40 / /tmp rw - tmpfs tmpfs rw\n"
    "34 27 0:41 / /net rw - nfs4 server:/export rw\n"
    "35 27 0:42 / /var/lib/docker/overlay2/merged rw - overlay overlay rw\n"
    "36 27 0:43 /@home /home2 rw - btrfs /dev/sdd2 rw\n"
    "37 27 8:65 / /mnt/ro ro,relatime - ext4 /dev/sde1 ro\n"
    "38 27 8:81 / /mnt/x rw - ext4 /dev/sdf1 rw\n"
    "39 27 8:97 / /mnt/x rw - ext4 /dev/sdg1 rw\n"
    "40 27 0:44 / /dev/odd rw - tmpfs /dev/fake rw\n"
    "garbage line\n"
    "41 27 8:1 / /incomplete rw -\n"
    "42 27 8:2 / /mnt/tab\\011and\\134slash rw - ext4 /dev/sdh1 rw\n";

TEST(MountInfo, ParsesFieldsAndUnescapesNames) {
  std::vector<platform::MountRecord> mounts = platform::ParseMountInfo(kSample);
  ASSERT_EQ(mounts.size(), 16u);
  EXPECT_EQ(mounts[0].fsType, "proc");
  EXPECT_EQ(mounts[1].mountPoint, "/");
  EXPECT_EQ(mounts[1].source, "/dev/vda");
  EXPECT_EQ(mounts[1].major, 254u);
  EXPECT_EQ(mounts[1].minor, 0u);
  EXPECT_FALSE(mounts[1].readOnly);
  EXPECT_EQ(mounts[2].mountPoint, "/home/my disk");
  EXPECT_EQ(mounts[2].fsType, "ext4");
  EXPECT_TRUE(mounts[4].readOnly);
  EXPECT_EQ(mounts[5].root, "/srv/data");
  EXPECT_EQ(mounts[15].mountPoint, "/mnt/tab\tand\\slash");
}

TEST(MountInfo, DrivesAreWholeLocalBlockFileSystemsInMountOrder) {
  std::vector<platform::MountRecord> mounts = platform::ParseMountInfo(kSample);
  std::set<std::string> described;
  auto describe = [&](const platform::MountRecord& mount) {
    described.insert(mount.source);
    platform::BlockDevice device;
    device.removable = mount.source == "/dev/sdc1";
    device.optical = mount.major == 11;
    return device;
  };
  std::vector<platform::DriveRoot> drives = platform::SelectDrives(mounts, describe);
  std::vector<std::pair<std::string, int32_t>> got;
  for (const auto& drive : drives) got.push_back({drive.root, drive.type});
  std::vector<std::pair<std::string, int32_t>> want = {
      {"/", platform::kDriveFixed},
      {"/home/my disk/", platform::kDriveFixed},
      {"/media/usb/", platform::kDriveRemovable},
      {"/media/cdrom/", platform::kDriveOptical},
      {"/home2/", platform::kDriveFixed},
      {"/mnt/ro/", platform::kDriveOptical},
      {"/mnt/x/", platform::kDriveFixed},
      {"/mnt/tab\tand\\slash/", platform::kDriveFixed},
  };
  EXPECT_EQ(got, want);
  // Pseudo and network file systems and the hidden mount are never looked up.
  EXPECT_EQ(described.count("/dev/sdf1"), 0u);
  EXPECT_EQ(described.count("/dev/fake"), 0u);
  EXPECT_EQ(described.count("server:/export"), 0u);
  EXPECT_EQ(described.count("/dev/sdg1"), 1u);
}

TEST(MountInfo, EveryMountPointEndsTheWalkOfItsParent) {
  std::vector<std::string> points = platform::MountPoints(platform::ParseMountInfo(kSample));
  std::set<std::string> set(points.begin(), points.end());
  EXPECT_EQ(set.count("/proc/"), 1u);
  EXPECT_EQ(set.count("/"), 1u);
  EXPECT_EQ(set.count("/tmp/"), 1u);
  EXPECT_EQ(set.count("/home/my disk/"), 1u);
  EXPECT_EQ(set.count("/mnt/bind/"), 1u);
}

// The home folders come from the file alone, as a static program reads it.
TEST(UserTable, HomeFoldersAndUserNamesComeFromTheFileAlone) {
  const char kPasswd[] =
      "root:x:0:0:root:/root:/bin/bash\n"
      "# a comment:x:1:1::/commented:/bin/sh\n"
      "\n"
      "daemon:x:1:1:daemon:/usr/sbin:/usr/sbin/nologin\n"
      "kana:x:1000:1000:Kana, Room 3:/home/kana san:/bin/zsh\n"
      "relative:x:1001:1001::home/rel:/bin/sh\n"
      "nohome:x:1002:1002:::/bin/sh\n"
      "short:x:1003:1003\n"
      "last:x:1004:1004::/srv/last";
  EXPECT_EQ(platform::HomeFolders(kPasswd),
            (std::vector<std::string>{"/root", "/usr/sbin", "/home/kana san", "/srv/last"}));
  EXPECT_EQ(platform::UserNameOf(kPasswd, 0), "root");
  EXPECT_EQ(platform::UserNameOf(kPasswd, 1000), "kana");
  EXPECT_EQ(platform::UserNameOf(kPasswd, 10), "");
  EXPECT_EQ(platform::UserNameOf(kPasswd, 1003), "short");
}

}  // namespace
