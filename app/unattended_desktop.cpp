#include "app/unattended_desktop.h"

#include <string>

#include "resources/resource_ids.h"

namespace {

// A dialog that exists for its object alone: it takes what the object does
// to it and shows nothing.
class HeadlessWindow : public platform::DialogWindow {
 public:
  void SetItemText(int, const std::string&) override {}
  void RepaintItem(int) override {}
  void SetBarPosition(int, int) override {}
  void InsertListColumn(int, const std::string&, int) override {}
  void SetListFullRowSelect(int) override {}
  void InsertListRow(int, int, const std::string&) override {}
  void SetProgramIcon() override {}
  void AppendSystemMenuItem(int, const std::string&) override {}
  bool IsVisible() override { return visible_; }
  void Show() override { visible_ = true; }
  void Hide() override { visible_ = false; }
  void Repaint() override {}
  void Invalidate() override {}
  void EndModal(int result) override {
    ended_ = true;
    result_ = result;
  }

  bool ended() const { return ended_; }
  int result() const { return result_; }

 private:
  bool visible_ = false;
  bool ended_ = false;
  int result_ = platform::kCancel;
};

}  // namespace

UnattendedDesktop::UnattendedDesktop(platform::Desktop& host, const RunOptions& options)
    : host_(host), showProgress_(options.attendance == Attendance::kPassive), restart_(RestartsUnattended(options)) {}

int UnattendedDesktop::RunModal(int templateId, platform::DialogHandler& handler) {
  HeadlessWindow window;
  handler.OnInitDialog(window);
  // The default answer; where the dialog stays (the list with nothing to
  // revise answers "実行" with a message), Cancel, which a dialog of the
  // run always ends on once its question is answered "はい".
  const int restartAnswer = restart_ ? platform::kOk : platform::kCancel;
  const int answers[] = {templateId == IDD_NORMALEND_DIALOG ? restartAnswer : platform::kOk, platform::kCancel};
  for (int answer : answers) {
    if (window.ended()) break;
    handler.OnCommand(answer);
  }
  return window.ended() ? window.result() : platform::kCancel;
}

std::unique_ptr<platform::DialogWindow> UnattendedDesktop::CreateModeless(int templateId,
                                                                          platform::DialogHandler& handler,
                                                                          platform::DialogWindow& owner) {
  if (showProgress_) return host_.CreateModeless(templateId, handler, owner);
  auto window = std::make_unique<HeadlessWindow>();
  handler.OnInitDialog(*window);
  return window;
}

void UnattendedDesktop::DrainMessages() {
  if (showProgress_) host_.DrainMessages();
}
