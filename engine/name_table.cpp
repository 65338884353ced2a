#include "engine/name_table.h"

#include <algorithm>
#include <cstring>

#include "engine/byte_io.h"

int CNameRecordObject::ReadRecord(const uint8_t* table, size_t tableLength, size_t recordOffset,
                                  uint16_t stringOffset) {
  otu::Buffer in(table, tableLength);
  if (!in.Seek(recordOffset) || in.remaining() < kRecordSize) return 0;
  in.ReadU16(&platformID);
  in.ReadU16(&encodingID);
  in.ReadU16(&languageID);
  in.ReadU16(&nameID);
  in.ReadU16(&length);
  in.ReadU16(&offset);
  std::memset(text, 0, sizeof text);
  size_t start = size_t{stringOffset} + offset;
  if (!otu::RangeFits(start, length, tableLength)) return 0;
  if (length != 0) std::memcpy(text, table + start, std::min<size_t>(length, kTextSize));
  return 1;
}

int CNameTableObject::ReadNameTable(const uint8_t* table, size_t tableLength) {
  if (tableLength < kHeaderSize) return 0;
  otu::LoadU16(table, tableLength, 0, &format);
  otu::LoadU16(table, tableLength, 2, &count);
  otu::LoadU16(table, tableLength, 4, &stringOffset);
  records.clear();
  for (size_t i = 0; i < count; ++i) {
    auto record = std::make_unique<CNameRecordObject>();
    if (!record->ReadRecord(table, tableLength, kHeaderSize + CNameRecordObject::kRecordSize * i,
                            stringOffset)) {
      return 0;
    }
    records.push_back(std::move(record));
  }
  return 1;
}

int CTagNameObject::LoadNameTable() {
  // Read where the file holds it (ReadEntry found it inside the file): a
  // working copy sized from the file could be gigabytes of nobody's font.
  if (data == nullptr) return 0;
  return nameTable.ReadNameTable(data, length);
}

int CTagNameObject::GetFontName(char name[kFontNameSize]) const {
  const auto& records = nameTable.records;
  if (records.size() < 5) return 0;
  const uint8_t* text = records[4]->text;
  size_t n = 0;
  while (n < kFontNameSize - 1 && n < CNameRecordObject::kTextSize && text[n] != 0) ++n;
  if (n == 0) return 0;
  std::memcpy(name, text, n);
  name[n] = '\0';
  return 1;
}

int CTagNameObject::GetLicenseText(uint8_t macintosh[kLicenseTextSize],
                                   uint8_t windows[kLicenseTextSize]) const {
  bool foundMacintosh = false;
  bool foundWindows = false;
  bool fits = true;
  for (const auto& record : nameTable.records) {
    if (record->nameID != kLicenseNameId) continue;
    uint8_t* out = nullptr;
    if (!foundMacintosh && record->platformID == 1 && record->encodingID == 0 && record->languageID == 0) {
      foundMacintosh = true;
      out = macintosh;
    } else if (!foundWindows && record->platformID == 3 && record->encodingID == 1 &&
               record->languageID == 0x409) {
      foundWindows = true;
      out = windows;
    }
    if (out == nullptr) continue;
    if (record->length > kLicenseTextSize) {
      fits = false;
    } else {
      std::memcpy(out, record->text, record->length);
    }
  }
  return foundMacintosh && foundWindows && fits ? 1 : 0;
}

bool ReadNameStrings(const uint8_t* table, size_t length, std::vector<NameString>* strings) {
  otu::Buffer in(table, length);
  uint16_t format, count, stringOffset;
  if (!in.ReadU16(&format) || !in.ReadU16(&count) || !in.ReadU16(&stringOffset)) return false;
  strings->clear();
  // The offsets are taken as read; the storage's start is checked once every
  // record, and so where the storage may begin, is known.
  std::vector<uint16_t> offsets;
  for (size_t r = 0; r < count; ++r) {
    NameString string{};
    uint16_t stringLength, offset;
    if (!in.ReadU16(&string.platformID) || !in.ReadU16(&string.encodingID) || !in.ReadU16(&string.languageID) ||
        !in.ReadU16(&string.nameID) || !in.ReadU16(&stringLength) || !in.ReadU16(&offset)) {
      return false;
    }
    string.length = stringLength;
    strings->push_back(string);
    offsets.push_back(offset);
  }
  uint16_t tagCount = 0;
  if (format == 1 && !in.ReadU16(&tagCount)) return false;
  for (size_t t = 0; t < tagCount; ++t) {
    uint16_t tagLength, offset;
    if (!in.ReadU16(&tagLength) || !in.ReadU16(&offset)) return false;
    strings->push_back(NameString{0, 0, 0, kLanguageTagId, 0, tagLength});
    offsets.push_back(offset);
  }
  if (stringOffset < in.offset() || stringOffset > length) return false;
  for (size_t k = 0; k < strings->size(); ++k) {
    NameString& string = (*strings)[k];
    string.start = uint32_t{stringOffset} + offsets[k];
    if (!otu::RangeFits(string.start, string.length, length)) return false;
    const bool utf16 = string.platformID == 0 || string.platformID == 3;
    if (utf16 && string.length % 2 != 0) return false;
  }
  return true;
}

