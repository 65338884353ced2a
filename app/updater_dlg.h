// The main dialog: it carries the whole run. Its initialisation checks the
// configuration and the machine, shows the start dialog and searches the
// drives; then it lists what it found, and "実行" revises every listed font,
// reports the result and finishes.
#ifndef OTU_APP_UPDATER_DLG_H_
#define OTU_APP_UPDATER_DLG_H_

#include <cstdint>
#include <string>

#include "app/dialog_base.h"

class COpenTypeUpdaterDlg : public CDialogBase {
 public:
  explicit COpenTypeUpdaterDlg(const RunEnvironment& environment);
  // Releases the process-wide controllers, the search controller first.
  ~COpenTypeUpdaterDlg() override;

  void OnInitDialog(platform::DialogWindow& window) override { PrepareRun(window); }
  void OnOK() override { RunUpdate(); }
  void OnCancel() override { ConfirmStop(); }
  bool OnSystemCommand(int command) override;

  // Everything before the list is shown; ends the dialog where the run
  // cannot go on.
  void PrepareRun(platform::DialogWindow& window);
  // Revises every candidate, stops at the first failure, reports and ends.
  void RunUpdate();
  // Ends the dialog once the user confirms the stop.
  void ConfirmStop();

 private:
  // The message for an update result, the candidate's path filled in where
  // the message names a file.
  std::string ResultText(int32_t result, const CCandidateRecord& candidate) const;
};

#endif  // OTU_APP_UPDATER_DLG_H_
