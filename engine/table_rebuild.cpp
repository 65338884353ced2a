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

}  // namespace

int CTagObject::ApplySabun(const CSabunTagObject& record) {
  ClearRebuilt();
  index = record.newIndex;

  if (record.hasBlock == 0) {
    // Carried over with the padding that followed it in the installed file;
    // padding the file no longer holds counts as zero.
    paddedLength = otu::RoundUp4(static_cast<int32_t>(length));
    const size_t copied = std::min(static_cast<size_t>(paddedLength), dataAvailable);
    if (!AllocateZeroed(&newData, static_cast<size_t>(paddedLength) + 1, data, copied)) return 0;
    std::memcpy(newTag, tag, 4);
    newLength = length;
    newOffset = record.newOffset;
    newChecksum = CalcTableChecksum(newData.data(), static_cast<uint32_t>(paddedLength));
    return 1;
  }

  if (record.newLength > 0x7FFFFFF0u) return 0;
  paddedLength = otu::RoundUp4(static_cast<int32_t>(record.newLength));
  for (const auto& run : record.copyRuns) {
    if (!RunFits(run->sourceOffset, run->length, length) ||
        !RunFits(run->destinationOffset, run->length, record.newLength)) {
      return 0;
    }
  }
  for (const auto& run : record.insertRuns) {
    if (!RunFits(run->destinationOffset, run->length, record.newLength)) return 0;
  }
  if (!AllocateZeroed(&newData, static_cast<size_t>(paddedLength) + 1)) return 0;
  for (const auto& run : record.copyRuns) {
    if (run->length != 0) std::memcpy(newData.data() + run->destinationOffset, data + run->sourceOffset, run->length);
  }
  for (const auto& run : record.insertRuns) {
    if (run->length != 0) std::memcpy(newData.data() + run->destinationOffset, run->literal.data(), run->length);
  }
  std::memcpy(newTag, tag, 4);
  newLength = record.newLength;
  newOffset = record.newOffset;
  newChecksum = CalcTableChecksum(newData.data(), static_cast<uint32_t>(paddedLength));
  return 1;
}
