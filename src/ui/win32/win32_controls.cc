// Controls of the native toolkit: making them, their texts, values, looks and places.
#include <algorithm>

#include "ui/win32/win32_toolkit.h"

namespace sk::ui {

namespace {

constexpr char kPanelClass[] = "StowkeeperWindow";

// A multi-line edit field shows only CR LF as a line break.
std::string EditLines(const ControlDef& def, const std::string& text) {
  if (def.kind != ControlKind::kEdit || (def.style & kStyleMultiLine) == 0) return text;
  std::string lines;
  for (const char c : text) {
    if (c == '\n' && (lines.empty() || lines.back() != '\r')) lines += '\r';
    lines += c;
  }
  return lines;
}
// A drop-down list's window is as high as its open list; the field itself keeps its height.
constexpr int kDropDownListHeight = 200;

COLORREF ColourOf(int32_t rgb) { return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF); }

std::string WindowText(HWND hwnd) {
  const int length = GetWindowTextLengthA(hwnd);
  if (length <= 0) return "";
  std::string text(static_cast<size_t>(length) + 1, '\0');
  const int copied = GetWindowTextA(hwnd, text.data(), length + 1);
  text.resize(static_cast<size_t>(std::max(copied, 0)));
  return text;
}

std::string ComboText(HWND combo, int index) {
  const LRESULT length = SendMessageA(combo, CB_GETLBTEXTLEN, index, 0);
  if (length == CB_ERR || length < 0) return "";
  std::string text(static_cast<size_t>(length) + 1, '\0');
  const LRESULT copied = SendMessageA(combo, CB_GETLBTEXT, index, LPARAM(text.data()));
  text.resize(copied == CB_ERR ? 0 : static_cast<size_t>(copied));
  return text;
}

// The function of uxtheme.dll that the program asks for, or null where there is none.
template <typename Function>
Function UxthemeFunction(const char* name) {
  static HMODULE library = LoadLibraryA("uxtheme.dll");
  if (library == nullptr) return nullptr;
  return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(library, name)));
}

}  // namespace

bool ApplyPlainProgressStyle(HWND control) {
  // Only the older systems draw a smooth bar in the style's blocks; their uxtheme is loaded
  // for the one call, as no other part of the program needs it there.
  if (IsVistaOrLater()) return false;
  HMODULE library = LoadLibraryA("uxtheme.dll");
  if (library == nullptr) return false;
  using SetWindowThemeFn = HRESULT(WINAPI*)(HWND, LPCWSTR, LPCWSTR);
  auto set_theme = reinterpret_cast<SetWindowThemeFn>(
      reinterpret_cast<void*>(GetProcAddress(library, "SetWindowTheme")));
  const bool applied = set_theme != nullptr;
  if (applied) set_theme(control, L"", L"");
  FreeLibrary(library);
  return applied;
}

HWND Win32Toolkit::MakePanel(int window, int control, HWND parent, const win32::Area& area,
                             DWORD style) {
  HWND panel =
      CreateWindowExA(WS_EX_CONTROLPARENT, kPanelClass, "", WS_CHILD | WS_CLIPSIBLINGS | style,
                      area.x, area.y, area.width, area.height, parent, nullptr, instance_, this);
  if (panel != nullptr) refs_[panel] = {Ref::Kind::kPanel, window, control};
  return panel;
}

