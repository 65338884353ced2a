// Reading configuration text: the INI reader. Shift-JIS bytes are written as
// escapes so that the test means the same whatever the compiler's execution
// character set.
#include <gtest/gtest.h>

#include <string>

#include "config/ini_document.h"
#include "tests/ini_cases.h"

namespace {

using platform::TextEncoding;

// "ダ": its second byte equals "_".
const char kDa[] = "\x83\x5F";
// The ideographic space in Shift-JIS and UTF-8.
const char kSjisSpace[] = "\x81\x40";
const char kUtf8Space[] = "\xE3\x80\x80";

config::IniDocument Ini(const std::string& text, TextEncoding encoding = TextEncoding::kShiftJis) {
  return config::IniDocument(encoding, reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

TEST(IniDocument, FindsSectionsAndKeysLikeTheSystemReader) {
  config::IniDocument ini = IniCases();
  EXPECT_EQ(ini.Text("FONTS", "NAME", 255), "value one");
  EXPECT_EQ(ini.Text("Fonts", "Other", 255), "");
  EXPECT_EQ(ini.Text("Fonts", "Bare line", 255), "");
  EXPECT_EQ(ini.Text("Fonts", "Empty", 255), "");
  EXPECT_EQ(ini.Text("Fonts", "stray", 255), "");
  EXPECT_EQ(ini.Text("Start", "key", 255), "a=b");
  EXPECT_EQ(ini.Text(" Start ", " Key ", 255), "a=b");
  EXPECT_EQ(ini.Text("Spaced", "Key", 255), "spaced");
  EXPECT_EQ(ini.Text(" Spaced ", "Key", 255), "spaced");
  EXPECT_EQ(ini.Text("Spaced", "Tabbed", 255), "value");
  EXPECT_EQ(ini.Text("Unclosed", "Tabbed", 255), "");
  EXPECT_EQ(ini.Text("\x83\x5D", "Key", 255), "in a section whose name ends in the byte of ]");
  EXPECT_EQ(ini.Text("Last", "Key", 255), "no final line break");
  EXPECT_EQ(ini.Text("Missing", "Key", 255), "");
}

TEST(IniDocument, SplitsLinesAtLineFeedsOrElseCarriageReturns) {
  config::IniDocument lf = Ini("[S]\nA=1\nB=2");
  EXPECT_EQ(lf.Text("S", "B", 255), "2");
  config::IniDocument cr = Ini("[S]\rA=1\rB=2");
  EXPECT_EQ(cr.Text("S", "B", 255), "2");
}

TEST(IniDocument, KeepsIdeographicSpacesAndDropsMatchingQuotes) {
  config::IniDocument ini = IniCases();
  EXPECT_EQ(ini.Text("Japanese", "Line", 255), std::string(kSjisSpace) + kSjisSpace + "x" + kSjisSpace);
  EXPECT_EQ(ini.Text("Quotes", "Double", 255), " padded ");
  EXPECT_EQ(ini.Text("Quotes", "Single", 255), "x");
  EXPECT_EQ(ini.Text("Quotes", "Mixed", 255), "\"x'");
  EXPECT_EQ(ini.Text("Quotes", "Lone", 255), "\"");
  EXPECT_EQ(ini.Text("Quotes", "Inner", 255), "a\"b\"");
  EXPECT_EQ(ini.Text("Quotes", "Pair", 255), "");

  std::string utf8 = std::string(kUtf8Space) + "y";
  EXPECT_EQ(Ini("[S]\nK=" + utf8, TextEncoding::kUtf8).Text("S", "K", 255), utf8);
}

TEST(IniDocument, CutsValuesToTheBufferWithoutSplittingACharacter) {
  std::string value = std::string("ab") + kDa + "cd";
  config::IniDocument ini = Ini("[S]\r\nK=" + value + "\r\nQ=\"abcdef\"\r\n");
  EXPECT_EQ(ini.Text("S", "K", 4), "ab");
  EXPECT_EQ(ini.Text("S", "K", 5), "ab" + std::string(kDa));
  EXPECT_EQ(ini.Text("S", "K", 1), "");
  EXPECT_EQ(ini.Text("S", "K", 0), "");
  EXPECT_EQ(ini.Text("S", "Q", 4), "abc");
  EXPECT_EQ(ini.Text("S", "Q", 7), "abcdef");
}

TEST(IniDocument, ComparesNamesByAsciiCaseOnlyOutsidePairs) {
  // "\x82\x61" and "\x82\x41" differ only in a second byte that looks like a
  // letter: they are different characters.
  config::IniDocument ini = Ini("[S]\r\nK\x82\x61=pair\r\n");
  EXPECT_EQ(ini.Text("s", "k\x82\x61", 255), "pair");
  EXPECT_EQ(ini.Text("S", "K\x82\x41", 255), "");
  EXPECT_EQ(Ini("[S]\r\nK\x82\x61=pair\r\n", TextEncoding::kSingleByte).Text("S", "K\x82\x41", 255),
            "pair");
}

TEST(IniDocument, ReadsLeadingDecimalNumbers) {
  config::IniDocument ini = IniCases();
  EXPECT_EQ(ini.Integer("Numbers", "Plain", -1), 2001);
  EXPECT_EQ(ini.Integer("Numbers", "Trailing", -1), 2001);
  EXPECT_EQ(ini.Integer("Numbers", "Negative", -1), -5);
  EXPECT_EQ(ini.Integer("Numbers", "Plus", -1), 7);
  EXPECT_EQ(ini.Integer("Numbers", "Word", -1), 0);
  EXPECT_EQ(ini.Integer("Numbers", "Empty", -1), -1);
  EXPECT_EQ(ini.Integer("Numbers", "Missing", -1), -1);
  EXPECT_EQ(ini.Integer("Numbers", "Quoted", -1), 12);
  EXPECT_EQ(ini.Integer("Numbers", "Wrap", -1), 2001);
  // Only the first 29 characters are looked at.
  EXPECT_EQ(ini.Integer("Numbers", "Long", -1), 0);
  // Decimal only, though Wine's reader also takes "0x" and friends.
  EXPECT_EQ(Ini("[S]\r\nHex=0x10").Integer("S", "Hex", -1), 0);
  EXPECT_EQ(config::LeadingDecimal(" \t-12x"), -12);
  EXPECT_EQ(config::LeadingDecimal("-"), 0);
}

}  // namespace
