// The configuration controller over resources held in memory: which
// difference entries a configuration yields, where the list stops, and the
// start dialog's text.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "config/res_file_ctrl.h"

namespace {

using platform::TextEncoding;

class ConfigurationTest : public ::testing::Test {
 protected:
  // Difference files 2001 to 2009 exist, each a few bytes long.
  ConfigurationTest() {
    for (uint16_t id = 2001; id <= 2009; ++id) resources_.Add("FONT_PA", id, {'X', 'O', 'T', 'P'});
  }

  CResFileCtrl& Load(const std::string& ini, TextEncoding encoding = TextEncoding::kShiftJis) {
    resources_.Add("INIFILE", 2000, std::vector<uint8_t>(ini.begin(), ini.end()));
    control_.reset(new CResFileCtrl(resources_, encoding));
    control_->LoadConfiguration();
    return *control_;
  }

  static std::vector<std::string> Targets(const CResFileCtrl& control) {
    std::vector<std::string> names;
    for (int32_t i = 0; i < control.LoadedCount(); ++i) names.push_back(control.Entry(i).targetFileName);
    return names;
  }

  // FONT_PAFILEn and FONT_RESNUMn for n = first .. last, ids 2000 + n.
  static std::string Entries(int first, int last) {
    std::string lines;
    for (int n = first; n <= last; ++n) {
      lines += "FONT_PAFILE" + std::to_string(n) + "=Font" + std::to_string(n) + ".pa\r\n";
      lines += "FONT_RESNUM" + std::to_string(n) + "=" + std::to_string(2000 + n) + "\r\n";
    }
    return lines;
  }

