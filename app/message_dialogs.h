// The four message dialogs: a text set before the modal run, shown in a
// read-only edit or a static text, and one or two buttons. They carry no
// logic; the caller reads which button ended them.
#ifndef OTU_APP_MESSAGE_DIALOGS_H_
#define OTU_APP_MESSAGE_DIALOGS_H_

#include <string>

#include "app/dialog_base.h"

class CMessageTextDialog : public CDialogBase {
 public:
  CMessageTextDialog(const RunEnvironment& environment, int templateId, int messageControl)
      : CDialogBase(environment, templateId), messageControl_(messageControl) {}
  void SetMessageText(const std::string& text) { message_ = text; }
  void OnInitDialog(platform::DialogWindow& window) override;

 private:
  int messageControl_;
  std::string message_;
};

// "はい"; for messages that end a step of the run.
class COKDialog : public CMessageTextDialog {
 public:
  explicit COKDialog(const RunEnvironment& environment);
};

// "はい", no close box; the result of a failed or stopped run.
class CEndDialog : public CMessageTextDialog {
 public:
  explicit CEndDialog(const RunEnvironment& environment);
};

// "再起動" (OK) and "キャンセル"; the result of a fully successful run.
class CNormalEndDialog : public CMessageTextDialog {
 public:
  explicit CNormalEndDialog(const RunEnvironment& environment);
};

// "はい" (OK) and "いいえ"; the questions before a stop.
class CMessageDialog : public CMessageTextDialog {
 public:
  explicit CMessageDialog(const RunEnvironment& environment);
};

// `text` with each line break as one space, for the log.
std::string OnOneLine(const std::string& text);

// Shows `text` in a new dialog of type Dialog and returns the button that
// ended it.
template <class Dialog>
int ShowMessage(const RunEnvironment& environment, const std::string& text) {
  LogEvent(environment, "message: " + OnOneLine(text));
  Dialog dialog(environment);
  dialog.SetMessageText(text);
  return dialog.DoModal();
}

#endif  // OTU_APP_MESSAGE_DIALOGS_H_
