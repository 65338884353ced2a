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
// program that lets nobody replace it; nothing was changed.
enum class Replacement { kReplaced, kInUse, kFailed };

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
};

// The machine's own file system.
FileSystem& HostFileSystem();

// The separator between folder names in paths of this platform.
char PathSeparator();

}  // namespace platform

#endif  // OTU_PLATFORM_FILE_SYSTEM_H_
