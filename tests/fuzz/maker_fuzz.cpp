// Mutated pairs for the difference maker: the input is an old and a new font
// (a 4-byte big-endian length of the old one, then both). Whatever the maker
// makes must load and rebuild the new font exactly, unless it said why not
// (the installed licence texts are kept when the new font's differ).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/opentype_manager.h"
#include "platform/resources.h"
#include "tests/fake_file_system.h"
#include "tools/otpa/make_font.h"
#include "tools/otpa/make_sabun.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  const size_t oldLength = (size_t{data[0]} << 24) | (size_t{data[1]} << 16) | (size_t{data[2]} << 8) | data[3];
  if (oldLength > size - 4) return 0;
  std::vector<uint8_t> oldBytes(data + 4, data + 4 + oldLength);
  std::vector<uint8_t> newBytes(data + 4 + oldLength, data + size);
  maker::FontFile oldFont, newFont;
  std::string refusal, note;
  if (!maker::ReadFontFile("old", oldBytes, &oldFont, &refusal)) return 0;
  if (!maker::ReadFontFile("new", newBytes, &newFont, &refusal)) return 0;
  std::vector<uint8_t> sabun;
  if (!maker::MakeSabunFile(oldFont, newFont, &sabun, &refusal, &note) || !note.empty()) return 0;

  testfs::FakeFileSystem files;
  files.files["installed.otf"] = oldBytes;
  platform::MemoryResources resources;
  resources.Add("FONT_PA", 2001, sabun);
  COpenTypeManager manager(files, resources, nullptr);
  manager.PrepareFor(2001);
  int32_t result = manager.ReadFont("installed.otf", nullptr, nullptr, 1, 0);
  if (result == kUpdateOk) result = manager.TakeLicenseTexts();
  if (result == kUpdateOk) result = manager.RebuildFont("installed.otf", 2001, nullptr, nullptr, 1, 0);
  // A file the maker wrote that does not give back the new font is a fault.
  if (result != kUpdateOk || manager.NewImageSize() != newBytes.size() ||
      !std::equal(newBytes.begin(), newBytes.end(), manager.NewImage())) {
    std::abort();
  }
  return 0;
}
