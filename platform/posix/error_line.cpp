#include "platform/posix/error_line.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace platform {
namespace {

// A fixed buffer, so that a signal handler can write it out; a line that no
// longer fits is dropped whole rather than cut.
char held[2048];
volatile sig_atomic_t heldLength = 0;
volatile sig_atomic_t holding = 0;

void WriteAll(const char* data, size_t size) {
  size_t done = 0;
  while (done < size) {
    ssize_t written = ::write(STDERR_FILENO, data + done, size - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return;
    done += static_cast<size_t>(written);
  }
}

}  // namespace

void WriteErrorLine(const std::string& line) {
  std::string text = line + "\n";
  if (!holding) {
    WriteAll(text.data(), text.size());
    return;
  }
  size_t length = static_cast<size_t>(heldLength);
  if (text.size() > sizeof held - length) return;
  std::memcpy(held + length, text.data(), text.size());
  heldLength = static_cast<sig_atomic_t>(length + text.size());
}

void HoldErrorLines() { holding = 1; }

void ReleaseErrorLines() {
  holding = 0;
  size_t length = static_cast<size_t>(heldLength);
  heldLength = 0;
  WriteAll(held, length);
}

}  // namespace platform
