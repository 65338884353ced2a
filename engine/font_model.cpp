#include "engine/font_model.h"

#include <algorithm>
#include <cstring>

#include "engine/byte_io.h"
#include "engine/image_pool.h"

using otu::LoadU16;
using otu::LoadU32;
using otu::RangeFits;
using otu::RoundUp4;

namespace {

// AddByteLanes on the first size / 32 * 32 bytes, 32 at a time, where the
// processor has 16-byte registers (every x86-64 one). In each 16-bit field
// the whole field is summed, and its odd (high) byte alone; the even bytes'
// sum is what the whole fields' sum holds beyond 256 times the odd bytes',
// which modulo 2^16 is exact as long as it stays below 2^16. That is one
// shift and two additions per 16 bytes, about half the instructions of
// taking the bytes apart with masks. Returns how many bytes it took (0
// without such registers).
template <bool kCopy>
size_t AddByteLanesWide(const uint8_t* bytes, size_t size, uint64_t lanes[4], uint8_t* copyTo) {
#if defined(__SSE2__)
  // Eight 16-bit fields, loaded from anywhere.
  typedef uint16_t Fields __attribute__((vector_size(16), aligned(1)));
  const size_t pairs = size / 32;
  for (size_t i = 0; i < pairs;) {
    // Each field takes at most 2 * 128 bytes of 255: its sums stay below 2^16.
    const size_t end = std::min(pairs, i + 128);
    Fields whole = {}, odd = {}, whole2 = {}, odd2 = {};
    for (; i < end; ++i) {
      Fields first, second;
      std::memcpy(&first, bytes + 32 * i, 16);
      std::memcpy(&second, bytes + 32 * i + 16, 16);
      if (kCopy) {
        std::memcpy(copyTo + 32 * i, &first, 16);
        std::memcpy(copyTo + 32 * i + 16, &second, 16);
      }
      whole += first;
      odd += first >> 8;
      whole2 += second;
      odd2 += second >> 8;
    }
    // Field f holds byte 2f (even) and 2f + 1 (odd) of each 16: x86
    // registers are little-endian.
    const Fields wholeSum = whole + whole2;
    const Fields oddSum = odd + odd2;
    for (size_t f = 0; f < 8; ++f) {
      lanes[(2 * f) % 4] += static_cast<uint16_t>(wholeSum[f] - (oddSum[f] << 8));
      lanes[(2 * f + 1) % 4] += oddSum[f];
    }
  }
  return 32 * pairs;
#else
  (void)bytes;
  (void)size;
  (void)lanes;
  (void)copyTo;
  return 0;
#endif
}

// Adds to lanes[k] the bytes at positions k, k + 4, k + 8, ... of `bytes`,
// copying them to `copyTo` on the way when kCopy. Eight bytes are taken at a
// time and their even and odd bytes summed in four 16-bit fields each, which
// neither a byte-by-byte loop nor a word-by-word byte swap comes near on
// megabytes of font; copying in the same pass reads the bytes once.
template <bool kCopy>
void AddByteLanes(const uint8_t* bytes, size_t size, uint64_t lanes[4], uint8_t* copyTo) {
  // A multiple of 4: the lanes stay where they are for the rest.
  const size_t wide = AddByteLanesWide<kCopy>(bytes, size, lanes, copyTo);
  bytes += wide;
  size -= wide;
  if (kCopy) copyTo += wide;
  constexpr uint64_t kEvenBytes = 0x00FF00FF00FF00FFull;
  // Field f of a 64-bit load holds byte 2f (even sums) and 2f + 1 (odd sums)
  // on a little-endian host, bytes 7 - 2f and 6 - 2f on a big-endian one.
  const uint16_t probe = 1;
  uint8_t lowByte;
  std::memcpy(&lowByte, &probe, 1);
  const bool littleEndian = lowByte == 1;
  const size_t loads = size / 8;
  for (size_t i = 0; i < loads;) {
    // 255 times 256 loads still fits a 16-bit field.
    const size_t end = std::min(loads, i + 256);
    uint64_t even = 0;
    uint64_t odd = 0;
    for (; i < end; ++i) {
      uint64_t eight;
      std::memcpy(&eight, bytes + 8 * i, 8);
      if (kCopy) std::memcpy(copyTo + 8 * i, &eight, 8);
      even += eight & kEvenBytes;
      odd += (eight >> 8) & kEvenBytes;
    }
    for (size_t f = 0; f < 4; ++f) {
      const size_t evenByte = littleEndian ? 2 * f : 7 - 2 * f;
      const size_t oddByte = littleEndian ? 2 * f + 1 : 6 - 2 * f;
      lanes[evenByte % 4] += (even >> (16 * f)) & 0xFFFF;
      lanes[oddByte % 4] += (odd >> (16 * f)) & 0xFFFF;
    }
  }
  for (size_t b = 8 * loads; b < size; ++b) {
    if (kCopy) copyTo[b] = bytes[b];
    lanes[b % 4] += bytes[b];
  }
}

// The word sum of bytes whose lane sums are `lanes`, placed `position` bytes
// after the start of a word-aligned range.
uint32_t CombineLanes(const uint64_t lanes[4], size_t position) {
  uint32_t sum = 0;
  for (size_t k = 0; k < 4; ++k) {
    // Lane k holds byte (position + k) % 4 of its words; byte 0 is the most
    // significant.
    sum += static_cast<uint32_t>(lanes[k]) << (8 * (3 - (position + k) % 4));
  }
  return sum;
}

}  // namespace

