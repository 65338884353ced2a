// How this system's 8-bit text (paths, configuration values, messages) is cut
// into characters. Searching a name for an ASCII byte, or cutting it to a
// buffer, must not start at or split the second byte of a double-byte
// character.
#ifndef OTU_PLATFORM_TEXT_ENCODING_H_
#define OTU_PLATFORM_TEXT_ENCODING_H_

namespace platform {

enum class TextEncoding {
  kSingleByte,  // every byte is a character
  kShiftJis,    // code page 932: lead bytes 0x81-0x9F and 0xE0-0xFC start a pair
  kUtf8,
};

// Windows: Shift-JIS when the ANSI code page is 932, single bytes otherwise.
// POSIX: UTF-8.
TextEncoding SystemTextEncoding();

}  // namespace platform

#endif  // OTU_PLATFORM_TEXT_ENCODING_H_
