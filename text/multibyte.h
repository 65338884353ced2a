// Character-wise walks over 8-bit text in the system's encoding. The second
// byte of a Shift-JIS pair may equal an ASCII byte ("ソ" is 0x83 0x5C, "ダ" is
// 0x83 0x5F), so searches for "\\", "_" or "]" must step over whole characters.
#ifndef OTU_TEXT_MULTIBYTE_H_
#define OTU_TEXT_MULTIBYTE_H_

#include <cstddef>
#include <string>

#include "platform/text_encoding.h"

namespace text {

// Length of the character that starts at text[at], never beyond text's end.
// A lead byte without its continuation counts as one character.
size_t CharLength(platform::TextEncoding encoding, const std::string& text, size_t at);

// Position of the first character equal to the ASCII byte `c`, or npos.
size_t FindChar(platform::TextEncoding encoding, const std::string& text, char c);

// Position of the last character equal to the ASCII byte `c`, or npos.
size_t FindLastChar(platform::TextEncoding encoding, const std::string& text, char c);

// The longest length not above `limit` that ends on a character boundary.
size_t WholeCharsWithin(platform::TextEncoding encoding, const std::string& text, size_t limit);

// Position of the first occurrence of `needle` in `text` that begins on a
// character boundary, so that the second byte of a character never starts a
// match; npos when there is none.
size_t FindText(const std::string& text, const char* needle, platform::TextEncoding encoding);

}  // namespace text

#endif  // OTU_TEXT_MULTIBYTE_H_
