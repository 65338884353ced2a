// What the program demands before it touches a font: the system version and
// the user's rights, and one running instance per program file name.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "app/environment_check.h"
#include "app/updater_app.h"
#include "tests/app_run_fixture.h"

namespace {

using namespace testapp;

const char kTextSetupFailed[] =
    "セットアップの初期化でエラーが発生しました。\r\nマシンを再起動後、今一度、改訂プログラムを実行して下さい。\r\n"
    "改善されない場合は、弊社サポートまで、ご連絡ください。";
const char kTextUnsupported[] = "このOSはサポートしていません。\r\n動作環境をご確認下さい。";
const char kTextNoAdministrator[] =
    "現在、ログオンしているユーザの権限では、改訂できません。\r\nAdministrator権限のあるユーザで、ログオンしなおしてください。";

TEST(AppVersionClassification, EveryKindOfSystemGetsItsCodeAndName) {
  struct Case {
    platform::VersionRecord record;
    int32_t code;
    const char* name;
  };
  const Case cases[] = {
      {Version(0, 3, 10), 1001, "Windows 31"},
      {Version(0, 4, 0), 1001, "Windows 31"},
      {Version(1, 4, 0, " C"), 1001, "Windows 95 OSR2"},
      {Version(1, 4, 0, "C "), 1001, "Windows 95"},  // only the second character counts
      {Version(1, 4, 0, " B"), 1001, "Windows 95"},
      {Version(1, 4, 0), 1001, "Windows 95"},
      {Version(1, 4, 10, " A"), 1001, "Windows 98"},
      {Version(1, 4, 90), 1001, "Windows Me"},
      {Version(1, 4, 20), 1002, "NOSUPPORTVERSION"},
      {Version(1, 5, 0), 1002, "NOSUPPORTVERSION"},
      {Version(2, 3, 51), 1001, "Windows NT 3.5"},
      {Version(2, 1, 0), 1001, "Windows NT 3.5"},
      {Version(2, 4, 0), 1001, "Windows NT 4"},
      {Version(2, 4, 90), 1001, "Windows NT 4"},
      {Version(2, 5, 0), 1002, "NOSUPPORTVERSION"},  // Windows 2000
      {Version(2, 5, 1), 6, "Windows XP"},
      {Version(2, 5, 2), 6, "Windows XP"},
      {Version(2, 5, 3), 1002, "NOSUPPORTVERSION"},
      {Version(2, 6, 0), 7, "Windows Vista"},
      {Version(2, 6, 2), 7, "Windows Vista"},
      {Version(2, 10, 0), 7, "Windows Vista"},
      {Version(3, 6, 0), 1002, "NOSUPPORTVERSION"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.record.platformId) + " " + std::to_string(c.record.major) + "." +
                 std::to_string(c.record.minor) + " '" + c.record.servicePack + "'");
    FakeMachine machine;
    machine.versions = {{156, c.record}};
    char name[kSystemNameSize];
    std::memset(name, 'x', sizeof name);
    EXPECT_EQ(c.code, ClassifyWindowsVersion(machine, name));
    EXPECT_STREQ(c.name, name);
    // The buffer is zeroed first: nothing of what it held survives.
    for (size_t k = std::strlen(name); k < kSystemNameSize; ++k) ASSERT_EQ('\0', name[k]) << k;
  }
}

TEST(AppVersionClassification, TheBasicRecordAnswersWhenTheExtendedOneIsRefused) {
  FakeMachine machine;
  machine.versions = {{148, Version(2, 5, 1)}};
  char name[kSystemNameSize];
  EXPECT_EQ(6, ClassifyWindowsVersion(machine, name));
  EXPECT_EQ((std::vector<uint32_t>{156, 148}), machine.versionQueries);

  // Whatever the basic record says is not asked for once the extended answers.
  machine.versions = {{156, Version(2, 6, 1)}, {148, Version(1, 4, 10)}};
  machine.versionQueries.clear();
  EXPECT_EQ(7, ClassifyWindowsVersion(machine, name));
  EXPECT_EQ((std::vector<uint32_t>{156}), machine.versionQueries);

  machine.versions.clear();
  std::memset(name, 'x', sizeof name);
  EXPECT_EQ(1000, ClassifyWindowsVersion(machine, name));
  for (char c : name) ASSERT_EQ('\0', c);
}

