#include "app/start_dialog.h"

#include "app/message_dialogs.h"
#include "app/messages.h"
#include "resources/resource_ids.h"

CStartDialog::CStartDialog(const RunEnvironment& environment) : CDialogBase(environment, IDD_START_DIALOG) {}

void CStartDialog::OnInitDialog(platform::DialogWindow& window) {
  CDialogBase::OnInitDialog(window);
  window.SetItemText(IDC_START_TEXT, environment_.controllers.Configuration().GetStartText());
}

void CStartDialog::OnCancel() {
  if (ShowMessage<CMessageDialog>(environment_, LoadMessage(kMsgConfirmStop)) == platform::kOk) {
    EndDialog(platform::kCancel);
  }
}
