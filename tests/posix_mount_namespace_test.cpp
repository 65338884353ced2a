// The drive list from the kernel's own mount table, in a private mount
// namespace (root only): a loop-mounted file system under a folder name with
// a space, a read-only one, a tmpfs and a bind mount. Skipped where a
// namespace cannot be made.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/folders.h"

namespace {

const char kInside[] = "OTU_MOUNT_NAMESPACE_ROOT";

bool Shell(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

std::vector<std::pair<std::string, int32_t>> Drives() {
  platform::Folders& folders = platform::HostFolders();
  std::vector<char> buffer(folders.DriveStrings(0, nullptr) + 1, '\0');
  uint32_t length = folders.DriveStrings(static_cast<uint32_t>(buffer.size()), buffer.data());
  std::vector<std::pair<std::string, int32_t>> drives;
  for (size_t at = 0; at < length; at += std::strlen(&buffer[at]) + 1) {
    drives.push_back({&buffer[at], folders.TypeOfDrive(&buffer[at])});
  }
  return drives;
}

int32_t TypeOf(const std::vector<std::pair<std::string, int32_t>>& drives, const std::string& root) {
  for (const auto& drive : drives) {
    if (drive.first == root) return drive.second;
  }
  return -1;
}

TEST(MountNamespace, LocalBlockFileSystemsAreDrives) {
  const char* inside = std::getenv(kInside);
  if (inside == nullptr) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root";
    char pattern[] = "/tmp/otu-mounts-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    std::string base = pattern;
    bool made = Shell("truncate -s 8M " + base + "/disk.img && mkfs.ext4 -q " + base + "/disk.img && cp " + base +
                    "/disk.img " + base + "/ro.img");
    char self[4096] = {};
    ASSERT_GT(::readlink("/proc/self/exe", self, sizeof(self) - 1), 0);
    int status = -1;
    if (made) {
      status = std::system((std::string(kInside) + "='" + base + "' unshare -m -p -f --mount-proc " + self +
                            " --gtest_filter=MountNamespace.*")
                               .c_str());
    }
    Shell("rm -rf '" + base + "'");
    if (!made || status == -1 || (WIFEXITED(status) && WEXITSTATUS(status) == 77)) {
      GTEST_SKIP() << "no loop devices or namespaces here";
    }
    EXPECT_EQ(status, 0);
    return;
  }

  std::string base = inside;
  std::string disk = base + "/my disk";
  bool mounted = Shell("mkdir -p '" + disk + "' " + base + "/ro " + base + "/t " + base + "/bind") &&
                 Shell("mount -o loop " + base + "/disk.img '" + disk + "'") &&
                 Shell("mount -o loop,ro " + base + "/ro.img " + base + "/ro") &&
                 Shell("mount -t tmpfs tmpfs " + base + "/t") && Shell("mkdir -p '" + disk + "/sub'") &&
                 Shell("mount --bind '" + disk + "/sub' " + base + "/bind");
  if (!mounted) std::exit(77);

  std::vector<std::pair<std::string, int32_t>> drives = Drives();
  EXPECT_EQ(TypeOf(drives, disk + "/"), platform::kDriveFixed);
  EXPECT_EQ(TypeOf(drives, base + "/ro/"), platform::kDriveOptical);
  EXPECT_EQ(TypeOf(drives, base + "/t/"), -1);
  EXPECT_EQ(TypeOf(drives, base + "/bind/"), -1);
  platform::Folders& folders = platform::HostFolders();
  EXPECT_TRUE(folders.IsOtherVolume(disk + "/"));
  EXPECT_TRUE(folders.IsOtherVolume(base + "/t/"));
  EXPECT_FALSE(folders.IsOtherVolume(disk + "/sub/"));
}

}  // namespace
