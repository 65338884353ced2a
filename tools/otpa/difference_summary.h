// What a difference file does to the font it revises, as `otpa info` tells
// it: for a .pa file on its own and for each one an updater carries.
#ifndef OTU_TOOLS_OTPA_DIFFERENCE_SUMMARY_H_
#define OTU_TOOLS_OTPA_DIFFERENCE_SUMMARY_H_

#include <cstdint>
#include <string>

#include "engine/sabun_data.h"
#include "tools/otpa/info_report.h"

// The new font's head fontRevision as the file builds it: the installed
// font's when the head table is kept, else bytes 4 to 7 of the rebuilt head,
// each from the insert run that writes it last, from a copy run that takes
// it from the same place of the installed head (whose revision the file
// states), or zero when no run writes it. False when a byte comes from
// elsewhere in the installed head, or there is no head to tell.
bool NewRevision(const CMakeSabunData& data, uint32_t* revision);

// Tables of the installed font that no record of an extended file names:
// the updater leaves them out of the new font. 0 for a classic file.
uint32_t DroppedTableCount(const CMakeSabunData& data);

// The fields of a loaded difference file in the object `out` is in.
void DifferenceJson(const CMakeSabunData& data, JsonReport* out);
// Its summary as lines, each started with `indent`: the font it revises,
// old and new revision, new length, date, then one line per table.
void DifferenceText(const CMakeSabunData& data, const std::string& indent, std::string* out);

#endif  // OTU_TOOLS_OTPA_DIFFERENCE_SUMMARY_H_
