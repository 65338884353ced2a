// What a difference file does to the font it revises, as `otpa info` tells
// it: for a .pa file on its own and for each one an updater carries.
#ifndef OTU_TOOLS_OTPA_DIFFERENCE_SUMMARY_H_
#define OTU_TOOLS_OTPA_DIFFERENCE_SUMMARY_H_

#include <cstdint>
#include <string>

#include "engine/sabun_data.h"
#include "tools/otpa/info_report.h"

// Tables of the installed font that no record of an extended file names:
// the updater leaves them out of the new font. 0 for a classic file.
uint32_t DroppedTableCount(const CMakeSabunData& data);

// The fields of a loaded difference file in the object `out` is in.
void DifferenceJson(const CMakeSabunData& data, JsonReport* out);
// Its summary as lines, each started with `indent`: the font it revises,
// old and new revision, new length, date, then one line per table.
void DifferenceText(const CMakeSabunData& data, const std::string& indent, std::string* out);

#endif  // OTU_TOOLS_OTPA_DIFFERENCE_SUMMARY_H_
