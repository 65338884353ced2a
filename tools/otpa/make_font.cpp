#include "tools/otpa/make_font.h"

#include <algorithm>
#include <cstring>

#include "engine/byte_io.h"
#include "engine/head_table.h"
#include "engine/sabun_format.h"

namespace maker {
namespace {

constexpr uint32_t kFontChecksumTotal = 0xB1B0AFBA;
constexpr size_t kModifiedOffset = 28;
// What a font collection and the web fonts start with.
constexpr uint32_t kCollection = 0x74746366;  // 'ttcf'
constexpr uint32_t kWoff = 0x774F4646;        // 'wOFF'
constexpr uint32_t kWoff2 = 0x774F4632;       // 'wOF2'
constexpr uint16_t kFullNameId = 4;
// An extended difference file keeps the name's length in one byte.
constexpr size_t kMaxExtendedNameLength = 255;

std::string Quoted(const char* tagText) { return std::string("'") + tagText + "'"; }

bool Refuse(const std::string& label, const std::string& why, std::string* refusal) {
  *refusal = label + ": " + why;
  return false;
}

const uint8_t* DirectoryEntry(const FontFile& font, size_t k) {
  return font.bytes.data() + kOffsetTableSize + kDirectoryEntrySize * k;
}

// The name table decoded by the engine's reader; false when there is none
// or it does not decode.
bool LoadNames(const FontFile& font, CTagNameObject* names) {
  for (size_t k = 0; k < font.tables.size(); ++k) {
    if (std::strcmp(font.tables[k]->tagText, "name") != 0) continue;
    return names->ReadEntry(DirectoryEntry(font, k), font.bytes.data(), font.bytes.size()) >= 0 &&
           names->LoadNameTable() == 1;
  }
  return false;
}

uint32_t PaddedEnd(const CTagObject& table) { return table.offset + static_cast<uint32_t>(table.paddedLength); }

}  // namespace

bool ReadFontFile(std::string label, std::vector<uint8_t> bytes, FontFile* font, std::string* refusal) {
  font->label = std::move(label);
  font->bytes = std::move(bytes);
  const uint8_t* data = font->bytes.data();
  const size_t size = font->bytes.size();
  uint32_t version = 0;
  otu::LoadU32(data, size, 0, &version);
  if (version == kCollection) {
    return Refuse(font->label, "a font collection (ttcf), not an installed font: give its fonts one by one", refusal);
  }
  if (version == kWoff || version == kWoff2) {
    return Refuse(font->label, "a web font (WOFF), not an installed font: give the OpenType font it was made from",
                  refusal);
  }
  if (font->header.ReadHeader(data, size, true) != 1) {
    return Refuse(font->label, "not an OpenType font with CFF outlines (sfnt version is not OTTO)", refusal);
  }
  if (LoadTableDirectory(font->header, data, size, false, &font->tables) != 1) {
    return Refuse(font->label, "its table directory or a table extends past the end of the file", refusal);
  }
  for (size_t k = 0; k < font->tables.size(); ++k) {
    const char* tag = font->tables[k]->tagText;
    if (font->Find(tag) != font->tables[k].get()) return Refuse(font->label, "table " + Quoted(tag) + " appears twice", refusal);
  }
  // TrueType's sfnt version over CFF outlines is neither kind of font.
  if (version != kSfntVersionOtto && font->Find("glyf") == nullptr) {
    return Refuse(font->label,
                  "not an OpenType font with CFF outlines (sfnt version is not OTTO) nor one with TrueType outlines "
                  "(it has no 'glyf' table)",
                  refusal);
  }
  const CTagObject* head = font->Find("head");
  if (head == nullptr || head->length < CHeadInfoObject::kHeadSize) {
    return Refuse(font->label, "no head table of 54 bytes", refusal);
  }
  return true;
}

bool FitsClassicTables(const FontFile& font, std::string* refusal) {
  if (font.header.sfntVersion != kSfntVersionOtto) {
    return Refuse(font.label, "not an OpenType font with CFF outlines (sfnt version is not OTTO)", refusal);
  }
  for (const auto& table : font.tables) {
    if (!IsAcceptedTag(table->tagText)) {
      return Refuse(font.label, "table " + Quoted(table->tagText) + " is not one the updater accepts", refusal);
    }
  }
  return true;
}

bool ReadExtendedIdentity(const FontFile& font, ExtendedIdentity* identity, std::string* refusal) {
  const CTagObject* name = font.Find("name");
  std::vector<NameString> strings;
  if (name == nullptr || !ReadNameStrings(name->data, name->length, &strings)) {
    return Refuse(font.label, "no well-formed name table", refusal);
  }
  for (uint16_t nameId : {sabun::ext::kIdentityNameId, kFullNameId}) {
    if (!FindNameText(name->data, name->length, nameId, &identity->name)) continue;
    if (identity->name.size() > kMaxExtendedNameLength) {
      return Refuse(font.label, "its name (name ID " + std::to_string(nameId) + ") is longer than 255 bytes", refusal);
    }
    identity->nameId = nameId;
    CHeadInfoObject head;
    const CTagObject* table = font.Find("head");
    head.ReadHead(table->data, table->length);
    identity->fontRevision = head.fontRevision;
    return true;
  }
  return Refuse(font.label, "no PostScript name (name ID 6) nor full name (name ID 4)", refusal);
}

bool CheckSearchFields(const FontFile& font, std::string* refusal) {
  COpenTypeHeader computed;
  computed.numTables = font.header.numTables;
  SetSearchFields(&computed);
  if (computed.searchRange == font.header.searchRange && computed.entrySelector == font.header.entrySelector &&
      computed.rangeShift == font.header.rangeShift) {
    return true;
  }
  return Refuse(font.label, "its searchRange, entrySelector or rangeShift is not the one its table count gives", refusal);
}

bool ReadLicenseTexts(const FontFile& font, uint8_t macintosh[kLicenseTextSize], uint8_t windows[kLicenseTextSize]) {
  CTagNameObject names;
  return LoadNames(font, &names) && names.GetLicenseText(macintosh, windows) == 1;
}

bool ReadInstalledIdentity(const FontFile& font, InstalledIdentity* identity, std::string* refusal) {
  CTagNameObject names;
  if (!LoadNames(font, &names)) return Refuse(font.label, "no readable name table", refusal);
  if (names.GetFontName(identity->fontName) != 1) {
    return Refuse(font.label, "no font name (the fifth name record is missing or empty)", refusal);
  }
  if (std::strlen(identity->fontName) > kMaxFontNameLength) {
    return Refuse(font.label, "font name \"" + std::string(identity->fontName) + "\" is longer than 31 bytes", refusal);
  }
  if (names.GetLicenseText(identity->macintoshLicense, identity->windowsLicense) != 1) {
    return Refuse(font.label,
                  "no License Description records (1, 0, 0, 13) and (3, 1, 0x409, 13) of at most 255 bytes",
                  refusal);
  }
  CHeadInfoObject head;
  const CTagObject* table = font.Find("head");
  head.ReadHead(table->data, table->length);
  identity->fontRevision = head.fontRevision;
  return true;
}

std::vector<size_t> PhysicalOrder(const FontFile& font) {
  std::vector<size_t> order(font.tables.size());
  for (size_t k = 0; k < order.size(); ++k) order[k] = k;
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    const CTagObject& first = *font.tables[a];
    const CTagObject& second = *font.tables[b];
    return first.offset != second.offset ? first.offset < second.offset : first.length < second.length;
  });
  return order;
}

