#include "engine/sabun_data.h"

#include <algorithm>
#include <cstring>

#include "engine/byte_io.h"
#include "engine/sabun_format.h"

namespace {

bool FindSabunResource(const platform::ResourceSource& resources, int32_t resourceId,
                       platform::ResourceBytes* out) {
  uint16_t id = static_cast<uint16_t>(static_cast<uint32_t>(resourceId) & 0xFFFFu);
  return resources.Find(sabun::kResourceType, id, out) && out->data != nullptr && out->size != 0;
}

// How far ahead of the insert runs' walk their bytes are asked for.
constexpr size_t kCacheLine = 64;
constexpr size_t kReadAhead = 2048;

}  // namespace

int CSabunTagObject::ReadSabun(const uint8_t* block, size_t available) {
  hasBlock = 1;
  literalsEnd = block + available;
  otu::Buffer in(block, available);
  int32_t copyCount;
  if (!in.ReadS32(&copyCount)) return 0;
  if (copyCount > 0) {
    // A count the remaining bytes cannot hold is refused before anything is
    // read for it.
    if (static_cast<uint64_t>(copyCount) * sabun::kCopyRunSize > in.remaining()) return 0;
    const size_t count = static_cast<size_t>(copyCount);
    const uint8_t* runs = nullptr;
    if (!in.ReadSpan(count * sabun::kCopyRunSize, &runs)) return 0;
    copyRuns = CopyRunList(runs, count);
  }
  int32_t insertCount;
  if (!in.ReadS32(&insertCount)) return 0;
  if (insertCount <= 0) return 1;
  if (static_cast<uint64_t>(insertCount) * sabun::kInsertRunHeaderSize > in.remaining()) return 0;
  // Every insert run and its literal bytes must lie in the file. Where each
  // run starts is known only from the one before it, so the walk would wait
  // for memory at every run of long literals: the bytes ahead of it are asked
  // for early, as a plain read of the file would have them.
  const size_t first = in.offset();
  size_t asked = first;
  for (int32_t m = 0; m < insertCount; ++m) {
    if (in.offset() + kReadAhead / 2 > asked) {
      for (const size_t ahead = std::min(in.offset() + kReadAhead, available); asked < ahead; asked += kCacheLine) {
        __builtin_prefetch(block + asked);
      }
    }
    const uint8_t* header = nullptr;
    if (!in.ReadSpan(sabun::kInsertRunHeaderSize, &header)) return 0;
    const int32_t runLength = otu::SpanS32(header + 4);
    if (runLength < 0 || !in.Skip(static_cast<size_t>(runLength))) return 0;
  }
  insertRuns = InsertRunList(block + first, in.offset() - first, static_cast<size_t>(insertCount));
  return 1;
}

int CMakeSabunData::LoadSabunData(int32_t resourceId) {
  platform::ResourceBytes resource;
  if (!FindSabunResource(resources_, resourceId, &resource)) return 0;
  if (resource.size > 0x7FFFFFFFu) return 0;
  size = static_cast<int32_t>(resource.size);
  bytes = resource.data;

  otu::Buffer in(bytes, resource.size);
  if (resource.size < sabun::kHeaderSize) return 0;
  in.ReadBytes(magic, sizeof magic);
  in.ReadBytes(fontName, sizeof fontName);
  in.ReadU32(&expectedRevision);
  in.ReadU32(&newFileLength);
  in.ReadU8(&tableCount);
  in.ReadBytes(date, sizeof date);
  if (tableCount == 0) return 1;

  for (size_t i = 0; i < tableCount; ++i) {
    auto record = std::make_unique<CSabunTagObject>();
    if (!in.Seek(sabun::RecordOffset(i)) || in.remaining() < sabun::kRecordSize) return 0;
    in.ReadBytes(record->tag, 4);
    std::memcpy(record->tagText, record->tag, 4);
    in.ReadU8(&record->newIndex);
    in.ReadU8(&record->order);
    in.ReadU32(&record->blockOffset);
    in.ReadU32(&record->newLength);
    in.ReadU32(&record->newOffset);
    records.push_back(std::move(record));
    CSabunTagObject& stored = *records.back();
    if (stored.blockOffset >= resource.size) return 0;
    if (stored.blockOffset != 0 &&
        !stored.ReadSabun(bytes + stored.blockOffset, resource.size - stored.blockOffset)) {
      return 0;
    }
  }
  return 1;
}

int CMakeSabunData::GetFontInfo(int32_t resourceId, char name[32], uint32_t* revision) const {
  platform::ResourceBytes resource;
  if (!FindSabunResource(resources_, resourceId, &resource)) return 0;
  if (resource.size < sabun::kHeaderSize) return 0;
  if (std::memcmp(resource.data + sabun::kMagicOffset, sabun::kMagic, sabun::kMagicLength) != 0) return 0;
  std::memcpy(name, resource.data + sabun::kFontNameOffset, sabun::kFontNameSize);
  otu::LoadU32(resource.data, resource.size, sabun::kExpectedRevisionOffset, revision);
  return 1;
}

const CSabunTagObject* CMakeSabunData::GetSabunTag(int32_t index) const {
  for (const auto& record : records) {
    if (record->newIndex == index) return record.get();
  }
  return nullptr;
}
