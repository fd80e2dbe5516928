// The desktop toolkit in this process: events come through the widgets' own handlers, the
// program's own changes raise none, controls keep what the jobs store in them, and the main
// window keeps the layout rule with this desktop's real menu and status bars.
#include <gtest/gtest.h>
#include <wx/listctrl.h>

#include <chrono>

#include "core/text_table.h"
#include "shell/about_window.h"
#include "shell/main_window.h"
#include "ui/main_window_ids.h"
#include "ui/wx/wx_toolkit.h"

namespace sk::ui {
namespace {

class WxToolkitTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_TRUE(WxToolkit::Start()) << "no display"; }

  // The next event that is not a resize (windows report their own sizes as they appear).
  Event NextEvent() {
    for (int i = 0; i < 100; ++i) {
      tk.Pump();
      for (Event e = tk.PollEvent(); e.type != EventType::kNone; e = tk.PollEvent()) {
        if (e.type != EventType::kSize) return e;
      }
      wxMilliSleep(5);
    }
    return Event{};
  }

  void Send(int window, int control, wxEventType type) {
    wxWindow* widget = tk.NativeControl(window, control);
    ASSERT_NE(widget, nullptr);
    wxCommandEvent event(type, widget->GetId());
    event.SetEventObject(widget);
    widget->GetEventHandler()->ProcessEvent(event);
  }

  WxToolkit tk;
};

