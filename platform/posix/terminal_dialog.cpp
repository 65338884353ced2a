#include "platform/posix/terminal_dialog.h"

#include <algorithm>
#include <cstdlib>

#include <cstring>

#include "platform/posix/embedded_resources.h"
#include "platform/posix/terminal_text.h"

namespace platform {
namespace {

const char kHorizontal[] = "─";
const char kVertical[] = "│";
const char kIdeographicSpace[] = "\xE3\x80\x80";

bool IsButton(const EmbeddedControl& control) {
  return control.kind == ControlKind::kButton || control.kind == ControlKind::kDefaultButton;
}

std::string Repeat(const char* piece, int count) {
  std::string text;
  for (int i = 0; i < count; ++i) text += piece;
  return text;
}

// A typed answer with its blanks dropped, the ideographic space included,
// so that "中止" names "中　止".
std::string WithoutBlanks(const std::string& text) {
  std::string out;
  for (size_t at = 0; at < text.size();) {
    if (text.compare(at, 3, kIdeographicSpace) == 0) {
      at += 3;
    } else if (text[at] == ' ' || text[at] == '\t' || text[at] == '\r' || text[at] == '\n') {
      ++at;
    } else {
      out += text[at++];
    }
  }
  return out;
}

// An English program's texts are words between spaces: they break between
// words. Japanese texts break between any two characters, as they always did.
std::vector<std::string> WrapText(const std::string& text, int width) {
  return std::strcmp(kEmbeddedProgram.language, "en") == 0 ? WrapWords(text, width) : WrapLines(text, width);
}

std::string Bar(int position, int width) {
  int inside = std::max(width - 2, 1);
  int filled = std::min(std::max(position, 0), 100) * inside / 100;
  return "[" + std::string(static_cast<size_t>(filled), '#') + std::string(static_cast<size_t>(inside - filled), '.') +
         "]";
}

}  // namespace

TerminalDialog::TerminalDialog(const EmbeddedDialog& dialog, DialogHandler& handler, std::function<void()> changed,
                               std::function<void()> paintNow)
    : dialog_(dialog), handler_(handler), changed_(std::move(changed)), paintNow_(std::move(paintNow)) {
  for (size_t i = 0; i < dialog.controlCount; ++i) {
    const EmbeddedControl& control = dialog.controls[i];
    if (control.id != -1) texts_[control.id] = control.text;
    if (IsButton(control)) {
      if (control.kind == ControlKind::kDefaultButton) focus_ = buttons_.size();
      buttons_.push_back(&control);
    }
  }
}

void TerminalDialog::SetItemText(int control, const std::string& text) {
  texts_[control] = text;
  changed_();
}

void TerminalDialog::RepaintItem(int) { paintNow_(); }

void TerminalDialog::SetBarPosition(int control, int position) {
  bars_[control] = position;
  changed_();
}

void TerminalDialog::InsertListColumn(int, const std::string& heading, int) {
  listHeading_ = heading;
  changed_();
}

// A terminal list has no selection to widen.
void TerminalDialog::SetListFullRowSelect(int) {}

void TerminalDialog::InsertListRow(int, int row, const std::string& text) {
  size_t at = std::min(static_cast<size_t>(std::max(row, 0)), listRows_.size());
  listRows_.insert(listRows_.begin() + static_cast<long>(at), text);
  changed_();
}

// A terminal draws no icons and has no system menu.
void TerminalDialog::SetProgramIcon() {}
void TerminalDialog::AppendSystemMenuItem(int, const std::string&) {}

void TerminalDialog::Show() {
  visible_ = true;
  changed_();
}

void TerminalDialog::Hide() {
  visible_ = false;
  changed_();
}

void TerminalDialog::Repaint() { paintNow_(); }

void TerminalDialog::Invalidate() { changed_(); }

void TerminalDialog::EndModal(int result) {
  ended_ = true;
  result_ = result;
  changed_();
}

int TerminalDialog::FocusedButton() const { return buttons_.empty() ? 0 : buttons_[focus_]->id; }

void TerminalDialog::MoveFocus(int step) {
  if (buttons_.empty()) return;
  int count = static_cast<int>(buttons_.size());
  focus_ = static_cast<size_t>(((static_cast<int>(focus_) + step) % count + count) % count);
  changed_();
}

std::string TerminalDialog::TextOf(const EmbeddedControl& control) const {
  if (control.id == -1) return control.text;
  auto found = texts_.find(control.id);
  return found == texts_.end() ? std::string() : found->second;
}

std::vector<std::string> TerminalDialog::DrawRow(const std::vector<const EmbeddedControl*>& row, int width) const {
  std::vector<std::string> lines;
  if (row.size() == 1 && row[0]->kind == ControlKind::kList) {
    if (!listHeading_.empty()) {
      lines.push_back(listHeading_);
      lines.push_back(Repeat(kHorizontal, width));
    }
    for (const std::string& entry : listRows_) {
      for (const std::string& line : WrapLines(entry, width)) lines.push_back(line);
    }
    return lines;
  }
  // A bar takes what its neighbours on the row (the percent) leave.
  int others = 0;
  for (const EmbeddedControl* control : row) {
    if (control->kind != ControlKind::kBar) others += DisplayWidth(TextOf(*control)) + 1;
  }
  std::string line;
  for (const EmbeddedControl* control : row) {
    std::string piece = control->kind == ControlKind::kBar
                            ? Bar(bars_.count(control->id) ? bars_.at(control->id) : 0, width - others)
                            : TextOf(*control);
    if (row.size() == 1) return WrapText(piece, width);
    line += (line.empty() ? "" : " ") + piece;
  }
  return WrapLines(line, width);
}

std::vector<std::string> TerminalDialog::Draw(int width, bool highlight) const {
  const int inner = std::max(width - 4, 8);
  std::vector<std::string> lines;
  std::string caption = std::string("┌") + kHorizontal + " " + dialog_.caption + " ";
  std::string closeBox = dialog_.closeBox ? "[×]" : "";
  int fill = width - DisplayWidth(caption) - DisplayWidth(closeBox) - 1;
  lines.push_back(caption + Repeat(kHorizontal, std::max(fill, 0)) + closeBox + "┐");

  // Controls at one height form one row, in the order the template gives
  // them; an empty line parts the rows.
  std::vector<std::vector<const EmbeddedControl*>> rows;
  for (size_t i = 0; i < dialog_.controlCount; ++i) {
    const EmbeddedControl& control = dialog_.controls[i];
    if (IsButton(control) || control.kind == ControlKind::kIcon) continue;
    auto same = std::find_if(rows.begin(), rows.end(), [&](const std::vector<const EmbeddedControl*>& row) {
      return std::abs(row.front()->y - control.y) <= 2;
    });
    if (same == rows.end()) {
      rows.push_back({&control});
    } else {
      same->push_back(&control);
    }
  }
  auto add = [&](const std::string& content) {
    lines.push_back(std::string(kVertical) + " " + PadToWidth(content, inner) + " " + kVertical);
  };
  add("");
  for (const auto& row : rows) {
    for (const std::string& line : DrawRow(row, inner)) add(line);
    add("");
  }

  std::string buttons;
  int buttonsWidth = 0;
  for (size_t i = 0; i < buttons_.size(); ++i) {
    bool focused = i == focus_;
    std::string label = (focused ? "< " : "[ ") + std::string(buttons_[i]->text) + (focused ? " >" : " ]");
    if (!buttons.empty()) {
      buttons += "  ";
      buttonsWidth += 2;
    }
    buttonsWidth += DisplayWidth(label);
    buttons += focused && highlight ? "\x1b[7m" + label + "\x1b[27m" : label;
  }
  if (!buttons_.empty()) {
    int left = std::max((inner - buttonsWidth) / 2, 0);
    lines.push_back(std::string(kVertical) + " " + std::string(static_cast<size_t>(left), ' ') + buttons +
                    std::string(static_cast<size_t>(std::max(inner - left - buttonsWidth, 0)), ' ') + " " +
                    kVertical);
  }
  lines.push_back("└" + Repeat(kHorizontal, width - 2) + "┘");
  return lines;
}

std::string TerminalDialog::StatusLine() const {
  std::string line = dialog_.caption;
  for (size_t i = 0; i < dialog_.controlCount; ++i) {
    const EmbeddedControl& control = dialog_.controls[i];
    if (control.id == -1 || IsButton(control) || control.kind == ControlKind::kBar) continue;
    std::string text = TextOf(control);
    if (!text.empty()) line += " | " + text;
  }
  return line;
}

int TerminalDialog::ButtonForAnswer(const std::string& answer) const {
  std::string wanted = WithoutBlanks(answer);
  if (wanted.empty()) {
    for (const EmbeddedControl* button : buttons_) {
      if (button->kind == ControlKind::kDefaultButton) return button->id;
    }
    return buttons_.empty() ? 0 : buttons_.front()->id;
  }
  if (wanted.find_first_not_of("0123456789") == std::string::npos && wanted.size() < 4) {
    size_t index = static_cast<size_t>(std::atoi(wanted.c_str()));
    return index >= 1 && index <= buttons_.size() ? buttons_[index - 1]->id : 0;
  }
  for (const EmbeddedControl* button : buttons_) {
    if (WithoutBlanks(button->text) == wanted) return button->id;
  }
  return 0;
}

}  // namespace platform
