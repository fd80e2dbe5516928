#include "ui/win32/win32_automation.h"

#include <cstdio>
#include <vector>

namespace sk::ui {

Win32Automation* Win32Automation::modal_ = nullptr;

namespace {

// The folder chooser of the newer style fills its tree after it opens.
constexpr int kChooserSettleMs = 1500;
constexpr int kMessageSettleMs = 300;
constexpr UINT kNoMenuItem = 0xFFFFFFFF;

bool Later(DWORD now, DWORD then) { return static_cast<LONG>(now - then) >= 0; }

// The dialog the system shows for this thread (a message box, the folder chooser).
HWND ThreadDialog() {
  HWND found = nullptr;
  EnumThreadWindows(
      GetCurrentThreadId(),
      [](HWND hwnd, LPARAM out) -> BOOL {
        char name[16] = {};
        GetClassNameA(hwnd, name, sizeof(name));
        if (IsWindowVisible(hwnd) && lstrcmpA(name, "#32770") == 0) {
          *reinterpret_cast<HWND*>(out) = hwnd;
          return FALSE;
        }
        return TRUE;
      },
      LPARAM(&found));
  return found;
}

void SendCommand(HWND control, int code) {
  SendMessageA(GetParent(control), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(control), code),
               LPARAM(control));
}

void SendNotify(HWND control, UINT code, int item) {
  NMITEMACTIVATE note{};
  note.hdr.hwndFrom = control;
  note.hdr.idFrom = static_cast<UINT_PTR>(GetDlgCtrlID(control));
  note.hdr.code = code;
  note.iItem = item;
  SendMessageA(GetParent(control), WM_NOTIFY, note.hdr.idFrom, LPARAM(&note));
}

int SelectedRow(HWND list) {
  return static_cast<int>(SendMessageA(list, LVM_GETNEXTITEM, WPARAM(-1), LVNI_SELECTED));
}

}  // namespace

Toolkit& Win32Automation::toolkit() { return tk_; }

Win32Automation::~Win32Automation() {
  if (modal_ == this) modal_ = nullptr;
}

std::optional<std::string> Win32Automation::WindowTitle(int window) {
  HWND hwnd = tk_.NativeWindow(window);
  if (hwnd == nullptr) return std::nullopt;
  char shown[512] = {};
  GetWindowTextA(hwnd, shown, sizeof(shown));
  return std::string(shown);
}

bool Win32Automation::WindowEnabled(int window) {
  HWND hwnd = tk_.NativeWindow(window);
  return hwnd != nullptr && IsWindowEnabled(hwnd);
}

bool Win32Automation::ControlEnabled(int window, int control) {
  HWND hwnd = tk_.NativeControl(window, control);
  return hwnd != nullptr && IsWindowEnabled(hwnd);
}

