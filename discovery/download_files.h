// The files that the maker's font-delivery software downloads: fixed numeric
// names in its download folders. They are deleted after a fully successful
// revision, since they hold the old revisions.
#ifndef OTU_DISCOVERY_DOWNLOAD_FILES_H_
#define OTU_DISCOVERY_DOWNLOAD_FILES_H_

#include <string>

#include "discovery/name_rules.h"

constexpr int kDownloadFileNameCount = 8;

// The names, whole and without extension, in the order they are compared.
extern const char kDownloadFileNames[kDownloadFileNameCount][260];

// True when `fileName` is one of the download names (exact, case-sensitive).
bool IsDownloadFileName(const std::string& fileName);

// True when `fullPath` lies in one of the software's download folders: one of
// the two folder markers occurs in it after its first six bytes.
bool InDownloadFolder(const std::string& fullPath, const NameRules& rules);

#endif  // OTU_DISCOVERY_DOWNLOAD_FILES_H_
