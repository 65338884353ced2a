#include "tests/font_builder.h"

#include <algorithm>

namespace testfont {
namespace {

void PutU16(Bytes* out, uint16_t value) {
  out->push_back(static_cast<uint8_t>(value >> 8));
  out->push_back(static_cast<uint8_t>(value));
}

void PutU32(Bytes* out, uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out->push_back(static_cast<uint8_t>(value >> shift));
}

void PutTag(Bytes* out, const std::string& tag) {
  for (size_t k = 0; k < 4; ++k) out->push_back(k < tag.size() ? static_cast<uint8_t>(tag[k]) : ' ');
}

uint32_t Sum(const Bytes& bytes, size_t offset, size_t length) {
  uint32_t sum = 0;
  for (size_t k = 0; k < length; ++k) {
    uint8_t b = offset + k < bytes.size() ? bytes[offset + k] : 0;
    sum += static_cast<uint32_t>(b) << (24 - 8 * (k % 4));
  }
  return sum;
}

size_t Pad4(size_t n) { return (n + 3) & ~size_t{3}; }

}  // namespace

uint32_t ReadU32(const Bytes& bytes, size_t offset) {
  return (uint32_t{bytes[offset]} << 24) | (uint32_t{bytes[offset + 1]} << 16) |
         (uint32_t{bytes[offset + 2]} << 8) | bytes[offset + 3];
}

void WriteU32(Bytes* bytes, size_t offset, uint32_t value) {
  for (int k = 0; k < 4; ++k) (*bytes)[offset + k] = static_cast<uint8_t>(value >> (24 - 8 * k));
}

Bytes Utf16Be(const std::string& ascii) {
  Bytes out;
  for (char c : ascii) {
    out.push_back(0);
    out.push_back(static_cast<uint8_t>(c));
  }
  return out;
}

Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }

Bytes NameTable(const std::vector<NameRecord>& records) {
  Bytes out;
  PutU16(&out, 0);
  PutU16(&out, static_cast<uint16_t>(records.size()));
  PutU16(&out, static_cast<uint16_t>(6 + 12 * records.size()));
  Bytes strings;
  for (const NameRecord& record : records) {
    PutU16(&out, record.platformID);
    PutU16(&out, record.encodingID);
    PutU16(&out, record.languageID);
    PutU16(&out, record.nameID);
    PutU16(&out, static_cast<uint16_t>(record.text.size()));
    PutU16(&out, static_cast<uint16_t>(strings.size()));
    strings.insert(strings.end(), record.text.begin(), record.text.end());
  }
  out.insert(out.end(), strings.begin(), strings.end());
  return out;
}

std::vector<NameRecord> StandardNameRecords(const std::string& fullName, const std::string& macintoshLicense,
                                            const std::string& windowsLicense) {
  std::vector<NameRecord> records = {
      {1, 0, 0, 0, Text("Copyright test")},
      {1, 0, 0, 1, Text("Sample Family")},
      {1, 0, 0, 2, Text("Regular")},
      {1, 0, 0, 3, Text("Sample:Unique")},
      {1, 0, 0, 4, Text(fullName)},
  };
  if (!macintoshLicense.empty()) records.push_back({1, 0, 0, 13, Text(macintoshLicense)});
  records.push_back({3, 1, 0x409, 4, Utf16Be(fullName)});
  if (!windowsLicense.empty()) records.push_back({3, 1, 0x409, 13, Utf16Be(windowsLicense)});
  return records;
}

Bytes HeadTable(uint32_t fontRevision, uint8_t modifiedSeed) {
  Bytes out;
  PutU32(&out, 0x00010000);
  PutU32(&out, fontRevision);
  PutU32(&out, 0);
  PutU32(&out, 0x5F0F3CF5);
  PutU16(&out, 0x0003);
  PutU16(&out, 1000);
  for (int k = 0; k < 8; ++k) out.push_back(static_cast<uint8_t>(0x10 + k));
  for (int k = 0; k < 8; ++k) out.push_back(static_cast<uint8_t>(modifiedSeed + k));
  for (int16_t v : {-100, -120, 1000, 880}) PutU16(&out, static_cast<uint16_t>(v));
  PutU16(&out, 0);
  PutU16(&out, 3);
  PutU16(&out, 2);
  PutU16(&out, 0);
  PutU16(&out, 0);
  return out;
}

