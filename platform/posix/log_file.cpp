#include "platform/log_file.h"

#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>

namespace platform {
namespace {

class PosixLogFile : public LogFile {
 public:
  explicit PosixLogFile(int descriptor) : descriptor_(descriptor), failed_(descriptor < 0) {}
  ~PosixLogFile() override {
    if (descriptor_ >= 0) ::close(descriptor_);
  }

  void Write(const std::string& text) override {
    if (failed_) return;
    const std::string line = Now() + " " + text + "\n";
    // One write per line: with O_APPEND a line is never split by another
    // writer's.
    size_t done = 0;
    while (done < line.size()) {
      const ssize_t written = ::write(descriptor_, line.data() + done, line.size() - done);
      if (written < 0 && errno == EINTR) continue;
      if (written <= 0) {
        failed_ = true;
        return;
      }
      done += static_cast<size_t>(written);
    }
  }

  bool Failed() const override { return failed_; }

 private:
  static std::string Now() {
    struct timespec now = {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    struct tm utc = {};
    ::gmtime_r(&now.tv_sec, &utc);
    char text[32];
    ::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
  }

  int descriptor_;
  bool failed_;
};

}  // namespace

std::unique_ptr<LogFile> OpenLogFile(const std::string& path) {
  const int descriptor =
      ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0644);
  return std::make_unique<PosixLogFile>(descriptor);
}

}  // namespace platform
