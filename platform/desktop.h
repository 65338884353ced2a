// The program's windows: dialogs built from the templates the program
// carries, run modally or kept on screen while a job runs, and the thread's
// message queue. The dialog objects of the program decide what each dialog
// does; this layer only shows them and hands them the user's presses. Texts
// are 8-bit in the system code page.
#ifndef OTU_PLATFORM_DESKTOP_H_
#define OTU_PLATFORM_DESKTOP_H_

#include <cstdint>
#include <memory>
#include <string>

namespace platform {

// Button results and the commands of the keyboard: Enter presses the default
// button, Esc (and the close box, where a dialog has one) arrive as Cancel.
constexpr int kOk = 1;
constexpr int kCancel = 2;

// A dialog on screen, as its dialog object works it. Control ids are those of
// the dialog's template.
class DialogWindow {
 public:
  virtual ~DialogWindow() = default;
  virtual void SetItemText(int control, const std::string& text) = 0;
  // Paints the control now rather than at the next drain of the queue.
  virtual void RepaintItem(int control) = 0;
  virtual void SetBarPosition(int control, int position) = 0;
  // The list control `control` in report view.
  virtual void InsertListColumn(int control, const std::string& heading, int widthPixels) = 0;
  virtual void SetListFullRowSelect(int control) = 0;
  virtual void InsertListRow(int control, int row, const std::string& text) = 0;
  // The program's icon as the window's large and small icon, also drawn in
  // the client area while the window is minimised.
  virtual void SetProgramIcon() = 0;
  // A separator and then the item `command` at the end of the system menu.
  virtual void AppendSystemMenuItem(int command, const std::string& text) = 0;
  virtual bool IsVisible() = 0;
  virtual void Show() = 0;
  virtual void Hide() = 0;
  // Paints what is invalid now.
  virtual void Repaint() = 0;
  // Marks the whole window for painting, without erasing its background.
  virtual void Invalidate() = 0;
  // Ends a modal run with `result`; the run returns once the handler that
  // called it has returned.
  virtual void EndModal(int result) = 0;
};

// What a dialog object answers to. Every call comes on the program's one
// thread: from a modal run, or from DrainMessages for a kept window.
class DialogHandler {
 public:
  virtual ~DialogHandler() = default;
  // The window exists and its controls hold the template's texts; it is not
  // yet visible. `window` stays valid until the dialog is gone.
  virtual void OnInitDialog(DialogWindow& window) = 0;
  // A button of the template, Enter (the default button) or Esc and the
  // close box (kCancel).
  virtual void OnCommand(int id) = 0;
  // A system-menu command that is not one of the standard ones; false leaves
  // it to the default handling.
  virtual bool OnSystemCommand(int /*command*/) { return false; }
};

class Desktop {
 public:
  virtual ~Desktop() = default;
  // Runs dialog `templateId` modally and returns the result given to
  // EndModal. The owner is the program's main window (the first modal dialog
  // still running) or the window last active above it; none for the first.
  virtual int RunModal(int templateId, DialogHandler& handler) = 0;
  // Creates dialog `templateId`, hidden, owned by `owner`, and keeps it until
  // the returned object is destroyed. Such a window takes no Enter and no Esc:
  // their key presses are dropped before it sees them. An `owner` that is
  // not one of this desktop's windows (the unseen main dialog of a passive
  // run) leaves the window without an owner.
  virtual std::unique_ptr<DialogWindow> CreateModeless(int templateId, DialogHandler& handler,
                                                       DialogWindow& owner) = 0;
  // Dispatches every message waiting for any window of the thread; button
  // presses in kept windows reach their handlers here.
  virtual void DrainMessages() = 0;
  virtual void Sleep(uint32_t milliseconds) = 0;
  // Tells every top-level window of the session that the installed fonts
  // changed.
  virtual void BroadcastFontChange() = 0;
};

// The machine's own windows.
Desktop& HostDesktop();

}  // namespace platform

#endif  // OTU_PLATFORM_DESKTOP_H_
