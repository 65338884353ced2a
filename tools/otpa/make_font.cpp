#include "tools/otpa/make_font.h"

#include <algorithm>
#include <cstring>

#include "engine/byte_io.h"
#include "engine/head_table.h"

namespace maker {
namespace {

constexpr uint32_t kFontChecksumTotal = 0xB1B0AFBA;
constexpr size_t kCheckSumAdjustmentOffset = 8;
constexpr size_t kModifiedOffset = 28;

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
  if (font->header.ReadHeader(data, size) != 1) {
    return Refuse(font->label, "not an OpenType font with CFF outlines (sfnt version is not OTTO)", refusal);
  }
  if (LoadTableDirectory(font->header, data, size, false, &font->tables) != 1) {
    return Refuse(font->label, "its table directory or a table extends past the end of the file", refusal);
  }
  for (size_t k = 0; k < font->tables.size(); ++k) {
    const char* tag = font->tables[k]->tagText;
    if (!IsAcceptedTag(tag)) return Refuse(font->label, "table " + Quoted(tag) + " is not one the updater accepts", refusal);
    if (font->Find(tag) != font->tables[k].get()) return Refuse(font->label, "table " + Quoted(tag) + " appears twice", refusal);
  }
  const CTagObject* head = font->Find("head");
  if (head == nullptr || head->length < CHeadInfoObject::kHeadSize) {
    return Refuse(font->label, "no head table of 54 bytes", refusal);
  }
  return true;
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
    // Missing padding at the end of the file counts as zero bytes.
    uint32_t sum = SumWordsPadded(table->data, table->length);
    if (std::strcmp(table->tagText, "head") == 0) {
      uint32_t adjustment = 0;
      otu::LoadU32(table->data, table->length, kCheckSumAdjustmentOffset, &adjustment);
      sum -= adjustment;
    }
    if (sum != table->checksum) {
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
