// A font revision as the font tools show it: head's fontRevision, a 16.16
// fixed-point number, to three decimals (0x00010083 is "1.002").
#ifndef OTU_TEXT_REVISION_H_
#define OTU_TEXT_REVISION_H_

#include <cstdint>
#include <string>

namespace text {

std::string RevisionText(uint32_t fixed);

}  // namespace text

#endif  // OTU_TEXT_REVISION_H_
