// The dialogs the user answers: the four message dialogs, the start dialog
// with its confirmed stop, and the about box of the main dialog's system menu.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/message_dialogs.h"
#include "app/start_dialog.h"
#include "tests/app_run_fixture.h"

namespace {

using namespace testapp;

template <class Dialog>
void ExpectMessageDialog(int templateId, int messageControl, int button) {
  SCOPED_TRACE(templateId);
  AppRun run;
  run.desktop.Answer(templateId, button);
  const std::string text = "一行目\r\n二行目 100%s";
  EXPECT_EQ(button, ShowMessage<Dialog>(run.environment, text));
  ASSERT_EQ(std::vector<int>{templateId}, run.desktop.Opened());
  const DialogRecord& dialog = run.desktop.Last(templateId);
  EXPECT_EQ(text, dialog.Text(messageControl));
  EXPECT_EQ(1u, dialog.texts.size()) << "the text went to more than its one control";
}

TEST(AppMessageDialogs, EachShowsItsTextInItsControlAndReturnsTheButton) {
  ExpectMessageDialog<COKDialog>(IDD_OK_DIALOG, IDC_MESSAGE_EDIT, kOk);
  ExpectMessageDialog<CEndDialog>(IDD_END_DIALOG, IDC_END_MESSAGE, kOk);
  ExpectMessageDialog<CNormalEndDialog>(IDD_NORMALEND_DIALOG, IDC_END_MESSAGE, kOk);
  ExpectMessageDialog<CNormalEndDialog>(IDD_NORMALEND_DIALOG, IDC_END_MESSAGE, kCancel);
  ExpectMessageDialog<CMessageDialog>(IDD_MESSAGE_DIALOG, IDC_MESSAGE_EDIT, kOk);
  ExpectMessageDialog<CMessageDialog>(IDD_MESSAGE_DIALOG, IDC_MESSAGE_EDIT, kCancel);
}

TEST(AppStartDialog, ShowsTheConfiguredTextAndStaysOpenUntilAStopIsConfirmed) {
  AppRun run;
  // "中　止" and Esc both arrive as Cancel; "いいえ" keeps the dialog open.
  run.desktop.Answer(IDD_START_DIALOG, kCancel);
  run.desktop.Answer(IDD_MESSAGE_DIALOG, kCancel);
  run.desktop.Answer(IDD_START_DIALOG, kCancel);
  run.desktop.Answer(IDD_MESSAGE_DIALOG, kCancel);
  run.desktop.Answer(IDD_START_DIALOG, kOk);
  CStartDialog start(run.environment);
  EXPECT_EQ(kOk, start.DoModal());
  EXPECT_EQ((std::vector<int>{IDD_START_DIALOG, IDD_MESSAGE_DIALOG, IDD_MESSAGE_DIALOG}), run.desktop.Opened());
  EXPECT_EQ(
      "タブレロンフォント製品をご利用のお客様は、下記3フォントが改訂対象です。\n\n"
      "　　・SampleMincho ProN R\n　　・SampleGothic ProN B\n　　・SampleMaru ProN M\n",
      run.desktop.Last(IDD_START_DIALOG).Text(IDC_START_TEXT));
  EXPECT_EQ(kTextConfirmStop, run.desktop.Last(IDD_MESSAGE_DIALOG).Text(IDC_MESSAGE_EDIT));
  // The questions ran inside the start dialog.
  EXPECT_EQ(IDD_START_DIALOG, run.desktop.Last(IDD_MESSAGE_DIALOG).ownerTemplate);

  AppRun confirmed;
  confirmed.desktop.Answer(IDD_START_DIALOG, kCancel);
  confirmed.desktop.Answer(IDD_MESSAGE_DIALOG, kOk);
  CStartDialog stopped(confirmed.environment);
  EXPECT_EQ(kCancel, stopped.DoModal());
}

TEST(AppStartDialog, WithoutStartTextTheTextControlStaysEmpty) {
  AppRun run;
  const std::string ini = "[UPDATE_FONT]\r\nMAXNUM=1\r\nFONT_PAFILE1=SampleMinchoProN-R_1.pa\r\nFONT_RESNUM1=2001\r\n";
  run.resources.Add("INIFILE", 2000, Bytes(ini.begin(), ini.end()));
  run.desktop.Answer(IDD_START_DIALOG, kOk);
  CStartDialog start(run.environment);
  EXPECT_EQ(kOk, start.DoModal());
  EXPECT_EQ("", run.desktop.Last(IDD_START_DIALOG).Text(IDC_START_TEXT));
}

TEST(AppStartDialog, AConfirmedStopEndsTheRunWithoutASearch) {
  AppRun run;
  run.DefaultDisk();
  run.desktop.Answer(IDD_START_DIALOG, kCancel);
  run.desktop.Answer(IDD_MESSAGE_DIALOG, kOk);
  EXPECT_EQ(0, run.RunMainDialog());
  EXPECT_EQ((std::vector<int>{IDD_OPENTYPEUPDATER_DIALOG, IDD_START_DIALOG, IDD_MESSAGE_DIALOG}),
            run.desktop.Opened());
  EXPECT_TRUE(run.disk.opened.empty());
  EXPECT_TRUE(run.desktop.Last(IDD_OPENTYPEUPDATER_DIALOG).columns.empty());
  EXPECT_EQ(0, run.desktop.broadcasts);
  EXPECT_EQ(run.revisions[0].oldFont, run.Installed(kMinchoPath));
}

TEST(AppMainDialog, SystemMenuOpensTheAboutBoxAndStopNeedsConfirming) {
  AppRun run;
  run.DefaultDisk();
  run.desktop.Answer(IDD_START_DIALOG, kOk);
  run.desktop.SystemCommand(IDD_OPENTYPEUPDATER_DIALOG, 16);
  run.desktop.Answer(IDD_ABOUTBOX, kOk);
  // The system keeps the low four bits of the command for itself.
  run.desktop.SystemCommand(IDD_OPENTYPEUPDATER_DIALOG, 0x13);
  run.desktop.Answer(IDD_ABOUTBOX, kOk);
  run.desktop.SystemCommand(IDD_OPENTYPEUPDATER_DIALOG, 0x20);
  run.desktop.Answer(IDD_OPENTYPEUPDATER_DIALOG, kCancel);
  run.desktop.Answer(IDD_MESSAGE_DIALOG, kCancel);
  run.desktop.Answer(IDD_OPENTYPEUPDATER_DIALOG, kCancel);
  run.desktop.Answer(IDD_MESSAGE_DIALOG, kOk);
  EXPECT_EQ(kCancel, run.RunMainDialog());

  const DialogRecord& main = run.desktop.Last(IDD_OPENTYPEUPDATER_DIALOG);
  EXPECT_EQ((std::vector<std::pair<int, std::string>>{{16, "TAVRELONフォント 改訂プログラムのﾊﾞｰｼﾞｮﾝ情報(&A)..."}}),
            main.systemMenu);
  EXPECT_TRUE(main.iconSet);
  EXPECT_EQ(2, run.desktop.Count(IDD_ABOUTBOX));
  const std::string version = run.desktop.Last(IDD_ABOUTBOX).Text(IDC_ABOUT_VERSION);
  EXPECT_EQ(0u, version.find("TAVRELONフォント 改訂プログラム")) << version;
  EXPECT_NE(std::string::npos, version.find("1.2.3")) << version;
  EXPECT_LT(run.desktop.Find("system 102 16 handled"), run.desktop.log.size());
  EXPECT_LT(run.desktop.Find("system 102 19 handled"), run.desktop.log.size());
  EXPECT_LT(run.desktop.Find("system 102 32 default"), run.desktop.log.size());
  // "いいえ" left the list as it was; the confirmed stop touched no font.
  EXPECT_EQ((std::vector<std::string>{kMinchoPath, kGothicPath, kMaruPath}), main.rows);
  EXPECT_EQ(run.revisions[1].oldFont, run.Installed(kGothicPath));
  EXPECT_EQ(0, run.desktop.broadcasts);
  EXPECT_EQ(1, run.controllers.releases);
}

}  // namespace
