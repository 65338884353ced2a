#include "app/finishing.h"

#include "text/paths.h"

std::string GetFontCachePath(const RunEnvironment& environment, const std::string& name) {
  // Without the folder the bare name would be looked for, and deleted, in
  // whatever folder the program runs in.
  std::string folder;
  if (!environment.machine.SystemFolder(&folder) || folder.empty()) return std::string();
  return text::AppendPath(environment.rules.encoding, folder, name, environment.rules.separator);
}

void CleanUpAfterUpdate(const RunEnvironment& environment) {
  CFolderCheckCtrl& search = environment.controllers.Search();
  for (int32_t i = 0; i < search.RemovalCount(); ++i) {
    // Through its folder, opened without a link on its path, and only the
    // file the walk met: a folder swapped for a link since leads nowhere.
    const text::PathParts parts = text::SplitPath(environment.rules.encoding, search.Removal(i));
    std::unique_ptr<platform::Folder> folder = environment.files.OpenFolder(parts.drive + parts.folder);
    const bool removed = folder != nullptr && folder->Remove(parts.name + parts.extension, search.RemovalIdentity(i));
    LogEvent(environment, std::string("clean-up: ") + search.Removal(i) + (removed ? ": deleted" : ": not deleted"));
  }

  for (const std::string& name : environment.machine.FontCacheNames()) {
    std::string cache = GetFontCachePath(environment, name);
    if (cache.empty()) return;
    // A 32-bit program on 64-bit Windows sees another folder under the
    // system folder's name unless redirection is off around each call.
    bool exists;
    {
      std::unique_ptr<platform::RedirectionGuard> guard = environment.machine.SwitchOffRedirection();
      exists = environment.files.Exists(cache);
    }
    if (!exists) continue;
    std::unique_ptr<platform::RedirectionGuard> guard = environment.machine.SwitchOffRedirection();
    const bool removed = environment.files.Exists(cache) && environment.files.Remove(cache);
    LogEvent(environment, "clean-up: font cache " + cache + (removed ? ": deleted" : ": not deleted"));
  }
}

int RestartSystem(const RunEnvironment& environment) {
  environment.machine.RequestRestart();
  return 1;
}