void Win32Toolkit::EraseLikeParent(HWND hwnd, const Ref& ref, HDC dc) {
  RECT r{};
  GetClientRect(hwnd, &r);
  ControlData* owner = FindControl(ref.window, ref.control);
  if (owner != nullptr && owner->def.kind == ControlKind::kTabs) {
    // A tab page shows the tab panel's own background, which a visual style may shade.
    using IsThemeActiveFn = BOOL(WINAPI*)();
    using DrawParentFn = HRESULT(WINAPI*)(HWND, HDC, const RECT*);
    static auto is_active = UxthemeFunction<IsThemeActiveFn>("IsThemeActive");
    static auto draw_parent = UxthemeFunction<DrawParentFn>("DrawThemeParentBackground");
    if (is_active != nullptr && draw_parent != nullptr && is_active() &&
        SUCCEEDED(draw_parent(hwnd, dc, &r))) {
      return;
    }
  }
  if (owner != nullptr && owner->def.kind == ControlKind::kContainer &&
      owner->def.background >= 0 && owner->brush != nullptr) {
    FillRect(dc, &r, owner->brush);
    return;
  }
  FillRect(dc, &r, GetSysColorBrush(COLOR_BTNFACE));
}

void Win32Toolkit::PaintPanel(HWND hwnd, const Ref& ref) {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(hwnd, &paint);
  ControlData* owner = FindControl(ref.window, ref.control);
  if (owner != nullptr && owner->def.kind == ControlKind::kContainer &&
      (owner->def.style & kStyleRaised) != 0) {
    RECT r{};
    GetClientRect(hwnd, &r);
    DrawEdge(dc, &r, EDGE_RAISED, BF_RECT);
  }
  EndPaint(hwnd, &paint);
}

LRESULT Win32Toolkit::HandleColour(HWND control, HDC dc, UINT message, HWND parent, WPARAM wparam,
                                   LPARAM lparam) {
  const Ref* ref = RefOf(control);
  ControlData* c = ref != nullptr ? FindControl(ref->window, ref->control) : nullptr;
  if (c != nullptr && c->def.kind == ControlKind::kLink) {
    SetTextColor(dc, RGB(0, 0, 255));
    SetBkMode(dc, TRANSPARENT);
    return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
  }
  if (c != nullptr && c->brush != nullptr) {
    int32_t rgb = c->def.background;
    if ((c->def.style & kStyleWhite) != 0) rgb = 0xFFFFFF;
    SetBkColor(dc, ColourOf(rgb));
    return reinterpret_cast<LRESULT>(c->brush);
  }
  return DefWindowProcA(parent, message, wparam, lparam);
}

HWND Win32Toolkit::ParentFor(WindowData& w, const ControlDef& def) {
  if (def.parent < 0) return w.hwnd;
  auto it = w.controls.find(def.parent);
  if (it == w.controls.end()) return w.hwnd;
  ControlData& parent = it->second;
  if (parent.def.kind == ControlKind::kTabs) {
    if (def.page >= 0 && static_cast<size_t>(def.page) < parent.pages.size()) {
      return parent.pages[static_cast<size_t>(def.page)];
    }
    return w.hwnd;
  }
  if (parent.def.kind == ControlKind::kContainer) return parent.hwnd;
  return GetParent(parent.hwnd);
}

