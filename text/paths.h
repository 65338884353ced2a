// Paths as 8-bit text in the system's encoding, cut into parts and joined,
// character by character: the second byte of a Shift-JIS pair can be the
// byte of "\\".
#ifndef OTU_TEXT_PATHS_H_
#define OTU_TEXT_PATHS_H_

#include <string>

#include "platform/text_encoding.h"

namespace text {

struct PathParts {
  std::string drive;      // "C:" or empty
  std::string folder;     // up to and including the last separator
  std::string name;       // file name without extension
  std::string extension;  // from the last "." on, or empty
};

// The path cut into drive, folder, file name and extension the way the
// Windows C runtime's path splitter does it, on every platform: "\\" and "/"
// both end a folder, a drive is a letter and ":" at the start, and the
// extension is the file name's last "." and what follows it.
PathParts SplitPath(platform::TextEncoding encoding, const std::string& path);

// `part` appended to `folder` with exactly one `separator` between them, as
// the shell's path-append does it: separators that start `part` are dropped,
// and one is added unless `folder` is empty or ends with one.
std::string AppendPath(platform::TextEncoding encoding, const std::string& folder, const std::string& part,
                       char separator);

}  // namespace text

#endif  // OTU_TEXT_PATHS_H_
