// Any bytes as the file `otpa info` is asked about: a font, a difference
// file, or an updater program whose package (PE resources, or the POSIX
// program's embedded package) it reads, in text and in JSON.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tools/otpa/info_describe.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  for (bool json : {false, true}) {
    std::string out;
    std::string reason;
    DescribeFile(std::vector<uint8_t>(data, data + size), json, &out, &reason);
  }
  return 0;
}
