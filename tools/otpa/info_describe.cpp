#include "tools/otpa/info_describe.h"

#include <cstring>
#include <memory>
#include <utility>

#include "config/res_file_ctrl.h"
#include "engine/byte_io.h"
#include "engine/font_model.h"
#include "engine/head_table.h"
#include "engine/name_table.h"
#include "text/revision.h"
#include "engine/sabun_data.h"
#include "engine/sabun_format.h"
#include "platform/resources.h"
#include "tools/otpa/difference_summary.h"
#include "tools/otpa/info_report.h"
#include "tools/otpa/program_package.h"

namespace {

constexpr char kNoFont[] = "not an OpenType font with CFF outlines (OTTO) nor one with TrueType outlines";

struct TableFacts {
  std::string tag;
  uint32_t offset = 0;
  uint32_t length = 0;
  uint32_t checksum = 0;
  uint32_t computed = 0;
  bool accepted = false;
};

struct LicenseRecordFacts {
  uint16_t platformId = 0;
  uint16_t encodingId = 0;
  uint16_t languageId = 0;
  uint16_t length = 0;
};

// A font as `otpa info` tells it.
struct FontFacts {
  COpenTypeHeader header;
  size_t fileLength = 0;
  bool wholeSumOk = false;
  std::vector<TableFacts> tables;
  bool hasName = false;
  bool nameFits = false;
  std::string fontName;
  // The names an extended difference file knows a font by, those the font has.
  std::vector<std::pair<const char*, std::string>> names;
  std::vector<LicenseRecordFacts> licenseRecords;
  bool licenseTextsCarried = false;
  bool hasRevision = false;
  uint32_t revision = 0;
  uint8_t modified[8] = {};
};

bool ReadFont(const std::vector<uint8_t>& file, FontFacts* font, std::string* reason) {
  if (font->header.ReadHeader(file.data(), file.size(), true) == 0) {
    *reason = kNoFont;
    return false;
  }
  TagList tables;
  if (LoadTableDirectory(font->header, file.data(), file.size(), false, &tables) == 0) {
    *reason = "the table directory or a table extends past the end of the file";
    return false;
  }
  // TrueType's sfnt version over CFF outlines is neither kind of font.
  if (font->header.sfntVersion != kSfntVersionOtto && FindTag(tables, "glyf") == nullptr) {
    *reason = kNoFont;
    return false;
  }
  font->fileLength = file.size();
  font->wholeSumOk = SumWordsPadded(file.data(), file.size()) == 0xB1B0AFBAu;
  for (const auto& table : tables) {
    size_t padded = static_cast<size_t>(table->paddedLength);
    if (padded > table->dataAvailable) padded = table->dataAvailable;
    TableFacts facts;
    facts.tag = TagText(table->tag);
    facts.offset = table->offset;
    facts.length = table->length;
    facts.checksum = table->checksum;
    facts.computed = SumWordsPadded(table->data, padded);
    uint32_t adjustment = 0;
    // head is checksummed with checkSumAdjustment taken as zero.
    if (std::strcmp(table->tagText, "head") == 0 && otu::LoadU32(table->data, table->length, 8, &adjustment)) {
      facts.computed -= adjustment;
    }
    facts.accepted = IsAcceptedTag(table->tagText);
    font->tables.push_back(facts);
  }

  const uint8_t* directory = file.data() + kOffsetTableSize;
  for (size_t k = 0; k < tables.size(); ++k) {
    if (std::strcmp(tables[k]->tagText, "name") != 0) continue;
    font->hasName = true;
    CTagNameObject nameTable;
    nameTable.ReadEntry(directory + kDirectoryEntrySize * k, file.data(), file.size());
    if (nameTable.LoadNameTable() == 0) break;
    font->nameFits = true;
    char fontName[kFontNameSize] = {};
    if (nameTable.GetFontName(fontName)) font->fontName = fontName;
    for (const auto& [key, nameId] : {std::make_pair("postScriptName", uint16_t{6}), std::make_pair("fullName", uint16_t{4})}) {
      std::string text;
      if (FindNameText(tables[k]->data, tables[k]->length, nameId, &text)) font->names.emplace_back(key, text);
    }
    for (const auto& record : nameTable.nameTable.records) {
      if (record->nameID != kLicenseNameId) continue;
      font->licenseRecords.push_back({record->platformID, record->encodingID, record->languageID, record->length});
    }
    uint8_t macintosh[kLicenseTextSize] = {};
    uint8_t windows[kLicenseTextSize] = {};
    font->licenseTextsCarried = nameTable.GetLicenseText(macintosh, windows) == 1;
    break;
  }
  for (size_t k = 0; k < tables.size(); ++k) {
    if (std::strcmp(tables[k]->tagText, "head") != 0) continue;
    CTagHeadObject head;
    head.ReadEntry(directory + kDirectoryEntrySize * k, file.data(), file.size());
    if (head.ReadHead() == 1) {
      font->hasRevision = true;
      font->revision = head.headInfo.fontRevision;
      std::memcpy(font->modified, head.headInfo.modified, sizeof font->modified);
    }
    break;
  }
  return true;
}

void FontJson(const FontFacts& font, JsonReport* out) {
  out->Begin(nullptr);
  out->Text("kind", "font");
  out->Hex("sfntVersion", font.header.sfntVersion);
  out->Number("numTables", font.header.numTables);
  out->Number("searchRange", font.header.searchRange);
  out->Number("entrySelector", font.header.entrySelector);
  out->Number("rangeShift", font.header.rangeShift);
  out->Number("fileLength", font.fileLength);
  out->Flag("wholeFontSumOk", font.wholeSumOk);
  out->Begin("tables", true);
  for (const TableFacts& table : font.tables) {
    out->Begin(nullptr);
    out->Text("tag", table.tag);
    out->Number("offset", table.offset);
    out->Number("length", table.length);
    out->Hex("checksum", table.checksum);
    out->Hex("computedChecksum", table.computed);
    out->Flag("accepted", table.accepted);
    out->End();
  }
  out->End();
  if (font.hasName && !font.nameFits) out->Text("name", "(name table does not fit)");
  if (font.nameFits) {
    out->Text("fontName", font.fontName);
    for (const auto& [key, text] : font.names) out->Text(key, text);
    out->Begin("licenseRecords", true);
    for (const LicenseRecordFacts& record : font.licenseRecords) {
      out->Begin(nullptr);
      out->Number("platformID", record.platformId);
      out->Number("encodingID", record.encodingId);
      out->Number("languageID", record.languageId);
      out->Number("length", record.length);
      out->End();
    }
    out->End();
    out->Flag("licenseTextsCarried", font.licenseTextsCarried);
  }
  if (font.hasRevision) {
    out->Hex("fontRevision", font.revision);
    out->Text("revision", text::RevisionText(font.revision));
    out->Number("modified", DateNumber(font.modified));
    out->Text("modifiedText", DateText(font.modified));
  }
  out->End();
}

void FontText(const FontFacts& font, std::string* out) {
  const bool cff = font.header.sfntVersion == kSfntVersionOtto;
  Appendf(out, "OpenType font, %s outlines (sfnt version 0x%08X), %s bytes\n", cff ? "CFF" : "TrueType",
          font.header.sfntVersion, CountText(font.fileLength).c_str());
  if (font.hasName && !font.nameFits) Appendf(out, "name table: does not fit in the file\n");
  if (font.nameFits) {
    Appendf(out, "font name: %s\n", font.fontName.empty() ? "(no fifth name record)" : font.fontName.c_str());
    for (const auto& [key, text] : font.names) {
      Appendf(out, "%s: %s\n", std::strcmp(key, "postScriptName") == 0 ? "PostScript name" : "full name", text.c_str());
    }
  }
  if (font.hasRevision) {
    Appendf(out, "revision: %s (0x%08X)\n", text::RevisionText(font.revision).c_str(), font.revision);
    Appendf(out, "modified: %s\n", DateText(font.modified).c_str());
  } else {
    Appendf(out, "revision: unknown (no head table of 54 bytes)\n");
  }
  Appendf(out, "whole-font checksum: %s\n", font.wholeSumOk ? "right" : "wrong");
  if (font.nameFits) {
    Appendf(out, "License Description records: %s", font.licenseRecords.empty() ? "none" : "");
    const char* separator = "";
    for (const LicenseRecordFacts& record : font.licenseRecords) {
      Appendf(out, "%s%u/%u/0x%X %s", separator, record.platformId, record.encodingId, record.languageId,
              Counted(record.length, "byte", "bytes").c_str());
      separator = ", ";
    }
    Appendf(out, "; the Macintosh and Windows English pair a classic update carries: %s\n",
            font.licenseTextsCarried ? "present" : "missing");
  }
  Appendf(out, "tables: %u (searchRange %u, entrySelector %u, rangeShift %u)\n", font.header.numTables,
          font.header.searchRange, font.header.entrySelector, font.header.rangeShift);
  for (const TableFacts& table : font.tables) {
    Appendf(out, "  %-4s  at %s, %s, checksum 0x%08X ", table.tag.c_str(), CountText(table.offset).c_str(),
            Counted(table.length, "byte", "bytes").c_str(), table.checksum);
    if (table.checksum == table.computed) {
      Appendf(out, "right");
    } else {
      Appendf(out, "wrong (the bytes sum to 0x%08X)", table.computed);
    }
    Appendf(out, "%s\n", table.accepted ? "" : ", not a table the classic format carries");
  }
}

bool DescribeFont(const std::vector<uint8_t>& file, bool json, std::string* out, std::string* reason) {
  FontFacts font;
  if (!ReadFont(file, &font, reason)) return false;
  if (json) {
    JsonReport report(out);
    FontJson(font, &report);
  } else {
    FontText(font, out);
  }
  return true;
}

bool DescribeDifference(std::vector<uint8_t> file, bool json, std::string* out, std::string* reason) {
  platform::MemoryResources resources;
  resources.Add(sabun::kResourceType, 1, std::move(file));
  CMakeSabunData data(resources);
  if (data.LoadSabunData(1) == 0) {
    *reason = "truncated or malformed difference file";
    return false;
  }
  if (json) {
    JsonReport report(out);
    report.Begin(nullptr);
    DifferenceJson(data, &report);
    report.End();
  } else {
    DifferenceText(data, "", out);
  }
  return true;
}

// One difference file the updater finds through its configuration.
struct CarriedDifference {
  std::string key;  // "FONT_PAFILE1"
  std::string file;
  std::string targetFile;
  uint16_t resourceId = 0;
  uint32_t length = 0;
  std::unique_ptr<CMakeSabunData> data;
};

struct UpdaterFacts {
  std::string configuration;
  uint32_t configurationLength = 0;
  int32_t declaredCount = 0;
  std::vector<CarriedDifference> differences;
  // FONT_PA resources that no entry the updater reads names.
  std::vector<const PackageResource*> unnamed;
};

bool ReadUpdater(const ProgramPackage& package, UpdaterFacts* updater, std::string* reason) {
  platform::ResourceBytes configuration;
  package.Find(CResFileCtrl::kConfigurationType, CResFileCtrl::kConfigurationId, &configuration);
  updater->configuration = package.ToUtf8(configuration.data, configuration.size);
  updater->configurationLength = configuration.size;
  // The entries as the updater itself reads them, in the program's encoding.
  CResFileCtrl control(package, package.encoding());
  control.LoadConfiguration();
  updater->declaredCount = control.DeclaredCount();
  for (int32_t i = 0; i < control.LoadedCount(); ++i) {
    const CSabunEntry& entry = control.Entry(i);
    CarriedDifference carried;
    carried.key = "FONT_PAFILE" + std::to_string(i + 1);
    carried.file = package.ToUtf8(entry.paFileName);
    carried.targetFile = package.ToUtf8(entry.targetFileName);
    carried.resourceId = static_cast<uint16_t>(entry.resourceId);
    carried.data = std::make_unique<CMakeSabunData>(package);
    platform::ResourceBytes bytes;
    package.Find(sabun::kResourceType, carried.resourceId, &bytes);
    carried.length = bytes.size;
    if (carried.data->LoadSabunData(entry.resourceId) == 0) {
      *reason = carried.key + "=" + carried.file + " (" + sabun::kResourceType + " " +
                std::to_string(carried.resourceId) + "): truncated or malformed difference file";
      return false;
    }
    updater->differences.push_back(std::move(carried));
  }
  for (const PackageResource& resource : package.resources()) {
    if (resource.type != sabun::kResourceType) continue;
    bool named = false;
    for (const CarriedDifference& carried : updater->differences) named |= carried.resourceId == resource.id;
    if (!named) updater->unnamed.push_back(&resource);
  }
  return true;
}

void UpdaterJson(const ProgramPackage& package, const UpdaterFacts& updater, JsonReport* out) {
  out->Begin(nullptr);
  out->Text("kind", "updater");
  out->Text("program", package.description());
  out->Text("configurationEncoding", package.encoding() == platform::TextEncoding::kShiftJis ? "Shift-JIS" : "UTF-8");
  out->Number("configurationLength", updater.configurationLength);
  out->Utf8("configuration", updater.configuration);
  out->Number("declaredCount", static_cast<uint32_t>(updater.declaredCount));
  out->Begin("differenceFiles", true);
  for (const CarriedDifference& carried : updater.differences) {
    out->Begin(nullptr);
    out->Text("key", carried.key);
    out->Utf8("file", carried.file);
    out->Number("resourceId", carried.resourceId);
    out->Number("length", carried.length);
    out->Utf8("targetFile", carried.targetFile);
    out->Begin("difference");
    DifferenceJson(*carried.data, out);
    out->End();
    out->End();
  }
  out->End();
  out->Begin("unnamedResources", true);
  for (const PackageResource* resource : updater.unnamed) {
    out->Begin(nullptr);
    out->Text("type", resource->type);
    out->Number("id", resource->id);
    out->Number("length", resource->size);
    out->End();
  }
  out->End();
  out->End();
}

void UpdaterText(const ProgramPackage& package, const UpdaterFacts& updater, std::string* out) {
  Appendf(out, "updater: %s\n", package.description().c_str());
  Appendf(out, "configuration (%s %u, %s, %s):\n", CResFileCtrl::kConfigurationType, CResFileCtrl::kConfigurationId,
          package.encoding() == platform::TextEncoding::kShiftJis ? "Shift-JIS" : "UTF-8",
          Counted(updater.configurationLength, "byte", "bytes").c_str());
  size_t start = 0;
  while (start < updater.configuration.size()) {
    size_t end = updater.configuration.find('\n', start);
    if (end == std::string::npos) end = updater.configuration.size();
    std::string line = updater.configuration.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    Appendf(out, "  %s\n", line.c_str());
    start = end + 1;
  }
  const size_t loaded = updater.differences.size();
  Appendf(out, "difference files: %zu", loaded);
  if (static_cast<int64_t>(loaded) < updater.declaredCount) {
    Appendf(out, " of the %d that MAXNUM declares: the updater stops at FONT_PAFILE%zu, whose name, "
            "FONT_RESNUM or resource is missing or unusable", updater.declaredCount, loaded + 1);
  }
  Appendf(out, "\n");
  for (const CarriedDifference& carried : updater.differences) {
    Appendf(out, "%s=%s: %s %u, %s, revises %s\n", carried.key.c_str(), carried.file.c_str(), sabun::kResourceType,
            carried.resourceId, Counted(carried.length, "byte", "bytes").c_str(), carried.targetFile.c_str());
    DifferenceText(*carried.data, "  ", out);
  }
  for (const PackageResource* resource : updater.unnamed) {
    Appendf(out, "%s %u (%s): carried, but no FONT_PAFILE the updater reads names it\n", resource->type.c_str(),
            resource->id, Counted(resource->size, "byte", "bytes").c_str());
  }
}

}  // namespace

bool DescribeFile(std::vector<uint8_t> file, bool json, std::string* out, std::string* reason) {
  const auto starts = [&file](const uint8_t(&magic)[4]) {
    return file.size() >= sizeof magic && std::memcmp(file.data(), magic, sizeof magic) == 0;
  };
  if (starts(sabun::kMagic) || starts(sabun::ext::kMagic)) return DescribeDifference(std::move(file), json, out, reason);
  COpenTypeHeader header;
  if (header.ReadHeader(file.data(), file.size(), true) != 0) return DescribeFont(file, json, out, reason);
  ProgramPackage package;
  switch (package.ReadFrom(file, reason)) {
    case ProgramPackage::Read::kNotAProgram:
      *reason = std::string(kNoFont) + ", nor a difference file, nor an updater program";
      return false;
    case ProgramPackage::Read::kBroken:
      return false;
    case ProgramPackage::Read::kRead:
      break;
  }
  UpdaterFacts updater;
  if (!ReadUpdater(package, &updater, reason)) return false;
  if (json) {
    JsonReport report(out);
    UpdaterJson(package, updater, &report);
  } else {
    UpdaterText(package, updater, out);
  }
  return true;
}
