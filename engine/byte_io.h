// Big-endian access to font files and difference files.
//
// Every multi-byte integer of a font or a difference file goes through
// SwapCopy; Buffer and Writer are cursors that can never leave the byte range
// they were given: a read or write that does not fit fails and moves nothing.
// Windows programs, which otpa looks into for the package they carry, are
// little-endian: LoadU16Le and LoadU32Le read them with the same checks.
#ifndef OTU_ENGINE_BYTE_IO_H_
#define OTU_ENGINE_BYTE_IO_H_

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace otu {

// Everything here is inline: a difference file's block is read field by
// field, tens of thousands of runs of three fields each, and a call per
// field cost more than the reading itself.

// Copies n bytes from source to destination in reverse byte order (n is 1, 2
// or 4). Source and destination may be the same place.
inline void SwapCopy(void* destination, const void* source, size_t n) {
  // One byte swap instruction for the sizes the formats use.
  if (n == 4) {
    uint32_t word;
    std::memcpy(&word, source, 4);
    word = __builtin_bswap32(word);
    std::memcpy(destination, &word, 4);
  } else if (n == 2) {
    uint16_t half;
    std::memcpy(&half, source, 2);
    half = __builtin_bswap16(half);
    std::memcpy(destination, &half, 2);
  } else {
    uint8_t scratch[4];
    std::memcpy(scratch, source, n);
    uint8_t* out = static_cast<uint8_t*>(destination);
    for (size_t i = 0; i < n; ++i) out[n - 1 - i] = scratch[i];
  }
}

// n itself when it is a multiple of 4, otherwise the next multiple of 4.
int32_t RoundUp4(int32_t n);

// True when [offset, offset + length) lies within [0, total), without overflow.
inline bool RangeFits(uint64_t offset, uint64_t length, uint64_t total) {
  return offset <= total && length <= total - offset;
}

// Reads a big-endian value at `offset` of a range of `size` bytes; false when
// it does not fit.
inline bool LoadU16(const uint8_t* data, size_t size, size_t offset, uint16_t* out) {
  if (!RangeFits(offset, 2, size)) return false;
  SwapCopy(out, data + offset, 2);
  return true;
}
inline bool LoadU32(const uint8_t* data, size_t size, size_t offset, uint32_t* out) {
  if (!RangeFits(offset, 4, size)) return false;
  SwapCopy(out, data + offset, 4);
  return true;
}
// Reads a little-endian value at `offset` of a range of `size` bytes; false
// when it does not fit.
inline bool LoadU16Le(const uint8_t* data, size_t size, size_t offset, uint16_t* out) {
  if (!RangeFits(offset, 2, size)) return false;
  *out = static_cast<uint16_t>(data[offset] | data[offset + 1] << 8);
  return true;
}
inline bool LoadU32Le(const uint8_t* data, size_t size, size_t offset, uint32_t* out) {
  if (!RangeFits(offset, 4, size)) return false;
  *out = uint32_t{data[offset]} | uint32_t{data[offset + 1]} << 8 | uint32_t{data[offset + 2]} << 16 |
         uint32_t{data[offset + 3]} << 24;
  return true;
}
// Writes a big-endian value at `offset`; false (nothing written) when it does
// not fit.
inline bool StoreU16(uint8_t* data, size_t size, size_t offset, uint16_t value) {
  if (!RangeFits(offset, 2, size)) return false;
  SwapCopy(data + offset, &value, 2);
  return true;
}
inline bool StoreU32(uint8_t* data, size_t size, size_t offset, uint32_t value) {
  if (!RangeFits(offset, 4, size)) return false;
  SwapCopy(data + offset, &value, 4);
  return true;
}

// Read cursor over a fixed byte range.
class Buffer {
 public:
  Buffer(const uint8_t* data, size_t length) : data_(data), length_(length) {}

  bool ReadU8(uint8_t* value) { return ReadBytes(value, 1); }
  bool ReadU16(uint16_t* value) {
    if (!LoadU16(data_, length_, offset_, value)) return false;
    offset_ += 2;
    return true;
  }
  bool ReadU32(uint32_t* value) {
    if (!LoadU32(data_, length_, offset_, value)) return false;
    offset_ += 4;
    return true;
  }
  bool ReadS32(int32_t* value) {
    uint32_t raw;
    if (!ReadU32(&raw)) return false;
    std::memcpy(value, &raw, 4);
    return true;
  }
  // An unsigned LEB128 value: seven bits a byte, low bits first, the high
  // bit set on every byte but the last; at most five bytes and 32 bits.
  // False (nothing moved) when it does not fit or is longer.
  bool ReadVarU32(uint32_t* value) {
    uint64_t result = 0;
    for (size_t k = 0; k < 5 && offset_ + k < length_; ++k) {
      const uint8_t byte = data_[offset_ + k];
      result |= uint64_t{byte & 0x7Fu} << (7 * k);
      if ((byte & 0x80u) == 0) {
        if (result > UINT32_MAX) return false;
        *value = static_cast<uint32_t>(result);
        offset_ += k + 1;
        return true;
      }
    }
    return false;
  }
  // Copies n bytes as stored (tags, dates, names).
  bool ReadBytes(void* out, size_t n) {
    if (!RangeFits(offset_, n, length_)) return false;
    if (n != 0) std::memcpy(out, data_ + offset_, n);
    offset_ += n;
    return true;
  }
  bool Skip(size_t n) {
    if (!RangeFits(offset_, n, length_)) return false;
    offset_ += n;
    return true;
  }
  // Hands out the next n bytes whole, for an array of fixed-size records
  // read with SpanU32/SpanS32: one check for all of them instead of one per
  // field. False (nothing moved) when they do not fit.
  bool ReadSpan(size_t n, const uint8_t** span) {
    if (!RangeFits(offset_, n, length_)) return false;
    *span = data_ + offset_;
    offset_ += n;
    return true;
  }
  bool Seek(size_t offset) {
    if (offset > length_) return false;
    offset_ = offset;
    return true;
  }

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

// The big-endian value at `bytes`, 4 bytes inside a span that
// Buffer::ReadSpan handed out: its check covers them.
inline uint32_t SpanU32(const uint8_t* bytes) {
  uint32_t value;
  SwapCopy(&value, bytes, 4);
  return value;
}
inline int32_t SpanS32(const uint8_t* bytes) {
  const uint32_t raw = SpanU32(bytes);
  int32_t value;
  std::memcpy(&value, &raw, 4);
  return value;
}

// Write cursor over a fixed byte range.
class Writer {
 public:
  Writer(uint8_t* data, size_t length) : data_(data), length_(length) {}

  bool WriteU8(uint8_t value) { return WriteBytes(&value, 1); }
  bool WriteU16(uint16_t value) {
    if (!StoreU16(data_, length_, offset_, value)) return false;
    offset_ += 2;
    return true;
  }
  bool WriteU32(uint32_t value) {
    if (!StoreU32(data_, length_, offset_, value)) return false;
    offset_ += 4;
    return true;
  }
  bool WriteBytes(const void* bytes, size_t n) {
    if (!RangeFits(offset_, n, length_)) return false;
    if (n != 0) std::memcpy(data_ + offset_, bytes, n);
    offset_ += n;
    return true;
  }
  bool Seek(size_t offset) {
    if (offset > length_) return false;
    offset_ = offset;
    return true;
  }

  size_t offset() const { return offset_; }
  size_t length() const { return length_; }

 private:
  uint8_t* data_;
  size_t length_;
  size_t offset_ = 0;
};

}  // namespace otu

#endif  // OTU_ENGINE_BYTE_IO_H_
