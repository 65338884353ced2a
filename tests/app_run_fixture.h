// A whole run of the program over fakes: three target fonts with their
// difference files and configuration, the drives they are installed on, the
// machine, the scripted user and the program's two controllers built over
// all of it. Tests change what they need before they run the main dialog.
#ifndef OTU_TESTS_APP_RUN_FIXTURE_H_
#define OTU_TESTS_APP_RUN_FIXTURE_H_

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/run_environment.h"
#include "app/updater_dlg.h"
#include "platform/desktop.h"
#include "resources/resource_ids.h"
#include "tests/fake_desktop.h"
#include "tests/fake_machine.h"
#include "tests/fake_run_disk.h"
#include "tests/font_builder.h"

namespace testapp {

using platform::kCancel;
using platform::kOk;
using testfont::Bytes;

// The texts the user reads, as the string table holds them.
const char kTextConfirmStop[] =
    "フォントの改訂を中止します。\r\n\r\n中止する場合は、”はい”ボタン、\r\n中止しない場合は、”いいえ”ボタンを押してください。";
const char kTextConfirmSearchStop[] =
    "改訂対象フォントの検索を中止します。\r\n\r\n中止する場合は、”はい”ボタン、\r\n中止しない場合は、”いいえ”ボタンを押してください。";
const char kTextRevised[] =
    "改訂が正常に終了しました。\r\n\r\n改訂したフォントを有効にする為に、システムを再起動します。\r\n再起動する場合は、”再起動”を押してください。";
const char kTextStopped[] = "フォントの改訂を中止しました。";
const char kTextNoCandidates[] = "該当するフォントがありませんでした。\r\n\r\n改訂プログラムを終了します。";
const char kTextNothingToRevise[] = "改訂対象となるフォントが存在しません。\r\n改訂を開始できません。";
const char kTextNoTargets[] = "改訂元のフォントが存在しません。\r\n改訂を中止します。";
const char kTextDifferenceIncomplete[] = "改訂プログラムの差分ファイルの読み込みに失敗しました。";

// `format` with its "%s" replaced by `argument`.
inline std::string Filled(std::string format, const std::string& argument) {
  size_t at = format.find("%s");
  return at == std::string::npos ? format : format.replace(at, 2, argument);
}

// The program's controllers, made on first request over the run's fakes.
class TestControllers : public ProcessControllers {
 public:
  TestControllers(const platform::ResourceSource& resources, RunDisk& disk, const NameRules& rules)
      : resources_(resources), disk_(disk), rules_(rules) {}

  CResFileCtrl& Configuration() override {
    if (configuration_ == nullptr) {
      configuration_ = std::make_unique<CResFileCtrl>(resources_, rules_.encoding);
      configuration_->LoadConfiguration();
    }
    return *configuration_;
  }
  CFolderCheckCtrl& Search() override {
    if (search_ == nullptr) {
      search_ = std::make_unique<CFolderCheckCtrl>(disk_, resources_, disk_, rules_);
      search_->BuildTargetList(Configuration());
    }
    return *search_;
  }
  void Release() override {
    ++releases;
    search_.reset();
    configuration_.reset();
  }

  int releases = 0;

 private:
  const platform::ResourceSource& resources_;
  RunDisk& disk_;
  NameRules rules_;
  std::unique_ptr<CResFileCtrl> configuration_;
  std::unique_ptr<CFolderCheckCtrl> search_;
};

// One installed revision that a difference file revises into the next.
struct Revision {
  std::string fontName;
  std::string paFile;
  uint16_t resourceId;
  std::vector<testfont::Table> oldTables;
  std::vector<testfont::Table> newTables;
  Bytes oldFont;
  Bytes newFont;
  Bytes diff;
};

constexpr uint32_t kOldRevision = 0x00010000;

inline Revision MakeRevision(const std::string& fontName, const std::string& paFile, uint16_t resourceId,
                             int seed) {
  Revision revision{fontName, paFile, resourceId, {}, {}, {}, {}, {}};
  revision.oldTables = testfont::SampleTables(kOldRevision, fontName, seed);
  revision.newTables = testfont::SampleTables(0x00020000, fontName, seed + 10, 50);
  revision.oldFont = testfont::BuildFont(revision.oldTables);
  revision.newFont = testfont::BuildFont(revision.newTables);
  revision.diff =
      testfont::BuildSabun(testfont::DiffTables(revision.oldTables, revision.newTables, fontName, kOldRevision));
  return revision;
}

// Where the default disk holds the three fonts (found in this order), the
// downloaded copies (removed in this order) and the font caches.
const char kMinchoPath[] = "C:\\WINDOWS\\Fonts\\SampleMinchoProN-R.otf";
const char kGothicPath[] = "C:\\WINDOWS\\Fonts\\SampleGothicProN-B.otf";
const char kMaruPath[] = "D:\\Fonts\\SampleMaruProN-M.otf";
const char kDownload1[] = "C:\\Program Files\\Tavrelon\\Fonts\\Download\\add\\10001";
const char kDownload2[] = "C:\\Program Files\\Tavrelon\\Fonts\\Download\\add\\10003";
const char kDownload3[] = "D:\\Apps\\Pennrook\\Fonts\\Download\\add\\10008";
const char kNotDownload[] = "C:\\Temp\\10002";
const char kFontCache[] = "C:\\WINDOWS\\system32\\fntcache.dat";
const char kFontCache32[] = "C:\\WINDOWS\\SysWOW64\\fntcache.dat";

class AppRun {
 public:
  AppRun()
      : revisions{MakeRevision("SampleMincho ProN R", "SampleMinchoProN-R_1.pa", 2001, 1),
                  MakeRevision("SampleGothic ProN B", "SampleGothicProN-B_1.pa", 2002, 2),
                  MakeRevision("SampleMaru ProN M", "SampleMaruProN-M_1.pa", 2003, 3)},
        controllers(resources, disk, rules),
        environment{desktop, machine, disk, resources, controllers, rules} {
    for (const Revision& revision : revisions) resources.Add("FONT_PA", revision.resourceId, revision.diff);
    Configure(3, 3);
    disk.log = &desktop.log;
    machine.log = &desktop.log;
    disk.Redirect("C:\\WINDOWS\\system32\\", "C:\\WINDOWS\\SysWOW64\\", &machine.redirectionOff);
  }

