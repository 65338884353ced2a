// Any bytes as an installed font: the identity queries the search asks of
// every .otf (and .ttf) it finds, and the whole read of the update with the
// licence texts taken over, by the rules of classic and extended files.
#include <cstddef>
#include <cstdint>

#include "engine/opentype_manager.h"
#include "platform/resources.h"
#include "tests/fake_file_system.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  testfs::FakeFileSystem files;
  files.files["font.otf"] = std::vector<uint8_t>(data, data + size);
  platform::MemoryResources resources;
  // A resource that starts as an extended difference file: fonts are read
  // by its rules.
  resources.Add("FONT_PA", 1, std::vector<uint8_t>{'X', 'O', 'T', 'E'});
  COpenTypeManager manager(files, resources, nullptr);
  uint32_t revision = 0;
  char name[kFontNameSize];
  manager.GetFontIdentity("font.otf", &revision, name);
  COpenTypeManager::FontIdentity identity;
  manager.GetFontIdentity("font.otf", 6, &identity);
  if (manager.ReadFont("font.otf", nullptr, nullptr, 1, 0) == kUpdateOk) manager.TakeLicenseTexts();
  manager.PrepareFor(1);
  if (manager.ReadFont("font.otf", nullptr, nullptr, 1, 0) == kUpdateOk) manager.TakeLicenseTexts();
  return 0;
}
