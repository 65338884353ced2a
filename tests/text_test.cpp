// 8-bit text in the system's encoding: character-wise searches, the path
// splitter and joiner, and one-argument formats. Shift-JIS bytes are written
// as escapes so that the test means the same whatever the compiler's
// execution character set.
#include <gtest/gtest.h>

#include <string>

#include "text/format.h"
#include "text/multibyte.h"
#include "text/paths.h"

namespace {

using platform::TextEncoding;

// "ダ" and "ソ": second bytes equal to "_" and "\\".
const char kDa[] = "\x83\x5F";
const char kSo[] = "\x83\x5C";
// The ideographic space in UTF-8.
const char kUtf8Space[] = "\xE3\x80\x80";

TEST(Multibyte, SecondByteOfAPairNeverMatches) {
  std::string name = std::string("Font") + kDa + "X_1";
  EXPECT_EQ(text::FindChar(TextEncoding::kShiftJis, name, '_'), 7u);
  EXPECT_EQ(text::FindChar(TextEncoding::kSingleByte, name, '_'), 5u);
  EXPECT_EQ(text::FindLastChar(TextEncoding::kShiftJis, std::string(kSo) + "a", '\\'),
            std::string::npos);
  // A lead byte at the very end stands alone.
  EXPECT_EQ(text::CharLength(TextEncoding::kShiftJis, std::string("a\x83"), 1), 1u);
  // Half-width katakana are single bytes in Shift-JIS.
  EXPECT_EQ(text::CharLength(TextEncoding::kShiftJis, std::string("\xCA\xDE"), 0), 1u);
  // A broken UTF-8 sequence is taken byte by byte.
  EXPECT_EQ(text::CharLength(TextEncoding::kUtf8, std::string("\xE3\x80" "a"), 0), 1u);
  EXPECT_EQ(text::CharLength(TextEncoding::kUtf8, std::string(kUtf8Space), 0), 3u);
}

TEST(Multibyte, CutsOnlyBetweenCharacters) {
  std::string sjis = std::string("ab") + kDa + kDa;
  EXPECT_EQ(text::WholeCharsWithin(TextEncoding::kShiftJis, sjis, 3), 2u);
  EXPECT_EQ(text::WholeCharsWithin(TextEncoding::kShiftJis, sjis, 4), 4u);
  EXPECT_EQ(text::WholeCharsWithin(TextEncoding::kShiftJis, sjis, 99), 6u);
  std::string utf8 = std::string("a") + kUtf8Space;
  EXPECT_EQ(text::WholeCharsWithin(TextEncoding::kUtf8, utf8, 3), 1u);
  EXPECT_EQ(text::WholeCharsWithin(TextEncoding::kSingleByte, utf8, 3), 3u);
}

TEST(PathSplit, CutsLikeTheRuntimeSplitter) {
  text::PathParts parts = text::SplitPath(TextEncoding::kShiftJis, "C:\\a\\b/c.d\\Name.x.pa");
  EXPECT_EQ(parts.drive, "C:");
  EXPECT_EQ(parts.folder, "\\a\\b/c.d\\");
  EXPECT_EQ(parts.name, "Name.x");
  EXPECT_EQ(parts.extension, ".pa");

  parts = text::SplitPath(TextEncoding::kShiftJis, "Plain");
  EXPECT_EQ(parts.drive + parts.folder + parts.extension, "");
  EXPECT_EQ(parts.name, "Plain");

  // "ソ" ends in the byte of "\\" but is part of the name.
  std::string name = std::string("dir\\") + kSo + "ft.pa";
  parts = text::SplitPath(TextEncoding::kShiftJis, name);
  EXPECT_EQ(parts.folder, "dir\\");
  EXPECT_EQ(parts.name, std::string(kSo) + "ft");
  EXPECT_EQ(text::SplitPath(TextEncoding::kSingleByte, name).name, "ft");
}

TEST(FindText, OtfAnywhereCaseSensitiveAndOnCharacterBoundaries) {
  EXPECT_EQ(text::FindText("x.otf.bak", ".otf", TextEncoding::kShiftJis), 1u);
  EXPECT_EQ(text::FindText("x.OTF", ".otf", TextEncoding::kShiftJis), std::string::npos);
  EXPECT_EQ(text::FindText("x.ot", ".otf", TextEncoding::kUtf8), std::string::npos);
  // The byte after a lead byte belongs to its character, even when it reads
  // as "." and the next bytes as "otf".
  EXPECT_EQ(text::FindText("a\x81.otf", ".otf", TextEncoding::kShiftJis), std::string::npos);
  EXPECT_EQ(text::FindText("a\x81.otf", ".otf", TextEncoding::kSingleByte), 2u);
  // After a whole two-byte character the search goes on normally.
  EXPECT_EQ(text::FindText("\x81\x40.otf", ".otf", TextEncoding::kShiftJis), 2u);
  // A lead byte at the very end is a character of its own.
  EXPECT_EQ(text::FindText("x\x81", "\x81", TextEncoding::kShiftJis), 1u);
}

TEST(PathAppend, OneSeparatorBetweenFolderAndPart) {
  EXPECT_EQ(text::AppendPath(TextEncoding::kShiftJis, "C:\\windows\\system32", "fntcache.dat", '\\'),
            "C:\\windows\\system32\\fntcache.dat");
  EXPECT_EQ(text::AppendPath(TextEncoding::kShiftJis, "C:\\", "\\\\fntcache.dat", '\\'), "C:\\fntcache.dat");
  EXPECT_EQ(text::AppendPath(TextEncoding::kShiftJis, "", "name", '\\'), "name");
  // A folder ending in "ソ" does not end with a separator.
  EXPECT_EQ(text::AppendPath(TextEncoding::kShiftJis, std::string("C:\\") + kSo, "x", '\\'),
            std::string("C:\\") + kSo + "\\x");
  EXPECT_EQ(text::AppendPath(TextEncoding::kUtf8, "/etc/", "fonts", '/'), "/etc/fonts");
}

TEST(FormatText, ReplacesOnlyTheFirstPlaceholder) {
  EXPECT_EQ(text::FormatText("a(%s)b", "C:\\x.otf"), "a(C:\\x.otf)b");
  EXPECT_EQ(text::FormatText("%s %s %d", "1"), "1 %s %d");
  EXPECT_EQ(text::FormatText("no argument", "x"), "no argument");
}

}  // namespace
