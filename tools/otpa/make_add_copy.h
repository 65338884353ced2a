// Encodes one table's difference block in the compressed add-and-copy
// encoding: approximate matches against the old table (exact matches
// extended across the few bytes that differ, as bsdiff does), their
// byte-wise differences, the bytes no match covers, and one zlib stream.
#ifndef OTU_TOOLS_OTPA_MAKE_ADD_COPY_H_
#define OTU_TOOLS_OTPA_MAKE_ADD_COPY_H_

#include <cstddef>
#include <cstdint>
#include <vector>

#include "tools/otpa/make_matcher.h"

namespace maker {

// The streams of a block, before compression; one difference byte for each
// byte the steps add (PackAddCopy stores them as stretches).
struct AddCopyStreams {
  std::vector<uint8_t> control;
  std::vector<uint8_t> differences;
  std::vector<uint8_t> extra;
};

// Steps that make neu[0, newLength) from old[0, oldLength); with no old
// table (oldLength 0), the table as extra bytes only.
AddCopyStreams MatchTable(const uint8_t* old, size_t oldLength, const uint8_t* neu, size_t newLength);
// The same over an index of the old table made once for several searches.
AddCopyStreams MatchTable(const OldTableIndex& index, const uint8_t* neu, size_t newLength);

// One step over the whole table: each new byte against the old byte at the
// same offset, the bytes past the old table's end as extra bytes. Tables of
// fixed-size records whose values all moved (offsets, metrics) have no exact
// matches to start from, yet differ from their old bytes in few places.
AddCopyStreams AlignTable(const uint8_t* old, size_t oldLength, const uint8_t* neu, size_t newLength);

// The block as stored: the three lengths and the zlib stream. False when
// zlib fails (it has no memory).
bool PackAddCopy(const AddCopyStreams& streams, std::vector<uint8_t>* block);

}  // namespace maker

#endif  // OTU_TOOLS_OTPA_MAKE_ADD_COPY_H_