void ReadModifiedDate(const FontFile& font, uint8_t date[8]) {
  std::memcpy(date, font.Find("head")->data + kModifiedOffset, 8);
}

bool PaddingIsZero(const CTagObject& table) {
  const size_t end = std::min(static_cast<size_t>(table.paddedLength), table.dataAvailable);
  return std::all_of(table.data + table.length, table.data + end, [](uint8_t b) { return b == 0; });
}

bool CheckReproducible(const FontFile& font, std::string* refusal) {
  const TagList& tables = font.tables;
  for (size_t k = 1; k < tables.size(); ++k) {
    if (std::memcmp(tables[k - 1]->tag, tables[k]->tag, 4) >= 0) {
      return Refuse(font.label, "its directory does not list the tags in ascending order", refusal);
    }
  }

  uint64_t expected = kOffsetTableSize + kDirectoryEntrySize * tables.size();
  for (size_t k : PhysicalOrder(font)) {
    const CTagObject* table = tables[k].get();
    const std::string tag = Quoted(table->tagText);
    if (table->offset % 4 != 0) return Refuse(font.label, "table " + tag + " is not 4-byte aligned", refusal);
    if (table->offset < expected) {
      return Refuse(font.label, "table " + tag + " overlaps the directory or the table before it", refusal);
    }
    if (table->offset > expected) {
      return Refuse(font.label, "a gap lies before table " + tag + " (tables must follow each other)", refusal);
    }
    if (!PaddingIsZero(*table)) return Refuse(font.label, "the padding after table " + tag + " is not zero", refusal);
    expected = PaddedEnd(*table);
  }
  if (font.bytes.size() > expected) return Refuse(font.label, "bytes follow its last table", refusal);

  for (const auto& table : tables) {
    if (TableChecksumWithoutAdjustment(*table) != table->checksum) {
      return Refuse(font.label, "the directory checksum of table " + Quoted(table->tagText) +
                                    " is not the one the updater computes",
                    refusal);
    }
  }
  if (SumWordsPadded(font.bytes.data(), font.bytes.size()) != kFontChecksumTotal) {
    return Refuse(font.label, "its checkSumAdjustment is not the one the updater computes", refusal);
  }
  return true;
}

}  // namespace maker
