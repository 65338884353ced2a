// Texts with one argument: the messages and progress texts of the program.
// Their formats come from the program's own tables and hold at most one "%s";
// only that placeholder is replaced, so a format can never read an argument
// it was not given.
#ifndef OTU_TEXT_FORMAT_H_
#define OTU_TEXT_FORMAT_H_

#include <string>

namespace text {

// `format` with its first "%s" replaced by `argument`; without one, `format`
// as it is.
std::string FormatText(const std::string& format, const std::string& argument);

}  // namespace text

#endif  // OTU_TEXT_FORMAT_H_
