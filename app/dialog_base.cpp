#include "app/dialog_base.h"

int CDialogBase::DoModal() {
  int result = environment_.desktop.RunModal(templateId_, *this);
  window_ = nullptr;
  return result;
}

void CDialogBase::Create(platform::DialogWindow& owner) {
  kept_ = environment_.desktop.CreateModeless(templateId_, *this, owner);
}

void CDialogBase::ShowNow() {
  window_->Show();
  window_->Repaint();
}

void CDialogBase::Close() {
  kept_.reset();
  window_ = nullptr;
}

void CDialogBase::OnCommand(int id) {
  if (id == platform::kOk) {
    OnOK();
  } else if (id == platform::kCancel) {
    OnCancel();
  }
}
