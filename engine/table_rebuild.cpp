// Rebuilding one table of the installed font from its difference record.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "engine/add_copy_block.h"
#include "engine/byte_io.h"
#include "engine/font_model.h"
#include "engine/sabun_data.h"
#include "engine/sabun_format.h"

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

// Copies the n bytes of a run from `from` to `to`. A run of up to a few
// hundred bytes is moved in whole chunks when `roomy`, that is when both its
// table and its source have kChunkedUpTo bytes from `to` and `from` on: the
// bytes past the run that this writes are written again by what comes after
// it in the table, and a fixed number of moves per chunk costs less than
// picking the right moves for every length.
constexpr size_t kChunk = 64;
constexpr uint32_t kChunkedUpTo = 256;
inline void CopyRunInChunks(uint8_t* to, const uint8_t* from, uint32_t n, bool roomy) {
  if (n <= kChunkedUpTo && roomy) {
    uint8_t* const end = to + n;
    do {
      Move<kChunk>(to, from);
      to += kChunk;
      from += kChunk;
    } while (to < end);
  } else {
    CopyRun(to, from, n);
  }
}

// The last offset of a range of `size` bytes from which kChunkedUpTo bytes
// still lie inside it, or -1 when none does.
inline int64_t ChunkLimit(size_t size) {
  return size >= kChunkedUpTo ? static_cast<int64_t>(size - kChunkedUpTo) : -1;
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
    fit &= Inside(run.sourceOffset, run.length, oldLength);
    fit &= Inside(run.destinationOffset, run.length, record.newLength);
  }
  for (const auto& run : record.insertRuns) fit &= Inside(run.destinationOffset, run.length, record.newLength);
  return fit;
}

enum class Written { kInOrder, kNotInOrder, kRunOutside };

// The words of a table are summed in pieces of this many bytes as soon as
// the rebuild has finished them, while they are still in the nearest cache:
// summed in a pass of their own afterwards, megabytes of them would be read
// back from further away.
constexpr uint32_t kSumPiece = 4096;

