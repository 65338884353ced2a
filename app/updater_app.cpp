#include "app/updater_app.h"

#include "app/updater_dlg.h"
#include "text/paths.h"

std::string InstanceName(const NameRules& rules, const std::string& executableFileName) {
  return text::SplitPath(rules.encoding, executableFileName).name + ".EXE";
}

RunOutcome COpenTypeUpdaterApp::Run() {
  platform::Machine& machine = environment_.machine;
  LogEvent(environment_, "program: " + machine.ExecutableFileName() + " " + machine.ProgramVersion());
  LogEvent(environment_, "machine: " + machine.MachineName() + ", user " + machine.UserName() + ", " +
                             machine.SystemDescription());
  instance_ = machine.ClaimInstance(InstanceName(environment_.rules, machine.ExecutableFileName()));
  if (instance_ == nullptr) return RunOutcome::kAlreadyRunning;
  COpenTypeUpdaterDlg dialog(environment_);
  dialog.DoModal();
  return dialog.Outcome();
}
