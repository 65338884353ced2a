#include "discovery/download_files.h"

#include "text/multibyte.h"

const char kDownloadFileNames[kDownloadFileNameCount][260] = {
    "10001", "10002", "10003", "10004", "10005", "10006", "10007", "10008",
};

namespace {

// A marker right at the start of the path (a root such as C:\ holds at most
// five bytes before it) is not the software's folder.
constexpr size_t kFirstMarkerPosition = 6;

const char* const kWindowsMarkers[] = {"\\Tavrelon\\Fonts\\Download\\add\\",
                                       "\\Pennrook\\Fonts\\Download\\add\\"};
const char* const kSlashMarkers[] = {"/Tavrelon/Fonts/Download/add/", "/Pennrook/Fonts/Download/add/"};

}  // namespace

bool IsDownloadFileName(const std::string& fileName) {
  for (const char* name : kDownloadFileNames) {
    if (fileName == name) return true;
  }
  return false;
}

bool InDownloadFolder(const std::string& fullPath, const NameRules& rules) {
  const char* const* markers = rules.separator == '\\' ? kWindowsMarkers : kSlashMarkers;
  for (int i = 0; i < 2; ++i) {
    size_t found = text::FindText(fullPath, markers[i], rules.encoding);
    if (found != std::string::npos && found >= kFirstMarkerPosition) return true;
  }
  return false;
}
