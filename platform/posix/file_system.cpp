#include "platform/file_system.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

namespace platform {
namespace {

// The program runs as root over folders that users can write: every name
// below is opened relative to a folder held open, never through a link, and
// a file is taken only when it is the one that was met before.

bool WriteAll(int fd, const uint8_t* bytes, size_t n) {
  while (n > 0) {
    ssize_t done = ::write(fd, bytes, n);
    if (done < 0 && errno == EINTR) continue;
    if (done <= 0) return false;
    bytes += done;
    n -= static_cast<size_t>(done);
  }
  return true;
}

std::string IdentityOf(const struct stat& status) {
  return std::to_string(status.st_dev) + ":" + std::to_string(status.st_ino);
}

// The regular file `name` in the folder `folder`, opened for reading without
// following a link and without waiting for a pipe's writer; -1 otherwise.
int OpenRegular(int folder, const std::string& name, struct stat* status) {
  int fd = ::openat(folder, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return -1;
  if (::fstat(fd, status) != 0 || !S_ISREG(status->st_mode) ||
      ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

// The extended attributes of `from` (ACLs, security labels, a user's own)
// on `to`; what the file system does not take is left out.
void CopyAttributes(int from, int to) {
  ssize_t size = ::flistxattr(from, nullptr, 0);
  if (size <= 0) return;
  std::vector<char> names(static_cast<size_t>(size));
  size = ::flistxattr(from, names.data(), names.size());
  if (size <= 0) return;
  std::vector<char> value;
  for (size_t at = 0; at < static_cast<size_t>(size);) {
    const char* name = names.data() + at;
    at += std::char_traits<char>::length(name) + 1;
    ssize_t length = ::fgetxattr(from, name, nullptr, 0);
    if (length < 0) continue;
    value.resize(static_cast<size_t>(length) + 1);
    length = ::fgetxattr(from, name, value.data(), value.size());
    if (length >= 0) ::fsetxattr(to, name, value.data(), static_cast<size_t>(length), 0);
  }
}

class PosixFile : public File {
 public:
  explicit PosixFile(int fd) : fd_(fd) {}
  ~PosixFile() override {
    if (fd_ >= 0) ::close(fd_);
  }
  bool Length(int64_t* out) override {
    struct stat st;
    if (::fstat(fd_, &st) != 0) return false;
    *out = st.st_size;
    return true;
  }
  bool Read(uint8_t* buffer, size_t n) override {
    while (n > 0) {
      ssize_t got = ::read(fd_, buffer, n);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) return false;
      buffer += got;
      n -= static_cast<size_t>(got);
    }
    return true;
  }
  bool ReadAt(uint64_t offset, uint8_t* buffer, size_t n) override {
    while (n > 0) {
      ssize_t got = ::pread(fd_, buffer, n, static_cast<off_t>(offset));
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) return false;
      buffer += got;
      offset += static_cast<uint64_t>(got);
      n -= static_cast<size_t>(got);
    }
    return true;
  }
  bool Write(const uint8_t* bytes, size_t n) override { return WriteAll(fd_, bytes, n); }
  bool Close() override {
    if (fd_ < 0) return false;
    int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0;
  }
  bool Identity(std::string* identity) override {
    struct stat st;
    if (::fstat(fd_, &st) != 0) return false;
    *identity = IdentityOf(st);
    return true;
  }

 private:
  int fd_;
};

class PosixFolder : public Folder {
 public:
  PosixFolder(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
  ~PosixFolder() override { ::close(fd_); }

  std::unique_ptr<File> OpenRead(const std::string& name, Share) override {
    struct stat status;
    int fd = OpenRegular(fd_, name, &status);
    if (fd < 0) return nullptr;
    return std::make_unique<PosixFile>(fd);
  }

  // Writes a sibling file and renames it over the target, so the target holds
  // either its old bytes or the complete copy, never a mixture. rename(2)
  // replaces a file that others hold open: the target is never in use.
  // Without an identity to keep to, a target that does not exist yet is
  // made (readable by all, the program's own).
  Replacement CopyOver(const std::string& from, const std::string& name, const std::string& identity,
                       std::string* replaced) override {
    struct stat target;
    const bool fresh = identity.empty() && ::fstatat(fd_, name.c_str(), &target, AT_SYMLINK_NOFOLLOW) != 0 &&
                       errno == ENOENT;
    int old = fresh ? -1 : OpenRegular(fd_, name, &target);
    if (fresh) {
      target.st_mode = 0644;
      target.st_uid = ::geteuid();
      target.st_gid = ::getegid();
    } else if (old < 0 || (!identity.empty() && IdentityOf(target) != identity)) {
      if (old >= 0) ::close(old);
      return Replacement::kChanged;
    }
    int in = ::open(from.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    const std::string sibling = name + kCopySuffix;
    ::unlinkat(fd_, sibling.c_str(), 0);
    int out = in < 0 ? -1 : ::openat(fd_, sibling.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    bool ok = out >= 0;
    std::vector<uint8_t> chunk(1 << 20);
    while (ok) {
      ssize_t got = ::read(in, chunk.data(), chunk.size());
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) {
        ok = got == 0;
        break;
      }
      ok = WriteAll(out, chunk.data(), static_cast<size_t>(got));
    }
    if (in >= 0) ::close(in);
    if (ok) {
      // The font's own owner, group and attributes; its permissions, but
      // never a set-id bit.
      if (::fchown(out, target.st_uid, target.st_gid) != 0 && ::geteuid() == 0) ok = false;
      if (old >= 0) CopyAttributes(old, out);
      ok = ok && ::fchmod(out, target.st_mode & 0777) == 0 && ::fsync(out) == 0;
    }
    struct stat made;
    ok = ok && ::fstat(out, &made) == 0;
    if (out >= 0) ok = ::close(out) == 0 && ok;
    if (old >= 0) ::close(old);
    // A last look: the name must still name the file that is replaced.
    struct stat now;
    const bool same = fresh || (::fstatat(fd_, name.c_str(), &now, AT_SYMLINK_NOFOLLOW) == 0 &&
                                now.st_dev == target.st_dev && now.st_ino == target.st_ino);
    if (ok && same) ok = ::renameat(fd_, sibling.c_str(), fd_, name.c_str()) == 0;
    if (!ok || !same) {
      if (out >= 0) ::unlinkat(fd_, sibling.c_str(), 0);
      return same ? Replacement::kFailed : Replacement::kChanged;
    }
    // The rename itself reaches the disk with its folder.
    ::fsync(fd_);
    if (replaced != nullptr) *replaced = IdentityOf(made);
    return Replacement::kReplaced;
  }

  // Nothing here carries out renames at the next start.
  bool ReplaceAtRestart(const std::string&, const std::string&) override { return false; }

  bool Remove(const std::string& name, const std::string& identity) override {
    struct stat status;
    if (::fstatat(fd_, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0 || S_ISDIR(status.st_mode) ||
        (!identity.empty() && IdentityOf(status) != identity)) {
      return false;
    }
    return ::unlinkat(fd_, name.c_str(), 0) == 0;
  }

  bool Exists(const std::string& name) override {
    struct stat status;
    return ::fstatat(fd_, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0;
  }

  const std::string& Path() const override { return path_; }

 private:
  const int fd_;
  const std::string path_;
};

// Opens the folder `path` one folder at a time, from "/" (or the current
// folder for a relative path), never through a link; -1 when a folder of it
// cannot be opened, is a link or is "..".
int OpenFolderNoLinks(const std::string& path) {
  int fd = ::open(!path.empty() && path[0] == '/' ? "/" : ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  for (size_t at = 0; fd >= 0 && at < path.size();) {
    size_t end = path.find('/', at);
    if (end == std::string::npos) end = path.size();
    const std::string part = path.substr(at, end - at);
    at = end + 1;
    if (part.empty() || part == ".") continue;
    int next = part == ".." ? -1 : ::openat(fd, part.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    ::close(fd);
    fd = next;
  }
  return fd;
}

class PosixFileSystem : public FileSystem {
 public:
  ~PosixFileSystem() override {
    if (!privateTemp_.empty()) ::rmdir(privateTemp_.c_str());
  }

  std::unique_ptr<File> OpenRead(const std::string& path, Share) override {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return nullptr;
    return std::make_unique<PosixFile>(fd);
  }

  std::unique_ptr<File> CreateExclusive(const std::string& path) override {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return nullptr;
    return std::make_unique<PosixFile>(fd);
  }

  Replacement CopyOver(const std::string& from, const std::string& to) override {
    const size_t slash = to.rfind('/');
    std::unique_ptr<Folder> folder = OpenFolder(slash == std::string::npos ? "./" : to.substr(0, slash + 1));
    if (folder == nullptr) return Replacement::kFailed;
    return folder->CopyOver(from, slash == std::string::npos ? to : to.substr(slash + 1), "", nullptr);
  }
  // Nothing here carries out renames at the next start.
  bool ReplaceAtRestart(const std::string&, const std::string&) override { return false; }

  bool Remove(const std::string& path) override { return ::unlink(path.c_str()) == 0; }
  bool Exists(const std::string& path) override {
    struct stat status;
    return ::lstat(path.c_str(), &status) == 0;
  }

  // Run by root, a folder of the program's own that nobody else can enter:
  // TMPDIR and the names in a shared /tmp are anyone's to set up beforehand.
  bool TempFolder(std::string* out) override {
    std::string folder;
    if (::geteuid() == 0) {
      if (privateTemp_.empty()) {
        char made[] = "/tmp/opentype-updater-XXXXXX";
        if (::mkdtemp(made) == nullptr) return false;
        privateTemp_ = made;
      }
      folder = privateTemp_;
    } else {
      const char* dir = std::getenv("TMPDIR");
      folder = (dir != nullptr && dir[0] != '\0') ? dir : "/tmp";
    }
    if (folder.back() != '/') folder += '/';
    if (folder.size() >= 260) return false;
    *out = folder;
    return true;
  }

  std::unique_ptr<Folder> OpenFolder(const std::string& path) override {
    int fd = OpenFolderNoLinks(path);
    if (fd < 0) return nullptr;
    return std::make_unique<PosixFolder>(fd, path);
  }

  uint32_t RandomNumber() override {
    uint32_t number = 0;
    if (::getrandom(&number, sizeof number, 0) != static_cast<ssize_t>(sizeof number)) {
      number = static_cast<uint32_t>(std::rand());
    }
    return number;
  }

 private:
  std::string privateTemp_;
};

}  // namespace

FileSystem& HostFileSystem() {
  static PosixFileSystem file_system;
  return file_system;
}

char PathSeparator() { return '/'; }

}  // namespace platform
