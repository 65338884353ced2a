// Any bytes as the embedded configuration, read in both encodings the
// programs use: the entries with their difference resources, and the start
// text.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "config/res_file_ctrl.h"
#include "platform/resources.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  platform::MemoryResources resources;
  resources.Add("INIFILE", CResFileCtrl::kConfigurationId, std::vector<uint8_t>(data, data + size));
  // A few of the resources the entries may name, one of them empty.
  resources.Add("FONT_PA", 2001, std::vector<uint8_t>(64, 0x58));
  resources.Add("FONT_PA", 2002, std::vector<uint8_t>(1, 0));
  resources.Add("FONT_PA", 65535, std::vector<uint8_t>());
  for (platform::TextEncoding encoding : {platform::TextEncoding::kShiftJis, platform::TextEncoding::kUtf8}) {
    CResFileCtrl control(resources, encoding);
    control.LoadConfiguration();
    for (int32_t i = 0; i < control.LoadedCount(); ++i) (void)control.Entry(i).targetFileName[0];
    (void)control.GetStartText();
    control.Clear();
  }
  return 0;
}