  // The configuration: MAXNUM = `declared`, entries for the first `entries`
  // revisions, and the start dialog's text.
  void Configure(int declared, size_t entries) {
    std::string ini = "[UPDATE_FONT]\r\nMAXNUM=" + std::to_string(declared) + "\r\n";
    for (size_t k = 0; k < entries; ++k) {
      std::string n = std::to_string(k + 1);
      ini += "FONT_PAFILE" + n + "=" + revisions[k].paFile + "\r\n";
      ini += "FONT_RESNUM" + n + "=" + std::to_string(revisions[k].resourceId) + "\r\n";
    }
    ini +=
        "[UPDATE_STARTDLG_STRING]\r\n"
        "MAIN_TEXTTITLE=タブレロンフォント製品をご利用のお客様は、下記3フォントが改訂対象です。\r\n"
        "MAXNUM=3\r\n"
        "FONT_TEXTTITLE1=　　・SampleMincho ProN R\r\n"
        "FONT_TEXTTITLE2=　　・SampleGothic ProN B\r\n"
        "FONT_TEXTTITLE3=　　・SampleMaru ProN M\r\n";
    resources.Add("INIFILE", 2000, Bytes(ini.begin(), ini.end()));
  }

  void Install(const std::string& path, size_t revision) { disk.AddFile(path, revisions[revision].oldFont); }

  // The second font installed without its Windows licence text: the update
  // cannot carry it over and refuses the font (result 1).
  void InstallGothicWithoutWindowsLicence() {
    std::vector<testfont::Table> tables = revisions[1].oldTables;
    tables[3].bytes = testfont::NameTable(testfont::StandardNameRecords("SampleGothic ProN B", "licence", ""));
    disk.files[kGothicPath] = testfont::BuildFont(tables);
  }

  // Drives C: and D: with the three fonts, the downloaded copies, a file of
  // a download name elsewhere, and the font cache in the system folder and
  // in the folder a 32-bit program sees under its name.
  void DefaultDisk() {
    disk.AddDrive("C:\\");
    disk.AddDrive("D:\\");
    Install(kMinchoPath, 0);
    Install(kGothicPath, 1);
    disk.AddFile(kFontCache, {1, 2, 3});
    disk.AddFile(kFontCache32, {4, 5, 6});
    disk.AddFile(kDownload1, {7});
    disk.AddFile(kDownload2, {8});
    disk.AddFile(kNotDownload, {9});
    Install(kMaruPath, 2);
    disk.AddFile(kDownload3, {10});
  }

  // "次へ" in the start dialog, then "実行" in the list; `beforeExecute`
  // runs right before the press.
  void StartAndExecute(std::function<void()> beforeExecute = nullptr) {
    desktop.Answer(IDD_START_DIALOG, kOk);
    desktop.Answer(IDD_OPENTYPEUPDATER_DIALOG, kOk, std::move(beforeExecute));
  }

  // The main dialog from construction to destruction: its modal result.
  int RunMainDialog() {
    COpenTypeUpdaterDlg dialog(environment);
    return dialog.DoModal();
  }

  const Bytes& Installed(const std::string& path) { return disk.files[path]; }

  ScriptedDesktop desktop;
  FakeMachine machine;
  RunDisk disk;
  platform::MemoryResources resources;
  std::vector<Revision> revisions;
  NameRules rules = {'\\', platform::TextEncoding::kUtf8};
  TestControllers controllers;
  RunEnvironment environment;
};

}  // namespace testapp

#endif  // OTU_TESTS_APP_RUN_FIXTURE_H_
