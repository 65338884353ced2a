// What the program demands of the machine before it touches a font: Windows
// XP or later, and administrator rights.
#ifndef OTU_APP_ENVIRONMENT_CHECK_H_
#define OTU_APP_ENVIRONMENT_CHECK_H_

#include <cstddef>
#include <cstdint>

#include "app/run_environment.h"
#include "platform/machine.h"

enum EnvironmentCode : int32_t {
  kSystemXp = 6,               // NT 5.1 or 5.2
  kSystemVista = 7,            // NT 6.0 and above
  kVersionUnknown = 1000,      // the version query failed
  kSystemTooOld = 1001,        // Win32s, 95, 98, Me, NT 3.x, NT 4
  kSystemUnsupported = 1002,   // Windows 2000 and what this classification does not know
  kNotAdministrator = 1005,
};

constexpr size_t kSystemNameSize = 261;

// Classes the version the system reports and writes a short name of it into
// `name` (zeroed first; for information only).
int32_t ClassifyWindowsVersion(platform::Machine& machine, char name[kSystemNameSize]);
bool IsAdministrator(platform::Machine& machine);
// The version, then the rights; a refusal shows its message. The run goes on
// only for kSystemXp and kSystemVista.
int32_t CheckEnvironment(const RunEnvironment& environment);

#endif  // OTU_APP_ENVIRONMENT_CHECK_H_
