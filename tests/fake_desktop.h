// A desktop with a scripted user: modal dialogs are answered from a queue of
// (template, button) steps, kept windows get presses at a chosen drain of the
// message queue, and everything the program does to its windows is written
// down. An answer the program does not ask for, or a question the script
// does not answer, fails the test at once instead of leaving a dialog open
// for ever.
#ifndef OTU_TESTS_FAKE_DESKTOP_H_
#define OTU_TESTS_FAKE_DESKTOP_H_

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/desktop.h"

namespace testapp {

// Thrown when the program and the script part ways; it unwinds the dialogs
// the program still runs, and the test body reports it.
class ScriptMismatch : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// What one dialog received while it existed.
struct DialogRecord {
  int templateId = 0;
  bool modal = false;
  int ownerTemplate = 0;  // kept windows: the template of the owner; 0 for none
  std::map<int, std::vector<std::string>> texts;
  std::map<int, std::vector<int>> bars;
  std::vector<std::string> columns;  // "heading/width"
  std::vector<std::string> rows;     // row texts in the order inserted
  std::vector<int> rowIndexes;
  std::vector<std::pair<int, std::string>> systemMenu;
  std::vector<int> pressed;
  bool fullRowSelect = false;
  bool iconSet = false;
  bool visible = false;
  bool invalidated = false;
  bool closed = false;
  int result = -1;  // modal: what EndModal was given

  // The control's latest text; empty when it received none.
  std::string Text(int control) const {
    auto found = texts.find(control);
    return found == texts.end() || found->second.empty() ? std::string() : found->second.back();
  }
};

class ScriptedDesktop : public platform::Desktop {
 public:
  ScriptedDesktop() = default;
  ScriptedDesktop(const ScriptedDesktop&) = delete;
  ScriptedDesktop& operator=(const ScriptedDesktop&) = delete;

  ~ScriptedDesktop() override {
    for (const Step& step : script_) {
      ADD_FAILURE() << "the program never asked for the scripted step " << step.templateId << " -> "
                    << step.command;
    }
    for (const DrainAction& action : drainActions_) {
      ADD_FAILURE() << "window " << action.templateId << " never saw drain " << action.drain;
    }
  }

  // The innermost running dialog `templateId` gets `button`; `before` runs
  // just before the press.
  void Answer(int templateId, int button, std::function<void()> before = nullptr) {
    script_.push_back({templateId, button, false, std::move(before)});
  }
  // The innermost running dialog `templateId` gets the system-menu command.
  void SystemCommand(int templateId, int command) { script_.push_back({templateId, command, true, nullptr}); }
  // `action` runs during the `drain`-th drain (from 1) that the kept window
  // `templateId` lives through.
  void AtDrain(int templateId, int drain, std::function<void()> action) {
    drainActions_.push_back({templateId, drain, std::move(action)});
  }
  // The kept window `templateId` gets `command` during its `drain`-th drain.
  void PressAt(int templateId, int drain, int command) {
    AtDrain(templateId, drain, [this, templateId, command] { PressKept(templateId, command); });
  }
  size_t StepsLeft() const { return script_.size(); }

  // A window that no dialog object works, to own kept windows in tests of
  // those alone.
  std::unique_ptr<platform::DialogWindow> OwnerWindow(int templateId) {
    return std::make_unique<Window>(this, NewRecord(templateId, false, 0), nullptr);
  }

  // What happened, in order: "open T", "text T/C=...", "bar T/C=V",
  // "repaint T/C", "show T", "hide T", "press T B", "system T C handled",
  // "end T R", "close T", "drain T#k", "sleep N", "broadcast"; others
  // (files, machine) may write into it too.
  std::vector<std::string> log;
  std::vector<uint32_t> sleeps;
  int broadcasts = 0;

