// Any bytes as the difference resource of a real installed font: loaded and
// applied as a whole in memory, every table rebuilt, assembled and summed.
// The font is OTU_FUZZ_FONT (a corpus font) or, without it, a small font
// built here.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "engine/opentype_manager.h"
#include "platform/resources.h"
#include "tests/fake_file_system.h"
#include "tests/font_builder.h"

namespace {

constexpr uint16_t kDifferenceId = 2001;
std::vector<uint8_t> installed;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const char* path = std::getenv("OTU_FUZZ_FONT");
  if (path != nullptr) {
    FILE* file = std::fopen(path, "rb");
    if (file == nullptr) {
      std::fprintf(stderr, "OTU_FUZZ_FONT: cannot open %s\n", path);
      std::exit(1);
    }
    uint8_t chunk[1 << 16];
    for (size_t got; (got = std::fread(chunk, 1, sizeof chunk, file)) > 0;) installed.insert(installed.end(), chunk, chunk + got);
    std::fclose(file);
  } else {
    installed = testfont::BuildFont(testfont::SampleTables(0x10000, "Fuzz Mincho R", 1));
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  testfs::FakeFileSystem files;
  files.files["installed.otf"] = installed;
  platform::MemoryResources resources;
  resources.Add("FONT_PA", kDifferenceId, std::vector<uint8_t>(data, data + size));
  COpenTypeManager manager(files, resources, nullptr);
  if (manager.ReadFont("installed.otf", nullptr, nullptr, 1, 0) != kUpdateOk) return 0;
  if (manager.TakeLicenseTexts() != kUpdateOk) return 0;
  manager.RebuildFont("installed.otf", kDifferenceId, nullptr, nullptr, 1, 0);
  return 0;
}
