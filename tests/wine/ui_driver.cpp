// ui_driver SCRIPT TRANSCRIPT [HANDSHAKE-FOLDER [shots]]
//
// Drives the updater's windows the way a user would, from a script, and
// writes what it saw as a transcript: one JSON object per line, in UTF-8,
// written through to the file line by line (a restart request under Wine
// ends this process without warning, and everything before it must be on
// disk by then).
//
// The updater runs as this program's child, so only its windows count. Each
// visible top-level dialog of the child is recognised by its caption and the
// exact set of its control ids (the template), and logged when it appears
// ("show", with every control's text, the list rows and the bar positions)
// and when it goes ("hide"). Presses are posted WM_COMMAND clicks of an
// existing, visible, enabled button; Enter, Esc and Tab are posted key-down and
// key-up messages to the control that has the focus, so they pass through the
// program's own message handling like real key presses.
//
// Script: one command a line, '#' starts a comment.
//   start PATH [ARGS]           start the updater (its folder as working folder)
//                               with the rest of the line as its arguments
//   wait T[|T...] MS            the next appearance, after the last one waited
//                               for, of a dialog of one of the templates; it
//                               becomes the current dialog
//   press ID                    click button ID of the current dialog
//   key enter|esc|tab           Enter, Esc or Tab to the focused control
//   sysmenu CMD                 system-menu command CMD to the current dialog
//   text ID                     log the text of control ID of the current dialog
//   texts T                     log every control of the visible dialog T
//   waittext ID MS TEXT         wait until control ID holds TEXT
//   waitchange ID MS            wait until control ID's text differs from what
//                               it was when the command began
//   closed MS                   wait until the current dialog is gone
//   visible T                   log whether a dialog T is on screen now; if
//                               so, it becomes the current dialog
//   exit MS                     wait for the updater to end
//   linger MS                   go on listening for MS
//   second MS T|- PATH [ARGS]   start PATH beside the first; log which windows
//                               it showed, whether it ended within MS and its
//                               exit code
//                               (with T: stop it once dialog T showed)
//   on T COMMAND...             whenever a dialog T appears, run COMMAND on it
//   caption T TEXT              recognise template T by caption TEXT from now
//                               on (another maker's program, another language)
//   hold PATH                   open PATH for reading, letting others only read
//                               it, as the system holds a loaded font, until
//                               the driver ends
//   shot NAME [MS]              with a handshake folder and "shots": after MS
//                               (500) for the painting, ask for a screenshot of
//                               the current dialog and wait until it is taken
//   move FROM TO                rename FROM to TO as another program of the
//                               user's would (MoveFileExW); log whether the
//                               system let it and its error
//   ask NAME MS                 ask the harness, through the handshake folder,
//                               to do what it calls NAME (something no Windows
//                               program can do, such as making a Unix link) and
//                               wait until it is done
// A command that cannot be done logs "fail", ends the updater and ends the
// script with exit code 1.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <set>
#include <string>
#include <vector>

namespace {

// The templates as the program must show them: caption and control ids.
// Static texts without an id (0xFFFF) are not part of the set.
struct Template {
  int id;
  std::wstring caption;
  std::set<int> controls;
};

std::vector<Template>& Templates() {
  static std::vector<Template> templates = {
      {100, L"TAVRELONフォント 改訂プログラムのﾊﾞｰｼﾞｮﾝ情報", {1100, 1}},
      {102, L"TAVRELONフォント 改訂プログラム", {1005, 1, 2}},
      {129, L"TAVRELONフォント 改訂プログラム", {1023, 1, 2}},
      {130, L"フォントを改訂中", {1006, 1007, 1008, 1009, 1010, 1011, 1012}},
      {131, L"確　認", {1013, 1}},
      {132, L"確　認", {1017, 1, 2}},
      {133, L"確　認", {1017, 1}},
      {134, L"確　認", {1013, 1, 2}},
      {170, L"検索中", {1076, 1077}},
  };
  return templates;
}

constexpr int kStaticId = 0xFFFF;
constexpr DWORD kPollMs = 15;
constexpr UINT kSendTimeoutMs = 3000;

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return std::string();
  int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                              nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n, nullptr, nullptr);
  return out;
}

std::wstring Wide(const std::string& text) {
  if (text.empty()) return std::wstring();
  int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n);
  return out;
}

