// The program's entry: one instance per program file name, and the main
// dialog, run modally; the program ends when it closes.
#ifndef OTU_APP_UPDATER_APP_H_
#define OTU_APP_UPDATER_APP_H_

#include <memory>
#include <string>

#include "app/run_environment.h"
#include "app/run_outcome.h"
#include "platform/machine.h"

class COpenTypeUpdaterApp {
 public:
  explicit COpenTypeUpdaterApp(const RunEnvironment& environment) : environment_(environment) {}
  // The whole run, and how it ended. A second instance of the same program
  // file name returns at once, without a window.
  RunOutcome Run();

 private:
  const RunEnvironment& environment_;
  // Held until the application object goes, at the end of the process.
  std::unique_ptr<platform::InstanceClaim> instance_;
};

// The name of the instance claim: the program's file name without its
// extension, followed by ".EXE".
std::string InstanceName(const NameRules& rules, const std::string& executableFileName);

#endif  // OTU_APP_UPDATER_APP_H_