uint32_t SumWordsAt(const uint8_t* bytes, size_t size, size_t position) {
  uint64_t lanes[4] = {0, 0, 0, 0};
  AddByteLanes<false>(bytes, size, lanes, nullptr);
  return CombineLanes(lanes, position);
}

uint32_t CopySumWordsAt(uint8_t* destination, const uint8_t* source, size_t size, size_t position) {
  uint64_t lanes[4] = {0, 0, 0, 0};
  AddByteLanes<true>(source, size, lanes, destination);
  return CombineLanes(lanes, position);
}

uint32_t SumWordsPadded(const uint8_t* bytes, size_t size) { return SumWordsAt(bytes, size, 0); }

uint32_t CalcTableChecksum(const uint8_t* bytes, uint32_t length) {
  return SumWordsPadded(bytes, (static_cast<size_t>(length) + 3) & ~size_t{3});
}

bool ByteBuffer::Allocate(size_t size) {
  if (size > capacity_) {
    Release();
    const image_pool::Block block = image_pool::Take(size);
    if (block.bytes == nullptr) return false;
    bytes_ = block.bytes;
    capacity_ = block.size;
  }
  size_ = size;
  return true;
}

void ByteBuffer::Release() {
  image_pool::Give({bytes_, capacity_});
  bytes_ = nullptr;
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

int COpenTypeHeader::ReadHeader(const uint8_t* file, size_t fileLength, bool trueTypeToo) {
  uint32_t version;
  if (!LoadU32(file, fileLength, 0, &version)) return 0;
  if (version != kSfntVersionOtto && !(trueTypeToo && IsFontSfntVersion(version))) return 0;
  if (fileLength < kOffsetTableSize) return 0;
  state = 2;
  sfntVersion = version;
  LoadU16(file, fileLength, 4, &numTables);
  LoadU16(file, fileLength, 6, &searchRange);
  LoadU16(file, fileLength, 8, &entrySelector);
  LoadU16(file, fileLength, 10, &rangeShift);
  return 1;
}

void SetSearchFields(COpenTypeHeader* header) {
  uint16_t power = 0;  // entrySelector: the largest power of 2 not above the count
  while (power < 15 && (1u << (power + 1)) <= header->numTables) ++power;
  header->entrySelector = header->numTables == 0 ? 0 : power;
  header->searchRange = header->numTables == 0 ? 0 : static_cast<uint16_t>(kDirectoryEntrySize << power);
  header->rangeShift = static_cast<uint16_t>(kDirectoryEntrySize * header->numTables - header->searchRange);
}

uint32_t TableChecksumWithoutAdjustment(const CTagObject& table) {
  constexpr size_t kCheckSumAdjustmentOffset = 8;
  uint32_t sum = SumWordsPadded(table.data, table.length);
  uint32_t adjustment = 0;
  if (std::strcmp(table.tagText, "head") == 0 &&
      LoadU32(table.data, table.length, kCheckSumAdjustmentOffset, &adjustment)) {
    sum -= adjustment;
  }
  return sum;
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
  newPlacedSum = 0;
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
