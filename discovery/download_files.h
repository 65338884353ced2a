// The files that the maker's font-delivery software downloads: fixed numeric
// names in its download folders. They are deleted after a fully successful
// revision, since they hold the old revisions.
#ifndef OTU_DISCOVERY_DOWNLOAD_FILES_H_
#define OTU_DISCOVERY_DOWNLOAD_FILES_H_

#include <string>
#include <vector>

#include "discovery/name_rules.h"

constexpr int kDownloadFileNameCount = 8;

// The names, whole and without extension, in the order they are compared.
extern const char kDownloadFileNames[kDownloadFileNameCount][260];

// The delivery software's download folders, each written with '\\' around its
// folder names, and its file names. A maker's package may name its own.
struct DownloadPlaces {
  std::vector<std::string> folderMarkers;
  std::vector<std::string> fileNames;
};

// Tavrelon's: its two folders and the eight names above.
const DownloadPlaces& DefaultDownloadPlaces();

// True when `fileName` is one of the download names (exact, case-sensitive).
bool IsDownloadFileName(const std::string& fileName);
bool IsDownloadFileName(const std::string& fileName, const DownloadPlaces& places);

// True when `fullPath` lies in one of the software's download folders: one of
// the folder markers, with the system's separator, occurs in it after its
// first six bytes.
bool InDownloadFolder(const std::string& fullPath, const NameRules& rules);
bool InDownloadFolder(const std::string& fullPath, const NameRules& rules, const DownloadPlaces& places);

#endif  // OTU_DISCOVERY_DOWNLOAD_FILES_H_
