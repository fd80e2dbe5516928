// The native Windows toolkit on real windows: sizes with menu and status bars, the values of
// options, drop-down lists, report lists, tabs and progress bars, and the events the window
// procedures queue. Where no window can be made (no display for Wine), the tests skip.
#if defined(_WIN32) && defined(SK_HAVE_WIN32UI)

#include "ui/win32/win32_toolkit.h"

#include <gtest/gtest.h>

namespace sk::ui {
namespace {

constexpr int kWindow = 1;

class Win32ToolkitTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!tk_.OpenWindow(kWindow, {"Test", 400, 300, kWindowCloseBox})) {
      GTEST_SKIP() << "no window can be made here";
    }
    Events();  // the window's own first size
  }

  // Lets the window system deliver what is pending, then takes the queued events.
  std::vector<Event> Events() {
    tk_.Pump();
    std::vector<Event> events;
    for (Event e = tk_.PollEvent(); e.type != EventType::kNone; e = tk_.PollEvent()) {
      events.push_back(e);
    }
    return events;
  }

  void Add(int id, ControlKind kind, Rect r, const std::string& text = "", uint32_t style = 0) {
    tk_.AddControl(kWindow, {id, kind, r.x, r.y, r.width, r.height, text, style});
  }

  // Calls through the interface, with its default arguments.
  Toolkit& ui() { return tk_; }

  Win32Toolkit tk_;
};

TEST_F(Win32ToolkitTest, InnerSizeHoldsTheMenuBarAndStatusBar) {
  WindowGeometry g = tk_.GetWindowGeometry(kWindow);
  EXPECT_EQ(g.width, 400);
  EXPECT_EQ(g.height, 300);
  EXPECT_EQ(g.menu_bar_height, 0);
  tk_.SetMenuBar(kWindow, {{"File", {{7, "Quit"}}}});
  tk_.AddStatusBar(kWindow, 2);
  g = tk_.GetWindowGeometry(kWindow);
  EXPECT_EQ(g.width, 400);
  EXPECT_EQ(g.height, 300);  // the bars take their height from the client area
  EXPECT_GT(g.menu_bar_height, 0);
  EXPECT_GT(g.status_bar_height, 0);
  EXPECT_EQ(g.state, WindowState::kNormal);
}

TEST_F(Win32ToolkitTest, OptionsOfAGroupExcludeEachOther) {
  Add(1, ControlKind::kOption, {10, 10, 100, 20}, "one");
  Add(2, ControlKind::kOption, {10, 30, 100, 20}, "two");
  Add(3, ControlKind::kButton, {10, 50, 100, 20}, "OK");
  Add(4, ControlKind::kOption, {10, 70, 100, 20}, "other group");
  tk_.SetValue(kWindow, 1, 1);
  tk_.SetValue(kWindow, 4, 1);
  tk_.SetValue(kWindow, 2, 1);
  EXPECT_EQ(tk_.GetValue(kWindow, 1), 0);
  EXPECT_EQ(tk_.GetValue(kWindow, 2), 1);
  EXPECT_EQ(tk_.GetValue(kWindow, 4), 1);
  tk_.SetValue(kWindow, 2, 0);
  EXPECT_EQ(tk_.GetValue(kWindow, 2), 0);
  EXPECT_TRUE(Events().empty());  // the program's own changes raise no events
}

TEST_F(Win32ToolkitTest, DropDownListsKeepTheirChoiceWhenEntriesChange) {
  Add(1, ControlKind::kDropDown, {10, 10, 150, 22});
  EXPECT_EQ(tk_.GetValue(kWindow, 1), -1);
  for (const char* entry : {"Densepress", "JCalG1", "ZLIB"}) ui().AddItem(kWindow, 1, entry);
  EXPECT_EQ(tk_.GetValue(kWindow, 1), 0);  // the first entry is chosen as it comes
  tk_.SetValue(kWindow, 1, 2);
  EXPECT_EQ(tk_.GetText(kWindow, 1), "ZLIB");
  tk_.SetItemText(kWindow, 1, 0, "C:\\Data\\");
  EXPECT_EQ(tk_.GetValue(kWindow, 1), 2);
  EXPECT_EQ(tk_.GetItemText(kWindow, 1, 0, 0), "C:\\Data\\");
  tk_.SetText(kWindow, 1, "zlib");
  EXPECT_EQ(tk_.GetItemText(kWindow, 1, 2, 0), "zlib");
  tk_.SetValue(kWindow, 1, 9);
  EXPECT_EQ(tk_.GetValue(kWindow, 1), -1);
  EXPECT_EQ(tk_.CountItems(kWindow, 1), 3);
  EXPECT_EQ(tk_.GetControlRect(kWindow, 1).height, 22);
}

