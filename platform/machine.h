// The machine and the process around the program: the system's version
// record, the user's rights, the one instance per program name, the system
// folder and its font cache with the 32-bit file-system redirection of 64-bit
// Windows, the restart, and the program's own name and version.
#ifndef OTU_PLATFORM_MACHINE_H_
#define OTU_PLATFORM_MACHINE_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace platform {

// The system's version record, in its numbering: platform 0 = Win32s,
// 1 = Windows 9x, 2 = NT.
struct VersionRecord {
  uint32_t platformId = 0;
  uint32_t major = 0;
  uint32_t minor = 0;
  uint32_t build = 0;
  char servicePack[128] = {};
};

// Held while the program runs; releasing it lets the next instance start.
class InstanceClaim {
 public:
  virtual ~InstanceClaim() = default;
};

// File-system redirection of a 32-bit process on 64-bit Windows switched off
// for as long as the object lives.
class RedirectionGuard {
 public:
  virtual ~RedirectionGuard() = default;
};

class Machine {
 public:
  virtual ~Machine() = default;
  // Asks the system for its version record of `recordSize` bytes (156 for
  // the extended record, 148 for the basic one); false when it refuses.
  virtual bool QueryVersion(uint32_t recordSize, VersionRecord* record) = 0;
  // Whether the user runs with administrator rights, active in the token;
  // false when the check itself fails.
  virtual bool IsAdministrator() = 0;
  // Claims the instance named `name`: null when another process holds it.
  virtual std::unique_ptr<InstanceClaim> ClaimInstance(const std::string& name) = 0;
  // The running program's file name, without folders.
  virtual std::string ExecutableFileName() = 0;
  // The program's version as "major.minor.patch".
  virtual std::string ProgramVersion() = 0;
  // For the log of a run: the machine's network name, the user the program
  // runs as, and the system's name and version ("Windows 10.0.19045",
  // "Linux 6.1.0-13-amd64 x86_64"); empty where the system does not say.
  virtual std::string MachineName() = 0;
  virtual std::string UserName() = 0;
  virtual std::string SystemDescription() = 0;
  // The system's own folder, without a final separator; false when unknown.
  virtual bool SystemFolder(std::string* folder) = 0;
  // The names of the system's font cache files in its own folder: files the
  // system makes again when they are gone.
  virtual std::vector<std::string> FontCacheNames() = 0;
  // Never null. Where the system has no redirection, the guard does nothing.
  virtual std::unique_ptr<RedirectionGuard> SwitchOffRedirection() = 0;
  // Asks the system to restart at once. Windows closes applications without
  // asking them; a POSIX init system stops services first and may refuse.
  // Nothing tells the caller whether it will: a refusal the machine learns
  // of it reports itself (on POSIX, one line on standard error), and the call
  // returns.
  virtual void RequestRestart() = 0;
};

// The machine the program runs on.
Machine& HostMachine();

}  // namespace platform

#endif  // OTU_PLATFORM_MACHINE_H_
