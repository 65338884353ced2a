#include "platform/posix/restart.h"

#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/reboot.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/posix/error_line.h"

namespace platform {
namespace {

// Where root has no PATH at all: the usual folders of a system's commands.
const char kDefaultPath[] = "/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin";

// The command's whole environment. Nothing of the caller's reaches a program
// that runs as root: no LD_PRELOAD, no SYSTEMD_* setting that changes where
// systemctl connects or what it asks, no language that changes its words.
const char* const kCommandEnvironment[] = {"PATH=/usr/sbin:/usr/bin:/sbin:/bin", "LC_ALL=C", nullptr};

// How long the init system has to answer. systemctl gives up on a call of
// its own after 25 s; past this the program ends as after a refusal.
const int kAnswerSeconds = 60;
// The command's standard error kept for its first line; the rest is read
// and dropped, so that a full pipe never holds the command up.
const size_t kKeptErrorBytes = 4096;
// The longest reason passed on, in bytes.
const size_t kReasonBytes = 240;

// systemd's own test (sd_booted(3)): the folder it makes at boot. Under
// systemd, systemctl reaches logind, or systemd itself where logind is off.
bool SystemdRuns() {
  struct stat status;
  return ::lstat("/run/systemd/system", &status) == 0 && S_ISDIR(status.st_mode);
}

bool OnlyRootWrites(const struct stat& status, bool folder) {
  if (status.st_uid != 0) return false;
  bool othersWrite = (status.st_mode & (S_IWGRP | S_IWOTH)) != 0;
  // In a sticky folder no one else can replace root's entries.
  if (folder) return S_ISDIR(status.st_mode) && (!othersWrite || (status.st_mode & S_ISVTX) != 0);
  return S_ISREG(status.st_mode) && !othersWrite && (status.st_mode & S_IXUSR) != 0;
}

// Whether no one but root can change what `path` names: an absolute path
// free of links (realpath's answer) whose folders from "/" down, and itself,
// are root's alone. Then it names the same thing from the check to the use.
bool OnlyRootChanges(const std::string& path, bool folder) {
  if (path.empty() || path[0] != '/') return false;
  struct stat status;
  if (::lstat("/", &status) != 0 || !OnlyRootWrites(status, true)) return false;
  for (size_t at = path.find('/', 1);; at = path.find('/', at + 1)) {
    bool whole = at == std::string::npos;
    std::string part = whole ? path : path.substr(0, at);
    if (part.size() > 1 && (::lstat(part.c_str(), &status) != 0 || !OnlyRootWrites(status, !whole || folder))) {
      return false;
    }
    if (whole) return true;
  }
}

std::string Resolved(const std::string& path) {
  if (path.size() >= PATH_MAX) return std::string();
  char* real = ::realpath(path.c_str(), nullptr);
  if (real == nullptr) return std::string();
  std::string resolved(real);
  std::free(real);
  return resolved;
}

// The command `name` where PATH finds it, resolved to a path that only root
// can change; empty when there is none. PATH is root's own setting and says
// where this system keeps its commands (not always /usr/bin: NixOS); a
// folder on it that anyone else could change is passed over, so a planted
// command is never run as root. The command may be a link (Debian's
// shutdown is one to systemctl): lying in a folder of root's, root made it.
std::string FindCommand(const char* name) {
  const char* variable = std::getenv("PATH");
  std::string list = variable != nullptr && variable[0] != '\0' ? variable : kDefaultPath;
  for (size_t at = 0; at <= list.size();) {
    size_t end = std::min(list.find(':', at), list.size());
    std::string entry = list.substr(at, end - at);
    at = end + 1;
    // An empty or relative entry means the current folder: never for root.
    if (entry.empty() || entry[0] != '/') continue;
    std::string folder = Resolved(entry);
    if (folder.empty() || !OnlyRootChanges(folder, true)) continue;
    std::string command = Resolved((folder == "/" ? folder : folder + "/") + name);
    if (!command.empty() && OnlyRootChanges(command, false)) return command;
  }
  return std::string();
}

// `text` with every control character, and every byte that is no UTF-8, as
// '?', cut to kReasonBytes: a command's words must not steer the terminal.
std::string Printable(const std::string& text) {
  std::string out;
  for (size_t at = 0; at < text.size();) {
    unsigned lead = static_cast<unsigned char>(text[at]);
    size_t length = lead < 0x80 ? 1 : lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3
                                  : lead >= 0xF0 && lead <= 0xF4 ? 4 : 0;
    uint32_t point = length == 1 ? lead : length == 2 ? lead & 0x1F : length == 3 ? lead & 0x0F : lead & 0x07;
    bool valid = length != 0 && length <= text.size() - at;
    for (size_t i = 1; valid && i < length; ++i) {
      unsigned next = static_cast<unsigned char>(text[at + i]);
      valid = (next & 0xC0) == 0x80;
      point = point << 6 | (next & 0x3F);
    }
    if (length == 3 && (point < 0x800 || (point >= 0xD800 && point <= 0xDFFF))) valid = false;
    if (length == 4 && (point < 0x10000 || point > 0x10FFFF)) valid = false;
    if (point < 0x20 || (point >= 0x7F && point < 0xA0)) valid = false;
    std::string piece = valid ? text.substr(at, length) : "?";
    if (out.size() + piece.size() > kReasonBytes) break;
    out += piece;
    at += valid ? length : 1;
  }
  return out;
}

// The first line of `text` that says anything: a command puts its reason
// first (systemctl's advice to ignore the inhibitors comes after).
std::string FirstLine(const std::string& text) {
  for (size_t start = 0; start < text.size();) {
    size_t end = std::min(text.find('\n', start), text.size());
    size_t first = text.find_first_not_of(" \t\r", start);
    if (first != std::string::npos && first < end) {
      size_t last = text.find_last_not_of(" \t\r", end - 1);
      return Printable(text.substr(first, last + 1 - first));
    }
    start = end + 1;
  }
  return std::string();
}

int64_t Milliseconds() {
  struct timespec now;
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

// Reads what the pipe has now, keeping the start; false at its end.
bool ReadErrors(int pipe, std::string* errors) {
  char buffer[1024];
  ssize_t got = ::read(pipe, buffer, sizeof buffer);
  if (got < 0) return errno == EINTR || errno == EAGAIN;
  if (got == 0) return false;
  size_t room = kKeptErrorBytes - std::min(errors->size(), kKeptErrorBytes);
  errors->append(buffer, std::min(static_cast<size_t>(got), room));
  return true;
}

// Runs `program` with `arguments` (the first one its name) and nothing of
// this process: standard input and output /dev/null, so that it never
// draws on the dialogs' terminal; standard error a pipe read here; no other
// open file; the fixed environment, "/" as its folder, signals as a new
// program has them; a process group of its own, so that Ctrl-C at the
// terminal stays the dialogs'. Empty when it ended with status 0, else why
// not, in a few words.
std::string Run(const std::string& program, const std::vector<std::string>& arguments) {
  int pipe[2];
  if (::pipe2(pipe, O_CLOEXEC) != 0) return std::string("could not be started: ") + std::strerror(errno);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, pipe[1], STDERR_FILENO);
  posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
  posix_spawn_file_actions_addchdir_np(&actions, "/");
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none;
  sigset_t all;
  sigemptyset(&none);
  sigfillset(&all);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &all);
  posix_spawnattr_setpgroup(&attributes, 0);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);
  std::vector<char*> argv;
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  pid_t child = 0;
  int failed = ::posix_spawn(&child, program.c_str(), &actions, &attributes, argv.data(),
                             const_cast<char* const*>(kCommandEnvironment));
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  ::close(pipe[1]);
  if (failed != 0) {
    ::close(pipe[0]);
    return std::string("could not be started: ") + std::strerror(failed);
  }

