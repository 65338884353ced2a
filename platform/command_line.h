// How the program meets its command line on this system: how its options
// are spelled, and where the usage, the version and the end of an
// unattended run are told. Without arguments the program runs as always.
#ifndef OTU_PLATFORM_COMMAND_LINE_H_
#define OTU_PLATFORM_COMMAND_LINE_H_

#include <string>

namespace platform {

// Windows Installer's switches (/quiet) and exit codes (3010), or POSIX long
// options (--quiet) and one-byte exit statuses.
enum class CommandStyle { kInstaller, kPosix };
extern const CommandStyle kCommandStyle;

// The usage; with a `problem`, as the answer to a bad command line (where a
// run is quiet, nothing is shown: only its exit code tells).
void ShowUsage(const std::string& problem, bool quiet);
void ShowVersion();

// The end of an unattended run, where the system gives the program a place
// to say it (standard error): its exit status and what it means, and a log
// that could not be written.
void ReportEnd(int status, const std::string& meaning, const std::string& unwrittenLog);

}  // namespace platform

#endif  // OTU_PLATFORM_COMMAND_LINE_H_