Bytes BuildFont(const std::vector<Table>& tables, uint32_t sfntVersion) {
  Bytes font;
  PutU32(&font, sfntVersion);
  uint16_t count = static_cast<uint16_t>(tables.size());
  uint16_t power = 1, log2 = 0;
  while (power * 2u <= count) {
    power = static_cast<uint16_t>(power * 2);
    ++log2;
  }
  PutU16(&font, count);
  PutU16(&font, static_cast<uint16_t>(power * 16));
  PutU16(&font, log2);
  PutU16(&font, static_cast<uint16_t>(count * 16 - power * 16));
  size_t offset = 12 + 16 * tables.size();
  std::vector<size_t> offsets;
  for (const Table& table : tables) {
    offsets.push_back(offset);
    offset += Pad4(table.bytes.size());
  }
  font.resize(12 + 16 * tables.size());
  font.resize(offset, 0);
  size_t headOffset = 0;
  bool hasHead = false;
  for (size_t k = 0; k < tables.size(); ++k) {
    const Table& table = tables[k];
    std::copy(table.bytes.begin(), table.bytes.end(), font.begin() + static_cast<long>(offsets[k]));
    if (table.tag == "head" && table.bytes.size() >= 12) {
      hasHead = true;
      headOffset = offsets[k];
      WriteU32(&font, headOffset + 8, 0);
    }
    Bytes entry;
    PutTag(&entry, table.tag);
    PutU32(&entry, Sum(font, offsets[k], Pad4(table.bytes.size())));
    PutU32(&entry, static_cast<uint32_t>(offsets[k]));
    PutU32(&entry, static_cast<uint32_t>(table.bytes.size()));
    std::copy(entry.begin(), entry.end(), font.begin() + static_cast<long>(12 + 16 * k));
  }
  if (hasHead) WriteU32(&font, headOffset + 8, 0xB1B0AFBA - Sum(font, 0, font.size()));
  return font;
}

std::vector<Table> SampleTables(uint32_t fontRevision, const std::string& fullName, int cffSeed,
                                size_t cffLength) {
  Bytes cff(cffLength);
  for (size_t k = 0; k < cff.size(); ++k) cff[k] = static_cast<uint8_t>(cffSeed * 31 + k * 7);
  return {
      {"BASE", Bytes{0, 1, 0, 0, 0, 0, 0, 0, 9}},
      {"CFF ", cff},
      {"head", HeadTable(fontRevision, static_cast<uint8_t>(cffSeed))},
      {"name", NameTable(StandardNameRecords(fullName, "Mac licence text", "Windows licence"))},
      {"post", Bytes{0, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
  };
}

Bytes BuildSabun(const SabunFile& file) {
  Bytes header;
  PutTag(&header, file.magic);
  for (size_t k = 0; k < 32; ++k) header.push_back(k < file.fontName.size() ? static_cast<uint8_t>(file.fontName[k]) : 0);
  PutU32(&header, file.expectedRevision);
  PutU32(&header, file.newFileLength);
  header.push_back(static_cast<uint8_t>(file.records.size()));
  for (int k = 0; k < 8; ++k) header.push_back(0);

  Bytes blocks;
  size_t blockBase = 53 + 18 * file.records.size();
  Bytes records;
  for (const SabunRecord& record : file.records) {
    PutTag(&records, record.tag);
    records.push_back(record.newIndex);
    records.push_back(record.order);
    PutU32(&records, record.hasBlock ? static_cast<uint32_t>(blockBase + blocks.size()) : 0);
    PutU32(&records, record.newLength);
    PutU32(&records, record.newOffset);
    if (!record.hasBlock) continue;
    PutU32(&blocks, static_cast<uint32_t>(record.copies.size()));
    for (const CopyRun& run : record.copies) {
      PutU32(&blocks, static_cast<uint32_t>(run.source));
      PutU32(&blocks, static_cast<uint32_t>(run.length));
      PutU32(&blocks, static_cast<uint32_t>(run.destination));
    }
    PutU32(&blocks, static_cast<uint32_t>(record.inserts.size()));
    for (const InsertRun& run : record.inserts) {
      PutU32(&blocks, static_cast<uint32_t>(run.destination));
      PutU32(&blocks, static_cast<uint32_t>(run.bytes.size()));
      blocks.insert(blocks.end(), run.bytes.begin(), run.bytes.end());
    }
  }
  Bytes out = header;
  out.insert(out.end(), records.begin(), records.end());
  out.insert(out.end(), blocks.begin(), blocks.end());
  return out;
}

SabunFile DiffTables(const std::vector<Table>& oldTables, const std::vector<Table>& newTables,
                     const std::string& fontName, uint32_t expectedRevision) {
  SabunFile file;
  file.fontName = fontName;
  file.expectedRevision = expectedRevision;
  size_t offset = 12 + 16 * newTables.size();
  for (size_t k = 0; k < newTables.size(); ++k) {
    const Bytes& before = oldTables[k].bytes;
    const Bytes& after = newTables[k].bytes;
    SabunRecord record;
    record.tag = newTables[k].tag;
    record.newIndex = static_cast<uint8_t>(k);
    record.order = static_cast<uint8_t>(k);
    record.newLength = static_cast<uint32_t>(after.size());
    record.newOffset = static_cast<uint32_t>(offset);
    if (before != after) {
      record.hasBlock = true;
      size_t common = 0;
      while (common < before.size() && common < after.size() && before[common] == after[common]) ++common;
      if (common > 0) record.copies.push_back({0, static_cast<int32_t>(common), 0});
      if (common < after.size()) {
        record.inserts.push_back({static_cast<int32_t>(common), Bytes(after.begin() + static_cast<long>(common), after.end())});
      }
    }
    file.records.push_back(record);
    offset += Pad4(after.size());
  }
  file.newFileLength = static_cast<uint32_t>(offset);
  return file;
}

}  // namespace testfont
