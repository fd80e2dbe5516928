// Rows and columns of report lists, entries of drop-down lists, tabs and their pages, the
// status bar, the program's images, and the menus of the native toolkit.
#include <algorithm>

#include "ui/automation_player.h"
#include "ui/win32/win32_toolkit.h"

namespace sk::ui {

namespace {

constexpr int kImageSize = 16;
constexpr UINT_PTR kStatusBarId = 0x7E00;

int ColumnCount(HWND list) {
  HWND header = reinterpret_cast<HWND>(SendMessageA(list, LVM_GETHEADER, 0, 0));
  return header == nullptr ? 0 : static_cast<int>(SendMessageA(header, HDM_GETITEMCOUNT, 0, 0));
}

// A 32-bit top-down DIB section holding pixels (B, G, R, A in memory).
HBITMAP PixelBitmap(const std::vector<uint32_t>& pixels, int width, int height) {
  void* bits = nullptr;
  HBITMAP bitmap = TopDownBitmap(width, height, &bits);
  if (bitmap == nullptr || bits == nullptr) return bitmap;
  std::copy(pixels.begin(), pixels.end(), static_cast<uint32_t*>(bits));
  GdiFlush();
  return bitmap;
}

std::string ListText(HWND list, int row, int column) {
  std::string text(260, '\0');
  for (;;) {
    LVITEMA item{};
    item.iSubItem = column;
    item.pszText = text.data();
    item.cchTextMax = static_cast<int>(text.size());
    const LRESULT length = SendMessageA(list, LVM_GETITEMTEXTA, row, LPARAM(&item));
    // A text that filled the buffer may have been cut: ask again with more room.
    if (length < static_cast<LRESULT>(text.size()) - 1 || text.size() > (1u << 20)) {
      text.resize(static_cast<size_t>(std::max<LRESULT>(length, 0)));
      return text;
    }
    text.assign(text.size() * 4, '\0');
  }
}

}  // namespace

HBITMAP TopDownBitmap(int width, int height, void** bits) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  *bits = nullptr;
  return CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, bits, nullptr, 0);
}

// --- Report lists, drop-down lists, tabs.

void Win32Toolkit::AddColumn(int window, int control, const std::string& title, int width) {
  ControlData* c = FindControl(window, control);
  if (c == nullptr || c->def.kind != ControlKind::kReportList) return;
  const bool centred = (c->def.style & kStyleCentered) != 0;
  if (centred && ColumnCount(c->hwnd) == 0) {
    // The first native column is always drawn left-aligned: a centred list keeps it empty
    // and without width, and shows its own columns after it.
    LVCOLUMNA placeholder{};
    placeholder.mask = LVCF_WIDTH;
    SendMessageA(c->hwnd, LVM_INSERTCOLUMNA, 0, LPARAM(&placeholder));
    c->first_column = 1;
  }
  LVCOLUMNA column{};
  column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
  column.fmt = centred ? LVCFMT_CENTER : LVCFMT_LEFT;
  column.cx = width;
  column.pszText = const_cast<char*>(title.c_str());
  column.iSubItem = ColumnCount(c->hwnd);
  SendMessageA(c->hwnd, LVM_INSERTCOLUMNA, column.iSubItem, LPARAM(&column));
}

void Win32Toolkit::SetRow(ControlData& c, int row, const std::string& text, int image) {
  const std::vector<std::string> columns = RowColumns(text);
  const int count = static_cast<int>(SendMessageA(c.hwnd, LVM_GETITEMCOUNT, 0, 0));
  LVITEMA item{};
  item.mask = LVIF_TEXT;
  item.iItem = row;
  item.pszText = const_cast<char*>(c.first_column == 0 ? columns[0].c_str() : "");
  if (row >= count) {
    item.iItem = count;
    item.mask |= LVIF_IMAGE;
    item.iImage = image >= 0 ? image : I_IMAGENONE;
    row = static_cast<int>(SendMessageA(c.hwnd, LVM_INSERTITEMA, 0, LPARAM(&item)));
    if (row < 0) return;
  } else {
    SendMessageA(c.hwnd, LVM_SETITEMA, 0, LPARAM(&item));
  }
  const int shown_columns = ColumnCount(c.hwnd);
  for (size_t i = c.first_column == 0 ? 1 : 0; i < columns.size(); ++i) {
    const int native = static_cast<int>(i) + c.first_column;
    if (native >= shown_columns) break;
    LVITEMA sub{};
    sub.iSubItem = native;
    sub.pszText = const_cast<char*>(columns[i].c_str());
    SendMessageA(c.hwnd, LVM_SETITEMTEXTA, row, LPARAM(&sub));
  }
}

