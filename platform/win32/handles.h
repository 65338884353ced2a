// What the Windows file system and folder listing share: files behind
// handles, the names by which a file is told apart from every other, paths
// split where the system splits them, and folders held open (held_folder.cpp).
#ifndef OTU_PLATFORM_WIN32_HANDLES_H_
#define OTU_PLATFORM_WIN32_HANDLES_H_

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/file_system.h"

namespace platform {
namespace win32 {

// Every kind of sharing: for looks at a file that must never stand in the
// way of its other users.
constexpr DWORD kEveryShare = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// A handle closed when it goes out of scope.
class Handle {
 public:
  explicit Handle(HANDLE handle = INVALID_HANDLE_VALUE) : handle_(handle) {}
  ~Handle() { Close(); }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  Handle(Handle&& other) noexcept : handle_(other.handle_) { other.handle_ = INVALID_HANDLE_VALUE; }
  bool Valid() const { return handle_ != INVALID_HANDLE_VALUE; }
  HANDLE Get() const { return handle_; }
  HANDLE Release() {
    HANDLE handle = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    return handle;
  }
  void Close() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
  }
  void Reset(HANDLE handle) {
    Close();
    handle_ = handle;
  }

 private:
  HANDLE handle_;
};

// The file or folder of `information` as "volume serial:file index": the
// same whichever name or link leads to it, and different for any other on
// the machine's volumes.
std::string IdentityOf(const BY_HANDLE_FILE_INFORMATION& information);

// Whether `handle` is an ordinary file on a disk (not a pipe, device,
// folder or reparse point such as a link); *information then describes it.
bool RegularFile(HANDLE handle, BY_HANDLE_FILE_INFORMATION* information);

// The File of an open handle (taking it over); null for an invalid handle.
std::unique_ptr<File> WrapFile(HANDLE handle);

// Where the path separators of `path` lie, in order: each '\' that is no
// second byte of a double-byte character of the system code page (whose
// second bytes include '\').
std::vector<size_t> Separators(const std::string& path);

// Whether `name` is the plain name of an entry of a folder: not empty, not
// "." or "..", and without a separator, '/' or ':' (a stream of a file).
bool PlainName(const std::string& name);

// How a held folder renames and deletes: through the handle of the file
// with SetFileInformationByHandle where the system has it (Windows Vista
// and later), or by name with the folder and the file checked just before
// and after each step (what Windows XP allows).
enum class HandleCalls { kWhereAvailable, kNever };

// The folder `path` ("X:\" and folder names, ending with '\') as Folder
// describes it: every folder of the path, the drive's root included, is
// opened in turn, refused when it is a reparse point (a junction, a folder
// link, a mounted volume) and held open without delete sharing, so that
// nobody can rename, remove or replace any of them while the folder is
// held. Every step then checks that the path still leads to the folder
// held. Null when a folder of the path cannot be opened so or is no plain
// folder, or the path has another form.
std::unique_ptr<Folder> OpenHeldFolder(const std::string& path, HandleCalls calls);

}  // namespace win32
}  // namespace platform

#endif  // OTU_PLATFORM_WIN32_HANDLES_H_
