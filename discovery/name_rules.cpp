#include "discovery/name_rules.h"

#include "text/multibyte.h"
#include "text/paths.h"

bool SplitFileName(const std::string& path, platform::TextEncoding encoding, std::string* name,
                   std::string* extension) {
  text::PathParts parts = text::SplitPath(encoding, path);
  if (parts.name.size() >= kNamePartSize || parts.extension.size() >= kNamePartSize) return false;
  *name = std::move(parts.name);
  *extension = std::move(parts.extension);
  return true;
}

bool MatchesBaseName(const std::string& path, const std::string& baseName, platform::TextEncoding encoding,
                     bool trueTypeNames) {
  std::string name;
  std::string extension;
  if (!SplitFileName(path, encoding, &name, &extension)) return false;
  if (extension != ".otf" && !(trueTypeNames && extension == ".ttf")) return false;
  if (name.size() < baseName.size()) return false;
  size_t extra = name.size() - baseName.size();
  if (extra != 0 && extra != 2 && extra != 3) return false;
  return name.compare(0, baseName.size(), baseName) == 0;
}
