// Windows, events and the message pump of the native toolkit. Controls, lists and menus,
// and the dialogs live in win32_controls.cc, win32_lists.cc and win32_dialogs.cc.
#include "ui/win32/win32_toolkit.h"

#include <ole2.h>

#include <algorithm>

#include "ui/automation_player.h"
#include "ui/window_map.h"

namespace sk::ui {

namespace {

constexpr char kWindowClass[] = "StowkeeperWindow";
// Native messages handled in one pump at most, so that a flood cannot stall a job.
constexpr int kMaxDispatchPerPump = 500;
// While a script plays, the wait wakes up this often to let it run.
constexpr DWORD kAutomationWaitMs = 10;

// The outer size of a window with the given inner size, without a menu bar.
SIZE OuterSize(DWORD style, DWORD ex_style, int width, int height) {
  RECT r{0, 0, width, height};
  AdjustWindowRectEx(&r, style, FALSE, ex_style);
  return {r.right - r.left, r.bottom - r.top};
}

win32::Area AreaOf(const RECT& r) { return {r.left, r.top, r.right - r.left, r.bottom - r.top}; }

win32::Area WorkAreaOf(HWND near_window) {
  MONITORINFO info{};
  info.cbSize = sizeof(info);
  HMONITOR monitor = near_window != nullptr
                         ? MonitorFromWindow(near_window, MONITOR_DEFAULTTOPRIMARY)
                         : MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY);
  if (monitor != nullptr && GetMonitorInfoA(monitor, &info)) return AreaOf(info.rcWork);
  RECT work{};
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
  return AreaOf(work);
}

// The first icon of the program's resources, at the size the system wants for it.
HICON ResourceIcon(HINSTANCE instance, int size) {
  LPSTR first = nullptr;
  EnumResourceNamesA(
      instance, reinterpret_cast<LPCSTR>(RT_GROUP_ICON),
      [](HMODULE, LPCSTR, LPSTR name, LONG_PTR found) -> BOOL {
        *reinterpret_cast<LPSTR*>(found) = name;
        return FALSE;
      },
      reinterpret_cast<LONG_PTR>(&first));
  if (first == nullptr) return nullptr;
  // A name given as a string lives only during the enumeration; numbered ones are kept.
  if (!IS_INTRESOURCE(first)) return nullptr;
  return static_cast<HICON>(LoadImageA(instance, first, IMAGE_ICON, size, size, 0));
}

}  // namespace

bool IsVistaOrLater() {
  OSVERSIONINFOA version{};
  version.dwOSVersionInfoSize = sizeof(version);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  if (!GetVersionExA(&version)) return true;
#pragma GCC diagnostic pop
  return version.dwMajorVersion >= 6;
}

Win32Toolkit::Win32Toolkit() : instance_(GetModuleHandleA(nullptr)), vista_(IsVistaOrLater()) {
  INITCOMMONCONTROLSEX controls{};
  controls.dwSize = sizeof(controls);
  controls.dwICC = ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES | ICC_TAB_CLASSES | ICC_BAR_CLASSES |
                   ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS;
  InitCommonControlsEx(&controls);
  // The folder chooser's newer style needs OLE on this thread.
  ole_ = SUCCEEDED(OleInitialize(nullptr));

  WNDCLASSEXA window_class{};
  window_class.cbSize = sizeof(window_class);
  window_class.lpfnWndProc = &Win32Toolkit::WindowProc;
  window_class.hInstance = instance_;
  window_class.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  window_class.lpszClassName = kWindowClass;
  ready_ = RegisterClassExA(&window_class) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;

  // The controls' font: the desktop's message font at 8 points, the size the windows' pixel
  // layout was made for.
  NONCLIENTMETRICSA metrics{};
  metrics.cbSize = sizeof(metrics);
  LOGFONTA face{};
  if (SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0)) {
    face = metrics.lfMessageFont;
  } else {
    GetObjectA(GetStockObject(DEFAULT_GUI_FONT), sizeof(face), &face);
  }
  HDC screen = GetDC(nullptr);
  face.lfHeight = win32::FontHeight(8, GetDeviceCaps(screen, LOGPIXELSY));
  ReleaseDC(nullptr, screen);
  face.lfWidth = 0;
  base_font_ = CreateFontIndirectA(&face);
  face.lfUnderline = TRUE;
  link_font_ = CreateFontIndirectA(&face);

  big_icon_ = ResourceIcon(instance_, GetSystemMetrics(SM_CXICON));
  small_icon_ = ResourceIcon(instance_, GetSystemMetrics(SM_CXSMICON));
}

