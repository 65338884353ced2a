// The machine around the program, held in memory: the version record the
// system answers per record size, the administrator answer, instance claims
// by name (shared between the machines of several "processes"), the system
// folder, a redirection switch that a file-system view consults, and the
// restart requests.
#ifndef OTU_TESTS_FAKE_MACHINE_H_
#define OTU_TESTS_FAKE_MACHINE_H_

#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/machine.h"

namespace testapp {

inline platform::VersionRecord Version(uint32_t platformId, uint32_t major, uint32_t minor,
                                       const char* servicePack = "") {
  platform::VersionRecord record;
  record.platformId = platformId;
  record.major = major;
  record.minor = minor;
  std::strncpy(record.servicePack, servicePack, sizeof record.servicePack - 1);
  return record;
}

class FakeMachine : public platform::Machine {
 public:
  // The record the system gives for each record size; a size not listed is
  // refused. Windows XP unless a test says otherwise.
  std::map<uint32_t, platform::VersionRecord> versions = {{156, Version(2, 5, 1, "Service Pack 3")}};
  bool administrator = true;
  // Names claimed by any process that shares this set.
  std::shared_ptr<std::set<std::string>> heldClaims = std::make_shared<std::set<std::string>>();
  std::string executable = "OpenTypeUpdater.exe";
  std::string programVersion = "1.2.3";
  std::string systemFolder = "C:\\WINDOWS\\system32";
  bool hasRedirection = true;
  // True while a guard has switched redirection off.
  bool redirectionOff = false;
  std::vector<std::string>* log = nullptr;

  // What was asked.
  std::vector<uint32_t> versionQueries;
  int administratorChecks = 0;
  std::vector<std::string> claimRequests;
  int restartRequests = 0;

  bool QueryVersion(uint32_t recordSize, platform::VersionRecord* record) override {
    versionQueries.push_back(recordSize);
    auto found = versions.find(recordSize);
    if (found == versions.end()) return false;
    *record = found->second;
    return true;
  }
  bool IsAdministrator() override {
    ++administratorChecks;
    return administrator;
  }
  std::unique_ptr<platform::InstanceClaim> ClaimInstance(const std::string& name) override {
    claimRequests.push_back(name);
    if (!heldClaims->insert(name).second) return nullptr;
    return std::make_unique<Claim>(heldClaims, name);
  }
  std::string ExecutableFileName() override { return executable; }
  std::string ProgramVersion() override { return programVersion; }
  std::string MachineName() override { return "PC-0042"; }
  std::string UserName() override { return "admin"; }
  std::string SystemDescription() override { return "Windows 5.1.2600 Service Pack 3"; }
  bool SystemFolder(std::string* folder) override {
    *folder = systemFolder;
    return !systemFolder.empty();
  }
  std::vector<std::string> FontCacheNames() override { return {"fntcache.dat"}; }
  std::unique_ptr<platform::RedirectionGuard> SwitchOffRedirection() override {
    return std::make_unique<Guard>(this);
  }
  void RequestRestart() override {
    ++restartRequests;
    Note("restart");
  }

 private:
  class Claim : public platform::InstanceClaim {
   public:
    Claim(std::shared_ptr<std::set<std::string>> held, std::string name)
        : held_(std::move(held)), name_(std::move(name)) {}
    ~Claim() override { held_->erase(name_); }

   private:
    std::shared_ptr<std::set<std::string>> held_;
    std::string name_;
  };

  class Guard : public platform::RedirectionGuard {
   public:
    explicit Guard(FakeMachine* machine) : machine_(machine), active_(machine->hasRedirection) {
      if (!active_) return;
      saved_ = machine_->redirectionOff;
      machine_->redirectionOff = true;
    }
    ~Guard() override {
      if (active_) machine_->redirectionOff = saved_;
    }

   private:
    FakeMachine* machine_;
    bool active_;
    bool saved_ = false;
  };

  void Note(const std::string& entry) {
    if (log != nullptr) log->push_back(entry);
  }
};

}  // namespace testapp

#endif  // OTU_TESTS_FAKE_MACHINE_H_
