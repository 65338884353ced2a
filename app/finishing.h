// The end of a fully successful run: the downloaded copies of the old fonts
// and the system's font cache go, and the restart that makes the revised
// fonts take effect can be asked for. Every failure here is silent.
#ifndef OTU_APP_FINISHING_H_
#define OTU_APP_FINISHING_H_

#include <string>

#include "app/run_environment.h"

// The font cache file `name` ("fntcache.dat" on Windows) in the system
// folder; empty when the system names no folder.
std::string GetFontCachePath(const RunEnvironment& environment, const std::string& name);
// Deletes every file of the search's removal list, in order, and then the
// font cache files of the real system folder (redirection switched off).
void CleanUpAfterUpdate(const RunEnvironment& environment);
// Asks for a forced restart; always 1.
int RestartSystem(const RunEnvironment& environment);

#endif  // OTU_APP_FINISHING_H_