void Win32Toolkit::AddItem(int window, int control, const std::string& text, int image) {
  ControlData* c = FindControl(window, control);
  if (c == nullptr) return;
  quiet_ = true;
  switch (c->def.kind) {
    case ControlKind::kReportList: {
      if (images_ == nullptr || image >= ImageList_GetImageCount(images_)) image = -1;
      // The images come with the first row that shows one: a list without images keeps rows
      // as low as its text.
      if (image >= 0 && !c->has_images) {
        SendMessageA(c->hwnd, LVM_SETIMAGELIST, LVSIL_SMALL, LPARAM(images_));
        c->has_images = true;
      }
      SetRow(*c, static_cast<int>(SendMessageA(c->hwnd, LVM_GETITEMCOUNT, 0, 0)), text, image);
      break;
    }
    case ControlKind::kDropDown:
      SendMessageA(c->hwnd, CB_ADDSTRING, 0, LPARAM(text.c_str()));
      if (SendMessageA(c->hwnd, CB_GETCOUNT, 0, 0) == 1) SendMessageA(c->hwnd, CB_SETCURSEL, 0, 0);
      break;
    case ControlKind::kTabs: {
      TCITEMA tab{};
      tab.mask = TCIF_TEXT;
      tab.pszText = const_cast<char*>(text.c_str());
      const int index = static_cast<int>(c->pages.size());
      SendMessageA(c->hwnd, TCM_INSERTITEMA, index, LPARAM(&tab));
      c->pages.push_back(MakePanel(window, control, c->hwnd, {}, 0));
      PlacePages(*c);
      ShowPage(*c);
      break;
    }
    default:
      break;
  }
  quiet_ = false;
}

void Win32Toolkit::SetItemText(int window, int control, int row, const std::string& text) {
  ControlData* c = FindControl(window, control);
  if (c == nullptr || row < 0) return;
  quiet_ = true;
  switch (c->def.kind) {
    case ControlKind::kReportList:
      while (SendMessageA(c->hwnd, LVM_GETITEMCOUNT, 0, 0) < row) {
        SetRow(*c, row, "", -1);
      }
      SetRow(*c, row, text, -1);
      break;
    case ControlKind::kDropDown: {
      while (SendMessageA(c->hwnd, CB_GETCOUNT, 0, 0) <= row) {
        SendMessageA(c->hwnd, CB_ADDSTRING, 0, LPARAM(""));
      }
      const LRESULT selected = SendMessageA(c->hwnd, CB_GETCURSEL, 0, 0);
      SendMessageA(c->hwnd, CB_DELETESTRING, row, 0);
      SendMessageA(c->hwnd, CB_INSERTSTRING, row, LPARAM(text.c_str()));
      if (selected != CB_ERR) SendMessageA(c->hwnd, CB_SETCURSEL, selected, 0);
      break;
    }
    case ControlKind::kTabs:
      if (static_cast<size_t>(row) < c->pages.size()) {
        TCITEMA tab{};
        tab.mask = TCIF_TEXT;
        tab.pszText = const_cast<char*>(text.c_str());
        SendMessageA(c->hwnd, TCM_SETITEMA, row, LPARAM(&tab));
      }
      break;
    default:
      break;
  }
  quiet_ = false;
}

void Win32Toolkit::ClearItems(int window, int control) {
  ControlData* c = FindControl(window, control);
  if (c == nullptr) return;
  quiet_ = true;
  if (c->def.kind == ControlKind::kReportList) SendMessageA(c->hwnd, LVM_DELETEALLITEMS, 0, 0);
  if (c->def.kind == ControlKind::kDropDown) SendMessageA(c->hwnd, CB_RESETCONTENT, 0, 0);
  quiet_ = false;
}

int Win32Toolkit::CountItems(int window, int control) {
  ControlData* c = FindControl(window, control);
  if (c == nullptr) return 0;
  switch (c->def.kind) {
    case ControlKind::kReportList:
      return static_cast<int>(SendMessageA(c->hwnd, LVM_GETITEMCOUNT, 0, 0));
    case ControlKind::kDropDown:
      return static_cast<int>(std::max<LRESULT>(SendMessageA(c->hwnd, CB_GETCOUNT, 0, 0), 0));
    case ControlKind::kTabs:
      return static_cast<int>(c->pages.size());
    default:
      return 0;
  }
}

