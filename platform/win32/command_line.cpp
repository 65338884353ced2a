#include "platform/command_line.h"

#include <windows.h>

#include "platform/machine.h"

namespace platform {

const CommandStyle kCommandStyle = CommandStyle::kInstaller;

namespace {

// The switches as Windows Installer spells them, which deployment tools and
// administrators know, and its exit codes.
const char kUsage[] =
    "[/quiet | /passive] [/norestart | /forcerestart] [/log FILE]\r\n"
    "\r\n"
    "/quiet\tno window at all; every dialog takes its default answer\r\n"
    "\tand the machine is not restarted\r\n"
    "/passive\tthe search's and the updates' progress only, no questions\r\n"
    "/norestart\ta quiet or passive run does not restart (the default)\r\n"
    "/forcerestart\ta quiet or passive run restarts after a full success\r\n"
    "/log FILE\tappend the run's log to FILE (UTF-8)\r\n"
    "/?\tthis text\r\n"
    "\r\n"
    "Exit codes:\r\n"
    "0\tsuccess, nothing left to do\r\n"
    "3010\tsuccess, a restart is needed for the revised fonts\r\n"
    "1641\tsuccess, the restart was started\r\n"
    "1602\tcancelled by the user\r\n"
    "1603\ta font could not be revised (see the log)\r\n"
    "1618\tanother instance is running\r\n"
    "1620\tthe package the program carries is damaged\r\n"
    "1633\tthis Windows version is not supported\r\n"
    "1925\tadministrator rights are needed\r\n"
    "1639\tbad command line";

void Box(const std::string& text, UINT icon) {
  const std::string caption = HostMachine().ExecutableFileName();
  MessageBoxA(nullptr, text.c_str(), caption.c_str(), MB_OK | icon | MB_SETFOREGROUND);
}

}  // namespace

void ShowUsage(const std::string& problem, bool quiet) {
  if (quiet) return;
  const std::string usage = HostMachine().ExecutableFileName() + " " + kUsage;
  Box(problem.empty() ? usage : problem + "\r\n\r\n" + usage, problem.empty() ? MB_ICONINFORMATION : MB_ICONERROR);
}

void ShowVersion() { Box(HostMachine().ExecutableFileName() + " " + HostMachine().ProgramVersion(), MB_ICONINFORMATION); }

// A windows program has no standard error: its exit code and its log tell.
void ReportEnd(int, const std::string&, const std::string&) {}

}  // namespace platform
