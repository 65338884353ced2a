// Dialogs from the program's templates: one dialog procedure for all of them,
// which finds the dialog object stored in the window and hands it the
// window's events.
#include "platform/desktop.h"

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <vector>

namespace platform {
namespace {

constexpr int kProgramIcon = 128;

class Win32Desktop;

// One dialog on screen; the dialog procedure reaches it through the
// window's user slot from WM_INITDIALOG on.
class Win32Dialog : public DialogWindow {
 public:
  Win32Dialog(Win32Desktop& desktop, DialogHandler& handler) : desktop_(desktop), handler_(handler) {}
  ~Win32Dialog() override;

  static INT_PTR CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  void SetItemText(int control, const std::string& text) override {
    SetDlgItemTextA(window_, control, text.c_str());
  }
  void RepaintItem(int control) override { UpdateWindow(GetDlgItem(window_, control)); }
  void SetBarPosition(int control, int position) override {
    SendDlgItemMessageA(window_, control, PBM_SETPOS, static_cast<WPARAM>(position), 0);
  }
  void InsertListColumn(int control, const std::string& heading, int widthPixels) override {
    LVCOLUMNA column = {};
    column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT;
    column.fmt = LVCFMT_LEFT;
    column.cx = widthPixels;
    column.pszText = const_cast<char*>(heading.c_str());
    SendDlgItemMessageA(window_, control, LVM_INSERTCOLUMNA, 0, reinterpret_cast<LPARAM>(&column));
  }
  void SetListFullRowSelect(int control) override {
    SendDlgItemMessageA(window_, control, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT,
                        LVS_EX_FULLROWSELECT);
  }
  void InsertListRow(int control, int row, const std::string& text) override {
    LVITEMA item = {};
    item.mask = LVIF_TEXT;
    item.iItem = row;
    item.pszText = const_cast<char*>(text.c_str());
    SendDlgItemMessageA(window_, control, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
  }
  void SetProgramIcon() override {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    icon_ = static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(kProgramIcon), IMAGE_ICON,
                                          GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), LR_SHARED));
    HICON small = static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(kProgramIcon), IMAGE_ICON,
                                                GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON),
                                                LR_SHARED));
    SendMessageA(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
    SendMessageA(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
  }
  void AppendSystemMenuItem(int command, const std::string& text) override {
    HMENU menu = GetSystemMenu(window_, FALSE);
    if (menu == nullptr) return;
    AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(menu, MF_STRING, static_cast<UINT_PTR>(command), text.c_str());
  }
  bool IsVisible() override { return IsWindowVisible(window_) != 0; }
  void Show() override { ShowWindow(window_, SW_SHOW); }
  void Hide() override { ShowWindow(window_, SW_HIDE); }
  void Repaint() override { UpdateWindow(window_); }
  void Invalidate() override { InvalidateRect(window_, nullptr, FALSE); }
  void EndModal(int result) override {
    ended_ = true;
    EndDialog(window_, result);
  }

  HWND window() const { return window_; }

 private:
  INT_PTR Handle(UINT message, WPARAM wParam, LPARAM lParam);
  // The program's icon, centred on the client area of the minimised window.
  void PaintMinimised();

  Win32Desktop& desktop_;
  DialogHandler& handler_;
  HWND window_ = nullptr;
  HICON icon_ = nullptr;
  bool ended_ = false;
};

class Win32Desktop : public Desktop {
 public:
  Win32Desktop() {
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
  }

