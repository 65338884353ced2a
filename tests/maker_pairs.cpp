// Writes small font pairs, built in code, for the maker's command-line tests:
// DIR/<case>.old.otf, <case>.new.otf and <case>.expect, which holds "ok" (the
// difference file must rebuild the new font) or "refuse WORDS" (otpa make
// must refuse, naming WORDS in its reason).
#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "tests/font_builder.h"
#include "tests/maker_font_edits.h"

namespace {

using testfont::Bytes;
using testfont::EntryOffset;
using testfont::Resum;
using testfont::Table;

constexpr uint32_t kOldRevision = 0x00010000;
constexpr uint32_t kNewRevision = 0x00010001;
constexpr char kFullName[] = "SampleMincho ProN R";

Bytes Random(std::mt19937* random, size_t n) {
  Bytes bytes(n);
  for (uint8_t& b : bytes) b = static_cast<uint8_t>((*random)());
  return bytes;
}

Bytes Join(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

Table* FindTable(std::vector<Table>* tables, const std::string& tag) {
  for (Table& table : *tables) {
    if (table.tag == tag) return &table;
  }
  return nullptr;
}

// The same tables stored in reverse order behind an unchanged directory order.
Bytes StoredInReverse(const Bytes& font) {
  Bytes out(font.begin(), font.begin() + 12);
  const uint16_t count = static_cast<uint16_t>(font[4] << 8 | font[5]);
  out.resize(12 + 16 * count);
  std::copy(font.begin() + 12, font.begin() + 12 + 16 * count, out.begin() + 12);
  for (size_t k = count; k-- > 0;) {
    const size_t entry = 12 + 16 * k;
    const uint32_t offset = testfont::ReadU32(font, entry + 8);
    const uint32_t length = testfont::ReadU32(font, entry + 12);
    testfont::WriteU32(&out, entry + 8, static_cast<uint32_t>(out.size()));
    out.insert(out.end(), font.begin() + offset, font.begin() + offset + length);
    out.resize((out.size() + 3) & ~size_t{3}, 0);
  }
  Resum(&out);
  return out;
}

struct Pair {
  std::string name;
  Bytes oldFont;
  Bytes newFont;  // empty: no file
  std::string expect;
};

bool WriteFile(const std::string& path, const Bytes& bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && ok;
}

std::vector<Pair> Pairs() {
  std::mt19937 random(2024);
  std::vector<Table> oldTables = testfont::SampleTables(kOldRevision, kFullName, 1);
  FindTable(&oldTables, "CFF ")->bytes = Random(&random, 6000);
  const Bytes oldFont = testfont::BuildFont(oldTables);

  auto revised = [&]() {
    std::vector<Table> tables = oldTables;
    FindTable(&tables, "head")->bytes = testfont::HeadTable(kNewRevision, 7);
    return tables;
  };
  std::vector<Pair> pairs;

  std::vector<Table> edited = revised();
  const Bytes& cff = FindTable(&oldTables, "CFF ")->bytes;
  FindTable(&edited, "CFF ")->bytes =
      Join({Random(&random, 29), Bytes(cff.begin(), cff.begin() + 2500), Random(&random, 3),
            Bytes(cff.begin() + 2600, cff.begin() + 4100), Bytes(cff.begin() + 700, cff.begin() + 900),
            Bytes(cff.begin() + 4100, cff.end() - 5)});
  pairs.push_back({"cff-edited", oldFont, testfont::BuildFont(edited), "ok"});

  pairs.push_back({"head-only", oldFont, testfont::BuildFont(revised()), "ok"});

  std::vector<Table> resized = revised();
  FindTable(&resized, "BASE")->bytes.clear();
  FindTable(&resized, "post")->bytes.resize(7, 0);
  FindTable(&resized, "CFF ")->bytes.resize(6003, 0x5A);
  pairs.push_back({"resized", oldFont, testfont::BuildFont(resized), "ok"});

  pairs.push_back({"stored-in-reverse", oldFont, StoredInReverse(testfont::BuildFont(edited)), "ok"});

  // Non-zero bytes after an old table that is itself unchanged: carried over
  // without a block, the rebuilt table would be checksummed with them.
  Bytes dirtyPadding = oldFont;
  const size_t base = EntryOffset(dirtyPadding, "BASE");
  dirtyPadding[testfont::ReadU32(dirtyPadding, base + 8) + 9] = 0xEE;
  pairs.push_back({"old-padding-dirty", dirtyPadding, testfont::BuildFont(revised()), "ok"});

  // The last table's padding left off at the end of the file.
  std::vector<Table> unpadded = revised();
  FindTable(&unpadded, "post")->bytes.resize(30, 0);
  Bytes cut = testfont::BuildFont(unpadded);
  cut.resize(cut.size() - 2);
  pairs.push_back({"unpadded-end", oldFont, cut, "ok"});

  Bytes notOtto = testfont::BuildFont(oldTables, 0x00010000);
  pairs.push_back({"refuse-old-not-otto", notOtto, testfont::BuildFont(revised()), "refuse OTTO"});
  pairs.push_back({"refuse-new-not-otto", oldFont, testfont::BuildFont(revised(), 0x00010000), "refuse OTTO"});

  std::vector<Table> withDsig = oldTables;
  withDsig.push_back({"DSIG", Bytes(8, 1)});
  pairs.push_back({"extended-signature-dropped", testfont::BuildFont(withDsig), testfont::BuildFont(revised()), "ok"});

  std::vector<Table> extra = revised();
  extra.insert(extra.begin() + 2, Table{"GPOS", Bytes(12, 2)});
  pairs.push_back({"extended-table-added", oldFont, testfont::BuildFont(extra), "ok"});

  std::vector<Table> renamed = revised();
  FindTable(&renamed, "post")->tag = "vhea";
  pairs.push_back({"extended-table-replaced", oldFont, testfont::BuildFont(renamed), "ok"});

  std::vector<Table> longName = oldTables;
  FindTable(&longName, "name")->bytes = testfont::NameTable(
      testfont::StandardNameRecords("SampleMincho ProN R Extra Long 32", "Mac licence text", "Windows licence"));
  pairs.push_back({"extended-long-name", testfont::BuildFont(longName), testfont::BuildFont(revised()), "ok"});

  std::vector<Table> noLicense = oldTables;
  FindTable(&noLicense, "name")->bytes =
      testfont::NameTable(testfont::StandardNameRecords(kFullName, "Mac licence text", ""));
  pairs.push_back({"extended-one-licence", testfont::BuildFont(noLicense), testfont::BuildFont(revised()), "ok"});

  // TrueType outlines under both sfnt versions that fonts carry.
  std::vector<Table> trueType = oldTables;
  trueType.push_back({"glyf", Random(&random, 900)});
  trueType.push_back({"loca", Bytes{0, 0, 1, 0xC2}});
  std::sort(trueType.begin(), trueType.end(), [](const Table& a, const Table& b) { return a.tag < b.tag; });
  std::vector<Table> trueTypeNew = trueType;
  FindTable(&trueTypeNew, "head")->bytes = testfont::HeadTable(kNewRevision, 7);
  FindTable(&trueTypeNew, "glyf")->bytes[300] ^= 0x40;
  pairs.push_back({"extended-truetype", testfont::BuildFont(trueType, 0x00010000),
                   testfont::BuildFont(trueTypeNew, 0x00010000), "ok"});
  pairs.push_back({"extended-true", testfont::BuildFont(trueType, 0x74727565),
                   testfont::BuildFont(trueTypeNew, 0x74727565), "ok"});

  Bytes overlap = testfont::BuildFont(revised());
  const size_t post = EntryOffset(overlap, "post");
  testfont::WriteU32(&overlap, post + 8, testfont::ReadU32(overlap, post + 8) - 8);
  Resum(&overlap);
  pairs.push_back({"refuse-overlap", oldFont, overlap, "refuse overlaps"});

  Bytes unaligned = testfont::BuildFont(revised());
  const size_t baseEntry = EntryOffset(unaligned, "BASE");
  testfont::WriteU32(&unaligned, baseEntry + 8, testfont::ReadU32(unaligned, baseEntry + 8) + 2);
  pairs.push_back({"refuse-unaligned", oldFont, unaligned, "refuse aligned"});

  Bytes dirty = testfont::BuildFont(revised());
  dirty[testfont::ReadU32(dirty, EntryOffset(dirty, "BASE") + 8) + 10] = 1;
  Resum(&dirty);
  pairs.push_back({"refuse-new-padding", oldFont, dirty, "refuse padding"});

  Bytes truncated = oldFont;
  truncated.resize(truncated.size() - 40);
  pairs.push_back({"refuse-truncated", truncated, testfont::BuildFont(revised()), "refuse past the end"});

  pairs.push_back({"refuse-unreadable", oldFont, Bytes(), "refuse cannot be read"});
  // A collection and a web font are no installed fonts, whatever they hold.
  for (const auto& [name, magic, words] : {std::make_tuple("refuse-collection", "ttcf", "refuse collection"),
                                           std::make_tuple("refuse-web-font", "wOF2", "refuse web font")}) {
    Bytes wrapped = oldFont;
    std::copy(magic, magic + 4, wrapped.begin());
    pairs.push_back({name, wrapped, testfont::BuildFont(revised()), words});
  }
  return pairs;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: maker_pairs DIR\n");
    return 2;
  }
  const std::string dir = argv[1];
  for (const Pair& pair : Pairs()) {
    const std::string base = dir + "/" + pair.name;
    bool ok = WriteFile(base + ".old.otf", pair.oldFont) &&
              WriteFile(base + ".expect", Bytes(pair.expect.begin(), pair.expect.end()));
    if (!pair.newFont.empty()) ok = ok && WriteFile(base + ".new.otf", pair.newFont);
    if (!ok) {
      std::fprintf(stderr, "maker_pairs: cannot write %s\n", base.c_str());
      return 1;
    }
  }
  return 0;
}