HWND Win32Toolkit::MakeControl(int window, WindowData& w, const ControlDef& def, ControlData& c) {
  HWND parent = ParentFor(w, def);
  const char* native_class = "STATIC";
  DWORD style = WS_CHILD | WS_VISIBLE;
  DWORD ex_style = 0;
  int height = def.height;
  const auto child_id = reinterpret_cast<HMENU>(static_cast<INT_PTR>(kControlIdBase + def.id));
  switch (def.kind) {
    case ControlKind::kButton:
      native_class = "BUTTON";
      style |= BS_PUSHBUTTON | WS_TABSTOP;
      break;
    case ControlKind::kProgressBar:
      native_class = PROGRESS_CLASSA;
      if ((def.style & kStyleSmooth) != 0) style |= PBS_SMOOTH;
      break;
    case ControlKind::kEdit:
      native_class = "EDIT";
      style |= ES_AUTOHSCROLL | WS_TABSTOP;
      if ((def.style & kStyleMultiLine) != 0) {
        style |= ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN | WS_VSCROLL | WS_HSCROLL;
      }
      if ((def.style & kStyleReadOnly) != 0) style |= ES_READONLY;
      if ((def.style & kStyleCentered) != 0) style |= ES_CENTER;
      ex_style |= WS_EX_CLIENTEDGE;
      break;
    case ControlKind::kText:
      if ((def.style & kStyleReadOnly) != 0) {
        // A field the user can select and scroll in, but not change.
        native_class = "EDIT";
        style |= ES_AUTOHSCROLL | ES_READONLY | WS_TABSTOP;
        if ((def.style & kStyleCentered) != 0) style |= ES_CENTER;
        ex_style |= WS_EX_CLIENTEDGE;
        break;
      }
      style |= SS_NOPREFIX;
      if ((def.style & kStyleCentered) != 0) {
        style |= SS_CENTER;
      } else if ((def.style & kStyleRightAligned) != 0) {
        style |= SS_RIGHT;
      } else {
        style |= SS_LEFT;
      }
      if ((def.style & (kStyleBorder | kStyleWhite)) != 0 || def.background >= 0) {
        // A boxed field shows its one line in the middle of its height.
        style |= SS_CENTERIMAGE;
      } else {
        style |= SS_ENDELLIPSIS;
      }
      if ((def.style & kStyleBorder) != 0) ex_style |= WS_EX_STATICEDGE;
      break;
    case ControlKind::kFrame:
      native_class = "BUTTON";
      style |= BS_GROUPBOX;
      break;
    case ControlKind::kOption:
      native_class = "BUTTON";
      style |= BS_AUTORADIOBUTTON | WS_TABSTOP;
      // An option starts a new group unless the control made just before it is an option.
      if (w.last_kind != static_cast<int>(ControlKind::kOption)) {
        style |= WS_GROUP;
        ++w.next_option_group;
      }
      c.option_group = w.next_option_group;
      break;
    case ControlKind::kDropDown:
      native_class = WC_COMBOBOXA;
      style |= CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP;
      height = def.height + kDropDownListHeight;
      break;
    case ControlKind::kReportList:
      native_class = WC_LISTVIEWA;
      style |= LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_SHAREIMAGELISTS | WS_TABSTOP;
      if ((def.style & kStyleNoHeader) != 0) style |= LVS_NOCOLUMNHEADER;
      ex_style |= WS_EX_CLIENTEDGE;
      break;
    case ControlKind::kContainer:
      return MakePanel(window, def.id, parent, {def.x, def.y, def.width, def.height}, WS_VISIBLE);
    case ControlKind::kTabs:
      native_class = WC_TABCONTROLA;
      style |= WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_TABSTOP;
      break;
    case ControlKind::kImage:
      style |= SS_ICON | SS_CENTERIMAGE;
      break;
    case ControlKind::kLink:
      style |= SS_NOTIFY | SS_LEFT | SS_NOPREFIX;
      break;
  }
  const std::string initial_text = EditLines(def, def.text);
  HWND hwnd = CreateWindowExA(ex_style, native_class, initial_text.c_str(), style, def.x, def.y,
                              def.width, height, parent, child_id, instance_, nullptr);
  if (hwnd == nullptr) return nullptr;
  switch (def.kind) {
    case ControlKind::kProgressBar:
      SendMessageA(hwnd, PBM_SETRANGE32, 0, 100);
      ApplyPlainProgressStyle(hwnd);
      break;
    case ControlKind::kDropDown:
      // The field keeps the height it was given, whatever the font.
      SendMessageA(hwnd, WM_SETFONT, WPARAM(base_font_), FALSE);
      SendMessageA(hwnd, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), std::max(def.height - 6, 8));
      break;
    case ControlKind::kReportList:
      SendMessageA(hwnd, LVM_SETEXTENDEDLISTVIEWSTYLE, 0,
                   LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
      break;
    default:
      break;
  }
  if ((def.style & kStyleWhite) != 0) {
    c.brush = CreateSolidBrush(RGB(255, 255, 255));
  } else if (def.background >= 0) {
    c.brush = CreateSolidBrush(ColourOf(def.background));
  }
  return hwnd;
}

