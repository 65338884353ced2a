#include "platform/text_encoding.h"

#include <windows.h>

namespace platform {

TextEncoding SystemTextEncoding() {
  return GetACP() == 932 ? TextEncoding::kShiftJis : TextEncoding::kSingleByte;
}

}  // namespace platform
