// Drives and folder listings as the search sees them. Paths are 8-bit text in
// the system code page; folder paths end with the path separator.
#ifndef OTU_PLATFORM_FOLDERS_H_
#define OTU_PLATFORM_FOLDERS_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace platform {

// Drive types in the system's numbering; only fixed drives are searched.
enum DriveType : int32_t {
  kDriveUnknown = 0,
  kDriveNoRoot = 1,
  kDriveRemovable = 2,
  kDriveFixed = 3,
  kDriveRemote = 4,
  kDriveOptical = 5,
  kDriveRam = 6,
};

struct FolderEntry {
  std::string name;
  bool directory = false;
};

// One folder's entries, read when the listing is opened and handed out in a
// stable order. "." and ".." may be among them.
class FolderListing {
 public:
  virtual ~FolderListing() = default;
  // The next entry; false after the last one.
  virtual bool Next(FolderEntry* entry) = 0;
  // Whether the entry last returned by Next is a read-only file. It may cost
  // a look at the file itself, so it is asked only for names that matter.
  // An entry that vanished or cannot be examined counts as read-only.
  virtual bool ReadOnly() = 0;
  // Names the file last returned by Next the same way whichever folder
  // links lead to it; false when that cannot be learned. Asked only for
  // files that matched a target.
  virtual bool Identity(std::string* identity) = 0;
};

class Folders {
 public:
  virtual ~Folders() = default;
  // The drive roots, each ending with the path separator and a zero byte,
  // back to back, followed by one more zero byte. Returns the length without
  // that last zero byte; when `length` is too small, nothing is written and
  // the length needed (with it) is returned; 0 when the roots are unknown.
  virtual uint32_t DriveStrings(uint32_t length, char* buffer) = 0;
  // One of DriveType for a root returned by DriveStrings.
  virtual int32_t TypeOfDrive(const char* root) = 0;
  // The entries of `folder`; null when it cannot be listed (denied, vanished,
  // path too long).
  virtual std::unique_ptr<FolderListing> List(const std::string& folder) = 0;
  // True when the sub-folder `folder` is the root of another volume. Such a
  // folder is searched from its own root, if it is a fixed drive, and never
  // as part of the drive it is mounted on. Never true where drives do not
  // nest.
  virtual bool IsOtherVolume(const std::string& folder) = 0;
  // The folders where fonts get installed that the walk of the drives need
  // not reach (it ends six folders below a root): every user profile's own
  // fonts folder, in the order the system lists the profiles, then the
  // system's fonts folders. Each ends with the path separator; folders that
  // do not exist may be among them.
  virtual std::vector<std::string> FontFolders() = 0;
};

// The machine's own drives and folders.
Folders& HostFolders();

}  // namespace platform

#endif  // OTU_PLATFORM_FOLDERS_H_
