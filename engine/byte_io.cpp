#include "engine/byte_io.h"

namespace otu {

int32_t RoundUp4(int32_t n) {
  return static_cast<int32_t>((static_cast<uint32_t>(n) + 3u) & ~3u);
}

}  // namespace otu
