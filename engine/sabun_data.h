// A difference file as the update reads it: the header, one record per table
// of the new font, and each record's copy and insert runs.
#ifndef OTU_ENGINE_SABUN_DATA_H_
#define OTU_ENGINE_SABUN_DATA_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/add_copy_block.h"
#include "engine/byte_io.h"
#include "engine/font_model.h"
#include "engine/image_pool.h"
#include "engine/sabun_format.h"
#include "platform/resources.h"

// Copy run: bytes taken from the installed table.
class COldTagObject final : public COpenTypeObject {
 public:
  COldTagObject(int32_t source, int32_t runLength, int32_t destination)
      : sourceOffset(source), length(runLength), destinationOffset(destination) {}

  int32_t sourceOffset;
  int32_t length;
  int32_t destinationOffset;
};

// Insert run: literal bytes carried by the difference file.
class CNewTagObject final : public COpenTypeObject {
 public:
  CNewTagObject(int32_t destination, int32_t runLength, const uint8_t* bytes)
      : destinationOffset(destination), length(runLength), literal(bytes) {}

  int32_t destinationOffset;
  int32_t length;
  // The `length` literal bytes where the difference file holds them, not a
  // copy: the file's bytes outlive every run read from them (see
  // CMakeSabunData::bytes), and a copy per run would cost an allocation and
  // a pass over every inserted byte.
  const uint8_t* literal;
};

// The runs of a block in file order, as COldTagObject and CNewTagObject
// values read where the difference file holds them: the block is checked
// whole when it is loaded, and each run is decoded as it is applied. A CFF
// block has tens of thousands of runs; held as objects they took megabytes
// of memory, written once and read once, which cost more than applying them.

// Copy runs: an array of 12-byte records.
class CopyRunList {
 public:
  class iterator {
   public:
    explicit iterator(const uint8_t* at) : at_(at) {}
    COldTagObject operator*() const {
      return COldTagObject(otu::SpanS32(at_), otu::SpanS32(at_ + 4), otu::SpanS32(at_ + 8));
    }
    iterator& operator++() {
      at_ += sabun::kCopyRunSize;
      return *this;
    }
    bool operator==(const iterator& other) const { return at_ == other.at_; }
    bool operator!=(const iterator& other) const { return at_ != other.at_; }

   private:
    const uint8_t* at_;
  };

  CopyRunList() = default;
  // `count` runs at `runs`, a span the block's cursor has checked.
  CopyRunList(const uint8_t* runs, size_t count) : runs_(runs), count_(count) {}
  size_t size() const { return count_; }
  bool empty() const { return count_ == 0; }
  COldTagObject operator[](size_t k) const { return *iterator(runs_ + sabun::kCopyRunSize * k); }
  iterator begin() const { return iterator(runs_); }
  iterator end() const { return iterator(runs_ + sabun::kCopyRunSize * count_); }
  // The records themselves, size() * kCopyRunSize bytes, for the rebuild.
  const uint8_t* data() const { return runs_; }

 private:
  const uint8_t* runs_ = nullptr;
  size_t count_ = 0;
};

// Insert runs: each an 8-byte header and its literal bytes, in the span the
// block's cursor has checked them to take.
class InsertRunList {
 public:
  class iterator {
   public:
    iterator(const uint8_t* at, const uint8_t* end) : at_(at), end_(end) {}
    CNewTagObject operator*() const { return CNewTagObject(otu::SpanS32(at_), otu::SpanS32(at_ + 4), at_ + 8); }
    iterator& operator++() {
      const size_t step = sabun::kInsertRunHeaderSize + static_cast<uint32_t>(otu::SpanS32(at_ + 4));
      // Never past the checked span, whatever the bytes say.
      at_ = step <= static_cast<size_t>(end_ - at_) ? at_ + step : end_;
      return *this;
    }
    bool operator==(const iterator& other) const { return at_ == other.at_; }
    bool operator!=(const iterator& other) const { return at_ != other.at_; }

   private:
    const uint8_t* at_;
    const uint8_t* end_;
  };

  InsertRunList() = default;
  // `count` runs that take exactly the `size` bytes at `runs`.
  InsertRunList(const uint8_t* runs, size_t size, size_t count) : runs_(runs), size_(size), count_(count) {}
  size_t size() const { return count_; }
  bool empty() const { return count_ == 0; }
  // Walks the runs before it: the rebuild takes them in turn, only tests
  // and tools pick one.
  CNewTagObject operator[](size_t k) const {
    iterator at = begin();
    for (size_t j = 0; j < k; ++j) ++at;
    return *at;
  }
  iterator begin() const { return iterator(runs_, runs_ + size_); }
  iterator end() const { return iterator(runs_ + size_, runs_ + size_); }
  // The runs' headers and literals themselves, `bytes()` of them, for the rebuild.
  const uint8_t* data() const { return runs_; }
  size_t bytes() const { return size_; }

 private:
  const uint8_t* runs_ = nullptr;
  size_t size_ = 0;
  size_t count_ = 0;
};