std::string Json(const std::wstring& text) {
  std::string out = "\"";
  for (unsigned char c : Utf8(text)) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\r': out += "\\r"; break;
      case '\n': out += "\\n"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
          out += escaped;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

// The transcript: every line goes to the file as soon as it is complete.
class Transcript {
 public:
  explicit Transcript(const std::wstring& path) {
    file_ = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                        FILE_ATTRIBUTE_NORMAL, nullptr);
    start_ = GetTickCount();
  }
  ~Transcript() {
    if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
  }
  bool ok() const { return file_ != INVALID_HANDLE_VALUE; }
  // `fields` is the rest of a JSON object: "\"key\":value,...".
  void Line(const char* event, const std::string& fields) {
    char head[64];
    std::snprintf(head, sizeof head, "{\"ms\":%lu,\"ev\":\"%s\"", static_cast<unsigned long>(GetTickCount() - start_),
                  event);
    std::string line = head;
    if (!fields.empty()) line += "," + fields;
    line += "}\n";
    DWORD written = 0;
    WriteFile(file_, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    FlushFileBuffers(file_);
  }

 private:
  HANDLE file_ = INVALID_HANDLE_VALUE;
  DWORD start_ = 0;
};

std::wstring ClassOf(HWND window) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 63);
  return name;
}

// The text of a control of another process: WM_GETTEXT is carried across
// processes by the system, whereas GetWindowText would only give the text the
// window manager keeps, which an edit control does not update.
std::wstring TextOf(HWND window) {
  // One generous buffer rather than a length asked first: the text may change
  // between two messages while a job runs.
  std::vector<wchar_t> buffer(16384, L'\0');
  DWORD_PTR got = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXT, buffer.size() - 1, reinterpret_cast<LPARAM>(buffer.data()),
                           SMTO_ABORTIFHUNG, kSendTimeoutMs, &got)) {
    return L"<no answer>";
  }
  return std::wstring(buffer.data());
}

std::wstring CaptionOf(HWND window) {
  wchar_t caption[256] = {};
  GetWindowTextW(window, caption, 255);
  return caption;
}

std::vector<HWND> ChildrenOf(HWND dialog) {
  std::vector<HWND> children;
  for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
    children.push_back(child);
  }
  return children;
}

int TemplateOf(HWND dialog) {
  std::wstring caption = CaptionOf(dialog);
  std::set<int> ids;
  for (HWND child : ChildrenOf(dialog)) {
    int id = GetDlgCtrlID(child) & 0xFFFF;
    if (id != kStaticId) ids.insert(id);
  }
  for (const Template& t : Templates()) {
    if (caption == t.caption && ids == t.controls) return t.id;
  }
  return 0;
}

std::string IdList(HWND dialog) {
  std::string out = "[";
  for (HWND child : ChildrenOf(dialog)) {
    if (out.size() > 1) out += ",";
    out += std::to_string(GetDlgCtrlID(child) & 0xFFFF);
  }
  return out + "]";
}

// The rows of a list view in another process: the item buffer must lie in
// that process, so it is allocated there and read back.
std::string RowsOf(HANDLE process, HWND list) {
  DWORD_PTR count = 0;
  if (!SendMessageTimeoutW(list, LVM_GETITEMCOUNT, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &count)) {
    return "null";
  }
  constexpr int kChars = 2048;
  SIZE_T size = sizeof(LVITEMW) + kChars * sizeof(wchar_t);
  auto* remote = static_cast<char*>(VirtualAllocEx(process, nullptr, size, MEM_COMMIT, PAGE_READWRITE));
  if (remote == nullptr) return "null";
  std::string out = "[";
  for (DWORD_PTR row = 0; row < count; ++row) {
    LVITEMW item = {};
    item.iSubItem = 0;
    item.cchTextMax = kChars;
    item.pszText = reinterpret_cast<wchar_t*>(remote + sizeof(LVITEMW));
    SIZE_T done = 0;
    std::vector<wchar_t> text(kChars + 1, L'\0');
    DWORD_PTR got = 0;
    if (WriteProcessMemory(process, remote, &item, sizeof item, &done) &&
        SendMessageTimeoutW(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(remote), SMTO_ABORTIFHUNG,
                            kSendTimeoutMs, &got)) {
      ReadProcessMemory(process, remote + sizeof(LVITEMW), text.data(), kChars * sizeof(wchar_t), &done);
    }
    if (row > 0) out += ",";
    out += Json(text.data());
  }
  VirtualFreeEx(process, remote, 0, MEM_RELEASE);
  return out + "]";
}

