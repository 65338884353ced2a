// The two windows kept on screen while a long job runs on the program's one
// thread: the progress window of the font updates and the wait window of the
// search. Each job reports through its callback, which shows what it is told,
// keeps the windows answering by draining the message queue, and turns a
// press of the Stop button into a confirmed stop: the button only raises the
// flag, the next report asks the question, and only "はい" stops the job.
#ifndef OTU_APP_PROGRESS_DIALOGS_H_
#define OTU_APP_PROGRESS_DIALOGS_H_

#include <cstdint>
#include <string>

#include "app/dialog_base.h"

class CProgressDialog : public CDialogBase {
 public:
  explicit CProgressDialog(const RunEnvironment& environment);
  // Shows the values, then asks about a pending stop: true = stop now.
  bool SetProgress(int32_t overallPercent, int32_t currentPercent, const std::string& fileText,
                   const std::string& stepText);
  void OnCommand(int id) override;

 private:
  int32_t stopFlag_ = 0;
};

class CWaitDialog : public CDialogBase {
 public:
  explicit CWaitDialog(const RunEnvironment& environment);
  // Asks about a pending stop, then shows the text: true = stop now.
  bool SetSearchText(const std::string& text);
  void OnCommand(int id) override;
  // True once the user confirmed a stop of the search.
  bool Stopped() const { return stopFlag_ != 0; }

 private:
  std::string text_;
  int32_t stopFlag_ = 0;
};

// The update driver's callback; `context` is the CProgressDialog.
int32_t UpdateProgressCallback(int32_t overallPercent, int32_t currentPercent, const char* fileText,
                               const char* stepText, void* context);
// The search's callback; `context` is the CWaitDialog.
int32_t SearchProgressCallback(const char* text, void* context);

#endif  // OTU_APP_PROGRESS_DIALOGS_H_
