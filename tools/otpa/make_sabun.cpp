#include "tools/otpa/make_sabun.h"

#include <cstring>
#include <string>

#include "engine/byte_io.h"
#include "engine/sabun_format.h"
#include "tools/otpa/make_parse.h"

namespace maker {
namespace {

struct TablePlan {
  const CTagObject* oldTable;
  const CTagObject* newTable;
  uint8_t order = 0;
  bool hasBlock = false;
  TableRuns runs;
};

bool SameTableSets(const FontFile& a, const FontFile& b, std::string* refusal) {
  for (const FontFile* one : {&a, &b}) {
    const FontFile* other = one == &a ? &b : &a;
    for (const auto& table : one->tables) {
      if (other->Find(table->tagText) == nullptr) {
        *refusal = "the fonts have different table sets: table '" + std::string(table->tagText) + "' is only in " +
                   one->label;
        return false;
      }
    }
  }
  return true;
}

bool SameOffsetTable(const FontFile& oldFont, const FontFile& newFont, std::string* refusal) {
  const COpenTypeHeader& a = oldFont.header;
  const COpenTypeHeader& b = newFont.header;
  if (a.searchRange == b.searchRange && a.entrySelector == b.entrySelector && a.rangeShift == b.rangeShift) return true;
  *refusal = newFont.label + ": its searchRange, entrySelector or rangeShift differs from " + oldFont.label +
             "'s, which the updater keeps";
  return false;
}

bool Unchanged(const CTagObject& oldTable, const CTagObject& newTable) {
  return oldTable.length == newTable.length && std::memcmp(oldTable.data, newTable.data, oldTable.length) == 0 &&
         PaddingIsZero(oldTable);
}

// A changed name table goes in whole as literal bytes. The installed
// License Description texts are a customer's own, of any length, and every
// string stored after them then lies elsewhere than in the old font: a copy
// from the installed name table could take the wrong bytes.
TableRuns Literal(uint32_t length) {
  TableRuns runs;
  if (length != 0) runs.inserts.push_back({0, length});
  return runs;
}

bool WriteBlock(const TablePlan& plan, otu::Writer* out) {
  bool ok = out->WriteU32(static_cast<uint32_t>(plan.runs.copies.size()));
  for (const CopyRun& run : plan.runs.copies) {
    ok = ok && out->WriteU32(run.source) && out->WriteU32(run.length) && out->WriteU32(run.destination);
  }
  ok = ok && out->WriteU32(static_cast<uint32_t>(plan.runs.inserts.size()));
  for (const InsertRun& run : plan.runs.inserts) {
    ok = ok && out->WriteU32(run.destination) && out->WriteU32(run.length) &&
         out->WriteBytes(plan.newTable->data + run.destination, run.length);
  }
  return ok;
}

}  // namespace

bool MakeSabunFile(const FontFile& oldFont, const FontFile& newFont, std::vector<uint8_t>* file,
                   std::string* refusal, std::string* note, std::string* nameNote) {
  InstalledIdentity identity;
  if (!ReadInstalledIdentity(oldFont, &identity, refusal) || !CheckReproducible(newFont, refusal) ||
      !SameTableSets(oldFont, newFont, refusal) || !SameOffsetTable(oldFont, newFont, refusal)) {
    return false;
  }

  uint8_t macintosh[kLicenseTextSize] = {};
  uint8_t windows[kLicenseTextSize] = {};
  note->clear();
  if (!ReadLicenseTexts(newFont, macintosh, windows) ||
      std::memcmp(macintosh, identity.macintoshLicense, kLicenseTextSize) != 0 ||
      std::memcmp(windows, identity.windowsLicense, kLicenseTextSize) != 0) {
    *note = "note: the License Description texts of " + newFont.label + " differ from " + oldFont.label +
            "'s; the updater keeps the installed ones, so the revised font will differ from " + newFont.label +
            " in them";
  }

  const size_t count = newFont.tables.size();
  std::vector<TablePlan> plans(count);
  const std::vector<size_t> physical = PhysicalOrder(newFont);
  for (size_t rank = 0; rank < count; ++rank) plans[physical[rank]].order = static_cast<uint8_t>(rank);
  uint64_t size = sabun::RecordOffset(count);
  for (size_t k = 0; k < count; ++k) {
    TablePlan& plan = plans[k];
    plan.newTable = newFont.tables[k].get();
    plan.oldTable = oldFont.Find(plan.newTable->tagText);
    plan.hasBlock = !Unchanged(*plan.oldTable, *plan.newTable);
    if (!plan.hasBlock) continue;
    plan.runs = ParseTable(plan.oldTable->data, plan.oldTable->length, plan.newTable->data, plan.newTable->length);
    if (std::strcmp(plan.newTable->tagText, "name") == 0) {
      const uint64_t copied = BlockSize(plan.runs);
      plan.runs = Literal(plan.newTable->length);
      if (nameNote != nullptr && BlockSize(plan.runs) > copied) {
        *nameNote = "note: the name table goes in as literal bytes, " + std::to_string(BlockSize(plan.runs) - copied) +
                    " more than copies would take, since a customer's License Description texts may differ in "
                    "length from " + oldFont.label + "'s";
      }
    }
    size += BlockSize(plan.runs);
  }
  if (size > UINT32_MAX) {
    *refusal = "the difference file would exceed the 4 GB its offsets can address";
    return false;
  }

  file->assign(static_cast<size_t>(size), 0);
  otu::Writer out(file->data(), file->size());
  bool ok = out.WriteBytes(sabun::kMagic, sabun::kMagicLength) &&
            out.WriteBytes(identity.fontName, sabun::kFontNameSize) && out.WriteU32(identity.fontRevision) &&
            out.WriteU32(static_cast<uint32_t>(newFont.bytes.size())) && out.WriteU8(static_cast<uint8_t>(count));
  uint8_t date[sabun::kDateSize];
  ReadModifiedDate(newFont, date);
  ok = ok && out.WriteBytes(date, sizeof date);

  uint64_t blockOffset = sabun::RecordOffset(count);
  for (size_t k = 0; k < count; ++k) {
    const TablePlan& plan = plans[k];
    ok = ok && out.WriteBytes(plan.newTable->tag, 4) && out.WriteU8(static_cast<uint8_t>(k)) &&
         out.WriteU8(plan.order) && out.WriteU32(plan.hasBlock ? static_cast<uint32_t>(blockOffset) : 0) &&
         out.WriteU32(plan.newTable->length) && out.WriteU32(plan.newTable->offset);
    if (plan.hasBlock) blockOffset += BlockSize(plan.runs);
  }
  for (const TablePlan& plan : plans) {
    if (plan.hasBlock) ok = ok && WriteBlock(plan, &out);
  }
  if (!ok || out.offset() != file->size()) {
    *refusal = "internal error: the difference file did not come out at its computed size";
    return false;
  }
  return true;
}

}  // namespace maker