std::string Win32Toolkit::GetItemText(int window, int control, int row, int column) {
  ControlData* c = FindControl(window, control);
  if (c == nullptr || row < 0 || column < 0) return "";
  if (c->def.kind == ControlKind::kReportList) {
    column += c->first_column;
    if (row >= SendMessageA(c->hwnd, LVM_GETITEMCOUNT, 0, 0) || column >= ColumnCount(c->hwnd)) {
      return "";
    }
    return ListText(c->hwnd, row, column);
  }
  if (c->def.kind == ControlKind::kDropDown) {
    if (column != 0 || row >= SendMessageA(c->hwnd, CB_GETCOUNT, 0, 0)) return "";
    const LRESULT length = SendMessageA(c->hwnd, CB_GETLBTEXTLEN, row, 0);
    if (length == CB_ERR || length < 0) return "";
    std::string text(static_cast<size_t>(length) + 1, '\0');
    const LRESULT copied = SendMessageA(c->hwnd, CB_GETLBTEXT, row, LPARAM(text.data()));
    text.resize(copied == CB_ERR ? 0 : static_cast<size_t>(copied));
    return text;
  }
  return "";
}

void Win32Toolkit::SetColumnWidth(int window, int control, int column, int width) {
  ControlData* c = FindControl(window, control);
  if (c == nullptr || c->def.kind != ControlKind::kReportList) return;
  column += c->first_column;
  if (column >= c->first_column && column < ColumnCount(c->hwnd)) {
    SendMessageA(c->hwnd, LVM_SETCOLUMNWIDTH, column, std::max(width, 0));
  }
}

int Win32Toolkit::GetColumnWidth(int window, int control, int column) {
  ControlData* c = FindControl(window, control);
  if (c == nullptr || c->def.kind != ControlKind::kReportList) return 0;
  if (column < 0 || column + c->first_column >= ColumnCount(c->hwnd)) return 0;
  return static_cast<int>(SendMessageA(c->hwnd, LVM_GETCOLUMNWIDTH, column + c->first_column, 0));
}

int Win32Toolkit::VisibleRowCount(int window, int control) {
  ControlData* c = FindControl(window, control);
  if (c == nullptr || c->def.kind != ControlKind::kReportList) return 0;
  // The list follows its size at once, so the count is that of the height just given.
  return static_cast<int>(SendMessageA(c->hwnd, LVM_GETCOUNTPERPAGE, 0, 0));
}

