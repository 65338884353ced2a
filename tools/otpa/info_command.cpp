// otpa info: what a font, a difference file or an updater's package holds,
// as text or JSON.
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "tools/otpa/commands.h"
#include "tools/otpa/file_bytes.h"
#include "tools/otpa/info_describe.h"

int RunInfo(int argc, char** argv) {
  bool json = argc == 3 && std::strcmp(argv[2], "--json") == 0;
  if (argc != 2 && !json) {
    std::fprintf(stderr, "usage: otpa info FILE [--json]\n");
    return 2;
  }
  std::vector<uint8_t> file;
  std::string out, reason;
  if (!ReadFileBytes(argv[1], &file)) {
    reason = "cannot be read";
  } else if (DescribeFile(std::move(file), json, &out, &reason)) {
    std::fwrite(out.data(), 1, out.size(), stdout);
    return 0;
  }
  std::fprintf(stderr, "otpa info: %s: %s\n", argv[1], reason.c_str());
  return 1;
}
