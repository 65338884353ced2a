#include "discovery/name_rules.h"

#include <cstring>

namespace {

constexpr uint32_t kCodePageShiftJis = 932;

bool IsSeparator(const char* path, size_t i, const NameRules& rules) {
  char c = path[i];
  if (c == rules.separator) return true;
  if (rules.separator != '\\') return false;
  return c == '/' || (c == ':' && i == 1);
}

// The bytes [begin, end) of `path` into a buffer of kNamePartSize bytes.
bool CopyPart(const char* begin, const char* end, char out[kNamePartSize]) {
  size_t length = static_cast<size_t>(end - begin);
  if (length >= kNamePartSize) return false;
  std::memcpy(out, begin, length);
  out[length] = '\0';
  return true;
}

}  // namespace

bool IsCp932LeadByte(uint8_t byte) {
  return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

LeadBytePredicate LeadByteRuleFor(uint32_t codePage) {
  return codePage == kCodePageShiftJis ? IsCp932LeadByte : nullptr;
}

const char* FindText(const char* text, const char* needle, LeadBytePredicate isLead) {
  size_t needleLength = std::strlen(needle);
  for (const char* p = text; *p != '\0';) {
    if (std::strncmp(p, needle, needleLength) == 0) return p;
    bool pair = isLead != nullptr && isLead(static_cast<uint8_t>(*p)) && p[1] != '\0';
    p += pair ? 2 : 1;
  }
  return needleLength == 0 ? text : nullptr;
}

bool SplitFileName(const char* path, const NameRules& rules, char name[kNamePartSize],
                   char extension[kNamePartSize]) {
  size_t nameStart = 0;
  const char* lastDot = nullptr;
  size_t i = 0;
  while (path[i] != '\0') {
    if (IsSeparator(path, i, rules)) {
      nameStart = i + 1;
      lastDot = nullptr;
    } else if (path[i] == '.') {
      lastDot = path + i;
    }
    bool pair = rules.isLead != nullptr && rules.isLead(static_cast<uint8_t>(path[i])) && path[i + 1] != '\0';
    i += pair ? 2 : 1;
  }
  const char* end = path + i;
  const char* nameEnd = lastDot != nullptr ? lastDot : end;
  return CopyPart(path + nameStart, nameEnd, name) && CopyPart(nameEnd, end, extension);
}

bool MatchesBaseName(const char* fileName, const char* baseName, const NameRules& rules) {
  char name[kNamePartSize];
  char extension[kNamePartSize];
  if (!SplitFileName(fileName, rules, name, extension)) return false;
  if (std::strcmp(extension, ".otf") != 0) return false;
  size_t a = std::strlen(name);
  size_t b = std::strlen(baseName);
  if (a < b) return false;
  size_t extra = a - b;
  if (extra != 0 && extra != 2 && extra != 3) return false;
  return std::strncmp(name, baseName, b) == 0;
}
