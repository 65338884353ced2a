// The walk of the fixed drives, on drives held in memory.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "discovery/folder_check_ctrl.h"
#include "tests/fake_disk.h"
#include "tests/font_builder.h"

namespace {

using testdisk::FakeDisk;

const NameRules kWindows = {'\\', platform::TextEncoding::kShiftJis};
const char kGothic[] = "SampleGothicProN-Bold.otf";

// Records every text and answers "stop" at the call numbered stopAt (from 1).
struct Progress {
  std::vector<std::string> texts;
  size_t stopAt = 0;
  static int32_t Callback(const char* text, void* context) {
    Progress* progress = static_cast<Progress*>(context);
    progress->texts.push_back(text);
    return progress->texts.size() == progress->stopAt ? 1 : 0;
  }
};

std::string DriveText(const std::string& root) { return root + "ドライブを検索しました。"; }
std::string FolderText(const std::string& folder) { return folder + "を検索しています。"; }

class FolderSearchTest : public ::testing::Test {
 protected:
  FolderSearchTest() : controller_(disk_, resources_, disk_, kWindows) {
    testfont::SabunFile sabun;
    sabun.fontName = "SampleGothic ProN Bold";
    sabun.expectedRevision = 0x10106;
    resources_.Add("FONT_PA", 2002, testfont::BuildSabun(sabun));
    CSabunEntry entry;
    std::memset(&entry, 0, sizeof(entry));
    std::strcpy(entry.targetFileName, kGothic);
    entry.resourceId = 2002;
    controller_.BuildTargetList({entry});
    font_ = testfont::BuildFont(testfont::SampleTables(0x10106, "SampleGothic ProN Bold", 1));
    disk_.AddDrive("A:\\", platform::kDriveRemovable);
    disk_.AddDrive("C:\\", platform::kDriveFixed);
    disk_.AddDrive("D:\\", platform::kDriveOptical);
    disk_.AddDrive("E:\\", platform::kDriveFixed);
  }

  std::vector<std::string> CandidatePaths() const {
    std::vector<std::string> paths;
    for (int32_t i = 0; i < controller_.CandidateCount(); ++i) {
      paths.push_back(controller_.Candidate(i).fullPath);
      EXPECT_EQ(controller_.Candidate(i).skip, 0);
      EXPECT_EQ(controller_.Candidate(i).expectedRevision, 0x10106);
    }
    return paths;
  }
  std::vector<std::string> Removals() const {
    std::vector<std::string> paths;
    for (int32_t i = 0; i < controller_.RemovalCount(); ++i) paths.push_back(controller_.Removal(i));
    return paths;
  }
  // The messages of a walk without stop, the drive messages left out.
  std::vector<std::string> FolderTexts(Progress* progress) {
    controller_.SearchDrives(&Progress::Callback, progress);
    if (progress->texts.size() < 4) return {};
    return std::vector<std::string>(progress->texts.begin() + 4, progress->texts.end());
  }

