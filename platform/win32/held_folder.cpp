// The font's folder on Windows, held open from the drive's root down while a
// font in it is revised. The program runs as an administrator over folders
// that users may change: a folder of the path swapped for a junction or a
// link would otherwise lead the replacement, and the removal of downloads,
// into folders that only administrators may change.
//
// Windows has no calls relative to a folder handle that Windows XP offers
// (CreateFile takes paths), so the path stays the way in, and it is made to
// keep leading to the folder held: every folder of it is held open without
// delete sharing, so that nobody can rename or remove it, and before every
// step each folder of the path is looked at once more by name (a reparse
// point there, or another folder at the end, ends the step). Renames and
// removals go through the file's handle where the system offers it; on XP
// they go by name, checked just before and after.
#include <aclapi.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/win32/handles.h"

namespace platform {
namespace win32 {
namespace {

// Folders are held with list access, which sharing governs, and without
// delete sharing: renaming or removing a folder needs delete access,
// which a sharing violation then refuses to anyone.
constexpr DWORD kHoldAccess = FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | SYNCHRONIZE;
constexpr DWORD kHoldShare = FILE_SHARE_READ | FILE_SHARE_WRITE;
// A reparse point is opened itself, never followed, and so can be refused.
constexpr DWORD kFolderFlags = FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT;
constexpr DWORD kCopyChunk = 1u << 20;
// What the new file takes over of the attributes of the file it replaces
// (a font to be replaced is never read-only).
constexpr DWORD kKeptAttributes =
    FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// SetFileInformationByHandle (Windows Vista and later, looked up at run
// time) and the two records it takes here, laid out as FILE_RENAME_INFO and
// FILE_DISPOSITION_INFO.
constexpr int kFileRenameInfo = 3;
constexpr int kFileDispositionInfo = 4;
struct RenameInfo {
  BOOLEAN replaceIfExists;
  HANDLE rootDirectory;
  DWORD fileNameLength;
  WCHAR fileName[1];
};
struct DispositionInfo {
  BOOLEAN deleteFile;
};
using SetInformationFunction = BOOL(WINAPI*)(HANDLE, int, LPVOID, DWORD);

SetInformationFunction LookUpSetInformation() {
  FARPROC found = GetProcAddress(GetModuleHandleA("kernel32.dll"), "SetFileInformationByHandle");
  return reinterpret_cast<SetInformationFunction>(reinterpret_cast<void*>(found));
}

bool PlainFolder(DWORD attributes) {
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
         (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
}

bool SameFile(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b) {
  return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
         a.nFileIndexLow == b.nFileIndexLow;
}

// The path as the wide-character calls take it: converted by the code page
// the A calls use. Empty when it does not convert.
// (A vector: a wide string class would bring the library's whole wide string
// code into the program for this one conversion.)
std::vector<WCHAR> Wide(const std::string& text) {
  int n = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (n <= 0) return std::vector<WCHAR>();
  std::vector<WCHAR> wide(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()), wide.data(), n);
  return wide;
}

bool CopyBytes(HANDLE from, HANDLE to) {
  std::vector<uint8_t> chunk(kCopyChunk);
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(from, chunk.data(), kCopyChunk, &got, nullptr)) return false;
    if (got == 0) return true;
    DWORD done = 0;
    if (!WriteFile(to, chunk.data(), got, &done, nullptr) || done != got) return false;
  }
}

// Whether another program holds `path` open in a way that keeps writers or
// deleters out (as the system holds a loaded font): opening it for both, with
// every kind of sharing granted, is then a sharing or lock violation. The
// file is neither changed nor kept open.
bool HeldOpenByOthers(const std::string& path) {
  Handle probe(CreateFileA(path.c_str(), GENERIC_WRITE | DELETE, kEveryShare, nullptr, OPEN_EXISTING,
                           FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (probe.Valid()) return false;
  DWORD error = GetLastError();
  return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

// A file's owner, group and access list, as read from one file and given
// to another.
class Security {
 public:
  Security() = default;
  Security(const Security&) = delete;
  Security& operator=(const Security&) = delete;
  ~Security() {
    if (descriptor_ != nullptr) LocalFree(descriptor_);
  }

  bool Read(HANDLE file) {
    return GetSecurityInfo(file, SE_FILE_OBJECT,
                           OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                           &owner_, &group_, &dacl_, nullptr, &descriptor_) == ERROR_SUCCESS &&
           GetSecurityDescriptorControl(descriptor_, &control_, &revision_);
  }

  // The access list must take (as it was: protected from the folder's or
  // inheriting from it); it is left alone when the new file has it already
  // (from the folder, as a font usually does). The owner and group are
  // given where the program's rights allow: another owner than the program
  // needs a privilege it does not take.
  bool WriteTo(HANDLE file) const {
    if (!HasSameDacl(file)) {
      const SECURITY_INFORMATION what =
          DACL_SECURITY_INFORMATION | ((control_ & SE_DACL_PROTECTED) != 0 ? PROTECTED_DACL_SECURITY_INFORMATION
                                                                           : UNPROTECTED_DACL_SECURITY_INFORMATION);
      if (SetSecurityInfo(file, SE_FILE_OBJECT, what, nullptr, nullptr, dacl_, nullptr) != ERROR_SUCCESS) {
        return false;
      }
    }
    if (owner_ != nullptr) SetSecurityInfo(file, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, owner_, nullptr, nullptr, nullptr);
    if (group_ != nullptr) SetSecurityInfo(file, SE_FILE_OBJECT, GROUP_SECURITY_INFORMATION, nullptr, group_, nullptr, nullptr);
    return true;
  }

 private:
  bool HasSameDacl(HANDLE file) const {
    Security now;
    if (!now.Read(file) || ((now.control_ ^ control_) & SE_DACL_PROTECTED) != 0) return false;
    if (now.dacl_ == nullptr || dacl_ == nullptr) return now.dacl_ == dacl_;
    return now.dacl_->AclSize == dacl_->AclSize && std::memcmp(now.dacl_, dacl_, dacl_->AclSize) == 0;
  }

  PSECURITY_DESCRIPTOR descriptor_ = nullptr;
  PSID owner_ = nullptr;
  PSID group_ = nullptr;
  PACL dacl_ = nullptr;
  SECURITY_DESCRIPTOR_CONTROL control_ = 0;
  DWORD revision_ = 0;
};

struct HeldLevel {
  // As the path names it: "X:\" for the root, each folder below without
  // the '\' after it (so that a query sees the entry, not what it leads to).
  std::string path;
  Handle handle;
};

class HeldFolder : public Folder {
 public:
  HeldFolder(std::string path, std::vector<HeldLevel> chain, const BY_HANDLE_FILE_INFORMATION& held,
             SetInformationFunction setInformation)
      : path_(std::move(path)), chain_(std::move(chain)), held_(held), setInformation_(setInformation) {}

  std::unique_ptr<File> OpenRead(const std::string& name, Share share) override {
    if (!PlainName(name) || !Unchanged()) return nullptr;
    const DWORD mode = share == Share::kReadWrite ? (FILE_SHARE_READ | FILE_SHARE_WRITE)
                       : share == Share::kRead    ? FILE_SHARE_READ
                                                  : 0;
    Handle file(CreateFileA((path_ + name).c_str(), GENERIC_READ, mode, nullptr, OPEN_EXISTING,
                            FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    BY_HANDLE_FILE_INFORMATION information;
    if (!file.Valid() || !RegularFile(file.Get(), &information)) return nullptr;
    return WrapFile(file.Release());
  }

  // Copies `from` into a sibling of the target, flushes it, gives it the
  // target's attributes and security and moves it over the target in one
  // step, so the target holds either its old bytes or the whole copy,
  // whenever the process or the machine stops. Without an identity to keep
  // to, a target that does not exist yet is made.
  Replacement CopyOver(const std::string& from, const std::string& name, const std::string& identity,
                       std::string* replaced) override {
    if (!PlainName(name)) return Replacement::kFailed;
    if (!Unchanged()) return Replacement::kChanged;
    const std::string target = path_ + name;
    const std::string sibling = target + kCopySuffix;
    Handle old(CreateFileA(target.c_str(), READ_CONTROL | FILE_READ_ATTRIBUTES, kEveryShare, nullptr, OPEN_EXISTING,
                           FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    const bool fresh = !old.Valid() && GetLastError() == ERROR_FILE_NOT_FOUND && identity.empty();
    BY_HANDLE_FILE_INFORMATION was = {};
    if (!fresh && (!old.Valid() || !RegularFile(old.Get(), &was) ||
                   (!identity.empty() && IdentityOf(was) != identity))) {
      return Replacement::kChanged;
    }
    Security security;
    if (!fresh && !security.Read(old.Get())) return Replacement::kFailed;
    // A rename over a file fails while it is open, also for this look.
    old.Close();

    Handle in(CreateFileA(from.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                          FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!in.Valid()) return Replacement::kFailed;
    // A copy left by a run that was cut off is only ever our own.
    Remove(name + kCopySuffix, std::string());
    Handle out = CreateSibling(sibling, fresh ? FILE_ATTRIBUTE_NORMAL : (was.dwFileAttributes & kKeptAttributes));
    if (!out.Valid()) return Replacement::kFailed;
    bool ok = CopyBytes(in.Get(), out.Get()) && FlushFileBuffers(out.Get());
    in.Close();
    if (ok && !fresh) ok = security.WriteTo(out.Get());
    BY_HANDLE_FILE_INFORMATION made;
    ok = ok && GetFileInformationByHandle(out.Get(), &made);
    // A last look before the step: the folder is the one held, and the name
    // still names the file to be replaced.
    const bool same = Unchanged() && (fresh || Names(target, was));
    if (!ok || !same) {
      Discard(&out, sibling);
      return same ? Replacement::kFailed : Replacement::kChanged;
    }

    bool moved = false;
    DWORD error = NO_ERROR;
    if (setInformation_ != nullptr) {
      moved = RenameHandle(out.Get(), target);
      error = GetLastError();
      // The new name reaches the disk with the file, as a write-through move
      // would have it.
      if (moved) FlushFileBuffers(out.Get());
      if (!moved) Discard(&out, sibling);
      out.Close();
    } else {
      out.Close();
      moved = MoveFileExA(sibling.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
      error = GetLastError();
      if (!moved && Unchanged()) DeleteFileA(sibling.c_str());
    }
    if (!moved) {
      // Only the move meets the target. A move over a file that another
      // program holds open fails with access denied as often as with a
      // sharing violation, and access denied also means a read-only file or
      // missing rights: the target itself tells them apart.
      const bool maybeInUse =
          error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
      return maybeInUse && HeldOpenByOthers(target) ? Replacement::kInUse : Replacement::kFailed;
    }
    // After the step: the name names the new file, in the folder held.
    if (!Unchanged() || !Names(target, made)) return Replacement::kChanged;
    if (replaced != nullptr) *replaced = IdentityOf(made);
    return Replacement::kReplaced;
  }

  bool ReplaceAtRestart(const std::string& from, const std::string& to) override {
    if (!PlainName(from) || !PlainName(to) || !Unchanged()) return false;
    return MoveFileExA((path_ + from).c_str(), (path_ + to).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_DELAY_UNTIL_REBOOT) != 0;
  }

  // A link or other reparse point is opened, and removed, itself.
  bool Remove(const std::string& name, const std::string& identity) override {
    if (!PlainName(name) || !Unchanged()) return false;
    const std::string target = path_ + name;
    Handle file(CreateFileA(target.c_str(), DELETE | FILE_READ_ATTRIBUTES, kEveryShare, nullptr, OPEN_EXISTING,
                            FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    BY_HANDLE_FILE_INFORMATION information;
    // The path looked at once more: the file was opened in the folder held.
    if (!file.Valid() || !GetFileInformationByHandle(file.Get(), &information) ||
        (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ||
        (!identity.empty() && IdentityOf(information) != identity) || !Unchanged()) {
      return false;
    }
    if (setInformation_ != nullptr) {
      // Removed as the handle closes: the file looked at, whatever its name
      // names by then.
      DispositionInfo disposition = {TRUE};
      return setInformation_(file.Get(), kFileDispositionInfo, &disposition, sizeof disposition) != 0;
    }
    // By name, while the file looked at is held.
    return DeleteFileA(target.c_str()) != 0;
  }

  bool Exists(const std::string& name) override {
    return PlainName(name) && Unchanged() && GetFileAttributesA((path_ + name).c_str()) != INVALID_FILE_ATTRIBUTES;
  }

  const std::string& Path() const override { return path_; }

 private:
  // Whether the path still leads to the folder held: no folder of it is a
  // reparse point, and the last is the one held.
  bool Unchanged() const {
    for (size_t k = 1; k < chain_.size(); ++k) {
      if (!PlainFolder(GetFileAttributesA(chain_[k].path.c_str()))) return false;
    }
    Handle now(CreateFileA(chain_.back().path.c_str(), FILE_READ_ATTRIBUTES, kEveryShare, nullptr, OPEN_EXISTING,
                           kFolderFlags, nullptr));
    BY_HANDLE_FILE_INFORMATION information;
    return now.Valid() && GetFileInformationByHandle(now.Get(), &information) && SameFile(information, held_);
  }

  // Whether `path` names the file of `information`, itself, not a link.
  static bool Names(const std::string& path, const BY_HANDLE_FILE_INFORMATION& information) {
    Handle file(CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES, kEveryShare, nullptr, OPEN_EXISTING,
                            FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    BY_HANDLE_FILE_INFORMATION now;
    return file.Valid() && RegularFile(file.Get(), &now) && SameFile(now, information);
  }

  // The copy, made anew and open to nobody else. Its owner can be given
  // only where the folder's access list lets the program change owners; it
  // is then the program's.
  static Handle CreateSibling(const std::string& sibling, DWORD attributes) {
    constexpr DWORD kAccess = GENERIC_WRITE | FILE_READ_ATTRIBUTES | DELETE | READ_CONTROL | WRITE_DAC;
    constexpr DWORD kFlags = FILE_FLAG_WRITE_THROUGH | FILE_FLAG_OPEN_REPARSE_POINT;
    Handle out(CreateFileA(sibling.c_str(), kAccess | WRITE_OWNER, 0, nullptr, CREATE_NEW, attributes | kFlags,
                           nullptr));
    if (!out.Valid() && GetLastError() == ERROR_ACCESS_DENIED) {
      out.Reset(CreateFileA(sibling.c_str(), kAccess, 0, nullptr, CREATE_NEW, attributes | kFlags, nullptr));
    }
    return out;
  }

  // Gives the open copy the name `target` in one step, replacing the file
  // there. The full path: the system takes a bare name relative to the
  // current folder.
  bool RenameHandle(HANDLE file, const std::string& target) const {
    const std::vector<WCHAR> wide = Wide(target);
    if (wide.empty()) return false;
    const size_t bytes = wide.size() * sizeof(WCHAR);
    std::vector<uint64_t> record((sizeof(RenameInfo) + bytes + sizeof(uint64_t) - 1) / sizeof(uint64_t), 0);
    auto* rename = reinterpret_cast<RenameInfo*>(record.data());
    rename->replaceIfExists = TRUE;
    rename->rootDirectory = nullptr;
    rename->fileNameLength = static_cast<DWORD>(bytes);
    std::memcpy(rename->fileName, wide.data(), bytes);
    return setInformation_(file, kFileRenameInfo, rename, static_cast<DWORD>(record.size() * sizeof(uint64_t))) != 0;
  }

  // Removes the copy that will not be moved: through its handle where the
  // system can, else by name once it is closed, and only while the name
  // leads into the folder held (a copy left in it is harmless; a file of the
  // same name elsewhere is somebody else's).
  void Discard(Handle* copy, const std::string& sibling) const {
    DispositionInfo disposition = {TRUE};
    bool removed = setInformation_ != nullptr &&
                   setInformation_(copy->Get(), kFileDispositionInfo, &disposition, sizeof disposition) != 0;
    copy->Close();
    if (!removed && Unchanged()) DeleteFileA(sibling.c_str());
  }

  const std::string path_;
  const std::vector<HeldLevel> chain_;
  const BY_HANDLE_FILE_INFORMATION held_;
  const SetInformationFunction setInformation_;
};

}  // namespace

std::unique_ptr<Folder> OpenHeldFolder(const std::string& path, HandleCalls calls) {
  const std::vector<size_t> separators = Separators(path);
  const char drive = path.empty() ? '\0' : static_cast<char>(path[0] | 0x20);
  if (path.size() < 3 || drive < 'a' || drive > 'z' || path[1] != ':' || separators.empty() || separators[0] != 2 ||
      separators.back() != path.size() - 1) {
    return nullptr;
  }
  std::vector<HeldLevel> chain;
  chain.push_back({path.substr(0, 3), Handle()});
  for (size_t k = 1; k < separators.size(); ++k) {
    if (!PlainName(path.substr(separators[k - 1] + 1, separators[k] - separators[k - 1] - 1))) return nullptr;
    chain.push_back({path.substr(0, separators[k]), Handle()});
  }
  BY_HANDLE_FILE_INFORMATION held = {};
  for (size_t k = 0; k < chain.size(); ++k) {
    HeldLevel& level = chain[k];
    level.handle.Reset(
        CreateFileA(level.path.c_str(), kHoldAccess, kHoldShare, nullptr, OPEN_EXISTING, kFolderFlags, nullptr));
    if (!level.handle.Valid() || !GetFileInformationByHandle(level.handle.Get(), &held) ||
        !PlainFolder(held.dwFileAttributes)) {
      return nullptr;
    }
    // Wine opens what a Unix link leads to, whatever the flags, and shows
    // the link only in the entry's own attributes.
    if (k > 0 && !PlainFolder(GetFileAttributesA(level.path.c_str()))) return nullptr;
  }
  return std::make_unique<HeldFolder>(path, std::move(chain), held,
                                      calls == HandleCalls::kWhereAvailable ? LookUpSetInformation() : nullptr);
}

}  // namespace win32
}  // namespace platform
