// otpa info as a maker reads it: difference files that otpa make writes for
// pairs built here, the new revision as the head table's block builds it,
// updater programs laid out here (the Windows program's PE resources, the
// POSIX program's embedded package), whole and damaged, and this test
// program itself, which carries the test package as a POSIX updater does.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "engine/sabun_data.h"
#include "engine/sabun_format.h"
#include "platform/posix/embedded_resources.h"
#include "platform/resources.h"
#include "tests/font_builder.h"
#include "tests/maker_font_edits.h"
#include "text/revision.h"
#include "tools/otpa/difference_summary.h"
#include "tools/otpa/info_describe.h"
#include "tools/otpa/info_report.h"
#include "tools/otpa/make_font.h"
#include "tools/otpa/make_sabun.h"

namespace {

using testfont::Bytes;
using testfont::Table;
using Lines = std::vector<std::string>;

constexpr char kFullName[] = "SampleMincho ProN R";
constexpr uint32_t kOldRevision = 0x00010042;  // 1.001
constexpr uint32_t kNewRevision = 0x00010083;  // 1.002
// 2024-05-01 12:00:00 UTC, in seconds since 1904.
constexpr uint64_t kNewDate = 3797409600;

Lines SplitLines(const std::string& text) {
  Lines lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

Lines Indented(const Lines& lines) {
  Lines out;
  for (const std::string& line : lines) out.push_back("  " + line);
  return out;
}

Lines Joined(std::initializer_list<Lines> parts) {
  Lines all;
  for (const Lines& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

struct Described {
  bool ok = false;
  std::string out;
  std::string reason;
};

Described Describe(const Bytes& file, bool json = false) {
  Described described;
  described.ok = DescribeFile(file, json, &described.out, &described.reason);
  return described;
}

// The reason `file` is refused for; the test fails when it is described or
// the reason is not one line.
std::string Refusal(const Bytes& file) {
  const Described described = Describe(file);
  EXPECT_FALSE(described.ok) << described.out;
  EXPECT_TRUE(described.out.empty());
  EXPECT_FALSE(described.reason.empty());
  EXPECT_EQ(std::string::npos, described.reason.find('\n')) << described.reason;
  return described.reason;
}

Bytes Make(const Bytes& oldFont, const Bytes& newFont) {
  maker::FontFile oldFile, newFile;
  Bytes made;
  std::string refusal, note;
  EXPECT_TRUE(maker::ReadFontFile("old", oldFont, &oldFile, &refusal) &&
              maker::ReadFontFile("new", newFont, &newFile, &refusal) &&
              maker::MakeSabunFile(oldFile, newFile, &made, &refusal, &note))
      << refusal;
  return made;
}

Table* FindTable(std::vector<Table>* tables, const std::string& tag) {
  for (Table& table : *tables) {
    if (table.tag == tag) return &table;
  }
  return nullptr;
}

// The maker's old font, 1.001, and its revision 1.002 of 2024-05-01 with one
// CFF byte changed.
class RevisedPair : public ::testing::Test {
 protected:
  RevisedPair() {
    newTables_ = oldTables_;
    Bytes& head = FindTable(&newTables_, "head")->bytes;
    head = testfont::HeadTable(kNewRevision, 9);
    for (int k = 0; k < 8; ++k) head[28 + k] = static_cast<uint8_t>(kNewDate >> (56 - 8 * k));
    FindTable(&newTables_, "CFF ")->bytes[350] ^= 0xFF;
  }

  const std::vector<Table> oldTables_ = testfont::SampleTables(kOldRevision, kFullName, 1, 400);
  const Bytes oldFont_ = testfont::BuildFont(oldTables_);
  std::vector<Table> newTables_;
};

TEST_F(RevisedPair, DifferenceFileTellsTheFontItsRevisionsDateAndEachTable) {
  const Bytes newFont = testfont::BuildFont(newTables_);
  const Described described = Describe(Make(oldFont_, newFont));
  ASSERT_TRUE(described.ok) << described.reason;
  EXPECT_EQ(SplitLines(described.out), (Lines{
      "difference file, classic format",
      "font: SampleMincho ProN R",
      "revision: 1.001 \u2192 1.002",
      "new file length: " + CountText(newFont.size()) + " bytes",
      "date: 2024-05-01 12:00:00 UTC",
      "tables: 5",
      "  BASE  kept, 9 bytes",
      "  CFF   rebuilt, 400 bytes: 399 copied (2 runs), 1 inserted (1 run)",
      "  head  rebuilt, 54 bytes: 18 copied (1 run), 36 inserted (1 run)",
      "  name  kept, 252 bytes",
      "  post  kept, 32 bytes",
  }));
}

TEST_F(RevisedPair, ExtendedFileTellsTheNameItKnowsTheFontByAndTablesAddedAndDropped) {
  // post gives way to vhea: a pair only the extended format expresses.
  FindTable(&newTables_, "post")->tag = "vhea";
  const Bytes newFont = testfont::BuildFont(newTables_);
  const Described described = Describe(Make(oldFont_, newFont));
  ASSERT_TRUE(described.ok) << described.reason;
  EXPECT_EQ(SplitLines(described.out), (Lines{
      "difference file, extended format",
      "font: SampleMincho ProN R (name ID 4)",
      "sfnt version: OTTO \u2192 OTTO",
      "revision: 1.001 \u2192 1.002",
      "new file length: " + CountText(newFont.size()) + " bytes",
      "date: 2024-05-01 12:00:00 UTC",
      "tables: 5 (the installed font has 5)",
      "  BASE  kept, 9 bytes",
      "  CFF   rebuilt, 400 bytes: 399 copied (2 runs), 1 inserted (1 run)",
      "  head  rebuilt, 54 bytes: 18 copied (1 run), 36 inserted (1 run)",
      "  name  kept, 252 bytes",
      "  vhea  new, 32 bytes: 32 inserted (1 run)",
      "  dropped: 1 table of the installed font, which the file does not name",
  }));
}

TEST_F(RevisedPair, JsonKeepsTheFieldsScriptsReadAndAddsTheReadableOnes) {
  const Bytes newFont = testfont::BuildFont(newTables_);
  const Described difference = Describe(Make(oldFont_, newFont), true);
  ASSERT_TRUE(difference.ok) << difference.reason;
  for (const char* field :
       {"{\"kind\":\"difference\",\"fontName\":\"SampleMincho ProN R\",\"expectedRevision\":\"0x00010042\",",
        "\"oldRevision\":\"1.001\",\"newFontRevision\":\"0x00010083\",\"newRevision\":\"1.002\",",
        "\"tableCount\":5,\"date\":3797409600,\"dateText\":\"2024-05-01 12:00:00 UTC\",\"records\":[{\"tag\":\"BASE\","
        "\"change\":\"kept\",\"newIndex\":0,\"order\":0,\"blockOffset\":0,\"newLength\":9,",
        "\"copyRuns\":2,\"copiedBytes\":399,\"insertRuns\":1,\"insertedBytes\":1}"}) {
    EXPECT_NE(std::string::npos, difference.out.find(field)) << field << " in " << difference.out;
  }
  const Described font = Describe(newFont, true);
  ASSERT_TRUE(font.ok) << font.reason;
  EXPECT_NE(std::string::npos, font.out.find("\"fontRevision\":\"0x00010083\",\"revision\":\"1.002\","
                                             "\"modified\":3797409600,\"modifiedText\":\"2024-05-01 12:00:00 UTC\"}\n"))
      << font.out;
  EXPECT_NE(std::string::npos, font.out.find("{\"kind\":\"font\",\"sfntVersion\":\"0x4F54544F\",\"numTables\":5,"))
      << font.out;
}

TEST_F(RevisedPair, FontTellsItsRevisionAndModifiedDate) {
  const Described described = Describe(testfont::BuildFont(newTables_));
  ASSERT_TRUE(described.ok) << described.reason;
  const Lines lines = SplitLines(described.out);
  ASSERT_GE(lines.size(), 6u);
  EXPECT_EQ(Lines(lines.begin() + 1, lines.begin() + 5), (Lines{
      "font name: SampleMincho ProN R",
      "full name: SampleMincho ProN R",
      "revision: 1.002 (0x00010083)",
      "modified: 2024-05-01 12:00:00 UTC",
  }));
}

// A head table's block as the updater would rebuild it, and the revision
// otpa info reads from it.
struct HeadCase {
  const char* what;
  std::vector<testfont::CopyRun> copies;
  std::vector<testfont::InsertRun> inserts;
  bool known;
  uint32_t revision;
};

TEST(NewFontRevision, ComesFromTheBytesTheHeadBlockWritesAtFourToSeven) {
  const Bytes literal = {0x00, 0x01, 0x00, 0x83};
  const std::vector<HeadCase> cases = {
      {"inserted", {{0, 4, 0}, {8, 46, 8}}, {{4, literal}}, true, kNewRevision},
      {"copied from the same place", {{0, 54, 0}}, {}, true, kOldRevision},
      {"copied from elsewhere", {{0, 4, 4}, {8, 46, 8}}, {{0, Bytes(4, 1)}}, false, 0},
      {"half copied, half inserted", {{0, 6, 0}, {8, 46, 8}}, {{6, {0x00, 0x99}}}, true, 0x00010099},
      {"an insert over a copy", {{0, 54, 0}}, {{7, {0x77}}}, true, 0x00010077},
      {"written by no run", {{0, 4, 0}, {8, 46, 8}}, {}, true, 0},
  };
  for (const HeadCase& c : cases) {
    testfont::SabunFile file;
    file.fontName = kFullName;
    file.expectedRevision = kOldRevision;
    file.newFileLength = 12 + 16 + 56;
    testfont::SabunRecord head;
    head.tag = "head";
    head.hasBlock = true;
    head.newLength = 54;
    head.newOffset = 28;
    head.copies = c.copies;
    head.inserts = c.inserts;
    file.records = {head};
    platform::MemoryResources resources;
    resources.Add(sabun::kResourceType, 1, testfont::BuildSabun(file));
    CMakeSabunData data(resources);
    ASSERT_EQ(1, data.LoadSabunData(1)) << c.what;
    uint32_t revision = 0;
    EXPECT_EQ(c.known, data.NewFontRevision(&revision)) << c.what;
    if (c.known) {
      EXPECT_EQ(c.revision, revision) << c.what;
    }
  }

  // Carried over unchanged, the head keeps the installed revision; without a
  // head record there is none to tell.
  testfont::SabunFile kept;
  kept.fontName = kFullName;
  kept.expectedRevision = kOldRevision;
  kept.records = {testfont::SabunRecord{"head", 0, 0, false, 54, 28, {}, {}}};
  testfont::SabunFile headless = kept;
  headless.records[0].tag = "post";
  for (const auto& [file, known] : {std::make_pair(kept, true), std::make_pair(headless, false)}) {
    platform::MemoryResources resources;
    resources.Add(sabun::kResourceType, 1, testfont::BuildSabun(file));
    CMakeSabunData data(resources);
    ASSERT_EQ(1, data.LoadSabunData(1));
    uint32_t revision = 0;
    EXPECT_EQ(known, data.NewFontRevision(&revision)) << file.records[0].tag;
    if (known) {
      EXPECT_EQ(kOldRevision, revision);
    }
  }
}

TEST(InfoText, DatesAndRevisionsAsAMakerReadsThem) {
  const auto date = [](uint64_t seconds) {
    uint8_t bytes[8];
    for (int k = 0; k < 8; ++k) bytes[k] = static_cast<uint8_t>(seconds >> (56 - 8 * k));
    return DateText(bytes);
  };
  EXPECT_EQ("1904-01-01 00:00:00 UTC", date(0));
  EXPECT_EQ("2024-05-01 12:00:00 UTC", date(kNewDate));
  EXPECT_EQ("2000-02-29 23:59:59 UTC", date(3034713599));
  EXPECT_EQ("2100-03-01 00:00:00 UTC", date(6190387200));
  // Signed: dates before 1904.
  EXPECT_EQ("1903-12-31 23:59:59 UTC", date(static_cast<uint64_t>(-1)));
  EXPECT_EQ("1600-02-29 06:07:08 UTC", date(static_cast<uint64_t>(int64_t{-9588131572})));

  EXPECT_EQ("1.002", text::RevisionText(kNewRevision));
  EXPECT_EQ("1.001", text::RevisionText(kOldRevision));
  EXPECT_EQ("1.000", text::RevisionText(0x00010000));
  EXPECT_EQ("2.500", text::RevisionText(0x00028000));
  EXPECT_EQ("12,345,678", CountText(12345678));
  EXPECT_EQ("999", CountText(999));
}

// The package both updaters below carry: a configuration that names two
// difference files of the pair above, classic and extended, and a third
// resource that it does not name.
struct Package {
  std::string configuration;  // the program's encoding
  Bytes classic;
  Bytes extended;
};

std::string Configuration(const std::string& title) {
  return "[UPDATE_FONT]\r\nMAXNUM=2\r\nFONT_PAFILE1=SampleMinchoProN-R_1.pa\r\nFONT_RESNUM1=2001\r\n"
         "FONT_PAFILE2=SampleMinchoProN-R_2.pa\r\nFONT_RESNUM2=2002\r\n[UPDATE_STARTDLG_STRING]\r\n"
         "MAIN_TEXTTITLE=" + title;
}

// "タブレロンソフト" ("ソ" ends in "\"), then a byte that is no character.
const std::string kShiftJisTitle = "\x83\x5e\x83\x75\x83\x8c\x83\x8d\x83\x93\x83\x5c\x83\x74\x83\x67\xff";
const std::string kUtf8Title = "タブレロンソフト\xff";

struct Resource {
  std::string type;  // "#16": a type named by number
  uint16_t id;
  Bytes data;
};

std::vector<Resource> PackageResources(const Package& package) {
  return {
      {"INIFILE", 2000, Bytes(package.configuration.begin(), package.configuration.end())},
      {"FONT_PA", 2001, package.classic},
      {"FONT_PA", 2002, package.extended},
      {"FONT_PA", 2005, package.classic},
  };
}

// What otpa info must say of an updater that carries the package: its own
// configuration, then each difference file as otpa info tells it alone.
Lines ExpectedUpdater(const std::string& program, const std::string& encoding, const Package& package) {
  // Its lines without their CR, which the configuration stores.
  Lines configuration = Indented(SplitLines(Configuration("タブレロンソフト\uFFFD")));
  for (std::string& line : configuration) {
    if (line.back() == '\r') line.pop_back();
  }
  return Joined({
      {"updater: " + program,
       "configuration (INIFILE 2000, " + encoding + ", " + CountText(package.configuration.size()) + " bytes):"},
      configuration,
      {"difference files: 2",
       "FONT_PAFILE1=SampleMinchoProN-R_1.pa: FONT_PA 2001, " + CountText(package.classic.size()) +
           " bytes, revises SampleMinchoProN-R.otf"},
      Indented(SplitLines(Describe(package.classic).out)),
      {"FONT_PAFILE2=SampleMinchoProN-R_2.pa: FONT_PA 2002, " + CountText(package.extended.size()) +
           " bytes, revises SampleMinchoProN-R.otf"},
      Indented(SplitLines(Describe(package.extended).out)),
      {"FONT_PA 2005 (" + CountText(package.classic.size()) +
       " bytes): carried, but no FONT_PAFILE the updater reads names it"},
  });
}

void PutLe(Bytes* bytes, size_t at, uint32_t value, size_t size) {
  if (bytes->size() < at + size) bytes->resize(at + size);
  for (size_t k = 0; k < size; ++k) (*bytes)[at + k] = static_cast<uint8_t>(value >> (8 * k));
}

uint32_t GetLe32(const Bytes& bytes, size_t at) {
  return uint32_t{bytes[at]} | uint32_t{bytes[at + 1]} << 8 | uint32_t{bytes[at + 2]} << 16 |
         uint32_t{bytes[at + 3]} << 24;
}

// A Windows program of headers and a resource section laid out as the
// resource compiler does: the root directory, a directory per type (named
// types first), one per resource with its one language, the data entries,
// the type names, then the data in the order given, to the file's end.
struct WindowsProgram {
  Bytes bytes;
  size_t optional = 0;           // the optional header
  size_t directoryCount = 0;     // its NumberOfRvaAndSizes
  size_t resourceDirectory = 0;  // its data directory 2
  size_t section = 0;            // the section header
  size_t tree = 0;               // the resource section in the file
  // File offsets: "type T" (root entry), "name T" (type name), "id T N"
  // (entry in the type's directory), "data T N" (data entry).
  std::map<std::string, size_t> at;
};

constexpr uint32_t kSectionAddress = 0x1000;
constexpr size_t kSectionInFile = 0x200;

// The package's resources after one of a type named by number, as the
// program's icons, dialogs and version are.
WindowsProgram BuildWindowsProgram(const std::vector<Resource>& package, bool pe32Plus = false) {
  std::vector<Resource> resources = {{"#16", 1, Bytes(40, 0x16)}};
  resources.insert(resources.end(), package.begin(), package.end());
  WindowsProgram program;
  Bytes& file = program.bytes;
  file.assign(kSectionInFile, 0);
  file[0] = 'M';
  file[1] = 'Z';
  PutLe(&file, 0x3C, 0x40, 4);
  std::memcpy(&file[0x40], "PE\0\0", 4);
  PutLe(&file, 0x44, pe32Plus ? 0x8664 : 0x14C, 2);
  PutLe(&file, 0x46, 1, 2);
  const uint32_t optionalSize = pe32Plus ? 240 : 224;
  PutLe(&file, 0x54, optionalSize, 2);
  program.optional = 0x58;
  PutLe(&file, program.optional, pe32Plus ? 0x20B : 0x10B, 2);
  program.directoryCount = program.optional + (pe32Plus ? 108 : 92);
  PutLe(&file, program.directoryCount, 16, 4);
  program.resourceDirectory = program.directoryCount + 4 + 8 * 2;
  program.section = program.optional + optionalSize;
  program.tree = kSectionInFile;

  std::vector<std::string> types;
  for (const Resource& resource : resources) {
    if (std::find(types.begin(), types.end(), resource.type) == types.end()) types.push_back(resource.type);
  }
  std::stable_partition(types.begin(), types.end(), [](const std::string& type) { return type[0] != '#'; });
  const auto named = [](const std::string& type) { return type[0] != '#'; };
  size_t at = 16 + 8 * types.size();
  std::map<std::string, size_t> typeDirectory, typeName;
  for (const std::string& type : types) {
    typeDirectory[type] = at;
    at += 16 + 8 * std::count_if(resources.begin(), resources.end(), [&](const Resource& r) { return r.type == type; });
  }
  std::vector<size_t> languageDirectory, dataEntry, data;
  for (size_t k = 0; k < resources.size(); ++k, at += 24) languageDirectory.push_back(at);
  for (size_t k = 0; k < resources.size(); ++k, at += 16) dataEntry.push_back(at);
  for (const std::string& type : types) {
    if (!named(type)) continue;
    typeName[type] = at;
    at += 2 + 2 * type.size();
  }
  for (const Resource& resource : resources) {
    data.push_back(at);
    at += resource.data.size();
  }
  const size_t sectionSize = at;
  Bytes tree(sectionSize);
  const size_t namedCount = static_cast<size_t>(std::count_if(types.begin(), types.end(), named));
  PutLe(&tree, 12, static_cast<uint32_t>(namedCount), 2);
  PutLe(&tree, 14, static_cast<uint32_t>(types.size() - namedCount), 2);
  for (size_t t = 0; t < types.size(); ++t) {
    const std::string& type = types[t];
    const size_t entry = 16 + 8 * t;
    program.at["type " + type] = program.tree + entry;
    PutLe(&tree, entry, named(type) ? 0x80000000u | static_cast<uint32_t>(typeName[type])
                                    : static_cast<uint32_t>(std::stoul(type.substr(1))), 4);
    PutLe(&tree, entry + 4, 0x80000000u | static_cast<uint32_t>(typeDirectory[type]), 4);
    if (named(type)) {
      program.at["name " + type] = program.tree + typeName[type];
      PutLe(&tree, typeName[type], static_cast<uint32_t>(type.size()), 2);
      for (size_t c = 0; c < type.size(); ++c) PutLe(&tree, typeName[type] + 2 + 2 * c, uint8_t(type[c]), 2);
    }
    size_t idEntry = typeDirectory[type] + 16;
    for (size_t k = 0; k < resources.size(); ++k) {
      if (resources[k].type != type) continue;
      const std::string which = type + " " + std::to_string(resources[k].id);
      program.at["id " + which] = program.tree + idEntry;
      program.at["data " + which] = program.tree + dataEntry[k];
      PutLe(&tree, idEntry, resources[k].id, 4);
      PutLe(&tree, idEntry + 4, 0x80000000u | static_cast<uint32_t>(languageDirectory[k]), 4);
      idEntry += 8;
      PutLe(&tree, typeDirectory[type] + 14,
            static_cast<uint32_t>((idEntry - typeDirectory[type] - 16) / 8), 2);
      PutLe(&tree, languageDirectory[k] + 14, 1, 2);
      PutLe(&tree, languageDirectory[k] + 16, 0x411, 4);
      PutLe(&tree, languageDirectory[k] + 20, static_cast<uint32_t>(dataEntry[k]), 4);
      PutLe(&tree, dataEntry[k], kSectionAddress + static_cast<uint32_t>(data[k]), 4);
      PutLe(&tree, dataEntry[k] + 4, static_cast<uint32_t>(resources[k].data.size()), 4);
      std::copy(resources[k].data.begin(), resources[k].data.end(), tree.begin() + static_cast<ptrdiff_t>(data[k]));
    }
  }
  file.insert(file.end(), tree.begin(), tree.end());
  std::memcpy(&file[program.section], ".rsrc", 5);
  PutLe(&file, program.section + 8, static_cast<uint32_t>(sectionSize), 4);
  PutLe(&file, program.section + 12, kSectionAddress, 4);
  PutLe(&file, program.section + 16, static_cast<uint32_t>(sectionSize), 4);
  PutLe(&file, program.section + 20, static_cast<uint32_t>(kSectionInFile), 4);
  PutLe(&file, program.resourceDirectory, kSectionAddress, 4);
  PutLe(&file, program.resourceDirectory + 4, static_cast<uint32_t>(sectionSize), 4);
  return program;
}

// A POSIX program's bytes: an ELF header's magic, other bytes, the package
// as resources/package.py lays it out (platform/posix/embedded_resources.h),
// more bytes; `package` is where it starts.
struct PosixProgram {
  Bytes bytes;
  size_t package = 0;
  size_t packageEnd = 0;
};

PosixProgram BuildPosixProgram(const std::vector<Resource>& resources) {
  namespace layout = platform::embedded_package;
  PosixProgram program;
  program.bytes = {0x7F, 'E', 'L', 'F'};
  program.bytes.resize(100, 0xCC);
  program.package = program.bytes.size();
  Bytes index, data;
  size_t start = layout::kHeaderSize + layout::kEntrySize * resources.size();
  for (const Resource& resource : resources) {
    const size_t entry = index.size();
    index.resize(entry + layout::kEntrySize);
    std::copy(resource.type.begin(), resource.type.end(), index.begin() + static_cast<ptrdiff_t>(entry));
    testfont::WriteU32(&index, entry + layout::kEntryStartOffset, static_cast<uint32_t>(start));
    testfont::WriteU32(&index, entry + layout::kEntryLengthOffset, static_cast<uint32_t>(resource.data.size()));
    index[entry + layout::kEntryIdOffset] = static_cast<uint8_t>(resource.id >> 8);
    index[entry + layout::kEntryIdOffset + 1] = static_cast<uint8_t>(resource.id);
    data.insert(data.end(), resource.data.begin(), resource.data.end());
    start += resource.data.size();
  }
  Bytes& file = program.bytes;
  file.insert(file.end(), std::begin(layout::kMagic), std::end(layout::kMagic));
  file.resize(file.size() + 6);
  testfont::WriteU32(&file, program.package + layout::kPackageSizeOffset, static_cast<uint32_t>(start));
  file[program.package + layout::kResourceCountOffset + 1] = static_cast<uint8_t>(resources.size());
  file.insert(file.end(), index.begin(), index.end());
  file.insert(file.end(), data.begin(), data.end());
  program.packageEnd = file.size();
  file.resize(file.size() + 16, 0xCC);
  return program;
}

class Updaters : public RevisedPair {
 protected:
  Package PackageIn(const std::string& title) {
    Package package;
    package.configuration = Configuration(title);
    package.classic = Make(oldFont_, testfont::BuildFont(newTables_));
    std::vector<Table> replaced = newTables_;
    FindTable(&replaced, "post")->tag = "vhea";
    package.extended = Make(oldFont_, testfont::BuildFont(replaced));
    return package;
  }
};

TEST_F(Updaters, WindowsProgramListsItsConfigurationAndEachDifferenceFile) {
  const Package package = PackageIn(kShiftJisTitle);
  for (bool pe32Plus : {false, true}) {
    const WindowsProgram program = BuildWindowsProgram(PackageResources(package), pe32Plus);
    const Described described = Describe(program.bytes);
    ASSERT_TRUE(described.ok) << described.reason;
    EXPECT_EQ(SplitLines(described.out),
              ExpectedUpdater(pe32Plus ? "Windows program (PE32+)" : "Windows program (PE32)", "Shift-JIS", package));
  }
  // Each difference file's JSON is the one otpa info gives of the file alone.
  const Described json = Describe(BuildWindowsProgram(PackageResources(package)).bytes, true);
  ASSERT_TRUE(json.ok) << json.reason;
  for (const Bytes* difference : {&package.classic, &package.extended}) {
    std::string alone = Describe(*difference, true).out;
    alone.pop_back();
    EXPECT_NE(std::string::npos, json.out.find("\"difference\":" + alone)) << json.out;
  }
  EXPECT_NE(std::string::npos, json.out.find("\"configuration\":\"[UPDATE_FONT]\\u000d\\u000aMAXNUM=2\\u000d\\u000a")) << json.out;
  EXPECT_NE(std::string::npos, json.out.find("MAIN_TEXTTITLE=タブレロンソフト\uFFFD\"")) << json.out;
  EXPECT_NE(std::string::npos, json.out.find("\"unnamedResources\":[{\"type\":\"FONT_PA\",\"id\":2005,")) << json.out;
}

TEST_F(Updaters, PosixProgramListsItsConfigurationAndEachDifferenceFile) {
  const Package package = PackageIn(kUtf8Title);
  PosixProgram program = BuildPosixProgram(PackageResources(package));
  const Described described = Describe(program.bytes);
  ASSERT_TRUE(described.ok) << described.reason;
  EXPECT_EQ(SplitLines(described.out), ExpectedUpdater("POSIX program", "UTF-8", package));

  // The magic where no package follows it, as in otpa itself, is passed over.
  Bytes decoy(std::begin(platform::embedded_package::kMagic), std::end(platform::embedded_package::kMagic));
  decoy.resize(decoy.size() + 20, 0xFF);
  program.bytes.insert(program.bytes.begin() + 50, decoy.begin(), decoy.end());
  EXPECT_EQ(Describe(program.bytes).out, described.out);
}

TEST_F(Updaters, DamagedWindowsProgramsAreRefusedWithOneLine) {
  const WindowsProgram good = BuildWindowsProgram(PackageResources(PackageIn(kShiftJisTitle)));
  // Cut anywhere, the program loses part of the difference file it ends with.
  for (size_t size = 0; size < good.bytes.size(); ++size) {
    Refusal(Bytes(good.bytes.begin(), good.bytes.begin() + static_cast<ptrdiff_t>(size)));
    ASSERT_FALSE(HasFailure()) << "cut to " << size << " bytes";
  }
  struct Damage {
    size_t at;
    uint32_t value;
    size_t size;
    const char* reason;
  };
  const auto& at = good.at;
  const size_t typeDirectory = good.tree + (GetLe32(good.bytes, at.at("type FONT_PA") + 4) & 0x7FFFFFFF);
  const std::vector<Damage> damages = {
      {0x3C, 0xFFFFFFF0, 4, "a Windows program whose resources cannot be read: no PE signature where its DOS header points"},
      {0x46, 0xFFFF, 2, "a Windows program whose resources cannot be read: its section table runs past the end of the file"},
      {0x54, 0xFFFF, 2, "a Windows program whose resources cannot be read: its PE headers run past the end of the file"},
      {good.optional, 0x107, 2, "a Windows program whose resources cannot be read: its optional header is neither PE32 nor PE32+"},
      {good.directoryCount, 2, 4, "a Windows program whose resources cannot be read: it has no resources"},
      {good.resourceDirectory, 0x9000, 4,
       "a Windows program whose resources cannot be read: its resource directory lies outside the bytes of its sections"},
      {good.section + 20, 0xFFFFF000, 4,
       "a Windows program whose resources cannot be read: its resource directory lies outside the bytes of its sections"},
      {good.tree + 12, 0xFFFF, 2,
       "a Windows program whose resources cannot be read: a resource directory's entries run past the resource section"},
      {at.at("type FONT_PA"), 0xFFFFFF00, 4,
       "a Windows program whose resources cannot be read: a resource type's name lies outside the resource section"},
      {at.at("name FONT_PA"), 0xFFFF, 2,
       "a Windows program whose resources cannot be read: a resource type's name lies outside the resource section"},
      {at.at("type FONT_PA") + 4, 0x00000010, 4,
       "a Windows program whose resources cannot be read: resource type FONT_PA leads to data, not to its resources"},
      {at.at("id FONT_PA 2001") + 4, 0x80000000, 4,
       "a Windows program whose resources cannot be read: the resource tree leads to one directory twice"},
      {at.at("id FONT_PA 2002") + 4, 0x80000000 | static_cast<uint32_t>(typeDirectory - good.tree), 4,
       "a Windows program whose resources cannot be read: the resource tree leads to one directory twice"},
      {at.at("data FONT_PA 2002") + 4, 0x7FFFFFFF, 4,
       "a Windows program whose resources cannot be read: resource FONT_PA 2002 lies outside the bytes of the "
       "program's sections"},
      {at.at("data FONT_PA 2002"), 0xFFFFFF00, 4,
       "a Windows program whose resources cannot be read: resource FONT_PA 2002 lies outside the bytes of the "
       "program's sections"},
      {at.at("name INIFILE") + 14, 'X', 2,
       "a Windows program (PE32) that carries no updater package (no configuration, INIFILE 2000)"},
      {at.at("data FONT_PA 2001") + 4, 60, 4,
       "FONT_PAFILE1=SampleMinchoProN-R_1.pa (FONT_PA 2001): truncated or malformed difference file"},
  };
  for (const Damage& damage : damages) {
    Bytes damaged = good.bytes;
    PutLe(&damaged, damage.at, damage.value, damage.size);
    EXPECT_EQ(damage.reason, Refusal(damaged)) << damage.at;
  }
}

TEST_F(Updaters, DamagedPosixPackagesAreRefusedWithOneLine) {
  namespace layout = platform::embedded_package;
  const PosixProgram good = BuildPosixProgram(PackageResources(PackageIn(kUtf8Title)));
  for (size_t size = 0; size < good.packageEnd; ++size) {
    Refusal(Bytes(good.bytes.begin(), good.bytes.begin() + static_cast<ptrdiff_t>(size)));
    ASSERT_FALSE(HasFailure()) << "cut to " << size << " bytes";
  }
  const auto entry = [&good](size_t k, size_t field) {
    return good.package + layout::kHeaderSize + layout::kEntrySize * k + field;
  };
  const size_t size = good.package + layout::kPackageSizeOffset;
  const uint32_t packageSize = testfont::ReadU32(good.bytes, size);
  struct Damage {
    size_t at;
    uint32_t value;
    size_t bytes;
    const char* reason;
  };
  const std::vector<Damage> damages = {
      {size, packageSize + 17, 4, "it runs past the end of the file"},
      {size, packageSize + 1, 4, "its resources do not fill it"},
      {size, packageSize - 1, 4, "resource 4 runs past the package's end"},
      {good.package + layout::kResourceCountOffset, 0, 2, "its index is empty"},
      {good.package + layout::kResourceCountOffset, 0xFFFF, 2, "its index runs past its end"},
      {entry(2, layout::kEntryStartOffset), testfont::ReadU32(good.bytes, entry(2, layout::kEntryStartOffset)) + 1, 4,
       "resource 3 does not start where the one before it ends"},
      {entry(3, layout::kEntryLengthOffset), 0x7FFFFFFF, 4, "resource 4 runs past the package's end"},
      {entry(1, 0), 'f' << 24 | 'o' << 16 | 'n' << 8 | 't', 4, "resource 2 has no type name"},
      {entry(1, 4), 'X' << 16, 4, "resource 2 has no type name"},
      {entry(0, 0), 0, 4, "resource 1 has no type name"},
      {entry(3, layout::kEntryIdOffset), 2001 << 16, 4, "it holds FONT_PA 2001 twice"},
  };
  for (const Damage& damage : damages) {
    Bytes damaged = good.bytes;
    for (size_t k = 0; k < damage.bytes; ++k) {
      damaged[damage.at + k] = static_cast<uint8_t>(damage.value >> (8 * (damage.bytes - 1 - k)));
    }
    EXPECT_EQ(std::string("the updater package its magic announces is not sound: ") + damage.reason, Refusal(damaged))
        << damage.at;
  }
  Bytes noConfiguration = good.bytes;
  noConfiguration[entry(0, 6)] = 'X';
  EXPECT_EQ("a POSIX program that carries no updater package (no configuration, INIFILE 2000)",
            Refusal(noConfiguration));
  EXPECT_EQ("a program that carries no updater package",
            Refusal(Bytes(good.bytes.begin(), good.bytes.begin() + static_cast<ptrdiff_t>(good.package))));
  EXPECT_EQ("not an OpenType font with CFF outlines (OTTO) nor one with TrueType outlines, nor a difference file, "
            "nor an updater program",
            Refusal(Bytes(good.bytes.begin() + 4, good.bytes.begin() + static_cast<ptrdiff_t>(good.package))));
}

// This test program carries the test package (tests/test_package.ini and
// placeholder difference files) as every POSIX updater carries its own.
TEST(ThisProgram, CarriesItsPackageOnceWhereOtpaFindsIt) {
  std::ifstream self("/proc/self/exe", std::ios::binary);
  const Bytes bytes((std::istreambuf_iterator<char>(self)), std::istreambuf_iterator<char>());
  const Described described = Describe(bytes);
  ASSERT_TRUE(described.ok) << described.reason;

  std::ifstream ini(OTU_TEST_PACKAGE_INI, std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(ini)), std::istreambuf_iterator<char>());
  Lines configuration = SplitLines(text);
  const Lines lines = SplitLines(described.out);
  ASSERT_GT(lines.size(), configuration.size() + 6);
  EXPECT_EQ(lines[0], "updater: POSIX program");
  EXPECT_EQ(lines[1], "configuration (INIFILE 2000, UTF-8, " + CountText(platform::kEmbeddedResources[0].size) +
                          " bytes):");
  EXPECT_EQ(Lines(lines.begin() + 2, lines.begin() + 2 + static_cast<ptrdiff_t>(configuration.size())),
            Indented(configuration));
  const auto after = lines.begin() + 2 + static_cast<ptrdiff_t>(configuration.size());
  EXPECT_EQ(Lines(after, after + 4), (Lines{
      "difference files: 3 of the 4 that MAXNUM declares: the updater stops at FONT_PAFILE4, whose name, "
      "FONT_RESNUM or resource is missing or unusable",
      "FONT_PAFILE1=SampleGothicProN-Bold_1.pa: FONT_PA 2001, 53 bytes, revises SampleGothicProN-Bold.otf",
      "  difference file, classic format",
      "  font: SampleGothicProN-Bold",
  }));

  // The resource table points into the package otpa found: its bytes are
  // stored once, back to back behind the magic and the index.
  namespace layout = platform::embedded_package;
  const size_t count = platform::kEmbeddedResourceCount;
  const uint8_t* package = platform::kEmbeddedResources[0].data - layout::kHeaderSize - layout::kEntrySize * count;
  EXPECT_EQ(0, std::memcmp(package, layout::kMagic, sizeof layout::kMagic));
  for (size_t k = 1; k < count; ++k) {
    EXPECT_EQ(platform::kEmbeddedResources[k - 1].data + platform::kEmbeddedResources[k - 1].size,
              platform::kEmbeddedResources[k].data);
  }
  const Described json = Describe(bytes, true);
  ASSERT_TRUE(json.ok) << json.reason;
  for (size_t k = 1; k < count; ++k) {
    const platform::EmbeddedResource& resource = platform::kEmbeddedResources[k];
    EXPECT_NE(std::string::npos, json.out.find("\"resourceId\":" + std::to_string(resource.id) +
                                               ",\"length\":" + std::to_string(resource.size) + ","))
        << resource.id;
  }
}

}  // namespace
