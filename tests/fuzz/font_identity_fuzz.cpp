// Any bytes as an installed font: the identity query the search asks of
// every .otf it finds, and the whole read of the update with the licence
// texts taken over.
#include <cstddef>
#include <cstdint>

#include "engine/opentype_manager.h"
#include "platform/resources.h"
#include "tests/fake_file_system.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  testfs::FakeFileSystem files;
  files.files["font.otf"] = std::vector<uint8_t>(data, data + size);
  platform::MemoryResources resources;
  COpenTypeManager manager(files, resources, nullptr);
  uint32_t revision = 0;
  char name[kFontNameSize];
  manager.GetFontIdentity("font.otf", &revision, name);
  if (manager.ReadFont("font.otf", nullptr, nullptr, 1, 0) == kUpdateOk) manager.TakeLicenseTexts();
  return 0;
}
