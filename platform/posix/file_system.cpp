#include "platform/file_system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

namespace platform {
namespace {

// Flushes the folder that holds `path`, where a rename is recorded. A folder
// that cannot be opened or flushed leaves the rename to the system's own
// write-back: the file itself is complete either way.
void SyncFolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

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
  bool Write(const uint8_t* bytes, size_t n) override { return WriteAll(fd_, bytes, n); }
  bool Close() override {
    if (fd_ < 0) return false;
    int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0;
  }

 private:
  int fd_;
};

class PosixFileSystem : public FileSystem {
 public:
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

  // Writes a sibling file and renames it over the target, so the target holds
  // either its old bytes or the complete copy, never a mixture.
  // rename(2) replaces a file that others hold open: the target is never in use.
  Replacement CopyOver(const std::string& from, const std::string& to) override {
    int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return Replacement::kFailed;
    struct stat target;
    mode_t mode = ::stat(to.c_str(), &target) == 0 ? (target.st_mode & 07777) : 0644;
    const std::string sibling = to + kCopySuffix;
    ::unlink(sibling.c_str());
    int out = ::open(sibling.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (out < 0) {
      ::close(in);
      return Replacement::kFailed;
    }
    std::vector<uint8_t> chunk(1 << 20);
    bool ok = true;
    for (;;) {
      ssize_t got = ::read(in, chunk.data(), chunk.size());
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) ok = false;
      if (got <= 0) break;
      if (!WriteAll(out, chunk.data(), static_cast<size_t>(got))) {
        ok = false;
        break;
      }
    }
    ::close(in);
    ok = ::fchmod(out, mode) == 0 && ok;
    ok = ::fsync(out) == 0 && ok;
    ok = ::close(out) == 0 && ok;
    if (ok) ok = ::rename(sibling.c_str(), to.c_str()) == 0;
    if (!ok) {
      ::unlink(sibling.c_str());
      return Replacement::kFailed;
    }
    // The rename itself reaches the disk with its folder.
    SyncFolderOf(to);
    return Replacement::kReplaced;
  }
  // Nothing here carries out renames at the next start.
  bool ReplaceAtRestart(const std::string&, const std::string&) override { return false; }

  bool Remove(const std::string& path) override { return ::unlink(path.c_str()) == 0; }
  bool Exists(const std::string& path) override {
    struct stat status;
    return ::lstat(path.c_str(), &status) == 0;
  }

  bool TempFolder(std::string* out) override {
    const char* dir = std::getenv("TMPDIR");
    std::string folder = (dir != nullptr && dir[0] != '\0') ? dir : "/tmp";
    if (folder.back() != '/') folder += '/';
    if (folder.size() >= 260) return false;
    *out = folder;
    return true;
  }
};

}  // namespace

FileSystem& HostFileSystem() {
  static PosixFileSystem file_system;
  return file_system;
}

char PathSeparator() { return '/'; }

}  // namespace platform
