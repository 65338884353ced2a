// The target list and the matching of installed fonts against it.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "discovery/folder_check_ctrl.h"
#include "tests/fake_disk.h"
#include "tests/font_builder.h"
#include "tests/sabun_entry.h"

namespace {

using testdisk::FakeDisk;

const NameRules kWindows = {'\\', platform::TextEncoding::kShiftJis};

std::vector<uint8_t> Sabun(const std::string& fontName, uint32_t expectedRevision, const std::string& magic = "XOTP") {
  testfont::SabunFile file;
  file.magic = magic;
  file.fontName = fontName;
  file.expectedRevision = expectedRevision;
  return testfont::BuildSabun(file);
}

std::vector<uint8_t> Font(uint32_t revision, const std::string& fullName, uint32_t sfntVersion = 0x4F54544F) {
  return testfont::BuildFont(testfont::SampleTables(revision, fullName, 1), sfntVersion);
}

class TargetMatchTest : public ::testing::Test {
 protected:
  TargetMatchTest() : controller_(disk_, resources_, disk_, kWindows) {
    resources_.Add("FONT_PA", 2001, Sabun("SampleGothic ProN Bold", 0x10041));
    resources_.Add("FONT_PA", 2002, Sabun("SampleGothic ProN Bold", 0x10106));
    resources_.Add("FONT_PA", 2003, Sabun("SampleMincho ProN R", 0x10000));
    controller_.BuildTargetList({Entry("SampleGothicProN-Bold.otf", 2001, "SampleGothicProN-Bold_1.pa"),
                                 Entry("SampleGothicProN-Bold.otf", 2002, "SampleGothicProN-Bold_2.pa"),
                                 Entry("SampleMinchoProN-Regular.otf", 2003, "SampleMinchoProN-Regular.pa")});
  }

  // Puts a font at `path` and matches it as the walk would.
  const CTargetEntry* Match(const std::string& path, std::vector<uint8_t> bytes) {
    disk_.AddFile(path, std::move(bytes));
    return controller_.MatchTarget(path.c_str(), path.substr(path.rfind('\\') + 1).c_str());
  }

