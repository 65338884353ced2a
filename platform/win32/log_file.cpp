#include "platform/log_file.h"

#include <windows.h>

#include <cstdio>
#include <vector>

#include "platform/win32/handles.h"

namespace platform {
namespace {

// `text` in the ANSI code page, as UTF-8; bytes that do not convert are left
// out rather than losing the line.
std::string Utf8(const std::string& text) {
  if (text.empty()) return text;
  const int wide = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (wide <= 0) return std::string();
  std::vector<WCHAR> buffer(static_cast<size_t>(wide), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), buffer.data(), wide);
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, buffer.data(), wide, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return std::string();
  std::string utf8(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, buffer.data(), wide, &utf8[0], bytes, nullptr, nullptr);
  return utf8;
}

class Win32LogFile : public LogFile {
 public:
  explicit Win32LogFile(HANDLE file) : file_(file), failed_(!file_.Valid()) {}

  void Write(const std::string& text) override {
    if (failed_) return;
    SYSTEMTIME now;
    GetSystemTime(&now);
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%04u-%02u-%02uT%02u:%02u:%02uZ ", now.wYear, now.wMonth, now.wDay, now.wHour,
                  now.wMinute, now.wSecond);
    const std::string line = stamp + Utf8(text) + "\r\n";
    DWORD written = 0;
    // The handle appends only: one write per line keeps another writer's
    // lines whole.
    failed_ = !WriteFile(file_.Get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr) ||
              written != line.size();
  }

  bool Failed() const override { return failed_; }

 private:
  win32::Handle file_;
  bool failed_;
};

}  // namespace

std::unique_ptr<LogFile> OpenLogFile(const std::string& path) {
  // The reparse point itself rather than where it leads; anything but a
  // plain file on a disk is refused.
  HANDLE file = CreateFileA(path.c_str(), FILE_APPEND_DATA | SYNCHRONIZE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  BY_HANDLE_FILE_INFORMATION information;
  if (file != INVALID_HANDLE_VALUE && !win32::RegularFile(file, &information)) {
    CloseHandle(file);
    file = INVALID_HANDLE_VALUE;
  }
  return std::make_unique<Win32LogFile>(file);
}

}  // namespace platform
