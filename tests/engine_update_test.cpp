// The update driver end to end on an in-memory file system: results, progress,
// stop requests, and the installed font after every fault.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <random>
#include <string>
#include <vector>

#include "engine/opentype_manager.h"
#include "platform/resources.h"
#include "tests/fake_file_system.h"
#include "tests/font_builder.h"

namespace {

using testfont::Bytes;
using testfs::FakeFileSystem;

constexpr char kFontName[] = "SampleMincho ProN R";
constexpr uint16_t kDiffId = 5;

class FixedTarget : public CTargetLookup {
 public:
  bool found = true;
  bool FindTargetResource(const char*, int32_t, int32_t* resourceId) const override {
    *resourceId = kDiffId;
    return found;
  }
};

struct Point {
  int32_t overall;
  int32_t current;
  std::string file;
  std::string step;
};

struct Progress {
  std::vector<Point> points;
  int32_t stopAt = -1;
  static int32_t Callback(int32_t overall, int32_t current, const char* file, const char* step, void* context) {
    auto* self = static_cast<Progress*>(context);
    self->points.push_back({overall, current, file, step});
    return current == self->stopAt ? 1 : 0;
  }
  std::vector<int32_t> Currents() const {
    std::vector<int32_t> out;
    for (const Point& point : points) out.push_back(point.current);
    return out;
  }
};

class EngineUpdateTest : public ::testing::Test {
 protected:
  EngineUpdateTest()
      : path(std::string("fonts") + platform::PathSeparator() + "SampleMinchoProN-R.otf"),
        oldTables(testfont::SampleTables(0x00010000, kFontName, 1, 37)),
        newTables(testfont::SampleTables(0x00020000, kFontName, 2, 50)) {}

  void SetUp() override { Install(); }

  void Install() {
    oldFont = testfont::BuildFont(oldTables);
    newFont = testfont::BuildFont(newTables);
    diff = testfont::BuildSabun(testfont::DiffTables(oldTables, newTables, kFontName, 0x00010000));
    files.files.clear();
    files.files[path] = oldFont;
    resources = platform::MemoryResources();
    resources.Add("FONT_PA", kDiffId, diff);
  }

  int32_t Update(int32_t n = 1, int32_t i = 0) {
    COpenTypeManager manager(files, resources, &target);
    return manager.UpdateFont(path.c_str(), 0x00010000, Progress::Callback, &progress, n, i);
  }

  // The installed file is the old font or the new one, and nothing else is
  // left on the disk.
  void ExpectOnly(const Bytes& installed) {
    EXPECT_EQ(1u, files.files.size());
    ASSERT_EQ(1u, files.files.count(path));
    EXPECT_TRUE(files.files[path] == installed) << (installed == oldFont ? "expected the old font" : "expected the new font");
  }

