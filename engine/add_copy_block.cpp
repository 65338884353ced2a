#include "engine/add_copy_block.h"

#include <zlib.h>

#include <cstring>

#include "engine/byte_io.h"
#include "engine/sabun_format.h"

namespace add_copy {
namespace {

constexpr int64_t kFarthest = int64_t{1} << 40;

int64_t Unzigzag(uint32_t value) {
  return (value & 1u) != 0 ? -static_cast<int64_t>((uint64_t{value} + 1) / 2) : static_cast<int64_t>(value / 2);
}

// Walks the steps of `streams` for a table of `newLength` bytes, checking
// each against the table, the streams and an old table of `oldLength` bytes
// (skipped when `oldLength` is negative), and hands each step's add and
// extra, with where they go and come from, to `step`. True when the steps
// make exactly the table from exactly the streams.
template <typename Step>
bool WalkSteps(const Streams& streams, uint32_t newLength, int64_t oldLength, Step step) {
  otu::Buffer control(streams.control, streams.controlSize);
  uint64_t at = 0;
  uint64_t differenceAt = 0;
  uint64_t extraAt = 0;
  int64_t oldAt = 0;
  while (control.remaining() > 0) {
    uint32_t seek = 0, add = 0, extra = 0;
    if (!control.ReadVarU32(&seek) || !control.ReadVarU32(&add) || !control.ReadVarU32(&extra)) return false;
    oldAt += Unzigzag(seek);
    // No table is that long: the position of a file that says otherwise
    // would only grow towards an overflow.
    if (oldAt > kFarthest || oldAt < -kFarthest) return false;
    if (uint64_t{add} + extra == 0 || at + add + extra > newLength || differenceAt + add > streams.differenceSize ||
        extraAt + extra > streams.extraSize) {
      return false;
    }
    if (add != 0 && oldLength >= 0 && (oldAt < 0 || oldAt + add > oldLength)) return false;
    step(static_cast<size_t>(at), static_cast<size_t>(oldAt), add, static_cast<size_t>(differenceAt), extra,
         static_cast<size_t>(extraAt));
    at += uint64_t{add} + extra;
    differenceAt += add;
    extraAt += extra;
    oldAt += add;
  }
  return at == newLength && differenceAt == streams.differenceSize && extraAt == streams.extraSize;
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
  return uint64_t{out->differenceSize} + out->extraSize == newLength &&
         out->controlSize <= uint64_t{newLength} * sabun::ext::kMaxStepSize &&
         out->UnpackedSize() <= out->packedSize * sabun::ext::kMaxInflateRatio;
}

bool Unpack(const PackedBlock& block, uint32_t newLength, uint8_t* to, Streams* streams) {
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
  return WalkSteps(*streams, newLength, -1, [](size_t, size_t, uint32_t, size_t, uint32_t, size_t) {});
}

bool Apply(const Streams& streams, const uint8_t* old, uint32_t oldLength, uint8_t* table, uint32_t newLength) {
  const uint8_t* const differences = streams.differences;
  const uint8_t* const extraBytes = streams.extra;
  return WalkSteps(streams, newLength, oldLength,
                   [&](size_t at, size_t oldAt, uint32_t add, size_t differenceAt, uint32_t extra, size_t extraAt) {
                     uint8_t* to = table + at;
                     const uint8_t* from = old + oldAt;
                     const uint8_t* difference = differences + differenceAt;
                     for (uint32_t k = 0; k < add; ++k) to[k] = static_cast<uint8_t>(from[k] + difference[k]);
                     if (extra != 0) std::memcpy(to + add, extraBytes + extraAt, extra);
                   });
}

bool FindByte(const Streams& streams, uint32_t newLength, size_t at, ByteOrigin* origin) {
  bool found = false;
  const bool whole = WalkSteps(
      streams, newLength, -1,
      [&](size_t stepAt, size_t oldAt, uint32_t add, size_t differenceAt, uint32_t extra, size_t extraAt) {
        if (at < stepAt || at >= stepAt + add + extra) return;
        found = true;
        const size_t k = at - stepAt;
        origin->fromOld = k < add;
        origin->oldAt = k < add ? oldAt + k : 0;
        origin->value = k < add ? streams.differences[differenceAt + k] : streams.extra[extraAt + k - add];
      });
  return whole && found;
}

}  // namespace add_copy
