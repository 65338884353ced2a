// A path cut into drive, folder, file name and extension the way the Windows
// C runtime's path splitter does it, on every platform: "\\" and "/" both end
// a folder, a drive is a letter and ":" at the start, and the extension is the
// file name's last "." and what follows it.
#ifndef OTU_CONFIG_PATH_SPLIT_H_
#define OTU_CONFIG_PATH_SPLIT_H_

#include <string>

#include "platform/text_encoding.h"

namespace config {

struct PathParts {
  std::string drive;      // "C:" or empty
  std::string folder;     // up to and including the last separator
  std::string name;       // file name without extension
  std::string extension;  // from the last "." on, or empty
};

PathParts SplitPath(platform::TextEncoding encoding, const std::string& path);

}  // namespace config

#endif  // OTU_CONFIG_PATH_SPLIT_H_
