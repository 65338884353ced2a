// What the run reaches: the platform's services and the two process-wide
// controllers, handed to every dialog object of the program.
#ifndef OTU_APP_RUN_ENVIRONMENT_H_
#define OTU_APP_RUN_ENVIRONMENT_H_

#include <string>

#include "config/res_file_ctrl.h"
#include "discovery/folder_check_ctrl.h"
#include "discovery/name_rules.h"
#include "platform/desktop.h"
#include "platform/file_system.h"
#include "platform/log_file.h"
#include "platform/machine.h"
#include "platform/resources.h"

// The configuration controller and the search controller, each made on its
// first request and kept for the process until released.
class ProcessControllers {
 public:
  virtual ~ProcessControllers() = default;
  virtual CResFileCtrl& Configuration() = 0;
  // Its first request builds the target list from the configuration.
  virtual CFolderCheckCtrl& Search() = 0;
  // Releases the search controller, then the configuration controller.
  virtual void Release() = 0;
};

// The program's own controllers, over the machine's drives, files and the
// resources the program carries.
class ProgramControllers : public ProcessControllers {
 public:
  CResFileCtrl& Configuration() override;
  CFolderCheckCtrl& Search() override;
  void Release() override;
};

struct RunEnvironment {
  platform::Desktop& desktop;
  platform::Machine& machine;
  platform::FileSystem& files;
  // The difference files the updates read.
  const platform::ResourceSource& resources;
  ProcessControllers& controllers;
  // How the system's paths are written.
  NameRules rules;
  // The run's log, where the command line asked for one.
  platform::LogFile* log = nullptr;
};

// One line of the run's log, where there is one.
inline void LogEvent(const RunEnvironment& environment, const std::string& text) {
  if (environment.log != nullptr) environment.log->Write(text);
}

#endif  // OTU_APP_RUN_ENVIRONMENT_H_
