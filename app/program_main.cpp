// The program: the application object over the machine's own windows, files,
// drives and the resources the program carries. Without arguments a person
// answers its dialogs; the command line can make the run unattended, logged,
// and ending with an exit code deployment tools read.
#include <memory>
#include <string>
#include <vector>

#include "app/run_environment.h"
#include "app/run_options.h"
#include "app/run_outcome.h"
#include "app/unattended_desktop.h"
#include "app/updater_app.h"
#include "platform/command_line.h"
#include "platform/log_file.h"
#include "platform/text_encoding.h"

namespace {

int ExitCode(RunOutcome outcome) {
  const OutcomeCode& code = CodeOf(outcome);
  return platform::kCommandStyle == platform::CommandStyle::kInstaller ? code.installer : code.posix;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  RunOptions options;
  std::string problem;
  const bool installer = platform::kCommandStyle == platform::CommandStyle::kInstaller;
  if (!(installer ? ParseInstallerSwitches(arguments, &options, &problem)
                  : ParsePosixOptions(arguments, &options, &problem))) {
    // A quiet run that is told wrong shows nothing: its exit code tells.
    platform::ShowUsage(problem, options.attendance == Attendance::kQuiet);
    return ExitCode(RunOutcome::kBadCommandLine);
  }
  if (options.usage || options.version) {
    if (options.usage) platform::ShowUsage(std::string(), false);
    if (options.version) platform::ShowVersion();
    return 0;
  }

  std::unique_ptr<platform::LogFile> log;
  if (!options.logPath.empty()) log = platform::OpenLogFile(options.logPath);
  UnattendedDesktop unattended(platform::HostDesktop(), options);
  ProgramControllers controllers;
  RunEnvironment environment = {
      options.attendance == Attendance::kAttended ? platform::HostDesktop() : unattended,
      platform::HostMachine(),
      platform::HostFileSystem(),
      platform::ProgramResources(),
      controllers,
      {platform::PathSeparator(), platform::SystemTextEncoding()},
      log.get()};
  const RunOutcome outcome = COpenTypeUpdaterApp(environment).Run();
  const OutcomeCode& code = CodeOf(outcome);
  LogEvent(environment, "exit " + std::to_string(ExitCode(outcome)) + ": " + code.text);
  const bool logFailed = log != nullptr && log->Failed();
  if (options.attendance != Attendance::kAttended || logFailed) {
    platform::ReportEnd(ExitCode(outcome), code.text, logFailed ? options.logPath : std::string());
  }
  return ExitCode(outcome);
}
