#include "app/updater_dlg.h"

#include <string>

#include "app/about_dlg.h"
#include "app/environment_check.h"
#include "app/finishing.h"
#include "app/message_dialogs.h"
#include "app/messages.h"
#include "app/progress_dialogs.h"
#include "app/start_dialog.h"
#include "engine/opentype_manager.h"
#include "engine/sabun_data.h"
#include "resources/resource_ids.h"
#include "text/paths.h"
#include "text/revision.h"

namespace {

constexpr int kListColumnWidth = 600;
// Each revised font stays on screen this long before the next one starts.
constexpr uint32_t kPauseAfterFont = 300;

const char kListHeading[] = "フォント名";
const char kEnglishListHeading[] = "Font name";

}  // namespace

COpenTypeUpdaterDlg::COpenTypeUpdaterDlg(const RunEnvironment& environment)
    : CDialogBase(environment, IDD_OPENTYPEUPDATER_DIALOG) {}

COpenTypeUpdaterDlg::~COpenTypeUpdaterDlg() { environment_.controllers.Release(); }

bool COpenTypeUpdaterDlg::OnSystemCommand(int command) {
  if ((command & 0xFFF0) != IDM_ABOUTBOX) return false;
  CAboutDlg about(environment_);
  about.DoModal();
  return true;
}

void COpenTypeUpdaterDlg::PrepareRun(platform::DialogWindow& window) {
  CDialogBase::OnInitDialog(window);
  std::string aboutEntry = LoadMessage(kMsgAboutEntry);
  if (!aboutEntry.empty()) window.AppendSystemMenuItem(IDM_ABOUTBOX, aboutEntry);
  window.SetProgramIcon();

  const CResFileCtrl& configuration = environment_.controllers.Configuration();
  if (configuration.LoadedCount() == 0 || configuration.LoadedCount() != configuration.DeclaredCount()) {
    Decide(RunOutcome::kPackageDamaged);
    // The dialog still opens, with an empty list: "実行" then says so.
    ShowMessage<COKDialog>(environment_, LoadMessage(kMsgDifferenceDataIncomplete));
    return;
  }
  CFolderCheckCtrl& search = environment_.controllers.Search();
  int32_t system = CheckEnvironment(environment_);
  if (system != kSystemXp && system != kSystemVista) {
    Decide(system == kNotAdministrator ? RunOutcome::kNotAdministrator : RunOutcome::kSystemRefused);
    EndDialog(0);
    return;
  }
  CStartDialog start(environment_);
  if (start.DoModal() == platform::kCancel) {
    Decide(RunOutcome::kCancelled);
    EndDialog(0);
    return;
  }
  bool english = environment_.controllers.Configuration().Program().language == text::Language::kEnglish;
  window.InsertListColumn(IDC_FONT_LIST, english ? kEnglishListHeading : kListHeading, kListColumnWidth);
  window.SetListFullRowSelect(IDC_FONT_LIST);
  if (search.TargetCount() == 0) {
    Decide(RunOutcome::kPackageDamaged);
    ShowMessage<COKDialog>(environment_, LoadMessage(kMsgNoTargets));
    EndDialog(0);
    return;
  }

  CWaitDialog wait(environment_);
  wait.Create(window);
  wait.ShowNow();
  search.SetWalkReport([this](const char* kind, const std::string& root) {
    LogEvent(environment_, std::string("search: ") + kind + " " + root);
  });
  search.SearchDrives(SearchProgressCallback, &wait);
  search.SetWalkReport(nullptr);
  LogCandidates();
  if (search.CandidateCount() == 0) {
    Decide(wait.Stopped() ? RunOutcome::kCancelled : RunOutcome::kDone);
    wait.Close();
    ShowMessage<COKDialog>(environment_, LoadMessage(kMsgNoCandidates));
    EndDialog(0);
    return;
  }
  for (int32_t i = 0; i < search.CandidateCount(); ++i) {
    window.InsertListRow(IDC_FONT_LIST, i, search.Candidate(i).fullPath);
  }
  wait.Close();
  window.Invalidate();
}

