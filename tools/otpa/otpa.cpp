// otpa: difference files for the font updater, from the command line.
#include <cstdio>
#include <cstring>

#include "tools/otpa/commands.h"

namespace {

struct Command {
  const char* name;
  int (*run)(int argc, char** argv);
  const char* usage;
};

const Command kCommands[] = {
    {"apply", RunApply, "apply OLD.otf DIFF.pa -o OUT.otf   rebuild the revised font as an update does"},
    {"info", RunInfo, "info FILE [--json]                  describe a font, a difference file or an updater's package"},
    {"update", RunUpdate, "update FONT.otf DIFF.pa             revise FONT in place, as the updater does"},
    {"make", RunMake, "make OLD.otf NEW.otf -o OUT.pa       write the difference file from OLD to NEW"},
};

int Usage() {
  std::fprintf(stderr, "usage: otpa COMMAND ...\n");
  for (const Command& command : kCommands) std::fprintf(stderr, "  otpa %s\n", command.usage);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  for (const Command& command : kCommands) {
    if (std::strcmp(argv[1], command.name) == 0) return command.run(argc - 1, argv + 1);
  }
  return Usage();
}
