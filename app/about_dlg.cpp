#include "app/about_dlg.h"

#include "resources/resource_ids.h"

namespace {

const char kProgramName[] = "TAVRELONフォント 改訂プログラム";

}  // namespace

CAboutDlg::CAboutDlg(const RunEnvironment& environment) : CDialogBase(environment, IDD_ABOUTBOX) {}

void CAboutDlg::OnInitDialog(platform::DialogWindow& window) {
  CDialogBase::OnInitDialog(window);
  // A maker's package names its own program; the version is the one the
  // program's version resource carries.
  const CUpdaterProgram& program = environment_.controllers.Configuration().Program();
  std::string name = program.present && !program.title.empty() ? program.title : kProgramName;
  window.SetItemText(IDC_ABOUT_VERSION, name + " Version " + environment_.machine.ProgramVersion());
}
