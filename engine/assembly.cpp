// Rebuilding every table from the difference data, placing the rebuilt tables
// in the new image, and finishing its checksums.
#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "engine/byte_io.h"
#include "engine/head_table.h"
#include "engine/name_copies.h"
#include "engine/opentype_manager.h"
#include "engine/sabun_format.h"

namespace {

// checkSumAdjustment makes the words of the whole font sum to this.
constexpr uint32_t kChecksumMagic = 0xB1B0AFBA;
constexpr size_t kCheckSumAdjustmentOffset = 8;

size_t EntryOffset(size_t k) { return kOffsetTableSize + kDirectoryEntrySize * k; }

}  // namespace

bool COpenTypeManager::FindNewDirectoryEntry(const char* tag, uint16_t numTables, size_t* entryOffset) const {
  for (size_t k = 0; k < numTables; ++k) {
    if (!otu::RangeFits(EntryOffset(k), kDirectoryEntrySize, newImageSize_)) return false;
    if (std::memcmp(newImage_.data() + EntryOffset(k), tag, 4) == 0) {
      *entryOffset = EntryOffset(k);
      return true;
    }
  }
  return false;
}

int32_t COpenTypeManager::RebuildFont(const char* path, int32_t resourceId, UpdateProgressFunc callback,
                                      void* context, int32_t n, int32_t i) {
  if (Report(40, progress_text::kOpening, path, callback, context, n, i)) return kUpdateStopped;
  sabunData_ = std::make_unique<CMakeSabunData>(resources_);
  if (sabunData_->LoadSabunData(resourceId) == 0) return kUpdateSabunNotLoaded;
  if (Report(55, progress_text::kReading, path, callback, context, n, i)) return kUpdateStopped;

  // The installed font was read by the rules of one kind of file.
  if (sabunData_->extended != extended_) return kUpdateFontUnusable;
  const size_t count = sabunData_->tableCount;
  newImageSize_ = sabunData_->newFileLength;
  if (newImageSize_ > kMaxImageSize || newImageSize_ < sabun::FirstTableOffset(count)) return kUpdateFontUnusable;
  // A difference file fits one installed revision of one font only: applied
  // to another (a file replaced after the search), its runs would build a
  // damaged font that still verifies as written.
  const CTagObject* head = FindTag("head");
  uint32_t installedRevision = 0;
  const bool revisionRead = head != nullptr && otu::LoadU32(head->data, head->length, 4, &installedRevision);
  if ((revisionRead || extended_) && installedRevision != sabunData_->expectedRevision) return kUpdateFontUnusable;
  std::vector<const CSabunTagObject*> records;
  int32_t result = extended_ ? PairExtendedRecords(&records) : PairClassicRecords(&records);
  if (result != kUpdateOk) return result;

  if (!newImage_.Allocate(size_t{newImageSize_} + 1)) return kUpdateFontUnusable;
  newImage_.data()[newImageSize_] = 0;
  otu::Writer offsetTable(newImage_.data(), newImageSize_);
  offsetTable.WriteU32(newHeader_.sfntVersion);
  offsetTable.WriteU16(newHeader_.numTables);
  offsetTable.WriteU16(newHeader_.searchRange);
  offsetTable.WriteU16(newHeader_.entrySelector);
  offsetTable.WriteU16(newHeader_.rangeShift);

  // Each table is rebuilt where it goes in the image, in turn: where tables
  // overlap, the later one wins.
  for (size_t j = 0; j < count; ++j) {
    if (rebuilt_[j]->ApplySabun(*records[j], newImage_.data(), newImageSize_) == 0) return kUpdateFontUnusable;
  }
  // A name table copied from the installed one by position must not have
  // taken bytes that the customer's License Description texts moved. A
  // compressed block has no positions to check: it may take none.
  for (size_t j = 0; j < count; ++j) {
    const CTagObject& table = *rebuilt_[j];
    const CSabunTagObject& record = *records[j];
    if (std::strcmp(table.tagText, "name") != 0 || record.hasBlock == 0) continue;
    // (A compressed block adds to installed bytes exactly when it has
    // differences.)
    const bool fits = record.encoding == sabun::ext::kAddCopyEncoding
                          ? record.streams.differenceSize == 0
                          : record.copyRuns.empty() || NameCopiesFitInstalled(record.copyRuns, table.data, table.length,
                                                                              table.newData, table.newLength);
    if (!fits) return kUpdateFontUnusable;
  }

  result = AssembleTables();
  if (result == kUpdateOk) {
    result = extended_ ? CarryLicences(path, callback, context, n, i)
                       : WriteLicenseText(path, header_, callback, context, n, i);
  }
  if (result == kUpdateOk) result = RecalcChecksum(path, newHeader_, callback, context, n, i);
  return result;
}

