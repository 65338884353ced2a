// What a terminal makes of the program's texts: columns of CJK, full-width,
// ambiguous and broken characters, and lines cut to a width.
#include "platform/posix/terminal_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using platform::DisplayWidth;
using platform::PadToWidth;
using platform::WrapLines;

std::string Joined(const std::vector<std::string>& pieces) {
  std::string text;
  for (const std::string& piece : pieces) text += piece;
  return text;
}

TEST(DisplayWidth, WideCharactersTakeTwoColumnsWhereverTheyStand) {
  EXPECT_EQ(DisplayWidth(""), 0);
  EXPECT_EQ(DisplayWidth("OpenType"), 8);
  // A wide character at the end of a text counts as much as one elsewhere.
  EXPECT_EQ(DisplayWidth("名"), 2);
  EXPECT_EQ(DisplayWidth("フォント名"), 10);
  EXPECT_EQ(DisplayWidth("a名"), 3);
  EXPECT_EQ(DisplayWidth("名a"), 3);
  EXPECT_EQ(DisplayWidth("検索した結果、下記のフォントが改訂の対象となります。"), 52);
  EXPECT_EQ(DisplayWidth("/media/d/ソフト/表示/SampleGothicProN-M.otf"), 43);
  EXPECT_EQ(DisplayWidth("\xE3\x80\x80\xE3\x80\x80・SampleMincho"), 4 + 2 + 12);  // ideographic spaces
  EXPECT_EQ(DisplayWidth("한글"), 4);
  EXPECT_EQ(DisplayWidth("\xF0\xA0\x80\x80"), 2);  // U+20000, beyond the basic plane
}

TEST(DisplayWidth, FullWidthFormsAreWideAndHalfWidthFormsNarrow) {
  EXPECT_EQ(DisplayWidth("ＡＢＣ１"), 8);
  EXPECT_EQ(DisplayWidth("ＭＳ Ｐゴシック"), 2 + 2 + 1 + 2 + 2 + 2 + 2 + 2);
  EXPECT_EQ(DisplayWidth("ﾊﾞｰｼﾞｮﾝ情報"), 7 + 4);
  EXPECT_EQ(DisplayWidth("￥"), 2);
}

TEST(DisplayWidth, AmbiguousCharactersTakeOneColumnAndMarksNone) {
  // The quotes of the messages and the box lines are narrow, as in a UTF-8
  // locale.
  EXPECT_EQ(DisplayWidth("”実行”"), 1 + 4 + 1);
  EXPECT_EQ(DisplayWidth("┌─│┐└┘×"), 7);
  EXPECT_EQ(DisplayWidth("※"), 1);
  EXPECT_EQ(DisplayWidth("e\xCC\x81"), 1);      // e + combining acute
  EXPECT_EQ(DisplayWidth("か\xE3\x82\x99"), 2);  // か + combining voiced mark
  EXPECT_EQ(DisplayWidth("a\xE2\x80\x8B" "b"), 2);  // zero-width space
}

TEST(DisplayWidth, EveryByteOfBrokenUtf8TakesAColumn) {
  EXPECT_EQ(DisplayWidth("\x80"), 1);                // a lone continuation byte
  EXPECT_EQ(DisplayWidth("\xE3\x81"), 2);            // a sequence cut short
  EXPECT_EQ(DisplayWidth("\xE3\x81" "A"), 3);        // ... and what follows it
  EXPECT_EQ(DisplayWidth("\xC0\xAF"), 2);            // an overlong lead
  EXPECT_EQ(DisplayWidth("\xF5\x80\x80\x80"), 4);    // beyond U+10FFFF
  EXPECT_EQ(DisplayWidth("名\xE5"), 3);
  EXPECT_EQ(DisplayWidth("\x83\x5C"), 2);            // Shift-JIS ソ
}

TEST(WrapLines, BreaksAtEveryKindOfLineEnd) {
  EXPECT_EQ(WrapLines("", 10), std::vector<std::string>({""}));
  EXPECT_EQ(WrapLines("a\r\nb\nc\rd", 10), std::vector<std::string>({"a", "b", "c", "d"}));
  EXPECT_EQ(WrapLines("改訂\r\n\r\n中止", 10), std::vector<std::string>({"改訂", "", "中止"}));
  EXPECT_EQ(WrapLines("abc\n", 10), std::vector<std::string>({"abc", ""}));
}

TEST(WrapLines, CutsBetweenCharactersWithinTheWidth) {
  EXPECT_EQ(WrapLines("あいうえお", 4), std::vector<std::string>({"あい", "うえ", "お"}));
  // A wide character that would stick out goes to the next line whole.
  EXPECT_EQ(WrapLines("あいうえお", 5), std::vector<std::string>({"あい", "うえ", "お"}));
  EXPECT_EQ(WrapLines("aあ", 2), std::vector<std::string>({"a", "あ"}));
  EXPECT_EQ(WrapLines("abcdef", 3), std::vector<std::string>({"abc", "def"}));
  // Too wide for any line: it still stands on one of its own.
  EXPECT_EQ(WrapLines("あ", 1), std::vector<std::string>({"あ"}));
  // A combining mark stays with its letter.
  EXPECT_EQ(WrapLines("abe\xCC\x81", 3), std::vector<std::string>({"abe\xCC\x81"}));
}

TEST(WrapLines, KeepsEveryByteOfLongAndBrokenTexts) {
  const std::string path = "/media/d/フォント/表示/1/2/3/4/SampleGothicPr6N-M.otfの改訂をしています。";
  for (int width : {1, 7, 20, 33, 66, 96}) {
    std::vector<std::string> pieces = WrapLines(path, width);
    EXPECT_EQ(Joined(pieces), path) << width;
    for (const std::string& piece : pieces) {
      EXPECT_LE(DisplayWidth(piece), std::max(width, 2)) << piece;
      EXPECT_GT(DisplayWidth(piece), 0);
    }
  }
  const std::string broken = "名\xE3\x81\x80\xE5" "abc\xF0";
  std::vector<std::string> pieces = WrapLines(broken, 2);
  EXPECT_EQ(Joined(pieces), broken);
  for (const std::string& piece : pieces) EXPECT_LE(DisplayWidth(piece), 2) << piece;
}

TEST(PadToWidth, FillsToTheColumnsNotTheBytes) {
  EXPECT_EQ(PadToWidth("名", 5), "名   ");
  EXPECT_EQ(PadToWidth("フォント名", 12), "フォント名  ");
  EXPECT_EQ(DisplayWidth(PadToWidth("”実行”", 20)), 20);
  EXPECT_EQ(PadToWidth("abcdef", 3), "abcdef");
  EXPECT_EQ(PadToWidth("", 2), "  ");
}

}  // namespace
