#include "platform/folders.h"

#include <windows.h>

#include <vector>

namespace platform {
namespace {

struct Win32Entry {
  std::string name;
  DWORD attributes;
};

// The whole folder is read when it is opened, so that no search handle stays
// open while the walk descends or after it stops.
class Win32Listing : public FolderListing {
 public:
  Win32Listing(std::string folder, std::vector<Win32Entry> entries)
      : folder_(std::move(folder)), entries_(std::move(entries)) {}
  bool Next(FolderEntry* entry) override {
    if (next_ >= entries_.size()) return false;
    current_ = &entries_[next_++];
    entry->name = current_->name;
    entry->directory = (current_->attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    return true;
  }
  bool ReadOnly() override {
    return current_ == nullptr || (current_->attributes & FILE_ATTRIBUTE_READONLY) != 0;
  }

  bool Identity(std::string* identity) override {
    if (current_ == nullptr) return false;
    HANDLE file = CreateFileA((folder_ + current_->name).c_str(), FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION information;
    bool known = GetFileInformationByHandle(file, &information) != 0;
    CloseHandle(file);
    if (!known) return false;
    *identity = std::to_string(information.dwVolumeSerialNumber) + ":" +
                std::to_string(information.nFileIndexHigh) + ":" + std::to_string(information.nFileIndexLow);
    return true;
  }

 private:
  std::string folder_;
  std::vector<Win32Entry> entries_;
  size_t next_ = 0;
  const Win32Entry* current_ = nullptr;
};

class Win32Folders : public Folders {
 public:
  uint32_t DriveStrings(uint32_t length, char* buffer) override {
    return GetLogicalDriveStringsA(length, buffer);
  }
  int32_t TypeOfDrive(const char* root) override {
    return static_cast<int32_t>(GetDriveTypeA(root));
  }
  std::unique_ptr<FolderListing> List(const std::string& folder) override {
    std::string pattern = folder + "*";
    WIN32_FIND_DATAA found;
    HANDLE handle = FindFirstFileA(pattern.c_str(), &found);
    if (handle == INVALID_HANDLE_VALUE) return nullptr;
    std::vector<Win32Entry> entries;
    do {
      entries.push_back({found.cFileName, found.dwFileAttributes});
    } while (FindNextFileA(handle, &found));
    FindClose(handle);
    return std::make_unique<Win32Listing>(folder, std::move(entries));
  }
  bool IsOtherVolume(const std::string&) override { return false; }
};

}  // namespace

Folders& HostFolders() {
  static Win32Folders folders;
  return folders;
}

}  // namespace platform
