// Carrying the installed font's License Description texts (name ID 13) into
// every name ID 13 record of the new font.
#include <algorithm>
#include <cstring>
#include <vector>

#include "engine/byte_io.h"
#include "engine/opentype_manager.h"

int COpenTypeManager::ReadLicenseText(const uint8_t* entry, uint8_t macintosh[kLicenseTextSize],
                                      uint8_t windows[kLicenseTextSize]) {
  if (std::memcmp(entry, "name", 4) != 0) return 0;
  CTagNameObject nameTable;
  if (nameTable.ReadEntry(entry, installedImage_.data(), static_cast<size_t>(installedLength_)) < 0 ||
      nameTable.LoadNameTable() == 0) {
    return 0;
  }
  return nameTable.GetLicenseText(macintosh, windows);
}

int32_t COpenTypeManager::TakeLicenseTexts() {
  std::memset(macintoshLicenseText_, 0, sizeof macintoshLicenseText_);
  std::memset(windowsLicenseText_, 0, sizeof windowsLicenseText_);
  if (extended_) {
    // Every record is carried, of any platform and length; a font without
    // any has nothing to carry.
    carriedLicences_.clear();
    const CTagObject* name = FindTag("name");
    return name == nullptr || ReadLicenceRecords(name->data, name->length, &carriedLicences_) ? kUpdateOk
                                                                                              : kUpdateFontUnusable;
  }
  for (size_t k = 0; k < header_.numTables && k < tables_.size(); ++k) {
    const uint8_t* entry = installedImage_.data() + kOffsetTableSize + kDirectoryEntrySize * k;
    if (ReadLicenseText(entry, macintoshLicenseText_, windowsLicenseText_) == 1) return kUpdateOk;
  }
  return kUpdateFontUnusable;
}

int32_t COpenTypeManager::WriteLicenseText(const char* path, const COpenTypeHeader& values,
                                           UpdateProgressFunc callback, void* context, int32_t n, int32_t i) {
  uint8_t* image = newImage_.data();
  size_t entry = 0;
  if (!FindNewDirectoryEntry("name", values.numTables, &entry)) return kUpdateNoNameTable;
  uint32_t tableOffset = 0;
  uint32_t tableLength = 0;
  otu::LoadU32(image, newImageSize_, entry + 8, &tableOffset);
  otu::LoadU32(image, newImageSize_, entry + 12, &tableLength);
  if (!otu::RangeFits(tableOffset, tableLength, newImageSize_)) return kUpdateFontUnusable;
  uint8_t* table = image + tableOffset;
  uint16_t count = 0;
  uint16_t stringOffset = 0;
  if (!otu::LoadU16(table, tableLength, 2, &count) || !otu::LoadU16(table, tableLength, 4, &stringOffset)) {
    return kUpdateFontUnusable;
  }
  if (Report(65, progress_text::kWritingSerial, path, callback, context, n, i)) return kUpdateStopped;

  for (size_t r = 0; r < count; ++r) {
    const size_t record = CNameTableObject::kHeaderSize + CNameRecordObject::kRecordSize * r;
    uint16_t platformID, nameID, length, offset;
    if (!otu::LoadU16(table, tableLength, record, &platformID) ||
        !otu::LoadU16(table, tableLength, record + 6, &nameID) ||
        !otu::LoadU16(table, tableLength, record + 8, &length) ||
        !otu::LoadU16(table, tableLength, record + 10, &offset)) {
      return kUpdateFontUnusable;
    }
    if (nameID != kLicenseNameId) continue;
    const size_t start = size_t{stringOffset} + offset;
    // The carried texts hold 255 bytes: a longer record cannot be filled.
    if (length > kLicenseTextSize || !otu::RangeFits(start, length, tableLength)) return kUpdateFontUnusable;
    const uint8_t* text = platformID == 1 ? macintoshLicenseText_ : windowsLicenseText_;
    std::memcpy(table + start, text, length);
  }

  size_t padded = (size_t{tableLength} + 3) & ~size_t{3};
  padded = std::min(padded, newImageSize_ - size_t{tableOffset});
  otu::StoreU32(image, newImageSize_, entry + 4, SumWordsPadded(table, padded));
  return kUpdateOk;
}

