// The walk over a real temporary tree with the machine's own folder listing.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "discovery/folder_check_ctrl.h"
#include "tests/font_builder.h"
#include "tests/single_drive_folders.h"

namespace {

const char kGothic[] = "SampleGothicProN-Bold.otf";

int32_t Quiet(const char*, void*) { return 0; }

class PosixWalkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/otu-walk-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    root_ = std::string(pattern) + "/";
    font_ = testfont::BuildFont(testfont::SampleTables(0x10106, "SampleGothic ProN Bold", 1));
    testfont::SabunFile sabun;
    sabun.fontName = "SampleGothic ProN Bold";
    sabun.expectedRevision = 0x10106;
    resources_.Add("FONT_PA", 2002, testfont::BuildSabun(sabun));
  }
  void TearDown() override { ASSERT_EQ(std::system(("rm -rf '" + root_ + "'").c_str()), 0); }

  // Writes `bytes` at root_ + relative, making the folders above it.
  void Put(const std::string& relative, const std::vector<uint8_t>& bytes, mode_t mode = 0644) {
    for (size_t at = relative.find('/'); at != std::string::npos; at = relative.find('/', at + 1)) {
      ::mkdir((root_ + relative.substr(0, at)).c_str(), 0755);
    }
    std::ofstream(root_ + relative, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    ASSERT_EQ(::chmod((root_ + relative).c_str(), mode), 0);
  }

  std::string root_;
  std::vector<uint8_t> font_;
  platform::MemoryResources resources_;
};

TEST_F(PosixWalkTest, FindsFontsAndDownloadsWithinReach) {
  Put(std::string("a/b/c/d/e/f/") + kGothic, font_);
  Put(std::string("a/b/c/d/e/f/g/") + kGothic, font_);
  Put(std::string("ro/") + kGothic, font_, 0444);
  Put(std::string("z/") + kGothic + ".bak", font_);
  Put("home/Tavrelon/Fonts/Download/add/10001", {});
  Put("home/Tavrelon/Fonts/Download/add/10002", {}, 0444);
  // A link back to the root makes a cycle: the depth limit ends it.
  ASSERT_EQ(::symlink(root_.c_str(), (root_ + "a/b/c/d/e/loop").c_str()), 0);
  // The same file through a folder link is one candidate.
  Put(std::string("fonts/") + kGothic, font_);
  ASSERT_EQ(::symlink((root_ + "fonts").c_str(), (root_ + "linked").c_str()), 0);

  testdisk::SingleDriveFolders folders(root_);
  CFolderCheckCtrl controller(platform::HostFileSystem(), resources_, folders,
                              NameRules{'/', platform::TextEncoding::kUtf8});
  CSabunEntry entry;
  std::memset(&entry, 0, sizeof(entry));
  std::strcpy(entry.targetFileName, kGothic);
  entry.resourceId = 2002;
  controller.BuildTargetList({entry});
  controller.SearchDrives(&Quiet, nullptr);

  // Through the loop the fonts lie beyond reach; the walk ends although the
  // links form a cycle.
  std::vector<std::string> found;
  for (int32_t i = 0; i < controller.CandidateCount(); ++i) found.push_back(controller.Candidate(i).fullPath);
  EXPECT_EQ(found, (std::vector<std::string>{root_ + "a/b/c/d/e/f/" + kGothic, root_ + "fonts/" + kGothic}));
  ASSERT_EQ(controller.RemovalCount(), 1);
  EXPECT_EQ(controller.Removal(0), root_ + "home/Tavrelon/Fonts/Download/add/10001");
}

}  // namespace
