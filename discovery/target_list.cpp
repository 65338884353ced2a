// The target half of the search controller: the target list and the
// matching of found files against it.
#include <cstring>

#include "discovery/folder_check_ctrl.h"
#include "engine/opentype_manager.h"
#include "engine/sabun_data.h"

namespace {

// Copies a text of at most size - 1 bytes; a longer one is cut, the field
// stays terminated.
template <size_t kSize>
void CopyField(char (&field)[kSize], const char* text, size_t length) {
  size_t n = length < kSize ? length : kSize - 1;
  std::memcpy(field, text, n);
  field[n] = '\0';
}

}  // namespace

int CFolderCheckCtrl::BuildTargetList(const std::vector<CSabunEntry>& entries) {
  for (const CSabunEntry& entry : entries) AddTarget(entry);
  return 1;
}

void CFolderCheckCtrl::AddTarget(const CSabunEntry& entry) {
  CMakeSabunData sabun(resources_);
  char fontName[32];
  uint32_t expectedRevision = 0;
  if (sabun.GetFontInfo(entry.resourceId, fontName, &expectedRevision) != 1) return;

  auto target = std::make_unique<CTargetEntry>();
  std::memset(target.get(), 0, sizeof(CTargetEntry));
  CopyField(target->paFileName, entry.paFileName, strnlen(entry.paFileName, sizeof(entry.paFileName)));
  CopyField(target->targetFileName, entry.targetFileName,
            strnlen(entry.targetFileName, sizeof(entry.targetFileName)));
  // The name field holds at most 31 characters and need not be terminated.
  CopyField(target->fontName, fontName, strnlen(fontName, sizeof(fontName) - 1));
  std::string baseName;
  std::string extension;
  if (!SplitFileName(target->targetFileName, rules_.encoding, &baseName, &extension)) return;
  CopyField(target->baseName, baseName.c_str(), baseName.size());
  target->expectedRevision = static_cast<int32_t>(expectedRevision);
  target->resourceId = entry.resourceId;
  targets_.push_back(std::move(target));
}

const CTargetEntry* CFolderCheckCtrl::MatchTarget(const char* fullPath, const char* fileName) {
  // The file is read once, for the first entry whose name rule passes; every
  // further entry compares with what that read found.
  bool identityRead = false;
  bool identityFound = false;
  uint32_t revision = 0;
  char fontName[kFontNameSize] = {};
  for (const auto& target : targets_) {
    if (!MatchesBaseName(fileName, target->baseName, rules_.encoding)) continue;
    if (!identityRead) {
      identityRead = true;
      COpenTypeManager reader(files_, resources_, this);
      identityFound = reader.GetFontIdentity(fullPath, &revision, fontName) == 1;
    }
    if (!identityFound) return nullptr;
    if (revision == static_cast<uint32_t>(target->expectedRevision) &&
        std::strcmp(fontName, target->fontName) == 0) {
      return target.get();
    }
  }
  return nullptr;
}

const CTargetEntry* CFolderCheckCtrl::FindTarget(const char* path, int32_t expectedRevision) const {
  for (const auto& target : targets_) {
    if (target->expectedRevision == expectedRevision && MatchesBaseName(path, target->baseName, rules_.encoding)) {
      return target.get();
    }
  }
  return nullptr;
}

bool CFolderCheckCtrl::FindTargetResource(const char* path, int32_t expectedRevision,
                                          int32_t* resourceId) const {
  const CTargetEntry* target = FindTarget(path, expectedRevision);
  if (target == nullptr) return false;
  *resourceId = target->resourceId;
  return true;
}