TEST_F(Win32ToolkitTest, ReportListsHoldRowsColumnsAndOneSelection) {
  Add(1, ControlKind::kReportList, {10, 10, 380, 200});
  tk_.AddColumn(kWindow, 1, "Name", 200);
  tk_.AddColumn(kWindow, 1, "Size", 80);
  ui().AddItem(kWindow, 1, "a.txt\n1 KB\n$00000001");  // a third column that is not there
  ui().AddItem(kWindow, 1, "b.txt\n2 KB");
  EXPECT_EQ(tk_.CountItems(kWindow, 1), 2);
  EXPECT_EQ(tk_.GetItemText(kWindow, 1, 0, 1), "1 KB");
  EXPECT_EQ(tk_.GetItemText(kWindow, 1, 0, 2), "");
  EXPECT_EQ(tk_.GetItemText(kWindow, 1, 5, 0), "");
  const std::string long_name(1000, 'x');
  tk_.SetItemText(kWindow, 1, 1, long_name);
  EXPECT_EQ(tk_.GetItemText(kWindow, 1, 1, 0), long_name);
  EXPECT_EQ(tk_.GetValue(kWindow, 1), -1);
  tk_.SetValue(kWindow, 1, 1);
  tk_.SetValue(kWindow, 1, 0);
  EXPECT_EQ(tk_.GetValue(kWindow, 1), 0);
  EXPECT_TRUE(Events().empty());
  tk_.SetColumnWidth(kWindow, 1, 0, 150);
  EXPECT_EQ(tk_.GetColumnWidth(kWindow, 1, 0), 150);
  EXPECT_EQ(tk_.GetColumnWidth(kWindow, 1, 2), 0);
  tk_.ClearItems(kWindow, 1);
  EXPECT_EQ(tk_.CountItems(kWindow, 1), 0);
  EXPECT_EQ(tk_.GetValue(kWindow, 1), -1);
}

TEST_F(Win32ToolkitTest, CentredListsAddressTheirOwnColumns) {
  Add(1, ControlKind::kReportList, {10, 10, 380, 200}, "", kStyleCentered | kStyleNoHeader);
  tk_.AddColumn(kWindow, 1, "", 363);
  ui().AddItem(kWindow, 1, "Thanks to:");
  EXPECT_EQ(tk_.GetItemText(kWindow, 1, 0, 0), "Thanks to:");
  EXPECT_EQ(tk_.GetItemText(kWindow, 1, 0, 1), "");
  EXPECT_EQ(tk_.GetColumnWidth(kWindow, 1, 0), 363);
  // Fewer whole rows fit into a lower list.
  const int rows = tk_.VisibleRowCount(kWindow, 1);
  EXPECT_GT(rows, 3);
  tk_.SetControlRect(kWindow, 1, {10, 10, 380, 100});
  EXPECT_LT(tk_.VisibleRowCount(kWindow, 1), rows);
}

TEST_F(Win32ToolkitTest, TabsShowTheControlsOfTheChosenPage) {
  Add(1, ControlKind::kTabs, {5, 5, 390, 250});
  ui().AddItem(kWindow, 1, "Backup");
  ui().AddItem(kWindow, 1, "Restore");
  tk_.AddControl(kWindow, {2, ControlKind::kButton, 10, 10, 80, 25, "A", 0, 1, 0});
  tk_.AddControl(kWindow, {3, ControlKind::kButton, 10, 10, 80, 25, "B", 0, 1, 1});
  EXPECT_EQ(tk_.CountItems(kWindow, 1), 2);
  EXPECT_EQ(tk_.GetValue(kWindow, 1), 0);
  EXPECT_TRUE(IsWindowVisible(tk_.NativeControl(kWindow, 2)));
  EXPECT_FALSE(IsWindowVisible(tk_.NativeControl(kWindow, 3)));
  tk_.SetValue(kWindow, 1, 1);
  EXPECT_EQ(tk_.GetValue(kWindow, 1), 1);
  EXPECT_FALSE(IsWindowVisible(tk_.NativeControl(kWindow, 2)));
  EXPECT_TRUE(IsWindowVisible(tk_.NativeControl(kWindow, 3)));
  EXPECT_EQ(tk_.GetControlRect(kWindow, 3), (Rect{10, 10, 80, 25}));
}

