#include "platform/command_line.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "platform/posix/embedded_resources.h"

namespace platform {
namespace {

// What the program does, after its first line; and the options.
const char kUsageRest[] =
    "drive with the revision data this program carries, replaces each font,\n"
    "verifies it and offers a restart. Run it as root, in a terminal or with\n"
    "the answers to its dialogs on standard input, one per line.\n"
    "\n"
    "  --help     show this text and exit\n"
    "  --version  show the program's version and exit\n";

}  // namespace

bool AnswerCommandLine(int argc, char** argv, int* exitStatus) {
  if (argc < 2) return false;
  std::string name = argv[0];
  size_t slash = name.rfind('/');
  if (slash != std::string::npos) name.erase(0, slash + 1);
  if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
    std::printf("Usage: %s\n", name.c_str());
    // A maker's program: its title on a line of its own, then its maker's fonts.
    if (kEmbeddedProgram.title[0] != '\0') {
      std::printf("%s\nRevises the installed OpenType fonts of %s found on every fixed\n", kEmbeddedProgram.title,
                  kEmbeddedProgram.maker);
    } else {
      std::printf("Revises the installed TAVRELON OpenType fonts (.otf) found on every fixed\n");
    }
    std::fputs(kUsageRest, stdout);
    *exitStatus = 0;
  } else if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("%s %s\n", name.c_str(), kEmbeddedProgram.version);
    *exitStatus = 0;
  } else {
    std::fprintf(stderr, "%s: unrecognized argument '%s'\nTry '%s --help' for more information.\n",
                 name.c_str(), argv[1], name.c_str());
    *exitStatus = 2;
  }
  return true;
}

}  // namespace platform
