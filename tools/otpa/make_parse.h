// Chooses the runs of one table's difference block: which stretches of the
// new table to copy from the old table and which to carry as literal bytes,
// at the least block size.
#ifndef OTU_TOOLS_OTPA_MAKE_PARSE_H_
#define OTU_TOOLS_OTPA_MAKE_PARSE_H_

#include <cstddef>
#include <cstdint>
#include <vector>

#include "tools/otpa/make_matcher.h"

namespace maker {

struct CopyRun {
  uint32_t source;  // offset in the old table
  uint32_t length;
  uint32_t destination;  // offset in the new table
};

// The literal bytes are the new table's bytes [destination, destination + length).
struct InsertRun {
  uint32_t destination;
  uint32_t length;
};

// Both lists ascend by destination and together cover the new table once.
struct TableRuns {
  std::vector<CopyRun> copies;
  std::vector<InsertRun> inserts;
};

// Bytes the block takes in a difference file: two counts, 12 per copy run,
// 8 per insert run plus its literal bytes.
uint64_t BlockSize(const TableRuns& runs);

// Runs that rebuild neu[0, newLength) from old[0, oldLength) with the
// smallest block: every choice of runs is weighed by its exact cost in the
// file, over the longest old match at every position of the new table.
TableRuns ParseTable(const uint8_t* old, size_t oldLength, const uint8_t* neu, size_t newLength);
// The same over an index of the old table made once for several searches.
TableRuns ParseTable(const OldTableIndex& index, const uint8_t* neu, size_t newLength);

}  // namespace maker

#endif  // OTU_TOOLS_OTPA_MAKE_PARSE_H_
