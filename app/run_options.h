// What an administrator's command line asks of a run: who answers the
// dialogs, whether the machine restarts after a fully successful run, and
// where the run's log goes. Without arguments a run is attended, as always.
#ifndef OTU_APP_RUN_OPTIONS_H_
#define OTU_APP_RUN_OPTIONS_H_

#include <string>
#include <vector>

enum class Attendance {
  kAttended,  // every dialog for a person to answer
  kPassive,   // the search's and the updates' progress only, no questions
  kQuiet,     // no window at all
};

enum class RestartChoice {
  kAsk,     // the question after a fully successful run (attended runs)
  kNever,   // what an unattended run does unless told otherwise
  kAlways,  // restart after a fully successful run
};

struct RunOptions {
  Attendance attendance = Attendance::kAttended;
  // Decides the restart of passive and quiet runs; an attended run asks
  // whatever it says.
  RestartChoice restart = RestartChoice::kAsk;
  std::string logPath;  // empty: no log
  bool usage = false;   // the usage was asked for
  bool version = false;
};

// Windows Installer's spelling: /quiet, /passive, /norestart, /forcerestart,
// /log FILE and /?, in any case, each also with "-" for "/". False, with a
// one-line reason, for anything else or a contradiction; the switches
// around a bad one still count.
bool ParseInstallerSwitches(const std::vector<std::string>& arguments, RunOptions* options, std::string* error);

// The POSIX spelling: --quiet, --passive, --no-restart, --restart,
// --log FILE (or --log=FILE), --help and --version.
bool ParsePosixOptions(const std::vector<std::string>& arguments, RunOptions* options, std::string* error);

// The restart an unattended run takes: kAsk reads as kNever there.
inline bool RestartsUnattended(const RunOptions& options) { return options.restart == RestartChoice::kAlways; }

#endif  // OTU_APP_RUN_OPTIONS_H_