  std::string path;
  std::vector<testfont::Table> oldTables;
  std::vector<testfont::Table> newTables;
  Bytes oldFont, newFont, diff;
  FakeFileSystem files;
  platform::MemoryResources resources;
  FixedTarget target;
  Progress progress;
};

TEST_F(EngineUpdateTest, RevisesTheFontAndReportsNinePoints) {
  ASSERT_EQ(0, Update());
  ExpectOnly(newFont);
  EXPECT_EQ((std::vector<int32_t>{10, 20, 30, 40, 55, 65, 75, 90, 100}), progress.Currents());
  const std::vector<std::string> steps = {
      "SampleMinchoProN-Rのファイルをオープンしています。",
      "SampleMinchoProN-Rのファイルを読み込んでいます。",
      "タグデータを読み込みました。",
      "SampleMinchoProN-Rのファイルをオープンしています。",
      "SampleMinchoProN-Rのファイルを読み込んでいます。",
      "SampleMinchoProN-Rのファイルにシリアルナンバーを書き込んでいます。",
      "SampleMinchoProN-Rのファイルにチェックサムを再計算しています。",
      "SampleMinchoProN-Rのファイルを作成しています。",
      "テンポラリフォルダからファイルをコピーしています。"};
  for (size_t k = 0; k < steps.size(); ++k) {
    EXPECT_EQ(steps[k], progress.points[k].step);
    EXPECT_EQ(path + "の改訂をしています。", progress.points[k].file);
    EXPECT_EQ(progress.points[k].current, progress.points[k].overall);
  }
}

TEST_F(EngineUpdateTest, OverallPercentPlacesFontIOfN) {
  ASSERT_EQ(0, Update(3, 1));
  std::vector<int32_t> overall;
  for (const Point& point : progress.points) overall.push_back(point.overall);
  EXPECT_EQ((std::vector<int32_t>{36, 39, 43, 46, 51, 54, 58, 63, 66}), overall);
  EXPECT_EQ(99, OverallPercent(100, 3, 2));
  EXPECT_EQ(96, OverallPercent(90, 3, 2));
  EXPECT_EQ(69, OverallPercent(10, 3, 2));  // 200 / 3 and 10 / 3 truncate each
  EXPECT_EQ(15, OverallPercent(10, 20, 3));  // p / n is 0 when n > p
  EXPECT_EQ(58, OverallPercent(10, 7, 4));
  EXPECT_EQ(59, OverallPercent(20, 7, 4));
  EXPECT_EQ(100, OverallPercent(100, 1, 0));
  EXPECT_EQ(75, OverallPercent(75, 1, 0));
}

TEST_F(EngineUpdateTest, StopAtEachPoint) {
  for (int32_t stop : {10, 20, 30, 40, 55, 65, 75, 90, 100}) {
    SCOPED_TRACE(stop);
    Install();
    progress = Progress();
    progress.stopAt = stop;
    files.created.clear();
    int32_t result = Update();
    if (stop == 100) {
      EXPECT_EQ(0, result);
      ExpectOnly(newFont);
    } else {
      EXPECT_EQ(6, result);
      ExpectOnly(oldFont);
      EXPECT_EQ(stop, progress.points.back().current);
    }
    // Only a stop at 90 still writes the temporary file (then removes it).
    EXPECT_EQ(stop >= 90 ? 1u : 0u, files.created.size());
  }
}

TEST_F(EngineUpdateTest, WithoutContextTheReadingStepsAreSilent) {
  static std::vector<int32_t> seen;
  seen.clear();
  auto callback = [](int32_t, int32_t current, const char*, const char*, void*) -> int32_t {
    seen.push_back(current);
    return current == 10 || current == 20 || current == 30 ? 1 : 0;
  };
  COpenTypeManager manager(files, resources, &target);
  ASSERT_EQ(0, manager.UpdateFont(path.c_str(), 0x00010000, callback, nullptr, 1, 0));
  EXPECT_EQ((std::vector<int32_t>{40, 55, 65, 75, 90, 100}), seen);
}

TEST_F(EngineUpdateTest, FaultsLeaveTheOldFontOrTheNewOne) {
  struct Case {
    const char* name;
    void (*inject)(FakeFileSystem*);
    int32_t result;
    bool revised;
  };
  const Case cases[] = {
      {"open fails", [](FakeFileSystem* f) { f->openReadFailsFrom = 0; }, 1, false},
      {"read fails", [](FakeFileSystem* f) { f->readFails = true; }, 1, false},
      {"no temporary folder", [](FakeFileSystem* f) { f->tempFolderFails = true; }, 11, false},
      {"temporary file never created", [](FakeFileSystem* f) { f->createFailures = 1000; }, 11, false},
      {"name clashes twice", [](FakeFileSystem* f) { f->createFailures = 2; }, 0, true},
      {"short write", [](FakeFileSystem* f) { f->writeLimit = 10; }, 11, false},
      {"close fails", [](FakeFileSystem* f) { f->closeFails = true; }, 11, false},
      {"copy fails", [](FakeFileSystem* f) { f->copyFault = FakeFileSystem::CopyFault::kFailUntouched; }, 10, false},
      {"copy fails half-way", [](FakeFileSystem* f) { f->copyFault = FakeFileSystem::CopyFault::kFailHalfway; }, 10,
       false},
      {"copy differs, and again when the old font is put back",
       [](FakeFileSystem* f) {
         f->copyFault = FakeFileSystem::CopyFault::kCorrupt;
         f->faultyCopies = 2;
       },
       13, false},
      {"re-read fails", [](FakeFileSystem* f) { f->openReadFailsFrom = 1; }, 12, false},
      {"copy empty", [](FakeFileSystem* f) { f->copyFault = FakeFileSystem::CopyFault::kTruncate; }, 12, false},
      {"copy differs", [](FakeFileSystem* f) { f->copyFault = FakeFileSystem::CopyFault::kCorrupt; }, 13, false},
      {"copy longer, same sum", [](FakeFileSystem* f) { f->copyFault = FakeFileSystem::CopyFault::kAppendZeros; },
       13, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    files = FakeFileSystem();
    Install();
    c.inject(&files);
    EXPECT_EQ(c.result, Update());
    // A re-read that keeps failing cannot check the restore; look anyway.
    ExpectOnly(c.revised ? newFont : oldFont);
  }
}

// A font another program holds open cannot be replaced now: its verified
// new revision waits beside it for the system's next start.
TEST_F(EngineUpdateTest, AFontInUseIsStagedForTheRestart) {
  const std::string staged = COpenTypeManager::StagedPath(path);
  EXPECT_EQ(std::string("fonts") + platform::PathSeparator() + "SampleMinchoProN-R.otu-staged", staged);
  using Moves = std::vector<std::pair<std::string, std::string>>;

  files.inUse.insert(path);
  {
    COpenTypeManager manager(files, resources, &target);
    ASSERT_EQ(0, manager.UpdateFont(path.c_str(), 0x00010000, Progress::Callback, &progress, 1, 0));
    EXPECT_TRUE(manager.WaitsForRestart());
  }
  EXPECT_EQ(100, progress.Currents().back());
  EXPECT_EQ(2u, files.files.size());  // the temporary file is gone
  EXPECT_TRUE(files.files[path] == oldFont);
  EXPECT_TRUE(files.files[staged] == newFont);
  EXPECT_EQ((Moves{{staged, path}}), files.pendingMoves);

  // A second run before the restart meets the old font, still in use, and
  // stages it once more.
  ASSERT_EQ(0, Update());
  EXPECT_TRUE(files.files[staged] == newFont);
  EXPECT_EQ(2u, files.pendingMoves.size());
  files.Restart();
  ExpectOnly(newFont);

  // No longer in use at the second run: replaced at once, and the staged
  // file goes, so that its pending move finds nothing.
  Install();
  files.inUse.insert(path);
  ASSERT_EQ(0, Update());
  files.inUse.clear();
  {
    COpenTypeManager manager(files, resources, &target);
    ASSERT_EQ(0, manager.UpdateFont(path.c_str(), 0x00010000, nullptr, nullptr, 1, 0));
    EXPECT_FALSE(manager.WaitsForRestart());
  }
  ExpectOnly(newFont);
  files.Restart();
  ExpectOnly(newFont);
}

TEST_F(EngineUpdateTest, AFontInUseThatCannotBeStagedStaysAsItWas) {
  struct Case {
    const char* name;
    void (*inject)(FakeFileSystem*);
    int32_t result;
  };
  const Case cases[] = {
      {"the system refuses the move", [](FakeFileSystem* f) { f->restartMovesRefused = true; }, 10},
      {"the staged copy fails",
       [](FakeFileSystem* f) {
         f->copyFault = FakeFileSystem::CopyFault::kFailUntouched;
         f->faultyCopies = 2;
       },
       10},
      {"the staged copy differs",
       [](FakeFileSystem* f) {
         f->copyFault = FakeFileSystem::CopyFault::kCorrupt;
         f->faultyCopies = 2;
       },
       13},
      {"the staged copy cannot be read back", [](FakeFileSystem* f) { f->openReadFailsFrom = 1; }, 12},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    files = FakeFileSystem();
    Install();
    files.inUse.insert(path);
    c.inject(&files);
    COpenTypeManager manager(files, resources, &target);
    EXPECT_EQ(c.result, manager.UpdateFont(path.c_str(), 0x00010000, Progress::Callback, &progress, 1, 0));
    EXPECT_FALSE(manager.WaitsForRestart());
    EXPECT_TRUE(files.pendingMoves.empty());
    ExpectOnly(oldFont);
  }
}

TEST(StagedPath, NeverHoldsTheFontExtension) {
  const std::string folder = std::string("C:") + platform::PathSeparator() + "Fonts" + platform::PathSeparator();
  EXPECT_EQ(folder + "Mincho.otu-staged", COpenTypeManager::StagedPath(folder + "Mincho.otf.bak.otf"));
  EXPECT_EQ(folder + "Mincho.otu-staged", COpenTypeManager::StagedPath(folder + "Mincho.otfx"));
  EXPECT_EQ(folder + "Mincho.ttf.otu-staged", COpenTypeManager::StagedPath(folder + "Mincho.ttf"));
}

TEST_F(EngineUpdateTest, ExistingFilesAtDrawnNamesAreNeverTouched) {
  // Every name the next minute can draw is taken.
  std::time_t now = std::time(nullptr);
  std::vector<std::string> taken;
  for (std::time_t t = now; t < now + 60; ++t) {
    for (int r = 0; r < 255; ++r) {
      std::string name = std::string("temp") + platform::PathSeparator() + std::to_string(static_cast<long long>(t)) +
                         std::to_string(r);
      files.files[name] = Bytes{1, 2, 3};
      taken.push_back(name);
    }
  }
  EXPECT_EQ(11, Update());
  EXPECT_TRUE(files.files[path] == oldFont);
  for (const std::string& name : taken) ASSERT_EQ(1u, files.files.count(name)) << name;
}

TEST_F(EngineUpdateTest, ResultCodesBeforeAnythingIsWritten) {
  // Not an OTTO font: reports at 10 and 30 only.
  files.files[path] = testfont::BuildFont(oldTables, 0x00010000);
  EXPECT_EQ(1, Update());
  EXPECT_EQ((std::vector<int32_t>{10, 30}), progress.Currents());

  auto expectCode = [&](int32_t code, const Bytes& font, const Bytes& difference) {
    files = FakeFileSystem();
    files.files[path] = font;
    resources = platform::MemoryResources();
    resources.Add("FONT_PA", kDiffId, difference);
    progress = Progress();
    EXPECT_EQ(code, Update());
    EXPECT_TRUE(files.files[path] == font);
    EXPECT_EQ(1u, files.files.size());
  };
  // A digital signature table.
  std::vector<testfont::Table> signed_ = oldTables;
  signed_.push_back({"DSIG", Bytes(8, 1)});
  expectCode(1, testfont::BuildFont(signed_), diff);
  // No Windows License Description.
  std::vector<testfont::Table> noLicence = oldTables;
  noLicence[3].bytes = testfont::NameTable(testfont::StandardNameRecords(kFontName, "Mac licence text", ""));
  expectCode(1, testfont::BuildFont(noLicence), diff);
  // A difference resource that does not load: after 10, 20, 30, 40.
  expectCode(7, oldFont, Bytes(20, 0));
  EXPECT_EQ((std::vector<int32_t>{10, 20, 30, 40}), progress.Currents());
  // A record naming a table the font lacks, a missing new index, one table
  // named twice, more records than tables.
  testfont::SabunFile sabun = testfont::DiffTables(oldTables, newTables, kFontName, 0x00010000);
  testfont::SabunFile renamed = sabun;
  renamed.records[0].tag = "GSUB";
  expectCode(1, oldFont, testfont::BuildSabun(renamed));
  testfont::SabunFile gap = sabun;
  gap.records[2].newIndex = 7;
  expectCode(1, oldFont, testfont::BuildSabun(gap));
  testfont::SabunFile twice = sabun;
  twice.records[4].tag = "BASE";
  expectCode(1, oldFont, testfont::BuildSabun(twice));
  testfont::SabunFile extra = sabun;
  extra.records.push_back(extra.records[0]);
  extra.records.back().newIndex = 5;
  expectCode(1, oldFont, testfont::BuildSabun(extra));
  // A difference file made for another installed revision, and one that
  // carries a table over with a length the installed table does not have.
  testfont::SabunFile otherRevision = sabun;
  otherRevision.expectedRevision = 0x00010001;
  expectCode(1, oldFont, testfont::BuildSabun(otherRevision));
  // Another font of the same revision put where the candidate was found: the
  // runs would fit its tables and build a damaged font.
  testfont::SabunFile otherFont = sabun;
  otherFont.fontName = "SampleGothic ProN M";
  expectCode(1, oldFont, testfont::BuildSabun(otherFont));
  testfont::SabunFile carriedLonger = sabun;
  size_t carried = 0;
  for (testfont::SabunRecord& record : carriedLonger.records) {
    if (!record.hasBlock) record.newLength += 4, ++carried;
  }
  ASSERT_GT(carried, 0u);
  expectCode(1, oldFont, testfont::BuildSabun(carriedLonger));
  // A table placed past the new file's end, a new file too short for its directory.
  testfont::SabunFile outside = sabun;
  outside.records[1].newOffset = outside.newFileLength - 4;
  expectCode(1, oldFont, testfont::BuildSabun(outside));
  testfont::SabunFile tiny = sabun;
  tiny.newFileLength = 40;
  expectCode(1, oldFont, testfont::BuildSabun(tiny));
  testfont::SabunFile huge = sabun;
  huge.newFileLength = 0xFFFFFFFF;
  expectCode(1, oldFont, testfont::BuildSabun(huge));
  // No head table in either font: 9.
  std::vector<testfont::Table> headless = {oldTables[0], oldTables[1], oldTables[3], oldTables[4]};
  std::vector<testfont::Table> headlessNew = {newTables[0], newTables[1], newTables[3], newTables[4]};
  expectCode(9, testfont::BuildFont(headless),
             testfont::BuildSabun(testfont::DiffTables(headless, headlessNew, kFontName, 0)));
  // A head table too short to hold checkSumAdjustment.
  std::vector<testfont::Table> shortHead = oldTables;
  shortHead[2].bytes.resize(10);
  std::vector<testfont::Table> shortHeadNew = newTables;
  shortHeadNew[2].bytes.resize(10);
  expectCode(1, testfont::BuildFont(shortHead),
             testfont::BuildSabun(testfont::DiffTables(shortHead, shortHeadNew, kFontName, 0)));
  // No target entry for the font.
  files = FakeFileSystem();
  Install();
  target.found = false;
  EXPECT_EQ(7, Update());
  ExpectOnly(oldFont);
}

TEST_F(EngineUpdateTest, RandomDamageNeverLeavesAnythingButOldOrNew) {
  std::mt19937 random(2024);
  for (int round = 0; round < 300; ++round) {
    files = FakeFileSystem();
    Install();
    Bytes& target_ = round % 2 == 0 ? files.files[path] : diff;
    int flips = 1 + static_cast<int>(random() % 8);
    for (int k = 0; k < flips; ++k) target_[random() % target_.size()] = static_cast<uint8_t>(random());
    if (round % 2 == 1) {
      resources = platform::MemoryResources();
      resources.Add("FONT_PA", kDiffId, diff);
    }
    Bytes before = files.files[path];
    progress = Progress();
    int32_t result = Update();
    ASSERT_EQ(1u, files.files.size());
    if (result == 0) {
      // Whatever was written verifies as a font whose words sum right.
      EXPECT_EQ(0xB1B0AFBAu, SumWordsPadded(files.files[path].data(), files.files[path].size()));
    } else {
      EXPECT_TRUE(files.files[path] == before) << "result " << result;
    }
  }
}

TEST_F(EngineUpdateTest, FontIdentity) {
  COpenTypeManager manager(files, resources, nullptr);
  uint32_t revision = 0;
  char name[kFontNameSize] = {};
  ASSERT_EQ(1, manager.GetFontIdentity(path.c_str(), &revision, name));
  EXPECT_EQ(0x00010000u, revision);
  EXPECT_STREQ(kFontName, name);
  // Tables outside the accepted list do not matter here.
  std::vector<testfont::Table> signed_ = oldTables;
  signed_.push_back({"DSIG", Bytes(8, 1)});
  files.files["b.otf"] = testfont::BuildFont(signed_);
  EXPECT_EQ(1, manager.GetFontIdentity("b.otf", &revision, name));
  // Without head: 0, but the name was found.
  std::vector<testfont::Table> headless = {oldTables[0], oldTables[3]};
  files.files["c.otf"] = testfont::BuildFont(headless);
  std::memset(name, 0, sizeof name);
  EXPECT_EQ(0, manager.GetFontIdentity("c.otf", &revision, name));
  EXPECT_STREQ(kFontName, name);
  EXPECT_EQ(0, manager.GetFontIdentity("missing.otf", &revision, name));
  for (size_t cut : {size_t{0}, size_t{3}, size_t{20}, oldFont.size() - 60}) {
    files.files["d.otf"] = Bytes(oldFont.begin(), oldFont.begin() + static_cast<long>(cut));
    EXPECT_EQ(0, manager.GetFontIdentity("d.otf", &revision, name)) << cut;
  }
}

// RebuildFont alone, to look at the finished image.
class EngineAssemblyTest : public EngineUpdateTest {
 protected:
  Bytes Rebuild(const Bytes& font, const testfont::SabunFile& sabun, int32_t* result) {
    files.files[path] = font;
    resources = platform::MemoryResources();
    resources.Add("FONT_PA", kDiffId, testfont::BuildSabun(sabun));
    COpenTypeManager manager(files, resources, nullptr);
    *result = manager.ReadFont(path.c_str(), nullptr, nullptr, 1, 0);
    if (*result == 0) *result = manager.TakeLicenseTexts();
    if (*result == 0) *result = manager.RebuildFont(path.c_str(), kDiffId, nullptr, nullptr, 1, 0);
    if (*result != 0) return Bytes();
    return Bytes(manager.NewImage(), manager.NewImage() + manager.NewImageSize());
  }
};

TEST_F(EngineAssemblyTest, ChecksumAdjustmentAndDirectoryPlacement) {
  testfont::SabunFile sabun = testfont::DiffTables(oldTables, newTables, kFontName, 0x00010000);
  // Stored order differs from directory order: index 3 still lands at 60.
  std::swap(sabun.records[0], sabun.records[3]);
  Bytes font = oldFont;
  font[11] = 0x7B;  // rangeShift that does not match numTables
  int32_t result = -1;
  Bytes image = Rebuild(font, sabun, &result);
  ASSERT_EQ(0, result);
  EXPECT_EQ(0, std::memcmp(image.data() + 60, "name", 4));
  EXPECT_EQ(0x7B, image[11]);
  const uint32_t headOffset = testfont::ReadU32(image, 12 + 16 * 2 + 8);
  const uint32_t adjustment = testfont::ReadU32(image, headOffset + 8);
  EXPECT_EQ(0xB1B0AFBAu, SumWordsPadded(image.data(), image.size()));
  Bytes zeroed = image;
  testfont::WriteU32(&zeroed, headOffset + 8, 0);
  EXPECT_EQ(testfont::ReadU32(image, 12 + 16 * 2 + 4), CalcTableChecksum(zeroed.data() + headOffset, 54));
  const uint32_t sumWithoutAdjustment = SumWordsPadded(zeroed.data(), zeroed.size());
  EXPECT_EQ(0xB1B0AFBAu - sumWithoutAdjustment, adjustment);

  // Steer the image's word sum (adjustment 0) to 0x12345678 through a byte
  // of the post table, which counts twice (table and its checksum), and
  // the installed rangeShift, which counts once.
  uint32_t gap = 0x12345678u - sumWithoutAdjustment;
  font[11] = static_cast<uint8_t>(font[11] + (gap & 1));
  uint32_t half = (gap - (gap & 1)) / 2;
  Bytes postBytes = newTables[4].bytes;
  testfont::WriteU32(&postBytes, 4, testfont::ReadU32(postBytes, 4) + half);
  testfont::SabunRecord& post = sabun.records[4];
  ASSERT_EQ("post", post.tag);
  post.hasBlock = true;
  post.copies.clear();
  post.inserts = {{0, postBytes}};
  image = Rebuild(font, sabun, &result);
  ASSERT_EQ(0, result);
  EXPECT_EQ(0x9F7C5942u, testfont::ReadU32(image, headOffset + 8));
}

// A revision whose CFF table is rebuilt from runs of a few bytes each, as a
// compiler that renumbers subroutines makes them, gives the new font byte
// for byte however the block lists its runs: taking turns in table order,
// each list shuffled, or with runs that later runs write over, and with runs
// of no bytes among them. The padding of the installed tables it rebuilds
// is not zero; the new font's is. (A table carried over keeps its installed
// padding in its checksum.)
TEST_F(EngineAssemblyTest, RunsOfAFewBytesInAnyOrderGiveTheNewFont) {
  std::mt19937 random(77);
  std::vector<testfont::Table> before = oldTables;
  std::vector<testfont::Table> after = newTables;
  Bytes& oldCff = before[1].bytes;
  oldCff.resize(4001);
  for (auto& b : oldCff) b = static_cast<uint8_t>(random());
  // The new table: old pieces of 5 to 60 bytes, each followed by 1 to 6 new
  // bytes, the last piece ending where the table does.
  std::vector<testfont::CopyRun> copies;
  std::vector<testfont::InsertRun> inserts;
  Bytes& newCff = after[1].bytes;
  newCff.clear();
  while (newCff.size() < 4500) {
    const int32_t n = 5 + static_cast<int32_t>(random() % 56);
    const int32_t from = static_cast<int32_t>(random() % (oldCff.size() - static_cast<size_t>(n)));
    copies.push_back({from, n, static_cast<int32_t>(newCff.size())});
    newCff.insert(newCff.end(), oldCff.begin() + from, oldCff.begin() + from + n);
    Bytes literal(1 + random() % 6);
    for (auto& b : literal) b = static_cast<uint8_t>(random());
    inserts.push_back({static_cast<int32_t>(newCff.size()), literal});
    newCff.insert(newCff.end(), literal.begin(), literal.end());
  }
  newCff.resize(newCff.size() + 3);  // odd length: three bytes of padding
  copies.push_back({static_cast<int32_t>(oldCff.size()) - 3, 3, static_cast<int32_t>(newCff.size()) - 3});
  std::copy(oldCff.end() - 3, oldCff.end(), newCff.end() - 3);

  Bytes font = testfont::BuildFont(before);
  // Padding bytes of every rebuilt installed table that has any.
  const Bytes plain = font;
  for (size_t k = 0; k < before.size(); ++k) {
    if (before[k].bytes == after[k].bytes) continue;
    const uint32_t offset = testfont::ReadU32(font, 12 + 16 * k + 8);
    const uint32_t length = testfont::ReadU32(font, 12 + 16 * k + 12);
    for (uint32_t b = length; b % 4 != 0; ++b) font[offset + b] = 0x5A;
  }
  ASSERT_NE(plain, font);
  const Bytes expected = testfont::BuildFont(after);
  testfont::SabunFile sabun = testfont::DiffTables(before, after, kFontName, 0x00010000);
  ASSERT_EQ("CFF ", sabun.records[1].tag);

  enum Listing { kTakingTurns, kShuffled, kWrittenOver, kEmptyRuns };
  for (Listing listing : {kTakingTurns, kShuffled, kWrittenOver, kEmptyRuns}) {
    SCOPED_TRACE(listing);
    testfont::SabunRecord& cff = sabun.records[1];
    cff.copies = copies;
    cff.inserts = inserts;
    if (listing == kShuffled) {
      std::shuffle(cff.copies.begin(), cff.copies.end(), random);
      std::shuffle(cff.inserts.begin(), cff.inserts.end(), random);
    }
    if (listing == kWrittenOver) {
      // Copy runs over the places of insert runs, which come after them.
      for (const auto& run : inserts) {
        cff.copies.push_back({0, static_cast<int32_t>(run.bytes.size()), run.destination});
      }
      std::shuffle(cff.copies.begin(), cff.copies.end(), random);
    }
    if (listing == kEmptyRuns) {
      for (size_t k = 0; k < cff.copies.size(); k += 7) cff.copies.insert(cff.copies.begin() + k, {0, 0, 0});
      cff.inserts.push_back({static_cast<int32_t>(newCff.size()), {}});
    }
    int32_t result = -1;
    EXPECT_TRUE(Rebuild(font, sabun, &result) == expected);
    EXPECT_EQ(0, result);
  }
}

TEST_F(EngineAssemblyTest, LicenceTextsGoIntoEveryNameId13Record) {
  std::vector<testfont::NameRecord> records = testfont::StandardNameRecords(kFontName, "", "");
  records.push_back({1, 0, 0, 13, Bytes(20, 'm')});             // both Macintosh records
  records.push_back({1, 0, 0, 13, Bytes(5, 'm')});              // get the Macintosh text
  records.push_back({3, 1, 0x409, 13, Bytes(24, 'w')});         // longer than the installed text
  records.push_back({3, 1, 0x411, 13, Bytes(10, 'j')});         // shorter; another language
  records.push_back({0, 3, 0, 13, Bytes(6, 'u')});              // Unicode platform
  std::vector<testfont::Table> tables = newTables;
  tables[3].bytes = testfont::NameTable(records);
  int32_t result = -1;
  Bytes image = Rebuild(oldFont, testfont::DiffTables(oldTables, tables, kFontName, 0x00010000), &result);
  ASSERT_EQ(0, result);
  const uint32_t nameOffset = testfont::ReadU32(image, 12 + 16 * 3 + 8);
  const uint32_t nameLength = testfont::ReadU32(image, 12 + 16 * 3 + 12);
  Bytes table(image.begin() + nameOffset, image.begin() + nameOffset + nameLength);
  auto text = [&](size_t r) {
    size_t at = 6 + 12 * r;
    size_t length = (table[at + 8] << 8) | table[at + 9];
    size_t offset = ((table[4] << 8) | table[5]) + ((table[at + 10] << 8) | table[at + 11]);
    return Bytes(table.begin() + static_cast<long>(offset), table.begin() + static_cast<long>(offset + length));
  };
  const Bytes mac = testfont::Text("Mac licence text");  // 16 bytes
  const Bytes win = testfont::Utf16Be("Windows licence");  // 30 bytes
  Bytes mac20 = mac;
  mac20.resize(20, 0);
  EXPECT_EQ(mac20, text(6));
  EXPECT_EQ(Bytes(mac.begin(), mac.begin() + 5), text(7));
  EXPECT_EQ(Bytes(win.begin(), win.begin() + 24), text(8));
  EXPECT_EQ(Bytes(win.begin(), win.begin() + 10), text(9));
  EXPECT_EQ(Bytes(win.begin(), win.begin() + 6), text(10));
  EXPECT_EQ(testfont::ReadU32(image, 12 + 16 * 3 + 4), CalcTableChecksum(image.data() + nameOffset, nameLength));

  // A name table with no records still gets its checksum; a record longer
  // than the 255 bytes carried ends the update.
  tables[3].bytes = testfont::NameTable({});
  image = Rebuild(oldFont, testfont::DiffTables(oldTables, tables, kFontName, 0x00010000), &result);
  ASSERT_EQ(0, result);
  EXPECT_EQ(testfont::ReadU32(image, 12 + 16 * 3 + 4), CalcTableChecksum(image.data() + testfont::ReadU32(image, 12 + 16 * 3 + 8), 6));
  tables[3].bytes = testfont::NameTable({{3, 1, 0x409, 13, Bytes(256, 'w')}});
  Rebuild(oldFont, testfont::DiffTables(oldTables, tables, kFontName, 0x00010000), &result);
  EXPECT_EQ(1, result);
}

}  // namespace
