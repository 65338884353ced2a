// What the program makes of its command line. The Windows program takes no
// arguments; on POSIX systems --help and --version answer as users expect.
#ifndef OTU_PLATFORM_COMMAND_LINE_H_
#define OTU_PLATFORM_COMMAND_LINE_H_

namespace platform {

// True when the arguments asked for something other than the run (help, the
// version, or something unknown): it has been answered and the program ends
// with *exitStatus.
bool AnswerCommandLine(int argc, char** argv, int* exitStatus);

}  // namespace platform

#endif  // OTU_PLATFORM_COMMAND_LINE_H_