Win32Toolkit::~Win32Toolkit() {
  automation_.reset();
  while (!windows_.empty()) CloseWindow(windows_.rbegin()->first);
  if (images_ != nullptr) ImageList_Destroy(images_);
  for (HICON icon : {big_icon_, small_icon_}) {
    if (icon != nullptr) DestroyIcon(icon);
  }
  for (HFONT font : {base_font_, link_font_}) {
    if (font != nullptr) DeleteObject(font);
  }
  if (ole_) OleUninitialize();
}

void Win32Toolkit::SetAutomation(std::unique_ptr<AutomationPlayer> automation) {
  automation_ = std::move(automation);
}

// --- Events.

void Win32Toolkit::Queue(const Event& event) {
  if (!quiet_) queue_.Push(event);
}

bool Win32Toolkit::DispatchOne(MSG& msg) {
  // Tab, the arrow keys and Enter move between and press the controls as in dialogs.
  HWND top = msg.hwnd != nullptr ? GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
  if (top != nullptr && RefOf(top) != nullptr && IsDialogMessageA(top, &msg)) return true;
  TranslateMessage(&msg);
  DispatchMessageA(&msg);
  return true;
}

void Win32Toolkit::PumpNow() {
  if (pumping_) return;  // a window procedure or dialog inside the pump must not pump again
  pumping_ = true;
  MSG msg;
  for (int i = 0; i < kMaxDispatchPerPump && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE); ++i) {
    DispatchOne(msg);
  }
  pumping_ = false;
  throttle_.Pumped(GetTickCount());
}

void Win32Toolkit::Pump() {
  PumpNow();
  if (automation_ != nullptr && queue_.Empty()) automation_->Step();
}

Event Win32Toolkit::PollEvent() {
  if (!queue_.Empty()) return queue_.Pop();
  if (!throttle_.Due(GetTickCount())) return Event{};
  Pump();
  return queue_.Pop();
}

Event Win32Toolkit::WaitEvent() {
  for (;;) {
    if (!queue_.Empty()) return queue_.Pop();
    Pump();
    if (!queue_.Empty()) continue;
    if (windows_.empty() && automation_ == nullptr) return Event{};
    if (automation_ != nullptr) {
      MsgWaitForMultipleObjects(0, nullptr, FALSE, kAutomationWaitMs, QS_ALLINPUT);
      continue;
    }
    MSG msg;
    if (GetMessageA(&msg, nullptr, 0, 0) <= 0) return Event{};
    DispatchOne(msg);
  }
}

// --- The window procedure.

LRESULT CALLBACK Win32Toolkit::WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lparam);
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* tk = reinterpret_cast<Win32Toolkit*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  const Ref* ref = tk != nullptr ? tk->RefOf(hwnd) : nullptr;
  if (ref == nullptr) return DefWindowProcA(hwnd, message, wparam, lparam);
  const Ref copy = *ref;  // the map may change while the message is handled
  return tk->Handle(hwnd, copy, message, wparam, lparam);
}

