#include "platform/folders.h"

#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <vector>

#include "platform/win32/handles.h"

namespace platform {
namespace {

// The profiles of the machine's users, one sub-key per user, and where each
// user's own fonts folder lies in a profile (Windows 10 version 1809 and
// later install a font there for a user without administrator rights).
constexpr char kProfileList[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
constexpr char kUserFontsFolder[] = "AppData\\Local\\Microsoft\\Windows\\Fonts";
constexpr int kFontsFolderId = 0x14;  // CSIDL_FONTS

// `folder` (MAX_PATH bytes of room) with `part` appended and ending in a
// backslash, the shell's rules cutting characters, not bytes; false when it
// does not fit.
bool AppendFolder(char* folder, const char* part) {
  return (part[0] == '\0' || PathAppendA(folder, part)) && PathAddBackslashA(folder) != nullptr;
}

// The own fonts folder of every profile the system lists, in its order, the
// profile folder's environment variables expanded.
std::vector<std::string> UserFontsFolders() {
  std::vector<std::string> folders;
  HKEY list;
  // The profile list is one of the keys that 32-bit and 64-bit programs
  // share on a 64-bit system: no registry view needs choosing.
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kProfileList, 0, KEY_READ, &list) != ERROR_SUCCESS) return folders;
  for (DWORD index = 0;; ++index) {
    char sid[256];
    DWORD sidLength = sizeof(sid);
    LONG status = RegEnumKeyExA(list, index, sid, &sidLength, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_MORE_DATA) continue;  // no profile has such a name
    if (status != ERROR_SUCCESS) break;
    HKEY profile;
    if (RegOpenKeyExA(list, sid, 0, KEY_QUERY_VALUE, &profile) != ERROR_SUCCESS) continue;
    char stored[MAX_PATH + 1] = {};
    DWORD type = 0;
    DWORD size = MAX_PATH;  // the spare byte ends a value stored without a zero byte
    status = RegQueryValueExA(profile, "ProfileImagePath", nullptr, &type, reinterpret_cast<BYTE*>(stored), &size);
    RegCloseKey(profile);
    if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) continue;
    char folder[MAX_PATH + 1] = {};
    DWORD length = ExpandEnvironmentStringsA(stored, folder, MAX_PATH);
    if (length == 0 || length > MAX_PATH || !AppendFolder(folder, kUserFontsFolder)) continue;
    folders.push_back(folder);
  }
  RegCloseKey(list);
  return folders;
}

struct Win32Entry {
  std::string name;
  DWORD attributes;
};

// A reparse point (a junction, a folder or file link, a mounted volume)
// leads anywhere, off the drive or in a loop: it is neither walked into nor
// examined.
constexpr DWORD kNeverExamined =
    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE;

// Looks at `path` itself, never through a reparse point, without standing in
// the way of its other users.
bool LookAt(const std::string& path, BY_HANDLE_FILE_INFORMATION* information) {
  win32::Handle file(CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES, win32::kEveryShare, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  return file.Valid() && GetFileInformationByHandle(file.Get(), information);
}

// The whole folder is read when it is opened, so that no search handle stays
// open while the walk descends or after it stops.
class Win32Listing : public FolderListing {
 public:
  Win32Listing(std::string folder, std::vector<Win32Entry> entries)
      : folder_(std::move(folder)), entries_(std::move(entries)) {}
  bool Next(FolderEntry* entry) override {
    if (next_ >= entries_.size()) return false;
    current_ = &entries_[next_++];
    looked_ = false;
    entry->name = current_->name;
    entry->directory = (current_->attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
                       (current_->attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
    return true;
  }
  // Only an ordinary file with one name is examined: a file that another
  // name reaches too (a hard link, perhaps in a folder of another user)
  // would not see the new revision there, and a pipe would block its reader.
  bool ReadOnly() override {
    if (current_ == nullptr || (current_->attributes & kNeverExamined) != 0 || !Look()) return true;
    return information_.nNumberOfLinks != 1 || (information_.dwFileAttributes & kNeverExamined) != 0;
  }

  bool Identity(std::string* identity) override {
    if (current_ == nullptr || !Look()) return false;
    *identity = win32::IdentityOf(information_);
    return true;
  }

 private:
  // The file's own record, read once per entry and only for names that
  // matter.
  bool Look() {
    if (!looked_) {
      looked_ = true;
      win32::Handle file(CreateFileA((folder_ + current_->name).c_str(), FILE_READ_ATTRIBUTES, win32::kEveryShare,
                                     nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
      lookedOk_ = file.Valid() && win32::RegularFile(file.Get(), &information_);
    }
    return lookedOk_;
  }

  std::string folder_;
  std::vector<Win32Entry> entries_;
  size_t next_ = 0;
  const Win32Entry* current_ = nullptr;
  bool looked_ = false;
  bool lookedOk_ = false;
  BY_HANDLE_FILE_INFORMATION information_ = {};
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
  // By the volume serial numbers of the folder and of the one that holds
  // it, not by the path's text. (A volume mounted in a folder is a reparse
  // point there, which the walk never enters anyway.) The walk asks about
  // every sub-folder of one folder in turn: the holder's number is kept.
  bool IsOtherVolume(const std::string& folder) override {
    const std::vector<size_t> separators = win32::Separators(folder);
    if (separators.size() < 2 || separators.back() != folder.size() - 1) return false;
    const std::string parent = folder.substr(0, separators[separators.size() - 2] + 1);
    BY_HANDLE_FILE_INFORMATION information;
    if (parent != parentPath_) {
      parentPath_.clear();
      if (!LookAt(parent, &information)) return false;
      parentPath_ = parent;
      parentSerial_ = information.dwVolumeSerialNumber;
    }
    return LookAt(folder.substr(0, folder.size() - 1), &information) &&
           information.dwVolumeSerialNumber != parentSerial_;
  }
  std::vector<std::string> FontFolders() override {
    std::vector<std::string> folders = UserFontsFolders();
    char system[MAX_PATH + 1] = {};
    if (SHGetSpecialFolderPathA(nullptr, system, kFontsFolderId, FALSE) && AppendFolder(system, "")) {
      folders.push_back(system);
    }
    return folders;
  }

 private:
  std::string parentPath_;
  DWORD parentSerial_ = 0;
};

}  // namespace

Folders& HostFolders() {
  static Win32Folders folders;
  return folders;
}

}  // namespace platform