bool COpenTypeManager::CheckRecordPlace(const CSabunTagObject& record, const CTagObject& table) const {
  // A table carried over keeps its installed length; a record that places
  // it with another length would overlap its neighbour or leave a gap.
  if (record.hasBlock == 0 && record.newLength != table.length) return false;
  // A table over the offset table or the directory would be overwritten by
  // them, or overwrite them, in a font that still verifies.
  return record.newLength <= newImageSize_ &&
         (record.newLength == 0 || record.newOffset >= sabun::FirstTableOffset(sabunData_->tableCount));
}

int32_t COpenTypeManager::PairClassicRecords(std::vector<const CSabunTagObject*>* records) {
  // The new directory is the installed one rebuilt table for table: every
  // installed table must be named by exactly one record, or the offset table
  // and the directory of the new font would disagree.
  const size_t count = sabunData_->tableCount;
  if (count != header_.numTables || count != tables_.size()) return kUpdateFontUnusable;
  // The name as the target matching compares it: the difference file's name
  // field holds at most 31 bytes.
  char installedName[kFontNameSize] = {};
  const std::string expectedName(sabunData_->fontName, strnlen(sabunData_->fontName, sizeof sabunData_->fontName - 1));
  if (!FindFontName(installedImage_.data(), static_cast<size_t>(installedLength_), header_.numTables,
                    installedName) ||
      expectedName != installedName) {
    return kUpdateFontUnusable;
  }
  // The record of each installed table, by its position in the installed directory.
  records->assign(tables_.size(), nullptr);
  for (size_t k = 0; k < count; ++k) {
    const CSabunTagObject* record = sabunData_->GetSabunTag(static_cast<int32_t>(k));
    if (record == nullptr) return kUpdateFontUnusable;
    char tagText[5];
    std::memcpy(tagText, record->tagText, sizeof tagText);
    CTagObject* table = FindTag(tagText);
    if (table == nullptr) return kUpdateFontUnusable;
    size_t position = 0;
    while (tables_[position].get() != table) ++position;
    if ((*records)[position] != nullptr || !CheckRecordPlace(*record, *table)) return kUpdateFontUnusable;
    (*records)[position] = record;
  }
  // Rebuilt in the order of the installed directory, under its offset table.
  rebuilt_.clear();
  for (const auto& table : tables_) rebuilt_.push_back(table.get());
  newHeader_ = header_;
  return kUpdateOk;
}

int32_t COpenTypeManager::PairExtendedRecords(std::vector<const CSabunTagObject*>* records) {
  const CMakeSabunData& sabun = *sabunData_;
  // The installed font is the one the file was made from: its outlines, its
  // table count, its name, and the bytes of every table the rebuild takes
  // from it.
  std::string installedName;
  const CTagObject* name = FindTag("name");
  if (header_.sfntVersion != sabun.oldSfntVersion || header_.numTables != sabun.oldTableCount ||
      name == nullptr || !FindNameText(name->data, name->length, sabun.identityNameId, &installedName) ||
      installedName != sabun.identity) {
    return kUpdateFontUnusable;
  }
  rebuilt_.clear();
  addedTables_.clear();
  std::vector<const CTagObject*> used;
  for (size_t k = 0; k < sabun.tableCount; ++k) {
    const CSabunTagObject* record = sabun.GetSabunTag(static_cast<int32_t>(k));
    if (record == nullptr) return kUpdateFontUnusable;
    char tagText[5];
    std::memcpy(tagText, record->tagText, sizeof tagText);
    CTagObject* table = FindTag(tagText);
    if (record->newTable) {
      // A table the new revision adds is made of its block's bytes alone.
      if (table != nullptr || record->hasBlock == 0) return kUpdateFontUnusable;
      addedTables_.push_back(std::make_unique<CTagObject>());
      table = addedTables_.back().get();
      std::memcpy(table->tag, record->tag, 4);
      std::memcpy(table->tagText, record->tagText, sizeof tagText);
      // No installed bytes: a copy run of any length leaves the table.
      static const uint8_t kNoBytes[1] = {};
      table->data = kNoBytes;
    } else {
      if (table == nullptr || std::find(used.begin(), used.end(), table) != used.end()) return kUpdateFontUnusable;
      used.push_back(table);
      // The name table is the customer's: its License Description texts
      // are theirs, whatever the maker's old release held.
      if (std::strcmp(tagText, "name") != 0 && TableChecksumWithoutAdjustment(*table) != record->oldChecksum) {
        return kUpdateFontUnusable;
      }
    }
    if (!CheckRecordPlace(*record, *table)) return kUpdateFontUnusable;
    rebuilt_.push_back(table);
    records->push_back(record);
  }
  // The new offset table: the new font's own outlines and table count, the
  // binary-search fields computed from that count.
  newHeader_ = COpenTypeHeader();
  newHeader_.state = 2;
  newHeader_.sfntVersion = sabun.newSfntVersion;
  newHeader_.numTables = sabun.tableCount;
  SetSearchFields(&newHeader_);
  return kUpdateOk;
}

