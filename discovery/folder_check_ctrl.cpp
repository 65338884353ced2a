#include "discovery/folder_check_ctrl.h"

CFolderCheckCtrl::CFolderCheckCtrl(platform::FileSystem& files, const platform::ResourceSource& resources,
                                   platform::Folders& folders, const NameRules& rules)
    : files_(files), resources_(resources), folders_(folders), rules_(rules) {}

CFolderCheckCtrl::~CFolderCheckCtrl() = default;

void CFolderCheckCtrl::TakeProgram(const CUpdaterProgram& program) {
  language_ = program.language;
  if (!program.present) {
    downloads_ = DefaultDownloadPlaces();
    return;
  }
  // A maker's program removes only what its own section names: Tavrelon's
  // folders are another maker's files.
  downloads_.folderMarkers = program.downloadFolders;
  downloads_.fileNames = program.downloadFiles;
}

int CFolderCheckCtrl::BuildTargetList(const CResFileCtrl& configuration) {
  TakeProgram(configuration.Program());
  for (int32_t i = 0; i < configuration.LoadedCount(); ++i) AddTarget(configuration.Entry(i));
  return 1;
}