// The headings and widths of a list view's columns, read like its rows.
std::string ColumnsOf(HANDLE process, HWND list) {
  DWORD_PTR header = 0;
  DWORD_PTR count = 0;
  if (!SendMessageTimeoutW(list, LVM_GETHEADER, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &header) || header == 0 ||
      !SendMessageTimeoutW(reinterpret_cast<HWND>(header), HDM_GETITEMCOUNT, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs,
                           &count)) {
    return "[]";
  }
  constexpr int kChars = 256;
  SIZE_T size = sizeof(HDITEMW) + kChars * sizeof(wchar_t);
  auto* remote = static_cast<char*>(VirtualAllocEx(process, nullptr, size, MEM_COMMIT, PAGE_READWRITE));
  if (remote == nullptr) return "[]";
  std::string out = "[";
  for (DWORD_PTR column = 0; column < count; ++column) {
    HDITEMW item = {};
    item.mask = HDI_TEXT | HDI_WIDTH;
    item.cchTextMax = kChars;
    item.pszText = reinterpret_cast<wchar_t*>(remote + sizeof(HDITEMW));
    SIZE_T done = 0;
    std::vector<wchar_t> text(kChars + 1, L'\0');
    DWORD_PTR got = 0;
    if (WriteProcessMemory(process, remote, &item, sizeof item, &done) &&
        SendMessageTimeoutW(reinterpret_cast<HWND>(header), HDM_GETITEMW, column, reinterpret_cast<LPARAM>(remote),
                            SMTO_ABORTIFHUNG, kSendTimeoutMs, &got)) {
      ReadProcessMemory(process, remote, &item, sizeof item, &done);
      ReadProcessMemory(process, remote + sizeof(HDITEMW), text.data(), kChars * sizeof(wchar_t), &done);
    }
    if (column > 0) out += ",";
    out += "{\"heading\":" + Json(text.data()) + ",\"width\":" + std::to_string(item.cxy) + "}";
  }
  VirtualFreeEx(process, remote, 0, MEM_RELEASE);
  return out + "]";
}

// Every control of a dialog: texts by id, the id-less statics in order, bar
// positions, list columns and rows.
std::string Describe(HANDLE process, HWND dialog) {
  std::string controls, statics, bars, rows = "null", columns = "null";
  for (HWND child : ChildrenOf(dialog)) {
    int id = GetDlgCtrlID(child) & 0xFFFF;
    std::wstring kind = ClassOf(child);
    if (kind == L"SysListView32") {
      rows = RowsOf(process, child);
      columns = ColumnsOf(process, child);
      continue;
    }
    if (kind == L"msctls_progress32") {
      DWORD_PTR position = 0;
      SendMessageTimeoutW(child, PBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &position);
      if (!bars.empty()) bars += ",";
      bars += "\"" + std::to_string(id) + "\":" + std::to_string(position);
      continue;
    }
    // An icon's window text is the resource reference, not a text.
    bool icon = kind == L"Static" && (GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON;
    std::string text = icon ? std::string("\"<icon>\"") : Json(TextOf(child));
    if (id == kStaticId) {
      if (!statics.empty()) statics += ",";
      statics += text;
    } else {
      if (!controls.empty()) controls += ",";
      controls += "\"" + std::to_string(id) + "\":" + text;
    }
  }
  return "\"controls\":{" + controls + "},\"statics\":[" + statics + "],\"bars\":{" + bars + "},\"rows\":" + rows +
         ",\"columns\":" + columns;
}

struct TopWindows {
  DWORD process;
  bool dialogsOnly;
  std::vector<HWND> found;
};

BOOL CALLBACK CollectTopWindow(HWND window, LPARAM context) {
  auto* top = reinterpret_cast<TopWindows*>(context);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner == top->process && IsWindowVisible(window) &&
      (!top->dialogsOnly || ClassOf(window) == L"#32770")) {
    top->found.push_back(window);
  }
  return TRUE;
}

std::vector<HWND> VisibleTopWindows(DWORD process, bool dialogsOnly) {
  TopWindows top = {process, dialogsOnly, {}};
  EnumWindows(CollectTopWindow, reinterpret_cast<LPARAM>(&top));
  return top.found;
}

struct Appearance {
  long seq;
  HWND window;
  int templateId;
};

struct Rule {
  int templateId;
  std::string command;
};

std::vector<std::string> Split(const std::string& line) {
  std::vector<std::string> words;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    size_t start = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
    if (i > start) words.push_back(line.substr(start, i - start));
  }
  return words;
}

// The rest of `line` after its first `skip` words.
std::string Rest(const std::string& line, int skip) {
  size_t i = 0;
  for (int n = 0; n < skip; ++n) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
  }
  while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
  return line.substr(i);
}

