#include "platform/machine.h"

#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <cstdio>
#include <cstring>
#include <vector>

namespace platform {
namespace {

constexpr int kSystemFolderId = 0x25;  // CSIDL_SYSTEM

class Win32InstanceClaim : public InstanceClaim {
 public:
  explicit Win32InstanceClaim(HANDLE mutex) : mutex_(mutex) {}
  ~Win32InstanceClaim() override {
    if (mutex_ == nullptr) return;
    ReleaseMutex(mutex_);
    CloseHandle(mutex_);
  }

 private:
  HANDLE mutex_;
};

// The switches are looked up by name: Windows without WOW64 (XP 32-bit) has
// neither, and redirection is then simply left alone.
class Win32RedirectionGuard : public RedirectionGuard {
 public:
  Win32RedirectionGuard() {
    HMODULE kernel = GetModuleHandleA("kernel32");
    if (kernel == nullptr) return;
    using Disable = BOOL(WINAPI*)(PVOID*);
    auto disable = reinterpret_cast<Disable>(reinterpret_cast<void*>(
        GetProcAddress(kernel, "Wow64DisableWow64FsRedirection")));
    revert_ = reinterpret_cast<Revert>(reinterpret_cast<void*>(
        GetProcAddress(kernel, "Wow64RevertWow64FsRedirection")));
    if (disable != nullptr) active_ = disable(&saved_) != 0;
  }
  ~Win32RedirectionGuard() override {
    if (revert_ != nullptr && active_) revert_(saved_);
  }

 private:
  using Revert = BOOL(WINAPI*)(PVOID);
  Revert revert_ = nullptr;
  PVOID saved_ = nullptr;
  bool active_ = false;
};

std::string ModulePath() {
  char path[MAX_PATH + 1] = {};
  DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  return length == 0 || length >= MAX_PATH ? std::string() : std::string(path, length);
}

class Win32Machine : public Machine {
 public:
  bool QueryVersion(uint32_t recordSize, VersionRecord* record) override {
    OSVERSIONINFOEXA info = {};
    if (recordSize > sizeof info) return false;
    info.dwOSVersionInfoSize = recordSize;
    if (!GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&info))) return false;
    record->platformId = info.dwPlatformId;
    record->major = info.dwMajorVersion;
    record->minor = info.dwMinorVersion;
    record->build = info.dwBuildNumber;
    static_assert(sizeof record->servicePack == sizeof info.szCSDVersion, "service-pack text");
    std::memcpy(record->servicePack, info.szCSDVersion, sizeof record->servicePack);
    record->servicePack[sizeof record->servicePack - 1] = '\0';
    return true;
  }

  // Membership of the local Administrators group, active in the token: an
  // access check of the thread's own token against a descriptor that grants
  // the group alone.
  bool IsAdministrator() override {
    bool impersonating = ImpersonateSelf(SecurityImpersonation) != 0;
    bool member = CheckAdministratorsAccess();
    if (impersonating) RevertToSelf();
    return member;
  }

  std::unique_ptr<InstanceClaim> ClaimInstance(const std::string& name) override {
    HANDLE existing = OpenMutexA(MUTEX_ALL_ACCESS, FALSE, name.c_str());
    if (existing != nullptr) {
      CloseHandle(existing);
      return nullptr;
    }
    HANDLE mutex = CreateMutexA(nullptr, FALSE, name.c_str());
    // Two programs started at the same instant both find no mutex to open;
    // the one whose creation finds it made already is the second. A mutex
    // made by a program running with other rights cannot be opened at all,
    // but it is there just the same.
    DWORD error = GetLastError();
    if (mutex == nullptr && error == ERROR_ACCESS_DENIED) return nullptr;
    if (mutex != nullptr && error == ERROR_ALREADY_EXISTS) {
      CloseHandle(mutex);
      return nullptr;
    }
    return std::make_unique<Win32InstanceClaim>(mutex);
  }

  std::string ExecutableFileName() override {
    std::string path = ModulePath();
    return PathFindFileNameA(path.c_str());
  }

  std::string MachineName() override {
    char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = sizeof name;
    return GetComputerNameA(name, &size) ? std::string(name, size) : std::string();
  }

  std::string UserName() override {
    char name[257] = {};
    DWORD size = sizeof name;
    return GetUserNameA(name, &size) ? std::string(name) : std::string();
  }

  std::string SystemDescription() override {
    VersionRecord record;
    if (!QueryVersion(sizeof(OSVERSIONINFOEXA), &record) && !QueryVersion(sizeof(OSVERSIONINFOA), &record)) {
      return std::string();
    }
    char text[200];
    std::snprintf(text, sizeof text, "Windows %u.%u.%u%s%s", static_cast<unsigned>(record.major),
                  static_cast<unsigned>(record.minor), static_cast<unsigned>(record.build),
                  record.servicePack[0] != '\0' ? " " : "", record.servicePack);
    return text;
  }

