// The configuration text read as Windows' private-profile reader reads an INI
// file, so that the embedded configuration means the same on every platform:
// - lines end at LF (a file without LF splits at CR); blanks (tab to CR,
//   Ctrl-Z, space) around lines, names and values are dropped, other
//   characters such as the ideographic space are kept;
// - "[name]" opens a section (the name runs to the line's last "]", blanks
//   inside the brackets dropped);
//   "key=value" sets a key; a line without "=" is a key without value;
// - names compare without regard to ASCII case (blanks around the names
//   asked for are dropped too); of sections with one name
//   only the first is searched, and within it the first of duplicate keys wins;
// - a value enclosed in matching "..." or '...' loses the quotes.
#ifndef OTU_CONFIG_INI_DOCUMENT_H_
#define OTU_CONFIG_INI_DOCUMENT_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/text_encoding.h"

namespace config {

class IniDocument {
 public:
  IniDocument() = default;
  IniDocument(platform::TextEncoding encoding, const uint8_t* bytes, size_t size);

  // The value of `key` in `section` as read into a buffer of `bufferSize`
  // bytes: at most bufferSize - 1 bytes, cut before a character that would
  // not fit whole. Empty when the key or its value is missing.
  std::string Text(const char* section, const char* key, size_t bufferSize) const;

  // The value's leading decimal number (see LeadingDecimal), or `fallback`
  // when the key is missing or its value is empty. Only the first 29 bytes of
  // the value are looked at.
  int32_t Integer(const char* section, const char* key, int32_t fallback) const;

  // Whether the text has a section of that name.
  bool HasSection(const char* section) const;

 private:
  struct Key {
    std::string name;
    std::string value;
    bool hasValue;
  };
  struct Section {
    std::string name;
    std::vector<Key> keys;
  };

  void AddLine(const std::string& line);
  const Key* Find(const char* section, const char* key) const;
  bool SameName(const std::string& stored, const char* wanted) const;

  platform::TextEncoding encoding_ = platform::TextEncoding::kSingleByte;
  std::vector<Section> sections_;
};

// Leading blanks, an optional sign and the decimal digits after it, wrapping
// around modulo 2^32 like the system's conversion; 0 when no digit follows.
int32_t LeadingDecimal(const std::string& text);

}  // namespace config

#endif  // OTU_CONFIG_INI_DOCUMENT_H_
