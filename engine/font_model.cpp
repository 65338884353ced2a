#include "engine/font_model.h"

#include <cstring>
#include <new>

#include "engine/byte_io.h"

using otu::LoadU16;
using otu::LoadU32;
using otu::RangeFits;
using otu::RoundUp4;

uint32_t SumWordsPadded(const uint8_t* bytes, size_t size) {
  uint32_t sum = 0;
  size_t whole = size / 4;
  for (size_t w = 0; w < whole; ++w) {
    const uint8_t* p = bytes + 4 * w;
    sum += (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
  }
  uint32_t last = 0;
  for (size_t b = 4 * whole; b < size; ++b) last |= uint32_t{bytes[b]} << (24 - 8 * (b - 4 * whole));
  return sum + last;
}

uint32_t CalcTableChecksum(const uint8_t* bytes, uint32_t length) {
  return SumWordsPadded(bytes, (static_cast<size_t>(length) + 3) & ~size_t{3});
}

bool AllocateZeroed(std::vector<uint8_t>* buffer, size_t size) {
  // The one place where an allocation failure becomes a return value.
  try {
    buffer->assign(size, 0);
  } catch (const std::bad_alloc&) {
    buffer->clear();
    buffer->shrink_to_fit();
    return false;
  }
  return true;
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
  newData.clear();
  newData.shrink_to_fit();
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
