// Mutated file names for the target matching, as Shift-JIS and as UTF-8
// text: the input is a file name, a NUL, then a folder path. The candidate
// file always holds a matching font, so the name rules decide.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "discovery/folder_check_ctrl.h"
#include "platform/resources.h"
#include "tests/fake_disk.h"
#include "tests/font_builder.h"
#include "tests/sabun_entry.h"

namespace {

std::vector<uint8_t> Sabun(const std::string& fontName, uint32_t revision) {
  testfont::SabunFile file;
  file.fontName = fontName;
  file.expectedRevision = revision;
  return testfont::BuildSabun(file);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const uint8_t* split = static_cast<const uint8_t*>(std::memchr(data, 0, size));
  std::string name(reinterpret_cast<const char*>(data), split == nullptr ? size : static_cast<size_t>(split - data));
  std::string folder = split == nullptr ? "" : std::string(reinterpret_cast<const char*>(split + 1),
                                                           size - static_cast<size_t>(split + 1 - data));
  if (folder.find('\0') != std::string::npos || name.find('\0') != std::string::npos) return 0;
  static const std::vector<uint8_t> font =
      testfont::BuildFont(testfont::SampleTables(0x10041, "SampleGothic ProN Bold", 1));
  for (NameRules rules : {NameRules{'\\', platform::TextEncoding::kShiftJis},
                          NameRules{'/', platform::TextEncoding::kUtf8}}) {
    testdisk::FakeDisk disk;
    platform::MemoryResources resources;
    resources.Add("FONT_PA", 2001, Sabun("SampleGothic ProN Bold", 0x10041));
    resources.Add("FONT_PA", 2002, Sabun("\x83\x54\x83\x93\x83\x76\x83\x8b", 0x10000));
    CFolderCheckCtrl controller(disk, resources, disk, rules);
    controller.BuildTargetList({Entry("SampleGothicProN-Bold.otf", 2001, "SampleGothicProN-Bold_1.pa"),
                                Entry("\x83\x54\x83\x93\x83\x76\x83\x8b.otf", 2002, "\x83\x54_2.pa")});
    const std::string path = folder + rules.separator + name;
    disk.AddFile(path, font);
    controller.MatchTarget(path.c_str(), name.c_str());
  }
  return 0;
}
