// The progress window of the updates and the wait window of the search: what
// they show, the Stop button that only raises a flag, the confirmation the
// next report asks for, and the keys they ignore.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/progress_dialogs.h"
#include "tests/app_run_fixture.h"

namespace {

using namespace testapp;

const int kPoints[] = {10, 20, 30, 40, 55, 65, 75, 90, 100};

// One font on drive C:, found and listed; the script goes up to "実行".
void OneFont(AppRun* run) {
  run->disk.AddDrive("C:\\");
  run->Install(kMinchoPath, 0);
  run->StartAndExecute();
}

std::vector<size_t> Positions(const std::vector<std::string>& log, const std::string& entry) {
  std::vector<size_t> found;
  for (size_t i = 0; i < log.size(); ++i) {
    if (log[i] == entry) found.push_back(i);
  }
  return found;
}

TEST(AppUpdateStop, AStopConfirmedAtEachPointOfTheFont) {
  for (size_t k = 0; k < 9; ++k) {
    const int point = kPoints[k];
    SCOPED_TRACE(point);
    AppRun run;
    OneFont(&run);
    run.desktop.PressAt(IDD_PROGRESS_DIALOG, static_cast<int>(k) + 1, IDC_PROGRESS_STOP);
    run.desktop.Answer(IDD_MESSAGE_DIALOG, kOk);
    // The report of 100 comes after the copy: the driver no longer stops.
    const bool ignored = point == 100;
    run.desktop.Answer(ignored ? IDD_NORMALEND_DIALOG : IDD_END_DIALOG, kCancel);
    EXPECT_EQ(kOk, run.RunMainDialog());

    const DialogRecord& progress = run.desktop.Last(IDD_PROGRESS_DIALOG);
    EXPECT_EQ(std::vector<int>(kPoints, kPoints + k + 1), progress.bars.at(IDC_CURRENT_BAR));
    EXPECT_EQ(1, run.desktop.Count(IDD_MESSAGE_DIALOG));
    EXPECT_EQ(kTextConfirmStop, run.desktop.Last(IDD_MESSAGE_DIALOG).Text(IDC_MESSAGE_EDIT));
    if (ignored) {
      EXPECT_EQ(run.revisions[0].newFont, run.Installed(kMinchoPath));
      EXPECT_EQ(kTextRevised, run.desktop.Last(IDD_NORMALEND_DIALOG).Text(IDC_END_MESSAGE));
      // The full bars stay after the question, whatever its answer.
      EXPECT_EQ(1u, run.desktop.Occurrences("sleep 1000"));
      EXPECT_LT(run.desktop.Find("open 132"), run.desktop.Find("sleep 1000"));
    } else {
      EXPECT_EQ(run.revisions[0].oldFont, run.Installed(kMinchoPath));
      EXPECT_EQ(kTextStopped, run.desktop.Last(IDD_END_DIALOG).Text(IDC_END_MESSAGE));
      EXPECT_EQ(0, run.desktop.Count(IDD_NORMALEND_DIALOG));
      EXPECT_EQ(0u, run.desktop.Occurrences("sleep 1000"));
      EXPECT_EQ(0u, run.desktop.Occurrences("sleep 300"));
    }
    // From 90 on the temporary file exists; it never outlives the update.
    ASSERT_EQ(point >= 90 ? 1u : 0u, run.disk.created.size());
    for (const std::string& temporary : run.disk.created) {
      EXPECT_EQ(0u, run.disk.files.count(temporary));
      EXPECT_EQ(run.revisions[0].newFont, run.disk.removedBytes.at(temporary));
    }
    EXPECT_EQ(1, run.desktop.broadcasts);
    EXPECT_EQ(0, run.machine.restartRequests);
  }
}

TEST(AppUpdateStop, AnsweredNoTheRunGoesOnAndTheNextPressAsksAgain) {
  AppRun run;
  OneFont(&run);
  run.desktop.PressAt(IDD_PROGRESS_DIALOG, 2, IDC_PROGRESS_STOP);
  run.desktop.Answer(IDD_MESSAGE_DIALOG, kCancel);
  run.desktop.PressAt(IDD_PROGRESS_DIALOG, 5, IDC_PROGRESS_STOP);
  run.desktop.Answer(IDD_MESSAGE_DIALOG, kOk);
  run.desktop.Answer(IDD_END_DIALOG, kOk);
  EXPECT_EQ(kOk, run.RunMainDialog());

  std::vector<size_t> questions = Positions(run.desktop.log, "open 132");
  ASSERT_EQ(2u, questions.size());
  EXPECT_LT(run.desktop.Find("drain 130#2"), questions[0]);
  EXPECT_LT(questions[0], run.desktop.Find("drain 130#3"));
  EXPECT_LT(run.desktop.Find("drain 130#5"), questions[1]);
  EXPECT_EQ((std::vector<int>{10, 20, 30, 40, 55}), run.desktop.Last(IDD_PROGRESS_DIALOG).bars.at(IDC_CURRENT_BAR));
  EXPECT_EQ(run.revisions[0].oldFont, run.Installed(kMinchoPath));
  EXPECT_EQ(kTextStopped, run.desktop.Last(IDD_END_DIALOG).Text(IDC_END_MESSAGE));
}

TEST(AppUpdateStop, TwoPressesBeforeOneReportAskOnce) {
  AppRun run;
  OneFont(&run);
  run.desktop.PressAt(IDD_PROGRESS_DIALOG, 3, IDC_PROGRESS_STOP);
  run.desktop.PressAt(IDD_PROGRESS_DIALOG, 3, IDC_PROGRESS_STOP);
  run.desktop.Answer(IDD_MESSAGE_DIALOG, kCancel);
  run.desktop.Answer(IDD_NORMALEND_DIALOG, kCancel);
  EXPECT_EQ(kOk, run.RunMainDialog());
  EXPECT_EQ(1, run.desktop.Count(IDD_MESSAGE_DIALOG));
  EXPECT_EQ(run.revisions[0].newFont, run.Installed(kMinchoPath));
}

TEST(AppUpdateStop, EnterAndEscInTheKeptWindowsDoNothing) {
  AppRun run;
  OneFont(&run);
  for (int command : {kOk, kCancel}) {
    run.desktop.PressAt(IDD_WAIT_DIALOG, 1, command);
    run.desktop.PressAt(IDD_PROGRESS_DIALOG, 1, command);
    run.desktop.PressAt(IDD_PROGRESS_DIALOG, 9, command);
  }
  run.desktop.Answer(IDD_NORMALEND_DIALOG, kOk);
  EXPECT_EQ(kOk, run.RunMainDialog());
  EXPECT_EQ(0, run.desktop.Count(IDD_MESSAGE_DIALOG));
  EXPECT_EQ(run.revisions[0].newFont, run.Installed(kMinchoPath));
  EXPECT_EQ(1, run.machine.restartRequests);

  // What the window showed of the one font, its owner the hidden main window.
  const DialogRecord& progress = run.desktop.Last(IDD_PROGRESS_DIALOG);
  EXPECT_EQ(IDD_OPENTYPEUPDATER_DIALOG, progress.ownerTemplate);
  EXPECT_LT(run.desktop.Find("hide 102"), run.desktop.Find("open 130"));
  EXPECT_EQ(IDD_OPENTYPEUPDATER_DIALOG, run.desktop.Last(IDD_WAIT_DIALOG).ownerTemplate);
  EXPECT_EQ((std::vector<std::string>{"10%", "20%", "30%", "40%", "55%", "65%", "75%", "90%", "100%"}),
            progress.texts.at(IDC_OVERALL_PERCENT));
  EXPECT_EQ(progress.texts.at(IDC_OVERALL_PERCENT), progress.texts.at(IDC_CURRENT_PERCENT));
  EXPECT_EQ(std::vector<int>(std::begin(kPoints), std::end(kPoints)), progress.bars.at(IDC_OVERALL_BAR));
  EXPECT_EQ(std::string(kMinchoPath) + "の改訂をしています。", progress.Text(IDC_FILE_TEXT));
  EXPECT_EQ("テンポラリフォルダからファイルをコピーしています。", progress.Text(IDC_STEP_TEXT));
  EXPECT_EQ(1u, run.desktop.Occurrences("sleep 1000"));
  EXPECT_LT(run.desktop.Find("sleep 1000"), run.desktop.Find("sleep 300"));
  EXPECT_LT(run.desktop.Find("sleep 300"), run.desktop.Find("close 130"));
}

TEST(AppProgressWindow, ShowsTheValuesBeforeItAsksAndHoldsOnlyFullBars) {
  AppRun run;
  std::unique_ptr<platform::DialogWindow> owner = run.desktop.OwnerWindow(IDD_OPENTYPEUPDATER_DIALOG);
  CProgressDialog progress(run.environment);
  progress.Create(*owner);
  EXPECT_FALSE(run.desktop.Last(IDD_PROGRESS_DIALOG).visible);

  run.desktop.PressAt(IDD_PROGRESS_DIALOG, 1, IDC_PROGRESS_STOP);
  run.desktop.Answer(IDD_MESSAGE_DIALOG, kCancel);
  EXPECT_EQ(0, UpdateProgressCallback(45, 60, "file text", "step text", &progress));
  const std::vector<std::string>& log = run.desktop.log;
  const size_t question = run.desktop.Find("open 132");
  EXPECT_LT(run.desktop.Find("show 130"), run.desktop.Find("drain 130#1"));
  EXPECT_LT(run.desktop.Find("drain 130#1"), run.desktop.Find("bar 130/1007=45"));
  for (const char* shown : {"bar 130/1007=45", "bar 130/1008=60", "text 130/1009=45%", "repaint 130/1009",
                            "text 130/1010=60%", "repaint 130/1010", "text 130/1012=file text",
                            "text 130/1011=step text", "sleep 1"}) {
    EXPECT_LT(run.desktop.Find(shown), question) << shown;
  }
  EXPECT_EQ(run.desktop.Find("text 130/1009=45%") + 1, run.desktop.Find("repaint 130/1009"));

  const std::vector<uint32_t> oneMillisecond = {1};
  for (auto values : {std::make_pair(100, 50), std::make_pair(50, 100), std::make_pair(99, 100)}) {
    run.desktop.sleeps.clear();
    EXPECT_EQ(0, UpdateProgressCallback(values.first, values.second, "", "", &progress));
    EXPECT_EQ(oneMillisecond, run.desktop.sleeps) << values.first << "/" << values.second;
  }

  run.desktop.sleeps.clear();
  run.desktop.PressAt(IDD_PROGRESS_DIALOG, 5, IDC_PROGRESS_STOP);
  run.desktop.Answer(IDD_MESSAGE_DIALOG, kOk);
  EXPECT_EQ(1, UpdateProgressCallback(100, 100, "", "", &progress));
  EXPECT_EQ((std::vector<uint32_t>{1, 1000}), run.desktop.sleeps);
  EXPECT_LT(Positions(log, "open 132").back(), run.desktop.Find("sleep 1000"));
  EXPECT_EQ(2, run.desktop.Count(IDD_MESSAGE_DIALOG));
}

TEST(AppWaitWindow, AsksBeforeItShowsTheText) {
  AppRun run;
  std::unique_ptr<platform::DialogWindow> owner = run.desktop.OwnerWindow(IDD_OPENTYPEUPDATER_DIALOG);
  CWaitDialog wait(run.environment);
  wait.Create(*owner);

  run.desktop.PressAt(IDD_WAIT_DIALOG, 1, IDC_WAIT_STOP);
  run.desktop.Answer(IDD_MESSAGE_DIALOG, kCancel);
  EXPECT_EQ(0, SearchProgressCallback("C:\\ドライブを検索しました。", &wait));
  EXPECT_EQ(kTextConfirmSearchStop, run.desktop.Last(IDD_MESSAGE_DIALOG).Text(IDC_MESSAGE_EDIT));
  EXPECT_LT(run.desktop.Find("open 132"), run.desktop.Find("text 170/1077=C:\\ドライブを検索しました。"));
  EXPECT_TRUE(run.desktop.Last(IDD_WAIT_DIALOG).visible);

  // "いいえ" cleared the flag: no question now.
  EXPECT_EQ(0, SearchProgressCallback("second", &wait));
  run.desktop.PressAt(IDD_WAIT_DIALOG, 3, IDC_WAIT_STOP);
  run.desktop.PressAt(IDD_WAIT_DIALOG, 3, IDC_WAIT_STOP);
  run.desktop.Answer(IDD_MESSAGE_DIALOG, kOk);
  EXPECT_EQ(1, SearchProgressCallback("third", &wait));
  EXPECT_EQ(2, run.desktop.Count(IDD_MESSAGE_DIALOG));
  EXPECT_EQ((std::vector<std::string>{"C:\\ドライブを検索しました。", "second", "third"}),
            run.desktop.Last(IDD_WAIT_DIALOG).texts.at(IDC_SEARCH_TEXT));
}

}  // namespace
