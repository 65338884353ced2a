// A dialog of the program's templates as a terminal shows it: the state its
// dialog object gives it (control texts, bars, list rows, visibility, the
// end of a modal run), the button that has the focus, and how it is drawn:
// a box with the caption, the controls in the template's order and the
// buttons on the last line, or a one-line status for output that is no
// terminal.
#ifndef OTU_PLATFORM_POSIX_TERMINAL_DIALOG_H_
#define OTU_PLATFORM_POSIX_TERMINAL_DIALOG_H_

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/desktop.h"
#include "platform/posix/embedded_resources.h"

namespace platform {

class TerminalDialog : public DialogWindow {
 public:
  // `changed` is told whenever something the dialog shows changes;
  // `paintNow` when the dialog asks to be painted at once.
  TerminalDialog(const EmbeddedDialog& dialog, DialogHandler& handler, std::function<void()> changed,
                 std::function<void()> paintNow);

  void SetItemText(int control, const std::string& text) override;
  void RepaintItem(int control) override;
  void SetBarPosition(int control, int position) override;
  void InsertListColumn(int control, const std::string& heading, int widthPixels) override;
  void SetListFullRowSelect(int control) override;
  void InsertListRow(int control, int row, const std::string& text) override;
  void SetProgramIcon() override;
  void AppendSystemMenuItem(int command, const std::string& text) override;
  bool IsVisible() override { return visible_; }
  void Show() override;
  void Hide() override;
  void Repaint() override;
  void Invalidate() override;
  void EndModal(int result) override;

  const EmbeddedDialog& dialog() const { return dialog_; }
  DialogHandler& handler() const { return handler_; }
  bool ended() const { return ended_; }
  int result() const { return result_; }

  // The buttons in the template's order; the focus starts on the default one.
  const std::vector<const EmbeddedControl*>& buttons() const { return buttons_; }
  int FocusedButton() const;
  void MoveFocus(int step);

  // The box, `width` columns wide; with `highlight`, the focused button is
  // drawn in reverse video.
  std::vector<std::string> Draw(int width, bool highlight) const;
  // The texts that change while the dialog shows, on one line.
  std::string StatusLine() const;
  // The button a typed answer names: empty = the default button, a number
  // counts the buttons from 1, or a button's own text. 0 when none.
  int ButtonForAnswer(const std::string& answer) const;

 private:
  std::string TextOf(const EmbeddedControl& control) const;
  std::vector<std::string> DrawRow(const std::vector<const EmbeddedControl*>& row, int width) const;

  const EmbeddedDialog& dialog_;
  DialogHandler& handler_;
  std::function<void()> changed_;
  std::function<void()> paintNow_;
  std::map<int, std::string> texts_;
  std::map<int, int> bars_;
  std::string listHeading_;
  std::vector<std::string> listRows_;
  std::vector<const EmbeddedControl*> buttons_;
  size_t focus_ = 0;
  bool visible_ = false;
  bool ended_ = false;
  int result_ = 0;
};

}  // namespace platform

#endif  // OTU_PLATFORM_POSIX_TERMINAL_DIALOG_H_