std::set<int> TemplateSet(const std::string& word) {
  std::set<int> ids;
  size_t start = 0;
  while (start <= word.size()) {
    size_t bar = word.find('|', start);
    if (bar == std::string::npos) bar = word.size();
    ids.insert(std::atoi(word.substr(start, bar - start).c_str()));
    start = bar + 1;
  }
  return ids;
}

class Driver {
 public:
  Driver(Transcript& log, std::wstring handshake, bool shots)
      : log_(log), handshake_(std::move(handshake)), shots_(shots) {}
  ~Driver() {
    if (child_.hProcess != nullptr) {
      CloseHandle(child_.hProcess);
      CloseHandle(child_.hThread);
    }
    for (HANDLE held : held_) CloseHandle(held);
  }

  // A hidden top-level window of the driver's own: what the system sends or
  // posts to every top-level window reaches it, so the transcript shows the
  // updater's font-change broadcast (and the end-of-session messages, which a
  // forced restart does not send).
  bool Listen() {
    WNDCLASSW kind = {};
    kind.lpfnWndProc = ListenerProcedure;
    kind.hInstance = GetModuleHandleW(nullptr);
    kind.lpszClassName = L"OtuUiDriverListener";
    if (!RegisterClassW(&kind)) return false;
    listener_ = CreateWindowExW(0, kind.lpszClassName, L"ui_driver", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                                kind.hInstance, nullptr);
    SetWindowLongPtrW(listener_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    return listener_ != nullptr;
  }

  bool Run(const std::vector<std::string>& lines) {
    for (const std::string& raw : lines) {
      std::string line = raw.substr(0, raw.find('#'));
      while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
      if (Split(line).empty()) continue;
      if (!Command(line, false)) {
        if (child_.hProcess != nullptr) TerminateProcess(child_.hProcess, 99);
        log_.Line("end", "\"ok\":false");
        return false;
      }
    }
    log_.Line("end", "\"ok\":true");
    return true;
  }

 private:
  static LRESULT CALLBACK ListenerProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* driver = reinterpret_cast<Driver*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (driver != nullptr) {
      switch (message) {
        case WM_FONTCHANGE:
          driver->log_.Line("fontchange", "");
          return 0;
        case WM_QUERYENDSESSION:
          driver->log_.Line("queryendsession", "\"flags\":" + std::to_string(lParam));
          return TRUE;
        case WM_ENDSESSION:
          driver->log_.Line("endsession", std::string("\"ending\":") + (wParam ? "true" : "false"));
          return 0;
        default:
          break;
      }
    }
    return DefWindowProcW(window, message, wParam, lParam);
  }

