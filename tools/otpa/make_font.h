// A font as the maker reads it: the engine's model of its offset table and
// directory over the file's bytes, and the checks that decide whether a
// difference file can revise it (the installed side) or rebuild it exactly
// (the revised side).
#ifndef OTU_TOOLS_OTPA_MAKE_FONT_H_
#define OTU_TOOLS_OTPA_MAKE_FONT_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/font_model.h"
#include "engine/name_table.h"

namespace maker {

// The longest font name a difference file's 32-byte field holds with its NUL.
constexpr size_t kMaxFontNameLength = 31;

struct FontFile {
  std::string label;  // how refusals name the font, e.g. its path
  std::vector<uint8_t> bytes;
  COpenTypeHeader header;
  TagList tables;  // directory order; their data points into bytes

  const CTagObject* Find(const char* tagText) const { return FindTag(tables, tagText); }
};

// What the updater reads from the installed font and carries over.
struct InstalledIdentity {
  char fontName[kFontNameSize] = {};
  uint32_t fontRevision = 0;
  uint8_t macintoshLicense[kLicenseTextSize] = {};
  uint8_t windowsLicense[kLicenseTextSize] = {};
};

// Loads `bytes` into `font`. false, with a one-line reason, unless it is an
// OpenType font with CFF or TrueType outlines (not a collection or a web
// font) whose directory and tables lie inside the file, with each tag once
// and a head table of 54 bytes.
bool ReadFontFile(std::string label, std::vector<uint8_t> bytes, FontFile* font, std::string* refusal);

// True when a classic difference file can revise `font`: CFF outlines
// (OTTO) and only the tables the updater of classic files accepts; false
// with the first reason otherwise.
bool FitsClassicTables(const FontFile& font, std::string* refusal);

// The font name (fifth name record), the head fontRevision and the two
// License Description texts; false, with a reason, when one is missing or
// the name does not fit a classic difference file.
bool ReadInstalledIdentity(const FontFile& font, InstalledIdentity* identity, std::string* refusal);

// How an extended difference file names the installed font.
struct ExtendedIdentity {
  uint16_t nameId = 0;
  std::string name;  // the record's text as the updater compares it
  uint32_t fontRevision = 0;
};

// The name that an extended difference file knows `font` by: its
// PostScript name (name ID 6), or its full name (ID 4) when it has none;
// false, with a reason, when it has neither, the name does not fit 255
// bytes, or its name table is not well-formed.
bool ReadExtendedIdentity(const FontFile& font, ExtendedIdentity* identity, std::string* refusal);

// True when the searchRange, entrySelector and rangeShift of `font` are the
// ones its table count gives, as the updater writes them for a new font of
// another table count; false with the reason otherwise.
bool CheckSearchFields(const FontFile& font, std::string* refusal);

// The License Description texts of `font`; false when it lacks either.
bool ReadLicenseTexts(const FontFile& font, uint8_t macintosh[kLicenseTextSize], uint8_t windows[kLicenseTextSize]);

// True when the updater, which lays the tables back to back in the order of
// their offsets, padded with zero bytes, and recomputes every checksum,
// reproduces the font byte for byte: tags ascend in the directory, the tables
// follow the directory without gap or overlap on 4-byte boundaries, padding
// is zero, nothing follows the last table, and the checksums are the ones the
// updater computes. Otherwise false with the first reason found.
bool CheckReproducible(const FontFile& font, std::string* refusal);

// Directory positions of the tables in the order of their offsets in the
// file (an empty table before a table at the same offset).
std::vector<size_t> PhysicalOrder(const FontFile& font);

// The head table's modified date, as stored (the font has passed ReadFontFile).
void ReadModifiedDate(const FontFile& font, uint8_t date[8]);

// True when the bytes after the table up to its padded length, as far as the
// file holds them, are zero. A table carried over unchanged is checksummed
// with these bytes.
bool PaddingIsZero(const CTagObject& table);

}  // namespace maker

#endif  // OTU_TOOLS_OTPA_MAKE_FONT_H_
