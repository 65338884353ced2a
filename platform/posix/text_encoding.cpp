#include "platform/text_encoding.h"

namespace platform {

TextEncoding SystemTextEncoding() { return TextEncoding::kUtf8; }

}  // namespace platform
