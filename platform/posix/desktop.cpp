// The program's dialogs in a terminal. On a terminal the dialogs on screen
// are drawn in place, one box under the other, and keys work them: Enter
// presses the focused button (the default one at first), Esc or q is
// Cancel, Tab and the arrow keys move the focus. Without a terminal each
// dialog is printed once and answered by a line of standard input, and the
// windows kept on screen during a job print a line when what they show has
// changed. In both, Ctrl-C is the Stop button of the window kept on screen
// (and Cancel in a modal dialog): it only raises a flag that the next drain
// of the queue turns into the press.
#include "platform/desktop.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <vector>

#include "platform/posix/embedded_resources.h"
#include "platform/posix/error_line.h"
#include "platform/posix/terminal_dialog.h"

extern char** environ;

namespace platform {
namespace {

volatile sig_atomic_t interrupted = 0;
struct termios savedTerminal;
volatile sig_atomic_t terminalChanged = 0;

const char kEnterScreen[] = "\x1b[?1049h\x1b[?25l";
const char kLeaveScreen[] = "\x1b[?25h\x1b[?1049l";

void WriteAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    ssize_t written = ::write(fd, text.data() + done, text.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return;
    done += static_cast<size_t>(written);
  }
}

void OnInterrupt(int) { interrupted = 1; }

// The terminal as it was, even when the program is ended from outside.
void RestoreTerminal() {
  if (!terminalChanged) return;
  terminalChanged = 0;
  ::tcsetattr(STDIN_FILENO, TCSANOW, &savedTerminal);
  ssize_t ignored = ::write(STDOUT_FILENO, kLeaveScreen, sizeof kLeaveScreen - 1);
  (void)ignored;
  ReleaseErrorLines();
}

void OnTermination(int signal) {
  RestoreTerminal();
  ::signal(signal, SIG_DFL);
  ::raise(signal);
}

const EmbeddedDialog* FindTemplate(int templateId) {
  for (size_t i = 0; i < kEmbeddedDialogCount; ++i) {
    if (kEmbeddedDialogs[i].id == templateId) return &kEmbeddedDialogs[i];
  }
  return nullptr;
}

enum class Key { kNone, kEnter, kEscape, kQuit, kTab, kBackTab, kSpace, kInterrupt, kEnd };

class TerminalDesktop;

// A dialog kept on screen while a job runs; destroying it takes it away.
class KeptDialog : public TerminalDialog {
 public:
  KeptDialog(TerminalDesktop& desktop, const EmbeddedDialog& dialog, DialogHandler& handler);
  ~KeptDialog() override;