  FakeDisk disk_;
  platform::MemoryResources resources_;
  CFolderCheckCtrl controller_;
  std::vector<uint8_t> font_;
};

TEST_F(FolderSearchTest, EveryDriveReportedFirstThenFixedDrivesWalkedInOrder) {
  disk_.AddFile("A:\\" + std::string(kGothic), font_);
  disk_.AddFile("D:\\" + std::string(kGothic), font_);
  disk_.AddFile("E:\\f\\" + std::string(kGothic), font_);
  disk_.AddFile("C:\\f\\" + std::string(kGothic), font_);
  Progress progress;
  controller_.SearchDrives(&Progress::Callback, &progress);
  ASSERT_GE(progress.texts.size(), 4u);
  EXPECT_EQ(std::vector<std::string>(progress.texts.begin(), progress.texts.begin() + 4),
            (std::vector<std::string>{DriveText("A:\\"), DriveText("C:\\"), DriveText("D:\\"), DriveText("E:\\")}));
  EXPECT_EQ(disk_.listed, (std::vector<std::string>{"C:\\", "C:\\f\\", "E:\\", "E:\\f\\"}));
  // The same font in two places: two candidates, in the order found.
  EXPECT_EQ(CandidatePaths(), (std::vector<std::string>{"C:\\f\\" + std::string(kGothic),
                                                        "E:\\f\\" + std::string(kGothic)}));
}

TEST_F(FolderSearchTest, FileReachedTwiceThroughAFolderLinkIsOneCandidate) {
  disk_.AddFile("C:\\Fonts\\" + std::string(kGothic), font_, false, "file-1");
  disk_.AddFile("C:\\Link\\" + std::string(kGothic), font_, false, "file-1");
  disk_.AddFile("C:\\Other\\" + std::string(kGothic), font_, false, "file-2");
  Progress progress;
  controller_.SearchDrives(&Progress::Callback, &progress);
  EXPECT_EQ(CandidatePaths(), (std::vector<std::string>{"C:\\Fonts\\" + std::string(kGothic),
                                                        "C:\\Other\\" + std::string(kGothic)}));
}

TEST_F(FolderSearchTest, StopAtASecondDriveMessageSearchesNothing) {
  disk_.AddFile("C:\\" + std::string(kGothic), font_);
  Progress progress;
  progress.stopAt = 2;
  controller_.SearchDrives(&Progress::Callback, &progress);
  EXPECT_EQ(progress.texts, (std::vector<std::string>{DriveText("A:\\"), DriveText("C:\\")}));
  EXPECT_TRUE(disk_.listed.empty());
  EXPECT_EQ(controller_.CandidateCount(), 0);
}

TEST_F(FolderSearchTest, NoDriveListNoSearch) {
  disk_.FailDriveList();
  disk_.AddFile("C:\\" + std::string(kGothic), font_);
  Progress progress;
  controller_.SearchDrives(&Progress::Callback, &progress);
  EXPECT_TRUE(progress.texts.empty());
  EXPECT_TRUE(disk_.listed.empty());
  EXPECT_EQ(controller_.ListFixedDrives(&Progress::Callback, &progress), 0);
}

TEST_F(FolderSearchTest, DriveListLongerThanItsBufferIsAskedForAgain) {
  std::vector<std::string> expected = {DriveText("A:\\"), DriveText("C:\\"), DriveText("D:\\"), DriveText("E:\\")};
  std::string last;
  for (int i = 0; i < 30; ++i) {
    last = "F:\\mounted-volume-number-" + std::to_string(10 + i) + "\\";
    disk_.AddDrive(last, platform::kDriveFixed);
    expected.push_back(DriveText(last));
  }
  disk_.AddFile(last + kGothic, font_);
  Progress progress;
  controller_.SearchDrives(&Progress::Callback, &progress);
  ASSERT_GE(progress.texts.size(), expected.size());
  EXPECT_EQ(std::vector<std::string>(progress.texts.begin(), progress.texts.begin() + expected.size()), expected);
  EXPECT_EQ(CandidatePaths(), (std::vector<std::string>{last + kGothic}));
}

TEST_F(FolderSearchTest, FontsFoundDownToSixFolderLevels) {
  disk_.AddFile("C:\\a\\b\\c\\d\\e\\f\\" + std::string(kGothic), font_);
  disk_.AddFile("C:\\a\\b\\c\\d\\e\\f\\g\\" + std::string(kGothic), font_);
  Progress progress;
  controller_.SearchDrives(&Progress::Callback, &progress);
  EXPECT_EQ(CandidatePaths(), (std::vector<std::string>{"C:\\a\\b\\c\\d\\e\\f\\" + std::string(kGothic)}));
  const std::vector<std::string>& listed = disk_.listed;
  EXPECT_NE(std::find(listed.begin(), listed.end(), "C:\\a\\b\\c\\d\\e\\f\\"), listed.end());
  EXPECT_EQ(std::find(listed.begin(), listed.end(), "C:\\a\\b\\c\\d\\e\\f\\g\\"), listed.end());
}

TEST_F(FolderSearchTest, EveryTwentiethSubFolderOverAllDrivesIsReported) {
  // 25 sub-folders on C: (the last five at the seventh level, never listed)
  // and 30 on E:, met in this order.
  std::vector<std::string> order;
  for (int i = 0; i < 20; ++i) {
    order.push_back("C:\\c" + std::to_string(10 + i) + "\\");
    disk_.AddFolder(order.back());
  }
  std::string deep = "C:\\a\\b\\c\\d\\e\\f\\";
  disk_.AddFolder(deep);
  for (size_t at = 3; at < deep.size(); at = deep.find('\\', at) + 1) order.push_back(deep.substr(0, deep.find('\\', at) + 1));
  for (int i = 0; i < 5; ++i) {
    order.push_back(deep + "g" + std::to_string(i) + "\\");
    disk_.AddFolder(order.back());
  }
  for (int i = 0; i < 30; ++i) {
    order.push_back("E:\\e" + std::to_string(10 + i) + "\\");
    disk_.AddFolder(order.back());
  }
  ASSERT_EQ(order.size(), 61u);

  uint32_t before = CFolderCheckCtrl::FolderCount();
  std::vector<std::string> expected;
  for (uint32_t k = 1; k <= order.size(); ++k) {
    if ((before + k) % 20 == 0) expected.push_back(FolderText(order[k - 1]));
  }
  Progress progress;
  EXPECT_EQ(FolderTexts(&progress), expected);
  EXPECT_GE(expected.size(), 3u);  // 61 entries hold three or four multiples of 20
  EXPECT_EQ(CFolderCheckCtrl::FolderCount(), before + 61);
}

TEST_F(FolderSearchTest, StopInMidWalkKeepsWhatWasFound) {
  // Sub-folders in walk order: a, n10 .. n49, z. Wherever the process-wide
  // count stands, the second folder message falls between a and z.
  disk_.AddFile("C:\\a\\" + std::string(kGothic), font_);
  for (int i = 0; i < 40; ++i) disk_.AddFolder("C:\\n" + std::to_string(10 + i) + "\\");
  disk_.AddFile("C:\\z\\" + std::string(kGothic), font_);
  disk_.AddFile("E:\\" + std::string(kGothic), font_);
  Progress progress;
  progress.stopAt = 6;  // four drive messages, then the second folder message
  controller_.SearchDrives(&Progress::Callback, &progress);
  ASSERT_EQ(progress.texts.size(), 6u);
  EXPECT_EQ(CandidatePaths(), (std::vector<std::string>{"C:\\a\\" + std::string(kGothic)}));
  // Neither the folder of the stop nor anything after it is listed.
  std::string stoppedAt = progress.texts.back().substr(0, progress.texts.back().rfind('\\') + 1);
  ASSERT_EQ(progress.texts.back(), FolderText(stoppedAt));
  for (const std::string& folder : disk_.listed) {
    EXPECT_NE(folder, stoppedAt);
    EXPECT_NE(folder, "C:\\z\\");
    EXPECT_NE(folder, "E:\\");
  }
  // The walk got as far as the folder before it.
  EXPECT_LT(disk_.listed.back(), stoppedAt);
}

TEST_F(FolderSearchTest, WhichFilesAreExamined) {
  disk_.AddFile("C:\\ro\\" + std::string(kGothic), font_, /*readOnly=*/true);
  disk_.AddFile("C:\\bak\\SampleGothicProN-Bold.otf.bak", font_);
  disk_.AddFile("C:\\caps\\SampleGothicProN-Bold.OTF", font_);
  disk_.AddFile("C:\\plain\\readme.txt", {});
  // 0x81 0x2E is one character: no ".otf" starts inside it.
  disk_.AddFile("C:\\sjis\\a\x81.otf", font_);
  Progress progress;
  controller_.SearchDrives(&Progress::Callback, &progress);
  EXPECT_EQ(controller_.CandidateCount(), 0);
  // Only names holding ".otf" get as far as the read-only test, and only a
  // writable one of them as far as the matching, which rejects it by name.
  EXPECT_EQ(disk_.readOnlyAsked, (std::vector<std::string>{kGothic, "SampleGothicProN-Bold.otf.bak"}));
  EXPECT_TRUE(disk_.opened.empty());
}

TEST_F(FolderSearchTest, DownloadedCopiesInTheSoftwaresFoldersOnly) {
  disk_.AddFile("C:\\ProgramData\\Tavrelon\\Fonts\\Download\\add\\10001", {});
  disk_.AddFile("C:\\ProgramData\\Tavrelon\\Fonts\\Download\\add\\10001.tmp", {});
  disk_.AddFile("C:\\ProgramData\\Tavrelon\\Fonts\\Download\\add\\10002", {}, /*readOnly=*/true);
  disk_.AddFile("C:\\Tavrelon\\Fonts\\Download\\add\\10001", {});
  disk_.AddFile("C:\\Users\\u\\Pennrook\\Fonts\\Download\\add\\10008", {});
  disk_.AddFile("C:\\Users\\u\\Documents\\10003", {});
  disk_.AddFile("E:\\Data\\Pennrook\\Fonts\\Download\\add\\10005", {});
  Progress progress;
  controller_.SearchDrives(&Progress::Callback, &progress);
  EXPECT_EQ(Removals(), (std::vector<std::string>{"C:\\ProgramData\\Tavrelon\\Fonts\\Download\\add\\10001",
                                                  "C:\\Users\\u\\Pennrook\\Fonts\\Download\\add\\10008",
                                                  "E:\\Data\\Pennrook\\Fonts\\Download\\add\\10005"}));
}

TEST_F(FolderSearchTest, FolderThatRefusesListingIsPassedOver) {
  disk_.AddFile("C:\\a\\locked\\" + std::string(kGothic), font_);
  disk_.AddFile("C:\\a\\open\\" + std::string(kGothic), font_);
  disk_.Refuse("C:\\a\\locked\\");
  Progress progress;
  controller_.SearchDrives(&Progress::Callback, &progress);
  EXPECT_EQ(CandidatePaths(), (std::vector<std::string>{"C:\\a\\open\\" + std::string(kGothic)}));
}

TEST_F(FolderSearchTest, PathTooLongForItsRecordIsNoCandidate) {
  std::string folder = "C:\\" + std::string(1000, 'l') + "\\";
  disk_.AddFile(folder + kGothic, font_);
  disk_.AddFile("C:\\s\\" + std::string(kGothic), font_);
  Progress progress;
  controller_.SearchDrives(&Progress::Callback, &progress);
  EXPECT_EQ(CandidatePaths(), (std::vector<std::string>{"C:\\s\\" + std::string(kGothic)}));
}


// Where Windows installs a font for one user: seven folders below the root,
// one more than the drives' walk lists.
const char kUserFonts[] = "C:\\Users\\Yamada\\AppData\\Local\\Microsoft\\Windows\\Fonts\\";

TEST_F(FolderSearchTest, FontsFoldersAreWalkedAfterTheDrivesFromTheirOwnRoot) {
  const std::string user = kUserFonts;
  const std::string system = "C:\\Windows\\Fonts\\";
  disk_.AddFile(user + kGothic, font_);
  disk_.AddFile(user + "sub\\" + kGothic, font_);
  disk_.AddFile(user + "sub\\ro\\" + kGothic, font_, /*readOnly=*/true);
  disk_.AddFile(system + kGothic, font_);
  disk_.AddFile("E:\\" + std::string(kGothic), font_);
  disk_.fontFolders = {user, "C:\\Users\\Gone\\AppData\\Local\\Microsoft\\Windows\\Fonts\\", system};
  Progress progress;
  controller_.SearchDrives(&Progress::Callback, &progress);
  // The system's folder, met on the way over C:, is not a second candidate.
  EXPECT_EQ(CandidatePaths(), (std::vector<std::string>{system + kGothic, "E:\\" + std::string(kGothic),
                                                        user + kGothic, user + "sub\\" + kGothic}));
  const std::vector<std::string>& listed = disk_.listed;
  auto at = [&](const std::string& folder) { return std::find(listed.begin(), listed.end(), folder) - listed.begin(); };
  EXPECT_LT(at("E:\\"), at(user));
  EXPECT_EQ(2, std::count(listed.begin(), listed.end(), system));
  EXPECT_LT(at(user), static_cast<long>(listed.size()) - 1);
  EXPECT_EQ(system, listed.back());
}

TEST_F(FolderSearchTest, AFileOfAFontsFolderThatCannotBeToldApartIsNotTaken) {
  // On a drive such a file is still a candidate: nothing found it before.
  const std::string onDrive = "C:\\Fonts\\" + std::string(kGothic);
  const std::string inFontsFolder = kUserFonts + std::string(kGothic);
  disk_.AddFile(onDrive, font_);
  disk_.AddFile(inFontsFolder, font_);
  disk_.ForgetIdentity(onDrive);
  disk_.ForgetIdentity(inFontsFolder);
  disk_.fontFolders = {kUserFonts};
  Progress progress;
  controller_.SearchDrives(&Progress::Callback, &progress);
  EXPECT_EQ(CandidatePaths(), (std::vector<std::string>{onDrive}));
}

TEST_F(FolderSearchTest, AStopEndsTheWalkOfTheFontsFoldersOrComesBeforeIt) {
  const std::string other = "C:\\Users\\Sato\\AppData\\Local\\Microsoft\\Windows\\Fonts\\";
  // 40 sub-folders in the first fonts folder, seven on the way to it over C:
  // the second folder message falls among the 40, after "a" and before "z".
  disk_.AddFile(kUserFonts + std::string("a\\") + kGothic, font_);
  for (int i = 0; i < 40; ++i) disk_.AddFolder(kUserFonts + std::string("n") + std::to_string(10 + i) + "\\");
  disk_.AddFile(kUserFonts + std::string("z\\") + kGothic, font_);
  disk_.AddFile(other + kGothic, font_);
  disk_.fontFolders = {kUserFonts, other};
  {
    Progress progress;
    progress.stopAt = 6;
    controller_.SearchDrives(&Progress::Callback, &progress);
    ASSERT_EQ(progress.texts.size(), 6u);
    EXPECT_EQ(CandidatePaths(), (std::vector<std::string>{kUserFonts + std::string("a\\") + kGothic}));
    EXPECT_EQ(std::find(disk_.listed.begin(), disk_.listed.end(), other), disk_.listed.end());
  }

  // Stopped on the drives, the fonts folders are never listed.
  FakeDisk disk;
  disk.AddDrive("C:\\", platform::kDriveFixed);
  for (int i = 0; i < 40; ++i) disk.AddFolder("C:\\n" + std::to_string(10 + i) + "\\");
  disk.AddFile(kUserFonts + std::string(kGothic), font_);
  disk.fontFolders = {kUserFonts};
  CFolderCheckCtrl controller(disk, resources_, disk, kWindows);
  controller.BuildTargetList(std::vector<CSabunEntry>{});
  Progress progress;
  progress.stopAt = 2;  // one drive message, then the first folder message
  controller.SearchDrives(&Progress::Callback, &progress);
  ASSERT_EQ(progress.texts.size(), 2u);
  EXPECT_EQ(std::find(disk.listed.begin(), disk.listed.end(), kUserFonts), disk.listed.end());
}

}  // namespace
