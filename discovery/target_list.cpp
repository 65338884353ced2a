// The target half of the search controller: the target list and the
// matching of found files against it.
#include <cstring>
#include <map>
#include <utility>

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
  SabunIdentity identity;
  if (sabun.GetFontInfo(entry.resourceId, &identity) != 1) return;

  auto target = std::make_unique<CTargetEntry>();
  std::memset(target.get(), 0, sizeof(CTargetEntry));
  CopyField(target->paFileName, entry.paFileName, strnlen(entry.paFileName, sizeof(entry.paFileName)));
  CopyField(target->targetFileName, entry.targetFileName,
            strnlen(entry.targetFileName, sizeof(entry.targetFileName)));
  CopyField(target->fontName, identity.name.c_str(), identity.name.size());
  std::string baseName;
  std::string extension;
  if (!SplitFileName(target->targetFileName, rules_.encoding, &baseName, &extension)) return;
  CopyField(target->baseName, baseName.c_str(), baseName.size());
  target->expectedRevision = static_cast<int32_t>(identity.expectedRevision);
  target->resourceId = entry.resourceId;
  if (identity.extended) {
    target->extended = true;
    target->identityNameId = identity.nameId;
    target->sfntVersion = identity.sfntVersion;
    trueTypeNames_ = true;
  }
  targets_.push_back(std::move(target));
}

bool CFolderCheckCtrl::TakesFileName(const CTargetEntry& target, const char* path) const {
  return MatchesBaseName(path, target.baseName, rules_.encoding, target.extended);
}

const CTargetEntry* CFolderCheckCtrl::MatchTarget(const char* fullPath, const char* fileName) {
  // The file is read once for the first classic entry whose name rule
  // passes, and once for each name record that extended entries name it by;
  // every further entry compares with what those reads found.
  bool identityRead = false;
  bool identityFound = false;
  uint32_t revision = 0;
  char fontName[kFontNameSize] = {};
  std::map<uint16_t, std::pair<bool, COpenTypeManager::FontIdentity>> extendedIdentities;
  for (const auto& target : targets_) {
    if (!TakesFileName(*target, fileName)) continue;
    if (target->extended) {
      auto read = extendedIdentities.find(target->identityNameId);
      if (read == extendedIdentities.end()) {
        COpenTypeManager reader(files_, resources_, this);
        COpenTypeManager::FontIdentity identity;
        const bool found = reader.GetFontIdentity(fullPath, target->identityNameId, &identity) == 1;
        read = extendedIdentities.emplace(target->identityNameId, std::make_pair(found, identity)).first;
      }
      const auto& [found, identity] = read->second;
      if (found && identity.revision == static_cast<uint32_t>(target->expectedRevision) &&
          identity.sfntVersion == target->sfntVersion && identity.name == target->fontName) {
        return target.get();
      }
      continue;
    }
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
    if (target->expectedRevision == expectedRevision && TakesFileName(*target, path)) {
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
