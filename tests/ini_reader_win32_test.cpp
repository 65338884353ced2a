// The configuration reader against the system's own private-profile reader:
// the same INI files, the same questions, the same answers. Runs in the
// Windows builds only (under Wine with code page 932).
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/text_encoding.h"
#include "tests/ini_cases.h"

namespace {

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
    ASSERT_EQ(std::fwrite(kIniCases, 1, kIniCasesSize, file), kIniCasesSize);
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
  config::IniDocument ours_ = IniCases();
};

TEST_F(SystemReaderTest, TestBedRunsWithCodePage932) {
  EXPECT_EQ(GetACP(), 932u);
  EXPECT_EQ(platform::SystemTextEncoding(), platform::TextEncoding::kShiftJis);
}

TEST_F(SystemReaderTest, TextsAgree) {
  const Question questions[] = {
      {"FONTS", "NAME", 255},       {"Fonts", "Other", 255},     {"Fonts", "Bare line", 255},
      {"Spaced", "Key", 255},       {" Spaced ", "Key", 255},    {" Start ", " Key ", 255},
      {"Spaced", "Tabbed", 255},    {"Unclosed", "Tabbed", 255}, {"\x83\x5D", "Key", 255},
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