LRESULT Win32Toolkit::Handle(HWND hwnd, const Ref& ref, UINT message, WPARAM wparam,
                             LPARAM lparam) {
  const bool top = ref.kind == Ref::Kind::kWindow;
  switch (message) {
    case WM_CLOSE:
      // The program decides: the window stays until it is closed by the program.
      if (top) Queue({EventType::kClose, ref.window, -1});
      return 0;
    case WM_SIZE:
      if (top) OnSize(ref, hwnd);
      break;
    case WM_GETMINMAXINFO:
      if (WindowData* w = FindWin(ref.window); top && w != nullptr && w->min_width > 0) {
        const SIZE outer = OuterSize(static_cast<DWORD>(GetWindowLongPtrA(hwnd, GWL_STYLE)),
                                     static_cast<DWORD>(GetWindowLongPtrA(hwnd, GWL_EXSTYLE)),
                                     w->min_width, w->min_height);
        auto* info = reinterpret_cast<MINMAXINFO*>(lparam);
        info->ptMinTrackSize = {outer.cx, outer.cy};
        return 0;
      }
      break;
    case WM_COMMAND:
      if (HandleCommand(ref, wparam, lparam)) return 0;
      break;
    case WM_NOTIFY:
      if (HandleNotify(*reinterpret_cast<const NMHDR*>(lparam))) return 0;
      break;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORBTN:
      return HandleColour(reinterpret_cast<HWND>(lparam), reinterpret_cast<HDC>(wparam), message,
                          hwnd, wparam, lparam);
    case WM_SETCURSOR:
      if (const Ref* under = RefOf(reinterpret_cast<HWND>(wparam));
          under != nullptr && under->kind == Ref::Kind::kControl &&
          KindOf(under->window, under->control) == ControlKind::kLink) {
        SetCursor(LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_HAND)));
        return TRUE;
      }
      break;
    case WM_TIMER:
      if (top && wparam == kMenuShotTimer) {
        KillTimer(hwnd, kMenuShotTimer);
        if (automation_ != nullptr) automation_->ContextMenuShown();
        return 0;
      }
      if (top && wparam >= kTimerBase) {
        Queue({EventType::kTimer, ref.window, static_cast<int>(wparam - kTimerBase)});
        return 0;
      }
      break;
    case WM_ERASEBKGND:
      if (ref.kind == Ref::Kind::kPanel) {
        EraseLikeParent(hwnd, ref, reinterpret_cast<HDC>(wparam));
        return 1;
      }
      break;
    case WM_PAINT:
      if (ref.kind == Ref::Kind::kPanel) {
        PaintPanel(hwnd, ref);
        return 0;
      }
      break;
    case WM_MEASUREITEM:
      if (MeasureMenuImage(*reinterpret_cast<MEASUREITEMSTRUCT*>(lparam))) return TRUE;
      break;
    case WM_DRAWITEM:
      if (DrawMenuImage(ref.window, *reinterpret_cast<const DRAWITEMSTRUCT*>(lparam))) return TRUE;
      break;
    default:
      break;
  }
  return DefWindowProcA(hwnd, message, wparam, lparam);
}

void Win32Toolkit::OnSize(const Ref& ref, HWND hwnd) {
  (void)hwnd;
  WindowData* w = FindWin(ref.window);
  if (w == nullptr) return;
  PlaceStatusBar(*w);
  Queue({EventType::kSize, ref.window, -1});
}

