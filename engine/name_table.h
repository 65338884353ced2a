// The name table, decoded only to read the font name and the two License
// Description texts out of it.
#ifndef OTU_ENGINE_NAME_TABLE_H_
#define OTU_ENGINE_NAME_TABLE_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/font_model.h"

// Size of a carried License Description text and of a font name buffer.
constexpr size_t kLicenseTextSize = 255;
constexpr size_t kFontNameSize = 255;
constexpr uint16_t kLicenseNameId = 13;
// Stands for a format-1 language tag, which no name record's ID is.
constexpr uint16_t kLanguageTagId = 0xFFFF;

class CNameRecordObject : public COpenTypeObject {
 public:
  static constexpr size_t kTextSize = 260;
  static constexpr size_t kRecordSize = 12;

  // Reads the record at `recordOffset` and copies its string (at most 260
  // bytes of it; `length` keeps the stored length). 0 when the record or its
  // string lies outside the table.
  int ReadRecord(const uint8_t* table, size_t tableLength, size_t recordOffset, uint16_t stringOffset);

  uint16_t platformID = 0;
  uint16_t encodingID = 0;
  uint16_t languageID = 0;
  uint16_t nameID = 0;
  uint16_t length = 0;
  uint16_t offset = 0;
  uint8_t text[kTextSize] = {};
};

class CNameTableObject : public CTagObject {
 public:
  static constexpr size_t kHeaderSize = 6;

  // 1, or 0 when the header, a record or a string lies outside the table.
  int ReadNameTable(const uint8_t* table, size_t tableLength);

  uint16_t format = 0;
  uint16_t count = 0;
  uint16_t stringOffset = 0;
  std::vector<std::unique_ptr<CNameRecordObject>> records;
};

// Where one record's string lies in its name table.
struct NameString {
  uint16_t platformID;
  uint16_t encodingID;
  uint16_t languageID;
  uint16_t nameID;
  uint32_t start;  // from the start of the table
  uint32_t length;
};

// The strings of the name table in `table` (`length` bytes), in record
// order; a format-1 table's language tags follow, as Unicode-platform
// strings of name ID kLanguageTagId. false unless the table is well-formed:
// the records (and, in format 1, the language-tag records) lie inside it,
// before the string storage, and every string lies in the storage, the
// UTF-16 strings of the Unicode and Windows platforms of even length.
bool ReadNameStrings(const uint8_t* table, size_t length, std::vector<NameString>* strings);

// The text of the record that names a font by `nameId` in the name table in
// `table`: of the well-formed table's records with that ID, the first
// Windows one in US English, else the first Windows one, else the first
// Macintosh one, else the first Unicode one; UTF-16 text as UTF-8, other
// text as stored. false when there is none or it is empty.
bool FindNameText(const uint8_t* table, size_t length, uint16_t nameId, std::string* text);

// One License Description record of an installed font, carried into the
// record of the same platform, encoding and language of the new font.
struct LicenceRecord {
  uint16_t platformID;
  uint16_t encodingID;
  uint16_t languageID;
  std::vector<uint8_t> text;
};

// Every License Description record of the well-formed name table in
// `table`, in record order; false when the table is not well-formed.
bool ReadLicenceRecords(const uint8_t* table, size_t length, std::vector<LicenceRecord>* records);

// The name table in `table` with each License Description record for which
// `carried` holds one of the same platform, encoding and language (the
// first such) given that one's text. When every carried text keeps its
// record's length and no record that takes one shares bytes with another
// string, only those bytes change; otherwise the table is written anew:
// the same header, records and language tags in the same order, the strings
// back to back in that order. false when the table is not well-formed or
// the strings outgrow the 64 KB that string offsets reach.
bool CarryLicenceRecords(const uint8_t* table, size_t length, const std::vector<LicenceRecord>& carried,
                         std::vector<uint8_t>* out);

class CTagNameObject : public CTagObject {
 public:
  // Decodes this table (ReadEntry has run).
  int LoadNameTable();
  // The fifth record's text as a NUL-terminated string (cut to 254
  // characters). 1, or 0 when there is no fifth record or its text is empty.
  int GetFontName(char name[kFontNameSize]) const;
  // Copies the first Macintosh (1, 0, 0, 13) and Windows (3, 1, 0x409, 13)
  // License Description strings into the caller's zero-filled buffers. 1 when
  // both exist; 0 otherwise, also when one is longer than 255 bytes (it is
  // then not copied).
  int GetLicenseText(uint8_t macintosh[kLicenseTextSize], uint8_t windows[kLicenseTextSize]) const;

  CNameTableObject nameTable;
};

#endif  // OTU_ENGINE_NAME_TABLE_H_