void Win32Toolkit::PlacePages(ControlData& tabs) {
  RECT area{};
  GetClientRect(tabs.hwnd, &area);
  SendMessageA(tabs.hwnd, TCM_ADJUSTRECT, FALSE, LPARAM(&area));
  for (HWND page : tabs.pages) {
    SetWindowPos(page, nullptr, area.left, area.top, std::max<int>(area.right - area.left, 0),
                 std::max<int>(area.bottom - area.top, 0), SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

void Win32Toolkit::ShowPage(ControlData& tabs) {
  const LRESULT selected = SendMessageA(tabs.hwnd, TCM_GETCURSEL, 0, 0);
  for (size_t i = 0; i < tabs.pages.size(); ++i) {
    if (static_cast<LRESULT>(i) != selected) ShowWindow(tabs.pages[i], SW_HIDE);
  }
  if (selected >= 0 && static_cast<size_t>(selected) < tabs.pages.size()) {
    ShowWindow(tabs.pages[static_cast<size_t>(selected)], SW_SHOW);
  }
}

// --- The status bar.

void Win32Toolkit::AddStatusBar(int window, int fields) {
  WindowData* w = FindWin(window);
  if (w == nullptr || fields <= 0 || w->status != nullptr) return;
  w->status = CreateWindowExA(0, STATUSCLASSNAMEA, "", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, w->hwnd,
                              reinterpret_cast<HMENU>(kStatusBarId), instance_, nullptr);
  if (w->status == nullptr) return;
  w->status_fields = fields;
  SendMessageA(w->status, WM_SETFONT, WPARAM(base_font_), FALSE);
  PlaceStatusBar(*w);
  Queue({EventType::kSize, window, -1});
}

void Win32Toolkit::PlaceStatusBar(WindowData& w) {
  if (w.status == nullptr) return;
  SendMessageA(w.status, WM_SIZE, 0, 0);
  RECT client{};
  GetClientRect(w.hwnd, &client);
  std::vector<int> edges = win32::EqualParts(client.right, w.status_fields);
  SendMessageA(w.status, SB_SETPARTS, edges.size(), LPARAM(edges.data()));
}

std::string Win32Toolkit::GetStatusText(int window, int field) {
  WindowData* w = FindWin(window);
  if (w == nullptr || w->status == nullptr || field < 0 || field >= w->status_fields) return "";
  const LRESULT length = LOWORD(SendMessageA(w->status, SB_GETTEXTLENGTHA, field, 0));
  std::string text(static_cast<size_t>(length) + 1, '\0');
  SendMessageA(w->status, SB_GETTEXTA, field, LPARAM(text.data()));
  text.resize(static_cast<size_t>(length));
  return text;
}

void Win32Toolkit::SetStatusText(int window, int field, const std::string& text) {
  WindowData* w = FindWin(window);
  if (w == nullptr || w->status == nullptr || field < 0 || field >= w->status_fields) return;
  SendMessageA(w->status, SB_SETTEXTA, static_cast<WPARAM>(field), LPARAM(text.c_str()));
}

// --- Images.

HICON Win32Toolkit::MakeIcon(const Image& image, int width, int height) {
  // Icons take colours as they are, not multiplied by alpha; the program's images are
  // either opaque or fully transparent, where both forms agree.
  HBITMAP colour = PixelBitmap(win32::PremultipliedPixels(image, width, height), width, height);
  std::vector<uint8_t> mask_bits = win32::TransparencyMask(image, width, height);
  HBITMAP mask = CreateBitmap(width, height, 1, 1, mask_bits.data());
  ICONINFO info{TRUE, 0, 0, mask, colour};
  HICON icon = colour != nullptr && mask != nullptr ? CreateIconIndirect(&info) : nullptr;
  if (colour != nullptr) DeleteObject(colour);
  if (mask != nullptr) DeleteObject(mask);
  return icon;
}

void Win32Toolkit::SetImages(const std::vector<Image>& images) {
  image_data_ = images;
  HIMAGELIST list = ImageList_Create(kImageSize, kImageSize, ILC_COLOR32 | ILC_MASK,
                                     static_cast<int>(images.size()), 0);
  if (list == nullptr) return;
  for (const Image& image : images) {
    HBITMAP colour = PixelBitmap(win32::PremultipliedPixels(image, kImageSize, kImageSize),
                                 kImageSize, kImageSize);
    std::vector<uint8_t> mask_bits = win32::TransparencyMask(image, kImageSize, kImageSize);
    HBITMAP mask = CreateBitmap(kImageSize, kImageSize, 1, 1, mask_bits.data());
    ImageList_Add(list, colour, mask);
    if (colour != nullptr) DeleteObject(colour);
    if (mask != nullptr) DeleteObject(mask);
  }
  for (auto& [number, w] : windows_) {
    for (auto& [id, c] : w.controls) {
      if (c.has_images) SendMessageA(c.hwnd, LVM_SETIMAGELIST, LVSIL_SMALL, LPARAM(list));
    }
  }
  if (images_ != nullptr) ImageList_Destroy(images_);
  images_ = list;
  // Without an icon among the program's resources, the program's image stands for it.
  const Image* program = ImageOf(images, kProgramImage);
  if (big_icon_ == nullptr && program != nullptr) {
    big_icon_ = MakeIcon(*program, GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON));
    small_icon_ = MakeIcon(*program, GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON));
  }
}

// --- Menus.

HBITMAP Win32Toolkit::MenuBitmap(int image) {
  const Image* pixels = ImageOf(image_data_, image);
  if (pixels == nullptr) return nullptr;
  return PixelBitmap(win32::PremultipliedPixels(*pixels, kImageSize, kImageSize), kImageSize,
                     kImageSize);
}

HMENU Win32Toolkit::BuildMenu(WindowData& w, const Menu& menu, bool popup) {
  (void)popup;
  HMENU built = CreatePopupMenu();
  if (built == nullptr) return nullptr;
  for (const MenuItem& item : menu.items) {
    if (item.id < 0) {
      AppendMenuA(built, MF_SEPARATOR, 0, nullptr);
      continue;
    }
    const UINT native_id = static_cast<UINT>(kMenuIdBase + item.id);
    MENUITEMINFOA info{};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_ID | MIIM_STRING | MIIM_STATE;
    info.wID = native_id;
    info.dwTypeData = const_cast<char*>(item.text.c_str());
    info.fState = item.checked ? MFS_CHECKED : MFS_UNCHECKED;
    if (ImageOf(image_data_, item.image) != nullptr) {
      info.fMask |= MIIM_BITMAP;
      if (vista_) {
        // Menus show 32-bit bitmaps with alpha from Vista on.
        info.hbmpItem = MenuBitmap(item.image);
        if (info.hbmpItem != nullptr) w.menu_bitmaps.push_back(info.hbmpItem);
      } else {
        info.hbmpItem = HBMMENU_CALLBACK;
        w.menu_images[static_cast<int>(native_id)] = item.image;
      }
    }
    InsertMenuItemA(built, static_cast<UINT>(GetMenuItemCount(built)), TRUE, &info);
  }
  return built;
}

bool Win32Toolkit::MeasureMenuImage(MEASUREITEMSTRUCT& item) {
  if (item.CtlType != ODT_MENU) return false;
  item.itemWidth = kImageSize;
  item.itemHeight = kImageSize;
  return true;
}

bool Win32Toolkit::DrawMenuImage(int window, const DRAWITEMSTRUCT& item) {
  WindowData* w = FindWin(window);
  if (item.CtlType != ODT_MENU || w == nullptr || images_ == nullptr) return false;
  auto it = w->menu_images.find(static_cast<int>(item.itemID));
  if (it == w->menu_images.end()) return false;
  const int top = item.rcItem.top + (item.rcItem.bottom - item.rcItem.top - kImageSize) / 2;
  ImageList_Draw(images_, it->second, item.hDC, item.rcItem.left, top, ILD_TRANSPARENT);
  return true;
}

void Win32Toolkit::SetMenuBar(int window, const std::vector<Menu>& menus) {
  WindowData* w = FindWin(window);
  if (w == nullptr) return;
  HMENU bar = CreateMenu();
  if (bar == nullptr) return;
  for (const Menu& menu : menus) {
    HMENU popup = BuildMenu(*w, menu, true);
    if (popup == nullptr) continue;
    AppendMenuA(bar, MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(popup), menu.title.c_str());
  }
  HMENU old = GetMenu(w->hwnd);
  // The window keeps its size: the bar takes its height from the client area.
  SetMenu(w->hwnd, bar);
  if (old != nullptr) DestroyMenu(old);
  DrawMenuBar(w->hwnd);
}

void Win32Toolkit::EnableMenuItem(int window, int item, bool enabled) {
  WindowData* w = FindWin(window);
  if (w == nullptr) return;
  const UINT flags = MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED);
  const UINT native_id = static_cast<UINT>(kMenuIdBase + item);
  if (HMENU bar = GetMenu(w->hwnd)) ::EnableMenuItem(bar, native_id, flags);
  if (w->context_menu != nullptr) ::EnableMenuItem(w->context_menu, native_id, flags);
}

