#include "discovery/download_files.h"

#include "text/multibyte.h"

const char kDownloadFileNames[kDownloadFileNameCount][260] = {
    "10001", "10002", "10003", "10004", "10005", "10006", "10007", "10008",
};

namespace {

// A marker right at the start of the path (a root such as C:\ holds at most
// five bytes before it) is not the software's folder.
constexpr size_t kFirstMarkerPosition = 6;

// A marker with the system's separator in place of each '\'. Whole
// characters only: in Shift-JIS a '\' byte may be the second half of one.
std::string WithSeparator(const std::string& marker, const NameRules& rules) {
  if (rules.separator == '\\') return marker;
  std::string converted;
  for (size_t at = 0; at < marker.size();) {
    size_t length = text::CharLength(rules.encoding, marker, at);
    if (length == 0) length = 1;
    if (length == 1 && marker[at] == '\\') {
      converted += rules.separator;
    } else {
      converted.append(marker, at, length);
    }
    at += length;
  }
  return converted;
}

}  // namespace

const DownloadPlaces& DefaultDownloadPlaces() {
  static const DownloadPlaces places = [] {
    DownloadPlaces made;
    made.folderMarkers = {"\\Tavrelon\\Fonts\\Download\\add\\", "\\Pennrook\\Fonts\\Download\\add\\"};
    for (const char* name : kDownloadFileNames) made.fileNames.push_back(name);
    return made;
  }();
  return places;
}

bool IsDownloadFileName(const std::string& fileName) { return IsDownloadFileName(fileName, DefaultDownloadPlaces()); }

bool IsDownloadFileName(const std::string& fileName, const DownloadPlaces& places) {
  for (const std::string& name : places.fileNames) {
    if (fileName == name) return true;
  }
  return false;
}

bool InDownloadFolder(const std::string& fullPath, const NameRules& rules) {
  return InDownloadFolder(fullPath, rules, DefaultDownloadPlaces());
}

bool InDownloadFolder(const std::string& fullPath, const NameRules& rules, const DownloadPlaces& places) {
  for (const std::string& marker : places.folderMarkers) {
    size_t found = text::FindText(fullPath, WithSeparator(marker, rules).c_str(), rules.encoding);
    if (found != std::string::npos && found >= kFirstMarkerPosition) return true;
  }
  return false;
}
