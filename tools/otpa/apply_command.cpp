// otpa apply / otpa update: the engine's rebuild and update on files.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "engine/opentype_manager.h"
#include "engine/sabun_data.h"
#include "engine/sabun_format.h"
#include "platform/file_system.h"
#include "platform/resources.h"
#include "tools/otpa/commands.h"
#include "tools/otpa/file_bytes.h"

namespace {

constexpr uint16_t kDiffId = 1;

// The one difference file given on the command line is the target of every
// font.
class SingleTarget : public CTargetLookup {
 public:
  bool FindTargetResource(const char*, int32_t, int32_t* resourceId) const override {
    *resourceId = kDiffId;
    return true;
  }
};

bool LoadDiff(const char* path, FileResource* resource) {
  if (!resource->Read(path)) {
    std::fprintf(stderr, "otpa: cannot read %s\n", path);
    return false;
  }
  return true;
}

int Finish(const char* path, int32_t result) {
  std::printf("%s: result %d: %s\n", path, static_cast<int>(result), ResultMeaning(result));
  return result;
}

int32_t PrintProgress(int32_t overall, int32_t current, const char* fileText, const char* stepText, void*) {
  std::printf("%3d%% %3d%% %s %s\n", static_cast<int>(overall), static_cast<int>(current), fileText, stepText);
  return 0;
}

}  // namespace

int RunApply(int argc, char** argv) {
  if (argc != 5 || std::strcmp(argv[3], "-o") != 0) {
    std::fprintf(stderr, "usage: otpa apply OLD.otf DIFF.pa -o OUT.otf\n");
    return 2;
  }
  const char* oldPath = argv[1];
  FileResource resources(sabun::kResourceType, kDiffId);
  if (!LoadDiff(argv[2], &resources)) return 2;
  COpenTypeManager manager(platform::HostFileSystem(), resources, nullptr);
  manager.PrepareFor(kDiffId);
  int32_t result = manager.ReadFont(oldPath, nullptr, nullptr, 1, 0);
  if (result == kUpdateOk) result = manager.TakeLicenseTexts();
  if (result == kUpdateOk) result = manager.RebuildFont(oldPath, kDiffId, nullptr, nullptr, 1, 0);
  if (result == kUpdateOk && !WriteFileBytes(argv[4], manager.NewImage(), manager.NewImageSize())) {
    result = kUpdateTempFileFailed;
  }
  return Finish(argv[4], result);
}

int RunUpdate(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: otpa update FONT.otf DIFF.pa\n");
    return 2;
  }
  FileResource resources(sabun::kResourceType, kDiffId);
  if (!LoadDiff(argv[2], &resources)) return 2;
  SingleTarget target;
  COpenTypeManager manager(platform::HostFileSystem(), resources, &target);
  int marker = 0;  // the driver reports its first steps only to a caller with a context
  int32_t result = manager.UpdateFont(argv[1], 0, PrintProgress, &marker, 1, 0);
  return Finish(argv[1], result);
}
