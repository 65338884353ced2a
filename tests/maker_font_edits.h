// Edits to built fonts for the maker's tests: finding a directory entry and
// putting checkSumAdjustment right after bytes outside the head table changed.
#ifndef OTU_TESTS_MAKER_FONT_EDITS_H_
#define OTU_TESTS_MAKER_FONT_EDITS_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "tests/font_builder.h"

namespace testfont {

// Offset of the directory entry with `tag`; 0 when there is none.
inline size_t EntryOffset(const Bytes& font, const std::string& tag) {
  const size_t count = font.size() >= 6 ? size_t{font[4]} << 8 | font[5] : 0;
  for (size_t entry = 12; entry < 12 + 16 * count && entry + 16 <= font.size(); entry += 16) {
    if (std::string(font.begin() + entry, font.begin() + entry + 4) == tag) return entry;
  }
  return 0;
}

// Sets checkSumAdjustment so that the font sums to 0xB1B0AFBA again (the head
// checksum is taken without it, so it stays right).
inline void Resum(Bytes* font) {
  const size_t head = ReadU32(*font, EntryOffset(*font, "head") + 8);
  WriteU32(font, head + 8, 0);
  uint32_t sum = 0;
  for (size_t k = 0; k < font->size(); ++k) sum += uint32_t{(*font)[k]} << (24 - 8 * (k % 4));
  WriteU32(font, head + 8, 0xB1B0AFBA - sum);
}

}  // namespace testfont

#endif  // OTU_TESTS_MAKER_FONT_EDITS_H_
