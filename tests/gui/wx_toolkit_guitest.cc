// The desktop toolkit in this process: events come through the widgets' own handlers, the
// program's own changes raise none, controls keep what the jobs store in them, and the main
// window keeps the layout rule with this desktop's real menu and status bars.
#include <gtest/gtest.h>
#include <wx/listctrl.h>

#include <algorithm>
#include <chrono>
#include <functional>

#include "core/text_table.h"
#include "shell/about_window.h"
#include "shell/desktop.h"
#include "shell/main_window.h"
#include "ui/main_window_ids.h"
#include "ui/wx/wx_gtk.h"
#include "ui/wx/wx_toolkit.h"

namespace sk::ui {
namespace {

class WxToolkitTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_TRUE(WxToolkit::Start()) << "no display"; }

  // The next event that is not a resize (windows report their own sizes as they appear),
  // waited for as long as a loaded machine may take; Event{} when none comes.
  Event NextEvent() {
    Event next;
    PumpUntil([&] {
      for (Event e = tk.PollEvent(); e.type != EventType::kNone; e = tk.PollEvent()) {
        if (e.type != EventType::kSize) {
          next = e;
          return true;
        }
      }
      return false;
    });
    return next;
  }
  // Whether no event but resizes comes while the toolkit is pumped for a little while. (An
  // absence can only be looked for so long: an event that comes later is missed, never
  // made up.)
  bool NoEvent() {
    for (int i = 0; i < 40; ++i) {
      tk.Pump();
      for (Event e = tk.PollEvent(); e.type != EventType::kNone; e = tk.PollEvent()) {
        if (e.type != EventType::kSize) return false;
      }
      wxMilliSleep(5);
    }
    return true;
  }
  // Pumps the toolkit until done() holds, for at most 20 s; whether it held.
  bool PumpUntil(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    for (;;) {
      tk.Pump();
      if (done()) return true;
      if (std::chrono::steady_clock::now() > deadline) return false;
      wxMilliSleep(5);
    }
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
  EXPECT_TRUE(NoEvent());

  Send(kJobWindow, 31, wxEVT_BUTTON);
  EXPECT_EQ(NextEvent(), (Event{EventType::kLeftClick, kJobWindow, 31}));

  // The program selects a row: no event. The user selects one: an event.
  tk.SetValue(kJobWindow, 30, 1);
  EXPECT_EQ(tk.GetValue(kJobWindow, 30), 1);
  EXPECT_TRUE(NoEvent());
  auto* list = dynamic_cast<wxListCtrl*>(tk.NativeControl(kJobWindow, 30));
  ASSERT_NE(list, nullptr);
  list->SetItemState(0, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
  // The old row's going and the new row's coming: one click each.
  EXPECT_EQ(NextEvent(), (Event{EventType::kLeftClick, kJobWindow, 30}));
  EXPECT_EQ(NextEvent(), (Event{EventType::kLeftClick, kJobWindow, 30}));
  EXPECT_EQ(tk.GetValue(kJobWindow, 30), 0);
  tk.SetValue(kJobWindow, 30, -1);
  EXPECT_EQ(tk.GetValue(kJobWindow, 30), -1);
  EXPECT_TRUE(NoEvent());

  // The close box asks; the window stays until the program closes it, and then its queued
  // events go with it.
  tk.NativeWindow(kJobWindow)->Close();
  EXPECT_EQ(NextEvent(), (Event{EventType::kClose, kJobWindow, -1}));
  EXPECT_TRUE(tk.WindowExists(kJobWindow));
  tk.Post({EventType::kLeftClick, kJobWindow, 31});
  tk.CloseWindow(kJobWindow);
  tk.OpenWindow(kJobWindow, {"Next", 300, 200});
  EXPECT_TRUE(NoEvent());
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
  EXPECT_TRUE(NoEvent());
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
  tk.folder_hook = [&](const std::string&, const std::string& from) -> std::optional<std::string> {
    start = from;
    return std::string();
  };
  EXPECT_EQ(tk.ChooseFolder("Ziel", ""), "");
  EXPECT_EQ(start, FromWx(wxGetHomeDir()));  // no folder given: the home folder
  EXPECT_EQ(ChosenFolder("/"), "Z:\\");
}

TEST_F(WxToolkitTest, MainWindowKeepsTheLayoutRuleWithTheDesktopsBars) {
  AppState app;
  Desktop desk(app, tk);
  FillDefaultTexts(app.Texts);
  tk.SetImages({});
  OpenMainWindow(desk);
  RelayoutMainWindow(desk);
  // The desktop draws the bars in its own time.
  PumpUntil([&] {
    const WindowGeometry g = tk.GetWindowGeometry(kMainWindow);
    return g.menu_bar_height > 0 && g.status_bar_height > 0;
  });
  const WindowGeometry g = tk.GetWindowGeometry(kMainWindow);
  // The inner height at opening holds the menu bar and status bar added afterwards.
  EXPECT_EQ(g.width, 599);
  EXPECT_EQ(g.height, 500);
  EXPECT_GT(g.menu_bar_height, 0);
  EXPECT_GT(g.status_bar_height, 0);
  RelayoutMainWindow(desk);
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
  EnableRowCommands(desk, kBackupList);
  EXPECT_TRUE(bar->IsEnabled(20000 + kMenuVerify));
  EXPECT_TRUE(tk.ContextMenuOf(kMainWindow)->IsEnabled(20000 + kContextDelete));
  EXPECT_FALSE(tk.ContextMenuOf(kMainWindow)->IsEnabled(20000 + kContextRestore));
  EXPECT_TRUE(tk.NativeControl(kMainWindow, kDeleteButton)->IsEnabled());
}

TEST_F(WxToolkitTest, AboutWindowFitsItsNotesToWholeRows) {
  AppState app;
  Desktop desk(app, tk);
  FillDefaultTexts(app.Texts);
  OpenMainWindow(desk);
  tk.OpenWindow(kJobWindow, {"Rows", 300, 300});
  tk.AddControl(kJobWindow, {1, ControlKind::kReportList, 0, 0, 200, 220, "", kStyleNoHeader});
  tk.AddColumn(kJobWindow, 1, "", 180);
  const int rows = tk.VisibleRowCount(kJobWindow, 1);
  EXPECT_GT(rows, 5);
  tk.SetControlRect(kJobWindow, 1, {0, 0, 200, 110});
  EXPECT_LT(tk.VisibleRowCount(kJobWindow, 1), rows);
  tk.CloseWindow(kJobWindow);

  // A list without a selected row shows no focus box, also once it has the keyboard and
  // marks a row as current by itself (the About window's first row is empty).
  tk.OpenWindow(kJobWindow, {"Rows", 300, 300});
  tk.AddControl(kJobWindow, {1, ControlKind::kReportList, 0, 0, 200, 220, "", kStyleNoHeader});
  tk.AddColumn(kJobWindow, 1, "", 180);
  for (const char* row : {"", "Thanks to:"}) tk.AddItem(kJobWindow, 1, row, -1);
  tk.SetFocus(kJobWindow, 1);
  auto* notes = dynamic_cast<wxListCtrl*>(tk.NativeControl(kJobWindow, 1));
  notes->SetItemState(0, wxLIST_STATE_FOCUSED, wxLIST_STATE_FOCUSED);
  EXPECT_TRUE(PumpUntil(
      [&] { return notes->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_FOCUSED) == -1; }));
  EXPECT_TRUE(NoEvent());
  tk.CloseWindow(kJobWindow);

  tk.Post({EventType::kLeftClick, kJobWindow, kAboutOkButton});
  AboutWindow(desk);
  EXPECT_FALSE(tk.WindowExists(kJobWindow));
  EXPECT_TRUE(tk.NativeWindow(kMainWindow)->IsEnabled());
}

// Runs look while the dialog is shown in its own loop, then closes it.
void WhileShown(wxDialog* dialog, const std::function<void()>& look) {
  wxTimer timer;
  timer.Bind(wxEVT_TIMER, [&](wxTimerEvent&) {
    look();
    dialog->EndModal(wxID_CANCEL);
  });
  timer.StartOnce(200);
  dialog->ShowModal();
}

TEST_F(WxToolkitTest, TheOverwriteQuestionWithALongPathFitsASmallScreen) {
  AppState app;
  FillDefaultTexts(app.Texts);
  tk.OpenWindow(kMainWindow, {"Main", 300, 200});
  std::string path = "'/home/ann";
  while (path.size() < 200) path += "/Projekte_und_Entwuerfe";
  path += "/Jahresbericht.txt'";
  std::string text = app.Text(kTextReplaceFile);
  text.replace(text.find("%FILE%"), 6, path);
  std::unique_ptr<wxDialog> dialog(tk.PreviewMessageBox(
      {app.Text(kTextQuestion), text, Icon::kQuestion, Buttons::kYesNoCancel}));
  wxSize size;
  wxString shown;
  WhileShown(dialog.get(), [&] {
    size = dialog->GetSize();
    for (wxWindow* child : dialog->GetChildren()) {
      if (auto* label = dynamic_cast<wxStaticText*>(child)) shown += label->GetLabelText();
    }
  });
  EXPECT_LE(size.x, 1024 - 100) << size.x;
  EXPECT_LE(size.y, 768 - 100) << size.y;
  // The dialog holds the whole path, broken at its separators.
  shown.Replace("\n", "");
  EXPECT_NE(FromWx(shown).find(path.substr(1, path.size() - 2)), std::string::npos)
      << FromWx(shown);
}

TEST_F(WxToolkitTest, TheDateColumnShowsTheWholeTimeAndALongPathKeepsItsEnd) {
  AppState app;
  Desktop desk(app, tk);
  FillDefaultTexts(app.Texts);
  tk.SetImages({});
  OpenMainWindow(desk);
  RelayoutMainWindow(desk);
  std::string name = "Backup_0000_of_/home/ann";
  while (name.size() < 150) name += "/Archiv_der_alten_Jahre";
  name += "/Documents/";
  const std::string date = "28.12.2026 / 23:58";
  tk.AddItem(kMainWindow, kBackupList, name + "\n1023.9 MB \n" + date, 0);
  SizeListColumns(desk);
  auto* list = dynamic_cast<wxListCtrl*>(tk.NativeControl(kMainWindow, kBackupList));
  ASSERT_NE(list, nullptr);
  wxClientDC dc(list);
  dc.SetFont(list->GetFont());
  EXPECT_GT(list->GetColumnWidth(2), dc.GetTextExtent(ToWx(date)).x) << list->GetColumnWidth(2);
  // Column 0 takes what the others leave, as with the columns as built.
  EXPECT_EQ(list->GetColumnWidth(0) + list->GetColumnWidth(1) + list->GetColumnWidth(2),
            tk.GetControlRect(kMainWindow, kBackupList).width - 10);
  // The path loses its middle, not the folder's own name; the program reads it whole.
  const wxString shown = list->GetItemText(0, 0);
  EXPECT_TRUE(shown.StartsWith("Backup_0000_of_")) << shown;
  EXPECT_TRUE(shown.EndsWith("/Documents/")) << shown;
  EXPECT_LT(shown.length(), name.size());
  EXPECT_EQ(tk.GetItemText(kMainWindow, kBackupList, 0, 0), name);
  // A wider list shows more of it.
  tk.SetColumnWidth(kMainWindow, kBackupList, 0, 2000);
  EXPECT_EQ(FromWx(list->GetItemText(0, 0)), name);
}

TEST_F(WxToolkitTest, TextsKeepTheSizesOfTheSettingsWindowAndAreNotCut) {
  // The level label and the engine box as the settings window makes them, in French.
  tk.OpenWindow(kJobWindow, {"Paramètres", 460, 300});
  tk.AddControl(kJobWindow, {1, ControlKind::kText, 180, 140, 110, 20, "Niveau de compression",
                             kStyleRightAligned});
  tk.AddControl(kJobWindow, {2, ControlKind::kDropDown, 80, 136, 90, 22});
  for (const char* engine : {"Densepress", "JCalG1", "ZLIB"}) tk.AddItem(kJobWindow, 2, engine, -1);
  wxWindow* label = tk.NativeControl(kJobWindow, 1);
  wxWindow* box = tk.NativeControl(kJobWindow, 2);
  EXPECT_EQ(label->GetSize().x, 110);
  EXPECT_LE(label->GetTextExtent("Niveau de compression").x, 110);
  EXPECT_EQ(box->GetSize().x, 90);
  EXPECT_LE(box->GetTextExtent("Densepress").x, 90 - 30);
  // A text that fits keeps the font of all the others.
  tk.SetText(kJobWindow, 1, "Level");
  EXPECT_EQ(label->GetFont().GetFractionalPointSize(),
            tk.NativeControl(kJobWindow, 2)->GetParent()->GetFont().GetFractionalPointSize());
}

std::vector<std::string> ButtonLabels(wxWindow* window) {
  std::vector<std::string> labels;
  for (wxWindow* child : window->GetChildren()) {
    // What the desktop draws, which for a stock button may be its own word.
    if (auto* button = dynamic_cast<wxButton*>(child))
      labels.push_back(FromWx(NativeLabel(button)));
    for (const std::string& label : ButtonLabels(child)) labels.push_back(label);
  }
  return labels;
}

TEST_F(WxToolkitTest, AGermanQuestionHasGermanButtons) {
  tk.LoadToolkitCatalog("en");  // as after the start in English, then a switch to German
  if (!tk.LoadToolkitCatalog("de")) {
    tk.LoadToolkitCatalog("en");
    GTEST_SKIP() << "the toolkit's German catalog (wxstd-3.2.mo, Debian package wx3.2-i18n, "
                    "installed by scripts/setup.sh) is missing: the buttons cannot be German";
  }
  tk.OpenWindow(kMainWindow, {"Main", 300, 200});
  std::unique_ptr<wxDialog> dialog(
      tk.PreviewMessageBox({"Frage", "Ersetzen?", Icon::kQuestion, Buttons::kYesNoCancel}));
  std::vector<std::string> labels;
  WhileShown(dialog.get(), [&] { labels = ButtonLabels(dialog.get()); });
  tk.LoadToolkitCatalog("en");
  for (const char* label : {"Ja", "Nein", "Abbrechen"}) {
    EXPECT_NE(std::find(labels.begin(), labels.end(), label), labels.end()) << label;
  }
}

}  // namespace
}  // namespace sk::ui
