// Runs nobody attends: the command line that asks for them, the dialogs
// that never reach the screen while each gets its default answer, the exit
// outcome of each way a run ends, and the log an administrator collects.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/run_options.h"
#include "app/run_outcome.h"
#include "app/unattended_desktop.h"
#include "app/updater_app.h"
#include "tests/app_run_fixture.h"

namespace {

using namespace testapp;

TEST(RunOptions, InstallerSwitchesInAnyCaseOrWithADash) {
  RunOptions options;
  std::string error;
  ASSERT_TRUE(ParseInstallerSwitches({"/QUIET", "-ForceRestart", "/log", "C:\\logs\\fonts.log"}, &options, &error));
  EXPECT_EQ(Attendance::kQuiet, options.attendance);
  EXPECT_EQ(RestartChoice::kAlways, options.restart);
  EXPECT_EQ("C:\\logs\\fonts.log", options.logPath);

  options = RunOptions();
  ASSERT_TRUE(ParseInstallerSwitches({"/passive", "/norestart", "/?"}, &options, &error));
  EXPECT_EQ(Attendance::kPassive, options.attendance);
  EXPECT_FALSE(RestartsUnattended(options));
  EXPECT_TRUE(options.usage);

  const std::vector<std::pair<std::vector<std::string>, std::string>> bad = {
      {{"/quiet", "/passive"}, "quiet and passive runs exclude each other"},
      {{"/norestart", "/forcerestart"}, "a run cannot both restart and not restart the machine"},
      {{"/log"}, "/log needs a file"},
      {{"/log", "a", "/log", "b"}, "one log file only"},
      {{"--quiet"}, "unknown switch --quiet"},
      {{"quiet"}, "unknown switch quiet"},
  };
  for (const auto& [arguments, reason] : bad) {
    options = RunOptions();
    EXPECT_FALSE(ParseInstallerSwitches(arguments, &options, &error)) << arguments[0];
    EXPECT_EQ(reason, error);
  }
  // A quiet run told wrong is still quiet, wherever its switch stands.
  options = RunOptions();
  EXPECT_FALSE(ParseInstallerSwitches({"/frobnicate", "/Quiet"}, &options, &error));
  EXPECT_EQ("unknown switch /frobnicate", error);
  EXPECT_EQ(Attendance::kQuiet, options.attendance);
}

TEST(RunOptions, PosixLongOptions) {
  RunOptions options;
  std::string error;
  ASSERT_TRUE(ParsePosixOptions({"--passive", "--restart", "--log=/var/log/fonts.log"}, &options, &error));
  EXPECT_EQ(Attendance::kPassive, options.attendance);
  EXPECT_TRUE(RestartsUnattended(options));
  EXPECT_EQ("/var/log/fonts.log", options.logPath);
  options = RunOptions();
  ASSERT_TRUE(ParsePosixOptions({"--quiet", "--log", "run.log", "--no-restart"}, &options, &error));
  EXPECT_EQ("run.log", options.logPath);
  EXPECT_FALSE(RestartsUnattended(options));
  for (const std::vector<std::string>& arguments :
       std::vector<std::vector<std::string>>{{"/quiet"}, {"--quiet=yes"}, {"-q"}, {"--log=", "x"}}) {
    options = RunOptions();
    EXPECT_FALSE(ParsePosixOptions(arguments, &options, &error)) << arguments[0];
  }
  options = RunOptions();
  ParsePosixOptions({"--frobnicate"}, &options, &error);
  EXPECT_EQ("unrecognized argument '--frobnicate'", error);
}

class CollectedLog : public platform::LogFile {
 public:
  void Write(const std::string& text) override { lines.push_back(text); }
  bool Failed() const override { return false; }
  // The index of the first line that starts with `start`; lines.size() when none does.
  size_t Find(const std::string& start) const {
    for (size_t k = 0; k < lines.size(); ++k) {
      if (lines[k].compare(0, start.size(), start) == 0) return k;
    }
    return lines.size();
  }
  std::vector<std::string> lines;
};

// An unattended run of the fixture's machine: the scripted desktop is the
// host, so any dialog that reaches it without an answer fails the test.
struct UnattendedRun {
  explicit UnattendedRun(Attendance attendance, RestartChoice restart = RestartChoice::kAsk) {
    options.attendance = attendance;
    options.restart = restart;
    run.DefaultDisk();
  }
  RunOutcome Run() {
    UnattendedDesktop desktop(run.desktop, options);
    RunEnvironment environment = {desktop,         run.machine, run.disk, run.resources,
                                  run.controllers, run.rules,   &log};
    return COpenTypeUpdaterApp(environment).Run();
  }
  RunOptions options;
  AppRun run;
  CollectedLog log;
};

TEST(UnattendedRun, QuietRevisesEveryFontWithoutAWindowAndLogsEachStep) {
  UnattendedRun quiet(Attendance::kQuiet);
  EXPECT_EQ(RunOutcome::kRestartNeeded, quiet.Run());
  AppRun& run = quiet.run;
  for (size_t k = 0; k < 3; ++k) {
    EXPECT_EQ(run.revisions[k].newFont, run.Installed(k == 0 ? kMinchoPath : k == 1 ? kGothicPath : kMaruPath));
  }
  EXPECT_TRUE(run.desktop.Opened().empty());
  EXPECT_EQ(0, run.machine.restartRequests);
  EXPECT_EQ(1, run.desktop.broadcasts);
  EXPECT_EQ(0u, run.disk.files.count(kDownload1));

  const std::vector<std::string> expected = {
      "program: OpenTypeUpdater.exe 1.2.3",
      "machine: PC-0042, user admin, Windows 5.1.2600 Service Pack 3",
      "search: drive C:\\",
      "search: drive D:\\",
      std::string("candidate: ") + kMinchoPath + ": installed revision 1.000, revised to 2.000",
      std::string("candidate: ") + kGothicPath + ": installed revision 1.000, revised to 2.000",
      std::string("candidate: ") + kMaruPath + ": installed revision 1.000, revised to 2.000",
      std::string("update: ") + kMinchoPath + ": result 0",
      std::string("update: ") + kGothicPath + ": result 0",
      std::string("update: ") + kMaruPath + ": result 0",
      std::string("clean-up: ") + kDownload1 + ": deleted",
      std::string("clean-up: ") + kDownload2 + ": deleted",
      std::string("clean-up: ") + kDownload3 + ": deleted",
      std::string("clean-up: font cache ") + kFontCache + ": deleted",
      "message: 改訂が正常に終了しました。  改訂したフォントを有効にする為に、システムを再起動します。 "
      "再起動する場合は、”再起動”を押してください。",
  };
  std::vector<std::string> logged;
  for (const std::string& line : quiet.log.lines) {
    if (line.compare(0, 16, "search: fonts fo") != 0) logged.push_back(line);
  }
  EXPECT_EQ(expected, logged);
}

TEST(UnattendedRun, PassiveShowsTheProgressWindowsOnlyAndForceRestartRestarts) {
  UnattendedRun passive(Attendance::kPassive, RestartChoice::kAlways);
  EXPECT_EQ(RunOutcome::kRestartStarted, passive.Run());
  AppRun& run = passive.run;
  EXPECT_EQ(1, run.desktop.Count(IDD_WAIT_DIALOG));
  EXPECT_EQ(1, run.desktop.Count(IDD_PROGRESS_DIALOG));
  for (int modal : {IDD_START_DIALOG, IDD_OPENTYPEUPDATER_DIALOG, IDD_NORMALEND_DIALOG, IDD_OK_DIALOG}) {
    EXPECT_EQ(0, run.desktop.Count(modal)) << modal;
  }
  EXPECT_EQ(run.revisions[2].newFont, run.Installed(kMaruPath));
  EXPECT_EQ(1, run.machine.restartRequests);
  EXPECT_LT(passive.log.Find("message: 改訂が正常に終了しました。"), passive.log.Find("restart: requested"));
}

TEST(UnattendedRun, EachWayARunEndsHasItsOutcome) {
  struct Row {
    const char* name;
    std::function<void(AppRun*)> arrange;
    RunOutcome outcome;
    const char* logged;  // a line the log must hold
  };
  const std::vector<Row> rows = {
      {"a font that cannot be revised",
       [](AppRun* run) { run->InstallGothicWithoutWindowsLicence(); },
       RunOutcome::kFailed, "update: C:\\WINDOWS\\Fonts\\SampleGothicProN-B.otf: result 1"},
      {"nothing to revise", [](AppRun* run) { run->disk.files.erase(kMinchoPath), run->disk.files.erase(kGothicPath),
                                               run->disk.files.erase(kMaruPath); },
       RunOutcome::kDone, "message: 該当するフォントがありませんでした。  改訂プログラムを終了します。"},
      {"a package that does not load", [](AppRun* run) { run->Configure(3, 2); }, RunOutcome::kPackageDamaged,
       "message: 改訂プログラムの差分ファイルの読み込みに失敗しました。"},
      {"no administrator", [](AppRun* run) { run->machine.administrator = false; }, RunOutcome::kNotAdministrator,
       nullptr},
      {"Windows 2000", [](AppRun* run) { run->machine.versions = {{156, Version(2, 5, 0)}}; },
       RunOutcome::kSystemRefused, nullptr},
      {"another instance", [](AppRun* run) { run->machine.heldClaims->insert("OpenTypeUpdater.EXE"); },
       RunOutcome::kAlreadyRunning, nullptr},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    UnattendedRun quiet(Attendance::kQuiet);
    row.arrange(&quiet.run);
    EXPECT_EQ(row.outcome, quiet.Run());
    EXPECT_TRUE(quiet.run.desktop.Opened().empty());
    if (row.logged != nullptr) {
      EXPECT_LT(quiet.log.Find(row.logged), quiet.log.lines.size()) << row.logged;
    }
  }
  EXPECT_EQ(3010, CodeOf(RunOutcome::kRestartNeeded).installer);
  EXPECT_EQ(1603, CodeOf(RunOutcome::kFailed).installer);
  EXPECT_EQ(1639, CodeOf(RunOutcome::kBadCommandLine).installer);
  EXPECT_EQ(2, CodeOf(RunOutcome::kBadCommandLine).posix);
}

// The attended run reports its outcome too: a stop confirmed in the list.
TEST(UnattendedRun, AnAttendedStopEndsAsCancelled) {
  AppRun run;
  run.DefaultDisk();
  run.desktop.Answer(IDD_START_DIALOG, kOk);
  run.desktop.Answer(IDD_OPENTYPEUPDATER_DIALOG, kCancel);
  run.desktop.Answer(IDD_MESSAGE_DIALOG, kOk);
  EXPECT_EQ(RunOutcome::kCancelled, COpenTypeUpdaterApp(run.environment).Run());
  EXPECT_EQ(run.revisions[0].oldFont, run.Installed(kMinchoPath));
}

}  // namespace
