#include "platform/machine.h"

#include <dirent.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>

#include "platform/posix/embedded_resources.h"
#include "platform/posix/restart.h"
#include "platform/posix/user_table.h"

namespace platform {
namespace {

const char kFontCacheFolder[] = "/var/cache/fontconfig";

// The claim is a socket bound to a name in the abstract namespace: the
// kernel lets it go with the process however the process ends, so no stale
// file can keep the next run out.
class SocketClaim : public InstanceClaim {
 public:
  explicit SocketClaim(int socket) : socket_(socket) {}
  ~SocketClaim() override { ::close(socket_); }

 private:
  int socket_;
};

// Redirection is a Windows matter.
class NoRedirection : public RedirectionGuard {};

class PosixMachine : public Machine {
 public:
  // Every Linux kernel the program runs on stands for a system of the newest
  // class the classification knows.
  bool QueryVersion(uint32_t, VersionRecord* record) override {
    struct utsname system;
    if (::uname(&system) != 0) return false;
    *record = VersionRecord();
    record->platformId = 2;
    record->major = 6;
    std::strncpy(record->servicePack, system.release, sizeof record->servicePack - 1);
    return true;
  }

  bool IsAdministrator() override { return ::geteuid() == 0; }

  std::unique_ptr<InstanceClaim> ClaimInstance(const std::string& name) override {
    struct sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    size_t length = std::min(name.size(), sizeof address.sun_path - 1);
    std::memcpy(address.sun_path + 1, name.data(), length);
    int handle = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (handle < 0) return std::make_unique<SocketClaim>(-1);
    socklen_t size = static_cast<socklen_t>(offsetof(struct sockaddr_un, sun_path) + 1 + length);
    if (::bind(handle, reinterpret_cast<struct sockaddr*>(&address), size) != 0) {
      bool taken = errno == EADDRINUSE;
      ::close(handle);
      // Where no socket can be had at all, the run is not refused for it.
      return taken ? nullptr : std::make_unique<SocketClaim>(-1);
    }
    return std::make_unique<SocketClaim>(handle);
  }

  std::string ExecutableFileName() override {
    char path[4096] = {};
    ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) return std::string();
    std::string file(path, static_cast<size_t>(length));
    return file.substr(file.rfind('/') + 1);
  }

  // The package's version, or resources/version.h's without its own.
  std::string ProgramVersion() override { return kEmbeddedProgram.version; }

  std::string MachineName() override {
    struct utsname system;
    return ::uname(&system) == 0 ? system.nodename : "";
  }

  std::string UserName() override {
    const unsigned uid = ::getuid();
    std::string name = UserNameOf(ReadTextFile("/etc/passwd"), uid);
    return name.empty() ? "uid " + std::to_string(uid) : name;
  }

  std::string SystemDescription() override {
    struct utsname system;
    if (::uname(&system) != 0) return std::string();
    return std::string(system.sysname) + " " + system.release + " " + system.machine;
  }

  // fontconfig's caches of the system's font folders stand for the font
  // cache of Windows: without them fontconfig reads the fonts anew.
  bool SystemFolder(std::string* folder) override {
    *folder = kFontCacheFolder;
    return true;
  }

  std::vector<std::string> FontCacheNames() override {
    std::vector<std::string> names;
    DIR* folder = ::opendir(kFontCacheFolder);
    if (folder == nullptr) return names;
    while (struct dirent* entry = ::readdir(folder)) {
      if (std::strstr(entry->d_name, ".cache-") != nullptr) names.push_back(entry->d_name);
    }
    ::closedir(folder);
    return names;
  }

  std::unique_ptr<RedirectionGuard> SwitchOffRedirection() override { return std::make_unique<NoRedirection>(); }

  void RequestRestart() override { RestartThroughInitSystem(ExecutableFileName()); }
};

}  // namespace

Machine& HostMachine() {
  static PosixMachine machine;
  return machine;
}

}  // namespace platform
