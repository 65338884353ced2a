// The restart of the POSIX program goes through the init system, so that
// services stop and file systems are unmounted cleanly, and never past what
// holds it back.
#ifndef OTU_PLATFORM_POSIX_RESTART_H_
#define OTU_PLATFORM_POSIX_RESTART_H_

#include <string>

namespace platform {

// Where systemd runs, `systemctl reboot` respecting inhibitor locks; else
// `shutdown -r now`; only where neither command is there (a container, a
// rescue shell), sync(2) and reboot(2). A refusal is one line on standard
// error that starts with `programName`, and the call returns.
void RestartThroughInitSystem(const std::string& programName);

}  // namespace platform

#endif  // OTU_PLATFORM_POSIX_RESTART_H_