  std::string errors;
  bool open = true;
  int status = 0;
  const int64_t deadline = Milliseconds() + kAnswerSeconds * 1000;
  for (;;) {
    pid_t done = ::waitpid(child, &status, WNOHANG);
    if (done == child) break;
    if (done < 0 && errno != EINTR) {
      ::close(pipe[0]);
      return std::string("could not be waited for: ") + std::strerror(errno);
    }
    int64_t left = deadline - Milliseconds();
    if (left <= 0) {
      ::kill(-child, SIGKILL);
      while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
      }
      ::close(pipe[0]);
      return "gave no answer in " + std::to_string(kAnswerSeconds) + " s";
    }
    // The end of the command is looked for at least every tenth of a second:
    // something it started may hold the pipe open after it.
    int slice = static_cast<int>(std::min<int64_t>(left, 100));
    if (open) {
      struct pollfd readable = {pipe[0], POLLIN, 0};
      if (::poll(&readable, 1, slice) > 0) open = ReadErrors(pipe[0], &errors);
    } else {
      struct timespec pause = {0, static_cast<long>(slice) * 1000000L};
      ::nanosleep(&pause, nullptr);
    }
  }
  // What it wrote before it ended, without waiting for whatever it left.
  ::fcntl(pipe[0], F_SETFL, O_NONBLOCK);
  while (open && errors.size() < kKeptErrorBytes) {
    size_t before = errors.size();
    open = ReadErrors(pipe[0], &errors) && errors.size() > before;
  }
  ::close(pipe[0]);

  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return std::string();
  std::string reason = FirstLine(errors);
  if (!reason.empty()) return reason;
  if (WIFSIGNALED(status)) return "ended by signal " + std::to_string(WTERMSIG(status));
  return "ended with status " + std::to_string(WEXITSTATUS(status));
}

}  // namespace

void RestartThroughInitSystem(const std::string& programName) {
  std::string refusal;
  std::string systemctl = SystemdRuns() ? FindCommand("systemctl") : std::string();
  std::string shutdown = systemctl.empty() ? FindCommand("shutdown") : std::string();
  if (!systemctl.empty()) {
    // Run as root and not from a terminal, systemctl would pass over every
    // inhibitor lock unless told to respect them.
    std::string problem = Run(systemctl, {"systemctl", "reboot", "--check-inhibitors=yes"});
    if (!problem.empty()) refusal = "systemctl: " + problem;
  } else if (!shutdown.empty()) {
    // Where systemd does not run, there are no inhibitor locks to respect.
    std::string problem = Run(shutdown, {"shutdown", "-r", "now"});
    if (!problem.empty()) refusal = "shutdown: " + problem;
  } else {
    // No init system to ask: the kernel itself, after the file systems
    // have what is still in memory.
    ::sync();
    ::reboot(RB_AUTOBOOT);
    refusal = std::string("reboot: ") + std::strerror(errno);
  }
  if (!refusal.empty()) WriteErrorLine(programName + ": restart refused: " + refusal);
}

}  // namespace platform