  FakeDisk disk_;
  platform::MemoryResources resources_;
  CFolderCheckCtrl controller_;
};

TEST_F(TargetMatchTest, TargetEntriesFromTheDifferenceFileHeaders) {
  ASSERT_EQ(controller_.TargetCount(), 3);
  const CTargetEntry& first = controller_.Target(0);
  EXPECT_STREQ(first.paFileName, "SampleGothicProN-Bold_1.pa");
  EXPECT_STREQ(first.targetFileName, "SampleGothicProN-Bold.otf");
  EXPECT_STREQ(first.fontName, "SampleGothic ProN Bold");
  EXPECT_STREQ(first.baseName, "SampleGothicProN-Bold");
  EXPECT_EQ(first.expectedRevision, 0x10041);
  EXPECT_EQ(first.resourceId, 2001);
  EXPECT_EQ(controller_.Target(1).resourceId, 2002);
  EXPECT_STREQ(controller_.Target(2).baseName, "SampleMinchoProN-Regular");
}

TEST_F(TargetMatchTest, TargetEntriesFromTheConfiguration) {
  std::string ini =
      "[UPDATE_FONT]\r\nMAXNUM=3\r\n"
      "FONT_PAFILE1=SampleGothicProN-Bold_1.pa\r\nFONT_RESNUM1=2001\r\n"
      "FONT_PAFILE2=SampleGothicProN-Bold_2.pa\r\nFONT_RESNUM2=2002\r\n"
      "FONT_PAFILE3=SampleMinchoProN-Regular.pa\r\nFONT_RESNUM3=2003";
  resources_.Add("INIFILE", CResFileCtrl::kConfigurationId, std::vector<uint8_t>(ini.begin(), ini.end()));
  CResFileCtrl configuration(resources_, platform::TextEncoding::kShiftJis);
  configuration.LoadConfiguration();
  ASSERT_EQ(configuration.LoadedCount(), 3);
  CFolderCheckCtrl controller(disk_, resources_, disk_, kWindows);
  EXPECT_EQ(controller.BuildTargetList(configuration), 1);
  ASSERT_EQ(controller.TargetCount(), 3);
  for (int32_t i = 0; i < 3; ++i) {
    EXPECT_STREQ(controller.Target(i).targetFileName, controller_.Target(i).targetFileName);
    EXPECT_STREQ(controller.Target(i).paFileName, controller_.Target(i).paFileName);
    EXPECT_EQ(controller.Target(i).resourceId, 2001 + i);
  }
}

TEST_F(TargetMatchTest, UnreadableDifferenceFilesGetNoEntry) {
  platform::MemoryResources resources;
  resources.Add("FONT_PA", 2002, Sabun("Bad Magic", 1, "XOTQ"));
  resources.Add("FONT_PA", 2003, Sabun("SampleMincho ProN R", 0x10000));
  resources.Add("FONT_PA", 2004, {});
  // A name field without a zero byte gives its first 31 characters.
  std::vector<uint8_t> full = Sabun("", 7);
  std::memset(&full[4], 'N', 32);
  resources.Add("FONT_PA", 2005, full);
  CFolderCheckCtrl controller(disk_, resources, disk_, kWindows);
  EXPECT_EQ(controller.BuildTargetList({Entry("A.otf", 2001, "A.pa"), Entry("B.otf", 2002, "B.pa"),
                                        Entry("C.otf", 2003, "C.pa"), Entry("D.otf", 2004, "D.pa"),
                                        Entry("E.otf", 2005, "E.pa")}),
            1);
  ASSERT_EQ(controller.TargetCount(), 2);
  EXPECT_EQ(controller.Target(0).resourceId, 2003);
  EXPECT_EQ(controller.Target(1).resourceId, 2005);
  EXPECT_EQ(std::string(controller.Target(1).fontName), std::string(31, 'N'));
}

TEST_F(TargetMatchTest, RevisionPicksAmongEntriesOfOneBaseName) {
  std::string path = "C:\\Fonts\\SampleGothicProN-Bold.otf";
  const CTargetEntry* target = Match(path, Font(0x10106, "SampleGothic ProN Bold"));
  ASSERT_NE(target, nullptr);
  EXPECT_EQ(target->resourceId, 2002);
  // The file is read once, although two entries pass the name rule.
  EXPECT_EQ(disk_.opened.size(), 1u);

  ASSERT_NE(controller_.FindTarget(path.c_str(), 0x10106), nullptr);
  EXPECT_EQ(controller_.FindTarget(path.c_str(), 0x10106)->resourceId, 2002);
  EXPECT_EQ(controller_.FindTarget(path.c_str(), 0x10041)->resourceId, 2001);
  EXPECT_EQ(controller_.FindTarget("D:\\x\\SampleGothicProN-Bold_1.otf", 0x10041)->resourceId, 2001);
  EXPECT_EQ(controller_.FindTarget(path.c_str(), 0x10080), nullptr);
  EXPECT_EQ(controller_.FindTarget("C:\\Fonts\\SampleGothicProN-Bold.otf.bak", 0x10106), nullptr);

  const CTargetLookup& lookup = controller_;
  int32_t resourceId = 0;
  EXPECT_TRUE(lookup.FindTargetResource(path.c_str(), 0x10041, &resourceId));
  EXPECT_EQ(resourceId, 2001);
  EXPECT_FALSE(lookup.FindTargetResource(path.c_str(), 0x10080, &resourceId));
}

TEST_F(TargetMatchTest, FontsThatAreNoCandidates) {
  // Another revision, another font name, TrueType outlines, not a font.
  EXPECT_EQ(Match("C:\\a\\SampleGothicProN-Bold.otf", Font(0x10080, "SampleGothic ProN Bold")), nullptr);
  EXPECT_EQ(Match("C:\\b\\SampleGothicProN-Bold.otf", Font(0x10106, "SampleGothic ProN Bol")), nullptr);
  EXPECT_EQ(Match("C:\\c\\SampleGothicProN-Bold.otf", Font(0x10106, "SampleGothic ProN Bold", 0x00010000)),
            nullptr);
  EXPECT_EQ(Match("C:\\d\\SampleGothicProN-Bold.otf", {'O', 'T', 'T', 'O'}), nullptr);
  EXPECT_EQ(Match("C:\\e\\SampleGothicProN-Bold.otf", {}), nullptr);
  EXPECT_EQ(disk_.opened.size(), 5u);
}

TEST_F(TargetMatchTest, NameRulesComeBeforeAnyRead) {
  std::vector<uint8_t> font = Font(0x10106, "SampleGothic ProN Bold");
  EXPECT_NE(Match("C:\\a\\SampleGothicProN-Bold_1.otf", font), nullptr);
  EXPECT_NE(Match("C:\\a\\SampleGothicProN-Bold-12.otf", font), nullptr);
  disk_.opened.clear();
  for (const char* name : {"SampleGothicProN-Bold.otf.bak", "SampleGothicProN-Bold_.otf", "samplegothicpron-bold.otf"}) {
    EXPECT_EQ(Match(std::string("C:\\b\\") + name, font), nullptr) << name;
  }
  EXPECT_TRUE(disk_.opened.empty());
}

TEST_F(TargetMatchTest, MissingFileIsNoCandidate) {
  EXPECT_EQ(controller_.MatchTarget("C:\\gone\\SampleMinchoProN-Regular.otf", "SampleMinchoProN-Regular.otf"),
            nullptr);
  EXPECT_NE(Match("C:\\here\\SampleMinchoProN-Regular.otf", Font(0x10000, "SampleMincho ProN R")), nullptr);
}

}  // namespace
