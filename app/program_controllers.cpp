#include "app/run_environment.h"

CResFileCtrl& ProgramControllers::Configuration() { return CResFileCtrl::Instance(); }

CFolderCheckCtrl& ProgramControllers::Search() { return CFolderCheckCtrl::Instance(); }

void ProgramControllers::Release() {
  CFolderCheckCtrl::Release();
  CResFileCtrl::Release();
}
