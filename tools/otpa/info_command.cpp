// otpa info: what a font or a difference file holds, as text or JSON.
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "engine/byte_io.h"
#include "engine/font_model.h"
#include "engine/head_table.h"
#include "engine/name_table.h"
#include "engine/sabun_data.h"
#include "engine/sabun_format.h"
#include "platform/resources.h"
#include "tools/otpa/commands.h"
#include "tools/otpa/file_bytes.h"

namespace {

// Nested fields, printed either as indented "name: value" lines or as JSON.
class Report {
 public:
  explicit Report(bool json) : json_(json) {}

  void Begin(const char* name, bool list = false) {
    Key(json_ ? name : nullptr);
    if (json_) {
      std::printf("%s", list ? "[" : "{");
    } else if (name != nullptr) {
      std::printf("%s:\n", name);
    } else if (!list_.empty()) {
      std::printf("-\n");
    }
    first_.push_back(true);
    list_.push_back(list);
  }
  void End() {
    bool list = list_.back();
    first_.pop_back();
    list_.pop_back();
    if (json_) std::printf("%s", list ? "]" : "}");
    if (json_ && first_.empty()) std::printf("\n");
  }
  void Number(const char* name, uint64_t value) {
    Key(name);
    std::printf(json_ ? "%" PRIu64 : "%" PRIu64 "\n", value);
  }
  void Hex(const char* name, uint32_t value) {
    Key(name);
    std::printf(json_ ? "\"0x%08" PRIX32 "\"" : "0x%08" PRIX32 "\n", value);
  }
  void Text(const char* name, const std::string& value) {
    Key(name);
    if (!json_) {
      std::printf("%s\n", value.c_str());
      return;
    }
    std::printf("\"");
    for (unsigned char c : value) {
      if (c == '"' || c == '\\') {
        std::printf("\\%c", c);
      } else if (c < 0x20 || c >= 0x7F) {
        std::printf("\\u%04x", c);
      } else {
        std::printf("%c", c);
      }
    }
    std::printf("\"");
  }
  void Flag(const char* name, bool value) {
    Key(name);
    std::printf(json_ ? "%s" : "%s\n", value ? "true" : "false");
  }

 private:
  // Separator and name before a value or a container.
  void Key(const char* name) {
    bool inObject = !list_.empty() && !list_.back();
    if (json_) {
      if (!first_.empty() && !first_.back()) std::printf(",");
      if (inObject && name != nullptr) std::printf("\"%s\":", name);
    } else {
      for (size_t k = 1; k < first_.size(); ++k) std::printf("  ");
      if (inObject && name != nullptr) std::printf("%s: ", name);
    }
    if (!first_.empty()) first_.back() = false;
  }