bool Win32Toolkit::HandleCommand(const Ref& ref, WPARAM wparam, LPARAM lparam) {
  const int code = HIWORD(wparam);
  if (lparam == 0) {
    // A menu item (code 0); Enter and Escape arrive as IDOK and IDCANCEL, below the items,
    // and press the window's default or cancel button.
    const int item = static_cast<int>(LOWORD(wparam)) - kMenuIdBase;
    if (ref.kind == Ref::Kind::kWindow && code == 0 && item >= 0) {
      Queue({EventType::kMenu, ref.window, item});
      return true;
    }
    const WORD key = LOWORD(wparam);
    if (ref.kind != Ref::Kind::kWindow || (key != IDOK && key != IDCANCEL)) return false;
    const uint32_t role = key == IDOK ? kRoleDefault : kRoleCancel;
    WindowData* w = FindWin(ref.window);
    if (w == nullptr) return false;
    for (const auto& [id, c] : w->controls) {
      if (c.def.kind == ControlKind::kButton && (c.def.style & role) != 0 &&
          IsWindowEnabled(c.hwnd)) {
        Queue({EventType::kLeftClick, ref.window, id});
        return true;
      }
    }
    return false;
  }
  const Ref* from = RefOf(reinterpret_cast<HWND>(lparam));
  if (from == nullptr || from->kind != Ref::Kind::kControl) return false;
  const ControlKind kind = KindOf(from->window, from->control);
  const bool click =
      ((kind == ControlKind::kButton || kind == ControlKind::kOption) && code == BN_CLICKED) ||
      (kind == ControlKind::kLink && code == STN_CLICKED) ||
      (kind == ControlKind::kDropDown && code == CBN_SELCHANGE);
  if (click) Queue({EventType::kLeftClick, from->window, from->control});
  return click;
}

bool Win32Toolkit::HandleNotify(const NMHDR& header) {
  const Ref* from = RefOf(header.hwndFrom);
  if (from == nullptr || from->kind != Ref::Kind::kControl) return false;
  const int window = from->window;
  const int control = from->control;
  ControlData* c = FindControl(window, control);
  if (c == nullptr) return false;
  if (c->def.kind == ControlKind::kTabs && header.code == static_cast<UINT>(TCN_SELCHANGE)) {
    ShowPage(*c);
    Queue({EventType::kLeftClick, window, control});
    return true;
  }
  if (c->def.kind != ControlKind::kReportList) return false;
  switch (header.code) {
    case LVN_ITEMCHANGED: {
      const auto& change = reinterpret_cast<const NMLISTVIEW&>(header);
      if ((change.uChanged & LVIF_STATE) != 0 &&
          ((change.uOldState ^ change.uNewState) & LVIS_SELECTED) != 0) {
        Queue({EventType::kLeftClick, window, control});
      }
      return true;
    }
    case LVN_ITEMACTIVATE:
      Queue({EventType::kDoubleClick, window, control});
      return true;
    case NM_RCLICK:
      if (reinterpret_cast<const NMITEMACTIVATE&>(header).iItem >= 0) {
        Queue({EventType::kRightClick, window, control});
      }
      return true;
    default:
      return false;
  }
}

// --- Windows.

Win32Toolkit::WindowData* Win32Toolkit::FindWin(int window) { return FindEntry(windows_, window); }

Win32Toolkit::ControlData* Win32Toolkit::FindControl(int window, int control) {
  return FindControlIn(windows_, window, control);
}

const Win32Toolkit::Ref* Win32Toolkit::RefOf(HWND hwnd) const {
  auto it = refs_.find(hwnd);
  return it == refs_.end() ? nullptr : &it->second;
}

HWND Win32Toolkit::NativeWindow(int window) {
  WindowData* w = FindWin(window);
  return w == nullptr ? nullptr : w->hwnd;
}

HWND Win32Toolkit::NativeControl(int window, int control) {
  ControlData* c = FindControl(window, control);
  return c == nullptr ? nullptr : c->hwnd;
}

ControlKind Win32Toolkit::KindOf(int window, int control) {
  ControlData* c = FindControl(window, control);
  return c == nullptr ? ControlKind::kContainer : c->def.kind;
}

HWND Win32Toolkit::ActiveWindow() {
  for (auto it = windows_.rbegin(); it != windows_.rend(); ++it) {
    if (IsWindowEnabled(it->second.hwnd)) return it->second.hwnd;
  }
  return windows_.empty() ? nullptr : windows_.begin()->second.hwnd;
}

HMENU Win32Toolkit::MenuBarOf(int window) {
  WindowData* w = FindWin(window);
  return w == nullptr ? nullptr : GetMenu(w->hwnd);
}

HMENU Win32Toolkit::ContextMenuOf(int window) {
  WindowData* w = FindWin(window);
  return w == nullptr ? nullptr : w->context_menu;
}

