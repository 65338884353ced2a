// How a run ended, as the program's exit code tells the tools that deploy
// it: Windows Installer's codes for the Windows program, which deployment
// tools read without configuration, and small codes for the POSIX program,
// whose exit status holds one byte.
#ifndef OTU_APP_RUN_OUTCOME_H_
#define OTU_APP_RUN_OUTCOME_H_

enum class RunOutcome {
  kDone,              // nothing left to do: nothing to revise was found
  kRestartNeeded,     // fonts revised; they take effect at the next restart
  kRestartStarted,    // fonts revised and the restart requested
  kCancelled,         // the user stopped the run
  kFailed,            // a font could not be revised
  kAlreadyRunning,    // another instance of the program runs
  kPackageDamaged,    // the package the program carries does not load
  kSystemRefused,     // the system's version is not one the program runs on
  kNotAdministrator,  // the user lacks administrator (root) rights
  kBadCommandLine,
};

struct OutcomeCode {
  int installer;     // the Windows program's exit code
  int posix;         // the POSIX program's exit status
  const char* text;  // for the log and the exit line
};

const OutcomeCode& CodeOf(RunOutcome outcome);

#endif  // OTU_APP_RUN_OUTCOME_H_
