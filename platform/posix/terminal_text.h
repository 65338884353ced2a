// UTF-8 text as a terminal shows it: how many columns it takes (wide East
// Asian characters take two), and cut into lines that fit a width.
#ifndef OTU_PLATFORM_POSIX_TERMINAL_TEXT_H_
#define OTU_PLATFORM_POSIX_TERMINAL_TEXT_H_

#include <string>
#include <vector>

namespace platform {

// Columns that `text` takes on a terminal. Bytes that are no UTF-8 take one
// column each, so a broken text never makes a line longer than counted.
int DisplayWidth(const std::string& text);

// The lines of `text` (broken at "\r\n", "\n" or "\r"), each cut further
// into pieces of at most `width` columns between characters. An empty text
// is one empty line.
std::vector<std::string> WrapLines(const std::string& text, int width);

// WrapLines for a text of words between spaces: a piece ends at the last
// space that lets it fit (the space dropped), and only a word longer than
// the width is cut between characters.
std::vector<std::string> WrapWords(const std::string& text, int width);

// `text` followed by spaces up to `width` columns.
std::string PadToWidth(const std::string& text, int width);

}  // namespace platform

#endif  // OTU_PLATFORM_POSIX_TERMINAL_TEXT_H_