 private:
  TerminalDesktop& desktop_;
};

class TerminalDesktop : public Desktop {
 public:
  TerminalDesktop() : screen_(::isatty(STDIN_FILENO) && ::isatty(STDOUT_FILENO)) {
    struct sigaction action = {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
  }
  ~TerminalDesktop() override { RestoreTerminal(); }

  int RunModal(int templateId, DialogHandler& handler) override {
    const EmbeddedDialog* dialog = FindTemplate(templateId);
    if (dialog == nullptr) return -1;
    TerminalDialog window(*dialog, handler, [this] { dirty_ = true; }, [this] { Paint(true); });
    handler.OnInitDialog(window);
    if (window.ended()) return window.result();
    FlushKeptLines();
    modal_.push_back(&window);
    window.Show();
    if (screen_) {
      EnterScreen();
      RunOnScreen(window);
    } else {
      RunOnLines(window);
    }
    modal_.pop_back();
    dirty_ = true;
    return window.result();
  }

  std::unique_ptr<DialogWindow> CreateModeless(int templateId, DialogHandler& handler, DialogWindow&) override {
    const EmbeddedDialog* dialog = FindTemplate(templateId);
    if (dialog == nullptr) return nullptr;
    auto window = std::make_unique<KeptDialog>(*this, *dialog, handler);
    kept_.push_back(window.get());
    handler.OnInitDialog(*window);
    return window;
  }

  void DrainMessages() override {
    TerminalDialog* kept = ActiveKept();
    if (screen_) {
      for (Key key = ReadKey(0); key != Key::kNone && key != Key::kEnd; key = ReadKey(0)) {
        if (kept == nullptr) continue;
        // Enter and Esc do nothing here; the focus moves, and the space bar
        // presses the focused button as in any dialog.
        if (key == Key::kTab || key == Key::kBackTab) kept->MoveFocus(key == Key::kTab ? 1 : -1);
        if (key == Key::kSpace) kept->handler().OnCommand(kept->FocusedButton());
      }
    }
    if (interrupted && kept != nullptr && !kept->buttons().empty()) {
      interrupted = 0;
      kept->handler().OnCommand(kept->buttons().front()->id);
    }
    if (screen_) {
      Paint(false);
    } else {
      FlushKeptLines();
    }
  }

  void Sleep(uint32_t milliseconds) override {
    struct timespec rest = {static_cast<time_t>(milliseconds / 1000),
                            static_cast<long>(milliseconds % 1000) * 1000000L};
    while (::nanosleep(&rest, &rest) != 0 && errno == EINTR) {
    }
  }

  // Running applications learn of changed fonts from fontconfig: its caches
  // are made again from the font folders. Silent, like every finishing step.
  void BroadcastFontChange() override {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    char program[] = "fc-cache";
    char force[] = "-f";
    char* arguments[] = {program, force, nullptr};
    pid_t child = 0;
    if (posix_spawnp(&child, program, &actions, nullptr, arguments, environ) == 0) {
      int status = 0;
      while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
      }
    }
    posix_spawn_file_actions_destroy(&actions);
  }

  void Forget(TerminalDialog* window) {
    if (!screen_ && window->IsVisible()) PrintKeptLine(window);
    kept_.erase(std::remove(kept_.begin(), kept_.end(), window), kept_.end());
    lastLines_.erase(window);
    dirty_ = true;
  }
  void Changed() { dirty_ = true; }
  void PaintNow() { Paint(true); }

 private:
  TerminalDialog* ActiveKept() const {
    for (auto it = kept_.rbegin(); it != kept_.rend(); ++it) {
      if ((*it)->IsVisible()) return *it;
    }
    return nullptr;
  }

  void EnterScreen() {
    if (terminalChanged) return;
    if (::tcgetattr(STDIN_FILENO, &savedTerminal) != 0) return;
    struct termios raw = savedTerminal;
    raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
    raw.c_iflag &= static_cast<tcflag_t>(~(ICRNL | IXON));
    raw.c_cc[VMIN] = 0;
    raw.c_cc[VTIME] = 0;
    ::tcsetattr(STDIN_FILENO, TCSANOW, &raw);
    terminalChanged = 1;
    struct sigaction action = {};
    action.sa_handler = OnTermination;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGHUP, &action, nullptr);
    HoldErrorLines();
    WriteAll(STDOUT_FILENO, kEnterScreen);
  }

  void RunOnScreen(TerminalDialog& window) {
    while (!window.ended()) {
      Paint(true);
      Key key = ReadKey(-1);
      switch (key) {
        case Key::kEnter:
        case Key::kSpace:
          window.handler().OnCommand(window.FocusedButton());
          break;
        case Key::kEscape:
        case Key::kQuit:
        case Key::kInterrupt:
          window.handler().OnCommand(kCancel);
          break;
        case Key::kEnd:
          AnswerAtEndOfInput(window);
          break;
        case Key::kTab:
        case Key::kBackTab:
          window.MoveFocus(key == Key::kTab ? 1 : -1);
          break;
        case Key::kNone:
          break;
      }
    }
  }

  void RunOnLines(TerminalDialog& window) {
    std::string text;
    for (const std::string& line : window.Draw(BoxWidth(window, kLineWidth), false)) text += line + "\n";
    WriteAll(STDOUT_FILENO, text);
    while (!window.ended()) {
      WriteAll(STDOUT_FILENO, Hint(window) + "> ");
      std::string answer;
      if (!ReadLine(&answer)) {
        if (inputEnded_) {
          AnswerAtEndOfInput(window);
        } else {
          window.handler().OnCommand(kCancel);
        }
        continue;
      }
      // The answer stands in the output as it would on a terminal.
      WriteAll(STDOUT_FILENO, answer + "\n");
      int button = window.ButtonForAnswer(answer);
      if (button != 0) window.handler().OnCommand(button);
    }
  }

