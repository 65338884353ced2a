#include "text/format.h"

namespace text {

std::string FormatText(const std::string& format, const std::string& argument) {
  std::string text = format;
  size_t at = text.find("%s");
  if (at != std::string::npos) text.replace(at, 2, argument);
  return text;
}

}  // namespace text
