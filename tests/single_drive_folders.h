// The host's own folders with one given folder as the only drive, a fixed
// one: walks over temporary trees without touching the machine's drives.
#ifndef OTU_TESTS_SINGLE_DRIVE_FOLDERS_H_
#define OTU_TESTS_SINGLE_DRIVE_FOLDERS_H_

#include <cstring>
#include <string>
#include <vector>

#include "platform/folders.h"

namespace testdisk {

class SingleDriveFolders : public platform::Folders {
 public:
  // `root` ends with the path separator.
  explicit SingleDriveFolders(std::string root) : root_(std::move(root)) {}
  uint32_t DriveStrings(uint32_t length, char* buffer) override {
    if (root_.size() + 2 > length) return static_cast<uint32_t>(root_.size() + 2);
    std::memcpy(buffer, root_.c_str(), root_.size() + 1);
    buffer[root_.size() + 1] = '\0';
    return static_cast<uint32_t>(root_.size() + 1);
  }
  int32_t TypeOfDrive(const char*) override { return platform::kDriveFixed; }
  std::unique_ptr<platform::FolderListing> List(const std::string& folder) override {
    return platform::HostFolders().List(folder);
  }
  bool IsOtherVolume(const std::string& folder) override { return platform::HostFolders().IsOtherVolume(folder); }
  // Never the machine's own: only folders a test names.
  std::vector<std::string> FontFolders() override { return fontFolders; }

  std::vector<std::string> fontFolders;

 private:
  std::string root_;
};

}  // namespace testdisk

#endif  // OTU_TESTS_SINGLE_DRIVE_FOLDERS_H_
