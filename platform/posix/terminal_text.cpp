#include "platform/posix/terminal_text.h"

#include <cstdint>

namespace platform {
namespace {

// Length of the UTF-8 sequence at text[at] and its code point; a byte that
// starts no whole sequence is one character of its own (U+FFFD).
size_t Decode(const std::string& text, size_t at, uint32_t* codePoint) {
  uint8_t lead = static_cast<uint8_t>(text[at]);
  size_t length = lead < 0x80 ? 1 : (lead >= 0xC2 && lead <= 0xDF) ? 2 : (lead >= 0xE0 && lead <= 0xEF) ? 3
                                                                    : (lead >= 0xF0 && lead <= 0xF4) ? 4 : 0;
  if (length == 0 || at + length > text.size()) {
    *codePoint = 0xFFFD;
    return 1;
  }
  uint32_t value = length == 1 ? lead : lead & (0x7F >> length);
  for (size_t i = 1; i < length; ++i) {
    uint8_t next = static_cast<uint8_t>(text[at + i]);
    if ((next & 0xC0) != 0x80) {
      *codePoint = 0xFFFD;
      return 1;
    }
    value = (value << 6) | (next & 0x3F);
  }
  *codePoint = value;
  return length;
}

// Columns of one character: two for the wide and full-width East Asian
// ranges, none for combining marks and the zero-width joiners.
int CharWidth(uint32_t c) {
  if (c == 0x200B || c == 0x200C || c == 0x200D || (c >= 0x0300 && c <= 0x036F) ||
      (c >= 0x3099 && c <= 0x309A) || (c >= 0xFE00 && c <= 0xFE0F)) {
    return 0;
  }
  struct Range {
    uint32_t first;
    uint32_t last;
  };
  static const Range kWide[] = {
      {0x1100, 0x115F}, {0x2E80, 0x303E}, {0x3041, 0x33FF}, {0x3400, 0x4DBF}, {0x4E00, 0x9FFF},
      {0xA000, 0xA4CF}, {0xAC00, 0xD7A3}, {0xF900, 0xFAFF}, {0xFE30, 0xFE4F}, {0xFF00, 0xFF60},
      {0xFFE0, 0xFFE6}, {0x1F300, 0x1F64F}, {0x20000, 0x3FFFD},
  };
  for (const Range& range : kWide) {
    if (c >= range.first && c <= range.last) return 2;
  }
  return 1;
}

}  // namespace

int DisplayWidth(const std::string& text) {
  int width = 0;
  uint32_t c = 0;
  for (size_t at = 0; at < text.size();) {
    at += Decode(text, at, &c);
    width += CharWidth(c);
  }
  return width;
}

std::vector<std::string> WrapLines(const std::string& text, int width) {
  std::vector<std::string> lines(1);
  int used = 0;
  uint32_t c = 0;
  for (size_t at = 0; at < text.size();) {
    if (text[at] == '\r' || text[at] == '\n') {
      at += text.compare(at, 2, "\r\n") == 0 ? 2 : 1;
      lines.emplace_back();
      used = 0;
      continue;
    }
    size_t length = Decode(text, at, &c);
    int columns = CharWidth(c);
    if (used + columns > width && used > 0) {
      lines.emplace_back();
      used = 0;
    }
    lines.back().append(text, at, length);
    used += columns;
    at += length;
  }
  return lines;
}

std::vector<std::string> WrapWords(const std::string& text, int width) {
  std::vector<std::string> lines;
  for (const std::string& line : WrapLines(text, 1 << 30)) {
    std::string rest = line;
    size_t before = lines.size();
    while (DisplayWidth(rest) > width) {
      // The longest head of whole characters that fits, then back to its
      // last space.
      size_t fit = 0;
      int used = 0;
      uint32_t c = 0;
      while (fit < rest.size()) {
        size_t length = Decode(rest, fit, &c);
        if (used + CharWidth(c) > width) break;
        used += CharWidth(c);
        fit += length;
      }
      size_t space = fit < rest.size() && rest[fit] == ' ' ? fit : rest.rfind(' ', fit);
      if (space == std::string::npos || space == 0 || space > fit) {
        if (fit == 0) fit = Decode(rest, 0, &c);
        lines.push_back(rest.substr(0, fit));
        rest.erase(0, fit);
      } else {
        lines.push_back(rest.substr(0, space));
        rest.erase(0, space + 1);
      }
    }
    // An empty line stays a line; what a cut used up leaves none.
    if (!rest.empty() || lines.size() == before) lines.push_back(rest);
  }
  return lines;
}

std::string PadToWidth(const std::string& text, int width) {
  int used = DisplayWidth(text);
  return used >= width ? text : text + std::string(static_cast<size_t>(width - used), ' ');
}

}  // namespace platform