  int RunModal(int templateId, DialogHandler& handler) override {
    Win32Dialog dialog(*this, handler);
    // The first modal dialog is the program's main window; later ones are
    // owned by it, or by the window last active above it (the progress
    // window while it shows), so that they come up in front.
    HWND owner = mainWindow_ == nullptr ? nullptr : GetLastActivePopup(mainWindow_);
    modal_.push_back(&dialog);
    INT_PTR result = DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(templateId), owner,
                                     Win32Dialog::Procedure, reinterpret_cast<LPARAM>(&dialog));
    modal_.pop_back();
    return static_cast<int>(result);
  }

  std::unique_ptr<DialogWindow> CreateModeless(int templateId, DialogHandler& handler,
                                               DialogWindow& owner) override {
    auto dialog = std::make_unique<Win32Dialog>(*this, handler);
    auto* ownerDialog = dynamic_cast<Win32Dialog*>(&owner);
    CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(templateId),
                       ownerDialog != nullptr ? ownerDialog->window() : nullptr, Win32Dialog::Procedure,
                       reinterpret_cast<LPARAM>(dialog.get()));
    if (dialog->window() != nullptr) kept_.push_back(dialog->window());
    return dialog;
  }

  void DrainMessages() override {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      HWND kept = KeptWindowOf(message.hwnd);
      if (kept != nullptr) {
        if (message.message == WM_KEYDOWN && (message.wParam == VK_RETURN || message.wParam == VK_ESCAPE)) {
          continue;
        }
        // Tab and the space bar work as in any dialog.
        if (IsDialogMessageA(kept, &message)) continue;
      }
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
  }

  void Sleep(uint32_t milliseconds) override { ::Sleep(milliseconds); }

  void BroadcastFontChange() override { PostMessageA(HWND_BROADCAST, WM_FONTCHANGE, 0, 0); }

  // A dialog's window exists: the outermost modal one is the main window.
  void NoteCreated(Win32Dialog* dialog, HWND window) {
    if (modal_.size() == 1 && modal_.front() == dialog) mainWindow_ = window;
  }
  void NoteGone(HWND window) {
    kept_.erase(std::remove(kept_.begin(), kept_.end(), window), kept_.end());
    if (window == mainWindow_) mainWindow_ = nullptr;
  }

 private:
  // The kept window that `window` is, or lies in; null for any other.
  HWND KeptWindowOf(HWND window) const {
    for (HWND kept : kept_) {
      if (window == kept || IsChild(kept, window)) return kept;
    }
    return nullptr;
  }

  std::vector<Win32Dialog*> modal_;  // the modal runs, outermost first
  HWND mainWindow_ = nullptr;
  std::vector<HWND> kept_;
};

Win32Dialog::~Win32Dialog() {
  if (window_ != nullptr) DestroyWindow(window_);
}

INT_PTR CALLBACK Win32Dialog::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* dialog = reinterpret_cast<Win32Dialog*>(GetWindowLongPtrA(window, DWLP_USER));
  if (message == WM_INITDIALOG) {
    dialog = reinterpret_cast<Win32Dialog*>(lParam);
    SetWindowLongPtrA(window, DWLP_USER, lParam);
    dialog->window_ = window;
    dialog->desktop_.NoteCreated(dialog, window);
  }
  return dialog == nullptr ? FALSE : dialog->Handle(message, wParam, lParam);
}

INT_PTR Win32Dialog::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      handler_.OnInitDialog(*this);
      return TRUE;
    case WM_COMMAND:
      // Buttons, Enter and Esc come as clicks; edit and list notifications
      // are not commands.
      if (HIWORD(wParam) != BN_CLICKED) return FALSE;
      handler_.OnCommand(LOWORD(wParam));
      return TRUE;
    case WM_SYSCOMMAND:
      if (!handler_.OnSystemCommand(static_cast<int>(wParam))) return FALSE;
      SetWindowLongPtrA(window_, DWLP_MSGRESULT, 0);
      return TRUE;
    case WM_PAINT:
      if (icon_ == nullptr || !IsIconic(window_)) return FALSE;
      PaintMinimised();
      return TRUE;
    case WM_WINDOWPOSCHANGING:
      // Wine's dialog manager shows a template marked visible once its
      // initialisation returns, even when the initialisation ended the
      // dialog (the main dialog after a refused start); Windows never shows
      // such a dialog, and neither may Wine.
      if (ended_) reinterpret_cast<WINDOWPOS*>(lParam)->flags &= ~SWP_SHOWWINDOW;
      return FALSE;
    case WM_QUERYDRAGICON:
      if (icon_ == nullptr) return FALSE;
      SetWindowLongPtrA(window_, DWLP_MSGRESULT, reinterpret_cast<LONG_PTR>(icon_));
      return TRUE;
    case WM_NCDESTROY:
      desktop_.NoteGone(window_);
      SetWindowLongPtrA(window_, DWLP_USER, 0);
      window_ = nullptr;
      return FALSE;
    default:
      (void)lParam;
      return FALSE;
  }
}

void Win32Dialog::PaintMinimised() {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window_, &paint);
  SendMessageA(window_, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
  RECT client;
  GetClientRect(window_, &client);
  int x = (client.right - client.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
  int y = (client.bottom - client.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
  DrawIcon(dc, x, y, icon_);
  EndPaint(window_, &paint);
}

}  // namespace

Desktop& HostDesktop() {
  static Win32Desktop desktop;
  return desktop;
}

}  // namespace platform
