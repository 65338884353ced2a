// Difference files: the reader, its bounds, and the rebuilding of one table.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "engine/font_model.h"
#include "engine/sabun_data.h"
#include "engine/sabun_format.h"
#include "platform/resources.h"
#include "tests/font_builder.h"

namespace {

using testfont::Bytes;

// The complete 103-byte difference file for a one-table font.
Bytes WorkedExample() {
  Bytes file = {0x58, 0x4F, 0x54, 0x50};
  for (char c : std::string("SampleMincho ProN R")) file.push_back(static_cast<uint8_t>(c));
  file.resize(36, 0);
  for (uint8_t b : {0, 1, 0, 0, 0, 0, 0, 0x24, 1}) file.push_back(b);
  file.resize(53, 0);
  for (uint8_t b : {0x43, 0x46, 0x46, 0x20, 0, 0, 0, 0, 0, 0x47, 0, 0, 0, 8, 0, 0, 0, 0x1C}) file.push_back(b);
  for (uint8_t b : {0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 4, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 4, 0, 0, 0, 4, 0xAA, 0xBB,
                    0xCC, 0xDD}) {
    file.push_back(b);
  }
  return file;
}

struct Loaded {
  platform::MemoryResources resources;
  CMakeSabunData data{resources};
  int result = -1;
  explicit Loaded(const Bytes& file, uint16_t id = 7) {
    resources.Add("FONT_PA", id, file);
    result = data.LoadSabunData(id);
  }
};

TEST(EngineSabunTest, WorkedExampleLoadsAndRebuildsTheTable) {
  Bytes file = WorkedExample();
  ASSERT_EQ(103u, file.size());
  EXPECT_EQ(file, testfont::BuildSabun({"XOTP", "SampleMincho ProN R", 0x00010000, 36,
                                        {{"CFF ", 0, 0, true, 8, 28, {{0, 4, 0}}, {{4, {0xAA, 0xBB, 0xCC, 0xDD}}}}}}));
  Loaded loaded(file);
  ASSERT_EQ(1, loaded.result);
  const CMakeSabunData& data = loaded.data;
  EXPECT_STREQ("SampleMincho ProN R", data.fontName);
  EXPECT_EQ(0x00010000u, data.expectedRevision);
  EXPECT_EQ(36u, data.newFileLength);
  EXPECT_EQ(1, data.tableCount);
  EXPECT_EQ(103, data.size);
  const CSabunTagObject* record = data.GetSabunTag(0);
  ASSERT_NE(nullptr, record);
  EXPECT_STREQ("CFF ", record->tagText);
  EXPECT_EQ(71u, record->blockOffset);
  EXPECT_EQ(8u, record->newLength);
  EXPECT_EQ(28u, record->newOffset);
  EXPECT_EQ(1, record->hasBlock);
  ASSERT_EQ(1u, record->copyRuns.size());
  ASSERT_EQ(1u, record->insertRuns.size());
  EXPECT_EQ(4, record->insertRuns[0].destinationOffset);
  EXPECT_EQ(0xDD, record->insertRuns[0].literal[3]);

  Bytes font = testfont::BuildFont({{"CFF ", {1, 2, 3, 4, 5, 6, 7, 8}}});
  COpenTypeHeader header;
  header.ReadHeader(font.data(), font.size());
  TagList tables;
  ASSERT_EQ(1, LoadTableDirectory(header, font.data(), font.size(), true, &tables));
  Bytes image(36, 0xEE);
  ASSERT_EQ(1, tables[0]->ApplySabun(*record, image.data(), image.size()));
  EXPECT_EQ((Bytes{1, 2, 3, 4, 0xAA, 0xBB, 0xCC, 0xDD}), Bytes(image.begin() + 28, image.end()));
  EXPECT_EQ(image.data() + 28, tables[0]->newData);
  EXPECT_EQ(28u, tables[0]->newOffset);

  char name[32];
  uint32_t revision = 0;
  EXPECT_EQ(1, data.GetFontInfo(7, name, &revision));
  EXPECT_STREQ("SampleMincho ProN R", name);
  EXPECT_EQ(0x00010000u, revision);
  EXPECT_EQ(0, data.GetFontInfo(8, name, &revision));
}

TEST(EngineSabunTest, RecordsAreFoundByNewIndexAndBlocksMayBeEmpty) {
  testfont::SabunFile file;
  file.fontName = "X";
  file.records = {{"head", 2, 0, false, 54, 100, {}, {}},
                  {"CFF ", 0, 1, true, 4, 200, {}, {{0, {}}, {0, {9, 9, 9, 9}}}},
                  {"name", 1, 2, true, 8, 300, {}, {}},
                  {"post", 1, 3, false, 32, 400, {}, {}}};
  Loaded loaded(testfont::BuildSabun(file));
  ASSERT_EQ(1, loaded.result);
  const CMakeSabunData& data = loaded.data;
  EXPECT_STREQ("CFF ", data.GetSabunTag(0)->tagText);
  EXPECT_STREQ("name", data.GetSabunTag(1)->tagText);  // first of two with index 1
  EXPECT_STREQ("head", data.GetSabunTag(2)->tagText);
  EXPECT_EQ(nullptr, data.GetSabunTag(4));
  EXPECT_EQ(0, data.GetSabunTag(2)->hasBlock);
  EXPECT_TRUE(data.GetSabunTag(2)->copyRuns.empty());
  const CSabunTagObject& cff = *data.GetSabunTag(0);
  ASSERT_EQ(2u, cff.insertRuns.size());  // a zero-length run is followed directly by the next
  EXPECT_EQ(9, cff.insertRuns[1].literal[0]);
  EXPECT_EQ(1, data.GetSabunTag(1)->hasBlock);
  EXPECT_TRUE(data.GetSabunTag(1)->insertRuns.empty());

  testfont::SabunFile none;
  Loaded empty(testfont::BuildSabun(none));
  EXPECT_EQ(1, empty.result);
  EXPECT_TRUE(empty.data.records.empty());
}

TEST(EngineSabunTest, MagicIsTestedOnlyByGetFontInfo) {
  Bytes file = WorkedExample();
  file[0] = 'Y';
  Loaded loaded(file);
  EXPECT_EQ(1, loaded.result);
  char name[32];
  uint32_t revision;
  EXPECT_EQ(0, loaded.data.GetFontInfo(7, name, &revision));
  // Only the low 16 bits of an id name the resource.
  EXPECT_EQ(1, Loaded(WorkedExample(), 5).data.LoadSabunData(0x10005));
}

TEST(EngineSabunTest, MalformedFilesFailWithoutReadingOutside) {
  Bytes file = WorkedExample();
  // Every truncation of the example fails to load, except the full file.
  for (size_t size = 0; size < file.size(); ++size) {
    Bytes cut(file.begin(), file.begin() + static_cast<long>(size));
    EXPECT_EQ(0, Loaded(cut).result) << size;
  }
  auto patched = [&](size_t offset, uint32_t value) {
    Bytes copy = file;
    testfont::WriteU32(&copy, offset, value);
    return Loaded(copy).result;
  };
  EXPECT_EQ(0, patched(59, 103));          // block offset at the end
  EXPECT_EQ(0, patched(59, 0xFFFFFFFF));   // far past it
  EXPECT_EQ(0, patched(71, 0x7FFFFFFF));   // copy count no file can hold
  EXPECT_EQ(0, patched(87, 0x20000000));   // insert count likewise
  EXPECT_EQ(0, patched(95, 5));            // literal bytes past the end
  EXPECT_EQ(0, patched(95, 0x80000000));   // negative literal length
  EXPECT_EQ(1, patched(71, 0xFFFFFFFF));   // negative copy count: no runs
  Bytes manyTables = file;
  manyTables[44] = 255;  // records past the end of the file
  EXPECT_EQ(0, Loaded(manyTables).result);

  std::mt19937 random(12345);
  for (int round = 0; round < 2000; ++round) {
    Bytes noise = file;
    int flips = 1 + static_cast<int>(random() % 6);
    for (int k = 0; k < flips; ++k) noise[random() % noise.size()] = static_cast<uint8_t>(random());
    Loaded loaded(noise);
    if (loaded.result != 1) continue;
    // Whatever loads holds no more literal bytes than the file carries.
    size_t literal = 0;
    for (const auto& record : loaded.data.records) {
      for (const auto& run : record->insertRuns) literal += static_cast<size_t>(run.length);
    }
    EXPECT_LE(literal, noise.size());
  }
}

struct OldTable {
  Bytes font;
  TagList tables;
  explicit OldTable(const Bytes& bytes, const std::string& tag = "CFF ") {
    font = testfont::BuildFont({{tag, bytes}});
    COpenTypeHeader header;
    header.ReadHeader(font.data(), font.size());
    LoadTableDirectory(header, font.data(), font.size(), false, &tables);
  }
  CTagObject& table() { return *tables[0]; }
};

// A loaded one-record difference file that places the CFF table at 300 (or
// `newOffset`). Its record's literal bytes lie in the file, so it is kept
// while it is applied.
struct Record {
  Loaded file;
  Record(uint32_t newLength, std::vector<testfont::CopyRun> copies, std::vector<testfont::InsertRun> inserts,
         uint8_t newIndex = 0, uint32_t newOffset = 300)
      : file(testfont::BuildSabun(
            {"XOTP", "", 0, 0, {{"CFF ", newIndex, 0, true, newLength, newOffset, copies, inserts}}})) {
    EXPECT_EQ(1, file.result);
  }
  operator const CSabunTagObject&() const { return *file.data.records[0]; }
};

// The new image the tests rebuild into: filled with a byte no rebuild writes
// by itself, so that every byte written shows.
constexpr uint8_t kUnwritten = 0xEE;
Bytes Placed(const Bytes& image, size_t offset, size_t length) {
  return Bytes(image.begin() + static_cast<long>(offset), image.begin() + static_cast<long>(offset + length));
}

TEST(EngineSabunTest, ApplySabunWorkedExampleAndOverlaps) {
  OldTable old({1, 2, 3, 4, 5, 6, 7, 8});
  CTagObject& table = old.table();
  table.index = 9;
  Bytes image(320, kUnwritten);
  ASSERT_EQ(1, table.ApplySabun(Record(10, {{0, 4, 0}, {4, 4, 6}}, {{4, {0xAA, 0xBB}}}, 3), image.data(), image.size()));
  // Only the table's own bytes are written; its padding counts as zero in
  // the checksum whatever the image holds there.
  EXPECT_EQ((Bytes{1, 2, 3, 4, 0xAA, 0xBB, 5, 6, 7, 8, kUnwritten, kUnwritten}), Placed(image, 300, 12));
  EXPECT_EQ(image.data() + 300, table.newData);
  EXPECT_EQ(12, table.paddedLength);
  EXPECT_EQ(10u, table.newLength);
  EXPECT_EQ(300u, table.newOffset);
  EXPECT_EQ(0xB2C5080Au, table.newChecksum);
  EXPECT_EQ(3, table.index);
  EXPECT_EQ(0, std::memcmp(table.newTag, "CFF ", 4));

  // Insert runs win over copy runs, later runs over earlier ones; a second
  // call leaves nothing of the first.
  ASSERT_EQ(1, table.ApplySabun(Record(6, {{0, 6, 0}, {6, 2, 0}}, {{1, {0xEE}}, {1, {0xFF}}}), image.data(),
                                 image.size()));
  EXPECT_EQ((Bytes{7, 0xFF, 3, 4, 5, 6}), Placed(image, 300, 6));
  EXPECT_EQ(6u, table.newLength);
  EXPECT_EQ(0x07FF0304u + 0x05060000u, table.newChecksum);
  // No runs: new length zero bytes.
  ASSERT_EQ(1, table.ApplySabun(Record(5, {}, {}), image.data(), image.size()));
  EXPECT_EQ(Bytes(5, 0), Placed(image, 300, 5));
  EXPECT_EQ(0u, table.newChecksum);

  // Runs that leave gaps are zero between them, whether the runs come in
  // destination order or not; the checksum is that of the bytes placed.
  const Bytes gapped = {0, 2, 3, 4, 0, 0, 0xAA, 0xBB, 0xCC, 0, 0};
  for (const std::vector<testfont::InsertRun>& inserts :
       {std::vector<testfont::InsertRun>{{6, {0xAA, 0xBB, 0xCC}}},
        std::vector<testfont::InsertRun>{{6, {0xAA, 0xBB}}, {8, {0xCC}}, {1, {}}},
        std::vector<testfont::InsertRun>{{7, {0xBB, 0xCC}}, {6, {0xAA}}}}) {
    std::fill(image.begin(), image.end(), kUnwritten);
    ASSERT_EQ(1, table.ApplySabun(Record(11, {{1, 3, 1}}, inserts), image.data(), image.size()));
    EXPECT_EQ(gapped, Placed(image, 300, 11));
    EXPECT_EQ(kUnwritten, image[311]);
    EXPECT_EQ(0x00020304u + 0x0000AABBu + 0xCC000000u, table.newChecksum);
  }
}

TEST(EngineSabunTest, ApplySabunCarriesTablesWithoutBlockPaddingIncluded) {
  OldTable old({1, 2, 3, 4, 5});
  old.font[12 + 16 + 5] = 0x77;  // a padding byte that is not zero
  CTagObject& table = old.table();
  CSabunTagObject record;
  std::memcpy(record.tagText, "CFF ", 5);
  record.newIndex = 2;
  record.newLength = 64;  // disagrees with the old length: the old one wins
  record.newOffset = 44;
  Bytes image(52, kUnwritten);
  ASSERT_EQ(1, table.ApplySabun(record, image.data(), image.size()));
  // The image gets the table, the checksum its installed padding too.
  EXPECT_EQ((Bytes{1, 2, 3, 4, 5, kUnwritten}), Placed(image, 44, 6));
  EXPECT_EQ(5u, table.newLength);
  EXPECT_EQ(44u, table.newOffset);
  EXPECT_EQ(0x01020304u + 0x05770000u, table.newChecksum);

  // The last table of a file cut right after it: missing padding is zero.
  OldTable cut({1, 2, 3, 4, 5});
  cut.font.resize(cut.font.size() - 3);
  COpenTypeHeader header;
  header.ReadHeader(cut.font.data(), cut.font.size());
  TagList tables;
  ASSERT_EQ(1, LoadTableDirectory(header, cut.font.data(), cut.font.size(), false, &tables));
  ASSERT_EQ(1, tables[0]->ApplySabun(record, image.data(), image.size()));
  EXPECT_EQ(0x01020304u + 0x05000000u, tables[0]->newChecksum);
  // A table that does not fit the image is not placed.
  EXPECT_EQ(0, tables[0]->ApplySabun(record, image.data(), 48));
  EXPECT_EQ(nullptr, tables[0]->newData);
}

TEST(EngineSabunTest, ApplySabunRefusesRunsOutsideEitherTable) {
  OldTable old({1, 2, 3, 4, 5, 6, 7, 8});
  CTagObject& table = old.table();
  const std::vector<std::pair<std::vector<testfont::CopyRun>, std::vector<testfont::InsertRun>>> bad = {
      {{{4, 5, 0}}, {}},            // source past the old table
      {{{-1, 2, 0}}, {}},           // negative source
      {{{0, 4, 7}}, {}},            // destination past the new table
      {{{0, -4, 0}}, {}},           // negative length
      {{{0x7FFFFFFF, 2, 0}}, {}},   // source that wraps
      {{}, {{9, {1, 2}}}},          // insert past the new table
      {{}, {{-2, {1}}}},            // negative destination
  };
  Bytes image(320, kUnwritten);
  for (const auto& runs : bad) {
    EXPECT_EQ(0, table.ApplySabun(Record(10, runs.first, runs.second), image.data(), image.size()));
    EXPECT_EQ(nullptr, table.newData);
  }
  // Nor may the table reach past the image.
  EXPECT_EQ(0, table.ApplySabun(Record(10, {{0, 8, 0}}, {}), image.data(), 309));
  EXPECT_EQ(Bytes(320, kUnwritten), image);
}


// The table a record builds, by the rules themselves: a zero-filled buffer of
// the padded new length, the copy runs and then the insert runs written in
// file order, a later run over an earlier one; 0 when a run leaves either
// table.
struct Reference {
  int result = 1;
  Bytes table;
  uint32_t checksum = 0;
};
Reference Rebuilt(const Bytes& old, uint32_t newLength, const std::vector<testfont::CopyRun>& copies,
                  const std::vector<testfont::InsertRun>& inserts) {
  auto inside = [](int64_t offset, int64_t length, size_t size) {
    return offset >= 0 && length >= 0 && offset + length <= static_cast<int64_t>(size);
  };
  Reference out;
  out.table.assign((newLength + 3) & ~3u, 0);
  for (const auto& run : copies) {
    if (!inside(run.source, run.length, old.size()) || !inside(run.destination, run.length, newLength)) out.result = 0;
  }
  for (const auto& run : inserts) {
    if (!inside(run.destination, static_cast<int64_t>(run.bytes.size()), newLength)) out.result = 0;
  }
  if (out.result == 0) return out;
  for (const auto& run : copies) {
    std::copy(old.begin() + run.source, old.begin() + run.source + run.length, out.table.begin() + run.destination);
  }
  for (const auto& run : inserts) std::copy(run.bytes.begin(), run.bytes.end(), out.table.begin() + run.destination);
  for (size_t k = 0; k < out.table.size(); k += 4) out.checksum += testfont::ReadU32(out.table, k);
  out.table.resize(newLength);
  return out;
}

// Blocks as a maker writes them and as it might not: runs that take turns
// and cover the table, from one byte to over a kilobyte, the last one ending
// where the table does; gaps; runs of no bytes anywhere; either list out of
// order; runs over others; a run outside either table. Every one must give
// what the rules give, write nothing outside the table's place, and take its
// checksum with the padding zero whatever the image holds there. The
// installed table's padding bytes are not zero, and the last literal ends
// the difference file, so that nothing may be read past a run's source and
// written into the table.
TEST(EngineSabunTest, ApplySabunGivesWhatTheRulesGiveForAnyRuns) {
  std::mt19937 random(4321);
  auto below = [&](uint32_t n) { return n == 0 ? 0u : static_cast<uint32_t>(random() % n); };
  auto runLength = [&]() -> int32_t {
    switch (below(8)) {
      case 0: return 1 + static_cast<int32_t>(below(3));
      case 1: case 2: return 1 + static_cast<int32_t>(below(16));
      case 3: case 4: return 17 + static_cast<int32_t>(below(48));
      case 5: return 65 + static_cast<int32_t>(below(200));
      case 6: return 250 + static_cast<int32_t>(below(20));
      default: return 300 + static_cast<int32_t>(below(1500));
    }
  };
  enum Shape { kTakingTurns, kGaps, kEmptyRuns, kCopiesShuffled, kInsertsShuffled, kOverlapping, kOutside };
  int failures = 0;
  for (int round = 0; round < 3000 && failures < 5; ++round) {
    const Shape shape = static_cast<Shape>(round % 7);
    Bytes oldBytes(1 + below(4000));
    for (auto& b : oldBytes) b = static_cast<uint8_t>(random());
    OldTable old(oldBytes);
    // Padding that is not zero after an installed table of odd length.
    const size_t oldEnd = 12 + 16 + oldBytes.size();
    for (size_t k = oldEnd; k < old.font.size(); ++k) old.font[k] = 0xA5;
    const uint32_t oldLength = static_cast<uint32_t>(oldBytes.size());

    std::vector<testfont::CopyRun> copies;
    std::vector<testfont::InsertRun> inserts;
    uint32_t at = 0;
    const uint32_t target = 1 + below(6000);
    bool copyTurn = below(2) == 0;
    while (at < target) {
      if (shape == kGaps && below(4) == 0) {
        at += 1 + below(9);
        if (at >= target) break;
      }
      const int32_t n = std::min<int32_t>(runLength(), static_cast<int32_t>(target - at) + 3);
      if (copyTurn && n <= static_cast<int32_t>(oldLength)) {
        copies.push_back({static_cast<int32_t>(below(oldLength - static_cast<uint32_t>(n) + 1)), n, static_cast<int32_t>(at)});
      } else {
        Bytes literal(static_cast<size_t>(n));
        for (auto& b : literal) b = static_cast<uint8_t>(random());
        inserts.push_back({static_cast<int32_t>(at), literal});
      }
      at += static_cast<uint32_t>(n);
      copyTurn = !copyTurn;
    }
    // The last run ends where the table does (or a gap closes it).
    const uint32_t newLength = shape == kGaps ? at + below(7) : at;
    if (shape == kEmptyRuns) {
      for (int k = 0; k < 4; ++k) {
        const int32_t where = static_cast<int32_t>(below(newLength + 1));
        copies.insert(copies.begin() + below(static_cast<uint32_t>(copies.size()) + 1),
                      {static_cast<int32_t>(below(oldLength + 1)), 0, where});
        inserts.insert(inserts.begin() + below(static_cast<uint32_t>(inserts.size()) + 1), {where, {}});
      }
    }
    if (shape == kCopiesShuffled) std::shuffle(copies.begin(), copies.end(), random);
    if (shape == kInsertsShuffled) std::shuffle(inserts.begin(), inserts.end(), random);
    if (shape == kOverlapping) {
      for (int k = 0; k < 3; ++k) {
        const int32_t n = 1 + static_cast<int32_t>(below(std::min<uint32_t>(newLength, oldLength)));
        const int32_t where = static_cast<int32_t>(below(newLength - static_cast<uint32_t>(n) + 1));
        copies.insert(copies.begin() + below(static_cast<uint32_t>(copies.size()) + 1),
                      {static_cast<int32_t>(below(oldLength - static_cast<uint32_t>(n) + 1)), n, where});
        Bytes literal(1 + below(static_cast<uint32_t>(n)), static_cast<uint8_t>(k + 1));
        inserts.insert(inserts.begin() + below(static_cast<uint32_t>(inserts.size()) + 1), {where, literal});
      }
    }
    if (shape == kOutside && !copies.empty()) {
      testfont::CopyRun& run = copies[below(static_cast<uint32_t>(copies.size()))];
      switch (below(4)) {
        case 0: run.source = static_cast<int32_t>(oldLength) - run.length + 1; break;
        case 1: run.destination = static_cast<int32_t>(newLength) - run.length + 1; break;
        case 2: run.length = -run.length; break;
        default: run.source = -1; break;
      }
    }

    const Reference expected = Rebuilt(oldBytes, newLength, copies, inserts);
    const uint32_t place = 8 + below(8);
    Record record(newLength, copies, inserts, 0, place);
    Bytes image(place + newLength + 80, kUnwritten);
    CTagObject& table = old.table();
    const int result = table.ApplySabun(record, image.data(), image.size());
    const bool same =
        result == expected.result &&
        (result == 0 ? table.newData == nullptr
                     : Placed(image, place, newLength) == expected.table && table.newChecksum == expected.checksum &&
                           table.newLength == newLength) &&
        std::all_of(image.begin(), image.begin() + place, [](uint8_t b) { return b == kUnwritten; }) &&
        std::all_of(image.begin() + place + newLength, image.end(), [](uint8_t b) { return b == kUnwritten; });
    if (!same) {
      ++failures;
      ADD_FAILURE() << "round " << round << " shape " << shape << ": " << copies.size() << " copies, "
                    << inserts.size() << " inserts, new length " << newLength << ", result " << result;
    }
  }
}

}  // namespace
