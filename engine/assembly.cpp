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
// A new image is held whole in memory and its lengths as int32.
constexpr uint32_t kMaxNewImageSize = 0x7FFFFFF0u;

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

  // The new directory is the installed one rebuilt table for table: every
  // installed table must be named by exactly one record, or the offset table
  // and the directory of the new font would disagree.
  const size_t count = sabunData_->tableCount;
  newImageSize_ = sabunData_->newFileLength;
  if (count != header_.numTables || count != tables_.size() || newImageSize_ > kMaxNewImageSize ||
      newImageSize_ < sabun::FirstTableOffset(count)) {
    return kUpdateFontUnusable;
  }
  // A difference file fits one installed revision of one font only: applied
  // to another (a file replaced after the search), its runs would build a
  // damaged font that still verifies as written.
  const CTagObject* head = FindTag("head");
  uint32_t installedRevision = 0;
  if (head != nullptr && otu::LoadU32(head->data, head->length, 4, &installedRevision) &&
      installedRevision != sabunData_->expectedRevision) {
    return kUpdateFontUnusable;
  }
  // The name as the target matching compares it: the difference file's name
  // field holds at most 31 bytes.
  char installedName[kFontNameSize] = {};
  const std::string expectedName(sabunData_->fontName, strnlen(sabunData_->fontName, sizeof sabunData_->fontName - 1));
  if (!FindFontName(installedImage_.data(), static_cast<size_t>(installedLength_), header_.numTables,
                    installedName) ||
      expectedName != installedName) {
    return kUpdateFontUnusable;
  }
  if (!newImage_.Allocate(size_t{newImageSize_} + 1)) return kUpdateFontUnusable;
  newImage_.data()[newImageSize_] = 0;
  otu::Writer offsetTable(newImage_.data(), newImageSize_);
  offsetTable.WriteU32(header_.sfntVersion);
  offsetTable.WriteU16(header_.numTables);
  offsetTable.WriteU16(header_.searchRange);
  offsetTable.WriteU16(header_.entrySelector);
  offsetTable.WriteU16(header_.rangeShift);

  // The record of each installed table, by its position in the installed directory.
  std::vector<const CSabunTagObject*> recordOf(tables_.size(), nullptr);
  const size_t firstTableOffset = sabun::FirstTableOffset(count);
  for (size_t k = 0; k < count; ++k) {
    const CSabunTagObject* record = sabunData_->GetSabunTag(static_cast<int32_t>(k));
    if (record == nullptr) return kUpdateFontUnusable;
    char tagText[5];
    std::memcpy(tagText, record->tagText, sizeof tagText);
    CTagObject* table = FindTag(tagText);
    if (table == nullptr || record->newLength > newImageSize_) return kUpdateFontUnusable;
    size_t position = 0;
    while (tables_[position].get() != table) ++position;
    if (recordOf[position] != nullptr) return kUpdateFontUnusable;
    // A table carried over keeps its installed length; a record that places
    // it with another length would overlap its neighbour or leave a gap.
    if (record->hasBlock == 0 && record->newLength != table->length) return kUpdateFontUnusable;
    // A table over the offset table or the directory would be overwritten by
    // them, or overwrite them, in a font that still verifies.
    if (record->newLength != 0 && record->newOffset < firstTableOffset) return kUpdateFontUnusable;
    recordOf[position] = record;
  }
  // Each table is rebuilt where it goes in the image, in the order of the
  // installed directory: where tables overlap, the later one wins.
  for (size_t j = 0; j < count; ++j) {
    if (tables_[j]->ApplySabun(*recordOf[j], newImage_.data(), newImageSize_) == 0) return kUpdateFontUnusable;
  }
  // A name table copied from the installed one by position must not have
  // taken bytes that the customer's License Description texts moved.
  for (size_t j = 0; j < count; ++j) {
    const CTagObject& table = *tables_[j];
    const CSabunTagObject& record = *recordOf[j];
    if (std::strcmp(table.tagText, "name") == 0 && record.hasBlock != 0 && !record.copyRuns.empty() &&
        !NameCopiesFitInstalled(record.copyRuns, table.data, table.length, table.newData, table.newLength)) {
      return kUpdateFontUnusable;
    }
  }

  int32_t result = AssembleTables();
  if (result == kUpdateOk) result = WriteLicenseText(path, header_, callback, context, n, i);
  if (result == kUpdateOk) result = RecalcChecksum(path, header_, callback, context, n, i);
  return result;
}

int32_t COpenTypeManager::AssembleTables() {
  const size_t count = sabunData_->tableCount;
  std::vector<std::pair<uint32_t, uint32_t>> placed;  // offset and length of every table
  placed.reserve(count);
  for (size_t j = 0; j < count; ++j) {
    const CTagObject& table = *tables_[j];
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
    const CTagObject& table = *tables_[j];
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
