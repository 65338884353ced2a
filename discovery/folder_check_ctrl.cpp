#include "discovery/folder_check_ctrl.h"

CFolderCheckCtrl::CFolderCheckCtrl(platform::FileSystem& files, const platform::ResourceSource& resources,
                                   platform::Folders& folders, const NameRules& rules)
    : files_(files), resources_(resources), folders_(folders), rules_(rules) {}

CFolderCheckCtrl::~CFolderCheckCtrl() = default;

int CFolderCheckCtrl::BuildTargetList(const CResFileCtrl& configuration) {
  for (int32_t i = 0; i < configuration.LoadedCount(); ++i) AddTarget(configuration.Entry(i));
  return 1;
}
