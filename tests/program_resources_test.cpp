// What a program carries, found through the platform: the configuration and
// the difference files of its package (here the test package made from
// tests/test_package.ini) and the string table. Japanese literals are in the
// system code page on both platforms (the Windows build compiles them to 932).
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "config/res_file_ctrl.h"
#include "platform/resources.h"
#include "platform/string_table.h"

namespace {

std::string Resource(const char* type, uint16_t id) {
  platform::ResourceBytes bytes;
  if (!platform::ProgramResources().Find(type, id, &bytes)) return "<missing>";
  return std::string(reinterpret_cast<const char*>(bytes.data), bytes.size);
}

TEST(ProgramResources, CarriesTheConfigurationAsTheProgramReadsIt) {
  std::string ini = Resource("INIFILE", 2000);
  EXPECT_EQ(ini.rfind("[UPDATE_FONT]\r\nMAXNUM=4\r\nFONT_PAFILE1=", 0), 0u) << ini;
  for (size_t at = ini.find('\n'); at != std::string::npos; at = ini.find('\n', at + 1)) {
    ASSERT_GT(at, 0u);
    EXPECT_EQ(ini[at - 1], '\r') << "bare line feed at " << at;
  }
  const std::string last = "FONT_TEXTTITLE2=　　・SampleMincho ProN Regular";
  ASSERT_GE(ini.size(), last.size());
  EXPECT_EQ(ini.substr(ini.size() - last.size()), last);
}

TEST(ProgramResources, CarriesTheDifferenceFilesTheConfigurationNames) {
  for (uint16_t id = 2001; id <= 2003; ++id) {
    EXPECT_EQ(Resource("FONT_PA", id).substr(0, 4), "XOTP") << id;
  }
  EXPECT_EQ(Resource("FONT_PA", 2004), "<missing>");
  EXPECT_EQ(Resource("INIFILE", 2001), "<missing>");
  EXPECT_EQ(Resource("FONT_PA", 2000), "<missing>");
}

TEST(ProgramResources, ConfigurationControllerReadsThePackage) {
  CResFileCtrl& control = CResFileCtrl::Instance();
  EXPECT_EQ(&control, &CResFileCtrl::Instance());
  EXPECT_EQ(control.DeclaredCount(), 4);
  ASSERT_EQ(control.LoadedCount(), 3);
  EXPECT_STREQ(control.Entry(2).targetFileName, "SampleMinchoProN-Regular.otf");
  EXPECT_EQ(control.GetStartText(),
            "タブレロンフォント製品をご利用のお客様は、下記2フォントが改訂対象です。\n\n"
            "　　・SampleGothic ProN Bold\n"
            "　　・SampleMincho ProN Regular\n");
  CResFileCtrl::Release();
  EXPECT_EQ(CResFileCtrl::Instance().LoadedCount(), 3);
  CResFileCtrl::Release();
}

TEST(StringTable, HoldsTheMessagesInTheSystemCodePage) {
  std::string text;
  ASSERT_TRUE(platform::LoadResourceString(101, &text));
  EXPECT_EQ(text, "TAVRELONフォント 改訂プログラムのﾊﾞｰｼﾞｮﾝ情報(&A)...");
  ASSERT_TRUE(platform::LoadResourceString(102, &text));
  EXPECT_EQ(text,
            "フォントの改訂を中止します。\r\n\r\n中止する場合は、”はい”ボタン、\r\n"
            "中止しない場合は、”いいえ”ボタンを押してください。");
  ASSERT_TRUE(platform::LoadResourceString(113, &text));
  EXPECT_EQ(text, "改訂ファイル(%s)の読み込みに失敗しました。");

  const std::set<uint16_t> present = {101, 102, 105, 106, 107, 108, 109, 110, 111, 112,
                                      113, 114, 116, 119, 120, 121, 122, 123, 124, 125};
  for (uint16_t id = 99; id <= 126; ++id) {
    EXPECT_EQ(platform::LoadResourceString(id, &text), present.count(id) == 1) << id;
  }
}

}  // namespace