void Win32Toolkit::CheckMenuItem(int window, int item, bool checked) {
  WindowData* w = FindWin(window);
  if (w == nullptr) return;
  if (HMENU bar = GetMenu(w->hwnd)) {
    ::CheckMenuItem(bar, static_cast<UINT>(kMenuIdBase + item),
                    MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED));
  }
}

void Win32Toolkit::SetContextMenu(int window, const Menu& menu) {
  WindowData* w = FindWin(window);
  if (w == nullptr) return;
  if (w->context_menu != nullptr) DestroyMenu(w->context_menu);
  w->context_menu = BuildMenu(*w, menu, true);
}

void Win32Toolkit::ShowContextMenu(int window) {
  WindowData* w = FindWin(window);
  if (w == nullptr || w->context_menu == nullptr) return;
  POINT at{};
  GetCursorPos(&at);
  if (automation_ != nullptr) {
    automation_->ContextMenuOpening(window);
    SetTimer(w->hwnd, kMenuShotTimer, 300, nullptr);
  }
  const UINT chosen = static_cast<UINT>(TrackPopupMenu(
      w->context_menu, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_LEFTALIGN | TPM_TOPALIGN, at.x, at.y,
      0, w->hwnd, nullptr));
  if (chosen >= static_cast<UINT>(kMenuIdBase)) {
    Queue({EventType::kMenu, window, static_cast<int>(chosen) - kMenuIdBase});
  }
}

}  // namespace sk::ui
