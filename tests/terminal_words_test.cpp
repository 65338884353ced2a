// An English program's texts on a terminal break between words; a word
// longer than the line, and text without spaces, still break between
// characters, wide ones counted as two columns.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/posix/terminal_text.h"

namespace {

using Lines = std::vector<std::string>;

TEST(TerminalWords, LinesBreakAtTheLastSpaceThatFits) {
  EXPECT_EQ((Lines{"The system must", "restart before the", "fonts take effect."}),
            platform::WrapWords("The system must restart before the fonts take effect.", 18));
  // A space right at the width ends the piece; each line of the text is
  // wrapped on its own, an empty one kept.
  EXPECT_EQ((Lines{"To stop,", "click Yes.", "", "No"}), platform::WrapWords("To stop, click Yes.\r\n\r\nNo", 10));
  EXPECT_EQ((Lines{"fits"}), platform::WrapWords("fits", 4));
  EXPECT_EQ((Lines{""}), platform::WrapWords("", 10));
}

TEST(TerminalWords, LongWordsAndTextWithoutSpacesBreakBetweenCharacters) {
  EXPECT_EQ((Lines{"Updating", "/media/d/Fon", "ts/a.otf"}), platform::WrapWords("Updating /media/d/Fonts/a.otf", 12));
  // "改訂" is four columns: a five-column line takes two of its characters.
  EXPECT_EQ((Lines{"改訂", "改訂"}), platform::WrapWords("改訂改訂", 5));
  EXPECT_EQ(platform::WrapLines("フォントの改訂を中止します。", 7), platform::WrapWords("フォントの改訂を中止します。", 7));
  // A wide character on a line narrower than itself still goes, alone.
  EXPECT_EQ((Lines{"改", "訂"}), platform::WrapWords("改訂", 1));
}

}  // namespace