bool Win32Toolkit::OpenWindow(int window, const WindowDef& def) {
  if (!ready_) return false;
  if (FindWin(window) != nullptr) CloseWindow(window);
  WindowData* main = window == kMainWindow ? nullptr : FindWin(kMainWindow);
  HWND owner = main != nullptr ? main->hwnd : nullptr;
  DWORD style = WS_CAPTION | WS_CLIPSIBLINGS;
  if ((def.flags & kWindowCloseBox) != 0) style |= WS_SYSMENU;
  if ((def.flags & kWindowMinimizeBox) != 0) style |= WS_SYSMENU | WS_MINIMIZEBOX;
  if ((def.flags & kWindowMaximizeBox) != 0) style |= WS_SYSMENU | WS_MAXIMIZEBOX;
  if ((def.flags & kWindowResizable) != 0) style |= WS_THICKFRAME;
  // The main window holds no group boxes, which would not draw their inside with it.
  if (window == kMainWindow) style |= WS_CLIPCHILDREN;
  const DWORD ex_style = WS_EX_CONTROLPARENT;
  const SIZE outer = OuterSize(style, ex_style, def.width, def.height);

  const win32::Area screen = WorkAreaOf(owner);
  int x = 0, y = 0;
  if ((def.flags & kWindowCenterOnScreen) == 0 && owner != nullptr) {
    RECT over{};
    GetWindowRect(owner, &over);
    win32::CentredPosition(AreaOf(over), screen, outer.cx, outer.cy, x, y);
  } else {
    win32::CentredPosition(screen, screen, outer.cx, outer.cy, x, y);
  }
  if ((def.flags & kWindowCenterOnScreen) == 0 && owner == nullptr && def.x >= 0 && def.y >= 0) {
    // A position recorded on a screen that is no longer there would hide the window.
    const win32::Area wanted{def.x, def.y, static_cast<int>(outer.cx), static_cast<int>(outer.cy)};
    const RECT wanted_rect{def.x, def.y, def.x + outer.cx, def.y + outer.cy};
    HMONITOR monitor = MonitorFromRect(&wanted_rect, MONITOR_DEFAULTTONEAREST);
    MONITORINFO info{};
    info.cbSize = sizeof(info);
    const win32::Area work =
        monitor != nullptr && GetMonitorInfoA(monitor, &info) ? AreaOf(info.rcWork) : screen;
    if (win32::TitleBarReachable(wanted, work, GetSystemMetrics(SM_CYCAPTION))) {
      x = def.x;
      y = def.y;
    }
  }

  HWND hwnd = CreateWindowExA(ex_style, kWindowClass, def.title.c_str(), style, x, y, outer.cx,
                              outer.cy, owner, nullptr, instance_, this);
  if (hwnd == nullptr) return false;
  WindowData& w = windows_[window];
  w.hwnd = hwnd;
  w.def = def;
  refs_[hwnd] = {Ref::Kind::kWindow, window, -1};
  if (big_icon_ != nullptr) SendMessageA(hwnd, WM_SETICON, ICON_BIG, LPARAM(big_icon_));
  if (small_icon_ != nullptr) SendMessageA(hwnd, WM_SETICON, ICON_SMALL, LPARAM(small_icon_));
  int show = SW_SHOW;
  if ((def.flags & kWindowMaximized) != 0) show = SW_SHOWMAXIMIZED;
  if ((def.flags & kWindowMinimized) != 0) show = SW_SHOWMINIMIZED;
  ShowWindow(hwnd, show);
  // A new window takes the input, also where the window manager would leave it elsewhere.
  if (show != SW_SHOWMINIMIZED) SetForegroundWindow(hwnd);
  UpdateWindow(hwnd);
  if (automation_ != nullptr) automation_->WindowOpened(window, def.title);
  return true;
}