  bool json_;
  std::vector<bool> first_;
  std::vector<bool> list_;
};

std::string TagString(const uint8_t* tag) {
  std::string text;
  for (int k = 0; k < 4; ++k) text += (tag[k] >= 0x20 && tag[k] < 0x7F) ? static_cast<char>(tag[k]) : '?';
  return text;
}

int Fail(const char* path, const char* reason) {
  std::fprintf(stderr, "otpa info: %s: %s\n", path, reason);
  return 1;
}

int DescribeFont(const char* path, const std::vector<uint8_t>& file, Report* out) {
  constexpr char kNoFont[] = "not an OpenType font with CFF outlines (OTTO) nor one with TrueType outlines";
  COpenTypeHeader header;
  if (header.ReadHeader(file.data(), file.size(), true) == 0) return Fail(path, kNoFont);
  TagList tables;
  if (LoadTableDirectory(header, file.data(), file.size(), false, &tables) == 0) {
    return Fail(path, "the table directory or a table extends past the end of the file");
  }
  // TrueType's sfnt version over CFF outlines is neither kind of font.
  if (header.sfntVersion != kSfntVersionOtto && FindTag(tables, "glyf") == nullptr) return Fail(path, kNoFont);
  out->Begin(nullptr);
  out->Text("kind", "font");
  out->Hex("sfntVersion", header.sfntVersion);
  out->Number("numTables", header.numTables);
  out->Number("searchRange", header.searchRange);
  out->Number("entrySelector", header.entrySelector);
  out->Number("rangeShift", header.rangeShift);
  out->Number("fileLength", file.size());
  out->Flag("wholeFontSumOk", SumWordsPadded(file.data(), file.size()) == 0xB1B0AFBAu);
  out->Begin("tables", true);
  for (const auto& table : tables) {
    size_t padded = static_cast<size_t>(table->paddedLength);
    if (padded > table->dataAvailable) padded = table->dataAvailable;
    uint32_t computed = SumWordsPadded(table->data, padded);
    uint32_t adjustment = 0;
    // head is checksummed with checkSumAdjustment taken as zero.
    if (std::strcmp(table->tagText, "head") == 0 && otu::LoadU32(table->data, table->length, 8, &adjustment)) {
      computed -= adjustment;
    }
    out->Begin(nullptr);
    out->Text("tag", TagString(table->tag));
    out->Number("offset", table->offset);
    out->Number("length", table->length);
    out->Hex("checksum", table->checksum);
    out->Hex("computedChecksum", computed);
    out->Flag("accepted", IsAcceptedTag(table->tagText));
    out->End();
  }
  out->End();

  const uint8_t* directory = file.data() + kOffsetTableSize;
  for (size_t k = 0; k < tables.size(); ++k) {
    const uint8_t* entry = directory + kDirectoryEntrySize * k;
    if (std::strcmp(tables[k]->tagText, "name") == 0) {
      CTagNameObject nameTable;
      nameTable.ReadEntry(entry, file.data(), file.size());
      if (nameTable.LoadNameTable() == 0) {
        out->Text("name", "(name table does not fit)");
        break;
      }
      char fontName[kFontNameSize] = {};
      out->Text("fontName", nameTable.GetFontName(fontName) ? fontName : "");
      // The names an extended difference file knows a font by.
      for (const auto& [key, nameId] : {std::make_pair("postScriptName", uint16_t{6}), std::make_pair("fullName", uint16_t{4})}) {
        std::string text;
        if (FindNameText(tables[k]->data, tables[k]->length, nameId, &text)) out->Text(key, text);
      }
      out->Begin("licenseRecords", true);
      for (const auto& record : nameTable.nameTable.records) {
        if (record->nameID != kLicenseNameId) continue;
        out->Begin(nullptr);
        out->Number("platformID", record->platformID);
        out->Number("encodingID", record->encodingID);
        out->Number("languageID", record->languageID);
        out->Number("length", record->length);
        out->End();
      }
      out->End();
      uint8_t macintosh[kLicenseTextSize] = {};
      uint8_t windows[kLicenseTextSize] = {};
      out->Flag("licenseTextsCarried", nameTable.GetLicenseText(macintosh, windows) == 1);
      break;
    }
  }
  for (size_t k = 0; k < tables.size(); ++k) {
    if (std::strcmp(tables[k]->tagText, "head") != 0) continue;
    CTagHeadObject head;
    head.ReadEntry(directory + kDirectoryEntrySize * k, file.data(), file.size());
    if (head.ReadHead() == 1) out->Hex("fontRevision", head.headInfo.fontRevision);
    break;
  }
  out->End();
  return 0;
}

int DescribeDiff(const char* path, std::vector<uint8_t> file, Report* out) {
  platform::MemoryResources resources;
  resources.Add(sabun::kResourceType, 1, std::move(file));
  CMakeSabunData data(resources);
  if (data.LoadSabunData(1) == 0) return Fail(path, "truncated or malformed difference file");
  out->Begin(nullptr);
  out->Text("kind", "difference");
  if (data.extended) {
    out->Text("format", "extended");
    out->Text("fontName", data.identity);
    out->Number("fontNameId", data.identityNameId);
    out->Hex("oldSfntVersion", data.oldSfntVersion);
    out->Number("oldTableCount", data.oldTableCount);
    out->Hex("newSfntVersion", data.newSfntVersion);
  } else {
    out->Text("fontName", std::string(data.fontName, strnlen(data.fontName, sizeof data.fontName)));
  }
  out->Hex("expectedRevision", data.expectedRevision);
  out->Number("newFileLength", data.newFileLength);
  out->Number("tableCount", data.tableCount);
  uint64_t date = 0;
  for (uint8_t b : data.date) date = (date << 8) | b;
  out->Number("date", date);
  out->Begin("records", true);
  for (const auto& record : data.records) {
    uint64_t copied = 0;
    uint64_t inserted = 0;
    for (const auto& run : record->copyRuns) copied += static_cast<uint32_t>(run.length);
    for (const auto& run : record->insertRuns) inserted += static_cast<uint32_t>(run.length);
    out->Begin(nullptr);
    out->Text("tag", TagString(record->tag));
    out->Number("newIndex", record->newIndex);
    out->Number("order", record->order);
    out->Number("blockOffset", record->blockOffset);
    out->Number("newLength", record->newLength);
    out->Number("newOffset", record->newOffset);
    out->Number("copyRuns", record->copyRuns.size());
    out->Number("copiedBytes", copied);
    out->Number("insertRuns", record->insertRuns.size());
    out->Number("insertedBytes", inserted);
    if (data.extended) {
      out->Flag("newTable", record->newTable);
      if (!record->newTable) out->Hex("oldChecksum", record->oldChecksum);
    }
    out->End();
  }
  out->End();
  out->End();
  return 0;
}

}  // namespace

int RunInfo(int argc, char** argv) {
  bool json = argc == 3 && std::strcmp(argv[2], "--json") == 0;
  if (argc != 2 && !json) {
    std::fprintf(stderr, "usage: otpa info FILE [--json]\n");
    return 2;
  }
  std::vector<uint8_t> file;
  if (!ReadFileBytes(argv[1], &file)) return Fail(argv[1], "cannot be read");
  Report out(json);
  const auto starts = [&file](const uint8_t(&magic)[4]) {
    return file.size() >= sizeof magic && std::memcmp(file.data(), magic, sizeof magic) == 0;
  };
  if (starts(sabun::kMagic) || starts(sabun::ext::kMagic)) {
    return DescribeDiff(argv[1], std::move(file), &out);
  }
  return DescribeFont(argv[1], file, &out);
}
