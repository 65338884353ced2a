// How the update driver learns which difference file revises an installed
// font: the search controller answers from its target list; the maker's tools
// answer with the one difference file they were given.
#ifndef OTU_ENGINE_TARGET_LOOKUP_H_
#define OTU_ENGINE_TARGET_LOOKUP_H_

#include <cstdint>

class CTargetLookup {
 public:
  virtual ~CTargetLookup() = default;
  // The FONT_PA resource id of the target entry for (installed path, expected
  // revision); false when no entry matches.
  virtual bool FindTargetResource(const char* path, int32_t expectedRevision,
                                  int32_t* resourceId) const = 0;
};

#endif  // OTU_ENGINE_TARGET_LOOKUP_H_
