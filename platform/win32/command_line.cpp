#include "platform/command_line.h"

namespace platform {

// The program is started without arguments; any it is given are not read.
bool AnswerCommandLine(int, char**, int*) { return false; }

}  // namespace platform
