// The process-wide search controller over the machine's own drives, fonts
// and embedded difference files.
#include "discovery/folder_check_ctrl.h"

namespace {

CFolderCheckCtrl* instance = nullptr;

}  // namespace

CFolderCheckCtrl& CFolderCheckCtrl::Instance() {
  if (instance == nullptr) {
    NameRules rules = {platform::PathSeparator(), platform::SystemTextEncoding()};
    instance = new CFolderCheckCtrl(platform::HostFileSystem(), platform::ProgramResources(),
                                    platform::HostFolders(), rules);
    instance->BuildTargetList(CResFileCtrl::Instance());
  }
  return *instance;
}

void CFolderCheckCtrl::Release() {
  delete instance;
  instance = nullptr;
}
