// Makes the difference file that turns one installed font into its revised
// version.
#ifndef OTU_TOOLS_OTPA_MAKE_SABUN_H_
#define OTU_TOOLS_OTPA_MAKE_SABUN_H_

#include <cstdint>
#include <string>
#include <vector>

#include "tools/otpa/make_font.h"

namespace maker {

// The difference file from `oldFont` (the installed revision) to `newFont`,
// read by ReadFontFile. Tables whose bytes are unchanged get no block; every
// other table gets the cheapest block found in the `encoding` asked for.
// false, with a one-line reason in *refusal, when no difference file can
// revise `oldFont` or rebuild `newFont` exactly. *note, empty or one line,
// says what the caller should know about a file that was made. A changed
// name table goes in as literal bytes only; *nameNote, when given, gets one
// line on what that costs when copies would have been smaller.
enum class Encoding {
  // The classic format wherever it can express the pair, else the extended
  // one with copy and insert runs: the files otpa always made.
  kClassic,
  // The extended format with each table's smallest block, compressed
  // add-and-copy or runs; the classic file when it is no larger.
  kSmallest,
};

bool MakeSabunFile(const FontFile& oldFont, const FontFile& newFont, std::vector<uint8_t>* file,
                   std::string* refusal, std::string* note, std::string* nameNote = nullptr,
                   Encoding encoding = Encoding::kClassic);

}  // namespace maker

#endif  // OTU_TOOLS_OTPA_MAKE_SABUN_H_
