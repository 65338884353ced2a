// The program's dialogs as a terminal shows them, from the templates the
// program carries: boxes whose lines are all of one width whatever they
// hold, the focus among the buttons, and the answers typed on a line.
#include "platform/posix/terminal_dialog.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/posix/embedded_resources.h"
#include "platform/posix/terminal_text.h"
#include "resources/resource_ids.h"

namespace {

using platform::TerminalDialog;

const platform::EmbeddedDialog& Template(int id) {
  for (size_t i = 0; i < platform::kEmbeddedDialogCount; ++i) {
    if (platform::kEmbeddedDialogs[i].id == id) return platform::kEmbeddedDialogs[i];
  }
  ADD_FAILURE() << "no template " << id;
  return platform::kEmbeddedDialogs[0];
}

class Recorder : public platform::DialogHandler {
 public:
  void OnInitDialog(platform::DialogWindow&) override {}
  void OnCommand(int id) override { commands.push_back(id); }
  std::vector<int> commands;
};

struct Shown {
  explicit Shown(int id) : dialog(Template(id), handler, [this] { ++changes; }, [this] { ++paints; }) {}
  Recorder handler;
  int changes = 0;
  int paints = 0;
  TerminalDialog dialog;
};

std::string WithoutHighlight(std::string line) {
  for (const char* escape : {"\x1b[7m", "\x1b[27m"}) {
    for (size_t at = line.find(escape); at != std::string::npos; at = line.find(escape)) {
      line.erase(at, std::string(escape).size());
    }
  }
  return line;
}

// The content of a box's lines between its borders, padding dropped.
std::vector<std::string> Inside(const std::vector<std::string>& box) {
  std::vector<std::string> lines;
  for (size_t i = 1; i + 1 < box.size(); ++i) {
    std::string line = box[i].substr(std::string("│ ").size());
    line.erase(line.size() - std::string(" │").size());
    while (!line.empty() && line.back() == ' ') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

const char kMessage102[] =
    "フォントの改訂を中止します。\r\n\r\n中止する場合は、”はい”ボタン、\r\n"
    "中止しない場合は、”いいえ”ボタンを押してください。";
const char kLongPath[] = "/media/d/フォント/表示/1/2/3/4/とても長い名前のフォルダ/SampleGothicPr6N-M.otf";

TEST(TerminalDialogBox, EveryLineIsAsWideAsTheBox) {
  Shown list(IDD_OPENTYPEUPDATER_DIALOG);
  list.dialog.InsertListColumn(IDC_FONT_LIST, "フォント名", 600);
  list.dialog.InsertListRow(IDC_FONT_LIST, 0, "/media/d/ソフト/SampleMinchoProN-R.otf");
  list.dialog.InsertListRow(IDC_FONT_LIST, 1, kLongPath);
  Shown question(IDD_MESSAGE_DIALOG);
  question.dialog.SetItemText(IDC_MESSAGE_EDIT, kMessage102);
  Shown progress(IDD_PROGRESS_DIALOG);
  progress.dialog.SetItemText(IDC_FILE_TEXT, std::string(kLongPath) + "の改訂をしています。");
  progress.dialog.SetItemText(IDC_OVERALL_PERCENT, "99%");
  progress.dialog.SetItemText(IDC_CURRENT_PERCENT, "100%");
  progress.dialog.SetBarPosition(IDC_OVERALL_BAR, 99);
  progress.dialog.SetBarPosition(IDC_CURRENT_BAR, 100);
  Shown start(IDD_START_DIALOG);
  start.dialog.SetItemText(IDC_START_TEXT, "\xE3\x80\x80\xE3\x80\x80・SampleMincho ProN R\n名\xE3\x81");
  Shown restart(IDD_NORMALEND_DIALOG);
  Shown wait(IDD_WAIT_DIALOG);
  wait.dialog.SetItemText(IDC_SEARCH_TEXT, "/media/e/森/0012/05/を検索しています。");
  for (const TerminalDialog* dialog : {&list.dialog, &question.dialog, &progress.dialog, &start.dialog,
                                       &restart.dialog, &wait.dialog}) {
    for (int width : {40, 57, 80, 100, 114}) {
      for (bool highlight : {false, true}) {
        std::vector<std::string> box = dialog->Draw(width, highlight);
        ASSERT_GE(box.size(), 3u);
        for (const std::string& line : box) {
          EXPECT_EQ(platform::DisplayWidth(WithoutHighlight(line)), width)
              << dialog->dialog().id << " at " << width << ": " << line;
        }
        EXPECT_EQ(box.front().rfind("┌", 0), 0u);
        EXPECT_EQ(box.back().rfind("└", 0), 0u);
      }
    }
  }
}

TEST(TerminalDialogBox, ShowsCaptionCloseBoxTextsAndWrappedRows) {
  Shown question(IDD_MESSAGE_DIALOG);
  question.dialog.SetItemText(IDC_MESSAGE_EDIT, kMessage102);
  std::vector<std::string> box = question.dialog.Draw(70, false);
  EXPECT_EQ(box.front().rfind("┌─ 確　認 ─", 0), 0u) << box.front();
  EXPECT_NE(box.front().find("[×]┐"), std::string::npos) << box.front();
  std::vector<std::string> inside = Inside(box);
  std::vector<std::string> message(inside.begin() + 1, inside.begin() + 5);
  EXPECT_EQ(message, std::vector<std::string>({"フォントの改訂を中止します。", "", "中止する場合は、”はい”ボタン、",
                                               "中止しない場合は、”いいえ”ボタンを押してください。"}));
  EXPECT_NE(inside.back().find("< はい >  [ いいえ ]"), std::string::npos) << inside.back();

  // The end dialog has no close box.
  Shown end(IDD_END_DIALOG);
  EXPECT_EQ(end.dialog.Draw(60, false).front().find("[×]"), std::string::npos);

  // A list row wider than the box goes on over the next lines, whole.
  Shown list(IDD_OPENTYPEUPDATER_DIALOG);
  list.dialog.InsertListColumn(IDC_FONT_LIST, "フォント名", 600);
  list.dialog.InsertListRow(IDC_FONT_LIST, 0, kLongPath);
  inside = Inside(list.dialog.Draw(40, false));
  size_t heading = 0;
  while (heading < inside.size() && inside[heading] != "フォント名") ++heading;
  ASSERT_LT(heading + 2, inside.size());
  std::string row;
  for (size_t i = heading + 2; i < inside.size() && !inside[i].empty(); ++i) row += inside[i];
  EXPECT_EQ(row, kLongPath);
}

TEST(TerminalDialogBox, BarsFillWithThePositionAndLeaveRoomForThePercent) {
  Shown progress(IDD_PROGRESS_DIALOG);
  progress.dialog.SetItemText(IDC_OVERALL_PERCENT, "0%");
  progress.dialog.SetItemText(IDC_CURRENT_PERCENT, "100%");
  progress.dialog.SetBarPosition(IDC_OVERALL_BAR, 0);
  progress.dialog.SetBarPosition(IDC_CURRENT_BAR, 100);
  std::vector<std::string> bars;
  for (const std::string& line : Inside(progress.dialog.Draw(60, false))) {
    if (line.rfind("[", 0) == 0 && line.find("%") != std::string::npos) bars.push_back(line);
  }
  ASSERT_EQ(bars.size(), 2u);
  EXPECT_EQ(bars[0].find('#'), std::string::npos) << bars[0];
  EXPECT_EQ(bars[0].substr(bars[0].size() - 3), " 0%");
  EXPECT_EQ(bars[1].find('.'), std::string::npos) << bars[1];
  EXPECT_EQ(bars[1].substr(bars[1].size() - 5), " 100%");
  EXPECT_EQ(platform::DisplayWidth(bars[1]), 56);
}

TEST(TerminalDialogFocus, StartsOnTheDefaultButtonAndGoesRound) {
  Shown question(IDD_MESSAGE_DIALOG);
  EXPECT_EQ(question.dialog.FocusedButton(), platform::kOk);
  question.dialog.MoveFocus(1);
  EXPECT_EQ(question.dialog.FocusedButton(), platform::kCancel);
  EXPECT_NE(Inside(question.dialog.Draw(60, false)).back().find("[ はい ]  < いいえ >"), std::string::npos);
  question.dialog.MoveFocus(1);
  EXPECT_EQ(question.dialog.FocusedButton(), platform::kOk);
  question.dialog.MoveFocus(-1);
  EXPECT_EQ(question.dialog.FocusedButton(), platform::kCancel);
  EXPECT_GT(question.changes, 0);

  // The default button of the restart offer comes first; the progress
  // window has no default button: the focus is on its only one.
  Shown restart(IDD_NORMALEND_DIALOG);
  EXPECT_EQ(restart.dialog.FocusedButton(), platform::kOk);
  Shown progress(IDD_PROGRESS_DIALOG);
  EXPECT_EQ(progress.dialog.FocusedButton(), IDC_PROGRESS_STOP);
  progress.dialog.MoveFocus(1);
  EXPECT_EQ(progress.dialog.FocusedButton(), IDC_PROGRESS_STOP);
  // A highlighted focus is drawn in reverse video, the others plain.
  std::string buttons = restart.dialog.Draw(60, true)[restart.dialog.Draw(60, true).size() - 2];
  EXPECT_NE(buttons.find("\x1b[7m< 再起動 >\x1b[27m  [ キャンセル ]"), std::string::npos) << buttons;
}

TEST(TerminalDialogAnswers, EmptyLineNumberOrButtonText) {
  Shown question(IDD_MESSAGE_DIALOG);
  const TerminalDialog& ask = question.dialog;
  EXPECT_EQ(ask.ButtonForAnswer(""), platform::kOk);
  EXPECT_EQ(ask.ButtonForAnswer("  "), platform::kOk);
  EXPECT_EQ(ask.ButtonForAnswer("1"), platform::kOk);
  EXPECT_EQ(ask.ButtonForAnswer("2"), platform::kCancel);
  EXPECT_EQ(ask.ButtonForAnswer(" 2 "), platform::kCancel);
  EXPECT_EQ(ask.ButtonForAnswer("0"), 0);
  EXPECT_EQ(ask.ButtonForAnswer("3"), 0);
  EXPECT_EQ(ask.ButtonForAnswer("はい"), platform::kOk);
  EXPECT_EQ(ask.ButtonForAnswer("いいえ"), platform::kCancel);
  EXPECT_EQ(ask.ButtonForAnswer("いいえ\r"), platform::kCancel);
  EXPECT_EQ(ask.ButtonForAnswer("いい"), 0);
  EXPECT_EQ(ask.ButtonForAnswer("yes"), 0);

  // "中　止" with or without its ideographic space, or an ASCII one.
  Shown start(IDD_START_DIALOG);
  for (const char* typed : {"中止", "中　止", "中 止", "　中止　"}) {
    EXPECT_EQ(start.dialog.ButtonForAnswer(typed), platform::kCancel) << typed;
  }
  EXPECT_EQ(start.dialog.ButtonForAnswer("次へ"), platform::kOk);
  EXPECT_EQ(start.dialog.ButtonForAnswer(""), platform::kOk);
  Shown list(IDD_OPENTYPEUPDATER_DIALOG);
  EXPECT_EQ(list.dialog.ButtonForAnswer("中止"), platform::kCancel);
  EXPECT_EQ(list.dialog.ButtonForAnswer("実行"), platform::kOk);
  Shown restart(IDD_NORMALEND_DIALOG);
  EXPECT_EQ(restart.dialog.ButtonForAnswer("キャンセル"), platform::kCancel);
  EXPECT_EQ(restart.dialog.ButtonForAnswer("再起動"), platform::kOk);
  // Without a default button the empty answer is the first button.
  Shown progress(IDD_PROGRESS_DIALOG);
  EXPECT_EQ(progress.dialog.ButtonForAnswer(""), IDC_PROGRESS_STOP);
  EXPECT_EQ(question.handler.commands, std::vector<int>());
}

TEST(TerminalDialogStatus, NamesTheCaptionAndTheTextsThatChange) {
  Shown progress(IDD_PROGRESS_DIALOG);
  EXPECT_EQ(progress.dialog.StatusLine(), "フォントを改訂中");
  progress.dialog.SetItemText(IDC_FILE_TEXT, "/media/d/ソフト/a.otfの改訂をしています。");
  progress.dialog.SetItemText(IDC_OVERALL_PERCENT, "3%");
  progress.dialog.SetItemText(IDC_STEP_TEXT, "aのファイルをオープンしています。");
  progress.dialog.SetItemText(IDC_CURRENT_PERCENT, "10%");
  progress.dialog.SetBarPosition(IDC_OVERALL_BAR, 3);
  EXPECT_EQ(progress.dialog.StatusLine(),
            "フォントを改訂中 | /media/d/ソフト/a.otfの改訂をしています。 | 3% | aのファイルをオープンしています。 | 10%");
  Shown wait(IDD_WAIT_DIALOG);
  wait.dialog.SetItemText(IDC_SEARCH_TEXT, "/media/d/ドライブを検索しました。");
  EXPECT_EQ(wait.dialog.StatusLine(), "検索中 | /media/d/ドライブを検索しました。");
}

}  // namespace