  // Every dialog opened, in order.
  std::vector<int> Opened() const {
    std::vector<int> ids;
    for (const auto& record : records_) ids.push_back(record->templateId);
    return ids;
  }
  int Count(int templateId) const {
    std::vector<int> opened = Opened();
    return static_cast<int>(std::count(opened.begin(), opened.end(), templateId));
  }
  // The last dialog `templateId` opened; the test fails when there is none.
  const DialogRecord& Last(int templateId) const {
    for (auto it = records_.rbegin(); it != records_.rend(); ++it) {
      if ((*it)->templateId == templateId) return **it;
    }
    ADD_FAILURE() << "dialog " << templateId << " was never opened";
    static const DialogRecord none;
    return none;
  }
  // Position of the first log entry equal to `entry`, or of the first that
  // starts with it when `prefix`; log.size() when there is none.
  size_t Find(const std::string& entry, bool prefix = false) const {
    for (size_t i = 0; i < log.size(); ++i) {
      if (prefix ? log[i].compare(0, entry.size(), entry) == 0 : log[i] == entry) return i;
    }
    return log.size();
  }
  size_t Occurrences(const std::string& entry) const {
    return static_cast<size_t>(std::count(log.begin(), log.end(), entry));
  }

  int RunModal(int templateId, platform::DialogHandler& handler) override {
    if (running_.size() >= kMaxNesting) Mismatch("dialogs nested deeper than any run needs");
    DialogRecord* record = NewRecord(templateId, true, running_.empty() ? 0 : running_.back()->templateId);
    Window window(this, record, &handler);
    running_.push_back(record);
    handler.OnInitDialog(window);
    if (!window.ended) {
      record->visible = true;
      log.push_back("show " + std::to_string(templateId));
    }
    while (!window.ended) {
      if (script_.empty()) Mismatch("dialog " + std::to_string(templateId) + " waits for an answer the script lacks");
      Step step = std::move(script_.front());
      if (step.templateId != templateId) {
        Mismatch("the script answers dialog " + std::to_string(step.templateId) + " but dialog " +
                 std::to_string(templateId) + " is asking");
      }
      script_.pop_front();
      if (step.before) step.before();
      if (step.systemCommand) {
        bool handled = handler.OnSystemCommand(step.command);
        log.push_back("system " + std::to_string(templateId) + " " + std::to_string(step.command) +
                      (handled ? " handled" : " default"));
      } else {
        record->pressed.push_back(step.command);
        log.push_back("press " + std::to_string(templateId) + " " + std::to_string(step.command));
        handler.OnCommand(step.command);
      }
    }
    running_.pop_back();
    record->visible = false;
    record->closed = true;
    log.push_back("end " + std::to_string(templateId) + " " + std::to_string(record->result));
    return record->result;
  }

  std::unique_ptr<platform::DialogWindow> CreateModeless(int templateId, platform::DialogHandler& handler,
                                                         platform::DialogWindow& owner) override {
    auto* ownerWindow = dynamic_cast<Window*>(&owner);
    // A window of another desktop (an unattended run's unseen main dialog)
    // leaves the kept window without an owner.
    DialogRecord* record = NewRecord(templateId, false, ownerWindow == nullptr ? 0 : ownerWindow->record->templateId);
    auto window = std::make_unique<Window>(this, record, &handler);
    kept_.push_back(window.get());
    handler.OnInitDialog(*window);
    return window;
  }

  void DrainMessages() override {
    std::vector<Window*> kept = kept_;
    for (Window* window : kept) {
      if (std::find(kept_.begin(), kept_.end(), window) == kept_.end()) continue;
      int drain = ++window->drains;
      int templateId = window->record->templateId;
      log.push_back("drain " + std::to_string(templateId) + "#" + std::to_string(drain));
      for (auto it = drainActions_.begin(); it != drainActions_.end();) {
        if (it->templateId == templateId && it->drain == drain) {
          std::function<void()> action = std::move(it->action);
          it = drainActions_.erase(it);
          action();
        } else {
          ++it;
        }
      }
    }
  }

  void Sleep(uint32_t milliseconds) override {
    sleeps.push_back(milliseconds);
    log.push_back("sleep " + std::to_string(milliseconds));
  }

  void BroadcastFontChange() override {
    ++broadcasts;
    log.push_back("broadcast");
  }

 private:
  static constexpr size_t kMaxNesting = 8;

  struct Step {
    int templateId;
    int command;
    bool systemCommand;
    std::function<void()> before;
  };
  struct DrainAction {
    int templateId;
    int drain;
    std::function<void()> action;
  };