namespace {

bool IsUtf16(uint16_t platformID) { return platformID == 0 || platformID == 3; }

// UTF-16 big-endian as UTF-8; an unpaired surrogate becomes U+FFFD.
std::string Utf16ToUtf8(const uint8_t* text, size_t length) {
  std::string out;
  for (size_t k = 0; k + 1 < length; k += 2) {
    uint32_t unit = static_cast<uint32_t>(text[k] << 8 | text[k + 1]);
    if (unit >= 0xD800 && unit < 0xDC00 && k + 3 < length) {
      const uint32_t low = static_cast<uint32_t>(text[k + 2] << 8 | text[k + 3]);
      if (low >= 0xDC00 && low < 0xE000) {
        unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
        k += 2;
      }
    }
    if (unit >= 0xD800 && unit < 0xE000) unit = 0xFFFD;
    if (unit < 0x80) {
      out += static_cast<char>(unit);
    } else if (unit < 0x800) {
      out += static_cast<char>(0xC0 | unit >> 6);
      out += static_cast<char>(0x80 | (unit & 0x3F));
    } else if (unit < 0x10000) {
      out += static_cast<char>(0xE0 | unit >> 12);
      out += static_cast<char>(0x80 | (unit >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (unit & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | unit >> 18);
      out += static_cast<char>(0x80 | (unit >> 12 & 0x3F));
      out += static_cast<char>(0x80 | (unit >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (unit & 0x3F));
    }
  }
  return out;
}

}  // namespace

bool FindNameText(const uint8_t* table, size_t length, uint16_t nameId, std::string* text) {
  std::vector<NameString> strings;
  if (!ReadNameStrings(table, length, &strings)) return false;
  // Lower ranks are preferred.
  const auto rank = [](const NameString& string) {
    if (string.platformID == 3) return string.languageID == 0x409 ? 0 : 1;
    return string.platformID == 1 ? 2 : string.platformID == 0 ? 3 : 4;
  };
  const NameString* best = nullptr;
  for (const NameString& string : strings) {
    if (string.nameID == nameId && rank(string) < 4 && (best == nullptr || rank(string) < rank(*best))) best = &string;
  }
  if (best == nullptr || best->length == 0) return false;
  const uint8_t* bytes = table + best->start;
  *text = IsUtf16(best->platformID) ? Utf16ToUtf8(bytes, best->length)
                                     : std::string(reinterpret_cast<const char*>(bytes), best->length);
  return !text->empty();
}

bool ReadLicenceRecords(const uint8_t* table, size_t length, std::vector<LicenceRecord>* records) {
  std::vector<NameString> strings;
  if (!ReadNameStrings(table, length, &strings)) return false;
  records->clear();
  for (const NameString& string : strings) {
    if (string.nameID != kLicenseNameId) continue;
    records->push_back({string.platformID, string.encodingID, string.languageID,
                        std::vector<uint8_t>(table + string.start, table + string.start + string.length)});
  }
  return true;
}

bool CarryLicenceRecords(const uint8_t* table, size_t length, const std::vector<LicenceRecord>& carried,
                         std::vector<uint8_t>* out) {
  std::vector<NameString> strings;
  if (!ReadNameStrings(table, length, &strings)) return false;
  // The text each string gets: its own, or a carried one.
  std::vector<const std::vector<uint8_t>*> carriedText(strings.size(), nullptr);
  bool inPlace = true;
  for (size_t k = 0; k < strings.size(); ++k) {
    const NameString& string = strings[k];
    if (string.nameID != kLicenseNameId) continue;
    for (const LicenceRecord& record : carried) {
      if (record.platformID == string.platformID && record.encodingID == string.encodingID &&
          record.languageID == string.languageID) {
        carriedText[k] = &record.text;
        break;
      }
    }
    if (carriedText[k] == nullptr) continue;
    if (carriedText[k]->size() != string.length) inPlace = false;
    for (size_t j = 0; j < strings.size() && inPlace; ++j) {
      const NameString& other = strings[j];
      const bool shares = j != k && string.length != 0 && other.length != 0 &&
                          other.start < string.start + string.length && string.start < other.start + other.length;
      if (shares) inPlace = false;
    }
  }
  if (inPlace) {
    out->assign(table, table + length);
    for (size_t k = 0; k < strings.size(); ++k) {
      if (carriedText[k] != nullptr && !carriedText[k]->empty()) {
        std::memcpy(out->data() + strings[k].start, carriedText[k]->data(), carriedText[k]->size());
      }
    }
    return true;
  }
  // Written anew. The records (and language tags) keep their order and all
  // their fields but length and offset.
  uint16_t format = 0, count = 0;
  otu::LoadU16(table, length, 0, &format);
  otu::LoadU16(table, length, 2, &count);
  const size_t tagCount = strings.size() - count;
  const size_t stringOffset =
      CNameTableObject::kHeaderSize + CNameRecordObject::kRecordSize * count + (format == 1 ? 2 + 4 * tagCount : 0);
  std::vector<uint8_t> storage;
  out->assign(table, table + stringOffset);
  otu::StoreU16(out->data(), out->size(), 4, static_cast<uint16_t>(stringOffset));
  for (size_t k = 0; k < strings.size(); ++k) {
    const uint8_t* text = carriedText[k] != nullptr ? carriedText[k]->data() : table + strings[k].start;
    const size_t textLength = carriedText[k] != nullptr ? carriedText[k]->size() : strings[k].length;
    if (storage.size() > 0xFFFF || textLength > 0xFFFF) return false;
    // A record's length and offset, or a language tag's.
    const size_t fields = k < count ? CNameTableObject::kHeaderSize + CNameRecordObject::kRecordSize * k + 8
                                    : stringOffset - 4 * (tagCount - (k - count));
    otu::StoreU16(out->data(), out->size(), fields, static_cast<uint16_t>(textLength));
    otu::StoreU16(out->data(), out->size(), fields + 2, static_cast<uint16_t>(storage.size()));
    storage.insert(storage.end(), text, text + textLength);
  }
  out->insert(out->end(), storage.begin(), storage.end());
  return true;
}
