#include "platform/command_line.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "platform/posix/embedded_resources.h"

namespace platform {

const CommandStyle kCommandStyle = CommandStyle::kPosix;

namespace {

// What the program does, after its first line; and the options.
const char kUsageRest[] =
    "drive with the revision data this program carries, replaces each font,\n"
    "verifies it and offers a restart. Run it as root, in a terminal or with\n"
    "the answers to its dialogs on standard input, one per line; or unattended:\n"
    "  [--quiet | --passive] [--no-restart | --restart] [--log FILE].\n"
    "\n"
    "  --quiet        no dialogs and no questions: every dialog takes its\n"
    "                 default answer (\"次へ\", \"実行\") and the machine is not\n"
    "                 restarted\n"
    "  --passive      the search's and the updates' progress only, no questions\n"
    "  --no-restart   a quiet or passive run does not restart (the default)\n"
    "  --restart      a quiet or passive run restarts after a full success\n"
    "  --log FILE     append the run's log to FILE (UTF-8, one line per event)\n"
    "  --help         show this text and exit\n"
    "  --version      show the program's version and exit\n"
    "\n"
    "Exit status:\n"
    "  0  success, nothing left to do (no font to revise was found)\n"
    "  1  a font could not be revised (the log names it)\n"
    "  2  bad command line\n"
    "  3  success: fonts revised, a restart is needed for them to take effect\n"
    "  4  cancelled by the user\n"
    "  5  another instance of the program is running\n"
    "  6  the package the program carries is damaged\n"
    "  7  this system is not one the program runs on\n"
    "  8  not run as root\n"
    "  9  success, and the restart was started\n";

std::string ProgramName() {
  char path[4096] = {};
  const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
  std::string name = length > 0 ? std::string(path, static_cast<size_t>(length)) : "opentype-updater";
  return name.substr(name.rfind('/') + 1);
}

}  // namespace

void ShowUsage(const std::string& problem, bool) {
  const std::string name = ProgramName();
  if (!problem.empty()) {
    std::fprintf(stderr, "%s: %s\nTry '%s --help' for more information.\n", name.c_str(), problem.c_str(),
                 name.c_str());
    return;
  }
  std::printf("Usage: %s\n", name.c_str());
  // A maker's program: its title on a line of its own, then its maker's fonts.
  if (kEmbeddedProgram.title[0] != '\0') {
    std::printf("%s\nRevises the installed OpenType fonts of %s found on every fixed\n", kEmbeddedProgram.title,
                kEmbeddedProgram.maker);
  } else {
    std::printf("Revises the installed TAVRELON OpenType fonts (.otf) found on every fixed\n");
  }
  std::fputs(kUsageRest, stdout);
}

void ShowVersion() { std::printf("%s %s\n", ProgramName().c_str(), kEmbeddedProgram.version); }

void ReportEnd(int status, const std::string& meaning, const std::string& unwrittenLog) {
  std::fprintf(stderr, "%s: exit %d: %s%s\n", ProgramName().c_str(), status, meaning.c_str(),
               unwrittenLog.empty() ? "" : ("; the log " + unwrittenLog + " could not be written").c_str());
}

}  // namespace platform
