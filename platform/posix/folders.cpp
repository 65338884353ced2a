#include "platform/folders.h"

#include <dirent.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <sstream>
#include <unordered_set>
#include <vector>

#include "platform/posix/mount_table.h"

namespace platform {
namespace {

constexpr uint32_t kScsiCdromMajor = 11;

std::string ReadWholeFile(const char* path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

bool SysfsFlag(const std::string& path) {
  std::ifstream in(path);
  int value = 0;
  return static_cast<bool>(in >> value) && value != 0;
}

BlockDevice DescribeDevice(const MountRecord& mount) {
  uint32_t major = mount.major;
  uint32_t minor = mount.minor;
  struct stat st;
  // Some file systems (btrfs) report an anonymous device number; the source
  // names the real one.
  if (major == 0 && ::stat(mount.source.c_str(), &st) == 0 && S_ISBLK(st.st_mode)) {
    major = ::major(st.st_rdev);
    minor = ::minor(st.st_rdev);
  }
  BlockDevice device;
  device.optical = major == kScsiCdromMajor;
  std::string node = "/sys/dev/block/" + std::to_string(major) + ":" + std::to_string(minor);
  struct stat flag;
  // A partition has no flag of its own; its disk, one folder up, has it.
  std::string own = node + "/removable";
  device.removable = ::stat(own.c_str(), &flag) == 0 ? SysfsFlag(own) : SysfsFlag(node + "/../removable");
  return device;
}

struct PosixEntry {
  std::string name;
  unsigned char type;
};

class PosixListing : public FolderListing {
 public:
  PosixListing(std::string folder, std::vector<PosixEntry> entries)
      : folder_(std::move(folder)), entries_(std::move(entries)) {}

  bool Next(FolderEntry* entry) override {
    if (next_ >= entries_.size()) return false;
    current_ = &entries_[next_++];
    statDone_ = false;
    entry->name = current_->name;
    if (current_->type == DT_LNK || current_->type == DT_UNKNOWN) {
      // Links are followed like the system's folder links; their target
      // decides.
      entry->directory = Stat() && S_ISDIR(stat_.st_mode);
    } else {
      entry->directory = current_->type == DT_DIR;
    }
    return true;
  }

  // Only regular files are ever opened: anything else (a pipe would block
  // the reader) counts as read-only, as does a file without any write bit.
  bool ReadOnly() override {
    if (current_ == nullptr || !Stat()) return true;
    return !S_ISREG(stat_.st_mode) || (stat_.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
  }

  bool Identity(std::string* identity) override {
    if (current_ == nullptr || !Stat()) return false;
    *identity = std::to_string(stat_.st_dev) + ":" + std::to_string(stat_.st_ino);
    return true;
  }

 private:
  bool Stat() {
    if (!statDone_) {
      statDone_ = true;
      statOk_ = ::stat((folder_ + current_->name).c_str(), &stat_) == 0;
    }
    return statOk_;
  }

  std::string folder_;
  std::vector<PosixEntry> entries_;
  size_t next_ = 0;
  const PosixEntry* current_ = nullptr;
  bool statDone_ = false;
  bool statOk_ = false;
  struct stat stat_;
};

class PosixFolders : public Folders {
 public:
  uint32_t DriveStrings(uint32_t length, char* buffer) override {
    drives_ = SelectDrives(ReadMounts(), DescribeDevice);
    std::string roots;
    for (const DriveRoot& drive : drives_) {
      roots += drive.root;
      roots += '\0';
    }
    if (roots.empty()) return 0;
    if (roots.size() + 1 > length) return static_cast<uint32_t>(roots.size() + 1);
    std::memcpy(buffer, roots.data(), roots.size());
    buffer[roots.size()] = '\0';
    return static_cast<uint32_t>(roots.size());
  }

  int32_t TypeOfDrive(const char* root) override {
    for (const DriveRoot& drive : drives_) {
      if (drive.root == root) return drive.type;
    }
    return kDriveNoRoot;
  }

  std::unique_ptr<FolderListing> List(const std::string& folder) override {
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) return nullptr;
    std::vector<PosixEntry> entries;
    while (const dirent* found = ::readdir(dir)) {
      entries.push_back({found->d_name, found->d_type});
    }
    ::closedir(dir);
    // The system hands entries out in no particular order; the walk needs a
    // stable one.
    std::sort(entries.begin(), entries.end(), [](const PosixEntry& a, const PosixEntry& b) {
      return std::strcmp(a.name.c_str(), b.name.c_str()) < 0;
    });
    return std::make_unique<PosixListing>(folder, std::move(entries));
  }

  bool IsOtherVolume(const std::string& folder) override {
    if (!mountsRead_) ReadMounts();
    return mountPoints_.count(folder) != 0;
  }
  // fontconfig's folders: each user's own two, then the system's.
  std::vector<std::string> FontFolders() override {
    std::vector<std::string> folders;
    std::unordered_set<std::string> listed;
    auto add = [&](const std::string& folder) {
      if (listed.insert(folder).second) folders.push_back(folder);
    };
    ::setpwent();
    while (const struct passwd* user = ::getpwent()) {
      if (user->pw_dir == nullptr || user->pw_dir[0] != '/') continue;
      std::string home = user->pw_dir;
      if (home.back() != '/') home += '/';
      add(home + ".local/share/fonts/");
      add(home + ".fonts/");
    }
    ::endpwent();
    add("/usr/local/share/fonts/");
    add("/usr/share/fonts/");
    return folders;
  }

 private:
  std::vector<MountRecord> ReadMounts() {
    std::vector<MountRecord> mounts = ParseMountInfo(ReadWholeFile("/proc/self/mountinfo"));
    std::vector<std::string> points = MountPoints(mounts);
    mountPoints_ = std::unordered_set<std::string>(points.begin(), points.end());
    mountsRead_ = true;
    return mounts;
  }

  std::vector<DriveRoot> drives_;
  std::unordered_set<std::string> mountPoints_;
  bool mountsRead_ = false;
};

}  // namespace

Folders& HostFolders() {
  static PosixFolders folders;
  return folders;
}

}  // namespace platform
