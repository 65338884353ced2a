// What `otpa info` tells of a file: a font, a difference file, or the
// package an updater program carries.
#ifndef OTU_TOOLS_OTPA_INFO_DESCRIBE_H_
#define OTU_TOOLS_OTPA_INFO_DESCRIBE_H_

#include <cstdint>
#include <string>
#include <vector>

// The description of the file whose bytes are `file`, as lines for a
// person or as one JSON object, in `out`. False, with a one-line reason,
// when the file is none of the three kinds or cannot be read as its kind.
bool DescribeFile(std::vector<uint8_t> file, bool json, std::string* out, std::string* reason);

#endif  // OTU_TOOLS_OTPA_INFO_DESCRIBE_H_
