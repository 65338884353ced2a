#include "tools/otpa/difference_summary.h"

#include <cstring>

#include "text/revision.h"

namespace {

const char* Change(const CSabunTagObject& record) {
  if (record.newTable) return "new";
  return record.hasBlock ? "rebuilt" : "kept";
}

uint64_t CopiedBytes(const CSabunTagObject& record) {
  uint64_t bytes = 0;
  for (const auto& run : record.copyRuns) bytes += static_cast<uint32_t>(run.length);
  return bytes;
}

uint64_t InsertedBytes(const CSabunTagObject& record) {
  uint64_t bytes = 0;
  for (const auto& run : record.insertRuns) bytes += static_cast<uint32_t>(run.length);
  return bytes;
}

// "OTTO", "true", or the hexadecimal value of another sfnt version.
std::string SfntText(uint32_t version) {
  std::string text;
  for (int shift = 24; shift >= 0; shift -= 8) {
    const char c = static_cast<char>(version >> shift);
    if (c < 0x20 || c >= 0x7F) {
      text.clear();
      Appendf(&text, "0x%08X", version);
      return text;
    }
    text += c;
  }
  return text;
}

bool Compressed(const CSabunTagObject& record) { return record.encoding == sabun::ext::kAddCopyEncoding; }

// What a table's block does: "6,095 copied (4 runs), 32 inserted (2 runs)",
// or for a compressed one "compressed, 1,024 bytes of 96 control, 6,095
// difference and 32 extra bytes".
std::string RunsText(const CSabunTagObject& record) {
  std::string text;
  if (Compressed(record)) {
    return "compressed, " + CountText(record.blockLength) + " bytes of " + CountText(record.streams.controlSize) +
           " control, " + CountText(record.streams.differenceSize) + " difference and " +
           CountText(record.streams.extraSize) + " extra bytes";
  }
  if (!record.copyRuns.empty()) {
    text = CountText(CopiedBytes(record)) + " copied (" + Counted(record.copyRuns.size(), "run", "runs") + ")";
  }
  if (!record.insertRuns.empty()) {
    if (!text.empty()) text += ", ";
    text += CountText(InsertedBytes(record)) + " inserted (" + Counted(record.insertRuns.size(), "run", "runs") + ")";
  }
  return text.empty() ? "no runs, all zero bytes" : text;
}

}  // namespace

uint32_t DroppedTableCount(const CMakeSabunData& data) {
  if (!data.extended) return 0;
  uint32_t kept = 0;
  for (const auto& record : data.records) kept += record->newTable ? 0 : 1;
  return data.oldTableCount > kept ? data.oldTableCount - kept : 0;
}

void DifferenceJson(const CMakeSabunData& data, JsonReport* out) {
  out->Text("kind", "difference");
  if (data.extended) {
    out->Text("format", "extended");
    out->Text("fontName", data.identity);
    out->Number("fontNameId", data.identityNameId);
    out->Hex("oldSfntVersion", data.oldSfntVersion);
    out->Number("oldTableCount", data.oldTableCount);
    out->Hex("newSfntVersion", data.newSfntVersion);
    out->Number("droppedTables", DroppedTableCount(data));
  } else {
    out->Text("fontName", std::string(data.fontName, strnlen(data.fontName, sizeof data.fontName)));
  }
  out->Hex("expectedRevision", data.expectedRevision);
  out->Text("oldRevision", text::RevisionText(data.expectedRevision));
  uint32_t newRevision = 0;
  if (data.NewFontRevision(&newRevision)) {
    out->Hex("newFontRevision", newRevision);
    out->Text("newRevision", text::RevisionText(newRevision));
  } else {
    out->Null("newFontRevision");
    out->Null("newRevision");
  }
  out->Number("newFileLength", data.newFileLength);
  out->Number("tableCount", data.tableCount);
  out->Number("date", DateNumber(data.date));
  out->Text("dateText", DateText(data.date));
  out->Begin("records", true);
  for (const auto& record : data.records) {
    out->Begin(nullptr);
    out->Text("tag", TagText(record->tag));
    out->Text("change", Change(*record));
    out->Number("newIndex", record->newIndex);
    out->Number("order", record->order);
    out->Number("blockOffset", record->blockOffset);
    out->Number("newLength", record->newLength);
    out->Number("newOffset", record->newOffset);
    out->Number("copyRuns", record->copyRuns.size());
    out->Number("copiedBytes", CopiedBytes(*record));
    out->Number("insertRuns", record->insertRuns.size());
    out->Number("insertedBytes", InsertedBytes(*record));
    if (Compressed(*record)) {
      out->Text("encoding", "compressed");
      out->Number("blockLength", record->blockLength);
      out->Number("controlBytes", record->streams.controlSize);
      out->Number("differenceBytes", record->streams.differenceSize);
      out->Number("extraBytes", record->streams.extraSize);
    }
    if (data.extended) {
      out->Flag("newTable", record->newTable);
      if (!record->newTable) out->Hex("oldChecksum", record->oldChecksum);
    }
    out->End();
  }
  out->End();
}

void DifferenceText(const CMakeSabunData& data, const std::string& indent, std::string* out) {
  const char* prefix = indent.c_str();
  if (data.extended) {
    Appendf(out, "%sdifference file, extended format\n", prefix);
    Appendf(out, "%sfont: %s (name ID %u)\n", prefix, data.identity.c_str(), data.identityNameId);
    Appendf(out, "%ssfnt version: %s \u2192 %s\n", prefix, SfntText(data.oldSfntVersion).c_str(),
            SfntText(data.newSfntVersion).c_str());
  } else {
    Appendf(out, "%sdifference file, classic format\n", prefix);
    Appendf(out, "%sfont: %s\n", prefix, std::string(data.fontName, strnlen(data.fontName, sizeof data.fontName)).c_str());
  }
  uint32_t newRevision = 0;
  const bool known = data.NewFontRevision(&newRevision);
  const std::string oldText = text::RevisionText(data.expectedRevision);
  const std::string newText = known ? text::RevisionText(newRevision) : "unknown";
  Appendf(out, "%srevision: %s \u2192 %s", prefix, oldText.c_str(), newText.c_str());
  // Revisions closer than the three decimals show.
  if (known && newText == oldText && newRevision != data.expectedRevision) {
    Appendf(out, " (0x%08X \u2192 0x%08X)", data.expectedRevision, newRevision);
  }
  Appendf(out, "\n");
  Appendf(out, "%snew file length: %s bytes\n", prefix, CountText(data.newFileLength).c_str());
  Appendf(out, "%sdate: %s\n", prefix, DateText(data.date).c_str());
  if (data.extended) {
    Appendf(out, "%stables: %u (the installed font has %u)\n", prefix, data.tableCount, data.oldTableCount);
  } else {
    Appendf(out, "%stables: %u\n", prefix, data.tableCount);
  }
  for (const auto& record : data.records) {
    Appendf(out, "%s  %-4s  %s, %s bytes%s\n", prefix, TagText(record->tag).c_str(), Change(*record),
            CountText(record->newLength).c_str(), record->hasBlock ? (": " + RunsText(*record)).c_str() : "");
  }
  const uint32_t dropped = DroppedTableCount(data);
  if (dropped != 0) {
    Appendf(out, "%s  dropped: %s of the installed font, which the file does not name\n", prefix,
            Counted(dropped, "table", "tables").c_str());
  }
}
