// A difference entry as the configuration makes it, for tests that build
// target lists without a configuration.
#ifndef OTU_TESTS_SABUN_ENTRY_H_
#define OTU_TESTS_SABUN_ENTRY_H_

#include <cstring>

#include "config/res_file_ctrl.h"

inline CSabunEntry Entry(const char* targetFileName, int32_t resourceId, const char* paFileName) {
  CSabunEntry entry;
  std::memset(&entry, 0, sizeof(entry));
  std::strcpy(entry.targetFileName, targetFileName);
  entry.resourceId = resourceId;
  std::strcpy(entry.paFileName, paFileName);
  return entry;
}

#endif  // OTU_TESTS_SABUN_ENTRY_H_
