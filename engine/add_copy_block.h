// Blocks in the compressed add-and-copy encoding (see sabun_format.h): read,
// inflated, checked and applied. The maker that writes them lives in otpa.
#ifndef OTU_ENGINE_ADD_COPY_BLOCK_H_
#define OTU_ENGINE_ADD_COPY_BLOCK_H_

#include <cstddef>
#include <cstdint>

namespace add_copy {

// A block as stored: its three stream lengths and the zlib bytes after them.
struct PackedBlock {
  uint32_t controlSize = 0;
  uint32_t differenceSize = 0;
  uint32_t extraSize = 0;
  const uint8_t* packed = nullptr;
  size_t packedSize = 0;

  uint64_t UnpackedSize() const { return uint64_t{controlSize} + differenceSize + extraSize; }
};

// The three streams, inflated.
struct Streams {
  const uint8_t* control = nullptr;
  uint32_t controlSize = 0;
  const uint8_t* differences = nullptr;
  uint32_t differenceSize = 0;
  const uint8_t* extra = nullptr;
  uint32_t extraSize = 0;
};

// Reads the lengths in front of the `size` bytes of a block that makes a
// table of `newLength` bytes. False when they do not fit there: more extra
// bytes than the table, more steps or stretches than it has bytes, or more
// than the packed bytes can inflate to.
bool ReadPackedBlock(const uint8_t* block, size_t size, uint32_t newLength, PackedBlock* out);

// Inflates `block` into `to` (UnpackedSize() bytes). False for a damaged
// stream, one that ends early or runs on. The steps are checked as they are
// applied, as copy runs are.
bool Unpack(const PackedBlock& block, uint8_t* to, Streams* streams);

// Makes the new table, `newLength` bytes at `table`, from `streams` over the
// old table, and its checksum (the padding counted as zero). False, the
// table partly written, when a step leaves either table or a stream, or the
// steps do not make exactly the table from exactly the streams.
bool Apply(const Streams& streams, const uint8_t* old, uint32_t oldLength, uint8_t* table, uint32_t newLength,
           uint32_t* checksum);

// Where byte `at` of a new table comes from: the old table's byte at
// `oldAt` plus the difference byte `value`, or the extra byte `value`.
struct ByteOrigin {
  bool fromOld = false;
  size_t oldAt = 0;
  uint8_t value = 0;
};
// False when the steps, checked as Apply checks them but for the old
// table's bounds, do not make byte `at`.
bool FindByte(const Streams& streams, uint32_t newLength, size_t at, ByteOrigin* origin);

}  // namespace add_copy

#endif  // OTU_ENGINE_ADD_COPY_BLOCK_H_