void Win32Toolkit::DestroyControl(ControlData& c) {
  if (c.font != nullptr) DeleteObject(c.font);
  if (c.brush != nullptr) DeleteObject(c.brush);
  if (c.icon != nullptr) DestroyIcon(c.icon);
  c.font = nullptr;
  c.brush = nullptr;
  c.icon = nullptr;
}

void Win32Toolkit::AddControl(int window, const ControlDef& def) {
  WindowData* w = FindWin(window);
  if (w == nullptr) return;
  if (auto old = w->controls.find(def.id); old != w->controls.end()) {
    refs_.erase(old->second.hwnd);
    for (HWND page : old->second.pages) refs_.erase(page);
    DestroyWindow(old->second.hwnd);
    DestroyControl(old->second);
    w->controls.erase(old);
  }
  ControlData& c = w->controls[def.id];
  c.Start(def);
  c.hwnd = MakeControl(window, *w, def, c);
  if (c.hwnd == nullptr) {
    DestroyControl(c);
    w->controls.erase(def.id);
    return;
  }
  w->last_kind = static_cast<int>(def.kind);
  if (def.kind != ControlKind::kContainer) refs_[c.hwnd] = {Ref::Kind::kControl, window, def.id};
  HFONT font = def.kind == ControlKind::kLink ? link_font_ : base_font_;
  if ((def.style & (kStyleBold | kStyleLarge)) != 0) {
    LOGFONTA face{};
    GetObjectA(base_font_, sizeof(face), &face);
    if ((def.style & kStyleBold) != 0) face.lfWeight = FW_BOLD;
    if ((def.style & kStyleLarge) != 0) face.lfHeight = face.lfHeight * 3 / 2;
    c.font = CreateFontIndirectA(&face);
    font = c.font;
  }
  SendMessageA(c.hwnd, WM_SETFONT, WPARAM(font), FALSE);
  if (!def.tooltip.empty()) SetToolTip(window, def.id, def.tooltip);
}

void Win32Toolkit::SetText(int window, int control, const std::string& text) {
  ControlData* c = FindControl(window, control);
  if (c == nullptr) return;
  c->def.text = text;
  if (c->def.kind == ControlKind::kDropDown) {
    const LRESULT selected = SendMessageA(c->hwnd, CB_GETCURSEL, 0, 0);
    if (selected != CB_ERR) SetItemText(window, control, static_cast<int>(selected), text);
    return;
  }
  SetWindowTextA(c->hwnd, EditLines(c->def, text).c_str());
}

std::string Win32Toolkit::GetText(int window, int control) {
  ControlData* c = FindControl(window, control);
  if (c == nullptr) return "";
  if (c->def.kind == ControlKind::kDropDown) {
    const LRESULT selected = SendMessageA(c->hwnd, CB_GETCURSEL, 0, 0);
    return selected == CB_ERR ? "" : ComboText(c->hwnd, static_cast<int>(selected));
  }
  std::string text = WindowText(c->hwnd);
  // A multi-line edit field ends its lines in CR LF; callers see "\n" everywhere.
  if ((c->def.style & kStyleMultiLine) != 0) std::erase(text, '\r');
  return text;
}

