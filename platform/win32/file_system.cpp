#include "platform/file_system.h"

#include <windows.h>
#include <shlwapi.h>

namespace platform {
namespace {

class Win32File : public File {
 public:
  explicit Win32File(HANDLE handle) : handle_(handle) {}
  ~Win32File() override {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }
  bool Length(int64_t* out) override {
    DWORD high = 0;
    DWORD low = GetFileSize(handle_, &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return false;
    *out = (static_cast<int64_t>(high) << 32) | low;
    return true;
  }
  bool Read(uint8_t* buffer, size_t n) override {
    while (n > 0) {
      DWORD chunk = n > 0x40000000u ? 0x40000000u : static_cast<DWORD>(n);
      DWORD got = 0;
      if (!ReadFile(handle_, buffer, chunk, &got, nullptr) || got == 0) return false;
      buffer += got;
      n -= got;
    }
    return true;
  }
  bool Write(const uint8_t* bytes, size_t n) override {
    while (n > 0) {
      DWORD chunk = n > 0x40000000u ? 0x40000000u : static_cast<DWORD>(n);
      DWORD done = 0;
      if (!WriteFile(handle_, bytes, chunk, &done, nullptr) || done == 0) return false;
      bytes += done;
      n -= done;
    }
    return true;
  }
  bool Close() override {
    if (handle_ == INVALID_HANDLE_VALUE) return false;
    HANDLE handle = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    bool flushed = FlushFileBuffers(handle) != 0;
    return CloseHandle(handle) != 0 && flushed;
  }

 private:
  HANDLE handle_;
};

std::unique_ptr<File> Wrap(HANDLE handle) {
  if (handle == INVALID_HANDLE_VALUE) return nullptr;
  return std::make_unique<Win32File>(handle);
}

// Whether another program holds `path` open in a way that keeps writers or
// deleters out (as the system holds a loaded font): opening it for both, with
// every kind of sharing granted, is then a sharing or lock violation. The
// file is neither changed nor kept open.
bool HeldOpenByOthers(const std::string& path) {
  const DWORD everyShare = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  HANDLE probe = CreateFileA(path.c_str(), GENERIC_WRITE | DELETE, everyShare, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
  if (probe != INVALID_HANDLE_VALUE) {
    CloseHandle(probe);
    return false;
  }
  DWORD error = GetLastError();
  return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

class Win32FileSystem : public FileSystem {
 public:
  std::unique_ptr<File> OpenRead(const std::string& path, Share share) override {
    DWORD mode = share == Share::kReadWrite ? (FILE_SHARE_READ | FILE_SHARE_WRITE)
                 : share == Share::kRead    ? FILE_SHARE_READ
                                            : 0;
    return Wrap(CreateFileA(path.c_str(), GENERIC_READ, mode, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
  }
  std::unique_ptr<File> CreateExclusive(const std::string& path) override {
    return Wrap(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
  }
  // Copies into a sibling in the target's folder, flushes it and moves it
  // over the target in one step, so the target holds either its old bytes or
  // the complete copy, whenever the process or the machine stops.
  Replacement CopyOver(const std::string& from, const std::string& to) override {
    const std::string sibling = to + kCopySuffix;
    // A sibling left by a run that was cut off is only ever our own copy.
    DeleteFileA(sibling.c_str());
    if (!CopyFileA(from.c_str(), sibling.c_str(), TRUE)) return Replacement::kFailed;
    HANDLE handle = CreateFileA(sibling.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                nullptr);
    bool ok = handle != INVALID_HANDLE_VALUE && FlushFileBuffers(handle) != 0;
    if (handle != INVALID_HANDLE_VALUE) ok = CloseHandle(handle) != 0 && ok;
    if (ok && MoveFileExA(sibling.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      return Replacement::kReplaced;
    }
    DWORD error = GetLastError();
    DeleteFileA(sibling.c_str());
    // Only the move meets the target. A move over a file that another
    // program holds open fails with access denied as often as with a
    // sharing violation, and access denied also means a read-only file or
    // missing rights: the target itself tells them apart.
    bool maybeInUse =
        error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
    return ok && maybeInUse && HeldOpenByOthers(to) ? Replacement::kInUse : Replacement::kFailed;
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
};

}  // namespace

FileSystem& HostFileSystem() {
  static Win32FileSystem file_system;
  return file_system;
}

char PathSeparator() { return '\\'; }

}  // namespace platform
