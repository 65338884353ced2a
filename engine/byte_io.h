// Big-endian access to font files and difference files.
//
// Every multi-byte integer of a font or a difference file goes through
// SwapCopy; Buffer and Writer are cursors that can never leave the byte range
// they were given: a read or write that does not fit fails and moves nothing.
#ifndef OTU_ENGINE_BYTE_IO_H_
#define OTU_ENGINE_BYTE_IO_H_

#include <cstddef>
#include <cstdint>

namespace otu {

// Copies n bytes from source to destination in reverse byte order (n is 1, 2
// or 4). Source and destination may be the same place.
void SwapCopy(void* destination, const void* source, size_t n);

// n itself when it is a multiple of 4, otherwise the next multiple of 4.
int32_t RoundUp4(int32_t n);

// True when [offset, offset + length) lies within [0, total), without overflow.
inline bool RangeFits(uint64_t offset, uint64_t length, uint64_t total) {
  return offset <= total && length <= total - offset;
}

// Reads a big-endian value at `offset` of a range of `size` bytes; false when
// it does not fit.
bool LoadU16(const uint8_t* data, size_t size, size_t offset, uint16_t* out);
bool LoadU32(const uint8_t* data, size_t size, size_t offset, uint32_t* out);
// Writes a big-endian value at `offset`; false (nothing written) when it does
// not fit.
bool StoreU16(uint8_t* data, size_t size, size_t offset, uint16_t value);
bool StoreU32(uint8_t* data, size_t size, size_t offset, uint32_t value);

// Read cursor over a fixed byte range.
class Buffer {
 public:
  Buffer(const uint8_t* data, size_t length) : data_(data), length_(length) {}

  bool ReadU8(uint8_t* value);
  bool ReadU16(uint16_t* value);
  bool ReadU32(uint32_t* value);
  bool ReadS32(int32_t* value);
  // Copies n bytes as stored (tags, dates, names).
  bool ReadBytes(void* out, size_t n);
  bool Skip(size_t n);
  bool Seek(size_t offset);

  const uint8_t* data() const { return data_; }
  size_t length() const { return length_; }
  size_t offset() const { return offset_; }
  size_t remaining() const { return length_ - offset_; }
  // The byte at the cursor; valid only while remaining() > 0.
  const uint8_t* here() const { return data_ + offset_; }

 private:
  const uint8_t* data_;
  size_t length_;
  size_t offset_ = 0;
};

// Write cursor over a fixed byte range.
class Writer {
 public:
  Writer(uint8_t* data, size_t length) : data_(data), length_(length) {}

  bool WriteU8(uint8_t value);
  bool WriteU16(uint16_t value);
  bool WriteU32(uint32_t value);
  bool WriteBytes(const void* bytes, size_t n);
  bool Seek(size_t offset);

  size_t offset() const { return offset_; }
  size_t length() const { return length_; }

 private:
  uint8_t* data_;
  size_t length_;
  size_t offset_ = 0;
};

}  // namespace otu

#endif  // OTU_ENGINE_BYTE_IO_H_
