#include "engine/font_model.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "engine/byte_io.h"

using otu::LoadU16;
using otu::LoadU32;
using otu::RangeFits;
using otu::RoundUp4;

namespace {

// Adds to lanes[k] the bytes at positions k, k + 4, k + 8, ... of `bytes`.
// A plain loop over bytes that the compiler turns into wide additions, where
// a word-by-word byte swap would cost a few times more on megabytes of font.
void AddByteLanes(const uint8_t* bytes, size_t size, uint64_t lanes[4]) {
  const size_t whole = size & ~size_t{3};
  for (size_t start = 0; start < whole;) {
    // Each lane sum stays exact: at most 2^24 bytes of 255 per round.
    const size_t end = std::min(whole, start + (size_t{1} << 24));
    uint32_t part[4] = {0, 0, 0, 0};
    for (size_t b = start; b < end; b += 4) {
      part[0] += bytes[b];
      part[1] += bytes[b + 1];
      part[2] += bytes[b + 2];
      part[3] += bytes[b + 3];
    }
    for (int k = 0; k < 4; ++k) lanes[k] += part[k];
    start = end;
  }
  for (size_t b = whole; b < size; ++b) lanes[b - whole] += bytes[b];
}

}  // namespace

uint32_t SumWordsAt(const uint8_t* bytes, size_t size, size_t position) {
  uint64_t lanes[4] = {0, 0, 0, 0};
  AddByteLanes(bytes, size, lanes);
  uint32_t sum = 0;
  for (size_t k = 0; k < 4; ++k) {
    // Byte k of the lanes is byte (position + k) % 4 of its word; byte 0 is
    // the most significant.
    sum += static_cast<uint32_t>(lanes[k]) << (8 * (3 - (position + k) % 4));
  }
  return sum;
}

uint32_t SumWordsPadded(const uint8_t* bytes, size_t size) { return SumWordsAt(bytes, size, 0); }

uint32_t CalcTableChecksum(const uint8_t* bytes, uint32_t length) {
  return SumWordsPadded(bytes, (static_cast<size_t>(length) + 3) & ~size_t{3});
}

bool ByteBuffer::Allocate(size_t size) {
  // The one place where an allocation failure becomes a return value.
  if (size > capacity_) {
    Release();
    bytes_.reset(new (std::nothrow) uint8_t[size]);
    if (bytes_ == nullptr) return false;
    capacity_ = size;
  }
  size_ = size;
  return true;
}

void ByteBuffer::Release() {
  bytes_.reset();
  size_ = 0;
  capacity_ = 0;
}

const char* const kAcceptedTags[kAcceptedTagCount] = {
    "BASE", "CFF ", "GPOS", "GSUB", "OS/2", "VORG", "cmap", "head", "hhea",
    "hmtx", "maxp", "name", "post", "vhea", "vmtx", "EBDT", "EBLC"};

bool IsAcceptedTag(const char* tagText) {
  for (const char* accepted : kAcceptedTags) {
    if (std::strcmp(accepted, tagText) == 0) return true;
  }
  return false;
}

int COpenTypeHeader::ReadHeader(const uint8_t* file, size_t fileLength) {
  uint32_t version;
  if (!LoadU32(file, fileLength, 0, &version) || version != kSfntVersionOtto) return 0;
  if (fileLength < kOffsetTableSize) return 0;
  state = 2;
  sfntVersion = version;
  LoadU16(file, fileLength, 4, &numTables);
  LoadU16(file, fileLength, 6, &searchRange);
  LoadU16(file, fileLength, 8, &entrySelector);
  LoadU16(file, fileLength, 10, &rangeShift);
  return 1;
}

int32_t CTagObject::ReadEntry(const uint8_t* entry, const uint8_t* file, size_t fileLength) {
  std::memcpy(tag, entry, 4);
  std::memcpy(tagText, entry, 4);
  tagText[4] = '\0';
  LoadU32(entry, kDirectoryEntrySize, 4, &checksum);
  LoadU32(entry, kDirectoryEntrySize, 8, &offset);
  LoadU32(entry, kDirectoryEntrySize, 12, &length);
  // Lengths are held as int32 further on; a table beyond that cannot be one
  // of a file we read whole anyway.
  if (!RangeFits(offset, length, fileLength) || length > 0x7FFFFFF0u) return -1;
  data = file + offset;
  dataAvailable = fileLength - offset;
  paddedLength = RoundUp4(static_cast<int32_t>(length));
  return paddedLength;
}

void CTagObject::ClearRebuilt() {
  newData = nullptr;
  std::memset(newTag, 0, sizeof newTag);
  newChecksum = 0;
  newOffset = 0;
  newLength = 0;
}

int LoadTableDirectory(const COpenTypeHeader& header, const uint8_t* file, size_t fileLength,
                       bool acceptedTagsOnly, TagList* tables) {
  if (!RangeFits(kOffsetTableSize, kDirectoryEntrySize * header.numTables, fileLength)) return 0;
  for (uint16_t i = 0; i < header.numTables; ++i) {
    const uint8_t* entry = file + kOffsetTableSize + kDirectoryEntrySize * i;
    char tagText[5] = {};
    std::memcpy(tagText, entry, 4);
    if (acceptedTagsOnly && !IsAcceptedTag(tagText)) return 0;
    tables->push_back(std::make_unique<CTagObject>());
    if (tables->back()->ReadEntry(entry, file, fileLength) < 0) return 0;
  }
  return 1;
}

CTagObject* FindTag(const TagList& tables, const char* tagText) {
  for (const auto& table : tables) {
    if (std::strcmp(table->tagText, tagText) == 0) return table.get();
  }
  return nullptr;
}
