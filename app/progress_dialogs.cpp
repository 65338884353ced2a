#include "app/progress_dialogs.h"

#include <cstdio>

#include "app/message_dialogs.h"
#include "app/messages.h"
#include "resources/resource_ids.h"

namespace {

// The full bars stay this long before the run goes on to its result.
constexpr uint32_t kFullBarsHold = 1000;

std::string PercentText(int32_t percent) {
  char text[16];
  std::snprintf(text, sizeof text, "%d%%", static_cast<int>(percent));
  return text;
}

// Asks the question of `message` about a raised stop flag and clears the
// flag unless the answer is "はい".
void ConfirmStopRequest(const RunEnvironment& environment, uint16_t message, int32_t* stopFlag) {
  if (*stopFlag == 0) return;
  if (ShowMessage<CMessageDialog>(environment, LoadMessage(message)) != platform::kOk) *stopFlag = 0;
}

}  // namespace

CProgressDialog::CProgressDialog(const RunEnvironment& environment)
    : CDialogBase(environment, IDD_PROGRESS_DIALOG) {}

bool CProgressDialog::SetProgress(int32_t overallPercent, int32_t currentPercent, const std::string& fileText,
                                  const std::string& stepText) {
  platform::DialogWindow& window = Window();
  if (!window.IsVisible()) window.Show();
  environment_.desktop.DrainMessages();
  window.SetBarPosition(IDC_OVERALL_BAR, overallPercent);
  window.SetBarPosition(IDC_CURRENT_BAR, currentPercent);
  window.SetItemText(IDC_OVERALL_PERCENT, PercentText(overallPercent));
  window.RepaintItem(IDC_OVERALL_PERCENT);
  window.SetItemText(IDC_CURRENT_PERCENT, PercentText(currentPercent));
  window.RepaintItem(IDC_CURRENT_PERCENT);
  window.SetItemText(IDC_FILE_TEXT, fileText);
  window.SetItemText(IDC_STEP_TEXT, stepText);
  environment_.desktop.Sleep(1);
  ConfirmStopRequest(environment_, kMsgConfirmStop, &stopFlag_);
  if (overallPercent == 100 && currentPercent == 100) environment_.desktop.Sleep(kFullBarsHold);
  return stopFlag_ != 0;
}

void CProgressDialog::OnCommand(int id) {
  if (id == IDC_PROGRESS_STOP) stopFlag_ = 1;
}

CWaitDialog::CWaitDialog(const RunEnvironment& environment) : CDialogBase(environment, IDD_WAIT_DIALOG) {}

bool CWaitDialog::SetSearchText(const std::string& text) {
  platform::DialogWindow& window = Window();
  if (!window.IsVisible()) window.Show();
  environment_.desktop.DrainMessages();
  ConfirmStopRequest(environment_, kMsgConfirmSearchStop, &stopFlag_);
  text_ = text;
  window.SetItemText(IDC_SEARCH_TEXT, text_);
  return stopFlag_ != 0;
}

void CWaitDialog::OnCommand(int id) {
  if (id == IDC_WAIT_STOP) stopFlag_ = 1;
}

int32_t UpdateProgressCallback(int32_t overallPercent, int32_t currentPercent, const char* fileText,
                               const char* stepText, void* context) {
  return static_cast<CProgressDialog*>(context)->SetProgress(overallPercent, currentPercent, fileText, stepText)
             ? 1
             : 0;
}

int32_t SearchProgressCallback(const char* text, void* context) {
  return static_cast<CWaitDialog*>(context)->SetSearchText(text) ? 1 : 0;
}
