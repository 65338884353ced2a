#include "platform/folders.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <unordered_set>
#include <vector>

#include "platform/posix/mount_table.h"
#include "platform/posix/user_table.h"

namespace platform {
namespace {

constexpr uint32_t kScsiCdromMajor = 11;

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

// One folder's entries, looked at relative to the folder held open, never
// through a link.
class PosixListing : public FolderListing {
 public:
  PosixListing(int fd, std::vector<PosixEntry> entries) : fd_(fd), entries_(std::move(entries)) {}
  ~PosixListing() override { ::close(fd_); }

  bool Next(FolderEntry* entry) override {
    if (next_ >= entries_.size()) return false;
    current_ = &entries_[next_++];
    statDone_ = false;
    entry->name = current_->name;
    // A folder link or a link to a file is neither walked into nor
    // examined: it may lead anywhere, off the drive or in a loop.
    entry->directory = current_->type == DT_UNKNOWN ? Stat() && S_ISDIR(stat_.st_mode) : current_->type == DT_DIR;
    return true;
  }

  // Only a regular file with one name is ever examined: anything else (a
  // link, a pipe that would block the reader, a file that another name
  // reaches too and would not see the new revision) counts as read-only, as
  // does a file without any write bit.
  bool ReadOnly() override {
    if (current_ == nullptr || !Stat()) return true;
    return !S_ISREG(stat_.st_mode) || stat_.st_nlink != 1 || (stat_.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
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
      statOk_ = ::fstatat(fd_, current_->name.c_str(), &stat_, AT_SYMLINK_NOFOLLOW) == 0;
    }
    return statOk_;
  }

  const int fd_;
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
    int fd = OpenFolder(folder);
    if (fd < 0) return nullptr;
    int listed = ::dup(fd);
    DIR* dir = listed < 0 ? nullptr : ::fdopendir(listed);
    if (dir == nullptr) {
      if (listed >= 0) ::close(listed);
      ::close(fd);
      return nullptr;
    }
    // The handle kept open shares its position with this one: a folder
    // listed before would list nothing.
    ::rewinddir(dir);
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
    return std::make_unique<PosixListing>(fd, std::move(entries));
  }

  // By the devices of the folder and of the one that holds it: a mount
  // point's path may have been anyone's to make.
  bool IsOtherVolume(const std::string& folder) override {
    const size_t end = folder.size() > 1 && folder.back() == '/' ? folder.size() - 1 : folder.size();
    const size_t slash = folder.rfind('/', end - 1);
    if (end == 0 || slash == std::string::npos) return false;
    int parent = OpenFolder(folder.substr(0, slash + 1));
    if (parent < 0) return false;
    struct stat outer, inner;
    const bool other = ::fstat(parent, &outer) == 0 &&
                       ::fstatat(parent, folder.substr(slash + 1, end - slash - 1).c_str(), &inner,
                                 AT_SYMLINK_NOFOLLOW) == 0 &&
                       S_ISDIR(inner.st_mode) && (inner.st_dev != outer.st_dev || BindMountPoint(folder));
    ::close(parent);
    return other;
  }
  // fontconfig's folders: each user's own two, then the system's.
  std::vector<std::string> FontFolders() override {
    std::vector<std::string> folders;
    std::unordered_set<std::string> listed;
    auto add = [&](const std::string& folder) {
      if (listed.insert(folder).second) folders.push_back(folder);
    };
    for (std::string home : HomeFolders(ReadTextFile("/etc/passwd"))) {
      if (home.back() != '/') home += '/';
      add(home + ".local/share/fonts/");
      add(home + ".fonts/");
    }
    add("/usr/local/share/fonts/");
    add("/usr/share/fonts/");
    return folders;
  }

 private:
  std::vector<MountRecord> ReadMounts() {
    std::vector<MountRecord> mounts = ParseMountInfo(ReadTextFile("/proc/self/mountinfo"));
    std::vector<std::string> points = MountPoints(mounts);
    mountPoints_ = std::unordered_set<std::string>(points.begin(), points.end());
    mountsRead_ = true;
    return mounts;
  }

  // A folder of the drive mounted once more below itself has the drive's
  // own device; the mount table names it. Only a folder reached without a
  // link is asked about, so its path is the one the table means.
  bool BindMountPoint(const std::string& folder) {
    if (!mountsRead_) ReadMounts();
    return mountPoints_.count(folder) != 0;
  }

  // The folder `path` (absolute), opened one folder at a time without
  // following a link; a duplicate of the handle, -1 when it cannot be. The
  // walk goes down one folder at a time: the folders of the last path are
  // kept open, and the next one is opened from the deepest they share.
  int OpenFolder(const std::string& path) {
    if (path.empty() || path[0] != '/') return -1;
    std::vector<std::string> parts;
    for (size_t at = 1; at < path.size();) {
      size_t end = path.find('/', at);
      if (end == std::string::npos) end = path.size();
      if (end > at) parts.push_back(path.substr(at, end - at));
      at = end + 1;
    }
    size_t shared = 0;
    while (shared < parts.size() && shared + 1 < opened_.size() && opened_[shared + 1].first == parts[shared]) {
      ++shared;
    }
    while (opened_.size() > shared + 1) {
      ::close(opened_.back().second);
      opened_.pop_back();
    }
    if (opened_.empty()) {
      int root = ::open("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
      if (root < 0) return -1;
      opened_.emplace_back("/", root);
    }
    for (size_t k = shared; k < parts.size(); ++k) {
      int next = parts[k] == "." || parts[k] == ".." ? -1
                 : ::openat(opened_.back().second, parts[k].c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      if (next < 0) return -1;
      opened_.emplace_back(parts[k], next);
    }
    return ::dup(opened_.back().second);
  }

  std::vector<DriveRoot> drives_;
  std::unordered_set<std::string> mountPoints_;
  bool mountsRead_ = false;
  // "/" and the folders below it of the path opened last, each held open.
  std::vector<std::pair<std::string, int>> opened_;
};

}  // namespace

Folders& HostFolders() {
  static PosixFolders folders;
  return folders;
}

}  // namespace platform
