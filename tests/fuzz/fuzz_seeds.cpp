// fuzz_seeds DIR: writes the first inputs of every fuzz target into
// DIR/<target>/: small fonts of the test font builder, difference files
// between them, configurations and file names of the shapes the program
// meets. scripts/fuzz adds what the corpus offers.
#include <cstdio>
#include <string>
#include <vector>

#include "engine/sabun_data.h"
#include "engine/sabun_format.h"
#include "platform/resources.h"
#include "tests/font_builder.h"
#include "tools/otpa/make_font.h"
#include "tools/otpa/make_sabun.h"

namespace {

bool Write(const std::string& path, const std::vector<uint8_t>& bytes) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && ok;
}

// Whether the engine's reader loads `file` with a compressed block in it.
bool HasCompressedBlock(const std::vector<uint8_t>& file) {
  platform::MemoryResources resources;
  resources.Add(sabun::kResourceType, 1, file);
  CMakeSabunData data(resources);
  if (data.LoadSabunData(1) != 1) return false;
  for (const auto& record : data.records) {
    if (record->encoding == sabun::ext::kAddCopyEncoding) return true;
  }
  return false;
}

bool WriteText(const std::string& path, const std::string& text) {
  return Write(path, std::vector<uint8_t>(text.begin(), text.end()));
}

std::vector<uint8_t> Pair(const std::vector<uint8_t>& oldFont, const std::vector<uint8_t>& newFont) {
  const uint32_t n = static_cast<uint32_t>(oldFont.size());
  std::vector<uint8_t> bytes = {static_cast<uint8_t>(n >> 24), static_cast<uint8_t>(n >> 16),
                                static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n)};
  bytes.insert(bytes.end(), oldFont.begin(), oldFont.end());
  bytes.insert(bytes.end(), newFont.begin(), newFont.end());
  return bytes;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: fuzz_seeds DIR\n");
    return 2;
  }
  const std::string dir = argv[1];
  const auto oldTables = testfont::SampleTables(0x10000, "Fuzz Mincho R", 1);
  const auto newTables = testfont::SampleTables(0x10042, "Fuzz Mincho R", 2, 61);
  const auto oldFont = testfont::BuildFont(oldTables);
  const auto newFont = testfont::BuildFont(newTables);
  const auto sabun = testfont::BuildSabun(testfont::DiffTables(oldTables, newTables, "Fuzz Mincho R", 0x10000));
  // The same revision of a font with a signature table, which only an
  // extended difference file revises (the font sabun_rebuild_fuzz applies
  // extended files to).
  auto signedTables = oldTables;
  signedTables.insert(signedTables.begin() + 2, {"DSIG", {0, 0, 0, 1, 0, 0, 0, 1}});
  maker::FontFile signedFont, revisedFont;
  std::string refusal, note;
  std::vector<uint8_t> extended;
  if (!maker::ReadFontFile("old", testfont::BuildFont(signedTables), &signedFont, &refusal) ||
      !maker::ReadFontFile("new", newFont, &revisedFont, &refusal) ||
      !maker::MakeSabunFile(signedFont, revisedFont, &extended, &refusal, &note)) {
    std::fprintf(stderr, "fuzz_seeds: %s\n", refusal.c_str());
    return 1;
  }
  // Compressed blocks: a longer CFF table, moved and changed in places.
  auto longTables = testfont::SampleTables(0x10042, "Fuzz Mincho R", 2, 3000);
  for (auto& table : longTables) {
    if (table.tag != "CFF ") continue;
    for (size_t at = 40; at < table.bytes.size(); at += 301) table.bytes[at] ^= 0x11;
    table.bytes.insert(table.bytes.begin() + 1000, 24, 0x8B);
  }
  maker::FontFile longFont;
  std::vector<uint8_t> compressed;
  if (!maker::ReadFontFile("new", testfont::BuildFont(longTables), &longFont, &refusal) ||
      !maker::MakeSabunFile(signedFont, longFont, &compressed, &refusal, &note, nullptr, maker::Encoding::kSmallest) ||
      !HasCompressedBlock(compressed)) {
    std::fprintf(stderr, "fuzz_seeds: no compressed CFF block: %s\n", refusal.c_str());
    return 1;
  }
  bool ok = Write(dir + "/font_identity_fuzz/old.otf", oldFont) && Write(dir + "/font_identity_fuzz/new.otf", newFont) &&
            Write(dir + "/sabun_rebuild_fuzz/small.pa", sabun) &&
            Write(dir + "/sabun_rebuild_fuzz/extended.pa", extended) &&
            Write(dir + "/sabun_rebuild_fuzz/compressed.pa", compressed) &&
            Write(dir + "/maker_fuzz/extended", Pair(testfont::BuildFont(signedTables), newFont)) &&
            Write(dir + "/maker_fuzz/pair", Pair(oldFont, newFont)) &&
            Write(dir + "/maker_fuzz/same", Pair(oldFont, oldFont)) &&
            WriteText(dir + "/configuration_fuzz/three.ini",
                      "[UPDATE_FONT]\r\nMAXNUM=3\r\nFONT_PAFILE1=SampleGothicProN-Bold_1.pa\r\nFONT_RESNUM1=2001\r\n"
                      "FONT_PAFILE2=dir\\SampleGothicProN-Bold_2.pa\r\nFONT_RESNUM2=2002\r\n"
                      "FONT_PAFILE3=SampleMinchoProN-Regular.pa\r\nFONT_RESNUM3=65535\r\n"
                      "[UPDATE_STARTDLG_STRING]\r\nMAIN_TEXTTITLE=\x83\x5e\x83\x75\x83\x8c\x83\x8d\x83\x93\r\n"
                      "MAXNUM=2\r\nFONT_TEXTTITLE1=\x81\x40\x81\x40\x81\x45SampleGothic ProN Bold\r\n"
                      "FONT_TEXTTITLE2=\"  quoted  \"") &&
            WriteText(dir + "/target_match_fuzz/plain", std::string("SampleGothicProN-Bold.otf\0D:\\Fonts", 35)) &&
            WriteText(dir + "/target_match_fuzz/suffix", std::string("SampleGothicProN-Bold12.otf\0D:", 30)) &&
            WriteText(dir + "/target_match_fuzz/sjis",
                      std::string("\x83\x54\x83\x93\x83\x76\x83\x8b" "ab.otf\0D:\\\x95\x5c\\\x83\x5c", 24));
  if (!ok) std::fprintf(stderr, "fuzz_seeds: cannot write into %s\n", dir.c_str());
  return ok ? 0 : 1;
}
