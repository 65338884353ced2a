#include "app/updater_app.h"

#include "app/updater_dlg.h"
#include "text/paths.h"

std::string InstanceName(const NameRules& rules, const std::string& executableFileName) {
  return text::SplitPath(rules.encoding, executableFileName).name + ".EXE";
}

void COpenTypeUpdaterApp::Run() {
  instance_ = environment_.machine.ClaimInstance(
      InstanceName(environment_.rules, environment_.machine.ExecutableFileName()));
  if (instance_ == nullptr) return;
  COpenTypeUpdaterDlg dialog(environment_);
  dialog.DoModal();
}
