// Drives, folders and files held in memory, for walks with Windows-style
// paths on any host. The folder tree keeps the order in which entries were
// added; a folder marked as refusing has no listing.
#ifndef OTU_TESTS_FAKE_DISK_H_
#define OTU_TESTS_FAKE_DISK_H_

#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "platform/folders.h"

namespace testdisk {

class FakeDisk : public platform::Folders, public platform::FileSystem {
 public:
  struct Entry {
    std::string name;
    bool directory;
    bool readOnly;
    std::string identity;  // empty: unknown
  };

  void AddDrive(const std::string& root, int32_t type) {
    drives_.push_back({root, type});
    folders_[root];
  }
  // Adds the folder `path` (ending with "\\") and every folder above it
  // below its drive root.
  void AddFolder(const std::string& path) {
    size_t at = path.find('\\');
    while ((at = path.find('\\', at + 1)) != std::string::npos) {
      std::string parent = path.substr(0, path.rfind('\\', at - 1) + 1);
      std::string name = path.substr(parent.size(), at - parent.size());
      if (folders_.count(path.substr(0, at + 1)) == 0) {
        folders_[parent].push_back({name, true, false, ""});
        folders_[path.substr(0, at + 1)];
      }
    }
  }
  // The file's identity is its path unless given.
  void AddFile(const std::string& path, std::vector<uint8_t> bytes, bool readOnly = false,
               std::string identity = "") {
    std::string folder = path.substr(0, path.rfind('\\') + 1);
    AddFolder(folder);
    folders_[folder].push_back({path.substr(folder.size()), false, readOnly, identity.empty() ? path : identity});
    files_[path] = std::move(bytes);
  }
  // The file at `path` can no longer be told apart from others.
  void ForgetIdentity(const std::string& path) {
    std::string folder = path.substr(0, path.rfind('\\') + 1);
    for (Entry& entry : folders_[folder]) {
      if (folder + entry.name == path) entry.identity.clear();
    }
  }
  void Refuse(const std::string& folder) { refused_.insert(folder); }
  void FailDriveList() { failDriveList_ = true; }

  // What the walk did.
  std::vector<std::string> listed;         // folders listed, in order
  std::vector<std::string> readOnlyAsked;  // file names whose read-only bit was asked for
  std::vector<std::string> opened;         // files opened for reading

  uint32_t DriveStrings(uint32_t length, char* buffer) override {
    if (failDriveList_) return 0;
    std::string roots;
    for (const auto& drive : drives_) roots += drive.first + '\0';
    if (roots.size() + 1 > length) return static_cast<uint32_t>(roots.size() + 1);
    std::memcpy(buffer, roots.c_str(), roots.size() + 1);
    return static_cast<uint32_t>(roots.size());
  }
  int32_t TypeOfDrive(const char* root) override {
    for (const auto& drive : drives_) {
      if (drive.first == root) return drive.second;
    }
    return platform::kDriveNoRoot;
  }
  std::unique_ptr<platform::FolderListing> List(const std::string& folder) override {
    auto found = folders_.find(folder);
    if (found == folders_.end() || refused_.count(folder) != 0) return nullptr;
    listed.push_back(folder);
    return std::make_unique<Listing>(this, found->second);
  }
  bool IsOtherVolume(const std::string&) override { return false; }
  std::vector<std::string> FontFolders() override { return fontFolders; }
  std::vector<std::string> fontFolders;  // the users' and the system's fonts folders

  std::unique_ptr<platform::File> OpenRead(const std::string& path, platform::Share) override {
    auto found = files_.find(path);
    if (found == files_.end()) return nullptr;
    opened.push_back(path);
    return std::make_unique<MemoryFile>(found->second);
  }
  std::unique_ptr<platform::File> CreateExclusive(const std::string&) override { return nullptr; }
  platform::Replacement CopyOver(const std::string&, const std::string&) override {
    return platform::Replacement::kFailed;
  }
  bool ReplaceAtRestart(const std::string&, const std::string&) override { return false; }
  bool Remove(const std::string&) override { return false; }
  bool Exists(const std::string& path) override { return files_.count(path) == 1; }
  bool TempFolder(std::string*) override { return false; }

 private:
  class Listing : public platform::FolderListing {
   public:
    Listing(FakeDisk* disk, std::vector<Entry> entries) : disk_(disk), entries_(std::move(entries)) {}
    bool Next(platform::FolderEntry* entry) override {
      if (next_ >= entries_.size()) return false;
      current_ = &entries_[next_++];
      entry->name = current_->name;
      entry->directory = current_->directory;
      return true;
    }
    bool ReadOnly() override {
      disk_->readOnlyAsked.push_back(current_->name);
      return current_->readOnly;
    }
    bool Identity(std::string* identity) override {
      *identity = current_->identity;
      return !identity->empty();
    }

   private:
    FakeDisk* disk_;
    std::vector<Entry> entries_;
    size_t next_ = 0;
    const Entry* current_ = nullptr;
  };

  class MemoryFile : public platform::File {
   public:
    explicit MemoryFile(const std::vector<uint8_t>& bytes) : bytes_(bytes) {}
    bool Length(int64_t* out) override {
      *out = static_cast<int64_t>(bytes_.size());
      return true;
    }
    bool Read(uint8_t* buffer, size_t n) override {
      if (n > bytes_.size() - position_) return false;
      std::memcpy(buffer, bytes_.data() + position_, n);
      position_ += n;
      return true;
    }
    bool Write(const uint8_t*, size_t) override { return false; }
    bool Close() override { return true; }

   private:
    const std::vector<uint8_t>& bytes_;
    size_t position_ = 0;
  };

  std::vector<std::pair<std::string, int32_t>> drives_;
  std::map<std::string, std::vector<Entry>> folders_;
  std::map<std::string, std::vector<uint8_t>> files_;
  std::set<std::string> refused_;
  bool failDriveList_ = false;
};

}  // namespace testdisk

#endif  // OTU_TESTS_FAKE_DISK_H_
