#include "discovery/name_rules.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "discovery/download_files.h"

namespace {

const NameRules kWindows = {'\\', IsCp932LeadByte};
const NameRules kWindowsSingleByte = {'\\', nullptr};
const NameRules kPosix = {'/', nullptr};

TEST(LeadByte, Cp932RangesAndCodePages) {
  for (int byte : {0x81, 0x9F, 0xE0, 0xFC}) EXPECT_TRUE(IsCp932LeadByte(static_cast<uint8_t>(byte))) << byte;
  for (int byte : {0x2E, 0x5C, 0x7F, 0x80, 0xA0, 0xDF, 0xFD, 0xFF}) {
    EXPECT_FALSE(IsCp932LeadByte(static_cast<uint8_t>(byte))) << byte;
  }
  EXPECT_EQ(LeadByteRuleFor(932), &IsCp932LeadByte);
  EXPECT_EQ(LeadByteRuleFor(1252), nullptr);
  EXPECT_EQ(LeadByteRuleFor(65001), nullptr);
}

TEST(FindText, OtfAnywhereCaseSensitiveAndOnCharacterBoundaries) {
  EXPECT_NE(FindText("x.otf.bak", ".otf", IsCp932LeadByte), nullptr);
  EXPECT_EQ(FindText("x.OTF", ".otf", IsCp932LeadByte), nullptr);
  EXPECT_EQ(FindText("x.ot", ".otf", nullptr), nullptr);
  // The byte after a lead byte belongs to its character, even when it reads
  // as "." and the next bytes as "otf".
  EXPECT_EQ(FindText("a\x81.otf", ".otf", IsCp932LeadByte), nullptr);
  EXPECT_NE(FindText("a\x81.otf", ".otf", nullptr), nullptr);
  // After a whole two-byte character the search goes on normally.
  const char* name = "\x81\x40.otf";
  EXPECT_EQ(FindText(name, ".otf", IsCp932LeadByte), name + 2);
  // A lead byte at the very end is a character of its own, and the search
  // never reads beyond the terminator.
  const char* cut = "x\x81";
  EXPECT_EQ(FindText(cut, "\x81", IsCp932LeadByte), cut + 1);
  EXPECT_EQ(FindText(cut, "\x81x", IsCp932LeadByte), nullptr);
}

TEST(SplitFileName, FolderNameAndExtension) {
  char name[kNamePartSize];
  char extension[kNamePartSize];
  ASSERT_TRUE(SplitFileName("C:\\a\\b.c\\Sample.otf", kWindows, name, extension));
  EXPECT_STREQ(name, "Sample");
  EXPECT_STREQ(extension, ".otf");
  ASSERT_TRUE(SplitFileName("C:x.otf.bak", kWindows, name, extension));
  EXPECT_STREQ(name, "x.otf");
  EXPECT_STREQ(extension, ".bak");
  ASSERT_TRUE(SplitFileName("/a/b.c/name", kPosix, name, extension));
  EXPECT_STREQ(name, "name");
  EXPECT_STREQ(extension, "");
  // On POSIX a backslash is an ordinary byte of a name.
  ASSERT_TRUE(SplitFileName("/a/x\\y.otf", kPosix, name, extension));
  EXPECT_STREQ(name, "x\\y");
  // 0x95 0x5C is one character whose second byte is a backslash.
  ASSERT_TRUE(SplitFileName("C:\\f\\\x95\\.otf", kWindows, name, extension));
  EXPECT_STREQ(name, "\x95\\");
  ASSERT_TRUE(SplitFileName("C:\\f\\\x95\\.otf", kWindowsSingleByte, name, extension));
  EXPECT_STREQ(name, "");
}

TEST(SplitFileName, PartTooLongForItsBufferIsRefused) {
  char name[kNamePartSize];
  char extension[kNamePartSize];
  std::string longest(255, 'n');
  EXPECT_TRUE(SplitFileName((longest + ".otf").c_str(), kPosix, name, extension));
  EXPECT_FALSE(SplitFileName((longest + "n.otf").c_str(), kPosix, name, extension));
  EXPECT_FALSE(SplitFileName(("x." + longest).c_str(), kPosix, name, extension));
}

TEST(BaseNameRule, TwoOrThreeExtraBytesOnly) {
  const char* base = "SampleGothicProN-Bold";
  EXPECT_TRUE(MatchesBaseName("SampleGothicProN-Bold.otf", base, kWindows));
  EXPECT_TRUE(MatchesBaseName("SampleGothicProN-Bold_1.otf", base, kWindows));
  EXPECT_TRUE(MatchesBaseName("SampleGothicProN-Bold-12.otf", base, kWindows));
  EXPECT_TRUE(MatchesBaseName("C:\\Fonts\\SampleGothicProN-Bold_1.otf", base, kWindows));
  EXPECT_FALSE(MatchesBaseName("SampleGothicProN-Bold_.otf", base, kWindows));
  EXPECT_FALSE(MatchesBaseName("SampleGothicProN-Bold_123.otf", base, kWindows));
  EXPECT_FALSE(MatchesBaseName("samplegothicpron-bold.otf", base, kWindows));
  EXPECT_FALSE(MatchesBaseName("xxSampleGothicProN-Bold.otf", base, kWindows));
  EXPECT_FALSE(MatchesBaseName("SampleGothicProN-Bol.otf", base, kWindows));
  EXPECT_FALSE(MatchesBaseName("SampleGothicProN-Bold.OTF", base, kWindows));
  EXPECT_FALSE(MatchesBaseName("SampleGothicProN-Bold.otf.bak", base, kWindows));
  EXPECT_FALSE(MatchesBaseName("SampleGothicProN-Bold", base, kWindows));
}

TEST(BaseNameRule, OverlongNameIsNotCutIntoAMatch) {
  // Cut to 255 bytes, this name would be the base name plus two bytes.
  std::string base(253, 'b');
  std::string name = base + std::string(40, 'x') + ".otf";
  EXPECT_FALSE(MatchesBaseName(name.c_str(), base.c_str(), kPosix));
  EXPECT_TRUE(MatchesBaseName((base + "xx.otf").c_str(), base.c_str(), kPosix));
}

TEST(DownloadFiles, EightDistinctFiveDigitNamesComparedWhole) {
  std::set<std::string> names;
  for (const char* name : kDownloadFileNames) {
    ASSERT_EQ(std::strlen(name), 5u) << name;
    for (const char* p = name; *p != '\0'; ++p) EXPECT_TRUE(*p >= '0' && *p <= '9') << name;
    EXPECT_TRUE(IsDownloadFileName(name));
    names.insert(name);
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