  // Waits a poll interval while the listener gets what is sent and posted.
  void Pause() {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, kPollMs, QS_ALLINPUT);
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }

  bool Fail(const std::string& why) {
    log_.Line("fail", "\"why\":" + Json(Wide(why)));
    return false;
  }

  // Notes which dialogs of the updater came and went since the last look,
  // and runs the rules of those that came; false once a rule failed.
  bool Poll() {
    if (child_.hProcess == nullptr) return !ruleFailed_;
    std::vector<HWND> now = VisibleTopWindows(child_.dwProcessId, true);
    for (auto it = visible_.begin(); it != visible_.end();) {
      bool still = false;
      for (HWND w : now) still = still || w == it->window;
      if (still) {
        ++it;
        continue;
      }
      log_.Line("hide", "\"seq\":" + std::to_string(it->seq) + ",\"t\":" + std::to_string(it->templateId));
      it = visible_.erase(it);
    }
    for (HWND w : now) {
      bool known = false;
      for (const Appearance& a : visible_) known = known || a.window == w;
      if (known) continue;
      Appearance a = {++seq_, w, TemplateOf(w)};
      visible_.push_back(a);
      appeared_.push_back(a);
      RECT r = {};
      GetWindowRect(w, &r);
      GUITHREADINFO gui = {};
      gui.cbSize = sizeof gui;
      bool active = GetGUIThreadInfo(GetWindowThreadProcessId(w, nullptr), &gui) && gui.hwndActive == w;
      std::string rect = "[" + std::to_string(r.left) + "," + std::to_string(r.top) + "," +
                         std::to_string(r.right) + "," + std::to_string(r.bottom) + "]";
      log_.Line("show", "\"seq\":" + std::to_string(a.seq) + ",\"t\":" + std::to_string(a.templateId) +
                            ",\"caption\":" + Json(CaptionOf(w)) + ",\"ids\":" + IdList(w) + ",\"rect\":" + rect +
                            ",\"active\":" + (active ? "true" : "false") + ",\"foreground\":" +
                            (GetForegroundWindow() == w ? "true" : "false") + "," + Describe(child_.hProcess, w));
      for (const Rule& rule : rules_) {
        if (rule.templateId != a.templateId) continue;
        Appearance saved = current_;
        current_ = a;
        log_.Line("rule", "\"t\":" + std::to_string(a.templateId) + ",\"command\":" + Json(Wide(rule.command)));
        if (!Command(rule.command, true)) ruleFailed_ = true;
        current_ = saved;
      }
    }
    return !ruleFailed_;
  }

  bool ChildEnded(DWORD* code) {
    if (child_.hProcess == nullptr) return true;
    if (WaitForSingleObject(child_.hProcess, 0) != WAIT_OBJECT_0) return false;
    GetExitCodeProcess(child_.hProcess, code);
    return true;
  }

  HWND CurrentControl(int id) {
    if (current_.window == nullptr || !IsWindow(current_.window)) return nullptr;
    return GetDlgItem(current_.window, id);
  }

  bool Command(const std::string& line, bool inRule) {
    std::vector<std::string> w = Split(line);
    const std::string& verb = w[0];
    auto number = [&](size_t i) { return i < w.size() ? std::atoi(w[i].c_str()) : 0; };
    if (inRule && verb != "press" && verb != "key" && verb != "texts" && verb != "text" && verb != "shot" &&
        verb != "sysmenu") {
      return Fail("not allowed in a rule: " + line);
    }
    if (verb == "start") {
      if (w.size() < 2) return Fail("start needs a path");
      return Start(Wide(w[1]), Wide(Rest(line, 2)));
    }
    if (verb == "on") {
      if (w.size() < 3) return Fail("on needs a template and a command");
      rules_.push_back({number(1), Rest(line, 2)});
      return true;
    }
    if (verb == "caption") {
      for (Template& t : Templates()) {
        if (t.id == number(1) && w.size() > 2) {
          t.caption = Wide(Rest(line, 2));
          log_.Line("caption", "\"t\":" + w[1] + ",\"caption\":" + Json(t.caption));
          return true;
        }
      }
      return Fail("caption: no template " + line);
    }
    if (verb == "wait") return Wait(TemplateSet(w.size() > 1 ? w[1] : ""), static_cast<DWORD>(number(2)));
    if (verb == "press") return Press(number(1));
    if (verb == "key") return Key(w.size() > 1 ? w[1] : "");
    if (verb == "sysmenu") {
      if (current_.window == nullptr || !IsWindowVisible(current_.window)) return Fail("sysmenu: no dialog");
      PostMessageW(current_.window, WM_SYSCOMMAND, static_cast<WPARAM>(number(1)), 0);
      log_.Line("sysmenu", "\"t\":" + std::to_string(current_.templateId) + ",\"command\":" + w[1]);
      return true;
    }
    if (verb == "text") {
      HWND control = CurrentControl(number(1));
      if (control == nullptr) return Fail("text: no control " + w[1]);
      log_.Line("text", "\"t\":" + std::to_string(current_.templateId) + ",\"id\":" + w[1] +
                            ",\"text\":" + Json(TextOf(control)));
      return true;
    }
    if (verb == "texts") return Texts(number(1));
    if (verb == "waittext") return WaitText(number(1), static_cast<DWORD>(number(2)), Wide(Rest(line, 3)));
    if (verb == "closed") return Closed(static_cast<DWORD>(number(1)));
    if (verb == "visible") {
      if (!Poll()) return false;
      bool on = false;
      for (const Appearance& a : visible_) {
        if (a.templateId != number(1)) continue;
        on = true;
        current_ = a;
      }
      log_.Line("visible", "\"t\":" + w[1] + ",\"visible\":" + (on ? "true" : "false"));
      return true;
    }
    if (verb == "exit") return Exit(static_cast<DWORD>(number(1)));
    if (verb == "linger") {
      DWORD begin = GetTickCount();
      while (GetTickCount() - begin < static_cast<DWORD>(number(1))) Pause();
      log_.Line("lingered", "");
      return true;
    }
    if (verb == "second") {
      if (w.size() < 4) return Fail("second needs MS, T or - and a path");
      return Second(static_cast<DWORD>(number(1)), w[2] == "-" ? 0 : number(2), Wide(w[3]), Wide(Rest(line, 4)));
    }
    if (verb == "waitchange") return WaitChange(number(1), static_cast<DWORD>(number(2)));
    if (verb == "hold") {
      std::wstring path = Wide(Rest(line, 1));
      HANDLE held = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
      if (held == INVALID_HANDLE_VALUE) return Fail("hold: cannot open " + Rest(line, 1));
      held_.push_back(held);
      log_.Line("hold", "\"path\":" + Json(path));
      return true;
    }
    if (verb == "shot") return Shot(w.size() > 1 ? w[1] : "", w.size() > 2 ? static_cast<DWORD>(number(2)) : 500);
    if (verb == "move") {
      if (w.size() != 3) return Fail("move needs FROM and TO");
      std::wstring from = Wide(w[1]), to = Wide(w[2]);
      bool moved = MoveFileExW(from.c_str(), to.c_str(), 0) != 0;
      DWORD error = moved ? 0 : GetLastError();
      log_.Line("move", "\"from\":" + Json(from) + ",\"to\":" + Json(to) + ",\"ok\":" + (moved ? "true" : "false") +
                            ",\"error\":" + std::to_string(error));
      return true;
    }
    if (verb == "ask") return Ask(w.size() > 1 ? w[1] : "", static_cast<DWORD>(number(2)));
    return Fail("unknown command: " + line);
  }

  bool Launch(const std::wstring& path, const std::wstring& arguments, PROCESS_INFORMATION* info) {
    std::wstring folder = path.substr(0, path.find_last_of(L'\\') + 1);
    std::wstring commandLine = L"\"" + path + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    return CreateProcessW(path.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                          folder.empty() ? nullptr : folder.c_str(), &startup, info) != 0;
  }

  bool Start(const std::wstring& path, const std::wstring& arguments) {
    if (child_.hProcess != nullptr) return Fail("start: the updater runs already");
    if (!Launch(path, arguments, &child_)) return Fail("start: cannot start " + Utf8(path));
    log_.Line("start", "\"path\":" + Json(path) + ",\"arguments\":" + Json(arguments) +
                           ",\"pid\":" + std::to_string(child_.dwProcessId));
    return true;
  }

  bool Wait(const std::set<int>& templates, DWORD timeout) {
    DWORD begin = GetTickCount();
    for (;;) {
      if (!Poll()) return false;
      for (const Appearance& a : appeared_) {
        if (a.seq > consumed_ && templates.count(a.templateId) != 0) {
          consumed_ = a.seq;
          current_ = a;
          log_.Line("wait", "\"seq\":" + std::to_string(a.seq) + ",\"t\":" + std::to_string(a.templateId));
          return true;
        }
      }
      DWORD code = 0;
      if (ChildEnded(&code)) {
        if (!Poll()) return false;
        return Fail("wait: the updater ended (exit " + std::to_string(code) + ") before the dialog came");
      }
      if (GetTickCount() - begin > timeout) return Fail("wait: timed out");
      Pause();
    }
  }

  bool Press(int id) {
    HWND button = CurrentControl(id);
    if (button == nullptr) return Fail("press: dialog " + std::to_string(current_.templateId) + " has no " +
                                       std::to_string(id));
    if (!IsWindowVisible(current_.window) || !IsWindowVisible(button) || !IsWindowEnabled(button) ||
        ClassOf(button) != L"Button") {
      return Fail("press: " + std::to_string(id) + " is not a visible, enabled button");
    }
    log_.Line("press", "\"t\":" + std::to_string(current_.templateId) + ",\"id\":" + std::to_string(id) +
                           ",\"label\":" + Json(TextOf(button)));
    PostMessageW(current_.window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
    return true;
  }

  bool Key(const std::string& name) {
    UINT key = name == "enter" ? VK_RETURN : name == "esc" ? VK_ESCAPE : name == "tab" ? VK_TAB : 0;
    UINT scan = name == "enter" ? 0x1C : name == "esc" ? 0x01 : 0x0F;
    if (key == 0) return Fail("key: enter, esc or tab");
    if (current_.window == nullptr || !IsWindowVisible(current_.window)) return Fail("key: no dialog");
    // A dialog that comes back from under a closed one gets its focus back a
    // moment later; a key sent before that would go nowhere a user's could.
    HWND target = current_.window;
    int focus = -1;
    DWORD begin = GetTickCount();
    for (;;) {
      GUITHREADINFO gui = {};
      gui.cbSize = sizeof gui;
      if (GetGUIThreadInfo(GetWindowThreadProcessId(current_.window, nullptr), &gui) && gui.hwndFocus != nullptr &&
          (gui.hwndFocus == current_.window || IsChild(current_.window, gui.hwndFocus))) {
        target = gui.hwndFocus;
        focus = target == current_.window ? 0 : GetDlgCtrlID(target) & 0xFFFF;
        break;
      }
      if (GetTickCount() - begin > 3000) break;
      Pause();
    }
    log_.Line("key", "\"t\":" + std::to_string(current_.templateId) + ",\"key\":\"" + name +
                         "\",\"focus\":" + std::to_string(focus));
    LPARAM down = 1 | (static_cast<LPARAM>(scan) << 16);
    LPARAM up = down | (static_cast<LPARAM>(1) << 30) | (static_cast<LPARAM>(1) << 31);
    PostMessageW(target, WM_KEYDOWN, key, down);
    PostMessageW(target, WM_KEYUP, key, up);
    return true;
  }

  bool Texts(int templateId) {
    if (!Poll()) return false;
    for (auto it = visible_.rbegin(); it != visible_.rend(); ++it) {
      if (it->templateId != templateId) continue;
      log_.Line("texts", "\"t\":" + std::to_string(templateId) + "," + Describe(child_.hProcess, it->window));
      return true;
    }
    log_.Line("texts", "\"t\":" + std::to_string(templateId) + ",\"controls\":null");
    return true;
  }

  bool WaitText(int id, DWORD timeout, const std::wstring& wanted) {
    DWORD begin = GetTickCount();
    for (;;) {
      if (!Poll()) return false;
      HWND control = CurrentControl(id);
      if (control == nullptr) return Fail("waittext: no control " + std::to_string(id));
      std::wstring text = TextOf(control);
      if (text.find(wanted) != std::wstring::npos) {
        log_.Line("text", "\"t\":" + std::to_string(current_.templateId) + ",\"id\":" + std::to_string(id) +
                              ",\"text\":" + Json(text));
        return true;
      }
      if (GetTickCount() - begin > timeout) return Fail("waittext: timed out; last text " + Utf8(text));
      Pause();
    }
  }

  bool WaitChange(int id, DWORD timeout) {
    HWND control = CurrentControl(id);
    if (control == nullptr) return Fail("waitchange: no control " + std::to_string(id));
    std::wstring before = TextOf(control);
    DWORD begin = GetTickCount();
    for (;;) {
      if (!Poll()) return false;
      control = CurrentControl(id);
      if (control == nullptr) return Fail("waitchange: the control went before its text changed");
      std::wstring text = TextOf(control);
      if (text != before) {
        log_.Line("text", "\"t\":" + std::to_string(current_.templateId) + ",\"id\":" + std::to_string(id) +
                              ",\"text\":" + Json(text));
        return true;
      }
      if (GetTickCount() - begin > timeout) return Fail("waitchange: timed out");
      Pause();
    }
  }

  bool Closed(DWORD timeout) {
    DWORD begin = GetTickCount();
    for (;;) {
      if (!Poll()) return false;
      if (current_.window == nullptr || !IsWindow(current_.window) || !IsWindowVisible(current_.window)) {
        log_.Line("closed", "\"t\":" + std::to_string(current_.templateId));
        return true;
      }
      if (GetTickCount() - begin > timeout) return Fail("closed: timed out");
      Pause();
    }
  }

  bool Exit(DWORD timeout) {
    DWORD begin = GetTickCount();
    for (;;) {
      DWORD code = 0;
      if (ChildEnded(&code)) {
        if (!Poll()) return false;
        log_.Line("exit", "\"code\":" + std::to_string(code));
        return true;
      }
      if (!Poll()) return false;
      if (GetTickCount() - begin > timeout) return Fail("exit: timed out");
      Pause();
    }
  }

  bool Second(DWORD timeout, int stopAt, const std::wstring& path, const std::wstring& arguments) {
    PROCESS_INFORMATION info = {};
    if (!Launch(path, arguments, &info)) return Fail("second: cannot start " + Utf8(path));
    DWORD begin = GetTickCount();
    std::set<HWND> seen;
    std::string templates;
    bool ended = false, stopped = false;
    for (;;) {
      if (!Poll()) {
        TerminateProcess(info.hProcess, 98);
        CloseHandle(info.hProcess);
        CloseHandle(info.hThread);
        return false;
      }
      for (HWND window : VisibleTopWindows(info.dwProcessId, false)) {
        if (!seen.insert(window).second) continue;
        if (!templates.empty()) templates += ",";
        int t = ClassOf(window) == L"#32770" ? TemplateOf(window) : -1;
        templates += std::to_string(t);
        if (t == stopAt && stopAt != 0) stopped = true;
      }
      if (WaitForSingleObject(info.hProcess, 0) == WAIT_OBJECT_0) {
        ended = true;
        break;
      }
      if (stopped || GetTickCount() - begin > timeout) break;
      Pause();
    }
    DWORD code = 0;
    if (ended) {
      GetExitCodeProcess(info.hProcess, &code);
    } else {
      TerminateProcess(info.hProcess, 98);
      WaitForSingleObject(info.hProcess, 5000);
    }
    log_.Line("second", "\"path\":" + Json(path) + ",\"windows\":[" + templates + "],\"ended\":" +
                            (ended ? "true" : "false") + ",\"code\":" + std::to_string(code));
    CloseHandle(info.hProcess);
    CloseHandle(info.hThread);
    return true;
  }

  // The harness takes the picture: it finds the request, grabs the screen,
  // crops it to the rectangle given and answers with the done file.
  bool Shot(const std::string& name, DWORD settle) {
    if (!shots_) return true;
    if (current_.window == nullptr || !IsWindowVisible(current_.window)) return Fail("shot: no dialog");
    Sleep(settle);
    RECT r = {};
    GetWindowRect(current_.window, &r);
    char body[160];
    std::snprintf(body, sizeof body, "%s %ld %ld %ld %ld\n", name.c_str(), static_cast<long>(r.left),
                  static_cast<long>(r.top), static_cast<long>(r.right), static_cast<long>(r.bottom));
    if (!Handshake(L"shot", body, 30000)) return false;
    log_.Line("shot", "\"name\":" + Json(Wide(name)) + ",\"t\":" + std::to_string(current_.templateId));
    return true;
  }

  bool Ask(const std::string& name, DWORD timeout) {
    if (name.empty()) return Fail("ask needs a name");
    if (!Handshake(L"ask", name + "\n", timeout)) return false;
    log_.Line("asked", "\"name\":" + Json(Wide(name)));
    return true;
  }

  // Puts `body` in KIND.req of the handshake folder (whole, by a rename) and
  // waits until the harness answers with KIND.done.
  bool Handshake(const std::wstring& kind, const std::string& body, DWORD timeout) {
    if (handshake_.empty()) return Fail("no handshake folder");
    std::wstring request = handshake_ + L"\\" + kind + L".req", staged = handshake_ + L"\\" + kind + L".tmp",
                 done = handshake_ + L"\\" + kind + L".done";
    HANDLE file = CreateFileW(staged.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return Fail("handshake: cannot write the request");
    DWORD written = 0;
    WriteFile(file, body.data(), static_cast<DWORD>(body.size()), &written, nullptr);
    CloseHandle(file);
    MoveFileExW(staged.c_str(), request.c_str(), MOVEFILE_REPLACE_EXISTING);
    DWORD begin = GetTickCount();
    while (GetFileAttributesW(done.c_str()) == INVALID_FILE_ATTRIBUTES) {
      if (GetTickCount() - begin > timeout) return Fail("handshake: no answer");
      Sleep(50);
    }
    DeleteFileW(done.c_str());
    return true;
  }

  Transcript& log_;
  std::wstring handshake_;
  bool shots_;
  HWND listener_ = nullptr;
  bool ruleFailed_ = false;
  PROCESS_INFORMATION child_ = {};
  std::vector<Appearance> visible_;
  std::vector<Appearance> appeared_;
  std::vector<Rule> rules_;
  std::vector<HANDLE> held_;
  Appearance current_ = {0, nullptr, 0};
  long seq_ = 0;
  long consumed_ = 0;
};

std::vector<std::string> ReadLines(const std::wstring& path, bool* ok) {
  std::vector<std::string> lines;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  *ok = file != INVALID_HANDLE_VALUE;
  if (!*ok) return lines;
  std::string all;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) all.append(buffer, got);
  CloseHandle(file);
  if (all.size() >= 3 && all.compare(0, 3, "\xEF\xBB\xBF") == 0) all.erase(0, 3);
  size_t start = 0;
  while (start < all.size()) {
    size_t end = all.find('\n', start);
    if (end == std::string::npos) end = all.size();
    lines.push_back(all.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (argv == nullptr || argc < 3) return 2;
  Transcript log(argv[2]);
  if (!log.ok()) return 2;
  bool ok = false;
  std::vector<std::string> lines = ReadLines(argv[1], &ok);
  if (!ok) {
    log.Line("fail", "\"why\":\"cannot read the script\"");
    return 2;
  }
  Driver driver(log, argc > 3 ? argv[3] : L"", argc > 4 && std::wcscmp(argv[4], L"shots") == 0);
  if (!driver.Listen()) {
    log.Line("fail", "\"why\":\"cannot create the listening window\"");
    return 2;
  }
  int result = driver.Run(lines) ? 0 : 1;
  LocalFree(argv);
  return result;
}