int32_t COpenTypeManager::AssembleTables() {
  const size_t count = sabunData_->tableCount;
  std::vector<std::pair<uint32_t, uint32_t>> placed;  // offset and length of every table
  placed.reserve(count);
  for (size_t j = 0; j < count; ++j) {
    const CTagObject& table = *rebuilt_[j];
    const size_t entry = EntryOffset(static_cast<size_t>(table.index));
    if (!otu::RangeFits(entry, kDirectoryEntrySize, newImageSize_)) return kUpdateFontUnusable;
    otu::Writer directory(newImage_.data() + entry, kDirectoryEntrySize);
    directory.WriteBytes(table.newTag, 4);
    directory.WriteU32(table.newChecksum);
    directory.WriteU32(table.newOffset);
    directory.WriteU32(table.newLength);
    placed.emplace_back(table.newOffset, table.newLength);
  }
  // The gaps between the tables and after the last one (their padding) are zero.
  std::sort(placed.begin(), placed.end());
  size_t covered = sabun::FirstTableOffset(count);
  tablesApart_ = true;
  for (const auto& [offset, length] : placed) {
    if (length == 0) continue;
    if (offset % 4 != 0 || offset < ((covered + 3) & ~size_t{3})) tablesApart_ = false;
    if (offset > covered) std::memset(newImage_.data() + covered, 0, offset - covered);
    covered = std::max(covered, size_t{offset} + length);
  }
  if (covered < newImageSize_) std::memset(newImage_.data() + covered, 0, newImageSize_ - covered);
  return kUpdateOk;
}

uint32_t COpenTypeManager::NewImageWordSum() const {
  const uint8_t* image = newImage_.data();
  if (!tablesApart_) return SumWordsPadded(image, newImageSize_);
  // The name and head tables have changed since they were rebuilt: only
  // they are summed again, a few hundred bytes instead of megabytes.
  const size_t count = sabunData_->tableCount;
  uint32_t sum = SumWordsPadded(image, sabun::FirstTableOffset(count));
  for (size_t j = 0; j < count; ++j) {
    const CTagObject& table = *rebuilt_[j];
    const bool changed = std::memcmp(table.newTag, "name", 4) == 0 || std::memcmp(table.newTag, "head", 4) == 0;
    sum += changed ? SumWordsPadded(table.newData, table.newLength) : table.newPlacedSum;
  }
  return sum;
}

int32_t COpenTypeManager::RecalcChecksum(const char* path, const COpenTypeHeader& values,
                                         UpdateProgressFunc callback, void* context, int32_t n, int32_t i) {
  uint8_t* image = newImage_.data();
  size_t entry = 0;
  const bool found = FindNewDirectoryEntry("head", values.numTables, &entry);
  uint32_t headOffset = 0;
  uint32_t headLength = 0;
  uint32_t adjustment = 0;
  const size_t whole = newImageSize_ & ~size_t{3};
  uint32_t wholeWordSum = 0;
  if (found) {
    otu::LoadU32(image, newImageSize_, entry + 8, &headOffset);
    otu::LoadU32(image, newImageSize_, entry + 12, &headLength);
    // checkSumAdjustment must lie inside the head table and the image.
    if (headLength < CHeadInfoObject::kHeadSize || !otu::RangeFits(headOffset, headLength, newImageSize_)) {
      return kUpdateFontUnusable;
    }
    otu::StoreU32(image, newImageSize_, headOffset + kCheckSumAdjustmentOffset, 0);
    // Padding the image does not hold counts as zero.
    size_t padded = (size_t{headLength} + 3) & ~size_t{3};
    if (padded > newImageSize_ - headOffset) padded = newImageSize_ - headOffset;
    otu::StoreU32(image, newImageSize_, entry + 4, SumWordsPadded(image + headOffset, padded));
    const uint32_t imageSum = NewImageWordSum();
    wholeWordSum = imageSum - SumWordsPadded(image + whole, newImageSize_ - whole);
    adjustment = kChecksumMagic - imageSum;
  }
  if (Report(75, progress_text::kRecalculatingChecksum, path, callback, context, n, i)) return kUpdateStopped;
  if (!found) return kUpdateNoHeadTable;
  const size_t adjustmentAt = size_t{headOffset} + kCheckSumAdjustmentOffset;
  otu::StoreU32(image, newImageSize_, adjustmentAt, adjustment);
  // The whole words as written: the sum already taken, plus the adjustment
  // when it fills one of those words by itself (it always does in a font
  // whose tables start on multiples of 4).
  finishedWordSum_ = adjustmentAt % 4 == 0 && adjustmentAt + 4 <= whole ? wholeWordSum + adjustment
                                                                         : SumWordsPadded(image, whole);
  return kUpdateOk;
}
