#include "text/revision.h"

#include <cinttypes>
#include <cstdio>

namespace text {

std::string RevisionText(uint32_t fixed) {
  // Thousandths, rounded half up, in integers: no floating-point rounding
  // of values such as 0x00010083 either way.
  const int32_t value = static_cast<int32_t>(fixed);
  const int64_t magnitude = value < 0 ? -int64_t{value} : int64_t{value};
  const int64_t thousandths = (magnitude * 1000 + 32768) / 65536;
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%s%" PRId64 ".%03" PRId64, value < 0 ? "-" : "", thousandths / 1000,
                thousandths % 1000);
  return buffer;
}

}  // namespace text
