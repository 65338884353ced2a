#include "app/message_dialogs.h"

#include "resources/resource_ids.h"

void CMessageTextDialog::OnInitDialog(platform::DialogWindow& window) {
  CDialogBase::OnInitDialog(window);
  window.SetItemText(messageControl_, message_);
}

COKDialog::COKDialog(const RunEnvironment& environment)
    : CMessageTextDialog(environment, IDD_OK_DIALOG, IDC_MESSAGE_EDIT) {}

CEndDialog::CEndDialog(const RunEnvironment& environment)
    : CMessageTextDialog(environment, IDD_END_DIALOG, IDC_END_MESSAGE) {}

CNormalEndDialog::CNormalEndDialog(const RunEnvironment& environment)
    : CMessageTextDialog(environment, IDD_NORMALEND_DIALOG, IDC_END_MESSAGE) {}

CMessageDialog::CMessageDialog(const RunEnvironment& environment)
    : CMessageTextDialog(environment, IDD_MESSAGE_DIALOG, IDC_MESSAGE_EDIT) {}

std::string OnOneLine(const std::string& text) {
  std::string line;
  for (size_t at = 0; at < text.size(); ++at) {
    if (text[at] == '\r' && at + 1 < text.size() && text[at + 1] == '\n') ++at;
    line += text[at] == '\r' || text[at] == '\n' ? ' ' : text[at];
  }
  return line;
}
