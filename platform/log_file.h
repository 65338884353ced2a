// The log of a run that administrators collect: lines of UTF-8 text
// appended to a file the command line names, each stamped with the time.
#ifndef OTU_PLATFORM_LOG_FILE_H_
#define OTU_PLATFORM_LOG_FILE_H_

#include <memory>
#include <string>

namespace platform {

class LogFile {
 public:
  virtual ~LogFile() = default;
  // Appends "TIME TEXT" and a line break; `text` is in the system's
  // encoding and goes in as UTF-8. A failed write is remembered, never
  // fatal: the run goes on without its log.
  virtual void Write(const std::string& text) = 0;
  // True once the file could not be opened or a line could not be written.
  virtual bool Failed() const = 0;
};

// The file at `path`, opened for appending (made if missing), never through
// a link at its end: an administrator's path in a folder that users can
// write must not lead the program's writes elsewhere. Never null; a file
// that cannot be opened gives a log that has failed.
std::unique_ptr<LogFile> OpenLogFile(const std::string& path);

}  // namespace platform

#endif  // OTU_PLATFORM_LOG_FILE_H_
