// The configuration reader against the system's own private-profile reader:
// the same INI files, the same questions, the same answers. Runs in the
// Windows builds only (under Wine with code page 932).
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "config/ini_document.h"
#include "platform/text_encoding.h"

namespace {

// Shift-JIS written as escapes: "ダ" and "ソ" end in the bytes of "_" and
// "\\"; 0x81 0x40 is the ideographic space.
const char kIni[] =
    "stray=above any section\r\n"
    "[Fonts]\r\n"
    "  Name  =  value one \t\r\n"
    "name=second of a duplicate\r\n"
    "Bare line\r\n"
    "Empty=\r\n"
    "[fonts]\r\n"
    "Other=in a repeated section\r\n"
    "[Start] ; a remark\r\n"
    "Key=a=b\r\n"
    "[Quotes]\r\n"
    "Double=\" padded \"\r\n"
    "Single='x'\r\n"
    "Mixed=\"x'\r\n"
    "Lone=\"\r\n"
    "Inner=a\"b\"\r\n"
    "Pair=\"\"\r\n"
    "[Japanese]\r\n"
    "Line= \x81\x40\x81\x40x\x81\x40 \r\n"
    "Text=ab\x83\x5F" "cd\x83\x5C" "ef\r\n"
    "Path=C:\\\x83\x5C\\\x83\x5F_1.pa\r\n"
    "[Numbers]\r\n"
    "Plain=2001\r\n"
    "Trailing=2001abc\r\n"
    "Negative=-5\r\n"
    "Plus=+7\r\n"
    "Word=abc\r\n"
    "Empty=\r\n"
    "Quoted=\" 12\"\r\n"
    "Wrap=4294969297\r\n"
    "Long=00000000000000000000000000000001\r\n"
    "[Last]\r\n"
    "Key=no final line break";

struct Question {
  const char* section;
  const char* key;
  DWORD size;
};

class SystemReaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char folder[MAX_PATH] = {};
    ASSERT_NE(GetTempPathA(MAX_PATH, folder), 0u);
    path_ = std::string(folder) + "otu_ini_" + std::to_string(GetCurrentProcessId()) + ".ini";
    FILE* file = std::fopen(path_.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(std::fwrite(kIni, 1, sizeof kIni - 1, file), sizeof kIni - 1);
    ASSERT_EQ(std::fclose(file), 0);
  }
  void TearDown() override { DeleteFileA(path_.c_str()); }

  std::string SystemText(const Question& q) {
    std::vector<char> buffer(q.size + 1, '\0');
    DWORD copied = GetPrivateProfileStringA(q.section, q.key, "", buffer.data(), q.size, path_.c_str());
    EXPECT_LT(copied, q.size);
    return buffer.data();
  }

  std::string path_;
  config::IniDocument ours_{platform::TextEncoding::kShiftJis,
                            reinterpret_cast<const uint8_t*>(kIni), sizeof kIni - 1};
};

TEST_F(SystemReaderTest, TestBedRunsWithCodePage932) {
  EXPECT_EQ(GetACP(), 932u);
  EXPECT_EQ(platform::SystemTextEncoding(), platform::TextEncoding::kShiftJis);
}

TEST_F(SystemReaderTest, TextsAgree) {
  const Question questions[] = {
      {"FONTS", "NAME", 255},       {"Fonts", "Other", 255},     {"Fonts", "Bare line", 255},
      {"Fonts", "Empty", 255},      {"Fonts", "stray", 255},     {"Start", "key", 255},
      {"Quotes", "Double", 255},    {"Quotes", "Single", 255},   {"Quotes", "Mixed", 255},
      {"Quotes", "Lone", 255},      {"Quotes", "Inner", 255},    {"Quotes", "Pair", 255},
      {"Japanese", "Line", 255},    {"Japanese", "Text", 255},   {"Japanese", "Path", 255},
      {"Last", "Key", 255},         {"Missing", "Key", 255},     {"Fonts", "Name", 4},
      {"Fonts", "Name", 1},         {"Last", "Key", 19},         {"Last", "Key", 20},
      {"Japanese", "Text", 3},      {"Japanese", "Text", 5},     {"Japanese", "Text", 6},
      {"Japanese", "Text", 8},      {"Japanese", "Line", 2},     {"Japanese", "Line", 4},
  };
  for (const Question& q : questions) {
    EXPECT_EQ(ours_.Text(q.section, q.key, q.size), SystemText(q))
        << "[" << q.section << "] " << q.key << " in " << q.size << " bytes";
  }
}

TEST_F(SystemReaderTest, IntegersAgree) {
  const char* keys[] = {"Plain", "Trailing", "Negative", "Plus", "Word",
                        "Empty", "Quoted",   "Wrap",     "Long", "Missing"};
  for (const char* key : keys) {
    INT system = static_cast<INT>(GetPrivateProfileIntA("Numbers", key, -1, path_.c_str()));
    EXPECT_EQ(ours_.Integer("Numbers", key, -1), system) << key;
  }
}

}  // namespace
