// otpa make's difference files read back with the engine's reader, and the
// revised fonts it refuses because the updater could not reproduce them.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "engine/opentype_manager.h"
#include "engine/sabun_data.h"
#include "engine/sabun_format.h"
#include "platform/resources.h"
#include "tests/fake_file_system.h"
#include "tests/font_builder.h"
#include "tests/maker_font_edits.h"
#include "tools/otpa/make_font.h"
#include "tools/otpa/make_sabun.h"

namespace maker {
namespace {

using testfont::Bytes;
using testfont::EntryOffset;
using testfont::Resum;
using testfont::Table;

constexpr char kFullName[] = "SampleMincho ProN R";
constexpr uint32_t kOldRevision = 0x00010000;

std::vector<Table> Revised(const std::vector<Table>& tables) {
  std::vector<Table> out = tables;
  for (Table& table : out) {
    if (table.tag == "head") table.bytes = testfont::HeadTable(0x00010001, 9);
    if (table.tag == "CFF ") table.bytes[350] ^= 0xFF;
  }
  return out;
}

struct Made {
  bool ok = false;
  Bytes file;
  std::string refusal;
  std::string note;
};

Made Make(const Bytes& oldBytes, const Bytes& newBytes) {
  Made made;
  FontFile oldFont, newFont;
  made.ok = ReadFontFile("old", oldBytes, &oldFont, &made.refusal) &&
            ReadFontFile("new", newBytes, &newFont, &made.refusal) &&
            MakeSabunFile(oldFont, newFont, &made.file, &made.refusal, &made.note);
  return made;
}

// The update driver's rebuild of `installed` with the difference file
// `file`, the new image in `image`: the driver's result.
int32_t RebuildWithDriver(const Bytes& installed, const Bytes& file, Bytes* image) {
  testfs::FakeFileSystem files;
  files.files["font.otf"] = installed;
  platform::MemoryResources resources;
  resources.Add(sabun::kResourceType, 1, file);
  COpenTypeManager manager(files, resources, nullptr);
  manager.PrepareFor(1);
  int32_t result = manager.ReadFont("font.otf", nullptr, nullptr, 1, 0);
  if (result == 0) result = manager.TakeLicenseTexts();
  if (result == 0) result = manager.RebuildFont("font.otf", 1, nullptr, nullptr, 1, 0);
  if (result == 0) image->assign(manager.NewImage(), manager.NewImage() + manager.NewImageSize());
  return result;
}

class MakeSabunTest : public ::testing::Test {
 protected:
  const std::vector<Table> oldTables_ = testfont::SampleTables(kOldRevision, kFullName, 1, 400);
  const Bytes oldFont_ = testfont::BuildFont(oldTables_);
  const Bytes newFont_ = testfont::BuildFont(Revised(oldTables_));
};

TEST_F(MakeSabunTest, HeaderNamesTheInstalledFontAndOnlyChangedTablesGetBlocks) {
  const Made made = Make(oldFont_, newFont_);
  ASSERT_TRUE(made.ok) << made.refusal;
  EXPECT_TRUE(made.note.empty());

  platform::MemoryResources resources;
  resources.Add(sabun::kResourceType, 1, made.file);
  CMakeSabunData data(resources);
  ASSERT_EQ(1, data.LoadSabunData(1));
  EXPECT_EQ(0, std::memcmp(data.magic, "XOTP", 4));
  char name[32] = {};
  std::memcpy(name, kFullName, sizeof kFullName);
  EXPECT_EQ(0, std::memcmp(data.fontName, name, sizeof name));
  EXPECT_EQ(kOldRevision, data.expectedRevision);
  EXPECT_EQ(newFont_.size(), data.newFileLength);
  ASSERT_EQ(5, data.tableCount);
  const size_t head = testfont::ReadU32(newFont_, EntryOffset(newFont_, "head") + 8);
  EXPECT_EQ(0, std::memcmp(data.date, newFont_.data() + head + 28, 8));

  for (uint8_t k = 0; k < 5; ++k) {
    const CSabunTagObject* record = data.GetSabunTag(k);
    ASSERT_NE(nullptr, record);
    const std::string tag(record->tagText);
    const size_t entry = 12 + 16 * k;
    EXPECT_EQ(tag, std::string(newFont_.begin() + entry, newFont_.begin() + entry + 4));
    EXPECT_EQ(k, record->order);
    EXPECT_EQ(testfont::ReadU32(newFont_, entry + 8), record->newOffset);
    EXPECT_EQ(testfont::ReadU32(newFont_, entry + 12), record->newLength);
    EXPECT_EQ(tag == "CFF " || tag == "head", record->hasBlock == 1) << tag;
  }
  // The one edited CFF byte between two copies costs one copy and one insert
  // run more than an unchanged table would.
  const CSabunTagObject* cff = data.GetSabunTag(1);
  EXPECT_EQ(2u, cff->copyRuns.size());
  ASSERT_EQ(1u, cff->insertRuns.size());
  EXPECT_EQ(350, cff->insertRuns[0].destinationOffset);
}

TEST_F(MakeSabunTest, LicenceTextsThatDifferAreNotedNotRefused) {
  std::vector<Table> tables = Revised(oldTables_);
  for (Table& table : tables) {
    if (table.tag == "name") {
      table.bytes = testfont::NameTable(testfont::StandardNameRecords(kFullName, "Mac licence text", "Other"));
    }
  }
  const Made made = Make(oldFont_, testfont::BuildFont(tables));
  ASSERT_TRUE(made.ok) << made.refusal;
  EXPECT_NE(std::string::npos, made.note.find("License Description"));
}

TEST_F(MakeSabunTest, RefusesRevisedFontsTheUpdaterWouldNotReproduce) {
  struct Case {
    const char* what;
    Bytes font;
    const char* reason;
  };
  std::vector<Case> cases;

  Bytes checksum = newFont_;
  const size_t cffEntry = EntryOffset(checksum, "CFF ");
  testfont::WriteU32(&checksum, cffEntry + 4, testfont::ReadU32(checksum, cffEntry + 4) + 1);
  Resum(&checksum);
  cases.push_back({"table checksum", checksum, "directory checksum of table 'CFF '"});

  Bytes adjustment = newFont_;
  const size_t head = testfont::ReadU32(adjustment, EntryOffset(adjustment, "head") + 8);
  testfont::WriteU32(&adjustment, head + 8, testfont::ReadU32(adjustment, head + 8) + 1);
  cases.push_back({"checkSumAdjustment", adjustment, "checkSumAdjustment"});

  Bytes searchRange = newFont_;
  searchRange[7] ^= 0x10;
  Resum(&searchRange);
  cases.push_back({"offset table", searchRange, "searchRange"});

  std::vector<Table> unsorted = Revised(oldTables_);
  std::swap(unsorted[0], unsorted[1]);
  cases.push_back({"directory order", testfont::BuildFont(unsorted), "ascending"});

  Bytes trailing = newFont_;
  trailing.insert(trailing.end(), 4, 0);
  cases.push_back({"trailing bytes", trailing, "follow its last table"});

  for (const Case& c : cases) {
    const Made made = Make(oldFont_, c.font);
    EXPECT_FALSE(made.ok) << c.what;
    EXPECT_NE(std::string::npos, made.refusal.find(c.reason)) << c.what << ": " << made.refusal;
    EXPECT_EQ(0u, made.refusal.find("new: ")) << made.refusal;
  }
}

TEST_F(MakeSabunTest, DamagedFontsAreRefusedWithAReasonOrMadeIntoReadableFiles) {
  std::mt19937 random(21);
  int refused = 0;
  for (int trial = 0; trial < 1200; ++trial) {
    Bytes oldFont = oldFont_;
    Bytes newFont = newFont_;
    Bytes& damaged = trial % 2 ? oldFont : newFont;
    // Mostly the offset table, directory and name table, where lengths live.
    const size_t span = trial % 3 ? 12 + 16 * 5 + 80 : damaged.size();
    for (int hits = 1 + random() % 3; hits > 0; --hits) damaged[random() % span] = static_cast<uint8_t>(random());
    if (trial % 7 == 0) damaged.resize(random() % damaged.size());

    const Made made = Make(oldFont, newFont);
    if (!made.ok) {
      EXPECT_FALSE(made.refusal.empty());
      ++refused;
      continue;
    }
    platform::MemoryResources resources;
    resources.Add(sabun::kResourceType, 1, made.file);
    CMakeSabunData data(resources);
    EXPECT_EQ(1, data.LoadSabunData(1)) << "trial " << trial;
  }
  EXPECT_GT(refused, 400) << "the damage should mostly be refused";
}

// An extended difference file revises only the font it was made from, and
// an updater refuses one of a version or with flags it does not know.
TEST_F(MakeSabunTest, ExtendedFilesReviseOnlyTheFontTheyWereMadeFrom) {
  std::vector<Table> signedTables = oldTables_;
  signedTables.push_back({"DSIG", Bytes{0, 0, 0, 1, 0, 0, 0, 1}});
  const Bytes signedFont = testfont::BuildFont(signedTables);
  const Made made = Make(signedFont, newFont_);
  ASSERT_TRUE(made.ok) << made.refusal;
  ASSERT_EQ(0, std::memcmp(made.file.data(), "XOTE", 4));

  Bytes image;
  ASSERT_EQ(0, RebuildWithDriver(signedFont, made.file, &image));
  EXPECT_TRUE(image == newFont_);

  // A table of other bytes, other outlines, another font of the same revision.
  Bytes changedTable = signedFont;
  changedTable[testfont::ReadU32(changedTable, EntryOffset(changedTable, "post") + 8) + 1] ^= 1;
  Bytes trueType = signedFont;
  testfont::WriteU32(&trueType, 0, 0x74727565);
  std::vector<Table> renamed = signedTables;
  for (Table& table : renamed) {
    if (table.tag == "name") {
      table.bytes = testfont::NameTable(testfont::StandardNameRecords("SampleMincho ProN B", "Mac licence text",
                                                                      "Windows licence"));
    }
  }
  for (const Bytes& other : {changedTable, trueType, testfont::BuildFont(renamed)}) {
    EXPECT_EQ(1, RebuildWithDriver(other, made.file, &image));
  }
  // A later major version, a flag, a block encoding this reader does not know.
  // The header says so for all of the file: the target matching refuses it
  // too; the record, for its own block only.
  const size_t encoding = testfont::ReadU32(made.file, sabun::ext::kHeaderSizeOffset) + sabun::ext::kRecordEncodingOffset;
  for (size_t at : {sabun::ext::kMajorVersionOffset, sabun::ext::kFlagsOffset + 1, encoding}) {
    Bytes file = made.file;
    file[at] ^= 0x02;
    EXPECT_EQ(7, RebuildWithDriver(signedFont, file, &image)) << at;
    platform::MemoryResources resources;
    resources.Add(sabun::kResourceType, 1, file);
    SabunIdentity identity;
    EXPECT_EQ(at == encoding ? 1 : 0, CMakeSabunData(resources).GetFontInfo(1, &identity)) << at;
  }
}

TEST_F(MakeSabunTest, CompressedFilesRebuildTheNewFontAndDamagedOnesAreRefusedWhole) {
  // A longer CFF table with bytes changed here and there and a stretch
  // inserted: the compressed blocks make the smaller file.
  const std::vector<Table> oldTables = testfont::SampleTables(kOldRevision, kFullName, 1, 6000);
  std::vector<Table> newTables = Revised(oldTables);
  for (Table& table : newTables) {
    if (table.tag != "CFF ") continue;
    for (size_t at = 30; at < table.bytes.size(); at += 250) table.bytes[at] = static_cast<uint8_t>(table.bytes[at] + 5);
    table.bytes.insert(table.bytes.begin() + 3000, 40, 0x8B);
  }
  const Bytes oldFont = testfont::BuildFont(oldTables);
  const Bytes newFont = testfont::BuildFont(newTables);
  FontFile oldFile, newFile;
  std::string refusal, note;
  Bytes classic, compressed;
  ASSERT_TRUE(ReadFontFile("old", oldFont, &oldFile, &refusal) && ReadFontFile("new", newFont, &newFile, &refusal) &&
              MakeSabunFile(oldFile, newFile, &classic, &refusal, &note) &&
              MakeSabunFile(oldFile, newFile, &compressed, &refusal, &note, nullptr, Encoding::kSmallest))
      << refusal;
  ASSERT_EQ(0, std::memcmp(classic.data(), "XOTP", 4));
  ASSERT_EQ(0, std::memcmp(compressed.data(), "XOTE", 4));
  EXPECT_LT(compressed.size() * 2, classic.size());

  Bytes image;
  ASSERT_EQ(0, RebuildWithDriver(oldFont, compressed, &image));
  EXPECT_TRUE(image == newFont);

  // The CFF block's zlib stream damaged: the file is refused as a damaged
  // difference file before anything is rebuilt (add_copy_test damages and
  // cuts every byte of a stream).
  platform::MemoryResources resources;
  resources.Add(sabun::kResourceType, 1, compressed);
  CMakeSabunData data(resources);
  ASSERT_EQ(1, data.LoadSabunData(1));
  const CSabunTagObject* cff = data.GetSabunTag(1);
  ASSERT_EQ(sabun::ext::kAddCopyEncoding, cff->encoding);
  Bytes damaged = compressed;
  damaged[cff->blockOffset + cff->blockLength / 2] ^= 0x55;
  EXPECT_EQ(kUpdateSabunNotLoaded, RebuildWithDriver(oldFont, damaged, &image));
}

}  // namespace
}  // namespace maker
