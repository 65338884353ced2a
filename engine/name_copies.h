// Whether the copy runs of a name table's difference block can be trusted
// with the installed name table that they copy from.
#ifndef OTU_ENGINE_NAME_COPIES_H_
#define OTU_ENGINE_NAME_COPIES_H_

#include <cstddef>
#include <cstdint>

#include "engine/sabun_data.h"

// Copy runs take bytes from the installed name table by position. Its
// License Description texts are the customer's own: longer or shorter than
// in the font the difference file was made from, they move every string
// stored after them, and a copy then takes the wrong bytes. True when
// `rebuilt` (the name table the runs built, `rebuiltLength` bytes) is
// well-formed and the `copies` from `installed` took what they were made
// to take, as far as the two tables can show it:
// - every string of the rebuilt table that starts inside a copy starts,
//   in the installed table, where the copy took it from;
// - bytes of an installed License Description go only into License
//   Descriptions, which the carry-over writes anyway;
// - no License Description of the rebuilt table shares bytes with another
//   string, which its carried text would overwrite.
// A copy that lies wholly inside one string, and takes no string's start,
// cannot be told from one shifted by a text of another length.
bool NameCopiesFitInstalled(const CopyRunList& copies, const uint8_t* installed, size_t installedLength,
                            const uint8_t* rebuilt, size_t rebuiltLength);

#endif  // OTU_ENGINE_NAME_COPIES_H_
