// The program's messages: entries of its string table, loaded in the system
// code page with their one argument filled in.
#ifndef OTU_APP_MESSAGES_H_
#define OTU_APP_MESSAGES_H_

#include <cstdint>
#include <string>

enum MessageId : uint16_t {
  kMsgAboutEntry = 101,
  kMsgConfirmStop = 102,
  kMsgRevised = 105,
  kMsgStopped = 106,
  kMsgNoCandidates = 107,
  kMsgNothingToRevise = 108,
  kMsgSetupFailed = 109,
  kMsgUnsupportedSystem = 110,
  kMsgNoAdministrator = 111,
  kMsgNoTargets = 112,
  kMsgDifferenceUnreadable = 113,
  kMsgInstalledUnreadable = 114,
  kMsgConfirmSearchStop = 116,
  kMsgDifferenceDataIncomplete = 119,
  kMsgInformationChangeFailed = 120,
  kMsgRebuildFailed = 121,
  kMsgCreateFailed = 122,
  kMsgRevisedUnreadable = 123,
  kMsgVerifyMismatch = 124,
  kMsgRevisedAtRestart = 125,
};

// String `id` with its "%s" (if any) replaced by `argument`; empty when the
// table has no such string.
std::string LoadMessage(uint16_t id, const std::string& argument = std::string());

#endif  // OTU_APP_MESSAGES_H_
