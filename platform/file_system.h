// Files as the engine and the configuration see them: whole-file reads and
// writes through handles, copies over an existing file, removal, existence,
// and the user's temporary folder. Paths are 8-bit text in the system code page.
#ifndef OTU_PLATFORM_FILE_SYSTEM_H_
#define OTU_PLATFORM_FILE_SYSTEM_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace platform {

// Who else may open a file while it is open for reading: nobody, readers
// only (a font the system has loaded is held open for reading), or anyone.
enum class Share { kExclusive, kRead, kReadWrite };

// How a replacement went. kInUse: the target is held open by another
// program that lets nobody replace it; kChanged: the name no longer names
// the file it was to replace (another file, a link, nothing); nothing was
// changed in either case.
enum class Replacement { kReplaced, kInUse, kFailed, kChanged };

// Ends the name of the copy that CopyOver moves over its target. The name
// keeps the target's ".otf" away from the end, so a copy that a cut-off run
// leaves behind is never taken for a font.
constexpr char kCopySuffix[] = ".otu-copy";

class File {
 public:
  virtual ~File() = default;
  virtual bool Length(int64_t* out) = 0;
  // Reads exactly n bytes from the current position; false otherwise.
  virtual bool Read(uint8_t* buffer, size_t n) = 0;
  // Writes all n bytes; false on any error or short write.
  virtual bool Write(const uint8_t* bytes, size_t n) = 0;
  // Closes the handle; false when written data may not have reached the disk.
  // The destructor closes a handle that was not closed, ignoring errors.
  virtual bool Close() = 0;
  // Reads exactly n bytes at `offset`, the position left as it is; false
  // otherwise, also where the platform reads files only in turn.
  virtual bool ReadAt(uint64_t, uint8_t*, size_t) { return false; }
  // Names the open file the same way a folder listing's Identity does;
  // false when that cannot be learned.
  virtual bool Identity(std::string*) { return false; }
};

// A folder opened without following a link anywhere on its path (a folder
// link or junction, or the file of the name), and held open: every later
// step takes place in this folder, whatever its path names by then. Names
// are plain file names in it.
class Folder {
 public:
  virtual ~Folder() = default;
  // Opens the file `name` for reading: a regular file only, never through a
  // link, and never waiting (a pipe put in its place is refused); null
  // otherwise.
  virtual std::unique_ptr<File> OpenRead(const std::string& name, Share share) = 0;
  // Copies the file at `from` (a path, in the program's own temporary
  // folder) over `name`, in one step as FileSystem::CopyOver does, provided
  // `name` still names the file of `identity` (any file when empty). The new
  // file gets what it replaces has of the file's own: its permissions, owner,
  // group and extended attributes (its security on Windows). *replaced, when
  // given, names the new file afterwards.
  virtual Replacement CopyOver(const std::string& from, const std::string& name, const std::string& identity,
                               std::string* replaced) = 0;
  // Asks the system to move `from` over `to`, both names in this folder,
  // when it next starts; false when it refuses or has no such facility.
  virtual bool ReplaceAtRestart(const std::string& from, const std::string& to) = 0;
  // Removes the file `name` (never a folder), provided it is the file of
  // `identity` (any file when empty).
  virtual bool Remove(const std::string& name, const std::string& identity) = 0;
  virtual bool Exists(const std::string& name) = 0;
  // The folder's path as it was opened, ending with the path separator.
  virtual const std::string& Path() const = 0;
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;
  virtual std::unique_ptr<File> OpenRead(const std::string& path, Share share) = 0;
  // Creates a new file for writing. Fails when anything of that name exists
  // (a file, a folder or a link): an existing file is never opened.
  virtual std::unique_ptr<File> CreateExclusive(const std::string& path) = 0;
  // Copies `from` over `to`, replacing it in one step: through a flushed copy
  // named `to` + kCopySuffix in the same folder, moved over `to`. Whenever the
  // process or the machine stops, `to` holds its old bytes or the whole copy.
  virtual Replacement CopyOver(const std::string& from, const std::string& to) = 0;
  // Asks the system to move `from` over `to` when it next starts (the way a
  // file in use is replaced); false when it refuses or has no such facility.
  virtual bool ReplaceAtRestart(const std::string& from, const std::string& to) = 0;
  virtual bool Remove(const std::string& path) = 0;
  // Whether anything exists at `path`.
  virtual bool Exists(const std::string& path) = 0;
  // The user's temporary folder, ending with the path separator.
  virtual bool TempFolder(std::string* out) = 0;
  // Opens the folder `path` (ending with the path separator) as Folder
  // describes; null when it cannot be opened or a link lies on its path.
  // Without a platform's own, a folder that works by path.
  virtual std::unique_ptr<Folder> OpenFolder(const std::string& path);
  // A number for temporary names: from the system's generator where the
  // platform has one; elsewhere rand() % 255.
  virtual uint32_t RandomNumber();
};

// The machine's own file system.
FileSystem& HostFileSystem();

// The separator between folder names in paths of this platform.
char PathSeparator();

}  // namespace platform

#endif  // OTU_PLATFORM_FILE_SYSTEM_H_
