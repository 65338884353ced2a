#include "platform/win32/handles.h"

#include <cstdint>

namespace platform {
namespace win32 {
namespace {

// ReadFile and WriteFile take at most a DWORD at a time; a gigabyte keeps
// well clear of its limit.
constexpr size_t kMaxChunk = 0x40000000u;

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
      DWORD chunk = static_cast<DWORD>(n > kMaxChunk ? kMaxChunk : n);
      DWORD got = 0;
      if (!ReadFile(handle_, buffer, chunk, &got, nullptr) || got == 0) return false;
      buffer += got;
      n -= got;
    }
    return true;
  }
  // The position is moved for the read and put back, whatever the read
  // gave: a read in turn afterwards goes on where it stood.
  bool ReadAt(uint64_t offset, uint8_t* buffer, size_t n) override {
    LARGE_INTEGER zero = {};
    LARGE_INTEGER position = {};
    if (!SetFilePointerEx(handle_, zero, &position, FILE_CURRENT)) return false;
    LARGE_INTEGER wanted = {};
    wanted.QuadPart = static_cast<LONGLONG>(offset);
    bool read = offset <= static_cast<uint64_t>(INT64_MAX) && SetFilePointerEx(handle_, wanted, nullptr, FILE_BEGIN) &&
                Read(buffer, n);
    return SetFilePointerEx(handle_, position, nullptr, FILE_BEGIN) && read;
  }
  bool Write(const uint8_t* bytes, size_t n) override {
    while (n > 0) {
      DWORD chunk = static_cast<DWORD>(n > kMaxChunk ? kMaxChunk : n);
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
  bool Identity(std::string* identity) override {
    BY_HANDLE_FILE_INFORMATION information;
    if (!GetFileInformationByHandle(handle_, &information)) return false;
    *identity = IdentityOf(information);
    return true;
  }

 private:
  HANDLE handle_;
};

bool DoubleByteLead(char c) { return IsDBCSLeadByteEx(CP_ACP, static_cast<BYTE>(c)) != 0; }

}  // namespace

std::string IdentityOf(const BY_HANDLE_FILE_INFORMATION& information) {
  const uint64_t index = (static_cast<uint64_t>(information.nFileIndexHigh) << 32) | information.nFileIndexLow;
  return std::to_string(information.dwVolumeSerialNumber) + ":" + std::to_string(index);
}

bool RegularFile(HANDLE handle, BY_HANDLE_FILE_INFORMATION* information) {
  constexpr DWORD kNotAFile = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE;
  return GetFileType(handle) == FILE_TYPE_DISK && GetFileInformationByHandle(handle, information) &&
         (information->dwFileAttributes & kNotAFile) == 0;
}

std::unique_ptr<File> WrapFile(HANDLE handle) {
  if (handle == INVALID_HANDLE_VALUE) return nullptr;
  return std::make_unique<Win32File>(handle);
}

std::vector<size_t> Separators(const std::string& path) {
  std::vector<size_t> found;
  for (size_t at = 0; at < path.size(); ++at) {
    if (DoubleByteLead(path[at])) {
      ++at;
    } else if (path[at] == '\\') {
      found.push_back(at);
    }
  }
  return found;
}

bool PlainName(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return false;
  for (size_t at = 0; at < name.size(); ++at) {
    if (DoubleByteLead(name[at])) {
      // A lead byte without its second byte ends no name the system made.
      if (++at == name.size()) return false;
    } else if (name[at] == '\\' || name[at] == '/' || name[at] == ':') {
      return false;
    }
  }
  return true;
}

}  // namespace win32
}  // namespace platform
