#include "engine/byte_io.h"

#include <cstring>

namespace otu {

void SwapCopy(void* destination, const void* source, size_t n) {
  uint8_t scratch[4];
  std::memcpy(scratch, source, n);
  uint8_t* out = static_cast<uint8_t*>(destination);
  for (size_t i = 0; i < n; ++i) out[n - 1 - i] = scratch[i];
}

int32_t RoundUp4(int32_t n) {
  return static_cast<int32_t>((static_cast<uint32_t>(n) + 3u) & ~3u);
}

bool LoadU16(const uint8_t* data, size_t size, size_t offset, uint16_t* out) {
  if (!RangeFits(offset, 2, size)) return false;
  SwapCopy(out, data + offset, 2);
  return true;
}

bool LoadU32(const uint8_t* data, size_t size, size_t offset, uint32_t* out) {
  if (!RangeFits(offset, 4, size)) return false;
  SwapCopy(out, data + offset, 4);
  return true;
}

bool StoreU16(uint8_t* data, size_t size, size_t offset, uint16_t value) {
  if (!RangeFits(offset, 2, size)) return false;
  SwapCopy(data + offset, &value, 2);
  return true;
}

bool StoreU32(uint8_t* data, size_t size, size_t offset, uint32_t value) {
  if (!RangeFits(offset, 4, size)) return false;
  SwapCopy(data + offset, &value, 4);
  return true;
}

bool Buffer::ReadU8(uint8_t* value) { return ReadBytes(value, 1); }

bool Buffer::ReadU16(uint16_t* value) {
  if (!LoadU16(data_, length_, offset_, value)) return false;
  offset_ += 2;
  return true;
}

bool Buffer::ReadU32(uint32_t* value) {
  if (!LoadU32(data_, length_, offset_, value)) return false;
  offset_ += 4;
  return true;
}

bool Buffer::ReadS32(int32_t* value) {
  uint32_t raw;
  if (!ReadU32(&raw)) return false;
  std::memcpy(value, &raw, 4);
  return true;
}

bool Buffer::ReadBytes(void* out, size_t n) {
  if (!RangeFits(offset_, n, length_)) return false;
  if (n != 0) std::memcpy(out, data_ + offset_, n);
  offset_ += n;
  return true;
}

bool Buffer::Skip(size_t n) {
  if (!RangeFits(offset_, n, length_)) return false;
  offset_ += n;
  return true;
}

bool Buffer::Seek(size_t offset) {
  if (offset > length_) return false;
  offset_ = offset;
  return true;
}

bool Writer::WriteU8(uint8_t value) { return WriteBytes(&value, 1); }

bool Writer::WriteU16(uint16_t value) {
  if (!StoreU16(data_, length_, offset_, value)) return false;
  offset_ += 2;
  return true;
}

bool Writer::WriteU32(uint32_t value) {
  if (!StoreU32(data_, length_, offset_, value)) return false;
  offset_ += 4;
  return true;
}

bool Writer::WriteBytes(const void* bytes, size_t n) {
  if (!RangeFits(offset_, n, length_)) return false;
  if (n != 0) std::memcpy(data_ + offset_, bytes, n);
  offset_ += n;
  return true;
}

bool Writer::Seek(size_t offset) {
  if (offset > length_) return false;
  offset_ = offset;
  return true;
}

}  // namespace otu
