// The run from the configuration check to the last message: the list of what
// the search found, the updates one font after another, the result message
// of each way a font can fail, and the clean-up and restart offer that only a
// fully successful run gets.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "engine/opentype_manager.h"
#include "tests/app_run_fixture.h"

namespace {

using namespace testapp;

size_t TimesOpened(const RunDisk& disk, const std::string& path) {
  return static_cast<size_t>(std::count(disk.opened.begin(), disk.opened.end(), path));
}

TEST(AppRunSuccess, RevisesEveryListedFontThenCleansUpAndOffersTheRestart) {
  for (int answer : {kOk, kCancel}) {
    SCOPED_TRACE(answer == kOk ? "再起動" : "キャンセル");
    AppRun run;
    run.DefaultDisk();
    // A downloaded copy gone before the clean-up: the next ones still go.
    run.StartAndExecute([&] { run.disk.files.erase(kDownload2); });
    run.desktop.Answer(IDD_NORMALEND_DIALOG, answer);
    EXPECT_EQ(kOk, run.RunMainDialog());

    const DialogRecord& main = run.desktop.Last(IDD_OPENTYPEUPDATER_DIALOG);
    EXPECT_EQ(std::vector<std::string>{"フォント名/600"}, main.columns);
    EXPECT_TRUE(main.fullRowSelect);
    EXPECT_EQ((std::vector<std::string>{kMinchoPath, kGothicPath, kMaruPath}), main.rows);
    EXPECT_EQ((std::vector<int>{0, 1, 2}), main.rowIndexes);
    EXPECT_TRUE(main.invalidated);
    EXPECT_LT(run.desktop.Find(std::string("row 102=") + kMaruPath), run.desktop.Find("close 170"));
    EXPECT_FALSE(main.visible);

    EXPECT_EQ(run.revisions[0].newFont, run.Installed(kMinchoPath));
    EXPECT_EQ(run.revisions[1].newFont, run.Installed(kGothicPath));
    EXPECT_EQ(run.revisions[2].newFont, run.Installed(kMaruPath));
    EXPECT_EQ(3u, run.desktop.Occurrences("sleep 300"));

    // The removal list in the order the walk found it, then the cache of the
    // real system folder; a file of a download name elsewhere stays.
    EXPECT_EQ((std::vector<std::string>{kDownload1, kDownload2, kDownload3, kFontCache}),
              run.disk.RemovedOutsideTemp());
    EXPECT_EQ(0u, run.disk.files.count(kDownload1) + run.disk.files.count(kDownload3) +
                      run.disk.files.count(kFontCache));
    EXPECT_EQ(1u, run.disk.files.count(kNotDownload));
    EXPECT_EQ(1u, run.disk.files.count(kFontCache32));
    EXPECT_FALSE(run.machine.redirectionOff);

    EXPECT_EQ(kTextRevised, run.desktop.Last(IDD_NORMALEND_DIALOG).Text(IDC_END_MESSAGE));
    EXPECT_EQ(1, run.desktop.broadcasts);
    EXPECT_LT(run.desktop.Find("close 130"), run.desktop.Find("broadcast"));
    EXPECT_LT(run.desktop.Find("broadcast"), run.desktop.Find(std::string("remove ") + kDownload1));
    EXPECT_LT(run.desktop.Find(std::string("remove ") + kFontCache), run.desktop.Find("open 134"));
    EXPECT_EQ(0, run.desktop.Count(IDD_END_DIALOG));
    EXPECT_EQ(answer == kOk ? 1 : 0, run.machine.restartRequests);
    if (answer == kOk) {
      EXPECT_LT(run.desktop.Find("end 134 1"), run.desktop.Find("restart"));
    }
  }
}

TEST(AppRunSuccess, TheFontCacheIsLookedForAndDeletedInTheRealSystemFolderOnly) {
  for (bool realCache : {true, false}) {
    SCOPED_TRACE(realCache ? "only the real cache" : "only the 32-bit view's cache");
    AppRun run;
    run.DefaultDisk();
    run.disk.files.erase(realCache ? kFontCache32 : kFontCache);
    run.StartAndExecute();
    run.desktop.Answer(IDD_NORMALEND_DIALOG, kCancel);
    EXPECT_EQ(kOk, run.RunMainDialog());
    std::vector<std::string> removed = {kDownload1, kDownload2, kDownload3};
    if (realCache) removed.push_back(kFontCache);
    EXPECT_EQ(removed, run.disk.RemovedOutsideTemp());
    EXPECT_EQ(0u, run.disk.files.count(kFontCache));
    EXPECT_EQ(realCache ? 0u : 1u, run.disk.files.count(kFontCache32));
  }
}

TEST(AppRunSuccess, FontsInUseWaitForTheRestartAndTheResultTextSaysHowMany) {
  AppRun run;
  run.DefaultDisk();
  run.disk.inUse = {kMinchoPath, kMaruPath};
  run.StartAndExecute();
  run.desktop.Answer(IDD_NORMALEND_DIALOG, kCancel);
  EXPECT_EQ(kOk, run.RunMainDialog());

  // The run went on past each font in use; all three count as revised.
  EXPECT_EQ(run.revisions[0].oldFont, run.Installed(kMinchoPath));
  EXPECT_EQ(run.revisions[1].newFont, run.Installed(kGothicPath));
  EXPECT_EQ(run.revisions[2].oldFont, run.Installed(kMaruPath));
  EXPECT_EQ(3u, run.desktop.Occurrences("sleep 300"));
  EXPECT_EQ(2u, run.disk.pendingMoves.size());
  EXPECT_EQ(std::string(kTextRevised) + "\r\n\r\n使用中の2個のフォントは、再起動した後に改訂されます。",
            run.desktop.Last(IDD_NORMALEND_DIALOG).Text(IDC_END_MESSAGE));
  EXPECT_EQ((std::vector<std::string>{kDownload1, kDownload2, kDownload3, kFontCache}),
            run.disk.RemovedOutsideTemp());

  run.disk.Restart();
  EXPECT_EQ(run.revisions[0].newFont, run.Installed(kMinchoPath));
  EXPECT_EQ(run.revisions[2].newFont, run.Installed(kMaruPath));
  for (const auto& file : run.disk.files) EXPECT_EQ(std::string::npos, file.first.find(kStagedExtension)) << file.first;
}

TEST(AppRunFailure, EachResultCodeNamesItsFontAndLeavesEveryFontOldOrNew) {
  struct Row {
    const char* name;
    std::function<void(AppRun*)> arrange;
    std::string message;
  };
  // The faults strike the second of the three fonts; the progress window's
  // tenth drain is that font's first report, after its file was read.
  auto atSecondFont = [](std::function<void(AppRun*)> fault) {
    return [fault](AppRun* run) { run->desktop.AtDrain(IDD_PROGRESS_DIALOG, 10, [run, fault] { fault(run); }); };
  };
  const std::vector<Row> rows = {
      {"installed font without Windows licence text",
       [](AppRun* run) { run->InstallGothicWithoutWindowsLicence(); },
       Filled("改訂元ファイル(%s)の読み込みに失敗しました。", kGothicPath)},
      {"difference file cut after its header",
       [](AppRun* run) {
         run->revisions[1].paFile = "pa\\SampleGothicProN-B_1.pa";
         run->Configure(3, 3);
         Bytes cut = run->revisions[1].diff;
         cut.resize(53 + 9);
         run->resources.Add("FONT_PA", run->revisions[1].resourceId, cut);
       },
       Filled("改訂ファイル(%s)の読み込みに失敗しました。", "SampleGothicProN-B_1.pa")},
      {"copy over the installed font fails", atSecondFont([](AppRun* run) {
         run->disk.copyFault = testfs::FakeFileSystem::CopyFault::kFailHalfway;
         run->disk.faultyCopies = run->disk.copyCalls + 1;
       }),
       Filled("テンポラリフォルダからフォント(%s)の再構築に失敗しました。", kGothicPath)},
      {"temporary file cannot be created", atSecondFont([](AppRun* run) { run->disk.createFailures = 1000; }),
       Filled("改訂後のフォントファイル(%s)の作成に失敗しました。", kGothicPath)},
      {"replaced font cannot be read back",
       atSecondFont([](AppRun* run) { run->disk.openReadFailsFrom = run->disk.openReadCalls; }),
       Filled("改訂後のフォントファイル(%s)の読み込みに失敗しました。", kGothicPath)},
      {"replaced font differs", atSecondFont([](AppRun* run) {
         run->disk.copyFault = testfs::FakeFileSystem::CopyFault::kCorrupt;
         run->disk.faultyCopies = run->disk.copyCalls + 1;
       }),
       Filled("改訂後のフォントファイル(%s)のベリファイが一致しません。", kGothicPath)},
      {"stop confirmed",
       [](AppRun* run) {
         run->desktop.PressAt(IDD_PROGRESS_DIALOG, 12, IDC_PROGRESS_STOP);
         run->desktop.Answer(IDD_MESSAGE_DIALOG, kOk);
       },
       kTextStopped},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    AppRun run;
    run.DefaultDisk();
    run.StartAndExecute();
    row.arrange(&run);
    run.desktop.Answer(IDD_END_DIALOG, kOk);
    const std::map<std::string, Bytes> before = run.disk.files;
    EXPECT_EQ(kOk, run.RunMainDialog());

    EXPECT_EQ(row.message, run.desktop.Last(IDD_END_DIALOG).Text(IDC_END_MESSAGE));
    // The first font stays revised, the failing one and the third are as
    // they were, and the third was read by the search alone.
    EXPECT_EQ(run.revisions[0].newFont, run.Installed(kMinchoPath));
    EXPECT_EQ(before.at(kGothicPath), run.Installed(kGothicPath));
    EXPECT_EQ(before.at(kMaruPath), run.Installed(kMaruPath));
    EXPECT_EQ(1u, TimesOpened(run.disk, kMaruPath));
    for (const std::string& temporary : run.disk.created) EXPECT_EQ(0u, run.disk.files.count(temporary));
    // Only the broadcast: no clean-up, no restart offer.
    EXPECT_EQ(1, run.desktop.broadcasts);
    EXPECT_LT(run.desktop.Find("close 130"), run.desktop.Find("broadcast"));
    EXPECT_LT(run.desktop.Find("broadcast"), run.desktop.Find("open 131"));
    EXPECT_TRUE(run.disk.RemovedOutsideTemp().empty());
    EXPECT_EQ(1u, run.disk.files.count(kFontCache));
    EXPECT_EQ(1u, run.disk.files.count(kDownload1));
    EXPECT_EQ(0, run.desktop.Count(IDD_NORMALEND_DIALOG));
    EXPECT_EQ(0, run.machine.restartRequests);
    EXPECT_EQ(1u, run.desktop.Occurrences("sleep 300"));
  }
}

TEST(AppRunSearch, AStopAfterSomeFindsListsThemAndExecuteRevisesThem) {
  AppRun run;
  run.disk.AddDrive("C:\\");
  run.Install("C:\\SampleMinchoProN-R.otf", 0);
  // One of twenty sub-folders in a row is reported to the wait window.
  for (int k = 0; k < 20; ++k) run.disk.AddFolder("C:\\Empty" + std::to_string(k) + "\\");
  run.Install("C:\\Later\\SampleGothicProN-B.otf", 1);
  run.desktop.Answer(IDD_START_DIALOG, kOk);
  run.desktop.PressAt(IDD_WAIT_DIALOG, 2, IDC_WAIT_STOP);
  run.desktop.Answer(IDD_MESSAGE_DIALOG, kOk);
  run.desktop.Answer(IDD_OPENTYPEUPDATER_DIALOG, kOk);
  run.desktop.Answer(IDD_NORMALEND_DIALOG, kCancel);
  EXPECT_EQ(kOk, run.RunMainDialog());

  EXPECT_EQ(kTextConfirmSearchStop, run.desktop.Last(IDD_MESSAGE_DIALOG).Text(IDC_MESSAGE_EDIT));
  EXPECT_EQ(std::vector<std::string>{"C:\\SampleMinchoProN-R.otf"},
            run.desktop.Last(IDD_OPENTYPEUPDATER_DIALOG).rows);
  EXPECT_EQ(run.revisions[0].newFont, run.Installed("C:\\SampleMinchoProN-R.otf"));
  EXPECT_EQ(run.revisions[1].oldFont, run.Installed("C:\\Later\\SampleGothicProN-B.otf"));
  EXPECT_EQ(0u, TimesOpened(run.disk, "C:\\Later\\SampleGothicProN-B.otf"));
}

TEST(AppRunSearch, AStopBeforeAnyFindEndsWithNoCandidates) {
  AppRun run;
  run.DefaultDisk();
  run.desktop.Answer(IDD_START_DIALOG, kOk);
  run.desktop.PressAt(IDD_WAIT_DIALOG, 1, IDC_WAIT_STOP);
  run.desktop.Answer(IDD_MESSAGE_DIALOG, kOk);
  run.desktop.Answer(IDD_OK_DIALOG, kOk);
  EXPECT_EQ(0, run.RunMainDialog());
  EXPECT_EQ(kTextNoCandidates, run.desktop.Last(IDD_OK_DIALOG).Text(IDC_MESSAGE_EDIT));
  EXPECT_LT(run.desktop.Find("close 170"), run.desktop.Find("open 133"));
  EXPECT_TRUE(run.disk.opened.empty());
  EXPECT_TRUE(run.desktop.Last(IDD_OPENTYPEUPDATER_DIALOG).rows.empty());
  EXPECT_EQ(0, run.desktop.broadcasts);
}

TEST(AppRunPreparation, IncompleteDifferenceDataLeavesAnEmptyListThatCannotExecute) {
  for (auto counts : {std::make_pair(3, size_t{2}), std::make_pair(0, size_t{0})}) {
    SCOPED_TRACE(counts.first);
    AppRun run;
    run.DefaultDisk();
    run.Configure(counts.first, counts.second);
    run.desktop.Answer(IDD_OK_DIALOG, kOk);
    run.desktop.Answer(IDD_OPENTYPEUPDATER_DIALOG, kOk);
    run.desktop.Answer(IDD_OK_DIALOG, kOk);
    run.desktop.Answer(IDD_OPENTYPEUPDATER_DIALOG, kCancel);
    run.desktop.Answer(IDD_MESSAGE_DIALOG, kCancel);
    run.desktop.Answer(IDD_OPENTYPEUPDATER_DIALOG, kCancel);
    run.desktop.Answer(IDD_MESSAGE_DIALOG, kOk);
    EXPECT_EQ(kCancel, run.RunMainDialog());

    const size_t incomplete = run.desktop.Find(std::string("text 133/1017=") + kTextDifferenceIncomplete);
    const size_t nothing = run.desktop.Find(std::string("text 133/1017=") + kTextNothingToRevise);
    EXPECT_LT(incomplete, run.desktop.Find("show 102"));
    EXPECT_LT(run.desktop.Find("show 102"), nothing);
    EXPECT_LT(nothing, run.desktop.log.size());
    EXPECT_EQ(kTextConfirmStop, run.desktop.Last(IDD_MESSAGE_DIALOG).Text(IDC_MESSAGE_EDIT));
    EXPECT_TRUE(run.machine.versionQueries.empty());
    EXPECT_EQ(0, run.desktop.Count(IDD_START_DIALOG) + run.desktop.Count(IDD_WAIT_DIALOG) +
                     run.desktop.Count(IDD_PROGRESS_DIALOG));
    EXPECT_TRUE(run.desktop.Last(IDD_OPENTYPEUPDATER_DIALOG).rows.empty());
    EXPECT_EQ(run.revisions[0].oldFont, run.Installed(kMinchoPath));
    EXPECT_EQ(0, run.desktop.broadcasts);
  }
}

TEST(AppRunPreparation, NoReadableDifferenceFileEndsAfterTheStartDialog) {
  AppRun run;
  run.DefaultDisk();
  for (const Revision& revision : run.revisions) run.resources.Add("FONT_PA", revision.resourceId, Bytes(60, 'x'));
  run.desktop.Answer(IDD_START_DIALOG, kOk);
  run.desktop.Answer(IDD_OK_DIALOG, kOk);
  EXPECT_EQ(0, run.RunMainDialog());
  EXPECT_EQ((std::vector<int>{IDD_OPENTYPEUPDATER_DIALOG, IDD_START_DIALOG, IDD_OK_DIALOG}), run.desktop.Opened());
  EXPECT_EQ(kTextNoTargets, run.desktop.Last(IDD_OK_DIALOG).Text(IDC_MESSAGE_EDIT));
  EXPECT_TRUE(run.disk.opened.empty());
}

TEST(AppRunLifecycle, TheControllersAreReleasedWithTheMainDialogObject) {
  AppRun run;
  run.DefaultDisk();
  run.desktop.Answer(IDD_START_DIALOG, kOk);
  run.desktop.Answer(IDD_OPENTYPEUPDATER_DIALOG, kCancel);
  run.desktop.Answer(IDD_MESSAGE_DIALOG, kOk);
  {
    COpenTypeUpdaterDlg dialog(run.environment);
    EXPECT_EQ(kCancel, dialog.DoModal());
    EXPECT_EQ(0, run.controllers.releases);
  }
  EXPECT_EQ(1, run.controllers.releases);
}

}  // namespace
