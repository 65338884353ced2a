// The about box of the main dialog's system menu: the program's name and
// version, and its copyright line.
#ifndef OTU_APP_ABOUT_DLG_H_
#define OTU_APP_ABOUT_DLG_H_

#include "app/dialog_base.h"

class CAboutDlg : public CDialogBase {
 public:
  explicit CAboutDlg(const RunEnvironment& environment);
  void OnInitDialog(platform::DialogWindow& window) override;
};

#endif  // OTU_APP_ABOUT_DLG_H_