int32_t COpenTypeManager::CarryLicences(const char* path, UpdateProgressFunc callback, void* context, int32_t n,
                                        int32_t i) {
  size_t entry = 0;
  const bool found = FindNewDirectoryEntry("name", newHeader_.numTables, &entry);
  if (Report(65, progress_text::kWritingSerial, path, callback, context, n, i)) return kUpdateStopped;
  if (!found) return kUpdateOk;
  uint32_t tableOffset = 0;
  uint32_t tableLength = 0;
  otu::LoadU32(newImage_.data(), newImageSize_, entry + 8, &tableOffset);
  otu::LoadU32(newImage_.data(), newImageSize_, entry + 12, &tableLength);
  if (!otu::RangeFits(tableOffset, tableLength, newImageSize_)) return kUpdateFontUnusable;
  std::vector<uint8_t> table;
  if (!CarryLicenceRecords(newImage_.data() + tableOffset, tableLength, carriedLicences_, &table)) {
    return kUpdateFontUnusable;
  }
  if (table.size() != tableLength) return ReplaceTable(entry, table);
  std::memcpy(newImage_.data() + tableOffset, table.data(), table.size());
  size_t padded = (size_t{tableLength} + 3) & ~size_t{3};
  padded = std::min(padded, newImageSize_ - size_t{tableOffset});
  otu::StoreU32(newImage_.data(), newImageSize_, entry + 4, SumWordsPadded(newImage_.data() + tableOffset, padded));
  return kUpdateOk;
}

int32_t COpenTypeManager::ReplaceTable(size_t entry, const std::vector<uint8_t>& table) {
  const uint8_t* image = newImage_.data();
  uint32_t offset = 0;
  uint32_t length = 0;
  otu::LoadU32(image, newImageSize_, entry + 8, &offset);
  otu::LoadU32(image, newImageSize_, entry + 12, &length);
  const size_t oldEnd = std::min<size_t>((size_t{offset} + length + 3) & ~size_t{3}, newImageSize_);
  const size_t newEnd = (size_t{offset} + table.size() + 3) & ~size_t{3};
  // A font that ends without its last table's padding keeps ending so.
  const bool last = oldEnd == newImageSize_;
  const size_t size = last && size_t{offset} + length == newImageSize_ ? size_t{offset} + table.size()
                                                                      : newEnd + (newImageSize_ - oldEnd);
  if (size > kMaxImageSize) return kUpdateFontUnusable;
  ByteBuffer moved;
  if (!moved.Allocate(size + 1)) return kUpdateFontUnusable;
  uint8_t* to = moved.data();
  std::memcpy(to, image, offset);
  std::memcpy(to + offset, table.data(), table.size());
  std::memset(to + offset + table.size(), 0, std::min(newEnd, size) - offset - table.size());
  std::memcpy(to + newEnd, image + oldEnd, size > newEnd ? size - newEnd : 0);
  to[size] = 0;
  // Every table stored after it moves with it.
  const size_t count = newHeader_.numTables;
  for (size_t k = 0; k < count; ++k) {
    const size_t at = kOffsetTableSize + kDirectoryEntrySize * k;
    uint32_t tableOffset = 0;
    otu::LoadU32(to, size, at + 8, &tableOffset);
    if (at != entry && tableOffset >= oldEnd) {
      otu::StoreU32(to, size, at + 8, static_cast<uint32_t>(tableOffset - oldEnd + newEnd));
    }
  }
  otu::StoreU32(to, size, entry + 12, static_cast<uint32_t>(table.size()));
  otu::StoreU32(to, size, entry + 4, SumWordsPadded(to + offset, table.size()));
  newImage_.Swap(moved);
  newImageSize_ = static_cast<uint32_t>(size);
  // The rebuilt tables' views and sums are those of the image given up.
  tablesApart_ = false;
  return kUpdateOk;
}
