// Layout of a difference file (".pa"): a 53-byte header, one 18-byte record
// per table of the new font, then the difference blocks. Everything is packed
// and big-endian. The maker and the applier both take the layout from here.
#ifndef OTU_ENGINE_SABUN_FORMAT_H_
#define OTU_ENGINE_SABUN_FORMAT_H_

#include <cstddef>
#include <cstdint>

namespace sabun {

// Resource type under which difference files are carried.
constexpr char kResourceType[] = "FONT_PA";

constexpr uint8_t kMagic[4] = {'X', 'O', 'T', 'P'};
constexpr size_t kMagicLength = 4;

// Header.
constexpr size_t kHeaderSize = 53;
constexpr size_t kMagicOffset = 0;
constexpr size_t kFontNameOffset = 4;
constexpr size_t kFontNameSize = 32;  // NUL-terminated and NUL-padded
constexpr size_t kExpectedRevisionOffset = 36;
constexpr size_t kNewFileLengthOffset = 40;
constexpr size_t kTableCountOffset = 44;
constexpr size_t kDateOffset = 45;
constexpr size_t kDateSize = 8;

// Table record i starts at kHeaderSize + kRecordSize * i.
constexpr size_t kRecordSize = 18;
constexpr size_t kRecordTagOffset = 0;
constexpr size_t kRecordNewIndexOffset = 4;
constexpr size_t kRecordOrderOffset = 5;
constexpr size_t kRecordBlockOffsetOffset = 6;  // 0: table carried over unchanged
constexpr size_t kRecordNewLengthOffset = 10;
constexpr size_t kRecordNewOffsetOffset = 14;

// Difference block: copy count, copy runs, insert count, insert runs.
constexpr size_t kCountSize = 4;
// Copy run: source offset (old table), length, destination offset (new table).
constexpr size_t kCopyRunSize = 12;
// Insert run header: destination offset, length L; the L literal bytes follow.
constexpr size_t kInsertRunHeaderSize = 8;

// Offset of the first table of a new font with `tableCount` tables: right
// after its offset table and directory.
constexpr size_t FirstTableOffset(size_t tableCount) { return 12 + 16 * tableCount; }

constexpr size_t RecordOffset(size_t index) { return kHeaderSize + kRecordSize * index; }

}  // namespace sabun

#endif  // OTU_ENGINE_SABUN_FORMAT_H_