  // No more answers can come: Esc, and a dialog that stays open after it
  // (one that asks first) is closed with Cancel rather than left waiting.
  static void AnswerAtEndOfInput(TerminalDialog& window) {
    window.handler().OnCommand(kCancel);
    if (!window.ended()) window.EndModal(kCancel);
  }

  // Which answers the dialog takes, as the line before the prompt.
  static std::string Hint(const TerminalDialog& window) {
    std::string hint = std::string("[") + window.dialog().caption + "]";
    const auto& buttons = window.buttons();
    for (size_t i = 0; i < buttons.size(); ++i) {
      hint += " " + std::to_string(i + 1) + " = " + buttons[i]->text;
      if (buttons[i]->kind == ControlKind::kDefaultButton) hint += " (Enter)";
    }
    return hint + "\n";
  }

  // One line of standard input without its line end; false at its end
  // (inputEnded_) or when Ctrl-C was pressed.
  bool ReadLine(std::string* line) {
    for (;;) {
      size_t end = input_.find('\n');
      if (end != std::string::npos) {
        *line = input_.substr(0, end);
        input_.erase(0, end + 1);
        return true;
      }
      if (!WaitForInput(-1)) {
        if (interrupted) {
          interrupted = 0;
          return false;
        }
        continue;
      }
      char buffer[256];
      ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
      if (got < 0 && errno == EINTR) {
        if (interrupted) {
          interrupted = 0;
          return false;
        }
        continue;
      }
      if (got <= 0) {
        inputEnded_ = true;
        if (input_.empty()) return false;
        *line = input_;
        input_.clear();
        return true;
      }
      input_.append(buffer, static_cast<size_t>(got));
    }
  }

  // The next key, waiting up to `timeout` ms (-1: until there is one).
  Key ReadKey(int timeout) {
    if (interrupted && timeout != 0) {
      interrupted = 0;
      return Key::kInterrupt;
    }
    unsigned char byte = 0;
    if (!NextByte(timeout, &byte)) {
      if (interrupted && timeout != 0) {
        interrupted = 0;
        return Key::kInterrupt;
      }
      return inputEnded_ ? Key::kEnd : Key::kNone;
    }
    switch (byte) {
      case '\r':
      case '\n':
        return Key::kEnter;
      case '\t':
        return Key::kTab;
      case ' ':
        return Key::kSpace;
      case 'q':
      case 'Q':
        return Key::kQuit;
      case 0x1B:
        return EscapeSequence();
      default:
        return Key::kNone;
    }
  }

  // Esc alone, or the arrow keys and Shift-Tab that start with it.
  Key EscapeSequence() {
    unsigned char next = 0;
    if (!NextByte(kEscapeWait, &next) || (next != '[' && next != 'O')) return Key::kEscape;
    if (!NextByte(kEscapeWait, &next)) return Key::kEscape;
    switch (next) {
      case 'C':
      case 'B':
        return Key::kTab;
      case 'D':
      case 'A':
      case 'Z':
        return Key::kBackTab;
      default:
        return Key::kNone;
    }
  }

  bool NextByte(int timeout, unsigned char* byte) {
    if (inputEnded_ || !WaitForInput(timeout)) return false;
    ssize_t got = ::read(STDIN_FILENO, byte, 1);
    if (got == 0) inputEnded_ = true;
    return got == 1;
  }

