// The base of the program's dialog objects: the template a dialog is built
// from, its modal run or its life as a kept window, and the OK and Cancel
// commands. Derived dialogs add their handlers as members.
#ifndef OTU_APP_DIALOG_BASE_H_
#define OTU_APP_DIALOG_BASE_H_

#include <memory>

#include "app/run_environment.h"
#include "platform/desktop.h"

class CDialogBase : public platform::DialogHandler {
 public:
  CDialogBase(const RunEnvironment& environment, int templateId)
      : environment_(environment), templateId_(templateId) {}
  CDialogBase(const CDialogBase&) = delete;
  CDialogBase& operator=(const CDialogBase&) = delete;

  // Runs the dialog modally: the id of the button that ended it.
  int DoModal();
  // Creates the dialog as a kept window owned by `owner`, hidden.
  void Create(platform::DialogWindow& owner);
  // Shows the kept window and paints it at once: the job that follows keeps
  // the thread busy until its first report.
  void ShowNow();
  // Destroys the kept window.
  void Close();

  // Binds the window; derived dialogs call it first.
  void OnInitDialog(platform::DialogWindow& window) override { window_ = &window; }
  void OnCommand(int id) override;
  virtual void OnOK() { EndDialog(platform::kOk); }
  virtual void OnCancel() { EndDialog(platform::kCancel); }

 protected:
  void EndDialog(int result) { window_->EndModal(result); }
  platform::DialogWindow& Window() { return *window_; }

  const RunEnvironment& environment_;

 private:
  int templateId_;
  platform::DialogWindow* window_ = nullptr;
  std::unique_ptr<platform::DialogWindow> kept_;
};

#endif  // OTU_APP_DIALOG_BASE_H_
