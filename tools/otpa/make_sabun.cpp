#include "tools/otpa/make_sabun.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

#include "engine/byte_io.h"
#include "engine/name_table.h"
#include "engine/sabun_format.h"
#include "tools/otpa/make_add_copy.h"
#include "tools/otpa/make_parse.h"

namespace maker {
namespace {

struct TablePlan {
  const CTagObject* oldTable = nullptr;  // none for a table the new font adds
  const CTagObject* newTable = nullptr;
  uint16_t order = 0;
  bool hasBlock = false;
  TableRuns runs;
  // The compressed add-and-copy block when it is smaller than the runs.
  uint8_t encoding = sabun::ext::kRunsEncoding;
  std::vector<uint8_t> packed;

  uint64_t Size() const { return encoding == sabun::ext::kAddCopyEncoding ? packed.size() : BlockSize(runs); }
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

std::string LicenceNote(const FontFile& oldFont, const FontFile& newFont) {
  return "note: the License Description texts of " + newFont.label + " differ from " + oldFont.label +
         "'s; the updater keeps the installed ones, so the revised font will differ from " + newFont.label +
         " in them";
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
  if (plan.encoding == sabun::ext::kAddCopyEncoding) return out->WriteBytes(plan.packed.data(), plan.packed.size());
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

// Takes the compressed add-and-copy block of `plan` when it is smaller than
// its runs; `literal` when the block may take nothing from the old table.
// `index` is the old table's, or null with `literal`.
void ChooseEncoding(bool literal, const OldTableIndex* index, TablePlan* plan) {
  const CTagObject& neu = *plan->newTable;
  const uint8_t* old = literal ? nullptr : index->old();
  const size_t oldLength = literal ? 0 : index->length();
  uint64_t smallest = BlockSize(plan->runs);
  std::vector<uint8_t> packed;
  const auto consider = [&](const AddCopyStreams& streams) {
    if (PackAddCopy(streams, &packed) && packed.size() < smallest) {
      smallest = packed.size();
      plan->encoding = sabun::ext::kAddCopyEncoding;
      plan->packed = std::move(packed);
    }
  };
  consider(literal ? MatchTable(nullptr, 0, neu.data, neu.length) : MatchTable(*index, neu.data, neu.length));
  // The table aligned whole, where at least a quarter of the bytes are the
  // same at the same offsets: elsewhere its differences compress no better
  // than the new bytes themselves, and compressing them takes the time.
  size_t same = 0;
  for (size_t k = 0; k < std::min(oldLength, size_t{neu.length}); ++k) same += old[k] == neu.data[k];
  if (same != 0 && same >= neu.length / 4) consider(AlignTable(old, oldLength, neu.data, neu.length));
}

// The blocks of every table of `newFont`, in its directory order, and the
// bytes they take. Unchanged tables get none; a changed name table and a
// table `oldFont` lacks go in as literal bytes (compressed, when `compact`
// and that is smaller). With `compact`, each block is the smaller of the
// runs and the compressed add-and-copy encoding.
uint64_t PlanTables(const FontFile& oldFont, const FontFile& newFont, std::vector<TablePlan>* plans,
                    std::string* nameNote, bool compact) {
  const size_t count = newFont.tables.size();
  plans->assign(count, TablePlan{});
  const std::vector<size_t> physical = PhysicalOrder(newFont);
  for (size_t rank = 0; rank < count; ++rank) (*plans)[physical[rank]].order = static_cast<uint16_t>(rank);
  uint64_t size = 0;
  for (size_t k = 0; k < count; ++k) {
    TablePlan& plan = (*plans)[k];
    plan.newTable = newFont.tables[k].get();
    plan.oldTable = oldFont.Find(plan.newTable->tagText);
    plan.hasBlock = plan.oldTable == nullptr || !Unchanged(*plan.oldTable, *plan.newTable);
    if (!plan.hasBlock) continue;
    // One index of the old table for both searches.
    std::unique_ptr<OldTableIndex> index;
    if (plan.oldTable == nullptr) {
      plan.runs = Literal(plan.newTable->length);
    } else {
      index = std::make_unique<OldTableIndex>(plan.oldTable->data, plan.oldTable->length);
      plan.runs = ParseTable(*index, plan.newTable->data, plan.newTable->length);
    }
    const bool literal = plan.oldTable == nullptr || std::strcmp(plan.newTable->tagText, "name") == 0;
    if (plan.oldTable != nullptr && literal) {
      const uint64_t copied = BlockSize(plan.runs);
      plan.runs = Literal(plan.newTable->length);
      if (compact) ChooseEncoding(literal, nullptr, &plan);
      if (nameNote != nullptr && plan.Size() > copied) {
        *nameNote = "note: the name table goes in as literal bytes, " + std::to_string(plan.Size() - copied) +
                    " more than copies would take, since a customer's License Description texts may differ in "
                    "length from " + oldFont.label + "'s";
      }
    } else if (compact) {
      ChooseEncoding(literal, index.get(), &plan);
    }
    size += plan.Size();
  }
  return size;
}

// Writes the blocks after a header and records written `ok`, and checks that
// the file came out at its planned size.
bool WriteBlocks(bool ok, const std::vector<TablePlan>& plans, otu::Writer* out, const std::vector<uint8_t>& file,
                 std::string* refusal) {
  for (const TablePlan& plan : plans) {
    if (plan.hasBlock) ok = ok && WriteBlock(plan, out);
  }
  if (!ok || out->offset() != file.size()) {
    *refusal = "internal error: the difference file did not come out at its computed size";
    return false;
  }
  return true;
}

bool FitsOffsets(uint64_t size, std::string* refusal) {
  if (size <= UINT32_MAX) return true;
  *refusal = "the difference file would exceed the 4 GB its offsets can address";
  return false;
}

bool MakeClassic(const FontFile& oldFont, const FontFile& newFont, const InstalledIdentity& identity,
                 std::vector<uint8_t>* file, std::string* refusal, std::string* note, std::string* nameNote) {
  uint8_t macintosh[kLicenseTextSize] = {};
  uint8_t windows[kLicenseTextSize] = {};
  if (!ReadLicenseTexts(newFont, macintosh, windows) ||
      std::memcmp(macintosh, identity.macintoshLicense, kLicenseTextSize) != 0 ||
      std::memcmp(windows, identity.windowsLicense, kLicenseTextSize) != 0) {
    *note = LicenceNote(oldFont, newFont);
  }

  const size_t count = newFont.tables.size();
  std::vector<TablePlan> plans;
  const uint64_t size = sabun::RecordOffset(count) + PlanTables(oldFont, newFont, &plans, nameNote, false);
  if (!FitsOffsets(size, refusal)) return false;

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
         out.WriteU8(static_cast<uint8_t>(plan.order)) &&
         out.WriteU32(plan.hasBlock ? static_cast<uint32_t>(blockOffset) : 0) &&
         out.WriteU32(plan.newTable->length) && out.WriteU32(plan.newTable->offset);
    if (plan.hasBlock) blockOffset += plan.Size();
  }
  return WriteBlocks(ok, plans, &out, *file, refusal);
}

// True when the carry-over of the extended format would change what
// `newFont` holds: one of its License Description records differs from the
// record of the same platform, encoding and language in `oldFont`.
bool ExtendedCarryChanges(const FontFile& oldFont, const FontFile& newFont) {
  const CTagObject* oldName = oldFont.Find("name");
  const CTagObject* newName = newFont.Find("name");
  std::vector<LicenceRecord> installed;
  if (oldName == nullptr || newName == nullptr || !ReadLicenceRecords(oldName->data, oldName->length, &installed)) {
    return false;
  }
  std::vector<uint8_t> carried;
  return !CarryLicenceRecords(newName->data, newName->length, installed, &carried) ||
         carried.size() != newName->length || std::memcmp(carried.data(), newName->data, carried.size()) != 0;
}

// With `compact`, each block the smaller of the runs and the compressed
// encoding; `runBlocks`, when given, gets the bytes the runs' blocks take,
// which a classic file of the pair would hold after its records.
bool MakeExtended(const FontFile& oldFont, const FontFile& newFont, std::vector<uint8_t>* file,
                  std::string* refusal, std::string* note, std::string* nameNote, bool compact,
                  uint64_t* runBlocks = nullptr) {
  namespace ext = sabun::ext;
  ExtendedIdentity identity;
  if (!ReadExtendedIdentity(oldFont, &identity, refusal) || !CheckReproducible(newFont, refusal) ||
      !CheckSearchFields(newFont, refusal)) {
    return false;
  }
  // The updater carries the installed licence records into the new font's
  // name table, which it must be able to read.
  const CTagObject* newName = newFont.Find("name");
  std::vector<NameString> strings;
  if (newName != nullptr && !ReadNameStrings(newName->data, newName->length, &strings)) {
    *refusal = newFont.label + ": its name table is not well-formed";
    return false;
  }
  if (ExtendedCarryChanges(oldFont, newFont)) *note = LicenceNote(oldFont, newFont);

  const size_t count = newFont.tables.size();
  const size_t headerSize = ext::kFixedHeaderSize + identity.name.size();
  std::vector<TablePlan> plans;
  const uint64_t size = ext::RecordOffset(headerSize, count) + PlanTables(oldFont, newFont, &plans, nameNote, compact);
  if (runBlocks != nullptr) {
    *runBlocks = 0;
    for (const TablePlan& plan : plans) *runBlocks += plan.hasBlock ? BlockSize(plan.runs) : 0;
  }
  if (!FitsOffsets(size, refusal)) return false;

  file->assign(static_cast<size_t>(size), 0);
  otu::Writer out(file->data(), file->size());
  uint8_t date[sabun::kDateSize];
  ReadModifiedDate(newFont, date);
  bool ok = out.WriteBytes(ext::kMagic, sizeof ext::kMagic) && out.WriteU8(ext::kMajorVersion) &&
            out.WriteU8(ext::kMinorVersion) && out.WriteU16(0) && out.WriteU32(static_cast<uint32_t>(headerSize)) &&
            out.WriteU32(identity.fontRevision) && out.WriteU32(oldFont.header.sfntVersion) &&
            out.WriteU32(newFont.header.sfntVersion) && out.WriteU32(static_cast<uint32_t>(newFont.bytes.size())) &&
            out.WriteBytes(date, sizeof date) && out.WriteU16(static_cast<uint16_t>(count)) &&
            out.WriteU16(oldFont.header.numTables) && out.WriteU16(identity.nameId) &&
            out.WriteU8(static_cast<uint8_t>(identity.name.size())) &&
            out.WriteBytes(identity.name.data(), identity.name.size());

  uint64_t blockOffset = ext::RecordOffset(headerSize, count);
  for (size_t k = 0; k < count; ++k) {
    const TablePlan& plan = plans[k];
    const uint64_t blockLength = plan.hasBlock ? plan.Size() : 0;
    const uint8_t flags = (plan.hasBlock ? ext::kHasBlock : 0) | (plan.oldTable == nullptr ? ext::kNewTable : 0);
    ok = ok && out.WriteBytes(plan.newTable->tag, 4) && out.WriteU16(static_cast<uint16_t>(k)) &&
         out.WriteU16(plan.order) && out.WriteU8(flags) && out.WriteU8(plan.encoding) &&
         out.WriteU32(plan.hasBlock ? static_cast<uint32_t>(blockOffset) : 0) &&
         out.WriteU32(static_cast<uint32_t>(blockLength)) && out.WriteU32(plan.newTable->length) &&
         out.WriteU32(plan.newTable->offset) &&
         out.WriteU32(plan.oldTable != nullptr ? TableChecksumWithoutAdjustment(*plan.oldTable) : 0);
    blockOffset += blockLength;
  }
  return WriteBlocks(ok, plans, &out, *file, refusal);
}

}  // namespace

bool MakeSabunFile(const FontFile& oldFont, const FontFile& newFont, std::vector<uint8_t>* file,
                   std::string* refusal, std::string* note, std::string* nameNote, Encoding encoding) {
  note->clear();
  InstalledIdentity identity;
  std::string classicRefusal;
  const bool classic = FitsClassicTables(oldFont, &classicRefusal) &&
                       ReadInstalledIdentity(oldFont, &identity, &classicRefusal) &&
                       CheckReproducible(newFont, refusal) && FitsClassicTables(newFont, &classicRefusal) &&
                       SameTableSets(oldFont, newFont, &classicRefusal) &&
                       SameOffsetTable(oldFont, newFont, &classicRefusal);
  if (encoding == Encoding::kClassic) {
    // The classic format wherever it can express the pair: an updater reads
    // those files by the rules it always had.
    if (classic) return MakeClassic(oldFont, newFont, identity, file, refusal, note, nameNote);
    return MakeExtended(oldFont, newFont, file, refusal, note, nameNote, false);
  }
  if (!classic) return MakeExtended(oldFont, newFont, file, refusal, note, nameNote, true);
  // The classic file when it is no larger, since every updater reads it:
  // its size is known from the extended file's runs, and it is made only
  // when it is the one written.
  uint64_t runBlocks = 0;
  std::string extendedRefusal;
  if (MakeExtended(oldFont, newFont, file, &extendedRefusal, note, nameNote, true, &runBlocks) &&
      sabun::RecordOffset(newFont.tables.size()) + runBlocks > file->size()) {
    return true;
  }
  note->clear();
  if (nameNote != nullptr) nameNote->clear();
  return MakeClassic(oldFont, newFont, identity, file, refusal, note, nameNote);
}

}  // namespace maker
