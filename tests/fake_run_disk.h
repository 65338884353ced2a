// The drives and files of a whole run: the search walks the folder tree, the
// updates read and write the same files, with the faults of FakeFileSystem.
// One folder can be seen elsewhere while redirection is on, as the system
// folder of 64-bit Windows is seen by a 32-bit program.
#ifndef OTU_TESTS_FAKE_RUN_DISK_H_
#define OTU_TESTS_FAKE_RUN_DISK_H_

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "tests/fake_disk.h"
#include "tests/fake_file_system.h"

namespace testapp {

class RunDisk : public testfs::FakeFileSystem, public platform::Folders {
 public:
  void AddDrive(const std::string& root, int32_t type = platform::kDriveFixed) { tree_.AddDrive(root, type); }
  void AddFolder(const std::string& path) { tree_.AddFolder(path); }
  // A file the walk lists and the updates read: its bytes live in `files`.
  void AddFile(const std::string& path, std::vector<uint8_t> bytes) {
    tree_.AddFile(path, {});
    files[path] = std::move(bytes);
  }
  // While *switchedOff is false, paths inside `folder` (ending with "\\")
  // reach `seenAs` instead.
  void Redirect(const std::string& folder, const std::string& seenAs, const bool* switchedOff) {
    redirectedFolder_ = folder;
    seenAs_ = seenAs;
    switchedOff_ = switchedOff;
  }

  // What the run did, paths as reached.
  std::vector<std::string> opened;
  std::vector<std::string> removed;
  std::map<std::string, std::vector<uint8_t>> removedBytes;  // what each removed file held
  std::vector<std::string>* log = nullptr;

  uint32_t DriveStrings(uint32_t length, char* buffer) override { return tree_.DriveStrings(length, buffer); }
  int32_t TypeOfDrive(const char* root) override { return tree_.TypeOfDrive(root); }
  std::unique_ptr<platform::FolderListing> List(const std::string& folder) override { return tree_.List(folder); }
  bool IsOtherVolume(const std::string& folder) override { return tree_.IsOtherVolume(folder); }
  std::vector<std::string> FontFolders() override { return tree_.FontFolders(); }

  std::unique_ptr<platform::File> OpenRead(const std::string& path, platform::Share share) override {
    opened.push_back(Reached(path));
    return FakeFileSystem::OpenRead(Reached(path), share);
  }
  std::unique_ptr<platform::File> CreateExclusive(const std::string& path) override {
    return FakeFileSystem::CreateExclusive(Reached(path));
  }
  platform::Replacement CopyOver(const std::string& from, const std::string& to) override {
    return FakeFileSystem::CopyOver(Reached(from), Reached(to));
  }
  bool ReplaceAtRestart(const std::string& from, const std::string& to) override {
    return FakeFileSystem::ReplaceAtRestart(Reached(from), Reached(to));
  }
  bool Remove(const std::string& path) override {
    removed.push_back(Reached(path));
    auto found = files.find(Reached(path));
    if (found != files.end()) removedBytes[found->first] = found->second;
    if (log != nullptr) log->push_back("remove " + Reached(path));
    return FakeFileSystem::Remove(Reached(path));
  }
  bool Exists(const std::string& path) override { return FakeFileSystem::Exists(Reached(path)); }

  // The paths removed that are not files the run created itself.
  std::vector<std::string> RemovedOutsideTemp() const {
    std::vector<std::string> paths;
    for (const std::string& path : removed) {
      if (std::find(created.begin(), created.end(), path) == created.end()) paths.push_back(path);
    }
    return paths;
  }

 private:
  std::string Reached(const std::string& path) const {
    bool redirected = switchedOff_ != nullptr && !*switchedOff_ &&
                      path.compare(0, redirectedFolder_.size(), redirectedFolder_) == 0;
    return redirected ? seenAs_ + path.substr(redirectedFolder_.size()) : path;
  }

  testdisk::FakeDisk tree_;
  std::string redirectedFolder_;
  std::string seenAs_;
  const bool* switchedOff_ = nullptr;
};

}  // namespace testapp

#endif  // OTU_TESTS_FAKE_RUN_DISK_H_