Rect Win32Automation::ControlRect(int window, int control) {
  HWND hwnd = tk_.NativeControl(window, control);
  RECT r{};
  if (hwnd != nullptr) {
    GetWindowRect(hwnd, &r);
    MapWindowPoints(nullptr, GetParent(hwnd), reinterpret_cast<POINT*>(&r), 2);
  }
  return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

std::string Win32Automation::MenuState(int window, int item) {
  const UINT id = static_cast<UINT>(Win32Toolkit::kMenuIdBase + item);
  UINT state = kNoMenuItem;
  for (HMENU menu : {tk_.MenuBarOf(window), tk_.ContextMenuOf(window)}) {
    if (menu != nullptr && state == kNoMenuItem) state = GetMenuState(menu, id, MF_BYCOMMAND);
  }
  if (state == kNoMenuItem) return "missing";
  return std::string((state & (MF_GRAYED | MF_DISABLED)) != 0 ? "disabled" : "enabled") +
         ((state & MF_CHECKED) != 0 ? " checked" : "");
}

bool Win32Automation::ChooseMenu(int window, int item) {
  HWND hwnd = tk_.NativeWindow(window);
  if (hwnd == nullptr) return false;
  SendMessageA(hwnd, WM_COMMAND, MAKEWPARAM(Win32Toolkit::kMenuIdBase + item, 0), 0);
  return true;
}

bool Win32Automation::Close(int window) {
  HWND hwnd = tk_.NativeWindow(window);
  if (hwnd == nullptr) return false;
  SendMessageA(hwnd, WM_CLOSE, 0, 0);
  return true;
}

bool Win32Automation::Maximize(int window, bool maximized) {
  HWND hwnd = tk_.NativeWindow(window);
  if (hwnd == nullptr) return false;
  ShowWindow(hwnd, maximized ? SW_MAXIMIZE : SW_RESTORE);
  return true;
}

bool Win32Automation::Resize(int window, int width, int height) {
  HWND hwnd = tk_.NativeWindow(window);
  if (hwnd == nullptr) return false;
  const WindowGeometry g = tk_.GetWindowGeometry(window);
  RECT outer{};
  GetWindowRect(hwnd, &outer);
  SetWindowPos(hwnd, nullptr, 0, 0, outer.right - outer.left + width - g.width,
               outer.bottom - outer.top + height - g.height, SWP_NOMOVE | SWP_NOZORDER);
  return true;
}

HWND Win32Automation::ActiveControl(int window, int control) {
  if (tk_.NativeWindow(window) == nullptr) return nullptr;
  HWND hwnd = tk_.NativeControl(window, control);
  return hwnd != nullptr && IsWindowEnabled(hwnd) ? hwnd : nullptr;
}

bool Win32Automation::Click(int window, int control) {
  HWND hwnd = ActiveControl(window, control);
  if (hwnd == nullptr) return false;
  switch (tk_.KindOf(window, control)) {
    case ControlKind::kOption:
      tk_.SetValue(window, control, 1);
      SendCommand(hwnd, BN_CLICKED);
      return true;
    case ControlKind::kButton:
      SendCommand(hwnd, BN_CLICKED);
      return true;
    case ControlKind::kLink:
      SendCommand(hwnd, STN_CLICKED);
      return true;
    default:
      return false;
  }
}

bool Win32Automation::Select(int window, int control, int row) {
  HWND hwnd = ActiveControl(window, control);
  if (hwnd == nullptr) return false;
  switch (tk_.KindOf(window, control)) {
    case ControlKind::kReportList: {
      // As a click does: the old row goes, the new one comes, each with its own event.
      const int selected = SelectedRow(hwnd);
      LVITEMA state{};
      state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
      if (selected >= 0 && selected != row) {
        SendMessageA(hwnd, LVM_SETITEMSTATE, selected, LPARAM(&state));
      }
      if (row >= 0) {
        state.state = LVIS_SELECTED | LVIS_FOCUSED;
        SendMessageA(hwnd, LVM_SETITEMSTATE, row, LPARAM(&state));
        SendMessageA(hwnd, LVM_ENSUREVISIBLE, row, FALSE);
      }
      return true;
    }
    case ControlKind::kDropDown:
      SendMessageA(hwnd, CB_SETCURSEL, WPARAM(row), 0);
      SendCommand(hwnd, CBN_SELCHANGE);
      return true;
    case ControlKind::kTabs: {
      SendMessageA(hwnd, TCM_SETCURSEL, WPARAM(row), 0);
      NMHDR header{hwnd, static_cast<UINT_PTR>(GetDlgCtrlID(hwnd)),
                   static_cast<UINT>(TCN_SELCHANGE)};
      SendMessageA(GetParent(hwnd), WM_NOTIFY, header.idFrom, LPARAM(&header));
      return true;
    }
    default:
      return false;
  }
}

bool Win32Automation::ClickRow(int window, int control, bool double_click) {
  HWND hwnd = ActiveControl(window, control);
  if (hwnd == nullptr || tk_.KindOf(window, control) != ControlKind::kReportList) return false;
  SendNotify(hwnd, double_click ? LVN_ITEMACTIVATE : NM_RCLICK, SelectedRow(hwnd));
  return true;
}

bool Win32Automation::PressKey(int window, bool enter) {
  HWND frame = tk_.NativeWindow(window);
  HWND focus = GetFocus();
  if (frame == nullptr || focus == nullptr || (focus != frame && !IsChild(frame, focus))) {
    return false;
  }
  // Through the queue, so that the dialog handling of the program's loop sees the key.
  const WPARAM key = enter ? VK_RETURN : VK_ESCAPE;
  PostMessageA(focus, WM_KEYDOWN, key, 1);
  PostMessageA(focus, WM_KEYUP, key, 0xC0000001);
  return true;
}

void Win32Automation::Settle(int milliseconds) {
  const DWORD until = GetTickCount() + static_cast<DWORD>(milliseconds);
  while (!Later(GetTickCount(), until)) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    Sleep(10);
  }
}