void Win32Toolkit::CloseWindow(int window) {
  auto it = windows_.find(window);
  if (it == windows_.end()) return;
  WindowData& w = it->second;
  // The owner takes the activation before its owned window goes, so that it does not pass
  // to another program.
  if (window != kMainWindow) {
    if (WindowData* main = FindWin(kMainWindow);
        main != nullptr && IsWindowEnabled(main->hwnd) && GetActiveWindow() == w.hwnd) {
      SetActiveWindow(main->hwnd);
    }
  }
  quiet_ = true;
  DestroyWindow(w.hwnd);
  quiet_ = false;
  for (auto& [id, c] : w.controls) DestroyControl(c);
  if (w.context_menu != nullptr) DestroyMenu(w.context_menu);
  for (HBITMAP bitmap : w.menu_bitmaps) DeleteObject(bitmap);
  std::erase_if(refs_, [window](const auto& entry) { return entry.second.window == window; });
  windows_.erase(it);
  queue_.DropWindow(window);
  if (automation_ != nullptr) automation_->WindowClosed(window);
}

bool Win32Toolkit::WindowExists(int window) { return FindWin(window) != nullptr; }

void Win32Toolkit::EnableWindow(int window, bool enabled) {
  if (WindowData* w = FindWin(window)) ::EnableWindow(w->hwnd, enabled ? TRUE : FALSE);
}

int Win32Toolkit::MenuBarHeight(const WindowData& w) const {
  if (GetMenu(w.hwnd) == nullptr) return 0;
  if (IsIconic(w.hwnd)) return GetSystemMetrics(SM_CYMENU);
  // What the frame takes beyond its border and title bar: the bar, over as many lines as
  // the window's width makes it wrap to.
  RECT outer{}, client{};
  GetWindowRect(w.hwnd, &outer);
  GetClientRect(w.hwnd, &client);
  const SIZE frame = OuterSize(static_cast<DWORD>(GetWindowLongPtrA(w.hwnd, GWL_STYLE)),
                               static_cast<DWORD>(GetWindowLongPtrA(w.hwnd, GWL_EXSTYLE)), 0, 0);
  return std::max<int>((outer.bottom - outer.top) - client.bottom - frame.cy, 0);
}

int Win32Toolkit::StatusBarHeight(const WindowData& w) const {
  if (w.status == nullptr) return 0;
  RECT r{};
  GetWindowRect(w.status, &r);
  return r.bottom - r.top;
}

void Win32Toolkit::SetMinimumSize(int window, int width, int height) {
  WindowData* w = FindWin(window);
  if (w == nullptr) return;
  w->min_width = width;
  w->min_height = height;
}

WindowGeometry Win32Toolkit::GetWindowGeometry(int window) {
  WindowData* w = FindWin(window);
  if (w == nullptr) return {};
  WindowGeometry g;
  RECT outer{}, client{};
  GetWindowRect(w->hwnd, &outer);
  GetClientRect(w->hwnd, &client);
  g.x = outer.left;
  g.y = outer.top;
  g.menu_bar_height = MenuBarHeight(*w);
  // The status bar sits inside the client area.
  g.status_bar_height = StatusBarHeight(*w);
  g.width = client.right;
  g.height = client.bottom + g.menu_bar_height;
  if (IsIconic(w->hwnd)) {
    g.state = WindowState::kMinimized;
  } else if (IsZoomed(w->hwnd)) {
    g.state = WindowState::kMaximized;
  }
  return g;
}

void Win32Toolkit::AddTimer(int window, int timer, int milliseconds) {
  WindowData* w = FindWin(window);
  if (w == nullptr || timer < 0) return;
  SetTimer(w->hwnd, kTimerBase + static_cast<UINT_PTR>(timer),
           static_cast<UINT>(std::max(milliseconds, 1)), nullptr);
}

void Win32Toolkit::RemoveTimer(int window, int timer) {
  WindowData* w = FindWin(window);
  if (w == nullptr || timer < 0) return;
  KillTimer(w->hwnd, kTimerBase + static_cast<UINT_PTR>(timer));
}

}  // namespace sk::ui
