#include "platform/posix/mount_table.h"

#include <cstdlib>
#include <set>
#include <sstream>
#include <tuple>

#include "platform/folders.h"

namespace platform {
namespace {

// The table writes space, tab, newline and backslash in names as \ooo.
std::string Unescape(const std::string& field) {
  std::string out;
  out.reserve(field.size());
  for (size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size()) {
      const char* digits = field.c_str() + i + 1;
      bool octal = true;
      for (int k = 0; k < 3; ++k) octal = octal && digits[k] >= '0' && digits[k] <= '7';
      if (octal) {
        out += static_cast<char>(((digits[0] - '0') << 6) | ((digits[1] - '0') << 3) | (digits[2] - '0'));
        i += 3;
        continue;
      }
    }
    out += field[i];
  }
  return out;
}

bool HasOption(const std::string& options, const char* option) {
  std::stringstream list(options);
  std::string item;
  while (std::getline(list, item, ',')) {
    if (item == option) return true;
  }
  return false;
}

bool ParseDevice(const std::string& field, uint32_t* major, uint32_t* minor) {
  char* end = nullptr;
  unsigned long high = std::strtoul(field.c_str(), &end, 10);
  if (end == field.c_str() || *end != ':') return false;
  const char* rest = end + 1;
  unsigned long low = std::strtoul(rest, &end, 10);
  if (end == rest || *end != '\0') return false;
  *major = static_cast<uint32_t>(high);
  *minor = static_cast<uint32_t>(low);
  return true;
}

bool ParseLine(const std::string& line, MountRecord* record) {
  std::vector<std::string> fields;
  std::stringstream words(line);
  std::string word;
  while (words >> word) fields.push_back(word);
  // id, parent, device, root, mount point, options, optional fields up to
  // "-", then type, source and the file system's own options.
  size_t separator = 6;
  while (separator < fields.size() && fields[separator] != "-") ++separator;
  if (separator + 2 >= fields.size()) return false;
  if (!ParseDevice(fields[2], &record->major, &record->minor)) return false;
  record->root = Unescape(fields[3]);
  record->mountPoint = Unescape(fields[4]);
  record->readOnly = HasOption(fields[5], "ro");
  record->fsType = Unescape(fields[separator + 1]);
  record->source = Unescape(fields[separator + 2]);
  return !record->mountPoint.empty() && record->mountPoint[0] == '/';
}

std::string AsFolder(const std::string& mountPoint) {
  return mountPoint.back() == '/' ? mountPoint : mountPoint + "/";
}

// File systems that live in memory or on another machine, even when their
// source happens to be written like a device.
bool IsPseudoOrNetwork(const std::string& fsType) {
  static const std::set<std::string> kTypes = {
      "proc",  "sysfs", "tmpfs", "devtmpfs", "devpts", "ramfs", "overlay", "cgroup",    "cgroup2",
      "autofs", "nfs",  "nfs4",  "cifs",     "smb3",   "smbfs", "9p",      "ceph",      "glusterfs",
      "afs",   "fuse.sshfs"};
  return kTypes.count(fsType) != 0;
}

bool IsWholeLocalFileSystem(const MountRecord& mount) {
  if (IsPseudoOrNetwork(mount.fsType)) return false;
  if (mount.source.compare(0, 5, "/dev/") != 0) return false;
  // A btrfs subvolume is a tree of its own although its root is not "/";
  // elsewhere a root other than "/" is a bind mount of a folder.
  return mount.root == "/" || mount.fsType == "btrfs";
}

}  // namespace

std::vector<MountRecord> ParseMountInfo(const std::string& text) {
  std::vector<MountRecord> mounts;
  std::stringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    MountRecord record;
    if (ParseLine(line, &record)) mounts.push_back(record);
  }
  return mounts;
}

std::vector<DriveRoot> SelectDrives(const std::vector<MountRecord>& mounts,
                                    const std::function<BlockDevice(const MountRecord&)>& describe) {
  std::vector<DriveRoot> drives;
  std::set<std::tuple<uint32_t, uint32_t, std::string>> seen;
  for (size_t i = 0; i < mounts.size(); ++i) {
    const MountRecord& mount = mounts[i];
    if (!IsWholeLocalFileSystem(mount)) continue;
    bool hidden = false;
    for (size_t later = i + 1; later < mounts.size() && !hidden; ++later) {
      hidden = mounts[later].mountPoint == mount.mountPoint;
    }
    if (hidden) continue;
    if (!seen.insert({mount.major, mount.minor, mount.root}).second) continue;
    BlockDevice device = describe(mount);
    int32_t type = kDriveFixed;
    if (device.optical) {
      type = kDriveOptical;
    } else if (device.removable) {
      type = kDriveRemovable;
    } else if (mount.readOnly) {
      // Nothing on a read-only mount can be revised: it is treated like a disc.
      type = kDriveOptical;
    }
    drives.push_back({AsFolder(mount.mountPoint), type});
  }
  return drives;
}

std::vector<std::string> MountPoints(const std::vector<MountRecord>& mounts) {
  std::vector<std::string> points;
  for (const MountRecord& mount : mounts) points.push_back(AsFolder(mount.mountPoint));
  return points;
}

}  // namespace platform
