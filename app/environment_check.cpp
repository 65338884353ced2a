#include "app/environment_check.h"

#include <cstring>

#include "app/message_dialogs.h"
#include "app/messages.h"

namespace {

constexpr uint32_t kExtendedRecordSize = 156;
constexpr uint32_t kBasicRecordSize = 148;

enum PlatformId : uint32_t { kWin32s = 0, kWindows9x = 1, kWindowsNt = 2 };

struct Classification {
  const char* name;
  int32_t code;
};

Classification Classify(const platform::VersionRecord& record) {
  const Classification unsupported = {"NOSUPPORTVERSION", kSystemUnsupported};
  switch (record.platformId) {
    case kWin32s:
      return {"Windows 31", kSystemTooOld};
    case kWindows9x:
      if (record.major != 4) return unsupported;
      switch (record.minor) {
        case 0:
          return record.servicePack[1] == 'C' ? Classification{"Windows 95 OSR2", kSystemTooOld}
                                              : Classification{"Windows 95", kSystemTooOld};
        case 10:
          return {"Windows 98", kSystemTooOld};
        case 90:
          return {"Windows Me", kSystemTooOld};
        default:
          return unsupported;
      }
    case kWindowsNt:
      if (record.major <= 3) return {"Windows NT 3.5", kSystemTooOld};
      if (record.major == 4) return {"Windows NT 4", kSystemTooOld};
      if (record.major == 5) {
        return record.minor == 1 || record.minor == 2 ? Classification{"Windows XP", kSystemXp} : unsupported;
      }
      return {"Windows Vista", kSystemVista};
    default:
      return unsupported;
  }
}

}  // namespace

int32_t ClassifyWindowsVersion(platform::Machine& machine, char name[kSystemNameSize]) {
  std::memset(name, 0, kSystemNameSize);
  platform::VersionRecord record;
  if (!machine.QueryVersion(kExtendedRecordSize, &record) && !machine.QueryVersion(kBasicRecordSize, &record)) {
    return kVersionUnknown;
  }
  Classification classification = Classify(record);
  std::strcpy(name, classification.name);
  return classification.code;
}

bool IsAdministrator(platform::Machine& machine) { return machine.IsAdministrator(); }

int32_t CheckEnvironment(const RunEnvironment& environment) {
  char name[kSystemNameSize];
  int32_t code = ClassifyWindowsVersion(environment.machine, name);
  if (code == kVersionUnknown) {
    ShowMessage<COKDialog>(environment, LoadMessage(kMsgSetupFailed));
    return code;
  }
  if (code == kSystemTooOld || code == kSystemUnsupported) {
    ShowMessage<COKDialog>(environment, LoadMessage(kMsgUnsupportedSystem));
    return code;
  }
  if (!IsAdministrator(environment.machine)) {
    ShowMessage<COKDialog>(environment, LoadMessage(kMsgNoAdministrator));
    return kNotAdministrator;
  }
  return code;
}
