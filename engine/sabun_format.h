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

// The extended format, for pairs the layout above cannot express: fonts of
// any maker (any table tags, TrueType outlines, names of any length and
// record order), tables added or dropped, License Description records of
// any platform and length. It announces itself by its own magic, which
// readers of the layout above refuse, and by a version: a reader refuses
// another major version and any flag it does not know, and skips the
// header fields that a later minor version adds before the records.
namespace ext {

constexpr uint8_t kMagic[4] = {'X', 'O', 'T', 'E'};
constexpr uint8_t kMajorVersion = 1;
constexpr uint8_t kMinorVersion = 0;

// Header. The identity text follows the fixed fields; the records start at
// the header size the file states.
constexpr size_t kMajorVersionOffset = 4;
constexpr size_t kMinorVersionOffset = 5;
constexpr size_t kFlagsOffset = 6;               // uint16; none defined
constexpr size_t kHeaderSizeOffset = 8;          // uint32: where the records start
constexpr size_t kExpectedRevisionOffset = 12;   // head fontRevision of the installed font
constexpr size_t kOldSfntVersionOffset = 16;     // the installed font's sfnt version
constexpr size_t kNewSfntVersionOffset = 20;
constexpr size_t kNewFileLengthOffset = 24;
constexpr size_t kDateOffset = 28;               // 8 bytes, the new head's modified date
constexpr size_t kTableCountOffset = 36;         // uint16: tables of the new font, one record each
constexpr size_t kOldTableCountOffset = 38;      // uint16: tables of the installed font
constexpr size_t kIdentityNameIdOffset = 40;     // uint16: the name record that names the font
constexpr size_t kIdentityLengthOffset = 42;     // uint8, 1 to 255
constexpr size_t kIdentityOffset = 43;           // the name's text (UTF-8)
constexpr size_t kFixedHeaderSize = 43;

// Table record i starts at the header size + kRecordSize * i.
constexpr size_t kRecordSize = 30;
constexpr size_t kRecordTagOffset = 0;
constexpr size_t kRecordNewIndexOffset = 4;      // uint16
constexpr size_t kRecordOrderOffset = 6;         // uint16
constexpr size_t kRecordFlagsOffset = 8;
constexpr size_t kRecordEncodingOffset = 9;
constexpr size_t kRecordBlockOffsetOffset = 10;  // 0: no block
constexpr size_t kRecordBlockLengthOffset = 14;
constexpr size_t kRecordNewLengthOffset = 18;
constexpr size_t kRecordNewOffsetOffset = 22;
constexpr size_t kRecordOldChecksumOffset = 26;

// Record flags; the others must be zero.
constexpr uint8_t kHasBlock = 0x01;
constexpr uint8_t kNewTable = 0x02;  // the installed font has no such table
constexpr uint8_t kKnownRecordFlags = kHasBlock | kNewTable;

// Block encodings, the record's encoding field. 0: the copy and insert runs
// of the layout above.
constexpr uint8_t kRunsEncoding = 0;
// 1: compressed add-and-copy. Three lengths (LEB128 varints: control,
// difference and extra bytes), then one zlib stream that inflates to exactly
// those three streams back to back. The control stream is a list of steps,
// three varints each: the old position moves by `seek` (zigzag: 2n for n,
// 2n - 1 for -n), then `add` new bytes are the old table's bytes from there
// plus the next `add` differences (byte-wise, modulo 256), the old position
// moving past them, then `extra` new bytes come from the extra stream. The
// differences, mostly zero, are stored as stretches that run on across
// steps: two varints, a count of zero differences and a count of others,
// then the others' bytes. The old position starts at 0; every step and
// every stretch makes at least one byte; the steps make exactly the new
// table and use up every stream.
constexpr uint8_t kAddCopyEncoding = 1;
// A step's three varints take at most this many bytes, and a stretch's two.
constexpr size_t kMaxStepSize = 15;
constexpr size_t kMaxStretchHeader = 10;
// Deflate makes at most this many bytes of each byte it reads (RFC 1951's
// longest match from a 1-bit code); lengths beyond it cannot be true.
constexpr uint64_t kMaxInflateRatio = 1032;

// The name ID of the record that names a font in extended files: the
// PostScript name, ASCII and unique to each font of a family.
constexpr uint16_t kIdentityNameId = 6;

constexpr size_t RecordOffset(size_t headerSize, size_t index) { return headerSize + kRecordSize * index; }

}  // namespace ext

}  // namespace sabun

#endif  // OTU_ENGINE_SABUN_FORMAT_H_