TEST(AppEnvironmentCheck, RefusalsShowTheirMessageAndTheVersionComesBeforeTheRights) {
  struct Case {
    std::map<uint32_t, platform::VersionRecord> versions;
    bool administrator;
    int32_t code;
    const char* message;  // null: no dialog
  };
  const Case cases[] = {
      {{}, true, 1000, kTextSetupFailed},
      {{}, false, 1000, kTextSetupFailed},
      {{{156, Version(2, 5, 0)}}, true, 1002, kTextUnsupported},
      {{{156, Version(2, 5, 0)}}, false, 1002, kTextUnsupported},
      {{{148, Version(2, 4, 0)}}, false, 1001, kTextUnsupported},
      {{{156, Version(1, 4, 90)}}, true, 1001, kTextUnsupported},
      {{{156, Version(2, 5, 2)}}, false, 1005, kTextNoAdministrator},
      {{{156, Version(2, 6, 1)}}, false, 1005, kTextNoAdministrator},
      {{{156, Version(2, 5, 2)}}, true, 6, nullptr},
      {{{148, Version(2, 6, 0)}}, true, 7, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    AppRun run;
    run.machine.versions = c.versions;
    run.machine.administrator = c.administrator;
    if (c.message != nullptr) run.desktop.Answer(IDD_OK_DIALOG, kOk);
    EXPECT_EQ(c.code, CheckEnvironment(run.environment));
    if (c.message != nullptr) {
      ASSERT_EQ(std::vector<int>{IDD_OK_DIALOG}, run.desktop.Opened());
      EXPECT_EQ(c.message, run.desktop.Last(IDD_OK_DIALOG).Text(IDC_MESSAGE_EDIT));
    } else {
      EXPECT_TRUE(run.desktop.Opened().empty());
    }
    // The rights are asked only of a system that passed.
    EXPECT_EQ(c.code == 1005 || c.code < 1000 ? 1 : 0, run.machine.administratorChecks);
  }
}

TEST(AppEnvironmentCheck, ARefusedMachineEndsTheRunBeforeTheStartDialog) {
  AppRun run;
  run.DefaultDisk();
  run.machine.versions = {{156, Version(2, 5, 0)}};
  run.desktop.Answer(IDD_OK_DIALOG, kOk);
  EXPECT_EQ(0, run.RunMainDialog());
  EXPECT_EQ((std::vector<int>{IDD_OPENTYPEUPDATER_DIALOG, IDD_OK_DIALOG}), run.desktop.Opened());
  EXPECT_EQ(kTextUnsupported, run.desktop.Last(IDD_OK_DIALOG).Text(IDC_MESSAGE_EDIT));
  EXPECT_TRUE(run.disk.opened.empty());
  EXPECT_EQ(0, run.desktop.broadcasts);
}

TEST(AppSingleInstance, TheClaimIsTheFileNameWithoutExtensionAndExe) {
  const NameRules rules = {'\\', platform::TextEncoding::kShiftJis};
  EXPECT_EQ("OpenTypeUpdater.EXE", InstanceName(rules, "OpenTypeUpdater.exe"));
  EXPECT_EQ("Updater.v2.EXE", InstanceName(rules, "Updater.v2.exe"));
  EXPECT_EQ("UPDATER.EXE", InstanceName(rules, "UPDATER"));
  // "ソ" ends in the byte of "\\": still one file name.
  EXPECT_EQ("\x83\x5C\x83\x74\x83\x67.EXE", InstanceName(rules, "\x83\x5C\x83\x74\x83\x67.exe"));
}

TEST(AppSingleInstance, ASecondStartOfTheSameFileLeavesSilentlyWhileACopyUnderAnotherNameRuns) {
  // The first instance has no usable configuration: it shows 119 and an empty
  // list, where it waits while the others start.
  AppRun first;
  first.resources = platform::MemoryResources();
  AppRun second;
  second.machine.heldClaims = first.machine.heldClaims;
  AppRun copy;
  copy.machine.heldClaims = first.machine.heldClaims;
  copy.machine.executable = "OpenTypeUpdater2.exe";
  copy.resources = platform::MemoryResources();
  copy.desktop.Answer(IDD_OK_DIALOG, kOk);
  copy.desktop.Answer(IDD_OPENTYPEUPDATER_DIALOG, kCancel);
  copy.desktop.Answer(IDD_MESSAGE_DIALOG, kOk);

  COpenTypeUpdaterApp firstApp(first.environment);
  first.desktop.Answer(IDD_OK_DIALOG, kOk);
  first.desktop.Answer(IDD_OPENTYPEUPDATER_DIALOG, kCancel, [&] {
    COpenTypeUpdaterApp(second.environment).Run();
    COpenTypeUpdaterApp(copy.environment).Run();
  });
  first.desktop.Answer(IDD_MESSAGE_DIALOG, kOk);
  firstApp.Run();

  EXPECT_EQ((std::vector<std::string>{"OpenTypeUpdater.EXE"}), first.machine.claimRequests);
  EXPECT_EQ((std::vector<int>{IDD_OPENTYPEUPDATER_DIALOG, IDD_OK_DIALOG, IDD_MESSAGE_DIALOG}),
            first.desktop.Opened());
  EXPECT_EQ((std::vector<std::string>{"OpenTypeUpdater.EXE"}), second.machine.claimRequests);
  EXPECT_TRUE(second.desktop.Opened().empty());
  EXPECT_TRUE(second.machine.versionQueries.empty());
  EXPECT_EQ(0, second.controllers.releases);
  EXPECT_EQ((std::vector<std::string>{"OpenTypeUpdater2.EXE"}), copy.machine.claimRequests);
  EXPECT_EQ((std::vector<int>{IDD_OPENTYPEUPDATER_DIALOG, IDD_OK_DIALOG, IDD_MESSAGE_DIALOG}),
            copy.desktop.Opened());

  // The claim lasts as long as the application object, past its run.
  AppRun later;
  later.machine.heldClaims = first.machine.heldClaims;
  COpenTypeUpdaterApp(later.environment).Run();
  EXPECT_TRUE(later.desktop.Opened().empty());
}

}  // namespace
