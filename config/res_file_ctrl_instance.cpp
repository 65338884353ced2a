// Kept apart from the controller so that programs which build their own
// controller over test resources need no embedded resource set.
#include "config/res_file_ctrl.h"

namespace {

CResFileCtrl* instance = nullptr;

}  // namespace

CResFileCtrl& CResFileCtrl::Instance() {
  if (instance == nullptr) {
    instance = new CResFileCtrl(platform::ProgramResources(), platform::SystemTextEncoding());
    instance->Clear();
    instance->LoadConfiguration();
  }
  return *instance;
}

void CResFileCtrl::Release() {
  if (instance == nullptr) return;
  instance->Clear();
  delete instance;
  instance = nullptr;
}
