// The machine's own folders on POSIX, on a temporary tree.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "platform/folders.h"

namespace {

class PosixFoldersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/otu-folders-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    root_ = std::string(pattern) + "/";
  }
  void TearDown() override {
    ASSERT_EQ(std::system(("rm -rf '" + root_ + "'").c_str()), 0);
  }
  void WriteFile(const std::string& name, mode_t mode) {
    std::ofstream(root_ + name) << "x";
    ASSERT_EQ(::chmod((root_ + name).c_str(), mode), 0);
  }
  std::string root_;
};

TEST_F(PosixFoldersTest, EntriesSortedWithDirectoryBitsAndLazyReadOnlyBits) {
  ASSERT_EQ(::mkdir((root_ + "c").c_str(), 0755), 0);
  WriteFile("b.otf", 0644);
  WriteFile("a", 0644);
  WriteFile("ro.otf", 0444);
  WriteFile("group.otf", 0464);
  ASSERT_EQ(::symlink("c", (root_ + "link").c_str()), 0);
  ASSERT_EQ(::symlink("missing", (root_ + "dangling.otf").c_str()), 0);
  ASSERT_EQ(::symlink("b.otf", (root_ + "filelink.otf").c_str()), 0);
  ASSERT_EQ(::mkfifo((root_ + "pipe.otf").c_str(), 0666), 0);
  ASSERT_EQ(::link((root_ + "group.otf").c_str(), (root_ + "twice.otf").c_str()), 0);

  std::unique_ptr<platform::FolderListing> listing = platform::HostFolders().List(root_);
  ASSERT_NE(listing, nullptr);
  platform::FolderEntry entry;
  std::vector<std::string> names;
  std::vector<std::string> directories;
  std::vector<std::string> readOnly;
  while (listing->Next(&entry)) {
    names.push_back(entry.name);
    if (entry.directory) directories.push_back(entry.name);
    if (!entry.directory && listing->ReadOnly()) readOnly.push_back(entry.name);
  }
  EXPECT_EQ(names, (std::vector<std::string>{".", "..", "a", "b.otf", "c", "dangling.otf", "filelink.otf",
                                             "group.otf", "link", "pipe.otf", "ro.otf", "twice.otf"}));
  // A link is never followed, to a folder or to a file: it may lead
  // anywhere. A pipe is never opened, and a file that another name reaches
  // too is never examined: they count as read-only, like a file without any
  // write bit. One write bit is enough.
  EXPECT_EQ(directories, (std::vector<std::string>{".", "..", "c"}));
  EXPECT_EQ(readOnly, (std::vector<std::string>{"dangling.otf", "filelink.otf", "group.otf", "link", "pipe.otf",
                                                "ro.otf", "twice.otf"}));
}

TEST(PosixFolders, VolumeBoundariesAndDriveTypes) {
  platform::Folders& folders = platform::HostFolders();
  EXPECT_TRUE(folders.IsOtherVolume("/proc/"));
  EXPECT_FALSE(folders.IsOtherVolume("/proc/self/"));
  EXPECT_EQ(folders.TypeOfDrive("/no/such/root/"), platform::kDriveNoRoot);
}

}  // namespace
