// Rebuilding one table of the installed font from its difference record.
#include <algorithm>
#include <cstring>

#include "engine/byte_io.h"
#include "engine/font_model.h"
#include "engine/sabun_data.h"

namespace {

// A run [offset, offset + length) inside a table of `tableLength` bytes.
bool RunFits(int32_t offset, int32_t length, uint32_t tableLength) {
  return offset >= 0 && length >= 0 &&
         otu::RangeFits(static_cast<uint32_t>(offset), static_cast<uint32_t>(length), tableLength);
}

// Zeroes the bytes of the new table (`length` bytes at `table`) that no run
// of `record` writes, as if the table were built in a zero-filled buffer.
// The runs are visited in destination order, each list taken as it ascends;
// true when every run then starts at or after the end of the one before, as
// in every well-formed block: they do not overlap, and the table's checksum
// is the sum of their pieces'. Otherwise the whole table is zeroed (the runs
// then still write in file order, a later one over an earlier one) and false
// is returned. The runs must fit the table.
bool ZeroUncoveredBytes(const CSabunTagObject& record, uint8_t* table, uint32_t length) {
  const auto& copies = record.copyRuns;
  const auto& inserts = record.insertRuns;
  size_t c = 0;
  size_t m = 0;
  uint32_t covered = 0;
  while (c < copies.size() || m < inserts.size()) {
    const bool copyFirst =
        m == inserts.size() || (c < copies.size() && copies[c].destinationOffset <= inserts[m].destinationOffset);
    const int32_t start = copyFirst ? copies[c].destinationOffset : inserts[m].destinationOffset;
    const int32_t runLength = copyFirst ? copies[c].length : inserts[m].length;
    ++(copyFirst ? c : m);
    if (runLength == 0) continue;
    if (static_cast<uint32_t>(start) < covered) {
      std::memset(table, 0, length);
      return false;
    }
    std::memset(table + covered, 0, static_cast<uint32_t>(start) - covered);
    covered = static_cast<uint32_t>(start) + static_cast<uint32_t>(runLength);
  }
  std::memset(table + covered, 0, length - covered);
  return true;
}

}  // namespace

int CTagObject::ApplySabun(const CSabunTagObject& record, uint8_t* image, size_t imageSize) {
  ClearRebuilt();
  index = record.newIndex;

  if (record.hasBlock == 0) {
    // Carried over. Its checksum takes in the padding that followed it in
    // the installed file; padding the file no longer holds counts as zero.
    // Only the table itself goes into the image.
    paddedLength = otu::RoundUp4(static_cast<int32_t>(length));
    if (!otu::RangeFits(record.newOffset, length, imageSize)) return 0;
    newData = image + record.newOffset;
    const size_t withPadding = std::min(static_cast<size_t>(paddedLength), dataAvailable);
    newPlacedSum = CopySumWordsAt(newData, data, length, 0);
    std::memcpy(newTag, tag, 4);
    newLength = length;
    newOffset = record.newOffset;
    newChecksum = newPlacedSum + SumWordsAt(data + length, withPadding - length, length);
    return 1;
  }

  if (record.newLength > 0x7FFFFFF0u) return 0;
  paddedLength = otu::RoundUp4(static_cast<int32_t>(record.newLength));
  for (const auto& run : record.copyRuns) {
    if (!RunFits(run.sourceOffset, run.length, length) ||
        !RunFits(run.destinationOffset, run.length, record.newLength)) {
      return 0;
    }
  }
  for (const auto& run : record.insertRuns) {
    if (!RunFits(run.destinationOffset, run.length, record.newLength)) return 0;
  }
  if (!otu::RangeFits(record.newOffset, record.newLength, imageSize)) return 0;
  uint8_t* table = image + record.newOffset;
  const bool apart = ZeroUncoveredBytes(record, table, record.newLength);
  // Each run's share of the checksum is taken as it is copied; runs that
  // overlap are summed over the finished table instead.
  uint32_t checksum = 0;
  for (const auto& run : record.copyRuns) {
    if (run.length == 0) continue;
    checksum += CopySumWordsAt(table + run.destinationOffset, data + run.sourceOffset,
                               static_cast<size_t>(run.length), static_cast<size_t>(run.destinationOffset));
  }
  for (const auto& run : record.insertRuns) {
    if (run.length == 0) continue;
    checksum += CopySumWordsAt(table + run.destinationOffset, run.literal, static_cast<size_t>(run.length),
                               static_cast<size_t>(run.destinationOffset));
  }
  newData = table;
  std::memcpy(newTag, tag, 4);
  newLength = record.newLength;
  newOffset = record.newOffset;
  // The padding of a rebuilt table counts as zero, whatever the image holds there.
  newChecksum = apart ? checksum : SumWordsPadded(table, record.newLength);
  newPlacedSum = newChecksum;
  return 1;
}