  platform::MemoryResources resources_;
  std::unique_ptr<CResFileCtrl> control_;
};

TEST_F(ConfigurationTest, MakesOneEntryPerDifferenceFileInKeyOrder) {
  CResFileCtrl& control = Load(
      "[UPDATE_FONT]\r\nMAXNUM=3\r\n"
      "FONT_PAFILE1=SampleGothicProN-Bold_1.pa\r\nFONT_RESNUM1=2001\r\n"
      "FONT_PAFILE2=SampleGothicProN-Bold_2.pa\r\nFONT_RESNUM2=2002\r\n"
      "FONT_PAFILE3=SampleMinchoProN-Regular.pa\r\nFONT_RESNUM3=2003");
  EXPECT_EQ(control.DeclaredCount(), 3);
  ASSERT_EQ(control.LoadedCount(), 3);
  EXPECT_EQ(Targets(control), (std::vector<std::string>{"SampleGothicProN-Bold.otf",
                                                        "SampleGothicProN-Bold.otf",
                                                        "SampleMinchoProN-Regular.otf"}));
  EXPECT_EQ(control.Entry(0).resourceId, 2001);
  EXPECT_EQ(control.Entry(1).resourceId, 2002);
  EXPECT_EQ(control.Entry(2).resourceId, 2003);
  EXPECT_STREQ(control.Entry(1).paFileName, "SampleGothicProN-Bold_2.pa");
}

TEST_F(ConfigurationTest, TargetNameIsTheFileNameUpToTheFirstUnderscorePlusOtf) {
  CResFileCtrl& control = Load(
      "[UPDATE_FONT]\r\nMAXNUM=5\r\n"
      "FONT_PAFILE1=Two_under_scores.pa\r\nFONT_RESNUM1=2001\r\n"
      "FONT_PAFILE2=C:\\pa\\files\\SampleMinchoProN-Regular.pa\r\nFONT_RESNUM2=2002\r\n"
      "FONT_PAFILE3=Other.diff\r\nFONT_RESNUM3=2003\r\n"
      "FONT_PAFILE4=Font\x83\x5FName_2.pa\r\nFONT_RESNUM4=2004\r\n"
      "FONT_PAFILE5=_Leading.pa\r\nFONT_RESNUM5=2005\r\n");
  EXPECT_EQ(Targets(control),
            (std::vector<std::string>{"Two.otf", "SampleMinchoProN-Regular.otf", "Other.otf",
                                      "Font\x83\x5FName.otf", ".otf"}));
  EXPECT_STREQ(control.Entry(1).paFileName, "C:\\pa\\files\\SampleMinchoProN-Regular.pa");
}

struct StopCase {
  const char* what;
  std::string font_section;
  int32_t declared;
  int32_t loaded;
};

TEST_F(ConfigurationTest, StopsAtTheFirstMissingOrUnusableEntry) {
  const std::string filler(248, 'n');
  const std::vector<StopCase> cases = {
      {"RESNUM5 names no resource", "MAXNUM=9\r\n" + Entries(1, 4) +
           "FONT_PAFILE5=F5.pa\r\nFONT_RESNUM5=2105\r\n" + Entries(6, 9), 9, 4},
      {"all nine", "MAXNUM=9\r\n" + Entries(1, 9), 9, 9},
      {"fewer declared than present", "MAXNUM=2\r\n" + Entries(1, 9), 2, 2},
      {"gap in the numbering", "MAXNUM=4\r\n" + Entries(1, 2) + Entries(4, 4), 4, 2},
      {"RESNUM 0", "MAXNUM=2\r\n" + Entries(1, 1) + "FONT_PAFILE2=F.pa\r\nFONT_RESNUM2=0\r\n", 2, 1},
      {"RESNUM missing", "MAXNUM=2\r\n" + Entries(1, 1) + "FONT_PAFILE2=F.pa\r\n", 2, 1},
      {"RESNUM beyond 16 bits", "MAXNUM=2\r\n" + Entries(1, 1) +
           "FONT_PAFILE2=F.pa\r\nFONT_RESNUM2=67537\r\n", 2, 1},
      {"RESNUM negative", "MAXNUM=1\r\nFONT_PAFILE1=F.pa\r\nFONT_RESNUM1=-2001\r\n", 1, 0},
      {"empty difference file", "MAXNUM=1\r\nFONT_PAFILE1=F.pa\r\nFONT_RESNUM1=2010\r\n", 1, 0},
      {"empty PAFILE value", "MAXNUM=1\r\nFONT_PAFILE1=\r\nFONT_RESNUM1=2001\r\n", 1, 0},
      {"target name of 256 bytes", "MAXNUM=2\r\n" + Entries(1, 1) + "FONT_PAFILE2=" + filler +
           "nnnn\r\nFONT_RESNUM2=2002\r\n", 2, 1},
      {"target name of 255 bytes", "MAXNUM=1\r\nFONT_PAFILE1=" + filler +
           "nnn_1\r\nFONT_RESNUM1=2001\r\n", 1, 1},
      {"MAXNUM 0", "MAXNUM=0\r\n" + Entries(1, 3), 0, 0},
      {"MAXNUM not a number", "MAXNUM=three\r\n" + Entries(1, 3), 0, 0},
      {"MAXNUM empty", "MAXNUM=\r\n" + Entries(1, 3), 0, 0},
      {"MAXNUM missing", Entries(1, 3), 0, 0},
      {"MAXNUM negative", "MAXNUM=-3\r\n" + Entries(1, 3), -3, 0},
      {"MAXNUM with trailing text", "MAXNUM=2 fonts\r\n" + Entries(1, 3), 2, 2},
  };
  resources_.Add("FONT_PA", 2010, {});
  for (const StopCase& c : cases) {
    CResFileCtrl& control = Load("[UPDATE_FONT]\r\n" + c.font_section);
    EXPECT_EQ(control.DeclaredCount(), c.declared) << c.what;
    EXPECT_EQ(control.LoadedCount(), c.loaded) << c.what;
    for (int32_t i = 0; i < control.LoadedCount(); ++i) {
      EXPECT_EQ(control.Entry(i).resourceId, 2001 + i) << c.what;
    }
  }
}

TEST_F(ConfigurationTest, WithoutConfigurationResourceNothingIsDeclared) {
  CResFileCtrl control(resources_, TextEncoding::kShiftJis);
  control.LoadConfiguration();
  EXPECT_EQ(control.DeclaredCount(), 0);
  EXPECT_EQ(control.LoadedCount(), 0);
  EXPECT_EQ(control.GetStartText(), "");
}

TEST_F(ConfigurationTest, LoadingAgainReplacesTheEntriesAndClearDropsThem) {
  CResFileCtrl& control = Load("[UPDATE_FONT]\r\nMAXNUM=3\r\n" + Entries(1, 3) +
                               "[UPDATE_STARTDLG_STRING]\r\nMAIN_TEXTTITLE=T\r\nMAXNUM=0");
  control.LoadConfiguration();
  EXPECT_EQ(control.LoadedCount(), 3);
  EXPECT_EQ(control.GetStartText(), "T\n\n");
  control.Clear();
  EXPECT_EQ(control.LoadedCount(), 0);
  EXPECT_EQ(control.DeclaredCount(), 3);
  EXPECT_EQ(control.GetStartText(), "");
}

TEST_F(ConfigurationTest, StartTextIsTitleBlankLineAndListLines) {
  const std::string space = "\x81\x40";  // ideographic space
  const std::string title(1100, 't');
  struct Case {
    const char* what;
    std::string section;
    std::string text;
  } cases[] = {
      {"complete", "MAIN_TEXTTITLE=Title\r\nMAXNUM=2\r\nFONT_TEXTTITLE1=" + space + space +
           "A\r\nFONT_TEXTTITLE2=" + space + space + "B",
       "Title\n\n" + space + space + "A\n" + space + space + "B\n"},
      {"line 2 missing", "MAIN_TEXTTITLE=Title\r\nMAXNUM=3\r\nFONT_TEXTTITLE1=one\r\n"
           "FONT_TEXTTITLE3=three", "Title\n\none\n\nthree\n"},
      {"no title", "MAXNUM=1\r\nFONT_TEXTTITLE1=one", ""},
      {"no line count", "MAIN_TEXTTITLE=Title\r\nFONT_TEXTTITLE1=one", ""},
      {"line count 0", "MAIN_TEXTTITLE=Title\r\nMAXNUM=0\r\nFONT_TEXTTITLE1=one", "Title\n\n"},
      {"line count not a number", "MAIN_TEXTTITLE=Title\r\nMAXNUM=x\r\nFONT_TEXTTITLE1=one",
       "Title\n\n"},
      {"line count beyond any dialog", "MAIN_TEXTTITLE=Title\r\nMAXNUM=2147483647\r\nFONT_TEXTTITLE1=one",
       "Title\n\none\n" + std::string(1023, '\n')},
      {"long title", "MAIN_TEXTTITLE=" + title + "\r\nMAXNUM=0", std::string(1023, 't') + "\n\n"},
  };
  for (const Case& c : cases) {
    CResFileCtrl& control = Load("[UPDATE_FONT]\r\nMAXNUM=1\r\n" + Entries(1, 1) +
                                 "[UPDATE_STARTDLG_STRING]\r\n" + c.section);
    EXPECT_EQ(control.GetStartText(), c.text) << c.what;
  }
}

}  // namespace
