#include "engine/add_copy_block.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "engine/byte_io.h"
#include "engine/font_model.h"
#include "engine/sabun_format.h"

namespace add_copy {
namespace {

constexpr int64_t kFarthest = int64_t{1} << 40;
constexpr size_t kSumPiece = 4096;

int64_t Unzigzag(uint32_t value) {
  return (value & 1u) != 0 ? -static_cast<int64_t>((uint64_t{value} + 1) / 2) : static_cast<int64_t>(value / 2);
}

// Reads the difference stream's stretches in turn, across the steps that
// take them: so many unchanged bytes, then so many changed ones with their
// difference bytes.
class DifferenceCursor {
 public:
  DifferenceCursor(const uint8_t* bytes, uint32_t size) : in_(bytes, size) {}

  // The next `n` differences, stretch by stretch: `unchanged(offset, count)`
  // and `changed(offset, count, differences)`, offsets from the first of
  // the `n`. False when the stream holds fewer or a stretch does not fit.
  template <typename Unchanged, typename Changed>
  bool Take(uint32_t n, Unchanged unchanged, Changed changed) {
    uint32_t done = 0;
    while (done < n) {
      if (unchanged_ == 0 && changed_ == 0) {
        if (!in_.ReadVarU32(&unchanged_) || !in_.ReadVarU32(&changed_) ||
            uint64_t{unchanged_} + changed_ == 0 || !in_.ReadSpan(changed_, &bytes_)) {
          return false;
        }
      }
      if (unchanged_ != 0) {
        const uint32_t count = std::min(unchanged_, n - done);
        unchanged(done, count);
        unchanged_ -= count;
        done += count;
      } else {
        const uint32_t count = std::min(changed_, n - done);
        changed(done, count, bytes_);
        bytes_ += count;
        changed_ -= count;
        done += count;
      }
    }
    return true;
  }
  bool AtEnd() const { return unchanged_ == 0 && changed_ == 0 && in_.remaining() == 0; }

