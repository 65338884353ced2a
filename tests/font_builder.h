// Small OpenType (OTTO) fonts and difference files assembled in code, for
// tests that must not ship binary fonts.
#ifndef OTU_TESTS_FONT_BUILDER_H_
#define OTU_TESTS_FONT_BUILDER_H_

#include <cstdint>
#include <string>
#include <vector>

namespace testfont {

using Bytes = std::vector<uint8_t>;

struct Table {
  std::string tag;  // four characters, e.g. "CFF "
  Bytes bytes;
};

struct NameRecord {
  uint16_t platformID;
  uint16_t encodingID;
  uint16_t languageID;
  uint16_t nameID;
  Bytes text;  // as stored: 8-bit for Macintosh, UTF-16BE for Windows
};

// ASCII text as UTF-16 big-endian.
Bytes Utf16Be(const std::string& ascii);
Bytes Text(const std::string& text);

// A format-0 name table with the records in the given order (strings stored
// back to back in that order).
Bytes NameTable(const std::vector<NameRecord>& records);
// Records of a font the updater revises: four Macintosh records (family,
// subfamily, unique name... name IDs 1 to 3 and 0), the Macintosh full name
// (1, 0, 0, 4) as the fifth record, then the Macintosh (1, 0, 0, 13) and
// Windows (3, 1, 0x409, 13) License Descriptions. An empty licence text
// leaves that record out.
std::vector<NameRecord> StandardNameRecords(const std::string& fullName, const std::string& macintoshLicense,
                                            const std::string& windowsLicense);
// A 54-byte head table with the given fontRevision (checkSumAdjustment 0).
Bytes HeadTable(uint32_t fontRevision, uint8_t modifiedSeed = 0);

// An OTTO font: directory in the given order, tables back to back in the
// same order from 12 + 16 * count, each padded with zero bytes to a multiple
// of 4; directory checksums computed; when a head table of at least 12 bytes
// exists, its checksum is taken with checkSumAdjustment 0 and
// checkSumAdjustment makes the whole font sum to 0xB1B0AFBA.
Bytes BuildFont(const std::vector<Table>& tables, uint32_t sfntVersion = 0x4F54544F);

// A revisable font: BASE, CFF , head, name (standard records), post; the
// CFF table's bytes derive from `cffSeed`.
std::vector<Table> SampleTables(uint32_t fontRevision, const std::string& fullName, int cffSeed,
                                size_t cffLength = 37);

struct CopyRun {
  int32_t source;
  int32_t length;
  int32_t destination;
};
struct InsertRun {
  int32_t destination;
  Bytes bytes;
};
struct SabunRecord {
  std::string tag;
  uint8_t newIndex = 0;
  uint8_t order = 0;
  bool hasBlock = false;
  uint32_t newLength = 0;
  uint32_t newOffset = 0;
  std::vector<CopyRun> copies;
  std::vector<InsertRun> inserts;
};
struct SabunFile {
  std::string magic = "XOTP";
  std::string fontName;
  uint32_t expectedRevision = 0;
  uint32_t newFileLength = 0;
  std::vector<SabunRecord> records;  // stored in this order
};

// The difference file bytes: header, records, then the blocks of the records
// that have one, back to back in record order.
Bytes BuildSabun(const SabunFile& file);

// A difference file that turns the font BuildFont(oldTables) into
// BuildFont(newTables) (same tags, same order): identical tables are carried
// over; a changed table copies its common prefix from the old table and
// inserts the rest.
SabunFile DiffTables(const std::vector<Table>& oldTables, const std::vector<Table>& newTables,
                     const std::string& fontName, uint32_t expectedRevision);

// Big-endian helpers for tests that poke at bytes.
uint32_t ReadU32(const Bytes& bytes, size_t offset);
void WriteU32(Bytes* bytes, size_t offset, uint32_t value);

}  // namespace testfont

#endif  // OTU_TESTS_FONT_BUILDER_H_
