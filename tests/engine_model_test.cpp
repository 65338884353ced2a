// The font model: checksums, the offset table, the directory load, and the
// decoding of the head and name tables.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "engine/font_model.h"
#include "engine/head_table.h"
#include "engine/image_pool.h"
#include "engine/name_copies.h"
#include "engine/name_table.h"
#include "tests/font_builder.h"

namespace {

using testfont::Bytes;

TEST(EngineModelTest, ChecksumPadsWithZeroAndSumsModulo32Bits) {
  const uint8_t five[8] = {1, 2, 3, 4, 5, 0xEE, 0xEE, 0xEE};
  Bytes padded(five, five + 8);
  padded[5] = padded[6] = padded[7] = 0;
  EXPECT_EQ(0x06020304u, CalcTableChecksum(padded.data(), 5));
  EXPECT_EQ(0u, CalcTableChecksum(padded.data(), 0));
  // The padding bytes the buffer holds are summed: they are the caller's.
  EXPECT_EQ(0x01020304u + 0x05EEEEEEu, CalcTableChecksum(five, 5));
  const uint8_t wraps[8] = {0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 2};
  EXPECT_EQ(1u, CalcTableChecksum(wraps, 8));
  EXPECT_EQ(0x05000000u, SumWordsPadded(five + 4, 1));
}

TEST(EngineModelTest, PiecesSumLikeTheWordsTheyLieIn) {
  // Long enough for the partial sums to be flushed several times, with every
  // tail length and every position of the piece within its words.
  std::mt19937 random(77);
  Bytes bytes(70000);
  for (uint8_t& b : bytes) b = static_cast<uint8_t>(random() % 256 > 40 ? 0xFF : random());
  for (size_t size : {size_t{0}, size_t{1}, size_t{7}, size_t{8}, size_t{4099}, bytes.size() - 5, bytes.size()}) {
    for (size_t position = 0; position < 4; ++position) {
      Bytes range(position + size + 3, 0);
      std::copy(bytes.begin(), bytes.begin() + static_cast<long>(size), range.begin() + static_cast<long>(position));
      uint32_t words = 0;
      for (size_t w = 0; w + 4 <= range.size(); w += 4) words += testfont::ReadU32(range, w);
      EXPECT_EQ(words, SumWordsAt(bytes.data(), size, position)) << size << " at " << position;
      Bytes copy(size + 1, 0xEE);
      EXPECT_EQ(words, CopySumWordsAt(copy.data(), bytes.data(), size, position));
      EXPECT_TRUE(std::equal(bytes.begin(), bytes.begin() + static_cast<long>(size), copy.begin()));
      EXPECT_EQ(0xEE, copy[size]);
    }
  }
}

// Image memory an update gives back serves the next one, but only where it
// is large enough, and the pool keeps no more than four blocks.
TEST(EngineModelTest, ImageMemoryIsTakenAgainOnlyWhereItFits) {
  if (!image_pool::Pooling()) GTEST_SKIP() << "blocks are not kept in sanitizer builds";
  constexpr size_t kMegabyte = size_t{1} << 20;
  // Whatever earlier tests left in the pool is taken out first.
  std::vector<image_pool::Block> earlier;
  for (int k = 0; k < 4; ++k) earlier.push_back(image_pool::Take(64 * kMegabyte));
  for (const auto& block : earlier) std::memset(block.bytes, 0, kMegabyte);

  image_pool::Block five = image_pool::Take(5 * kMegabyte);
  image_pool::Block two = image_pool::Take(2 * kMegabyte);
  ASSERT_NE(nullptr, five.bytes);
  ASSERT_NE(nullptr, two.bytes);
  EXPECT_EQ(5 * kMegabyte, five.size);
  std::memset(five.bytes, 1, five.size);
  std::memset(two.bytes, 2, two.size);
  image_pool::Give(five);
  image_pool::Give(two);
  // Three megabytes: not the two-megabyte block, the five-megabyte one.
  image_pool::Block three = image_pool::Take(3 * kMegabyte);
  EXPECT_EQ(five.bytes, three.bytes);
  EXPECT_EQ(five.size, three.size);
  // Six megabytes: neither.
  image_pool::Block six = image_pool::Take(6 * kMegabyte);
  EXPECT_NE(two.bytes, six.bytes);
  EXPECT_EQ(6 * kMegabyte, six.size);
  std::memset(six.bytes, 6, six.size);
  image_pool::Block again = image_pool::Take(2 * kMegabyte);
  EXPECT_EQ(two.bytes, again.bytes);

  // Five blocks given back, each marked: four are kept. (A block given up
  // comes back from the system zero-filled, perhaps at the same address.)
  std::vector<image_pool::Block> given = {three, six, again, image_pool::Take(kMegabyte), image_pool::Take(kMegabyte)};
  for (size_t k = 0; k < given.size(); ++k) {
    given[k].bytes[0] = static_cast<uint8_t>(0xA0 + k);
    image_pool::Give(given[k]);
  }
  int marked = 0;
  for (int k = 0; k < 5; ++k) {
    image_pool::Block block = image_pool::Take(kMegabyte);
    marked += block.bytes[0] >= 0xA0 && block.bytes[0] < 0xA5;
    earlier.push_back(block);
  }
  EXPECT_EQ(4, marked);
  for (const auto& block : earlier) image_pool::Give(block);
  // Small blocks come from the heap and are never kept.
  image_pool::Block small = image_pool::Take(100);
  EXPECT_EQ(100u, small.size);
  image_pool::Give(small);
}

TEST(EngineModelTest, AcceptedTagsCompareByteForByte) {
  for (const char* tag : {"BASE", "CFF ", "GPOS", "GSUB", "OS/2", "VORG", "cmap", "head", "hhea", "hmtx",
                          "maxp", "name", "post", "vhea", "vmtx", "EBDT", "EBLC"}) {
    EXPECT_TRUE(IsAcceptedTag(tag)) << tag;
  }
  for (const char* tag : {"CFF", "cff ", "HEAD", "DSIG", "kern", "glyf", ""}) EXPECT_FALSE(IsAcceptedTag(tag)) << tag;
}

TEST(EngineModelTest, HeaderAcceptsOnlyOtto) {
  Bytes font = testfont::BuildFont(testfont::SampleTables(0x00010000, "Sample R", 1));
  COpenTypeHeader header;
  ASSERT_EQ(1, header.ReadHeader(font.data(), font.size()));
  EXPECT_EQ(2, header.state);
  EXPECT_EQ(0x4F54544Fu, header.sfntVersion);
  EXPECT_EQ(5, header.numTables);
  EXPECT_EQ(64, header.searchRange);
  EXPECT_EQ(2, header.entrySelector);
  EXPECT_EQ(16, header.rangeShift);

  for (uint32_t version : {0x00010000u, 0x74746366u /* ttcf */, 0x74727565u}) {
    Bytes other = testfont::BuildFont(testfont::SampleTables(0x00010000, "Sample R", 1), version);
    COpenTypeHeader rejected;
    EXPECT_EQ(0, rejected.ReadHeader(other.data(), other.size()));
    EXPECT_EQ(-1, rejected.state);
  }
  COpenTypeHeader truncated;
  EXPECT_EQ(0, truncated.ReadHeader(font.data(), 3));
  EXPECT_EQ(0, truncated.ReadHeader(font.data(), 11));
}

TEST(EngineModelTest, DirectoryLoadKeepsOrderAndRefusesWhatDoesNotFit) {
  Bytes font = testfont::BuildFont(testfont::SampleTables(0x00010000, "Sample R", 1));
  COpenTypeHeader header;
  ASSERT_EQ(1, header.ReadHeader(font.data(), font.size()));
  TagList tables;
  ASSERT_EQ(1, LoadTableDirectory(header, font.data(), font.size(), true, &tables));
  ASSERT_EQ(5u, tables.size());
  EXPECT_STREQ("CFF ", tables[1]->tagText);
  EXPECT_EQ(tables[1].get(), FindTag(tables, "CFF "));
  EXPECT_EQ(nullptr, FindTag(tables, "CFF"));
  EXPECT_EQ(40, tables[1]->paddedLength);
  EXPECT_EQ(testfont::ReadU32(font, 16 + 16), tables[1]->checksum);
  EXPECT_EQ(font.data() + tables[1]->offset, tables[1]->data);

  // The last table reaches the end of the file: its length without padding
  // fits, one byte more does not.
  Bytes cut(font.begin(), font.begin() + static_cast<long>(tables[4]->offset + tables[4]->length));
  TagList fits;
  EXPECT_EQ(1, LoadTableDirectory(header, cut.data(), cut.size(), true, &fits));
  cut.pop_back();
  TagList past;
  EXPECT_EQ(0, LoadTableDirectory(header, cut.data(), cut.size(), true, &past));
  // A directory longer than the file.
  COpenTypeHeader huge = header;
  huge.numTables = 0xFFFF;
  TagList none;
  EXPECT_EQ(0, LoadTableDirectory(huge, font.data(), font.size(), true, &none));
  // An offset far past the end, and one that wraps around with its length.
  Bytes far = font;
  testfont::WriteU32(&far, 12 + 16 * 2 + 8, 0xFFFFFFF0u);
  TagList farTables;
  EXPECT_EQ(0, LoadTableDirectory(header, far.data(), far.size(), true, &farTables));

  // A table outside the accepted list stops the load, unless the caller
  // reads any table.
  Bytes dsig = font;
  std::memcpy(dsig.data() + 12 + 16 * 4, "DSIG", 4);
  TagList stopped;
  EXPECT_EQ(0, LoadTableDirectory(header, dsig.data(), dsig.size(), true, &stopped));
  EXPECT_EQ(4u, stopped.size());
  TagList any;
  EXPECT_EQ(1, LoadTableDirectory(header, dsig.data(), dsig.size(), false, &any));

  COpenTypeHeader empty = header;
  empty.numTables = 0;
  TagList emptyTables;
  EXPECT_EQ(1, LoadTableDirectory(empty, font.data(), font.size(), true, &emptyTables));
  EXPECT_TRUE(emptyTables.empty());
}

TEST(EngineModelTest, HeadDecodesFieldsAndRefusesShortTables) {
  Bytes head = testfont::HeadTable(0x00023000, 0x40);
  CHeadInfoObject info;
  ASSERT_EQ(1, info.ReadHead(head.data(), head.size()));
  EXPECT_EQ(0x00010000u, info.version);
  EXPECT_EQ(0x00023000u, info.fontRevision);
  EXPECT_EQ(0x5F0F3CF5u, info.magicNumber);
  EXPECT_EQ(1000, info.unitsPerEm);
  EXPECT_EQ(0x40, info.modified[0]);
  EXPECT_EQ(0x17, info.created[7]);
  EXPECT_EQ(-100, info.xMin);
  EXPECT_EQ(880, info.yMax);
  EXPECT_EQ(3, info.lowestRecPPEM);
  EXPECT_EQ(2, info.fontDirectionHint);
  CHeadInfoObject shortHead;
  EXPECT_EQ(0, shortHead.ReadHead(head.data(), 53));
}

CTagNameObject LoadName(const Bytes& table, Bytes* file) {
  *file = testfont::BuildFont({{"name", table}});
  CTagNameObject name;
  name.ReadEntry(file->data() + 12, file->data(), file->size());
  return name;
}

TEST(EngineModelTest, NameTableGivesFifthRecordAndFirstLicenceRecords) {
  std::vector<testfont::NameRecord> records = {
      {3, 1, 0x409, 1, testfont::Utf16Be("Family")},
      {1, 0, 0, 13, testfont::Text("first mac")},
      {3, 1, 0x409, 13, testfont::Utf16Be("first win")},
      {1, 0, 0, 13, testfont::Text("second mac")},
      {3, 1, 0x409, 6, testfont::Text("PostScriptName")},  // fifth: not a full name
      {3, 1, 0x409, 13, testfont::Utf16Be("second win")},
      {3, 1, 0x411, 13, testfont::Utf16Be("japanese")},
  };
  Bytes file;
  CTagNameObject name = LoadName(testfont::NameTable(records), &file);
  ASSERT_EQ(1, name.LoadNameTable());
  EXPECT_EQ(7u, name.nameTable.records.size());
  char fontName[kFontNameSize];
  ASSERT_EQ(1, name.GetFontName(fontName));
  EXPECT_STREQ("PostScriptName", fontName);
  uint8_t mac[kLicenseTextSize] = {};
  uint8_t win[kLicenseTextSize] = {};
  ASSERT_EQ(1, name.GetLicenseText(mac, win));
  EXPECT_STREQ("first mac", reinterpret_cast<char*>(mac));
  Bytes expectedWin = testfont::Utf16Be("first win");
  EXPECT_EQ(0, std::memcmp(win, expectedWin.data(), expectedWin.size()));
  EXPECT_EQ(0, win[expectedWin.size()]);
}

TEST(EngineModelTest, NameTableMissingPiecesAndLimits) {
  Bytes file;
  // Four records: no font name. Only the Macintosh licence: 0, mac filled.
  CTagNameObject four = LoadName(testfont::NameTable({{1, 0, 0, 1, testfont::Text("a")},
                                                      {1, 0, 0, 13, testfont::Text("mac only")},
                                                      {1, 0, 0, 3, testfont::Text("c")},
                                                      {1, 0, 0, 4, testfont::Text("d")}}),
                                 &file);
  ASSERT_EQ(1, four.LoadNameTable());
  char fontName[kFontNameSize];
  EXPECT_EQ(0, four.GetFontName(fontName));
  uint8_t mac[kLicenseTextSize] = {};
  uint8_t win[kLicenseTextSize] = {};
  EXPECT_EQ(0, four.GetLicenseText(mac, win));
  EXPECT_STREQ("mac only", reinterpret_cast<char*>(mac));

  // An empty fifth string is no name; an over-long one is cut to 254 bytes.
  std::vector<testfont::NameRecord> records(5, {1, 0, 0, 1, testfont::Text("x")});
  records[4].text.clear();
  Bytes emptyFile;
  CTagNameObject empty = LoadName(testfont::NameTable(records), &emptyFile);
  ASSERT_EQ(1, empty.LoadNameTable());
  EXPECT_EQ(0, empty.GetFontName(fontName));
  records[4].text = Bytes(300, 'N');
  records.push_back({1, 0, 0, 13, Bytes(256, 'L')});
  records.push_back({3, 1, 0x409, 13, Bytes(20, 0)});
  Bytes longFile;
  CTagNameObject longName = LoadName(testfont::NameTable(records), &longFile);
  ASSERT_EQ(1, longName.LoadNameTable());
  EXPECT_EQ(300, longName.nameTable.records[4]->length);
  ASSERT_EQ(1, longName.GetFontName(fontName));
  EXPECT_EQ(254u, std::strlen(fontName));
  // A licence text longer than the 255 bytes carried is refused.
  EXPECT_EQ(0, longName.GetLicenseText(mac, win));

  // A string past the end of the table, a record past the end, a header cut.
  Bytes table = testfont::NameTable(testfont::StandardNameRecords("Font", "m", "w"));
  Bytes pastString = table;
  pastString[6 + 12 * 2 + 10] = 0xFF;  // record 2's string offset
  Bytes f1;
  CTagNameObject a = LoadName(pastString, &f1);
  EXPECT_EQ(0, a.LoadNameTable());
  Bytes pastRecords = table;
  pastRecords[3] = 200;  // count
  Bytes f2;
  CTagNameObject b = LoadName(pastRecords, &f2);
  EXPECT_EQ(0, b.LoadNameTable());
  Bytes f3;
  CTagNameObject c = LoadName(Bytes{0, 0, 0}, &f3);
  EXPECT_EQ(0, c.LoadNameTable());
}

// Copies from an installed name table whose licence text is one byte longer
// than in the font the runs were made from: every string after it moved.
TEST(EngineModelTest, NameCopiesMustTakeStringsWhereTheInstalledTableHasThem) {
  const auto table = [](const std::string& licence, const Bytes& windows) {
    return testfont::NameTable({{1, 0, 0, 1, testfont::Text("Fam")},
                                {1, 0, 0, 13, testfont::Text(licence)},
                                {1, 0, 0, 4, testfont::Text("Full")},
                                {3, 1, 0x409, 4, windows}});
  };
  const size_t storage = 6 + 12 * 4;
  const Bytes made = table("Licence", testfont::Utf16Be("Full"));
  const Bytes installed = table("LicenceX", testfont::Utf16Be("Full"));
  const auto fits = [&](const Bytes& rebuilt, std::vector<testfont::CopyRun> runs) {
    Bytes records;
    for (const testfont::CopyRun& run : runs) {
      for (int32_t field : {run.source, run.length, run.destination}) {
        for (int shift : {24, 16, 8, 0}) records.push_back(static_cast<uint8_t>(field >> shift));
      }
    }
    return NameCopiesFitInstalled(CopyRunList(records.data(), runs.size()), installed.data(), installed.size(),
                                  rebuilt.data(), rebuilt.size());
  };
  const int32_t full = static_cast<int32_t>(storage + 10);  // "Full" in the table the runs were made from
  // The record array and the strings up to the licence: nothing there moved.
  EXPECT_TRUE(fits(made, {{0, full, 0}}));
  // "Full" copied from where it lay when the runs were made: a byte early.
  EXPECT_FALSE(fits(made, {{0, full, 0}, {full, 4, full}}));
  // Licence bytes copied into another string.
  EXPECT_FALSE(fits(made, {{static_cast<int32_t>(storage + 3), 4, full}}));
  // A licence string sharing bytes with another, which its carried text would overwrite.
  Bytes shared = made;
  shared[6 + 12 * 1 + 8 + 1] = 8;  // the licence's length reaches into "Full"
  EXPECT_FALSE(fits(shared, {{0, 1, 0}}));
  // A UTF-16 string of odd length.
  EXPECT_FALSE(fits(table("Licence", Bytes{0, 'F', 0}), {{0, 1, 0}}));
}

}  // namespace
