// Any bytes as the difference resource of a real installed font: loaded and
// applied as a whole in memory, every table rebuilt, assembled and summed.
// The font is OTU_FUZZ_FONT (a corpus font) or, without it, a small font
// built here; bytes that start as an extended file go to
// OTU_FUZZ_EXTENDED_FONT (a font of the makers corpus) or that small font
// with a signature table, which only extended files revise.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "engine/opentype_manager.h"
#include "platform/resources.h"
#include "tests/fake_file_system.h"
#include "tests/font_builder.h"

namespace {

constexpr uint16_t kDifferenceId = 2001;
std::vector<uint8_t> installed;
std::vector<uint8_t> installedForExtended;

// The font file the variable names, or `fallback` without one.
std::vector<uint8_t> FontOf(const char* variable, std::vector<uint8_t> fallback) {
  const char* path = std::getenv(variable);
  if (path == nullptr) return fallback;
  FILE* file = std::fopen(path, "rb");
  if (file == nullptr) {
    std::fprintf(stderr, "%s: cannot open %s\n", variable, path);
    std::exit(1);
  }
  std::vector<uint8_t> bytes;
  uint8_t chunk[1 << 16];
  for (size_t got; (got = std::fread(chunk, 1, sizeof chunk, file)) > 0;) bytes.insert(bytes.end(), chunk, chunk + got);
  std::fclose(file);
  return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::vector<testfont::Table> tables = testfont::SampleTables(0x10000, "Fuzz Mincho R", 1);
  installed = FontOf("OTU_FUZZ_FONT", testfont::BuildFont(tables));
  tables.insert(tables.begin() + 2, {"DSIG", {0, 0, 0, 1, 0, 0, 0, 1}});
  installedForExtended = FontOf("OTU_FUZZ_EXTENDED_FONT", testfont::BuildFont(tables));
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  testfs::FakeFileSystem files;
  platform::MemoryResources resources;
  resources.Add("FONT_PA", kDifferenceId, std::vector<uint8_t>(data, data + size));
  COpenTypeManager manager(files, resources, nullptr);
  manager.PrepareFor(kDifferenceId);
  files.files["installed.otf"] = size >= 4 && std::memcmp(data, "XOTE", 4) == 0 ? installedForExtended : installed;
  if (manager.ReadFont("installed.otf", nullptr, nullptr, 1, 0) != kUpdateOk) return 0;
  if (manager.TakeLicenseTexts() != kUpdateOk) return 0;
  manager.RebuildFont("installed.otf", kDifferenceId, nullptr, nullptr, 1, 0);
  return 0;
}
