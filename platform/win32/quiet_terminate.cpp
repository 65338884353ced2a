// What the C++ runtime does when the program ends on an exception nobody
// catches. The runtime's own handler writes the exception's demangled type
// name on standard error, which a windowed program does not have, and brings
// the whole demangler (some 45 KB) into the program for it. This object,
// linked into the program itself, takes the handler's place: the program
// ends as the runtime's handler ends it, without the message.
#include <cstdlib>

namespace __gnu_cxx {

void __verbose_terminate_handler() { std::abort(); }

}  // namespace __gnu_cxx