TEST_F(Win32ToolkitTest, ProgressBarsTakeAny64BitRange) {
  Add(1, ControlKind::kProgressBar, {10, 10, 300, 20}, "", kStyleSmooth);
  const int64_t huge = int64_t{1} << 42;
  tk_.SetRange(kWindow, 1, 0, huge);
  EXPECT_EQ(tk_.GetMaximum(kWindow, 1), huge);
  tk_.SetValue(kWindow, 1, huge / 2);
  EXPECT_EQ(tk_.GetValue(kWindow, 1), huge / 2);
  const LRESULT shown = SendMessageA(tk_.NativeControl(kWindow, 1), PBM_GETPOS, 0, 0);
  const LRESULT top = SendMessageA(tk_.NativeControl(kWindow, 1), PBM_GETRANGE, FALSE, 0);
  EXPECT_NEAR(static_cast<double>(shown) / static_cast<double>(top), 0.5, 0.01);
  tk_.SetValue(kWindow, 1, huge * 2);
  EXPECT_EQ(tk_.GetValue(kWindow, 1), huge);
  tk_.SetRange(kWindow, 1, 0, 10);
  EXPECT_EQ(tk_.GetValue(kWindow, 1), 10);
}

TEST_F(Win32ToolkitTest, NotificationsBecomeEventsOfTheirControl) {
  Add(5, ControlKind::kButton, {10, 10, 100, 25}, "Cancel");
  Add(6, ControlKind::kReportList, {10, 40, 300, 100});
  tk_.AddColumn(kWindow, 6, "Name", 200);
  ui().AddItem(kWindow, 6, "row");
  HWND button = tk_.NativeControl(kWindow, 5);
  SendMessageA(tk_.NativeWindow(kWindow), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(button), BN_CLICKED),
               LPARAM(button));
  // A user's selection (not the program's) is a click on the list.
  LVITEMA state{};
  state.state = state.stateMask = LVIS_SELECTED;
  SendMessageA(tk_.NativeControl(kWindow, 6), LVM_SETITEMSTATE, 0, LPARAM(&state));
  SendMessageA(tk_.NativeWindow(kWindow), WM_CLOSE, 0, 0);
  // Enter arrives as IDOK from no control: not a menu item, not the control with id 1.
  SendMessageA(tk_.NativeWindow(kWindow), WM_COMMAND, MAKEWPARAM(IDOK, 0), 0);
  SendMessageA(tk_.NativeWindow(kWindow), WM_COMMAND, MAKEWPARAM(Win32Toolkit::kMenuIdBase + 7, 0),
               0);
  const std::vector<Event> events = Events();
  const std::vector<Event> expected = {{EventType::kLeftClick, kWindow, 5},
                                       {EventType::kLeftClick, kWindow, 6},
                                       {EventType::kClose, kWindow, -1},
                                       {EventType::kMenu, kWindow, 7}};
  EXPECT_EQ(events, expected);
  EXPECT_TRUE(tk_.WindowExists(kWindow));  // the close box only asks
}

TEST_F(Win32ToolkitTest, ClosingAWindowDropsItsPendingEvents) {
  SendMessageA(tk_.NativeWindow(kWindow), WM_CLOSE, 0, 0);
  tk_.CloseWindow(kWindow);
  EXPECT_FALSE(tk_.WindowExists(kWindow));
  EXPECT_TRUE(Events().empty());
  // Without windows (and without a script) waiting ends at once.
  EXPECT_EQ(tk_.WaitEvent().type, EventType::kNone);
}

TEST_F(Win32ToolkitTest, PollingLetsTheWindowSystemRunAtMostEvery10Ms) {
  tk_.Pump();
  const DWORD start = GetTickCount();
  PostMessageA(tk_.NativeWindow(kWindow), WM_CLOSE, 0, 0);
  const Event first = tk_.PollEvent();
  if (GetTickCount() - start < 5) {
    EXPECT_EQ(first.type, EventType::kNone);
  }
  Event later = first;
  for (int i = 0; i < 200 && later.type == EventType::kNone; ++i) {
    Sleep(2);
    later = tk_.PollEvent();
  }
  EXPECT_EQ(later, (Event{EventType::kClose, kWindow, -1}));
}

TEST_F(Win32ToolkitTest, TimersArriveAsTimerEvents) {
  tk_.AddTimer(kWindow, 3, 20);
  Event event;
  for (int i = 0; i < 100 && event.type != EventType::kTimer; ++i) {
    Sleep(10);
    event = tk_.PollEvent();
  }
  EXPECT_EQ(event, (Event{EventType::kTimer, kWindow, 3}));
  tk_.RemoveTimer(kWindow, 3);
}

}  // namespace
}  // namespace sk::ui

#endif  // defined(_WIN32) && defined(SK_HAVE_WIN32UI)