class CSabunTagObject : public COpenTypeObject {
 public:
  // Decodes the difference block that starts at `block`, `available` bytes
  // before the end of the file (of the block, in an extended file). 1 on
  // success; 0 when a count or a run does not fit in those bytes.
  int ReadSabun(const uint8_t* block, size_t available);
  // Bytes the decoded block takes: its two counts and its runs.
  size_t BlockBytes() const { return 8 + sabun::kCopyRunSize * copyRuns.size() + insertRuns.bytes(); }

  char tagText[5] = {};
  CopyRunList copyRuns;
  InsertRunList insertRuns;
  int32_t hasBlock = 0;
  // The end of the bytes the insert runs' literals lie in (the end of the
  // difference file), or null when not known: the rebuild may read past a
  // literal up to there, never further.
  const uint8_t* literalsEnd = nullptr;

  uint8_t tag[4] = {};
  uint16_t newIndex = 0;
  uint16_t order = 0;
  uint32_t blockOffset = 0;
  uint32_t newLength = 0;
  uint32_t newOffset = 0;

  // Extended files only: a table the installed font does not have, and the
  // checksum of the installed table the record rebuilds from.
  bool newTable = false;
  uint32_t oldChecksum = 0;
  // Extended files only: how the block is encoded; for the compressed
  // add-and-copy encoding, its streams as loading inflated them.
  uint8_t encoding = sabun::ext::kRunsEncoding;
  add_copy::Streams streams;
  uint32_t blockLength = 0;
};

// What a difference file says of the installed font it revises.
struct SabunIdentity {
  bool extended = false;
  // Extended files: the name ID of the record that names the font and its
  // text; classic files: 0 (the fifth name record) and the 32-byte name field
  // up to its first zero byte.
  uint16_t nameId = 0;
  std::string name;
  uint32_t expectedRevision = 0;
  // The installed font's sfnt version: always OTTO in classic files.
  uint32_t sfntVersion = 0;
};

class CMakeSabunData : public COpenTypeObject {
 public:
  explicit CMakeSabunData(const platform::ResourceSource& resources) : resources_(resources) {}
  ~CMakeSabunData() override { image_pool::Give(unpacked_); }
  CMakeSabunData(const CMakeSabunData&) = delete;
  CMakeSabunData& operator=(const CMakeSabunData&) = delete;

  // Loads the FONT_PA resource `resourceId` (its low 16 bits): 1 or 0.
  int LoadSabunData(int32_t resourceId);
  // Reads only the font name (32 bytes as stored) and expected revision of
  // resource `resourceId`, a classic file; touches nothing of this object. 1 or 0.
  int GetFontInfo(int32_t resourceId, char fontName[32], uint32_t* expectedRevision) const;
  // The identity of the installed font that resource `resourceId`, classic or
  // extended, revises; touches nothing of this object. 1 or 0 (not a
  // difference file, or an extended one of a version or with flags this
  // reader does not know).
  int GetFontInfo(int32_t resourceId, SabunIdentity* identity) const;
  // 1 when resource `resourceId` is an extended difference file, else 0.
  int IsExtended(int32_t resourceId) const;
  // The first record, in file order, whose new index is `index`; null if none.
  const CSabunTagObject* GetSabunTag(int32_t index) const;
  // The head fontRevision of the font the loaded file rebuilds: the
  // installed font's (the expected revision) when the head table is kept,
  // else bytes 4 to 7 of the rebuilt head, each from the insert run that
  // writes it last, from a copy run that takes it from the same place of the
  // installed head, or zero when no run writes it. False when a byte comes
  // from elsewhere in the installed head, or there is no head to tell.
  bool NewFontRevision(uint32_t* revision) const;

  std::vector<std::unique_ptr<CSabunTagObject>> records;
  uint8_t magic[4] = {};
  char fontName[32] = {};
  uint32_t expectedRevision = 0;
  uint32_t newFileLength = 0;
  uint16_t tableCount = 0;
  uint8_t date[8] = {};
  int32_t size = 0;
  // The resource's `size` bytes themselves, not a private copy: a resource
  // source keeps its bytes as long as it lives, and it outlives this object,
  // which refers to it. Copying them would only cost a buffer and a pass.
  const uint8_t* bytes = nullptr;

  // Extended files only (the identity is in fontName for classic ones).
  bool extended = false;
  uint32_t oldSfntVersion = 0;
  uint32_t newSfntVersion = 0;
  uint16_t oldTableCount = 0;
  uint16_t identityNameId = 0;
  std::string identity;

 private:
  // The extended file in `bytes` after its magic: 1 or 0.
  int LoadExtended();
  // Inflates the compressed blocks of `packed` (one per record, empty for
  // the others) into unpacked_: 1, or 0 for a damaged stream or no memory.
  int UnpackBlocks(const std::vector<add_copy::PackedBlock>& packed);

  // The inflated streams of every compressed block, back to back.
  image_pool::Block unpacked_;

  const platform::ResourceSource& resources_;
};

#endif  // OTU_ENGINE_SABUN_DATA_H_
