// The in-memory model of an installed OpenType (CFF) font: the offset table,
// one object per table with its installed bytes and its rebuilt counterpart,
// the tags a revisable font may carry, and the table checksum.
#ifndef OTU_ENGINE_FONT_MODEL_H_
#define OTU_ENGINE_FONT_MODEL_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

class CSabunTagObject;

// Sum of the big-endian 32-bit words of `bytes`, over RoundUp4(length) bytes.
// The caller's buffer must reach that padded end.
uint32_t CalcTableChecksum(const uint8_t* bytes, uint32_t length);

// Sum modulo 2^32 of the big-endian 32-bit words of `size` bytes; 1 to 3
// trailing bytes form one more word, padded with zero bytes.
uint32_t SumWordsPadded(const uint8_t* bytes, size_t size);

// What `size` bytes add to the word sum of a range they lie in, `position`
// bytes after its start: the words they share with bytes before or after
// them count those bytes as zero. SumWordsPadded is the case position 0.
// A table's checksum is the sum of its pieces' when they do not overlap.
uint32_t SumWordsAt(const uint8_t* bytes, size_t size, size_t position);
// Copies `size` bytes from `source` to `destination` and returns
// SumWordsAt(source, size, position): one pass over megabytes instead of two.
uint32_t CopySumWordsAt(uint8_t* destination, const uint8_t* source, size_t size, size_t position);

// A byte buffer for a whole font image, whose bytes are undefined until
// written. The installed image is filled by one read and the new image by the
// rebuild, every byte of it: zero-filling megabytes first would only cost
// one more pass over them.
class ByteBuffer {
 public:
  ByteBuffer() = default;
  ByteBuffer(const ByteBuffer&) = delete;
  ByteBuffer& operator=(const ByteBuffer&) = delete;
  ~ByteBuffer() { Release(); }

  // Makes the buffer `size` bytes, keeping the memory it has when that is
  // large enough (its bytes then stay as they were). False (buffer released)
  // when the memory cannot be had.
  bool Allocate(size_t size);
  void Release();

  uint8_t* data() const { return bytes_; }
  size_t size() const { return size_; }
  void Swap(ByteBuffer& other) {
    std::swap(bytes_, other.bytes_);
    std::swap(size_, other.size_);
    std::swap(capacity_, other.capacity_);
  }

 private:
  uint8_t* bytes_ = nullptr;
  size_t size_ = 0;
  size_t capacity_ = 0;
};

// Size of the offset table and of one directory entry.
constexpr size_t kOffsetTableSize = 12;
constexpr size_t kDirectoryEntrySize = 16;
constexpr uint32_t kSfntVersionOtto = 0x4F54544F;
// TrueType outlines, under either of the two versions fonts carry.
constexpr uint32_t kSfntVersionTrueType = 0x00010000;
constexpr uint32_t kSfntVersionTrue = 0x74727565;
inline bool IsFontSfntVersion(uint32_t version) {
  return version == kSfntVersionOtto || version == kSfntVersionTrueType || version == kSfntVersionTrue;
}

// The tags a revisable font may contain, in the order they are tried.
constexpr size_t kAcceptedTagCount = 17;
extern const char* const kAcceptedTags[kAcceptedTagCount];
// True when the NUL-terminated `tagText` equals one of them byte for byte.
bool IsAcceptedTag(const char* tagText);

class COpenTypeObject {
 public:
  virtual ~COpenTypeObject() = default;
};

class COpenTypeHeader;
// Sets searchRange, entrySelector and rangeShift as a directory of
// `header->numTables` entries has them.
void SetSearchFields(COpenTypeHeader* header);

class COpenTypeHeader : public COpenTypeObject {
 public:
  // 1 when `file` starts an OTTO font, or with `trueTypeToo` a TrueType
  // one (fields filled, state 2), else 0.
  int ReadHeader(const uint8_t* file, size_t fileLength, bool trueTypeToo = false);

  int32_t state = -1;
  uint32_t sfntVersion = 0;
  uint16_t numTables = 0;
  uint16_t searchRange = 0;
  uint16_t entrySelector = 0;
  uint16_t rangeShift = 0;
};

class CTagObject : public COpenTypeObject {
 public:
  // Fills the first field group from the 16-byte directory entry at `entry`.
  // Returns the padded length, or -1 when the table lies (partly) outside the
  // file: its bytes could not be read.
  int32_t ReadEntry(const uint8_t* entry, const uint8_t* file, size_t fileLength);

  // Rebuilds the table from its difference record straight into its place
  // in the new image (`imageSize` bytes at `image`, at the record's new
  // offset) and fills the second field group. Every byte of that place is
  // written: bytes no run covers become zero. 1 on success; 0, with nothing
  // of the rebuilt side left, when a run would reach outside the installed
  // table or the new table (the table's place in the image may then hold
  // part of it: the runs are checked as they are applied), or the table
  // outside the image (nothing written).
  int ApplySabun(const CSabunTagObject& record, uint8_t* image, size_t imageSize);

  // The table in the installed font.
  uint8_t tag[4] = {};
  uint32_t checksum = 0;
  uint32_t offset = 0;
  uint32_t length = 0;
  char tagText[5] = {};
  int32_t paddedLength = 0;
  const uint8_t* data = nullptr;
  // Bytes of the file from `data` to its end: the table and whatever padding
  // the file still holds after it.
  size_t dataAvailable = 0;
  int32_t index = 0;

  // The rebuilt table. newData is a view of its newLength bytes in the new
  // image, not a buffer of its own: a table rebuilt in place needs neither a
  // table-sized allocation nor a second copy into the image. newChecksum is
  // that of a buffer of its own all the same: taken over the padded length,
  // the padding zero, or for a table carried over the padding that followed
  // it in the installed file.
  uint8_t* newData = nullptr;
  // What the table adds to the new image's word sum where it lies, padding
  // zero: newChecksum, but for the installed padding a carried table's
  // checksum takes in. Known from the rebuild, it spares the whole-font sum
  // a pass over the tables.
  uint32_t newPlacedSum = 0;
  uint8_t newTag[4] = {};
  uint32_t newChecksum = 0;
  uint32_t newOffset = 0;
  uint32_t newLength = 0;

 private:
  void ClearRebuilt();
};

// The checksum of the installed table's bytes, padding missing at the end
// of the file counted as zero; a head table's checkSumAdjustment counts as
// zero too, as in the table's directory entry.
uint32_t TableChecksumWithoutAdjustment(const CTagObject& table);

using TagList = std::vector<std::unique_ptr<CTagObject>>;

// Reads the `header.numTables` directory entries into `tables`, in directory
// order. 0 when the directory or a table extends past the end of the file,
// or, with `acceptedTagsOnly`, when a tag is outside the accepted list.
int LoadTableDirectory(const COpenTypeHeader& header, const uint8_t* file, size_t fileLength,
                       bool acceptedTagsOnly, TagList* tables);

// The first table whose tagText equals `tagText`, or null.
CTagObject* FindTag(const TagList& tables, const char* tagText);

#endif  // OTU_ENGINE_FONT_MODEL_H_
