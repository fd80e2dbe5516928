#include "ui/wx/wx_toolkit.h"

#include <wx/dcscreen.h>
#include <wx/dirdlg.h>
#include <wx/evtloop.h>
#include <wx/gauge.h>
#include <wx/generic/msgdlgg.h>
#include <wx/hyperlink.h>
#include <wx/imaglist.h>
#include <wx/listctrl.h>
#include <wx/notebook.h>
#include <wx/notifmsg.h>
#include <wx/renderer.h>
#include <wx/statbmp.h>
#include <wx/stockitem.h>
#include <wx/translation.h>
#include <wx/utils.h>

#include <algorithm>
#include <climits>
#include <cstdio>

#include "platform/file_system.h"
#include "ui/automation_player.h"
#include "ui/text_wrap.h"
#include "ui/window_map.h"
#include "ui/wx/wx_gtk.h"
#include "ui/wx/wx_widgets.h"

namespace sk::ui {

namespace {

// Menu items get wx ids above the ranges wx keeps for itself.
constexpr int kMenuIdBase = 20000;
constexpr auto kPumpInterval = std::chrono::milliseconds(10);
constexpr int kWaitSliceMs = 50;
constexpr int kMaxDispatchPerPump = 500;
// The controls' font: close to the small sans-serif the windows' pixel sizes were made for.
constexpr int kBaseFontPoints = 8;
// The folder chooser's size the first time (the desktop may remember another).
const wxSize kChooserSize(720, 500);
// The smallest font a label is shrunk to so that its text fits, and the room a drop-down
// list's button and frame take beside its text.
constexpr double kSmallestFontPoints = 6;
constexpr int kDropDownChrome = 30;
// Room a list cell leaves around its text, and between a row's image and its text.
constexpr int kListCellMargin = 12;
constexpr int kListImageGap = 4;
// The message box's styles, in the order of ui::Buttons and of ui::Icon.
constexpr long kButtonStyles[] = {wxOK, wxYES_NO, wxYES_NO | wxCANCEL, wxOK | wxCANCEL};
constexpr long kIconStyles[] = {0, wxICON_INFORMATION, wxICON_WARNING, wxICON_QUESTION};
static_assert(static_cast<int>(Buttons::kOkCancel) == 3 && static_cast<int>(Icon::kQuestion) == 3,
              "the styles follow ui::Buttons and ui::Icon");
// The widest line of a message box's text: a question that names a long path still fits a
// small screen, and reads as a paragraph rather than one line across it.
constexpr int kMessageTextWidth = 480;

int ClampInt(int64_t value) {
  return static_cast<int>(std::clamp<int64_t>(value, INT_MIN, INT_MAX));
}

wxColour ColourOf(int32_t rgb) {
  if (rgb < 0) return wxNullColour;
  return wxColour((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

long FrameStyle(uint32_t flags) {
  long style = wxCAPTION | wxCLIP_CHILDREN;
  if ((flags & kWindowCloseBox) != 0) style |= wxSYSTEM_MENU | wxCLOSE_BOX;
  if ((flags & kWindowMinimizeBox) != 0) style |= wxSYSTEM_MENU | wxMINIMIZE_BOX;
  if ((flags & kWindowMaximizeBox) != 0) style |= wxSYSTEM_MENU | wxMAXIMIZE_BOX;
  if ((flags & kWindowResizable) != 0) style |= wxRESIZE_BORDER;
  return style;
}

wxListCtrl* AsList(wxWindow* widget) { return dynamic_cast<wxListCtrl*>(widget); }

int SelectedRow(wxListCtrl* list) {
  return static_cast<int>(list->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED));
}

// The first column's text as it fits the column: a long path loses its middle, so that its
// start and the folder's own name at its end stay readable (the list itself would cut the
// end off).
wxString FittedCell(wxListCtrl* list, const wxString& full) {
  if (list->GetColumnCount() == 0) return full;
  int image_width = 0;
  if (wxImageList* images = list->GetImageList(wxIMAGE_LIST_SMALL)) {
    int h = 0;
    images->GetSize(0, image_width, h);
    image_width += kListImageGap;
  }
  const int width = list->GetColumnWidth(0) - kListCellMargin - image_width;
  wxClientDC dc(list);
  dc.SetFont(list->GetFont());
  if (width <= 0 || dc.GetTextExtent(full).x <= width) return full;
  return wxControl::Ellipsize(full, dc, wxELLIPSIZE_MIDDLE, width);
}

void SetRow(wxListCtrl* list, std::vector<wxString>& first_column, int row, const std::string& text,
            int image) {
  const std::vector<std::string> columns = RowColumns(text);
  const wxString first = ToWx(columns[0]);
  if (row >= list->GetItemCount()) {
    list->InsertItem(row, FittedCell(list, first), image);
  } else {
    list->SetItem(row, 0, FittedCell(list, first), image);
  }
  if (first_column.size() <= static_cast<size_t>(row)) first_column.resize(row + 1);
  first_column[static_cast<size_t>(row)] = first;
  for (size_t c = 1; c < columns.size() && static_cast<int>(c) < list->GetColumnCount(); ++c) {
    list->SetItem(row, static_cast<long>(c), ToWx(columns[c]));
  }
}

// A label or a drop-down list keeps the size its window gives it; a text that would be cut
// there (a long engine name, a translation longer than the original) is drawn a little
// smaller instead, down to kSmallestFontPoints.
void FitFontToWidth(wxWindow* widget, const wxFont& base, const wxString& text, int room) {
  wxFont font = base;
  widget->SetFont(font);
  while (room > 0 && font.GetFractionalPointSize() > kSmallestFontPoints &&
         widget->GetTextExtent(text).x > room) {
    font.SetFractionalPointSize(font.GetFractionalPointSize() - 0.5);
    widget->SetFont(font);
  }
}

// The widest entry of a drop-down list.
wxString WidestEntry(wxChoice* choice) {
  wxString widest;
  int width = -1;
  for (unsigned i = 0; i < choice->GetCount(); ++i) {
    const int w = choice->GetTextExtent(choice->GetString(i)).x;
    if (w > width) {
      width = w;
      widest = choice->GetString(i);
    }
  }
  return widest;
}

// A list without a selected row shows no focus box either (on an empty row it reads as a
// selection that is not there).
void DropRowFocus(wxListCtrl* list) {
  if (SelectedRow(list) >= 0) return;
  for (long row = list->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_FOCUSED); row >= 0;
       row = list->GetNextItem(row, wxLIST_NEXT_ALL, wxLIST_STATE_FOCUSED)) {
    list->SetItemState(row, 0, wxLIST_STATE_FOCUSED);
  }
}

void RefitFirstColumn(wxListCtrl* list, const std::vector<wxString>& first_column) {
  const long rows = std::min<long>(list->GetItemCount(), static_cast<long>(first_column.size()));
  for (long row = 0; row < rows; ++row) {
    const wxString shown = FittedCell(list, first_column[static_cast<size_t>(row)]);
    if (list->GetItemText(row, 0) != shown) list->SetItemText(row, shown);
  }
}

}  // namespace

wxString ToWx(const std::string& text) { return wxString::FromUTF8(text.data(), text.size()); }

std::string FromWx(const wxString& text) {
  const wxScopedCharBuffer utf8 = text.utf8_str();
  return std::string(utf8.data(), utf8.length());
}

std::string ChosenFolder(const std::string& native_path) {
  if (native_path.empty()) return "";
  std::string folder = platform::InternalPath(native_path);
  if (!folder.empty() && folder.back() != '\\') folder += '\\';
  return folder;
}

bool WxToolkit::Start() {
  static const bool started = [] {
    static char name[] = "stowkeeper";
    static char* argv[] = {name, nullptr};
    int argc = 1;
    wxApp::SetInstance(new wxApp());
    if (!wxEntryStart(argc, argv)) return false;
    // A failed check inside wx is reported, never shown as a box that stops the program.
    wxSetAssertHandler([](const wxString& file, int line, const wxString& function,
                          const wxString& condition, const wxString& message) {
      std::fprintf(stderr, "stowkeeper: wx check failed at %s:%d in %s: %s %s\n",
                   FromWx(file).c_str(), line, FromWx(function).c_str(), FromWx(condition).c_str(),
                   FromWx(message).c_str());
    });
    wxTheApp->SetAppName("stowkeeper");
    wxTheApp->SetExitOnFrameDelete(false);
    ApplyCompactStyle();
    return true;
  }();
  return started;
}

WxToolkit::WxToolkit()
    : loop_(std::make_unique<wxGUIEventLoop>()),
      next_pump_(std::chrono::steady_clock::now()),
      base_font_(wxFontInfo(kBaseFontPoints).Family(wxFONTFAMILY_SWISS)) {
  wxEventLoopBase::SetActive(loop_.get());
}

WxToolkit::~WxToolkit() {
  automation_.reset();
  for (auto& [number, w] : windows_) {
    w.timers.clear();
    w.frame->Destroy();
  }
  windows_.clear();
  PumpNow();
  if (wxEventLoopBase::GetActive() == loop_.get()) wxEventLoopBase::SetActive(nullptr);
}

void WxToolkit::SetAutomation(std::unique_ptr<AutomationPlayer> automation) {
  automation_ = std::move(automation);
}

// --- Events.

void WxToolkit::Queue(const Event& event) {
  if (quiet_) return;
  // A resize arrives as many native events; the program lays out once for the last one.
  if (event.type == EventType::kSize && !queue_.empty() && queue_.back() == event) return;
  queue_.push_back(event);
}

void WxToolkit::Post(const Event& event) { queue_.push_back(event); }

void WxToolkit::PumpNow() {
  if (pumping_) return;  // a handler or dialog inside the pump must not pump again
  pumping_ = true;
  for (int i = 0; i < kMaxDispatchPerPump && loop_->Pending(); ++i) loop_->Dispatch();
  if (wxTheApp != nullptr) {
    wxTheApp->ProcessPendingEvents();
    wxTheApp->ProcessIdle();
  }
  pumping_ = false;
  next_pump_ = std::chrono::steady_clock::now() + kPumpInterval;
}

void WxToolkit::Pump() {
  PumpNow();
  if (automation_ != nullptr && queue_.empty()) automation_->Step();
}

Event WxToolkit::PollEvent() {
  if (!queue_.empty()) {
    const Event event = queue_.front();
    queue_.pop_front();
    return event;
  }
  if (std::chrono::steady_clock::now() < next_pump_) return Event{};
  Pump();
  if (queue_.empty()) return Event{};
  const Event event = queue_.front();
  queue_.pop_front();
  return event;
}

Event WxToolkit::WaitEvent() {
  for (;;) {
    if (!queue_.empty()) {
      const Event event = queue_.front();
      queue_.pop_front();
      return event;
    }
    Pump();
    if (!queue_.empty()) continue;
    if (windows_.empty() && automation_ == nullptr) return Event{};
    loop_->DispatchTimeout(automation_ != nullptr ? 10 : kWaitSliceMs);
  }
}

// --- Windows.

WxToolkit::WindowData* WxToolkit::FindWindow(int window) { return FindEntry(windows_, window); }

WxToolkit::ControlData* WxToolkit::FindControl(int window, int control) {
  return FindControlIn(windows_, window, control);
}

wxWindow* WxToolkit::NativeWindow(int window) {
  WindowData* w = FindWindow(window);
  return w == nullptr ? nullptr : w->frame;
}

wxWindow* WxToolkit::NativeControl(int window, int control) {
  ControlData* c = FindControl(window, control);
  return c == nullptr ? nullptr : c->widget;
}

wxWindow* WxToolkit::ActiveWindow() {
  for (auto it = windows_.rbegin(); it != windows_.rend(); ++it) {
    if (it->second.frame->IsEnabled()) return it->second.frame;
  }
  return windows_.empty() ? nullptr : windows_.begin()->second.frame;
}

wxMenu* WxToolkit::ContextMenuOf(int window) {
  WindowData* w = FindWindow(window);
  return w == nullptr ? nullptr : w->context_menu.get();
}

bool WxToolkit::OpenWindow(int window, const WindowDef& def) {
  if (FindWindow(window) != nullptr) CloseWindow(window);
  WindowData* main = window == kMainWindow ? nullptr : FindWindow(kMainWindow);
  long style = FrameStyle(def.flags);
  if (main != nullptr) style |= wxFRAME_FLOAT_ON_PARENT | wxFRAME_NO_TASKBAR;
  const wxPoint position = def.x >= 0 && def.y >= 0 ? wxPoint(def.x, def.y) : wxDefaultPosition;
  auto* frame = new wxFrame(main != nullptr ? main->frame : nullptr, wxID_ANY, ToWx(def.title),
                            position, wxDefaultSize, style);
  auto* panel = new wxPanel(frame, wxID_ANY);
  panel->SetFont(base_font_);
  frame->SetClientSize(def.width, def.height);
  if ((def.flags & kWindowCenterOnScreen) != 0) {
    frame->CentreOnScreen();
  } else if (main != nullptr) {
    frame->CentreOnParent();
  } else if (position == wxDefaultPosition) {
    frame->CentreOnScreen();
  }
  WindowData& w = windows_[window];
  w.frame = frame;
  w.panel = panel;
  w.def = def;

  frame->Bind(wxEVT_CLOSE_WINDOW, [this, window](wxCloseEvent& event) {
    if (!event.CanVeto()) {
      event.Skip();
      return;
    }
    event.Veto();
    Queue({EventType::kClose, window, -1});
  });
  // Resized, maximized, minimized or restored: one kSize event for them all.
  const auto sized = [this, window](wxEvent& event) {
    event.Skip();
    Queue({EventType::kSize, window, -1});
  };
  frame->Bind(wxEVT_SIZE, sized);
  frame->Bind(wxEVT_MAXIMIZE, sized);
  frame->Bind(wxEVT_ICONIZE, sized);
  frame->Bind(wxEVT_MENU, [this, window](wxCommandEvent& event) {
    Queue({EventType::kMenu, window, event.GetId() - kMenuIdBase});
  });
  // Escape presses the window's cancel button, Enter its default button (where the focus is
  // on no other button).
  frame->Bind(wxEVT_CHAR_HOOK, [this, window](wxKeyEvent& event) {
    const int key = event.GetKeyCode();
    const bool enter = key == WXK_RETURN || key == WXK_NUMPAD_ENTER;
    wxWindow* focus = dynamic_cast<wxWindow*>(event.GetEventObject());
    if (focus == nullptr) focus = wxWindow::FindFocus();
    const bool on_button = dynamic_cast<wxButton*>(focus) != nullptr;
    uint32_t role = 0;
    if (key == WXK_ESCAPE) role = kRoleCancel;
    if (enter && !on_button) role = kRoleDefault;
    if (role != 0 && PressRole(window, role)) return;
    event.Skip();
  });

  if (const Image* image = ImageOf(image_data_, kProgramImage)) {
    wxIcon icon;
    icon.CopyFromBitmap(ImageBitmap(*image, 48, 48));
    frame->SetIcon(icon);
  }
  frame->Show();
  if ((def.flags & kWindowMaximized) != 0) frame->Maximize(true);
  if ((def.flags & kWindowMinimized) != 0) frame->Iconize(true);
  if (automation_ != nullptr) automation_->WindowOpened(window, def.title);
  return true;
}

void WxToolkit::CloseWindow(int window) {
  auto it = windows_.find(window);
  if (it == windows_.end()) return;
  WindowData& w = it->second;
  w.timers.clear();
  // The main window gets the focus back before the job's window goes, as with an owner.
  if (window != kMainWindow) {
    if (WindowData* main = FindWindow(kMainWindow); main != nullptr && main->frame->IsEnabled()) {
      main->frame->Raise();
    }
  }
  w.frame->Hide();
  w.frame->Destroy();
  windows_.erase(it);
  // Events of the window that is gone must not reach a later window of the same number.
  std::erase_if(queue_, [window](const Event& e) { return e.window == window; });
  if (automation_ != nullptr) automation_->WindowClosed(window);
}

bool WxToolkit::WindowExists(int window) { return FindWindow(window) != nullptr; }

void WxToolkit::EnableWindow(int window, bool enabled) {
  if (WindowData* w = FindWindow(window)) w->frame->Enable(enabled);
}

int WxToolkit::MenuBarHeight(WindowData& w) {
  wxMenuBar* bar = w.frame->GetMenuBar();
  if (bar == nullptr) return 0;
  // Until the window system has placed the bar, its size is a guess; its natural height is
  // what the frame already takes from the client area.
  return std::max(bar->GetSize().y, NaturalHeight(bar));
}

void WxToolkit::SetMinimumSize(int window, int width, int height) {
  WindowData* w = FindWindow(window);
  if (w == nullptr) return;
  const wxSize outer = w->frame->GetSize() - w->frame->GetClientSize();
  w->frame->SetMinSize(wxSize(width + outer.x, height - MenuBarHeight(*w) + outer.y));
}

WindowGeometry WxToolkit::GetWindowGeometry(int window) {
  WindowData* w = FindWindow(window);
  if (w == nullptr) return {};
  WindowGeometry g;
  const wxPoint position = w->frame->GetPosition();
  const wxSize client = w->frame->GetClientSize();
  g.x = position.x;
  g.y = position.y;
  g.menu_bar_height = MenuBarHeight(*w);
  if (wxStatusBar* bar = w->frame->GetStatusBar()) g.status_bar_height = bar->GetSize().y;
  g.width = client.x;
  g.height = client.y + g.menu_bar_height + g.status_bar_height;
  if (w->frame->IsIconized()) {
    g.state = WindowState::kMinimized;
  } else if (w->frame->IsMaximized()) {
    g.state = WindowState::kMaximized;
  }
  return g;
}

// --- Controls.

wxWindow* WxToolkit::ParentFor(WindowData& w, const ControlDef& def) {
  if (def.parent < 0) return w.panel;
  auto it = w.controls.find(def.parent);
  if (it == w.controls.end()) return w.panel;
  if (auto* tabs = dynamic_cast<wxNotebook*>(it->second.widget)) {
    if (def.page >= 0 && static_cast<size_t>(def.page) < tabs->GetPageCount()) {
      return tabs->GetPage(static_cast<size_t>(def.page));
    }
    return w.panel;
  }
  if (it->second.def.kind == ControlKind::kContainer) return it->second.widget;
  return it->second.widget->GetParent();
}

wxWindow* WxToolkit::MakeWidget(int window, WindowData& w, const ControlDef& def) {
  wxWindow* parent = ParentFor(w, def);
  const wxPoint pos(def.x, def.y);
  const wxSize size(def.width, def.height);
  const wxString text = ToWx(def.text);
  switch (def.kind) {
    case ControlKind::kButton:
      return new wxButton(parent, wxID_ANY, text, pos, size);
    case ControlKind::kProgressBar:
      return new wxGauge(parent, wxID_ANY, 100, pos, size, wxGA_HORIZONTAL | wxGA_SMOOTH);
    case ControlKind::kEdit:
      return new wxTextCtrl(parent, wxID_ANY, text, pos, size,
                            (def.style & kStyleMultiLine) != 0 ? wxTE_MULTILINE : 0);
    case ControlKind::kText: {
      if ((def.style & kStyleReadOnly) != 0) {
        long style = wxTE_READONLY;
        if ((def.style & kStyleCentered) != 0) style |= wxTE_CENTRE;
        return new wxTextCtrl(parent, wxID_ANY, text, pos, size, style);
      }
      if ((def.style & (kStyleBorder | kStyleWhite)) != 0 || def.background >= 0) {
        const wxColour background =
            (def.style & kStyleWhite) != 0 ? *wxWHITE : ColourOf(def.background);
        auto* label = new BoxedLabel(parent, pos, size, def.style, background);
        label->SetLabel(text);
        return label;
      }
      long style = wxST_NO_AUTORESIZE | wxST_ELLIPSIZE_END;
      if ((def.style & kStyleCentered) != 0) style |= wxALIGN_CENTRE_HORIZONTAL;
      if ((def.style & kStyleRightAligned) != 0) style |= wxALIGN_RIGHT;
      return new wxStaticText(parent, wxID_ANY, text, pos, size, style);
    }
    case ControlKind::kFrame:
      return new wxStaticBox(parent, wxID_ANY, text, pos, size);
    case ControlKind::kOption: {
      // An option starts a new group unless the control made just before it is an option.
      bool first = true;
      if (!w.controls.empty()) {
        const wxWindowList& siblings = parent->GetChildren();
        first = siblings.empty() || dynamic_cast<wxRadioButton*>(siblings.back()) == nullptr;
      }
      return new wxRadioButton(parent, wxID_ANY, text, pos, size, first ? wxRB_GROUP : 0);
    }
    case ControlKind::kDropDown:
      return new wxChoice(parent, wxID_ANY, pos, size);
    case ControlKind::kReportList: {
      long style = wxLC_REPORT | wxLC_SINGLE_SEL | wxBORDER_SUNKEN;
      if ((def.style & kStyleNoHeader) != 0) style |= wxLC_NO_HEADER;
      // The images come with the first row that shows one: a list without images keeps
      // rows as low as its text.
      return new wxListCtrl(parent, wxID_ANY, pos, size, style);
    }
    case ControlKind::kContainer: {
      const long border = (def.style & kStyleRaised) != 0 ? wxBORDER_RAISED : wxBORDER_NONE;
      auto* panel = new wxPanel(parent, wxID_ANY, pos, size, border | wxTAB_TRAVERSAL);
      if (def.background >= 0) panel->SetBackgroundColour(ColourOf(def.background));
      return panel;
    }
    case ControlKind::kTabs:
      return new wxNotebook(parent, wxID_ANY, pos, size);
    case ControlKind::kImage:
      return new wxStaticBitmap(parent, wxID_ANY, wxBitmap(def.width, def.height), pos, size);
    case ControlKind::kLink: {
      auto* link = new wxGenericHyperlinkCtrl(parent, wxID_ANY, text, "#", pos, size,
                                              wxHL_ALIGN_LEFT | wxBORDER_NONE);
      link->SetNormalColour(wxColour(0, 0, 255));
      link->SetVisitedColour(wxColour(0, 0, 255));
      return link;
    }
  }
  (void)window;
  return new wxStaticText(parent, wxID_ANY, text, pos, size);
}

bool WxToolkit::PressRole(int window, uint32_t role) {
  WindowData* w = FindWindow(window);
  if (w == nullptr) return false;
  for (const auto& [id, c] : w->controls) {
    if (c.def.kind == ControlKind::kButton && (c.def.style & role) != 0 && c.widget->IsEnabled()) {
      Queue({EventType::kLeftClick, window, id});
      return true;
    }
  }
  return false;
}

void WxToolkit::BindEvents(int window, const ControlDef& def, wxWindow* widget) {
  const int id = def.id;
  auto click = [this, window, id](wxEvent&) { Queue({EventType::kLeftClick, window, id}); };
  // The one event by which each kind but the report list tells a click.
  if (def.kind == ControlKind::kButton) widget->Bind(wxEVT_BUTTON, click);
  if (def.kind == ControlKind::kOption) widget->Bind(wxEVT_RADIOBUTTON, click);
  if (def.kind == ControlKind::kDropDown) widget->Bind(wxEVT_CHOICE, click);
  if (def.kind == ControlKind::kTabs) widget->Bind(wxEVT_NOTEBOOK_PAGE_CHANGED, click);
  if (def.kind == ControlKind::kLink) widget->Bind(wxEVT_HYPERLINK, click);
  if (def.kind != ControlKind::kReportList) return;
  widget->Bind(wxEVT_LIST_ITEM_SELECTED, click);
  widget->Bind(wxEVT_LIST_ITEM_DESELECTED, click);
  widget->Bind(wxEVT_LIST_ITEM_ACTIVATED, [this, window, id](wxListEvent&) {
    Queue({EventType::kDoubleClick, window, id});
  });
  widget->Bind(wxEVT_LIST_ITEM_RIGHT_CLICK, [this, window, id](wxListEvent&) {
    Queue({EventType::kRightClick, window, id});
  });
  // The list marks its first row as current when it gets the keyboard focus: with no row
  // selected, that mark goes again.
  widget->Bind(wxEVT_LIST_ITEM_FOCUSED, [widget](wxListEvent& event) {
    event.Skip();
    widget->CallAfter([widget] { DropRowFocus(AsList(widget)); });
  });
  // The user widens or narrows a column: the first column's texts fit it again.
  widget->Bind(wxEVT_LIST_COL_END_DRAG, [this, window, id, widget](wxListEvent& event) {
    event.Skip();
    widget->CallAfter([this, window, id] {
      if (ControlData* c = FindControl(window, id))
        RefitFirstColumn(AsList(c->widget), c->first_column);
    });
  });
}

void WxToolkit::AddControl(int window, const ControlDef& def) {
  WindowData* w = FindWindow(window);
  if (w == nullptr) return;
  if (w->controls.count(def.id) != 0) {
    w->controls[def.id].widget->Destroy();
    w->controls.erase(def.id);
  }
  wxWindow* widget = MakeWidget(window, *w, def);
  if (def.kind != ControlKind::kLink) widget->SetFont(base_font_);
  if (dynamic_cast<wxStaticText*>(widget) != nullptr) {
    FitFontToWidth(widget, base_font_, ToWx(def.text), def.width);
  }
  if (!def.tooltip.empty()) widget->SetToolTip(ToWx(def.tooltip));
  BindEvents(window, def, widget);
  ControlData& c = w->controls[def.id];
  c.Start(def);
  c.widget = widget;
}

void WxToolkit::SetText(int window, int control, const std::string& text) {
  ControlData* c = FindControl(window, control);
  if (c == nullptr) return;
  c->def.text = text;
  if (auto* field = dynamic_cast<wxTextCtrl*>(c->widget)) {
    field->ChangeValue(ToWx(text));
  } else if (auto* choice = dynamic_cast<wxChoice*>(c->widget)) {
    const int selected = choice->GetSelection();
    if (selected >= 0) choice->SetString(static_cast<unsigned>(selected), ToWx(text));
  } else {
    c->widget->SetLabel(ToWx(text));
    if (dynamic_cast<wxStaticText*>(c->widget) != nullptr) {
      FitFontToWidth(c->widget, base_font_, ToWx(text), c->def.width);
    }
  }
}

std::string WxToolkit::GetText(int window, int control) {
  ControlData* c = FindControl(window, control);
  if (c == nullptr) return "";
  if (auto* field = dynamic_cast<wxTextCtrl*>(c->widget)) return FromWx(field->GetValue());
  if (auto* choice = dynamic_cast<wxChoice*>(c->widget)) {
    return FromWx(choice->GetStringSelection());
  }
  return FromWx(c->widget->GetLabel());
}

void WxToolkit::SetValue(int window, int control, int64_t value) {
  ControlData* c = FindControl(window, control);
  if (c == nullptr) return;
  quiet_ = true;
  c->Keep(value);
  switch (c->def.kind) {
    case ControlKind::kProgressBar: {
      auto* gauge = static_cast<wxGauge*>(c->widget);
      const int shown = ClampInt(c->value - c->minimum);
      if (gauge->GetValue() != shown) gauge->SetValue(std::min(shown, gauge->GetRange()));
      break;
    }
    case ControlKind::kOption:
      if (value != 0) static_cast<wxRadioButton*>(c->widget)->SetValue(true);
      break;
    case ControlKind::kDropDown: {
      auto* choice = static_cast<wxChoice*>(c->widget);
      choice->SetSelection(value >= 0 && value < choice->GetCount() ? static_cast<int>(value)
                                                                    : wxNOT_FOUND);
      break;
    }
    case ControlKind::kReportList: {
      wxListCtrl* list = AsList(c->widget);
      const int old = SelectedRow(list);
      if (old >= 0 && old != value) list->SetItemState(old, 0, wxLIST_STATE_SELECTED);
      if (value >= 0 && value < list->GetItemCount()) {
        const long row = static_cast<long>(value);
        list->SetItemState(row, wxLIST_STATE_SELECTED | wxLIST_STATE_FOCUSED,
                           wxLIST_STATE_SELECTED | wxLIST_STATE_FOCUSED);
        list->EnsureVisible(row);
      }
      DropRowFocus(list);
      break;
    }
    case ControlKind::kTabs: {
      auto* tabs = static_cast<wxNotebook*>(c->widget);
      if (value >= 0 && static_cast<size_t>(value) < tabs->GetPageCount()) {
        tabs->ChangeSelection(static_cast<size_t>(value));
      }
      break;
    }
    case ControlKind::kImage:
      if (const Image* image = ImageOf(image_data_, value)) {
        static_cast<wxStaticBitmap*>(c->widget)->SetBitmap(
            ImageBitmap(*image, c->def.width, c->def.height));
      }
      break;
    default:
      break;
  }
  quiet_ = false;
}

int64_t WxToolkit::GetValue(int window, int control) {
  ControlData* c = FindControl(window, control);
  if (c == nullptr) return -1;
  switch (c->def.kind) {
    case ControlKind::kOption:
      return static_cast<wxRadioButton*>(c->widget)->GetValue() ? 1 : 0;
    case ControlKind::kDropDown:
      return static_cast<wxChoice*>(c->widget)->GetSelection();
    case ControlKind::kReportList:
      return SelectedRow(AsList(c->widget));
    case ControlKind::kTabs:
      return static_cast<wxNotebook*>(c->widget)->GetSelection();
    default:
      return c->value;
  }
}

void WxToolkit::SetRange(int window, int control, int64_t minimum, int64_t maximum) {
  ControlData* c = FindControl(window, control);
  if (c == nullptr) return;
  c->SetRange(minimum, maximum);
  if (auto* gauge = dynamic_cast<wxGauge*>(c->widget)) {
    // A range of 0 shows an empty bar rather than dividing by nothing.
    gauge->SetRange(std::max(ClampInt(c->maximum - c->minimum), 1));
    gauge->SetValue(std::min(ClampInt(c->value - c->minimum), gauge->GetRange()));
  }
}

int64_t WxToolkit::GetMaximum(int window, int control) {
  ControlData* c = FindControl(window, control);
  return c == nullptr ? 0 : c->maximum;
}

void WxToolkit::EnableControl(int window, int control, bool enabled) {
  if (ControlData* c = FindControl(window, control)) c->widget->Enable(enabled);
}

void WxToolkit::SetFocus(int window, int control) {
  if (ControlData* c = FindControl(window, control)) {
    if (c->widget->IsShownOnScreen() && c->widget->IsEnabled()) c->widget->SetFocus();
    if (wxListCtrl* list = AsList(c->widget)) DropRowFocus(list);
  }
}

// --- Rows and columns.

void WxToolkit::AddColumn(int window, int control, const std::string& title, int width) {
  ControlData* c = FindControl(window, control);
  if (c == nullptr) return;
  if (wxListCtrl* list = AsList(c->widget)) {
    const wxListColumnFormat format =
        (c->def.style & kStyleCentered) != 0 ? wxLIST_FORMAT_CENTRE : wxLIST_FORMAT_LEFT;
    list->AppendColumn(ToWx(title), format, width);
  }
}

void WxToolkit::AddItem(int window, int control, const std::string& text, int image) {
  ControlData* c = FindControl(window, control);
  if (c == nullptr) return;
  quiet_ = true;
  if (wxListCtrl* list = AsList(c->widget)) {
    if (images_ == nullptr || image >= images_->GetImageCount()) image = -1;
    if (image >= 0 && list->GetImageList(wxIMAGE_LIST_SMALL) == nullptr) {
      list->SetImageList(images_.get(), wxIMAGE_LIST_SMALL);
    }
    SetRow(list, c->first_column, list->GetItemCount(), text, image);
  } else if (auto* choice = dynamic_cast<wxChoice*>(c->widget)) {
    choice->Append(ToWx(text));
    if (choice->GetCount() == 1) choice->SetSelection(0);
    FitFontToWidth(choice, base_font_, WidestEntry(choice), c->def.width - kDropDownChrome);
  } else if (auto* tabs = dynamic_cast<wxNotebook*>(c->widget)) {
    auto* page = new wxPanel(tabs, wxID_ANY);
    page->SetFont(base_font_);
    tabs->AddPage(page, ToWx(text));
  }
  quiet_ = false;
}

void WxToolkit::SetItemText(int window, int control, int row, const std::string& text) {
  ControlData* c = FindControl(window, control);
  if (c == nullptr || row < 0) return;
  quiet_ = true;
  if (wxListCtrl* list = AsList(c->widget)) {
    while (list->GetItemCount() < row) SetRow(list, c->first_column, list->GetItemCount(), "", -1);
    SetRow(list, c->first_column, row, text, -1);
  } else if (auto* choice = dynamic_cast<wxChoice*>(c->widget)) {
    while (static_cast<int>(choice->GetCount()) <= row) choice->Append("");
    choice->SetString(static_cast<unsigned>(row), ToWx(text));
  } else if (auto* tabs = dynamic_cast<wxNotebook*>(c->widget)) {
    if (static_cast<size_t>(row) < tabs->GetPageCount()) {
      tabs->SetPageText(static_cast<size_t>(row), ToWx(text));
    }
  }
  quiet_ = false;
}

void WxToolkit::ClearItems(int window, int control) {
  ControlData* c = FindControl(window, control);
  if (c == nullptr) return;
  quiet_ = true;
  if (wxListCtrl* list = AsList(c->widget)) {
    list->DeleteAllItems();
    c->first_column.clear();
  } else if (auto* choice = dynamic_cast<wxChoice*>(c->widget)) {
    choice->Clear();
  }
  quiet_ = false;
}

int WxToolkit::CountItems(int window, int control) {
  ControlData* c = FindControl(window, control);
  if (c == nullptr) return 0;
  if (wxListCtrl* list = AsList(c->widget)) return list->GetItemCount();
  if (auto* choice = dynamic_cast<wxChoice*>(c->widget)) {
    return static_cast<int>(choice->GetCount());
  }
  if (auto* tabs = dynamic_cast<wxNotebook*>(c->widget)) {
    return static_cast<int>(tabs->GetPageCount());
  }
  return 0;
}

std::string WxToolkit::GetItemText(int window, int control, int row, int column) {
  ControlData* c = FindControl(window, control);
  if (c == nullptr || row < 0 || column < 0) return "";
  if (wxListCtrl* list = AsList(c->widget)) {
    if (row >= list->GetItemCount() || column >= list->GetColumnCount()) return "";
    if (column == 0 && static_cast<size_t>(row) < c->first_column.size()) {
      return FromWx(c->first_column[static_cast<size_t>(row)]);
    }
    return FromWx(list->GetItemText(row, column));
  }
  if (auto* choice = dynamic_cast<wxChoice*>(c->widget)) {
    if (column != 0 || row >= static_cast<int>(choice->GetCount())) return "";
    return FromWx(choice->GetString(static_cast<unsigned>(row)));
  }
  return "";
}

void WxToolkit::SetColumnWidth(int window, int control, int column, int width) {
  ControlData* c = FindControl(window, control);
  if (c == nullptr) return;
  if (wxListCtrl* list = AsList(c->widget); list != nullptr && column < list->GetColumnCount()) {
    list->SetColumnWidth(column, width);
    if (column == 0) RefitFirstColumn(list, c->first_column);
  }
}

int WxToolkit::GetColumnWidth(int window, int control, int column) {
  ControlData* c = FindControl(window, control);
  if (c == nullptr) return 0;
  wxListCtrl* list = AsList(c->widget);
  if (list == nullptr || column < 0 || column >= list->GetColumnCount()) return 0;
  return list->GetColumnWidth(column);
}

bool WxToolkit::LoadToolkitCatalog(const std::string& code) {
  // Only the translations change, not the C locale: the program writes its numbers itself.
  auto* translations = new wxTranslations();
  translations->SetLanguage(ToWx(code));
  const bool loaded = code == "en" || translations->AddStdCatalog();
  wxTranslations::Set(translations);
  return loaded;
}

int WxToolkit::FitColumnToContent(int window, int control, int column, int minimum) {
  ControlData* c = FindControl(window, control);
  wxListCtrl* list = c == nullptr ? nullptr : AsList(c->widget);
  if (list == nullptr || column < 0 || column >= list->GetColumnCount()) return minimum;
  int width = minimum;
  list->SetColumnWidth(column, wxLIST_AUTOSIZE);
  width = std::max(width, list->GetColumnWidth(column));
  list->SetColumnWidth(column, width);
  return width;
}

int WxToolkit::VisibleRowCount(int window, int control) {
  ControlData* c = FindControl(window, control);
  if (c == nullptr) return 0;
  wxListCtrl* list = AsList(c->widget);
  if (list == nullptr) return 0;
  // Measured from the height the list was given rather than from its native size, which
  // follows only once the window system has handled the resize.
  wxRect row(0, 0, 0, list->GetCharHeight() + 4);  // a list without columns shows no rows
  if (list->GetColumnCount() > 0) {
    const bool empty = list->GetItemCount() == 0;
    quiet_ = true;
    if (empty) list->InsertItem(0, "Ag");
    list->GetItemRect(0, row);
    if (empty) list->DeleteItem(0);
    quiet_ = false;
  }
  const int border = list->GetSize().y - list->GetClientSize().y;
  int header = 0;
  if (!list->HasFlag(wxLC_NO_HEADER)) header = wxRendererNative::Get().GetHeaderButtonHeight(list);
  const int inner = c->def.height - border - header;
  return row.height > 0 && inner > 0 ? inner / row.height : 0;
}

// --- Geometry, looks.

void WxToolkit::SetControlRect(int window, int control, const Rect& rect) {
  ControlData* c = FindControl(window, control);
  if (c == nullptr) return;
  c->Place(rect);
  c->widget->SetSize(rect.x, rect.y, std::max(rect.width, 0), std::max(rect.height, 0));
}

Rect WxToolkit::GetControlRect(int window, int control) {
  ControlData* c = FindControl(window, control);
  return c == nullptr ? Rect{} : c->Bounds();
}

void WxToolkit::SetToolTip(int window, int control, const std::string& text) {
  if (ControlData* c = FindControl(window, control)) c->widget->SetToolTip(ToWx(text));
}

void WxToolkit::SetFont(int window, int control, const Font& font) {
  ControlData* c = FindControl(window, control);
  if (c == nullptr) return;
  wxFontInfo info(font.points > 0 ? font.points : kBaseFontPoints);
  info.Family(wxFONTFAMILY_SWISS).FaceName(ToWx(font.face)).Bold(font.bold).Italic(font.italic);
  wxFont wanted(info);
  // A face the desktop does not have falls back to its own sans-serif at that size.
  if (!wanted.IsOk()) {
    wanted = wxFont(wxFontInfo(info.GetPointSize())
                        .Family(wxFONTFAMILY_SWISS)
                        .Bold(font.bold)
                        .Italic(font.italic));
  }
  c->widget->SetFont(wanted);
  c->widget->Refresh();
}

void WxToolkit::SetImages(const std::vector<Image>& images) {
  image_data_ = images;
  images_ = std::make_unique<wxImageList>(16, 16, true, static_cast<int>(images.size()));
  for (const Image& image : images) images_->Add(ImageBitmap(image, 16, 16));
  for (auto& [number, w] : windows_) {
    for (auto& [id, c] : w.controls) {
      wxListCtrl* list = AsList(c.widget);
      if (list != nullptr && list->GetImageList(wxIMAGE_LIST_SMALL) != nullptr) {
        list->SetImageList(images_.get(), wxIMAGE_LIST_SMALL);
      }
    }
  }
}

// --- Menus and bars.

wxMenu* WxToolkit::BuildMenu(int window, const Menu& menu) {
  (void)window;
  auto* built = new wxMenu();
  for (const MenuItem& item : menu.items) {
    if (item.id < 0) {
      built->AppendSeparator();
      continue;
    }
    // Items without an image can carry a check mark (the Language menu).
    const wxItemKind kind = item.image < 0 ? wxITEM_CHECK : wxITEM_NORMAL;
    auto* entry = new wxMenuItem(built, kMenuIdBase + item.id, ToWx(item.text), "", kind);
    if (const Image* image = ImageOf(image_data_, item.image)) {
      entry->SetBitmap(ImageBitmap(*image, 16, 16));
    }
    built->Append(entry);
    if (kind == wxITEM_CHECK) entry->Check(item.checked);
  }
  return built;
}

void WxToolkit::SetMenuBar(int window, const std::vector<Menu>& menus) {
  WindowData* w = FindWindow(window);
  if (w == nullptr) return;
  auto* bar = new wxMenuBar();
  for (const Menu& menu : menus) bar->Append(BuildMenu(window, menu), ToWx(menu.title));
  // The frame keeps its size: the bar takes its height from the client area.
  w->frame->SetMenuBar(bar);
  w->frame->SendSizeEvent();
}

void WxToolkit::EnableMenuItem(int window, int item, bool enabled) {
  WindowData* w = FindWindow(window);
  if (w == nullptr) return;
  if (wxMenuBar* bar = w->frame->GetMenuBar()) {
    if (wxMenuItem* entry = bar->FindItem(kMenuIdBase + item)) entry->Enable(enabled);
  }
  if (w->context_menu != nullptr) {
    if (wxMenuItem* entry = w->context_menu->FindItem(kMenuIdBase + item)) entry->Enable(enabled);
  }
}

void WxToolkit::CheckMenuItem(int window, int item, bool checked) {
  WindowData* w = FindWindow(window);
  if (w == nullptr || w->frame->GetMenuBar() == nullptr) return;
  wxMenuItem* entry = w->frame->GetMenuBar()->FindItem(kMenuIdBase + item);
  if (entry != nullptr && entry->IsCheckable()) entry->Check(checked);
}

void WxToolkit::SetContextMenu(int window, const Menu& menu) {
  WindowData* w = FindWindow(window);
  if (w == nullptr) return;
  w->context_menu.reset(BuildMenu(window, menu));
}

void WxToolkit::ShowContextMenu(int window) {
  WindowData* w = FindWindow(window);
  if (w == nullptr || w->context_menu == nullptr) return;
  if (automation_ != nullptr) automation_->ContextMenuOpening(window);
  w->frame->PopupMenu(w->context_menu.get());
}

void WxToolkit::AddStatusBar(int window, int fields) {
  WindowData* w = FindWindow(window);
  if (w == nullptr || fields <= 0) return;
  wxStatusBar* bar = w->frame->CreateStatusBar(fields, wxSTB_DEFAULT_STYLE & ~wxSTB_SIZEGRIP);
  bar->SetFont(base_font_);
  w->frame->SendSizeEvent();
}

void WxToolkit::SetStatusText(int window, int field, const std::string& text) {
  WindowData* w = FindWindow(window);
  if (w == nullptr || w->frame->GetStatusBar() == nullptr) return;
  if (field >= 0 && field < w->frame->GetStatusBar()->GetFieldsCount()) {
    w->frame->SetStatusText(ToWx(text), field);
  }
}

std::string WxToolkit::GetStatusText(int window, int field) {
  WindowData* w = FindWindow(window);
  wxStatusBar* bar = w == nullptr ? nullptr : w->frame->GetStatusBar();
  if (bar == nullptr || field < 0 || field >= bar->GetFieldsCount()) return "";
  return FromWx(bar->GetStatusText(field));
}

void WxToolkit::AddTimer(int window, int timer, int milliseconds) {
  WindowData* w = FindWindow(window);
  if (w == nullptr) return;
  auto clock = std::make_unique<wxTimer>();
  clock->Bind(wxEVT_TIMER, [this, window, timer](wxTimerEvent&) {
    Queue({EventType::kTimer, window, timer});
  });
  clock->Start(std::max(milliseconds, 1));
  w->timers[timer] = std::move(clock);
}

void WxToolkit::RemoveTimer(int window, int timer) {
  if (WindowData* w = FindWindow(window)) w->timers.erase(timer);
}

// --- Dialogs.

wxDialog* WxToolkit::PreviewMessageBox(const MessageInfo& info) {
  const long style = wxCENTRE | kButtonStyles[static_cast<size_t>(info.buttons)] |
                     kIconStyles[static_cast<size_t>(info.icon)];
  // The dialog would be as wide as the longest line: the text is broken to fit first.
  wxScreenDC dc;
  dc.SetFont(wxSystemSettings::GetFont(wxSYS_DEFAULT_GUI_FONT));
  const int screen_width = wxSystemSettings::GetMetric(wxSYS_SCREEN_X);
  const int width =
      std::min(kMessageTextWidth, screen_width > 0 ? screen_width / 2 : kMessageTextWidth);
  const std::string text = WrapText(info.text, width, [&dc](const std::string& piece) {
    return dc.GetTextExtent(ToWx(piece)).x;
  });
  auto* dialog = new wxGenericMessageDialog(ActiveWindow(), ToWx(text), ToWx(info.title), style);
  // The buttons' words from the toolkit's catalog of the program's language (the desktop's
  // own stock words would follow the system's language instead).
  dialog->SetYesNoCancelLabels(wxGetStockLabel(wxID_YES), wxGetStockLabel(wxID_NO),
                               wxGetStockLabel(wxID_CANCEL));
  dialog->SetOKLabel(wxGetStockLabel(wxID_OK));
  // GTK draws a button that carries its stock word with the desktop's own word: the label
  // is set on the native button once the dialog has made its buttons.
  dialog->Bind(wxEVT_INIT_DIALOG, [dialog](wxInitDialogEvent& event) {
    event.Skip();
    for (wxWindow* child : dialog->GetChildren()) {
      if (auto* button = dynamic_cast<wxButton*>(child)) {
        ShowNativeLabel(button, button->GetLabel());
      }
    }
  });
  return dialog;
}

Answer WxToolkit::MessageBox(const std::string& title, const std::string& text, Icon icon,
                             Buttons buttons) {
  const MessageInfo info{title, text, icon, buttons};
  if (message_hook) {
    if (std::optional<Answer> answer = message_hook(info)) return *answer;
  }
  if (automation_ != nullptr) return automation_->Message(title, text, icon, buttons);
  std::unique_ptr<wxDialog> dialog(PreviewMessageBox(info));
  switch (dialog->ShowModal()) {
    case wxID_YES:
      return Answer::kYes;
    case wxID_NO:
      return Answer::kNo;
    case wxID_CANCEL:
      return Answer::kCancel;
    default:
      return buttons == Buttons::kYesNo ? Answer::kNo : Answer::kOk;
  }
}

std::string WxToolkit::ChooseFolder(const std::string& title, const std::string& start) {
  std::string native_start = platform::NativePath(start);
  // Without a folder to start at, the chooser would open on a view of recent files that
  // names no folder: the user's home folder is where one starts looking.
  if (native_start.empty()) native_start = FromWx(wxGetHomeDir());
  // The chooser opens at the folder itself, not inside it.
  if (native_start.size() > 1 && native_start.back() == '/') native_start.pop_back();
  if (folder_hook) {
    if (std::optional<std::string> chosen = folder_hook(title, native_start)) {
      return ChosenFolder(*chosen);
    }
  }
  if (automation_ != nullptr) return ChosenFolder(automation_->Folder(title));
  wxDirDialog dialog(ActiveWindow(), ToWx(title), ToWx(native_start),
                     wxDD_DEFAULT_STYLE | wxDD_NEW_DIR_BUTTON, wxDefaultPosition, kChooserSize);
  if (dialog.ShowModal() != wxID_OK) return "";
  return ChosenFolder(FromWx(dialog.GetPath()));
}

void WxToolkit::PlayInformationSound() {
  if (automation_ != nullptr) automation_->Note("sound");
  wxBell();
}

bool WxToolkit::OpenDocument(const std::string& target) {
  if (document_hook) return document_hook(target);
  if (automation_ != nullptr) {
    automation_->Note("open " + target);
    return true;
  }
  if (IsWebAddress(target)) {
    return wxLaunchDefaultBrowser(ToWx(target));
  }
  const std::string native = platform::NativePath(target);
  return !native.empty() && wxLaunchDefaultApplication(ToWx(native));
}

bool WxToolkit::Notify(const std::string& title, const std::string& text, Icon icon) {
  if (automation_ != nullptr) {
    automation_->Note("notify " + title);
    return true;
  }
  // The desktop's notification service shows it after the program has ended.
  wxNotificationMessage note(ToWx(title), ToWx(text));
  note.SetFlags(icon == Icon::kWarning ? wxICON_WARNING : wxICON_INFORMATION);
  return note.Show(wxNotificationMessage::Timeout_Auto);
}

}  // namespace sk::ui