// Writes the runs of `record` into the new table (`length` bytes at `table`)
// in destination order, each list taken as it ascends, a copy run before an
// insert run at the same place, and zeroes the bytes between them, as if the
// table were built in a zero-filled buffer: every byte is written once, and
// each run is checked as it comes. kInOrder, with the table's checksum in
// `checksum`, when every run starts at or after the end of the one before,
// as in every well-formed block. Otherwise, as soon as a run does not,
// kNotInOrder, or kRunOutside when one leaves either table; the table is
// then partly written. `old` is the installed table, `oldLength` bytes long,
// and `oldAvailable` bytes lie from its start to the end of its buffer.
//
// Each run is decoded once, where the block holds it; the block was checked
// whole when it was loaded, so the walk never leaves it.
Written WriteInDestinationOrder(const CSabunTagObject& record, const uint8_t* old, uint32_t oldLength,
                                size_t oldAvailable, uint8_t* table, uint32_t length, uint32_t* checksum) {
  constexpr int64_t kNone = INT64_MAX;
  const uint8_t* copy = record.copyRuns.data();
  const uint8_t* const copyEnd = copy + sabun::kCopyRunSize * record.copyRuns.size();
  const uint8_t* insert = record.insertRuns.data();
  const uint8_t* const insertEnd = insert + record.insertRuns.bytes();
  // A literal may be read past its end up to here, never further.
  const uint8_t* const literalsEnd = record.literalsEnd != nullptr ? record.literalsEnd : insertEnd;
  // Literals from here on have kChunkedUpTo bytes after them; when none has,
  // no insert run is moved in chunks.
  const bool literalRoom = literalsEnd - insert >= static_cast<ptrdiff_t>(kChunkedUpTo);
  const uint8_t* const literalLimit = literalRoom ? literalsEnd - kChunkedUpTo : insert;
  const int64_t tableLimit = ChunkLimit(length);
  const int64_t insertTableLimit = literalRoom ? tableLimit : -1;
  const int64_t sourceLimit = ChunkLimit(oldAvailable);
  int64_t copyAt = copy < copyEnd ? otu::SpanS32(copy + 8) : kNone;
  int64_t insertAt = insertEnd - insert >= static_cast<ptrdiff_t>(sabun::kInsertRunHeaderSize) ? otu::SpanS32(insert) : kNone;
  // Bytes [0, covered) are final; a chunk may have spilled past `covered`,
  // and the next run or the closing zeroes write those bytes again. A run of
  // no bytes moves nothing, but is checked all the same. Bytes [0, summed)
  // are summed into `sum`.
  uint32_t covered = 0;
  uint32_t summed = 0;
  uint32_t sumFrom = kSumPiece;
  uint32_t sum = 0;
  for (;;) {
    uint32_t start;
    if (copyAt <= insertAt) {
      if (copyAt == kNone) break;
      const int32_t source = otu::SpanS32(copy);
      const int32_t n = otu::SpanS32(copy + 4);
      if (!Inside(source, n, oldLength) || !Inside(static_cast<int32_t>(copyAt), n, length)) {
        return Written::kRunOutside;
      }
      start = static_cast<uint32_t>(copyAt);
      if (start != covered) {
        if (start < covered) return Written::kNotInOrder;
        ZeroBytes(table + covered, start - covered);
      }
      CopyRunInChunks(table + start, old + source, static_cast<uint32_t>(n),
                      copyAt <= tableLimit && source <= sourceLimit);
      covered = start + static_cast<uint32_t>(n);
      copy += sabun::kCopyRunSize;
      copyAt = copy < copyEnd ? otu::SpanS32(copy + 8) : kNone;
    } else {
      const int32_t n = otu::SpanS32(insert + 4);
      if (!Inside(static_cast<int32_t>(insertAt), n, length)) return Written::kRunOutside;
      start = static_cast<uint32_t>(insertAt);
      if (start != covered) {
        if (start < covered) return Written::kNotInOrder;
        ZeroBytes(table + covered, start - covered);
      }
      const uint8_t* literal = insert + sabun::kInsertRunHeaderSize;
      CopyRunInChunks(table + start, literal, static_cast<uint32_t>(n),
                      insertAt <= insertTableLimit && literal <= literalLimit);
      covered = start + static_cast<uint32_t>(n);
      insert = literal + n;
      insertAt = insertEnd - insert >= static_cast<ptrdiff_t>(sabun::kInsertRunHeaderSize) ? otu::SpanS32(insert) : kNone;
    }
    if (covered >= sumFrom) {
      const uint32_t upTo = covered & ~3u;
      sum += SumWordsAt(table + summed, upTo - summed, 0);
      summed = upTo;
      sumFrom = upTo + kSumPiece;
    }
  }
  ZeroBytes(table + covered, length - covered);
  // The last bytes, a partial word padded with zeros.
  *checksum = sum + SumWordsAt(table + summed, length - summed, 0);
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
  uint32_t checksum = 0;
  if (record.encoding == sabun::ext::kAddCopyEncoding) {
    if (!add_copy::Apply(record.streams, data, length, table, record.newLength, &checksum)) return 0;
  } else {
    switch (WriteInDestinationOrder(record, data, length, dataAvailable, table, record.newLength, &checksum)) {
      case Written::kInOrder:
        break;
      case Written::kNotInOrder:
        // The runs it has not reached yet are checked before the table is
        // written again.
        if (!RunsFit(record, length)) return 0;
        WriteInFileOrder(record, data, table, record.newLength);
        checksum = SumWordsPadded(table, record.newLength);
        break;
      case Written::kRunOutside:
        return 0;
    }
  }
  newData = table;
  std::memcpy(newTag, tag, 4);
  newLength = record.newLength;
  newOffset = record.newOffset;
  // The padding of a rebuilt table counts as zero, whatever the image holds
  // there.
  newChecksum = checksum;
  newPlacedSum = newChecksum;
  return 1;
}
