#include "discovery/name_rules.h"

#include <cstring>

#include "config/multibyte.h"
#include "config/path_split.h"

size_t FindText(const std::string& text, const char* needle, platform::TextEncoding encoding) {
  // Only in Shift-JIS can the second byte of a character be an ASCII byte;
  // elsewhere a byte search finds the same, faster.
  if (encoding != platform::TextEncoding::kShiftJis) return text.find(needle);
  size_t needleLength = std::strlen(needle);
  for (size_t at = 0; at < text.size(); at += config::CharLength(encoding, text, at)) {
    if (text.compare(at, needleLength, needle) == 0) return at;
  }
  return std::string::npos;
}

bool SplitFileName(const std::string& path, platform::TextEncoding encoding, std::string* name,
                   std::string* extension) {
  config::PathParts parts = config::SplitPath(encoding, path);
  if (parts.name.size() >= kNamePartSize || parts.extension.size() >= kNamePartSize) return false;
  *name = std::move(parts.name);
  *extension = std::move(parts.extension);
  return true;
}

bool MatchesBaseName(const std::string& path, const std::string& baseName, platform::TextEncoding encoding) {
  std::string name;
  std::string extension;
  if (!SplitFileName(path, encoding, &name, &extension) || extension != ".otf") return false;
  if (name.size() < baseName.size()) return false;
  size_t extra = name.size() - baseName.size();
  if (extra != 0 && extra != 2 && extra != 3) return false;
  return name.compare(0, baseName.size(), baseName) == 0;
}
