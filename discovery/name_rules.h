// File-name rules of the search: splitting a file name from its folders, and
// which file names a target accepts. Texts are 8-bit in the system's
// encoding.
#ifndef OTU_DISCOVERY_NAME_RULES_H_
#define OTU_DISCOVERY_NAME_RULES_H_

#include <cstddef>
#include <string>

#include "platform/text_encoding.h"

struct NameRules {
  char separator;  // ends each folder of the paths the walk makes
  platform::TextEncoding encoding;
};

// A name part or extension must fit a 256-byte buffer with its zero byte.
constexpr size_t kNamePartSize = 256;

// The file name of `path` without folders, split into the name part and the
// extension (from the last "." on, or empty). False when a part does not fit
// kNamePartSize: such a name is never cut to fit, since a cut name could pass
// for another.
bool SplitFileName(const std::string& path, platform::TextEncoding encoding, std::string* name,
                   std::string* extension);

// The base-name rule: the extension of the file name of `path` is ".otf"
// (or, with `trueTypeNames`, ".ttf") and its name part is `baseName` itself
// or `baseName` followed by exactly two or three bytes.
bool MatchesBaseName(const std::string& path, const std::string& baseName, platform::TextEncoding encoding,
                     bool trueTypeNames = false);

#endif  // OTU_DISCOVERY_NAME_RULES_H_