 private:
  otu::Buffer in_;
  uint32_t unchanged_ = 0;
  uint32_t changed_ = 0;
  const uint8_t* bytes_ = nullptr;
};

// Walks the steps of `streams` for a table of `newLength` bytes, checking
// each against the table, the streams and an old table of `oldLength` bytes
// (skipped when `oldLength` is negative). Each step goes to
// `step(at, oldAt, add, extra, extraAt, differences)`, which takes its `add`
// differences from the cursor. True when the steps make exactly the table
// from exactly the streams.
template <typename Step>
bool WalkSteps(const Streams& streams, uint32_t newLength, int64_t oldLength, Step step) {
  otu::Buffer control(streams.control, streams.controlSize);
  DifferenceCursor differences(streams.differences, streams.differenceSize);
  uint64_t at = 0;
  uint64_t extraAt = 0;
  int64_t oldAt = 0;
  while (control.remaining() > 0) {
    uint32_t seek = 0, add = 0, extra = 0;
    if (!control.ReadVarU32(&seek) || !control.ReadVarU32(&add) || !control.ReadVarU32(&extra)) return false;
    oldAt += Unzigzag(seek);
    // No table is that long: the position of a file that says otherwise
    // would only grow towards an overflow.
    if (oldAt > kFarthest || oldAt < -kFarthest) return false;
    if (uint64_t{add} + extra == 0 || at + add + extra > newLength || extraAt + extra > streams.extraSize) {
      return false;
    }
    if (add != 0 && oldLength >= 0 && (oldAt < 0 || oldAt + add > oldLength)) return false;
    if (!step(static_cast<size_t>(at), static_cast<size_t>(oldAt), add, extra, static_cast<size_t>(extraAt),
              &differences)) {
      return false;
    }
    at += uint64_t{add} + extra;
    extraAt += extra;
    oldAt += add;
  }
  return at == newLength && differences.AtEnd() && extraAt == streams.extraSize;
}

}  // namespace

bool ReadPackedBlock(const uint8_t* block, size_t size, uint32_t newLength, PackedBlock* out) {
  otu::Buffer in(block, size);
  if (!in.ReadVarU32(&out->controlSize) || !in.ReadVarU32(&out->differenceSize) ||
      !in.ReadVarU32(&out->extraSize)) {
    return false;
  }
  out->packed = in.here();
  out->packedSize = in.remaining();
  // A step takes at most kMaxStepSize bytes and a stretch of differences
  // kMaxStretchHeader and its bytes, and each makes at least one byte.
  return out->extraSize <= newLength && out->controlSize <= uint64_t{newLength} * sabun::ext::kMaxStepSize &&
         out->differenceSize <= uint64_t{newLength} * (sabun::ext::kMaxStretchHeader + 1) &&
         out->UnpackedSize() <= out->packedSize * sabun::ext::kMaxInflateRatio;
}

bool Unpack(const PackedBlock& block, uint8_t* to, Streams* streams) {
  const uint64_t size = block.UnpackedSize();
  if (block.packedSize > UINT32_MAX || size > UINT32_MAX) return false;
  z_stream z;
  std::memset(&z, 0, sizeof z);
  if (inflateInit(&z) != Z_OK) return false;
  z.next_in = const_cast<Bytef*>(block.packed);
  z.avail_in = static_cast<uInt>(block.packedSize);
  // Room for one byte more than the streams: a stream that runs on fills it.
  uint8_t spare = 0;
  z.next_out = size != 0 ? to : &spare;
  z.avail_out = static_cast<uInt>(size != 0 ? size : 1);
  int status = inflate(&z, Z_FINISH);
  if (status == Z_BUF_ERROR && z.avail_out == 0 && size != 0) {
    z.next_out = &spare;
    z.avail_out = 1;
    status = inflate(&z, Z_FINISH);
  }
  const bool whole = status == Z_STREAM_END && z.avail_in == 0 && z.total_out == size;
  inflateEnd(&z);
  if (!whole) return false;
  streams->control = to;
  streams->controlSize = block.controlSize;
  streams->differences = to + block.controlSize;
  streams->differenceSize = block.differenceSize;
  streams->extra = streams->differences + block.differenceSize;
  streams->extraSize = block.extraSize;
  return true;
}

bool Apply(const Streams& streams, const uint8_t* old, uint32_t oldLength, uint8_t* table, uint32_t newLength,
           uint32_t* checksum) {
  const uint8_t* const extraBytes = streams.extra;
  // The table is written front to back: its words are summed in pieces as
  // soon as they are written, while they are still in the nearest cache.
  size_t summed = 0;
  uint32_t sum = 0;
  const bool made =
      WalkSteps(streams, newLength, oldLength,
                [&](size_t at, size_t oldAt, uint32_t add, uint32_t extra, size_t extraAt, DifferenceCursor* d) {
                  uint8_t* const to = table + at;
                  const uint8_t* const from = old + oldAt;
                  const bool added = d->Take(
                      add, [&](uint32_t k, uint32_t count) { std::memcpy(to + k, from + k, count); },
                      [&](uint32_t k, uint32_t count, const uint8_t* difference) {
                        for (uint32_t j = 0; j < count; ++j) {
                          to[k + j] = static_cast<uint8_t>(from[k + j] + difference[j]);
                        }
                      });
                  if (extra != 0) std::memcpy(to + add, extraBytes + extraAt, extra);
                  const size_t written = (at + add + extra) & ~size_t{3};
                  if (written >= summed + kSumPiece) {
                    sum += SumWordsAt(table + summed, written - summed, 0);
                    summed = written;
                  }
                  return added;
                });
  if (!made) return false;
  // The last bytes, a partial word padded with zeros.
  *checksum = sum + SumWordsAt(table + summed, newLength - summed, 0);
  return true;
}

bool FindByte(const Streams& streams, uint32_t newLength, size_t at, ByteOrigin* origin) {
  bool found = false;
  const bool whole = WalkSteps(
      streams, newLength, -1,
      [&](size_t stepAt, size_t oldAt, uint32_t add, uint32_t extra, size_t extraAt, DifferenceCursor* d) {
        const bool inStep = at >= stepAt && at < stepAt + add + extra;
        const size_t k = at - stepAt;
        if (inStep && k >= add) {
          found = true;
          *origin = ByteOrigin{false, 0, streams.extra[extraAt + k - add]};
        }
        return d->Take(
            add,
            [&](uint32_t from, uint32_t count) {
              if (inStep && k >= from && k < from + count) {
                found = true;
                *origin = ByteOrigin{true, oldAt + k, 0};
              }
            },
            [&](uint32_t from, uint32_t count, const uint8_t* difference) {
              if (inStep && k >= from && k < from + count) {
                found = true;
                *origin = ByteOrigin{true, oldAt + k, difference[k - from]};
              }
            });
      });
  return whole && found;
}

}  // namespace add_copy
