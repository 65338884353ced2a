// The machine's own drive list and folder listing, on Windows and POSIX: a
// file made in the temporary folder, nothing else touched.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "platform/folders.h"

namespace {

TEST(HostFolders, DriveStringsLayout) {
  platform::Folders& folders = platform::HostFolders();
  char tiny[1] = {'\x7f'};
  uint32_t needed = folders.DriveStrings(sizeof(tiny), tiny);
  EXPECT_EQ(tiny[0], '\x7f');  // nothing written when it does not fit
  if (needed == 0) GTEST_SKIP() << "no drives here";
  std::vector<char> buffer(needed + 1, '\x7f');
  uint32_t length = folders.DriveStrings(static_cast<uint32_t>(buffer.size()), buffer.data());
  ASSERT_GT(length, 0u);
  ASSERT_LT(length, buffer.size());
  EXPECT_EQ(buffer[length], '\0');
  int fixed = 0;
  for (size_t at = 0; at < length; at += std::strlen(&buffer[at]) + 1) {
    std::string root(&buffer[at]);
    ASSERT_FALSE(root.empty());
    EXPECT_EQ(root.back(), platform::PathSeparator()) << root;
    int32_t type = folders.TypeOfDrive(root.c_str());
    EXPECT_TRUE(type >= platform::kDriveRemovable && type <= platform::kDriveRam) << root << " " << type;
    if (type == platform::kDriveFixed) ++fixed;
  }
  EXPECT_GT(fixed, 0);
}

TEST(HostFolders, ListsAFileWithItsBits) {
  platform::FileSystem& files = platform::HostFileSystem();
  std::string folder;
  ASSERT_TRUE(files.TempFolder(&folder));
  std::string name = "otu-folders-" + std::to_string(std::random_device{}()) + ".otf";
  {
    std::unique_ptr<platform::File> file = files.CreateExclusive(folder + name);
    ASSERT_NE(file, nullptr);
    ASSERT_TRUE(file->Close());
  }
  // Listed twice: the file's identity is the same both times and differs
  // from another file's.
  std::vector<std::string> mine;
  std::vector<std::string> others;
  bool sawDot = false;
  for (int pass = 0; pass < 2; ++pass) {
    std::unique_ptr<platform::FolderListing> listing = platform::HostFolders().List(folder);
    ASSERT_NE(listing, nullptr);
    platform::FolderEntry entry;
    std::string identity;
    while (listing->Next(&entry)) {
      if (entry.name == name) {
        EXPECT_FALSE(entry.directory);
        EXPECT_FALSE(listing->ReadOnly());
        EXPECT_TRUE(listing->Identity(&identity));
        mine.push_back(identity);
      } else if (!entry.directory && listing->Identity(&identity)) {
        others.push_back(identity);
      }
      if (entry.name == ".") {
        sawDot = true;
        EXPECT_TRUE(entry.directory);
      }
    }
  }
  EXPECT_TRUE(files.Remove(folder + name));
  EXPECT_TRUE(sawDot);
  ASSERT_EQ(mine.size(), 2u);
  EXPECT_FALSE(mine[0].empty());
  EXPECT_EQ(mine[0], mine[1]);
  EXPECT_EQ(std::count(others.begin(), others.end(), mine[0]), 0);
  EXPECT_EQ(platform::HostFolders().List(folder + name + platform::PathSeparator()), nullptr);
  EXPECT_FALSE(platform::HostFolders().IsOtherVolume(folder));
}

}  // namespace
