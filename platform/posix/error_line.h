// One line for standard error from anywhere in the POSIX program. While the
// dialogs hold the terminal, a line written there would land on their own
// screen and vanish with it when the terminal is given back: it is held
// instead and written once the terminal is the user's again.
#ifndef OTU_PLATFORM_POSIX_ERROR_LINE_H_
#define OTU_PLATFORM_POSIX_ERROR_LINE_H_

#include <string>

namespace platform {

// Writes `line` and a line end to standard error, or holds them.
void WriteErrorLine(const std::string& line);

// The desktop's: lines are held from when it takes the terminal...
void HoldErrorLines();
// ...until it gives the terminal back; this writes them. Safe in a signal
// handler.
void ReleaseErrorLines();

}  // namespace platform

#endif  // OTU_PLATFORM_POSIX_ERROR_LINE_H_
