#include "platform/file_system.h"

#include <windows.h>
#include <shlwapi.h>
#include <wincrypt.h>

#include <cstdlib>

#include "platform/win32/handles.h"

namespace platform {
namespace {

using win32::Handle;

class Win32FileSystem : public FileSystem {
 public:
  // Ordinary files only: a pipe or device behind a name is never read.
  std::unique_ptr<File> OpenRead(const std::string& path, Share share) override {
    DWORD mode = share == Share::kReadWrite ? (FILE_SHARE_READ | FILE_SHARE_WRITE)
                 : share == Share::kRead    ? FILE_SHARE_READ
                                            : 0;
    Handle file(CreateFileA(path.c_str(), GENERIC_READ, mode, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid() || GetFileType(file.Get()) != FILE_TYPE_DISK) return nullptr;
    return win32::WrapFile(file.Release());
  }
  // CREATE_NEW fails for any entry of the name, a link included.
  std::unique_ptr<File> CreateExclusive(const std::string& path) override {
    return win32::WrapFile(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                       FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  }
  // Through the target's folder, held as OpenFolder holds it.
  Replacement CopyOver(const std::string& from, const std::string& to) override {
    const std::vector<size_t> separators = win32::Separators(to);
    if (separators.empty()) return Replacement::kFailed;
    std::unique_ptr<Folder> folder = OpenFolder(to.substr(0, separators.back() + 1));
    if (folder == nullptr) return Replacement::kFailed;
    return folder->CopyOver(from, to.substr(separators.back() + 1), std::string(), nullptr);
  }
  bool ReplaceAtRestart(const std::string& from, const std::string& to) override {
    return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_DELAY_UNTIL_REBOOT) != 0;
  }
  bool Remove(const std::string& path) override { return DeleteFileA(path.c_str()) != 0; }
  bool Exists(const std::string& path) override { return PathFileExistsA(path.c_str()) != 0; }
  bool TempFolder(std::string* out) override {
    char folder[MAX_PATH + 1] = {};
    DWORD length = GetTempPathA(MAX_PATH, folder);
    if (length == 0 || length >= MAX_PATH) return false;
    *out = folder;
    return true;
  }
  std::unique_ptr<Folder> OpenFolder(const std::string& path) override {
    return win32::OpenHeldFolder(path, win32::HandleCalls::kWhereAvailable);
  }
  // From the system's generator (the one its own security components use,
  // on Windows XP too); rand() only where it cannot be reached.
  uint32_t RandomNumber() override {
    uint32_t number = 0;
    HCRYPTPROV provider = 0;
    bool drawn = false;
    if (CryptAcquireContextA(&provider, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT | CRYPT_SILENT)) {
      drawn = CryptGenRandom(provider, sizeof number, reinterpret_cast<BYTE*>(&number)) != 0;
      CryptReleaseContext(provider, 0);
    }
    return drawn ? number : static_cast<uint32_t>(std::rand());
  }
};

}  // namespace

FileSystem& HostFileSystem() {
  static Win32FileSystem file_system;
  return file_system;
}

char PathSeparator() { return '\\'; }

}  // namespace platform
