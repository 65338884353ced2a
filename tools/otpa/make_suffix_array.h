// Suffix array of an old table: the order in which the matcher looks up the
// longest run of old bytes that a stretch of the new table starts with.
#ifndef OTU_TOOLS_OTPA_MAKE_SUFFIX_ARRAY_H_
#define OTU_TOOLS_OTPA_MAKE_SUFFIX_ARRAY_H_

#include <cstddef>
#include <cstdint>
#include <vector>

namespace maker {

// Start positions of all suffixes of text[0, length), in ascending byte order
// of the suffixes (a suffix that is a prefix of another sorts first). Built by
// induced sorting in time linear in length; length must stay below 2^31.
std::vector<int32_t> BuildSuffixArray(const uint8_t* text, size_t length);

}  // namespace maker

#endif  // OTU_TOOLS_OTPA_MAKE_SUFFIX_ARRAY_H_
