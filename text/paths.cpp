#include "text/paths.h"

#include "text/multibyte.h"

namespace text {

PathParts SplitPath(platform::TextEncoding encoding, const std::string& path) {
  PathParts parts;
  std::string rest = path;
  if (rest.size() >= 2 && rest[1] == ':') {
    parts.drive = rest.substr(0, 2);
    rest.erase(0, 2);
  }
  size_t backslash = FindLastChar(encoding, rest, '\\');
  size_t slash = FindLastChar(encoding, rest, '/');
  size_t separator = backslash == std::string::npos ? slash
                     : slash == std::string::npos  ? backslash
                     : backslash > slash           ? backslash
                                                   : slash;
  if (separator != std::string::npos) {
    parts.folder = rest.substr(0, separator + 1);
    rest.erase(0, separator + 1);
  }
  size_t dot = FindLastChar(encoding, rest, '.');
  if (dot != std::string::npos) {
    parts.extension = rest.substr(dot);
    rest.erase(dot);
  }
  parts.name = rest;
  return parts;
}

std::string AppendPath(platform::TextEncoding encoding, const std::string& folder, const std::string& part,
                       char separator) {
  size_t start = part.find_first_not_of(separator);
  std::string joined = folder;
  size_t last = FindLastChar(encoding, folder, separator);
  if (!folder.empty() && (last == std::string::npos || last + 1 != folder.size())) joined += separator;
  if (start != std::string::npos) joined.append(part, start, std::string::npos);
  return joined;
}

}  // namespace text
