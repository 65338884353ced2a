// The drive list of a POSIX system, made from the kernel's mount table
// (/proc/self/mountinfo): each local block-device file system is a drive,
// its mount point the drive root. Text handling only; the caller supplies the
// table's text and what the system knows about each block device.
#ifndef OTU_PLATFORM_POSIX_MOUNT_TABLE_H_
#define OTU_PLATFORM_POSIX_MOUNT_TABLE_H_

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace platform {

struct MountRecord {
  uint32_t major = 0;
  uint32_t minor = 0;
  std::string root;        // the folder of the file system that is mounted
  std::string mountPoint;  // unescaped
  bool readOnly = false;   // mounted read-only
  std::string fsType;
  std::string source;      // unescaped
};

// The records of a mountinfo text in mount order; malformed lines are left out.
std::vector<MountRecord> ParseMountInfo(const std::string& text);

// What the system says about the block device behind a mount.
struct BlockDevice {
  bool removable = false;
  bool optical = false;
};

struct DriveRoot {
  std::string root;  // the mount point ending with "/"
  int32_t type;      // DriveType
};

// The drives in mount order: one per local block-device file system mounted
// whole (a bind mount of one of its folders is no drive of its own). A file
// system mounted twice, or a mount point hidden by a later mount on the same
// folder, is listed once. `describe` is asked only about such mounts.
std::vector<DriveRoot> SelectDrives(const std::vector<MountRecord>& mounts,
                                    const std::function<BlockDevice(const MountRecord&)>& describe);

// Every mount point of the table, each ending with "/": the folders at which
// the walk of a drive leaves its volume.
std::vector<std::string> MountPoints(const std::vector<MountRecord>& mounts);

}  // namespace platform

#endif  // OTU_PLATFORM_POSIX_MOUNT_TABLE_H_