TEST_F(WxToolkitTest, HandlersQueueEventsAndTheProgramsOwnChangesRaiseNone) {
  tk.OpenWindow(kJobWindow, {"Test", 300, 200});
  tk.AddControl(kJobWindow, {31, ControlKind::kButton, 10, 10, 100, 25, "Cancel"});
  tk.AddControl(kJobWindow, {30, ControlKind::kReportList, 10, 40, 280, 120});
  tk.AddColumn(kJobWindow, 30, "Name", 200);
  tk.AddColumn(kJobWindow, 30, "Size", 70);
  tk.AddItem(kJobWindow, 30, "a.txt\n1 KB ", 1);
  tk.AddItem(kJobWindow, 30, "b.txt\n2 KB ", 1);
  EXPECT_EQ(NextEvent(), Event{});

  Send(kJobWindow, 31, wxEVT_BUTTON);
  EXPECT_EQ(NextEvent(), (Event{EventType::kLeftClick, kJobWindow, 31}));

  // The program selects a row: no event. The user selects one: an event.
  tk.SetValue(kJobWindow, 30, 1);
  EXPECT_EQ(tk.GetValue(kJobWindow, 30), 1);
  EXPECT_EQ(NextEvent(), Event{});
  auto* list = dynamic_cast<wxListCtrl*>(tk.NativeControl(kJobWindow, 30));
  ASSERT_NE(list, nullptr);
  list->SetItemState(0, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
  // The old row's going and the new row's coming: one click each.
  EXPECT_EQ(NextEvent(), (Event{EventType::kLeftClick, kJobWindow, 30}));
  EXPECT_EQ(NextEvent(), (Event{EventType::kLeftClick, kJobWindow, 30}));
  EXPECT_EQ(tk.GetValue(kJobWindow, 30), 0);
  tk.SetValue(kJobWindow, 30, -1);
  EXPECT_EQ(tk.GetValue(kJobWindow, 30), -1);
  EXPECT_EQ(NextEvent(), Event{});

  // The close box asks; the window stays until the program closes it, and then its queued
  // events go with it.
  tk.NativeWindow(kJobWindow)->Close();
  EXPECT_EQ(NextEvent(), (Event{EventType::kClose, kJobWindow, -1}));
  EXPECT_TRUE(tk.WindowExists(kJobWindow));
  tk.Post({EventType::kLeftClick, kJobWindow, 31});
  tk.CloseWindow(kJobWindow);
  tk.OpenWindow(kJobWindow, {"Next", 300, 200});
  EXPECT_EQ(NextEvent(), Event{});
}

TEST_F(WxToolkitTest, ControlsKeepWhatTheJobsStoreInThem) {
  tk.OpenWindow(kJobWindow, {"Test", 400, 300});
  tk.AddControl(kJobWindow, {1, ControlKind::kProgressBar, 10, 10, 300, 20});
  tk.SetRange(kJobWindow, 1, 0, 100);
  tk.SetValue(kJobWindow, 1, 150);
  EXPECT_EQ(tk.GetValue(kJobWindow, 1), 100);
  EXPECT_EQ(tk.GetMaximum(kJobWindow, 1), 100);
  tk.SetRange(kJobWindow, 1, 0, 0);  // an empty job
  EXPECT_EQ(tk.GetValue(kJobWindow, 1), 0);

  // A path box: entry 0 is rewritten as the user moves through folders.
  tk.AddControl(kJobWindow, {2, ControlKind::kDropDown, 10, 40, 300, 22});
  tk.AddItem(kJobWindow, 2, "Z:\\Data\\", -1);
  tk.AddItem(kJobWindow, 2, "<Root>", -1);
  EXPECT_EQ(tk.GetValue(kJobWindow, 2), 0);
  tk.SetItemText(kJobWindow, 2, 0, "Z:\\Data\\Größe\\");
  EXPECT_EQ(tk.GetText(kJobWindow, 2), "Z:\\Data\\Größe\\");
  EXPECT_EQ(tk.GetItemText(kJobWindow, 2, 1, 0), "<Root>");
  tk.SetValue(kJobWindow, 2, 7);
  EXPECT_EQ(tk.GetValue(kJobWindow, 2), -1);

  tk.AddControl(kJobWindow, {3, ControlKind::kOption, 10, 70, 200, 20, "Complete"});
  tk.AddControl(kJobWindow, {4, ControlKind::kOption, 10, 90, 200, 20, "Only the folder"});
  tk.SetValue(kJobWindow, 3, 1);
  EXPECT_EQ(tk.GetValue(kJobWindow, 3), 1);
  tk.SetValue(kJobWindow, 4, 1);
  EXPECT_EQ(tk.GetValue(kJobWindow, 3), 0);
  EXPECT_EQ(tk.GetValue(kJobWindow, 4), 1);

  tk.AddControl(kJobWindow, {5, ControlKind::kText, 10, 120, 200, 20, "Unbekannt",
                             kStyleCentered | kStyleBorder | kStyleWhite});
  tk.SetText(kJobWindow, 5, "3 Minute(n)");
  EXPECT_EQ(tk.GetText(kJobWindow, 5), "3 Minute(n)");
  tk.AddControl(kJobWindow, {6, ControlKind::kText, 10, 150, 200, 20, "", kStyleReadOnly});
  tk.SetText(kJobWindow, 6, "Français");
  EXPECT_EQ(tk.GetText(kJobWindow, 6), "Français");

  tk.AddStatusBar(kJobWindow, 2);
  tk.SetStatusText(kJobWindow, 1, "Restzeit: 0 Sekunde(n)");
  EXPECT_EQ(
      FromWx(dynamic_cast<wxFrame*>(tk.NativeWindow(kJobWindow))->GetStatusBar()->GetStatusText(1)),
      "Restzeit: 0 Sekunde(n)");
}

TEST_F(WxToolkitTest, TimersTickUntilRemoved) {
  tk.OpenWindow(kJobWindow, {"Test", 200, 100});
  tk.AddTimer(kJobWindow, 2703, 20);
  EXPECT_EQ(NextEvent(), (Event{EventType::kTimer, kJobWindow, 2703}));
  tk.RemoveTimer(kJobWindow, 2703);
  wxMilliSleep(50);
  EXPECT_EQ(NextEvent(), Event{});
}

TEST_F(WxToolkitTest, HooksAnswerQuestionsAndChoosersInTheInternalForm) {
  tk.OpenWindow(kMainWindow, {"Main", 300, 200});
  tk.message_hook = [](const WxToolkit::MessageInfo& info) -> std::optional<Answer> {
    return info.title == "Frage" ? Answer::kNo : Answer::kOk;
  };
  EXPECT_EQ(tk.MessageBox("Frage", "Ersetzen?", Icon::kQuestion, Buttons::kYesNo), Answer::kNo);

  std::string start;
  tk.folder_hook = [&](const std::string&, const std::string& from) -> std::optional<std::string> {
    start = from;
    return "/tmp/Neuer Ordner";
  };
  EXPECT_EQ(tk.ChooseFolder("Ziel", "Z:\\home\\ann\\"), "Z:\\tmp\\Neuer Ordner\\");
  EXPECT_EQ(start, "/home/ann");  // the chooser opens at the folder itself
  tk.folder_hook = [](const std::string&, const std::string&) { return std::string(); };
  EXPECT_EQ(tk.ChooseFolder("Ziel", ""), "");
  EXPECT_EQ(ChosenFolder("/"), "Z:\\");
}

TEST_F(WxToolkitTest, MainWindowKeepsTheLayoutRuleWithTheDesktopsBars) {
  AppState app(tk);
  FillDefaultTexts(app.Texts);
  tk.SetImages({});
  OpenMainWindow(app);
  RelayoutMainWindow(app);
  for (int i = 0; i < 20; ++i) {
    tk.Pump();
    wxMilliSleep(10);
  }
  const WindowGeometry g = tk.GetWindowGeometry(kMainWindow);
  // The inner height at opening holds the menu bar and status bar added afterwards.
  EXPECT_EQ(g.width, 599);
  EXPECT_EQ(g.height, 500);
  EXPECT_GT(g.menu_bar_height, 0);
  EXPECT_GT(g.status_bar_height, 0);
  RelayoutMainWindow(app);
  const int h = g.height - g.menu_bar_height - g.status_bar_height;
  EXPECT_EQ(tk.NativeControl(kMainWindow, kTabPanel)->GetSize(), wxSize(599 - 24, h - 58));
  EXPECT_EQ(tk.NativeControl(kMainWindow, kBackupList)->GetSize().x, 599 - 55);
  EXPECT_EQ(tk.NativeControl(kMainWindow, kQuitButton)->GetPosition(), wxPoint(599 - 123, h - 38));
  EXPECT_EQ(app.ColumnWidth, 599 - 55 - 200);
  EXPECT_EQ(app.WinHeight, 500);

  // Command enabling reaches the menu bar and the context menu.
  wxMenuBar* bar = dynamic_cast<wxFrame*>(tk.NativeWindow(kMainWindow))->GetMenuBar();
  EXPECT_FALSE(bar->IsEnabled(20000 + kMenuVerify));
  tk.AddItem(kMainWindow, kBackupList, "Backup_0000_of_Z:\\Data\\\n1 KB \n01.01.2020 / 10:00", 0);
  tk.SetValue(kMainWindow, kBackupList, 0);
  EnableRowCommands(app, kBackupList);
  EXPECT_TRUE(bar->IsEnabled(20000 + kMenuVerify));
  EXPECT_TRUE(tk.ContextMenuOf(kMainWindow)->IsEnabled(20000 + kContextDelete));
  EXPECT_FALSE(tk.ContextMenuOf(kMainWindow)->IsEnabled(20000 + kContextRestore));
  EXPECT_TRUE(tk.NativeControl(kMainWindow, kDeleteButton)->IsEnabled());
}

TEST_F(WxToolkitTest, AboutWindowFitsItsNotesToWholeRows) {
  AppState app(tk);
  FillDefaultTexts(app.Texts);
  OpenMainWindow(app);
  tk.OpenWindow(kJobWindow, {"Rows", 300, 300});
  tk.AddControl(kJobWindow, {1, ControlKind::kReportList, 0, 0, 200, 220, "", kStyleNoHeader});
  tk.AddColumn(kJobWindow, 1, "", 180);
  const int rows = tk.VisibleRowCount(kJobWindow, 1);
  EXPECT_GT(rows, 5);
  tk.SetControlRect(kJobWindow, 1, {0, 0, 200, 110});
  EXPECT_LT(tk.VisibleRowCount(kJobWindow, 1), rows);
  tk.CloseWindow(kJobWindow);

  tk.Post({EventType::kLeftClick, kJobWindow, kAboutOkButton});
  AboutWindow(app);
  EXPECT_FALSE(tk.WindowExists(kJobWindow));
  EXPECT_TRUE(tk.NativeWindow(kMainWindow)->IsEnabled());
}

}  // namespace
}  // namespace sk::ui
