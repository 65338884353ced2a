#include "app/about_dlg.h"

#include "resources/resource_ids.h"

namespace {

const char kProgramName[] = "TAVRELONフォント 改訂プログラム";

}  // namespace

CAboutDlg::CAboutDlg(const RunEnvironment& environment) : CDialogBase(environment, IDD_ABOUTBOX) {}

void CAboutDlg::OnInitDialog(platform::DialogWindow& window) {
  CDialogBase::OnInitDialog(window);
  window.SetItemText(IDC_ABOUT_VERSION,
                     std::string(kProgramName) + " Version " + environment_.machine.ProgramVersion());
}
