// The main dialog: it carries the whole run. Its initialisation checks the
// configuration and the machine, shows the start dialog and searches the
// drives; then it lists what it found, and "実行" revises every listed font,
// reports the result and finishes.
#ifndef OTU_APP_UPDATER_DLG_H_
#define OTU_APP_UPDATER_DLG_H_

#include <cstdint>
#include <string>

#include "app/dialog_base.h"
#include "app/run_outcome.h"

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

  // How the run ended, once the dialog has.
  RunOutcome Outcome() const { return outcome_; }

 private:
  // The first decisive outcome stands: a stop after a damaged package was
  // reported leaves the run's outcome that of the damage.
  void Decide(RunOutcome outcome);
  // The log's lines of the candidates the search found.
  void LogCandidates();

  // The message for an update result, the candidate's path filled in where
  // the message names a file.
  std::string ResultText(int32_t result, const CCandidateRecord& candidate) const;

  RunOutcome outcome_ = RunOutcome::kDone;
  bool decided_ = false;
};

#endif  // OTU_APP_UPDATER_DLG_H_