  class Window : public platform::DialogWindow {
   public:
    Window(ScriptedDesktop* desktop, DialogRecord* record, platform::DialogHandler* handler)
        : desktop(desktop), record(record), handler(handler) {}
    ~Window() override {
      auto& kept = desktop->kept_;
      auto found = std::find(kept.begin(), kept.end(), this);
      if (found != kept.end()) {
        kept.erase(found);
        record->closed = true;
        record->visible = false;
        desktop->log.push_back("close " + Id());
      }
    }
    void SetItemText(int control, const std::string& text) override {
      record->texts[control].push_back(text);
      desktop->log.push_back("text " + Id() + "/" + std::to_string(control) + "=" + text);
    }
    void RepaintItem(int control) override {
      desktop->log.push_back("repaint " + Id() + "/" + std::to_string(control));
    }
    void SetBarPosition(int control, int position) override {
      record->bars[control].push_back(position);
      desktop->log.push_back("bar " + Id() + "/" + std::to_string(control) + "=" + std::to_string(position));
    }
    void InsertListColumn(int control, const std::string& heading, int widthPixels) override {
      ExpectListControl(control);
      record->columns.push_back(heading + "/" + std::to_string(widthPixels));
    }
    void SetListFullRowSelect(int control) override {
      ExpectListControl(control);
      record->fullRowSelect = true;
    }
    void InsertListRow(int control, int row, const std::string& text) override {
      ExpectListControl(control);
      record->rowIndexes.push_back(row);
      record->rows.push_back(text);
      desktop->log.push_back("row " + Id() + "=" + text);
    }
    void SetProgramIcon() override { record->iconSet = true; }
    void AppendSystemMenuItem(int command, const std::string& text) override {
      record->systemMenu.push_back({command, text});
    }
    bool IsVisible() override { return record->visible; }
    void Show() override {
      record->visible = true;
      desktop->log.push_back("show " + Id());
    }
    void Hide() override {
      record->visible = false;
      desktop->log.push_back("hide " + Id());
    }
    void Repaint() override {}
    void Invalidate() override { record->invalidated = true; }
    void EndModal(int result) override {
      if (!record->modal) {
        ADD_FAILURE() << "EndModal(" << result << ") on the kept window " << record->templateId;
        return;
      }
      if (ended) ADD_FAILURE() << "dialog " << record->templateId << " ended twice";
      ended = true;
      record->result = result;
    }

    std::string Id() const { return std::to_string(record->templateId); }
    void ExpectListControl(int control) const {
      // The main dialog's only list is its candidate list.
      EXPECT_EQ(1005, control) << "list call on control " << control << " of dialog " << record->templateId;
    }

    ScriptedDesktop* desktop;
    DialogRecord* record;
    platform::DialogHandler* handler;
    bool ended = false;
    int drains = 0;
  };

  DialogRecord* NewRecord(int templateId, bool modal, int ownerTemplate) {
    records_.push_back(std::make_unique<DialogRecord>());
    DialogRecord* record = records_.back().get();
    record->templateId = templateId;
    record->modal = modal;
    record->ownerTemplate = ownerTemplate;
    log.push_back("open " + std::to_string(templateId));
    return record;
  }

  void PressKept(int templateId, int command) {
    for (Window* window : kept_) {
      if (window->record->templateId != templateId) continue;
      window->record->pressed.push_back(command);
      log.push_back("press " + std::to_string(templateId) + " " + std::to_string(command));
      window->handler->OnCommand(command);
      return;
    }
    Mismatch("press in kept window " + std::to_string(templateId) + ", which is not open");
  }

  [[noreturn]] void Mismatch(const std::string& what) {
    ADD_FAILURE() << what;
    throw ScriptMismatch(what);
  }

  std::deque<Step> script_;
  std::vector<DrainAction> drainActions_;
  std::vector<std::unique_ptr<DialogRecord>> records_;
  std::vector<DialogRecord*> running_;
  std::vector<Window*> kept_;
};

}  // namespace testapp

#endif  // OTU_TESTS_FAKE_DESKTOP_H_
