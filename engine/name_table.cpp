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
  if (data == nullptr) return 0;
  std::vector<uint8_t> copy(static_cast<size_t>(paddedLength) + 1, 0);
  std::memcpy(copy.data(), data, std::min(static_cast<size_t>(paddedLength), dataAvailable));
  return nameTable.ReadNameTable(copy.data(), length);
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
    uint16_t encodingID, languageID, stringLength, offset;
    if (!in.ReadU16(&string.platformID) || !in.ReadU16(&encodingID) || !in.ReadU16(&languageID) ||
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
    strings->push_back(NameString{0, kLanguageTagId, 0, tagLength});
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
