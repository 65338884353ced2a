// The pieces `otpa info` writes its answers with: JSON for scripts, and the
// numbers of a font as its maker reads them.
#ifndef OTU_TOOLS_OTPA_INFO_REPORT_H_
#define OTU_TOOLS_OTPA_INFO_REPORT_H_

#include <cstdint>
#include <string>
#include <vector>

// Appends the printf-formatted text to `out`.
void Appendf(std::string* out, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Nested JSON objects and lists written into a string, keys in the order
// given; a newline after the outermost value.
class JsonReport {
 public:
  explicit JsonReport(std::string* out) : out_(out) {}

  // An object, or a list when `list`; `name` is ignored inside a list.
  void Begin(const char* name, bool list = false);
  void End();
  void Number(const char* name, uint64_t value);
  // "0x0001A000", as scripts read revisions and checksums.
  void Hex(const char* name, uint32_t value);
  // Bytes of a font's 8-bit text: each byte past ASCII is written as the
  // character of its value.
  void Text(const char* name, const std::string& value);
  // Text already in UTF-8, written as it is.
  void Utf8(const char* name, const std::string& value);
  void Flag(const char* name, bool value);
  void Null(const char* name);

 private:
  void Key(const char* name);
  void Quoted(const std::string& value, bool utf8);

  std::string* out_;
  std::vector<bool> first_;
  std::vector<bool> list_;
};

// A table tag's four bytes, those outside printable ASCII as "?".
std::string TagText(const uint8_t* tag);
// A head table's 8-byte date (seconds since 1904-01-01 00:00 UTC, signed)
// as "2024-05-01 12:00:00 UTC".
std::string DateText(const uint8_t (&date)[8]);
// The same 8 bytes as the unsigned number the JSON output has always given.
uint64_t DateNumber(const uint8_t (&date)[8]);
// 12345 as "12,345".
std::string CountText(uint64_t count);
// "1 run", "2 runs".
std::string Counted(uint64_t count, const char* singular, const char* plural);

#endif  // OTU_TOOLS_OTPA_INFO_REPORT_H_