void Win32Toolkit::SetValue(int window, int control, int64_t value) {
  WindowData* w = FindWin(window);
  ControlData* c = FindControl(window, control);
  if (c == nullptr) return;
  quiet_ = true;
  c->Keep(value);
  switch (c->def.kind) {
    case ControlKind::kProgressBar: {
      const int shown = win32::ProgressScale::For(c->minimum, c->maximum).Position(c->value);
      if (shown != c->shown) {
        SendMessageA(c->hwnd, PBM_SETPOS, static_cast<WPARAM>(shown), 0);
        c->shown = shown;
      }
      break;
    }
    case ControlKind::kOption:
      // Choosing an option clears the others of its group, as a click does.
      if (value != 0) {
        for (auto& [id, other] : w->controls) {
          if (id != control && other.def.kind == ControlKind::kOption &&
              other.option_group == c->option_group) {
            SendMessageA(other.hwnd, BM_SETCHECK, BST_UNCHECKED, 0);
          }
        }
      }
      SendMessageA(c->hwnd, BM_SETCHECK, value != 0 ? BST_CHECKED : BST_UNCHECKED, 0);
      break;
    case ControlKind::kDropDown: {
      const LRESULT count = SendMessageA(c->hwnd, CB_GETCOUNT, 0, 0);
      SendMessageA(c->hwnd, CB_SETCURSEL, value >= 0 && value < count ? WPARAM(value) : WPARAM(-1),
                   0);
      break;
    }
    case ControlKind::kReportList: {
      const LRESULT old = SendMessageA(c->hwnd, LVM_GETNEXTITEM, WPARAM(-1), LVNI_SELECTED);
      LVITEMA state{};
      state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
      if (old >= 0 && old != value) SendMessageA(c->hwnd, LVM_SETITEMSTATE, old, LPARAM(&state));
      const LRESULT count = SendMessageA(c->hwnd, LVM_GETITEMCOUNT, 0, 0);
      if (value >= 0 && value < count) {
        state.state = LVIS_SELECTED | LVIS_FOCUSED;
        SendMessageA(c->hwnd, LVM_SETITEMSTATE, WPARAM(value), LPARAM(&state));
        SendMessageA(c->hwnd, LVM_ENSUREVISIBLE, WPARAM(value), FALSE);
      }
      break;
    }
    case ControlKind::kTabs:
      if (value >= 0 && static_cast<size_t>(value) < c->pages.size()) {
        SendMessageA(c->hwnd, TCM_SETCURSEL, WPARAM(value), 0);
        ShowPage(*c);
      }
      break;
    case ControlKind::kImage:
      if (const Image* image = ImageOf(image_data_, value)) {
        HICON icon = MakeIcon(*image, c->def.width, c->def.height);
        SendMessageA(c->hwnd, STM_SETICON, WPARAM(icon), 0);
        if (c->icon != nullptr) DestroyIcon(c->icon);
        c->icon = icon;
        // The control took the icon's size; it keeps the one it was given.
        SetWindowPos(c->hwnd, nullptr, 0, 0, c->def.width, c->def.height,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
      }
      break;
    default:
      break;
  }
  quiet_ = false;
}

int64_t Win32Toolkit::GetValue(int window, int control) {
  ControlData* c = FindControl(window, control);
  if (c == nullptr) return -1;
  switch (c->def.kind) {
    case ControlKind::kOption:
      return SendMessageA(c->hwnd, BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0;
    case ControlKind::kDropDown: {
      const LRESULT selected = SendMessageA(c->hwnd, CB_GETCURSEL, 0, 0);
      return selected == CB_ERR ? -1 : selected;
    }
    case ControlKind::kReportList:
      return SendMessageA(c->hwnd, LVM_GETNEXTITEM, WPARAM(-1), LVNI_SELECTED);
    case ControlKind::kTabs:
      return SendMessageA(c->hwnd, TCM_GETCURSEL, 0, 0);
    default:
      return c->value;
  }
}

void Win32Toolkit::SetRange(int window, int control, int64_t minimum, int64_t maximum) {
  ControlData* c = FindControl(window, control);
  if (c == nullptr) return;
  c->SetRange(minimum, maximum);
  if (c->def.kind != ControlKind::kProgressBar) return;
  const win32::ProgressScale scale = win32::ProgressScale::For(c->minimum, c->maximum);
  SendMessageA(c->hwnd, PBM_SETRANGE32, 0, scale.Range());
  c->shown = scale.Position(c->value);
  SendMessageA(c->hwnd, PBM_SETPOS, static_cast<WPARAM>(c->shown), 0);
}

int64_t Win32Toolkit::GetMaximum(int window, int control) {
  ControlData* c = FindControl(window, control);
  return c == nullptr ? 0 : c->maximum;
}

void Win32Toolkit::EnableControl(int window, int control, bool enabled) {
  if (ControlData* c = FindControl(window, control)) {
    ::EnableWindow(c->hwnd, enabled ? TRUE : FALSE);
  }
}

void Win32Toolkit::SetFocus(int window, int control) {
  ControlData* c = FindControl(window, control);
  if (c != nullptr && IsWindowVisible(c->hwnd) && IsWindowEnabled(c->hwnd)) ::SetFocus(c->hwnd);
}

void Win32Toolkit::SetControlRect(int window, int control, const Rect& rect) {
  ControlData* c = FindControl(window, control);
  if (c == nullptr) return;
  c->Place(rect);
  int height = std::max(rect.height, 0);
  if (c->def.kind == ControlKind::kDropDown) height += kDropDownListHeight;
  SetWindowPos(c->hwnd, nullptr, rect.x, rect.y, std::max(rect.width, 0), height,
               SWP_NOZORDER | SWP_NOACTIVATE);
  if (c->def.kind == ControlKind::kTabs) PlacePages(*c);
}

Rect Win32Toolkit::GetControlRect(int window, int control) {
  ControlData* c = FindControl(window, control);
  return c == nullptr ? Rect{} : c->Bounds();
}

void Win32Toolkit::SetToolTip(int window, int control, const std::string& text) {
  WindowData* w = FindWin(window);
  ControlData* c = FindControl(window, control);
  if (w == nullptr || c == nullptr) return;
  if (w->tooltip == nullptr) {
    w->tooltip =
        CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr,
                        WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT, CW_USEDEFAULT,
                        CW_USEDEFAULT, CW_USEDEFAULT, w->hwnd, nullptr, instance_, nullptr);
    if (w->tooltip == nullptr) return;
    SendMessageA(w->tooltip, WM_SETFONT, WPARAM(base_font_), FALSE);
  }
  TTTOOLINFOA tool{};
  // The older size, which every version of the controls takes.
  tool.cbSize = TTTOOLINFOA_V2_SIZE;
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  tool.hwnd = GetParent(c->hwnd);
  tool.uId = reinterpret_cast<UINT_PTR>(c->hwnd);
  tool.lpszText = const_cast<char*>(text.c_str());
  SendMessageA(w->tooltip, TTM_DELTOOLA, 0, LPARAM(&tool));
  if (!text.empty()) SendMessageA(w->tooltip, TTM_ADDTOOLA, 0, LPARAM(&tool));
}

void Win32Toolkit::SetFont(int window, int control, const Font& font) {
  ControlData* c = FindControl(window, control);
  if (c == nullptr) return;
  LOGFONTA face{};
  GetObjectA(base_font_, sizeof(face), &face);
  if (font.points > 0) {
    HDC screen = GetDC(nullptr);
    face.lfHeight = win32::FontHeight(font.points, GetDeviceCaps(screen, LOGPIXELSY));
    ReleaseDC(nullptr, screen);
  }
  face.lfWidth = 0;
  face.lfWeight = font.bold ? FW_BOLD : FW_NORMAL;
  face.lfItalic = font.italic ? TRUE : FALSE;
  // A face the system does not have is matched by its font mapper to the nearest one.
  if (!font.face.empty()) lstrcpynA(face.lfFaceName, font.face.c_str(), LF_FACESIZE);
  HFONT made = CreateFontIndirectA(&face);
  if (made == nullptr) return;
  SendMessageA(c->hwnd, WM_SETFONT, WPARAM(made), TRUE);
  if (c->font != nullptr) DeleteObject(c->font);
  c->font = made;
}

}  // namespace sk::ui
