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

bool HasMagic(const platform::ResourceBytes& resource, const uint8_t (&magic)[4]) {
  return resource.size >= sabun::kMagicLength && std::memcmp(resource.data, magic, sabun::kMagicLength) == 0;
}

// The header of an extended file, every field checked against the file's
// size; false when it does not fit, is of another major version or carries
// a flag this reader does not know.
struct ExtendedHeader {
  uint32_t headerSize = 0;
  uint32_t expectedRevision = 0;
  uint32_t oldSfntVersion = 0;
  uint32_t newSfntVersion = 0;
  uint32_t newFileLength = 0;
  uint8_t date[8] = {};
  uint16_t tableCount = 0;
  uint16_t oldTableCount = 0;
  uint16_t identityNameId = 0;
  std::string identity;
};

bool ReadExtendedHeader(const uint8_t* bytes, size_t size, ExtendedHeader* header) {
  namespace ext = sabun::ext;
  otu::Buffer in(bytes, size);
  uint8_t major = 0, minor = 0, identityLength = 0;
  uint16_t flags = 0;
  if (!in.Seek(ext::kMajorVersionOffset) || !in.ReadU8(&major) || !in.ReadU8(&minor) || !in.ReadU16(&flags) ||
      !in.ReadU32(&header->headerSize) || !in.ReadU32(&header->expectedRevision) ||
      !in.ReadU32(&header->oldSfntVersion) || !in.ReadU32(&header->newSfntVersion) ||
      !in.ReadU32(&header->newFileLength) || !in.ReadBytes(header->date, sizeof header->date) ||
      !in.ReadU16(&header->tableCount) || !in.ReadU16(&header->oldTableCount) ||
      !in.ReadU16(&header->identityNameId) || !in.ReadU8(&identityLength)) {
    return false;
  }
  if (major != ext::kMajorVersion || flags != 0 || identityLength == 0) return false;
  header->identity.assign(identityLength, '\0');
  if (!in.ReadBytes(&header->identity[0], identityLength)) return false;
  // Fields of a later minor version lie between the identity and the records.
  return header->headerSize >= in.offset() && header->headerSize <= size;
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

  if (HasMagic(resource, sabun::ext::kMagic)) return LoadExtended();
  otu::Buffer in(bytes, resource.size);
  if (resource.size < sabun::kHeaderSize) return 0;
  in.ReadBytes(magic, sizeof magic);
  in.ReadBytes(fontName, sizeof fontName);
  in.ReadU32(&expectedRevision);
  in.ReadU32(&newFileLength);
  uint8_t count = 0;
  in.ReadU8(&count);
  tableCount = count;
  in.ReadBytes(date, sizeof date);
  if (tableCount == 0) return 1;

  for (size_t i = 0; i < tableCount; ++i) {
    auto record = std::make_unique<CSabunTagObject>();
    if (!in.Seek(sabun::RecordOffset(i)) || in.remaining() < sabun::kRecordSize) return 0;
    in.ReadBytes(record->tag, 4);
    std::memcpy(record->tagText, record->tag, 4);
    uint8_t newIndex = 0, order = 0;
    in.ReadU8(&newIndex);
    in.ReadU8(&order);
    record->newIndex = newIndex;
    record->order = order;
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

int CMakeSabunData::LoadExtended() {
  namespace ext = sabun::ext;
  const size_t fileSize = static_cast<size_t>(size);
  ExtendedHeader header;
  if (!ReadExtendedHeader(bytes, fileSize, &header)) return 0;
  std::memcpy(magic, bytes, sizeof magic);
  extended = true;
  expectedRevision = header.expectedRevision;
  newFileLength = header.newFileLength;
  tableCount = header.tableCount;
  std::memcpy(date, header.date, sizeof date);
  oldSfntVersion = header.oldSfntVersion;
  newSfntVersion = header.newSfntVersion;
  oldTableCount = header.oldTableCount;
  identityNameId = header.identityNameId;
  identity = header.identity;

  otu::Buffer in(bytes, fileSize);
  std::vector<add_copy::PackedBlock> packed;
  for (size_t i = 0; i < tableCount; ++i) {
    auto record = std::make_unique<CSabunTagObject>();
    uint8_t flags = 0, encoding = 0;
    uint32_t blockLength = 0;
    if (!in.Seek(ext::RecordOffset(header.headerSize, i)) || in.remaining() < ext::kRecordSize) return 0;
    in.ReadBytes(record->tag, 4);
    std::memcpy(record->tagText, record->tag, 4);
    in.ReadU16(&record->newIndex);
    in.ReadU16(&record->order);
    in.ReadU8(&flags);
    in.ReadU8(&encoding);
    in.ReadU32(&record->blockOffset);
    in.ReadU32(&blockLength);
    record->blockLength = blockLength;
    in.ReadU32(&record->newLength);
    in.ReadU32(&record->newOffset);
    in.ReadU32(&record->oldChecksum);
    record->newTable = (flags & ext::kNewTable) != 0;
    record->encoding = encoding;
    const bool hasBlock = (flags & ext::kHasBlock) != 0;
    records.push_back(std::move(record));
    CSabunTagObject& stored = *records.back();
    packed.emplace_back();
    if ((flags & ~ext::kKnownRecordFlags) != 0 ||
        (encoding != ext::kRunsEncoding && encoding != ext::kAddCopyEncoding) ||
        hasBlock != (stored.blockOffset != 0) || (!hasBlock && encoding != ext::kRunsEncoding)) {
      return 0;
    }
    if (!hasBlock) continue;
    // A block lies after the records and takes exactly the bytes it states.
    if (stored.blockOffset < ext::RecordOffset(header.headerSize, tableCount) ||
        !otu::RangeFits(stored.blockOffset, blockLength, fileSize)) {
      return 0;
    }
    const uint8_t* block = bytes + stored.blockOffset;
    if (encoding == ext::kAddCopyEncoding) {
      stored.hasBlock = 1;
      if (stored.newLength > newFileLength ||
          !add_copy::ReadPackedBlock(block, blockLength, stored.newLength, &packed.back())) {
        return 0;
      }
    } else if (!stored.ReadSabun(block, blockLength) || stored.BlockBytes() != blockLength) {
      return 0;
    }
  }
  return UnpackBlocks(packed);
}

int CMakeSabunData::UnpackBlocks(const std::vector<add_copy::PackedBlock>& packed) {
  uint64_t total = 0;
  bool any = false;
  for (size_t i = 0; i < packed.size(); ++i) {
    any |= records[i]->encoding == sabun::ext::kAddCopyEncoding;
    total += packed[i].UnpackedSize();
  }
  if (!any) return 1;
  if (total > SIZE_MAX) return 0;
  unpacked_ = image_pool::Take(static_cast<size_t>(total));
  if (unpacked_.bytes == nullptr) return 0;
  uint8_t* to = unpacked_.bytes;
  for (size_t i = 0; i < packed.size(); ++i) {
    CSabunTagObject& record = *records[i];
    if (record.encoding != sabun::ext::kAddCopyEncoding) continue;
    if (!add_copy::Unpack(packed[i], to, &record.streams)) return 0;
    to += packed[i].UnpackedSize();
  }
  return 1;
}

bool CMakeSabunData::NewFontRevision(uint32_t* revision) const {
  constexpr int64_t kRevisionOffset = 4;
  const CSabunTagObject* head = nullptr;
  for (const auto& record : records) {
    if (head == nullptr && std::memcmp(record->tag, "head", 4) == 0) head = record.get();
  }
  if (head == nullptr || (head->newTable && !head->hasBlock)) return false;
  if (!head->hasBlock) {
    *revision = expectedRevision;
    return true;
  }
  if (head->newLength < kRevisionOffset + 4) return false;
  // Whether a run written at `destination`, `length` bytes long as stored,
  // covers byte `at`; `*from` is how far into the run it lies.
  const auto covers = [](int32_t destination, int32_t length, int64_t at, int64_t* from) {
    *from = at - destination;
    return *from >= 0 && *from < length;
  };
  uint8_t bytes[4] = {};
  if (head->encoding == sabun::ext::kAddCopyEncoding) {
    for (int64_t k = 0; k < 4; ++k) {
      add_copy::ByteOrigin origin;
      if (!add_copy::FindByte(head->streams, head->newLength, static_cast<size_t>(kRevisionOffset + k), &origin)) {
        return false;
      }
      if (origin.fromOld) {
        // Only the installed revision's own bytes are known here.
        if (head->newTable || origin.oldAt != static_cast<size_t>(kRevisionOffset + k)) return false;
        origin.value = static_cast<uint8_t>(origin.value + (expectedRevision >> (8 * (3 - k))));
      }
      bytes[k] = origin.value;
    }
    *revision = otu::SpanU32(bytes);
    return true;
  }
  for (int64_t k = 0; k < 4; ++k) {
    const int64_t at = kRevisionOffset + k;
    // As the rebuild writes them: copy runs in file order, then insert runs
    // over them; a byte no run writes stays zero.
    int64_t from = 0;
    for (const COldTagObject run : head->copyRuns) {
      if (!covers(run.destinationOffset, run.length, at, &from)) continue;
      if (head->newTable || run.sourceOffset + from != at) return false;
      bytes[k] = static_cast<uint8_t>(expectedRevision >> (8 * (3 - k)));
    }
    for (const CNewTagObject run : head->insertRuns) {
      if (covers(run.destinationOffset, run.length, at, &from)) bytes[k] = run.literal[from];
    }
  }
  *revision = otu::SpanU32(bytes);
  return true;
}

int CMakeSabunData::IsExtended(int32_t resourceId) const {
  platform::ResourceBytes resource;
  return FindSabunResource(resources_, resourceId, &resource) && HasMagic(resource, sabun::ext::kMagic);
}

int CMakeSabunData::GetFontInfo(int32_t resourceId, SabunIdentity* identity) const {
  platform::ResourceBytes resource;
  if (!FindSabunResource(resources_, resourceId, &resource)) return 0;
  if (HasMagic(resource, sabun::ext::kMagic)) {
    ExtendedHeader header;
    if (!ReadExtendedHeader(resource.data, resource.size, &header)) return 0;
    identity->extended = true;
    identity->nameId = header.identityNameId;
    identity->name = header.identity;
    identity->expectedRevision = header.expectedRevision;
    identity->sfntVersion = header.oldSfntVersion;
    return 1;
  }
  char name[sabun::kFontNameSize];
  if (GetFontInfo(resourceId, name, &identity->expectedRevision) != 1) return 0;
  identity->extended = false;
  identity->nameId = 0;
  // The field holds at most 31 characters and need not be terminated.
  identity->name.assign(name, strnlen(name, sizeof name - 1));
  identity->sfntVersion = kSfntVersionOtto;
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