bool Win32Automation::SaveScreen(const std::string& folder, const std::string& name) {
  const int width = GetSystemMetrics(SM_CXSCREEN);
  const int height = GetSystemMetrics(SM_CYSCREEN);
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  void* bits = nullptr;
  HBITMAP picture = TopDownBitmap(width, height, &bits);
  bool ok = false;
  std::vector<uint32_t> pixels;
  if (picture != nullptr && bits != nullptr && memory != nullptr) {
    HGDIOBJ old = SelectObject(memory, picture);
    ok = BitBlt(memory, 0, 0, width, height, screen, 0, 0, SRCCOPY | CAPTUREBLT) != 0;
    GdiFlush();
    const auto* begin = static_cast<const uint32_t*>(bits);
    pixels.assign(begin, begin + static_cast<size_t>(width) * height);
    SelectObject(memory, old);
  }
  if (picture != nullptr) DeleteObject(picture);
  if (memory != nullptr) DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  const std::vector<uint8_t> file = win32::BmpFile(width, height, pixels);
  std::string path = folder;
  if (!path.empty() && path.back() != '\\' && path.back() != '/') path += '\\';
  path += name + ".bmp";
  std::FILE* out = ok && !file.empty() ? std::fopen(path.c_str(), "wb") : nullptr;
  if (out == nullptr || std::fwrite(file.data(), 1, file.size(), out) != file.size()) ok = false;
  if (out != nullptr && std::fclose(out) != 0) ok = false;
  return ok;
}

void CALLBACK Win32Automation::ModalTimer(HWND, UINT, UINT_PTR timer, DWORD) {
  KillTimer(nullptr, timer);
  Win32Automation* self = modal_;
  if (self == nullptr) return;
  self->modal_timer_ = 0;
  if (self->modal_shots_ != nullptr) (*self->modal_shots_)();
  if (HWND dialog = ThreadDialog()) {
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(self->modal_button_, BN_CLICKED), 0);
  }
}

template <typename Show>
void Win32Automation::PhotographModal(int delay_ms, int button,
                                      const std::function<void()>& take_shots, Show show) {
  modal_ = this;
  modal_button_ = button;
  modal_shots_ = &take_shots;
  modal_timer_ = SetTimer(nullptr, 0, static_cast<UINT>(delay_ms), &Win32Automation::ModalTimer);
  show();
  if (modal_timer_ != 0) KillTimer(nullptr, modal_timer_);
  modal_timer_ = 0;
  modal_shots_ = nullptr;
  modal_ = nullptr;
}

void Win32Automation::PhotographMessage(const std::string& title, const std::string& text,
                                        Icon icon, Buttons buttons, Answer answer,
                                        const std::function<void()>& take_shots) {
  PhotographModal(kMessageSettleMs, ButtonOfAnswer(answer), take_shots, [&] {
    Win32Toolkit::SystemMessageBox(tk_.ActiveWindow(), title, text, icon, buttons);
  });
}

void Win32Automation::PhotographFolderChooser(const std::string& title, const std::string& start,
                                              const std::function<void()>& take_shots) {
  PhotographModal(kChooserSettleMs, IDCANCEL, take_shots,
                  [&] { tk_.RunFolderChooser(title, start); });
}

void Win32Automation::CloseContextMenu() { EndMenu(); }

}  // namespace sk::ui