void COpenTypeUpdaterDlg::RunUpdate() {
  CFolderCheckCtrl& search = environment_.controllers.Search();
  const int32_t count = search.CandidateCount();
  if (count == 0) {
    ShowMessage<COKDialog>(environment_, LoadMessage(kMsgNothingToRevise));
    return;
  }
  Window().Hide();
  CProgressDialog progress(environment_);
  progress.Create(Window());
  progress.ShowNow();

  int32_t result = kUpdateOk;
  int32_t stoppedAt = 0;
  int32_t waitingForRestart = 0;
  for (int32_t i = 0; i < count; ++i) {
    const CCandidateRecord& candidate = search.Candidate(i);
    stoppedAt = i;
    {
      COpenTypeManager manager(environment_.files, environment_.resources, &search);
      manager.SetLanguage(environment_.controllers.Configuration().Program().language);
      if (candidate.skip == 0) {
        manager.ExpectFile(candidate.identity);
        result = manager.UpdateFont(candidate.fullPath, candidate.expectedRevision, UpdateProgressCallback,
                                    &progress, count, i);
        LogEvent(environment_, "update: " + std::string(candidate.fullPath) + ": result " + std::to_string(result));
        if (result == kUpdateOk && manager.WaitsForRestart()) {
          ++waitingForRestart;
          LogEvent(environment_, std::string("waits for the restart: ") + candidate.fullPath);
        }
      }
    }
    if (result != kUpdateOk) break;
    environment_.desktop.Sleep(kPauseAfterFont);
  }
  progress.Close();

  std::string message = ResultText(result, search.Candidate(stoppedAt));
  // Fonts that were in use stay as they were until the restart: a user who
  // does not restart now is told so.
  if (result == kUpdateOk && waitingForRestart > 0) {
    message += "\r\n\r\n" + LoadMessage(kMsgRevisedAtRestart, std::to_string(waitingForRestart));
  }
  environment_.desktop.BroadcastFontChange();
  if (result == kUpdateOk) {
    Decide(RunOutcome::kRestartNeeded);
    CleanUpAfterUpdate(environment_);
    if (ShowMessage<CNormalEndDialog>(environment_, message) == platform::kOk) {
      // The answer to the restart question refines the success.
      outcome_ = RunOutcome::kRestartStarted;
      LogEvent(environment_, "restart: requested");
      RestartSystem(environment_);
    }
  } else {
    Decide(result == kUpdateStopped ? RunOutcome::kCancelled : RunOutcome::kFailed);
    ShowMessage<CEndDialog>(environment_, message);
  }
  EndDialog(platform::kOk);
}

void COpenTypeUpdaterDlg::Decide(RunOutcome outcome) {
  if (decided_) return;
  decided_ = true;
  outcome_ = outcome;
}

void COpenTypeUpdaterDlg::LogCandidates() {
  if (environment_.log == nullptr) return;
  CFolderCheckCtrl& search = environment_.controllers.Search();
  for (int32_t i = 0; i < search.CandidateCount(); ++i) {
    const CCandidateRecord& candidate = search.Candidate(i);
    const uint32_t installed = static_cast<uint32_t>(candidate.expectedRevision);
    std::string target = "unknown";
    int32_t resourceId = 0;
    uint32_t revision = 0;
    CMakeSabunData data(environment_.resources);
    if (search.FindTargetResource(candidate.fullPath, candidate.expectedRevision, &resourceId) &&
        data.LoadSabunData(resourceId) == 1 && data.NewFontRevision(&revision)) {
      target = text::RevisionText(revision);
    }
    LogEvent(environment_, std::string("candidate: ") + candidate.fullPath + ": installed revision " +
                               text::RevisionText(installed) + ", revised to " + target);
  }
}

std::string COpenTypeUpdaterDlg::ResultText(int32_t result, const CCandidateRecord& candidate) const {
  switch (result) {
    case kUpdateOk:
      return LoadMessage(kMsgRevised);
    case kUpdateFontUnusable:
      return LoadMessage(kMsgInstalledUnreadable, candidate.fullPath);
    case kUpdateSabunNotLoaded: {
      std::string fileName;
      const CTargetEntry* target =
          environment_.controllers.Search().FindTarget(candidate.fullPath, candidate.expectedRevision);
      if (target != nullptr) {
        text::PathParts parts = text::SplitPath(environment_.rules.encoding, target->paFileName);
        fileName = parts.name + parts.extension;
      }
      return LoadMessage(kMsgDifferenceUnreadable, fileName);
    }
    case kUpdateNoNameTable:
      return LoadMessage(kMsgInformationChangeFailed, candidate.fullPath);
    case kUpdateCopyFailed:
      return LoadMessage(kMsgRebuildFailed, candidate.fullPath);
    case kUpdateTempFileFailed:
      return LoadMessage(kMsgCreateFailed, candidate.fullPath);
    case kUpdateReplacedUnreadable:
      return LoadMessage(kMsgRevisedUnreadable, candidate.fullPath);
    case kUpdateVerifyMismatch:
      return LoadMessage(kMsgVerifyMismatch, candidate.fullPath);
    default:
      return LoadMessage(kMsgStopped);
  }
}

void COpenTypeUpdaterDlg::ConfirmStop() {
  if (ShowMessage<CMessageDialog>(environment_, LoadMessage(kMsgConfirmStop)) == platform::kOk) {
    Decide(RunOutcome::kCancelled);
    EndDialog(platform::kCancel);
  }
}
