// The desktop of a run nobody attends. Its modal dialogs are never shown:
// each gets the answer a run takes by default ("次へ", "実行", "はい"), and
// the question after a fully successful run the restart the command line
// chose. The kept windows (the search's and the updates' progress) are the
// host's in a passive run and not shown at all in a quiet one.
#ifndef OTU_APP_UNATTENDED_DESKTOP_H_
#define OTU_APP_UNATTENDED_DESKTOP_H_

#include <memory>

#include "app/run_options.h"
#include "platform/desktop.h"

class UnattendedDesktop : public platform::Desktop {
 public:
  // `host` gives the passive run its windows, and every run its pauses and
  // the font change broadcast.
  UnattendedDesktop(platform::Desktop& host, const RunOptions& options);

  int RunModal(int templateId, platform::DialogHandler& handler) override;
  std::unique_ptr<platform::DialogWindow> CreateModeless(int templateId, platform::DialogHandler& handler,
                                                         platform::DialogWindow& owner) override;
  void DrainMessages() override;
  void Sleep(uint32_t milliseconds) override { host_.Sleep(milliseconds); }
  void BroadcastFontChange() override { host_.BroadcastFontChange(); }

 private:
  platform::Desktop& host_;
  bool showProgress_;
  bool restart_;
};

#endif  // OTU_APP_UNATTENDED_DESKTOP_H_