  // Waits up to `timeout` ms (-1: without limit) for standard input to be
  // readable; false after the time or a signal. SIGINT is held back from the
  // look at its flag until the wait has begun, so a Ctrl-C in between ends
  // the wait instead of staying unseen until the next key or line, and then
  // stopping whatever job runs next.
  static bool WaitForInput(int timeout) {
    sigset_t interrupt;
    sigset_t previous;
    sigemptyset(&interrupt);
    sigaddset(&interrupt, SIGINT);
    ::sigprocmask(SIG_BLOCK, &interrupt, &previous);
    int ready = 0;
    if (!interrupted) {
      struct pollfd input = {STDIN_FILENO, POLLIN, 0};
      struct timespec limit = {static_cast<time_t>(timeout / 1000), static_cast<long>(timeout % 1000) * 1000000L};
      ready = ::ppoll(&input, 1, timeout < 0 ? nullptr : &limit, &previous);
      // Any other failure is left for the read to report.
      if (ready < 0 && errno != EINTR) ready = 1;
    }
    ::sigprocmask(SIG_SETMASK, &previous, nullptr);
    return ready > 0;
  }

  // Draws every window on screen, the active modal dialog last, one under
  // the other; what does not fit the terminal's height goes from the top.
  // Without `now`, kept windows that change often are drawn at most every
  // kPaintInterval.
  void Paint(bool now) {
    if (!screen_ || (!dirty_ && !now)) return;
    auto clock = std::chrono::steady_clock::now();
    if (!now && clock - lastPaint_ < kPaintInterval) return;
    lastPaint_ = clock;
    dirty_ = false;
    EnterScreen();
    struct winsize size = {};
    int columns = 80;
    int rows = 24;
    if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) {
      columns = size.ws_col;
      rows = size.ws_row;
    }
    std::vector<TerminalDialog*> shown;
    for (TerminalDialog* window : kept_) {
      if (window->IsVisible()) shown.push_back(window);
    }
    for (TerminalDialog* window : modal_) {
      if (window->IsVisible()) shown.push_back(window);
    }
    std::vector<std::string> lines;
    for (auto it = shown.rbegin(); it != shown.rend(); ++it) {
      std::vector<std::string> box = (*it)->Draw(BoxWidth(**it, columns), true);
      if (!lines.empty() && lines.size() + box.size() > static_cast<size_t>(rows)) break;
      lines.insert(lines.begin(), box.begin(), box.end());
    }
    std::string text = "\x1b[H";
    for (size_t i = 0; i < lines.size() && i < static_cast<size_t>(rows); ++i) {
      text += lines[i] + "\x1b[K" + (i + 1 < lines.size() ? "\r\n" : "");
    }
    WriteAll(STDOUT_FILENO, text + "\x1b[J");
  }

  // About four dialog units to a column, within the terminal.
  static int BoxWidth(const TerminalDialog& window, int columns) {
    return std::min(std::max(window.dialog().width / 4 + 4, 40), columns);
  }

  void FlushKeptLines() {
    if (screen_) return;
    for (TerminalDialog* window : kept_) {
      if (window->IsVisible()) PrintKeptLine(window);
    }
  }

  void PrintKeptLine(TerminalDialog* window) {
    std::string line = window->StatusLine();
    if (lastLines_[window] == line) return;
    lastLines_[window] = line;
    WriteAll(STDOUT_FILENO, line + "\n");
  }

  static constexpr int kLineWidth = 80;
  static constexpr int kEscapeWait = 30;
  static constexpr std::chrono::milliseconds kPaintInterval{50};

  const bool screen_;
  bool dirty_ = true;
  bool inputEnded_ = false;
  std::chrono::steady_clock::time_point lastPaint_;
  std::vector<TerminalDialog*> modal_;
  std::vector<TerminalDialog*> kept_;
  std::map<TerminalDialog*, std::string> lastLines_;
  std::string input_;
};

KeptDialog::KeptDialog(TerminalDesktop& desktop, const EmbeddedDialog& dialog, DialogHandler& handler)
    : TerminalDialog(dialog, handler, [&desktop] { desktop.Changed(); }, [&desktop] { desktop.PaintNow(); }),
      desktop_(desktop) {}

KeptDialog::~KeptDialog() { desktop_.Forget(this); }

}  // namespace

Desktop& HostDesktop() {
  static TerminalDesktop desktop;
  return desktop;
}

}  // namespace platform
