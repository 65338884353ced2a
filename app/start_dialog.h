// The dialog that opens every run: what the program revises, and the choice
// between searching ("次へ") and stopping ("中　止", confirmed).
#ifndef OTU_APP_START_DIALOG_H_
#define OTU_APP_START_DIALOG_H_

#include "app/dialog_base.h"

class CStartDialog : public CDialogBase {
 public:
  explicit CStartDialog(const RunEnvironment& environment);
  void OnInitDialog(platform::DialogWindow& window) override;
  // Ends the dialog with Cancel only once the user confirms the stop.
  void OnCancel() override;
};

#endif  // OTU_APP_START_DIALOG_H_
