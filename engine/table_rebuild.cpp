// Rebuilding one table of the installed font from its difference record.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "engine/byte_io.h"
#include "engine/font_model.h"
#include "engine/sabun_data.h"

namespace {

// Copies and zero-fills for the bytes of one run. Most runs of a CFF block
// are a few dozen bytes long: calling the library for each costs more than
// moving them, and its masked stores for the shortest lengths are slow on
// memory not written yet. Short lengths move as two overlapping pieces.
// A fixed size compiles to plain moves, no call.
template <size_t kSize>
inline void Move(uint8_t* to, const uint8_t* from) {
  std::memcpy(to, from, kSize);
}

// `to` and `from` are different buffers.
inline void CopyRun(uint8_t* to, const uint8_t* from, size_t n) {
  if (n > 64) {
    std::memcpy(to, from, n);
  } else if (n >= 16) {
    for (size_t k = 0; k + 16 < n; k += 16) Move<16>(to + k, from + k);
    Move<16>(to + n - 16, from + n - 16);
  } else if (n >= 8) {
    Move<8>(to, from);
    Move<8>(to + n - 8, from + n - 8);
  } else if (n >= 4) {
    Move<4>(to, from);
    Move<4>(to + n - 4, from + n - 4);
  } else if (n > 0) {
    to[0] = from[0];
    to[n / 2] = from[n / 2];
    to[n - 1] = from[n - 1];
  }
}

inline void ZeroBytes(uint8_t* to, size_t n) {
  static const uint8_t kZeros[64] = {};
  if (n > 64) {
    std::memset(to, 0, n);
  } else {
    CopyRun(to, kZeros, n);
  }
}

// Copies the n bytes of a run to `to`, with `toRoom` bytes of the table
// from `to` on and `fromRoom` bytes of its source from `from` on. A run of up
// to a few hundred bytes is moved in whole chunks when both have room for
// them: the bytes past the run that this writes are written again by what
// comes after it in the table, and a fixed number of moves per chunk costs
// less than picking the right moves for every length.
constexpr size_t kChunk = 64;
constexpr size_t kChunkedUpTo = 256;
inline void CopyRunInChunks(uint8_t* to, size_t toRoom, const uint8_t* from, size_t fromRoom, size_t n) {
  const size_t chunked = (n + kChunk - 1) & ~(kChunk - 1);
  if (n <= kChunkedUpTo && chunked <= toRoom && chunked <= fromRoom) {
    for (size_t k = 0; k < n; k += kChunk) Move<kChunk>(to + k, from + k);
  } else {
    CopyRun(to, from, n);
  }
}

// [offset, offset + length) inside `size` bytes, offset and length taken as
// stored: a negative one, as unsigned, lies past any table.
inline bool Inside(int32_t offset, int32_t length, uint32_t size) {
  return uint64_t{static_cast<uint32_t>(offset)} + static_cast<uint32_t>(length) <= size;
}

// Every run of `record` inside both tables.
bool RunsFit(const CSabunTagObject& record, uint32_t oldLength) {
  bool fit = true;
  for (const auto& run : record.copyRuns) {
    fit &= Inside(run.sourceOffset, run.length, oldLength) & Inside(run.destinationOffset, run.length, record.newLength);
  }
  for (const auto& run : record.insertRuns) fit &= Inside(run.destinationOffset, run.length, record.newLength);
  return fit;
}

enum class Written { kInOrder, kNotInOrder, kRunOutside };

// Writes the runs of `record` into the new table (`length` bytes at `table`)
// in destination order, each list taken as it ascends, a copy run before an
// insert run at the same place, and zeroes the bytes between them, as if the
// table were built in a zero-filled buffer: every byte is written once, and
// each run is checked as it comes. kInOrder when every run starts at or
// after the end of the one before, as in every well-formed block.
// Otherwise, as soon as a run does not, kNotInOrder, or kRunOutside when one
// leaves either table; the table is then partly written. `old` is the installed table,
// `oldLength` bytes long, and `oldAvailable` bytes lie from its start to the
// end of its buffer.
Written WriteInDestinationOrder(const CSabunTagObject& record, const uint8_t* old, uint32_t oldLength,
                                size_t oldAvailable, uint8_t* table, uint32_t length) {
  auto copy = record.copyRuns.begin();
  const auto copyEnd = record.copyRuns.end();
  auto insert = record.insertRuns.begin();
  const auto insertEnd = record.insertRuns.end();
  // Bytes [0, covered) are final; a chunk may have spilled past `covered`,
  // and the next run or the closing zeroes write those bytes again. A run of
  // no bytes moves nothing, but is checked all the same.
  uint32_t covered = 0;
  while (copy != copyEnd || insert != insertEnd) {
    // The copy runs up to the next insert run, then the insert runs before
    // the next copy run: in a well-formed block they take turns.
    const int64_t nextInsert = insert != insertEnd ? (*insert).destinationOffset : INT64_MAX;
    for (; copy != copyEnd; ++copy) {
      const COldTagObject run = *copy;
      if (run.destinationOffset > nextInsert) break;
      if (!Inside(run.sourceOffset, run.length, oldLength) || !Inside(run.destinationOffset, run.length, length)) {
        return Written::kRunOutside;
      }
      const uint32_t start = static_cast<uint32_t>(run.destinationOffset);
      const uint32_t source = static_cast<uint32_t>(run.sourceOffset);
      if (start < covered) return Written::kNotInOrder;
      if (start != covered) ZeroBytes(table + covered, start - covered);
      CopyRunInChunks(table + start, length - start, old + source, oldAvailable - source,
                      static_cast<uint32_t>(run.length));
      covered = start + static_cast<uint32_t>(run.length);
    }
    const int64_t nextCopy = copy != copyEnd ? (*copy).destinationOffset : INT64_MAX;
    for (; insert != insertEnd; ++insert) {
      const CNewTagObject run = *insert;
      if (run.destinationOffset >= nextCopy) break;
      if (!Inside(run.destinationOffset, run.length, length)) return Written::kRunOutside;
      const uint32_t start = static_cast<uint32_t>(run.destinationOffset);
      if (start < covered) return Written::kNotInOrder;
      if (start != covered) ZeroBytes(table + covered, start - covered);
      const size_t room = record.literalsEnd != nullptr ? static_cast<size_t>(record.literalsEnd - run.literal)
                                                         : static_cast<size_t>(run.length);
      CopyRunInChunks(table + start, length - start, run.literal, room, static_cast<uint32_t>(run.length));
      covered = start + static_cast<uint32_t>(run.length);
    }
  }
  ZeroBytes(table + covered, length - covered);
  return Written::kInOrder;
}

// The table as its runs build it in file order over zero bytes: copy runs
// first, then insert runs, a later run over an earlier one. The runs must
// fit both tables.
void WriteInFileOrder(const CSabunTagObject& record, const uint8_t* old, uint8_t* table, uint32_t length) {
  std::memset(table, 0, length);
  for (const auto& run : record.copyRuns) {
    if (run.length != 0) std::memcpy(table + run.destinationOffset, old + run.sourceOffset, static_cast<size_t>(run.length));
  }
  for (const auto& run : record.insertRuns) {
    if (run.length != 0) std::memcpy(table + run.destinationOffset, run.literal, static_cast<size_t>(run.length));
  }
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
  if (!otu::RangeFits(record.newOffset, record.newLength, imageSize)) return 0;
  uint8_t* table = image + record.newOffset;
  switch (WriteInDestinationOrder(record, data, length, dataAvailable, table, record.newLength)) {
    case Written::kInOrder:
      break;
    case Written::kNotInOrder:
      // The runs it has not reached yet are checked before the table is
      // written again.
      if (!RunsFit(record, length)) return 0;
      WriteInFileOrder(record, data, table, record.newLength);
      break;
    case Written::kRunOutside:
      return 0;
  }
  newData = table;
  std::memcpy(newTag, tag, 4);
  newLength = record.newLength;
  newOffset = record.newOffset;
  // The padding of a rebuilt table counts as zero, whatever the image holds
  // there. One pass over the finished table costs less than summing each
  // run's share of it as it is copied.
  newChecksum = SumWordsPadded(table, record.newLength);
  newPlacedSum = newChecksum;
  return 1;
}
