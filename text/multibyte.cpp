#include "text/multibyte.h"

#include <cstdint>
#include <cstring>

namespace text {
namespace {

bool IsShiftJisLead(uint8_t byte) {
  return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

size_t Utf8SequenceLength(uint8_t lead) {
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 1;
}

}  // namespace

size_t CharLength(platform::TextEncoding encoding, const std::string& text, size_t at) {
  size_t left = text.size() - at;
  uint8_t lead = static_cast<uint8_t>(text[at]);
  switch (encoding) {
    case platform::TextEncoding::kShiftJis:
      return IsShiftJisLead(lead) && left >= 2 ? 2 : 1;
    case platform::TextEncoding::kUtf8: {
      size_t wanted = Utf8SequenceLength(lead);
      size_t length = 1;
      while (length < wanted && length < left &&
             (static_cast<uint8_t>(text[at + length]) & 0xC0) == 0x80) {
        ++length;
      }
      return length == wanted ? length : 1;
    }
    case platform::TextEncoding::kSingleByte:
      break;
  }
  return 1;
}

size_t FindChar(platform::TextEncoding encoding, const std::string& text, char c) {
  for (size_t at = 0; at < text.size(); at += CharLength(encoding, text, at)) {
    if (text[at] == c) return at;
  }
  return std::string::npos;
}

size_t FindLastChar(platform::TextEncoding encoding, const std::string& text, char c) {
  size_t found = std::string::npos;
  for (size_t at = 0; at < text.size(); at += CharLength(encoding, text, at)) {
    if (text[at] == c) found = at;
  }
  return found;
}

size_t WholeCharsWithin(platform::TextEncoding encoding, const std::string& text, size_t limit) {
  size_t at = 0;
  while (at < text.size()) {
    size_t next = at + CharLength(encoding, text, at);
    if (next > limit) break;
    at = next;
  }
  return at;
}

size_t FindText(const std::string& text, const char* needle, platform::TextEncoding encoding) {
  // Only in Shift-JIS can the second byte of a character be an ASCII byte;
  // elsewhere a byte search finds the same, faster.
  if (encoding != platform::TextEncoding::kShiftJis) return text.find(needle);
  size_t needleLength = std::strlen(needle);
  for (size_t at = 0; at < text.size(); at += CharLength(encoding, text, at)) {
    if (text.compare(at, needleLength, needle) == 0) return at;
  }
  return std::string::npos;
}

}  // namespace text