  std::string ProgramVersion() override {
    std::string path = ModulePath();
    DWORD unused = 0;
    DWORD size = GetFileVersionInfoSizeA(path.c_str(), &unused);
    if (size == 0) return std::string();
    std::vector<char> block(size);
    void* value = nullptr;
    UINT length = 0;
    if (!GetFileVersionInfoA(path.c_str(), 0, size, block.data()) ||
        !VerQueryValueA(block.data(), "\\", &value, &length) || length < sizeof(VS_FIXEDFILEINFO)) {
      return std::string();
    }
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
    char text[32];
    std::snprintf(text, sizeof text, "%u.%u.%u", static_cast<unsigned>(HIWORD(fixed->dwFileVersionMS)),
                  static_cast<unsigned>(LOWORD(fixed->dwFileVersionMS)),
                  static_cast<unsigned>(HIWORD(fixed->dwFileVersionLS)));
    return text;
  }

  bool SystemFolder(std::string* folder) override {
    char path[MAX_PATH + 1] = {};
    if (!SHGetSpecialFolderPathA(nullptr, path, kSystemFolderId, FALSE)) return false;
    *folder = path;
    return true;
  }

  std::vector<std::string> FontCacheNames() override { return {"fntcache.dat"}; }

  std::unique_ptr<RedirectionGuard> SwitchOffRedirection() override {
    return std::make_unique<Win32RedirectionGuard>();
  }

  void RequestRestart() override {
    HANDLE token = nullptr;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) {
      TOKEN_PRIVILEGES privileges = {};
      privileges.PrivilegeCount = 1;
      privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
      if (LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &privileges.Privileges[0].Luid)) {
        TOKEN_PRIVILEGES previous = {};
        DWORD previousSize = 0;
        AdjustTokenPrivileges(token, FALSE, &privileges, sizeof previous, &previous, &previousSize);
      }
      CloseHandle(token);
    }
    ExitWindowsEx(EWX_REBOOT | EWX_FORCE, 0);
  }

 private:
  static bool CheckAdministratorsAccess() {
    HANDLE token = nullptr;
    if (!OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, FALSE, &token)) {
      if (GetLastError() != ERROR_NO_TOKEN) return false;
      if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
    }
    SID_IDENTIFIER_AUTHORITY authority = SECURITY_NT_AUTHORITY;
    PSID administrators = nullptr;
    bool member = false;
    if (AllocateAndInitializeSid(&authority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0,
                                 0, 0, &administrators)) {
      member = CheckAccess(token, administrators);
      FreeSid(administrators);
    }
    CloseHandle(token);
    return member;
  }

  static bool CheckAccess(HANDLE token, PSID group) {
    constexpr DWORD kRead = 1;
    constexpr DWORD kWrite = 2;
    auto* descriptor = static_cast<PSECURITY_DESCRIPTOR>(LocalAlloc(LPTR, SECURITY_DESCRIPTOR_MIN_LENGTH));
    DWORD aclSize = GetLengthSid(group) + sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD);
    auto* acl = static_cast<PACL>(LocalAlloc(LPTR, aclSize));
    bool granted = false;
    if (descriptor != nullptr && acl != nullptr &&
        InitializeSecurityDescriptor(descriptor, SECURITY_DESCRIPTOR_REVISION) &&
        InitializeAcl(acl, aclSize, ACL_REVISION2) &&
        AddAccessAllowedAce(acl, ACL_REVISION2, kRead | kWrite, group) &&
        SetSecurityDescriptorDacl(descriptor, TRUE, acl, FALSE) &&
        SetSecurityDescriptorGroup(descriptor, group, FALSE) &&
        SetSecurityDescriptorOwner(descriptor, group, FALSE) && IsValidSecurityDescriptor(descriptor)) {
      GENERIC_MAPPING mapping = {kRead, kWrite, 0, kRead | kWrite};
      PRIVILEGE_SET privileges;
      DWORD privilegesSize = sizeof privileges;
      DWORD access = 0;
      BOOL status = FALSE;
      granted = AccessCheck(descriptor, token, kRead, &mapping, &privileges, &privilegesSize, &access, &status) &&
                status;
    }
    if (acl != nullptr) LocalFree(acl);
    if (descriptor != nullptr) LocalFree(descriptor);
    return granted;
  }
};

}  // namespace

Machine& HostMachine() {
  static Win32Machine machine;
  return machine;
}

}  // namespace platform
