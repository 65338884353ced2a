#include "discovery/name_rules.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "discovery/download_files.h"

namespace {

using platform::TextEncoding;

const NameRules kWindows = {'\\', TextEncoding::kShiftJis};
const NameRules kWindowsSingleByte = {'\\', TextEncoding::kSingleByte};
const NameRules kPosix = {'/', TextEncoding::kUtf8};

TEST(SplitFileName, PartTooLongForItsBufferIsRefused) {
  std::string name;
  std::string extension;
  std::string longest(255, 'n');
  ASSERT_TRUE(SplitFileName("/f/" + longest + ".otf", TextEncoding::kUtf8, &name, &extension));
  EXPECT_EQ(name, longest);
  EXPECT_EQ(extension, ".otf");
  EXPECT_FALSE(SplitFileName(longest + "n.otf", TextEncoding::kUtf8, &name, &extension));
  EXPECT_FALSE(SplitFileName("x." + longest, TextEncoding::kUtf8, &name, &extension));
}

TEST(BaseNameRule, TwoOrThreeExtraBytesOnly) {
  const std::string base = "SampleGothicProN-Bold";
  const TextEncoding sjis = TextEncoding::kShiftJis;
  EXPECT_TRUE(MatchesBaseName("SampleGothicProN-Bold.otf", base, sjis));
  EXPECT_TRUE(MatchesBaseName("SampleGothicProN-Bold_1.otf", base, sjis));
  EXPECT_TRUE(MatchesBaseName("SampleGothicProN-Bold-12.otf", base, sjis));
  EXPECT_TRUE(MatchesBaseName("C:\\Fonts\\SampleGothicProN-Bold_1.otf", base, sjis));
  EXPECT_TRUE(MatchesBaseName("/usr/share/fonts/SampleGothicProN-Bold.otf", base, TextEncoding::kUtf8));
  EXPECT_FALSE(MatchesBaseName("SampleGothicProN-Bold_.otf", base, sjis));
  EXPECT_FALSE(MatchesBaseName("SampleGothicProN-Bold_123.otf", base, sjis));
  EXPECT_FALSE(MatchesBaseName("samplegothicpron-bold.otf", base, sjis));
  EXPECT_FALSE(MatchesBaseName("xxSampleGothicProN-Bold.otf", base, sjis));
  EXPECT_FALSE(MatchesBaseName("SampleGothicProN-Bol.otf", base, sjis));
  EXPECT_FALSE(MatchesBaseName("SampleGothicProN-Bold.OTF", base, sjis));
  EXPECT_FALSE(MatchesBaseName("SampleGothicProN-Bold.otf.bak", base, sjis));
  EXPECT_FALSE(MatchesBaseName("SampleGothicProN-Bold", base, sjis));
  // Two extra bytes that are one double-byte character still count as two.
  EXPECT_TRUE(MatchesBaseName("SampleGothicProN-Bold\x81\x40.otf", base, sjis));
}

TEST(BaseNameRule, OverlongNameIsNotCutIntoAMatch) {
  // Cut to 255 bytes, this name would be the base name plus two bytes.
  std::string base(253, 'b');
  EXPECT_FALSE(MatchesBaseName(base + std::string(40, 'x') + ".otf", base, TextEncoding::kUtf8));
  EXPECT_TRUE(MatchesBaseName(base + "xx.otf", base, TextEncoding::kUtf8));
}

TEST(DownloadFiles, EightDistinctFiveDigitNamesComparedWhole) {
  std::set<std::string> names;
  for (const char* name : kDownloadFileNames) {
    std::string text = name;
    ASSERT_EQ(text.size(), 5u) << name;
    EXPECT_EQ(text.find_first_not_of("0123456789"), std::string::npos) << name;
    EXPECT_TRUE(IsDownloadFileName(text));
    names.insert(text);
  }
  EXPECT_EQ(names.size(), 8u);
  EXPECT_FALSE(IsDownloadFileName("10001.tmp"));
  EXPECT_FALSE(IsDownloadFileName("010001"));
  EXPECT_FALSE(IsDownloadFileName("1000"));
}

TEST(DownloadFiles, MarkerMustLieBeyondTheRoot) {
  EXPECT_TRUE(InDownloadFolder("C:\\ProgramData\\Tavrelon\\Fonts\\Download\\add\\10001", kWindows));
  EXPECT_TRUE(InDownloadFolder("D:\\Data\\Pennrook\\Fonts\\Download\\add\\10003", kWindows));
  // At position 2, right under the root, the marker does not count.
  EXPECT_FALSE(InDownloadFolder("C:\\Tavrelon\\Fonts\\Download\\add\\10001", kWindows));
  EXPECT_FALSE(InDownloadFolder("C:\\d\\\\Tavrelon\\Fonts\\Download\\add\\10001", kWindows));
  EXPECT_TRUE(InDownloadFolder("C:\\dd\\\\Tavrelon\\Fonts\\Download\\add\\10001", kWindows));
  // The first marker too early, the second one further on: the second counts.
  EXPECT_TRUE(InDownloadFolder("C:\\Tavrelon\\Fonts\\Download\\add\\x\\Pennrook\\Fonts\\Download\\add\\10001",
                               kWindows));
  EXPECT_FALSE(InDownloadFolder("C:\\ProgramData\\Tavrelon\\Fonts\\Download\\10001", kWindows));
  EXPECT_FALSE(InDownloadFolder("C:\\ProgramData\\tavrelon\\Fonts\\Download\\add\\10001", kWindows));
  EXPECT_TRUE(InDownloadFolder("/home/u/Tavrelon/Fonts/Download/add/10001", kPosix));
  EXPECT_FALSE(InDownloadFolder("/srv/Tavrelon/Fonts/Download/add/10001", kPosix));
  EXPECT_FALSE(InDownloadFolder("C:\\ProgramData\\Tavrelon\\Fonts\\Download\\add\\10001", kPosix));
}

TEST(DownloadFiles, MarkerNeverStartsInsideACharacter) {
  // Folder "x表Tavrelon": the backslash that would start the marker is the
  // second byte of 表 (0x95 0x5C).
  const char* path = "C:\\ProgramData\\x\x95\\Tavrelon\\Fonts\\Download\\add\\10001";
  EXPECT_FALSE(InDownloadFolder(path, kWindows));
  EXPECT_TRUE(InDownloadFolder(path, kWindowsSingleByte));
}

}  // namespace
