// The interactive mode's event loop on the headless toolkit.
#include "shell/event_loop.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "archive/set_names.h"
#include "core/ini.h"
#include "jobs/create/create.h"
#include "jobs/create/exclusions.h"
#include "jobs/sets/backup_lists.h"
#include "jobs/sets/backup_set.h"
#include "jobs/sets/set_lock.h"
#include "platform/file_system.h"
#include "platform/process.h"
#include "shell/exclusions_window.h"
#include "shell/job_window.h"
#include "shell/main_window.h"
#include "shell/restore_window.h"
#include "shell/schedule_window.h"
#include "shell/settings_window.h"
#include "shell/shell_test_env.h"
#include "support/recording_reporter.h"
#include "support/test_support.h"
#include "ui/main_window_ids.h"

namespace sk {
namespace {

using testing::TempFolder;
using testing::TestApp;
using ui::Event;
using ui::EventType;
using ui::HeadlessToolkit;

constexpr int kMain = ui::kMainWindow;

class EventLoopTest : public ::testing::Test {
 protected:
  EventLoopTest() : t(tmp.Internal("backups\\")) {
    tmp.MakeFolder("backups");
    tmp.MakeFolder("settings");
    t.app.ProgramFolder = tmp.Internal("program\\");
    t.app.SettingsFolder = tmp.Internal("settings\\");
  }

  void InstallCatalogs() {
    namespace fs = std::filesystem;
    fs::create_directories(tmp.Native("program/Catalogs"));
    for (const char* name : {"English.catalog", "Deutsch.catalog"}) {
      fs::copy_file(fs::path(SK_SOURCE_DIR) / "catalogs" / name,
                    tmp.Native("program/Catalogs/") + name);
    }
  }

  void MakeSet(const std::string& name) {
    tmp.Write(name + "/a.txt", "some text");
    tmp.Write(name + "/sub/b.txt", "more text");
    const std::string source = tmp.Internal(name + "\\");
    testing::TestJob job;
    ASSERT_TRUE(
        CreateBackup({BackupSet(t.app.BackupFolder, source), 2, t.app.Level, {}}, job.context)
            .ok());
  }

  // Opens the main window with its lists as the interactive mode does before its loop.
  void Open() {
    catalogs = OpenMainWindow(t.desk);
    RefreshBackupLists(t.desk);
    RelayoutMainWindow(t.desk);
  }

  bool Handle(EventType type, int control) {
    return HandleMainEvent(t.desk, Event{type, kMain, control}, catalogs);
  }

  std::vector<std::string> OpenedTitles() const {
    std::vector<std::string> titles;
    for (const ui::WindowDef& def : t.tk.opened) titles.push_back(def.title);
    return titles;
  }

  bool Opened(const std::string& title) const {
    const std::vector<std::string> titles = OpenedTitles();
    return std::find(titles.begin(), titles.end(), title) != titles.end();
  }

  int SettingsValue(const std::string& group, const std::string& key) {
    IniReader ini;
    EXPECT_TRUE(ini.Load(t.app.SettingsFolder + "Settings.ini"));
    EXPECT_TRUE(ini.SelectGroup(group));
    return ini.ReadNumber(key, -12345);
  }

  TempFolder tmp;
  TestApp t;
  std::vector<std::string> catalogs;
};

TEST_F(EventLoopTest, WithoutBackupFolderTheSettingsWindowComesFirstAndSettingsAreSaved) {
  t.app.BackupFolder = tmp.Internal("nowhere\\");
  // Nothing scripted: the settings window and then the main window are asked to close.
  RunMainWindow(t.desk);
  const std::vector<std::string> titles = OpenedTitles();
  ASSERT_EQ(titles.size(), 2u);
  EXPECT_EQ(titles[1], "Einstellungen");
  EXPECT_TRUE(t.tk.windows.empty());
  EXPECT_TRUE(tmp.Exists("settings/Settings.ini"));
  EXPECT_EQ(t.tk.images.size(), 15u);
}

TEST_F(EventLoopTest, QuittingWhileMaximizedKeepsTheLastNormalGeometry) {
  t.tk.on_wait = [step = 0](HeadlessToolkit& tk) mutable {
    ui::WindowGeometry& g = tk.FindWindow(kMain)->geometry;
    switch (step++) {
      case 0:
        g = {50, 60, 700, 550, 20, 20, ui::WindowState::kNormal};
        return Event{EventType::kSize, kMain, -1};
      case 1:
        g = {0, 0, 1280, 1000, 20, 20, ui::WindowState::kMaximized};
        return Event{EventType::kSize, kMain, -1};
      default:
        return Event{EventType::kMenu, kMain, ui::kMenuQuit};
    }
  };
  RunMainWindow(t.desk);
  EXPECT_EQ(SettingsValue("MainWindow", "ViewMode"), kViewMaximized);
  EXPECT_EQ(SettingsValue("MainWindow", "ColumnWidth"), 1280 - 55 - 200);
  EXPECT_EQ(SettingsValue("MainWindow", "WinX"), 50);
  EXPECT_EQ(SettingsValue("MainWindow", "WinY"), 60);
  EXPECT_EQ(SettingsValue("MainWindow", "WinWidth"), 700);
  EXPECT_EQ(SettingsValue("MainWindow", "WinHeight"), 550);
}

TEST_F(EventLoopTest, QuitButtonAndCloseBoxEndTheLoopOtherWindowsDoNot) {
  Open();
  EXPECT_TRUE(HandleMainEvent(t.desk, Event{EventType::kClose, ui::kJobWindow, -1}, catalogs));
  EXPECT_TRUE(Handle(EventType::kTimer, 5));
  EXPECT_FALSE(Handle(EventType::kLeftClick, ui::kQuitButton));
  EXPECT_FALSE(Handle(EventType::kClose, -1));
}

TEST_F(EventLoopTest, ListEventsEnableCommandsAndOpenTheContextMenuOverARow) {
  MakeSet("Data");
  Open();
  HeadlessToolkit::Window& w = *t.tk.FindWindow(kMain);
  Handle(EventType::kRightClick, ui::kBackupList);  // no row selected
  EXPECT_EQ(w.context_menu_shown, 0);
  EXPECT_FALSE(w.MenuItemEnabled(ui::kMenuVerify));

  t.tk.SetValue(kMain, ui::kBackupList, 0);
  Handle(EventType::kRightClick, ui::kBackupList);
  EXPECT_EQ(w.context_menu_shown, 1);
  EXPECT_TRUE(w.MenuItemEnabled(ui::kMenuVerify));
  EXPECT_TRUE(t.tk.FindControl(kMain, ui::kUpdateButton)->enabled);

  // A tab switch moves the focus to the tab's list and never opens the context menu.
  t.tk.SetValue(kMain, ui::kTabPanel, 1);
  t.tk.SetValue(kMain, ui::kRestoreList, 0);
  Handle(EventType::kRightClick, ui::kTabPanel);
  EXPECT_EQ(w.context_menu_shown, 1);
  EXPECT_EQ(t.tk.focus_control, ui::kRestoreList);
  EXPECT_TRUE(t.tk.FindControl(kMain, ui::kRestoreButton)->enabled);
}

TEST_F(EventLoopTest, DoubleClickActions) {
  MakeSet("Data");
  Open();
  t.tk.SetValue(kMain, ui::kBackupList, 0);
  t.tk.SetValue(kMain, ui::kRestoreList, 0);

  // 3 on the backup list updates the set; on the restore list it lists the contents.
  t.app.DoubleClickAction = 3;
  Handle(EventType::kDoubleClick, ui::kBackupList);
  EXPECT_TRUE(Opened("Daten Vergleichen..."));
  t.tk.opened.clear();
  t.tk.SetValue(kMain, ui::kBackupList, 0);
  t.tk.SetValue(kMain, ui::kRestoreList, 0);
  Handle(EventType::kDoubleClick, ui::kRestoreList);
  EXPECT_TRUE(Opened("Backup-Inhalt"));
  EXPECT_FALSE(Opened("Daten Vergleichen..."));

  // 1 shows the properties of the current tab's row.
  t.tk.opened.clear();
  t.app.DoubleClickAction = 1;
  t.tk.SetValue(kMain, ui::kBackupList, 0);
  Handle(EventType::kDoubleClick, ui::kBackupList);
  EXPECT_EQ(OpenedTitles(), (std::vector<std::string>{"Eigenschaften"}));

  // 2 verifies; without a selected row nothing runs.
  t.tk.opened.clear();
  t.app.DoubleClickAction = 2;
  t.tk.SetValue(kMain, ui::kBackupList, 0);
  Handle(EventType::kDoubleClick, ui::kBackupList);
  EXPECT_EQ(OpenedTitles(),
            (std::vector<std::string>{testing::SystemText("Backup wird überprüft...")}));
  t.tk.opened.clear();
  t.tk.SetValue(kMain, ui::kBackupList, -1);
  Handle(EventType::kDoubleClick, ui::kBackupList);
  EXPECT_TRUE(t.tk.opened.empty());
}

TEST_F(EventLoopTest, CreateAsksForAFolderBacksItUpAndRefreshesTheLists) {
  Open();
  Handle(EventType::kLeftClick, ui::kCreateButton);  // chooser cancelled
  EXPECT_EQ(
      t.tk.folder_titles,
      (std::vector<std::string>{testing::SystemText("Bitte wählen Sie ein Quellverzeichniss!")}));
  EXPECT_EQ(t.tk.CountItems(kMain, ui::kBackupList), 0);
  EXPECT_EQ(t.tk.focus_control, ui::kBackupList);

  tmp.Write("Docs/a.txt", "hello");
  t.tk.QueueFolder(tmp.Internal("Docs\\"));
  Handle(EventType::kLeftClick, ui::kCreateButton);
  EXPECT_EQ(t.tk.sounds, 1);
  ASSERT_EQ(t.tk.CountItems(kMain, ui::kBackupList), 1);
  // The row shows the source folder as the system names it; the command takes it as stored.
  EXPECT_EQ(t.tk.GetItemText(kMain, ui::kBackupList, 0, 0),
            "Backup_0000_of_" + tmp.Native("Docs/"));
  EXPECT_EQ(t.desk.backup_rows,
            (std::vector<std::string>{"Backup_0000_of_" + tmp.Internal("Docs\\")}));
  EXPECT_EQ(t.tk.CountItems(kMain, ui::kRestoreList), 1);
  // The new set is selected, ready for the next command, and the status bar tells the outcome.
  EXPECT_EQ(t.tk.GetValue(kMain, ui::kBackupList), 0);
  EXPECT_TRUE(t.tk.FindControl(kMain, ui::kUpdateButton)->enabled);
  EXPECT_EQ(t.tk.GetStatusText(kMain, 0),
            "Backup von " + tmp.Native("Docs/") + " geschrieben: 1 Dateien, 5 Bytes");
  // A chooser cancelled leaves the last outcome shown.
  t.tk.QueueFolder("");
  Handle(EventType::kLeftClick, ui::kCreateButton);
  EXPECT_EQ(t.tk.GetStatusText(kMain, 0),
            "Backup von " + tmp.Native("Docs/") + " geschrieben: 1 Dateien, 5 Bytes");
}

TEST_F(EventLoopTest, AFailedCreateLeavesNothingBehindForTheNextOne) {
  Open();
  // A source folder that cannot be read fails the first create...
  testing::FaultGuard faults;
  tmp.Write("Odd/a.txt", "x");
  platform::InjectFault(platform::FaultOp::kList, "Odd");
  t.tk.QueueFolder(tmp.Internal("Odd\\"));
  Handle(EventType::kLeftClick, ui::kCreateButton);
  EXPECT_EQ(t.tk.sounds, 0);
  ASSERT_FALSE(t.tk.messages.empty());
  // ...and the next create of a sound folder runs as if it had been the first.
  t.tk.messages.clear();
  tmp.Write("Docs/a.txt", "hello");
  t.tk.QueueFolder(tmp.Internal("Docs\\"));
  Handle(EventType::kLeftClick, ui::kCreateButton);
  EXPECT_TRUE(t.tk.messages.empty()) << t.tk.messages[0].text;
  EXPECT_EQ(t.tk.sounds, 1);
}

// A create that left a file out is still a backup: the list of what it left out, the sound,
// and a status bar that counts the problems.
TEST_F(EventLoopTest, ACreateWithProblemsSaysSoInTheStatusBar) {
  Open();
  testing::FaultGuard faults;
  tmp.Write("Docs/a.txt", "hello");
  tmp.Write("Docs/b.txt", "gone");
  platform::InjectFault(platform::FaultOp::kOpen, "b.txt");
  t.tk.QueueFolder(tmp.Internal("Docs\\"));
  Handle(EventType::kLeftClick, ui::kCreateButton);
  EXPECT_EQ(t.tk.sounds, 1);
  ASSERT_EQ(t.tk.messages.size(), 1u);
  EXPECT_TRUE(t.tk.messages[0].text.starts_with(t.app.Text(kTextDoneWithProblems) + "\n"))
      << t.tk.messages[0].text;
  EXPECT_EQ(t.tk.GetStatusText(kMain, 0), "Backup von " + tmp.Native("Docs/") +
                                              " geschrieben: 1 Dateien, 5 Bytes, mit 1 Problemen");
}

TEST_F(EventLoopTest, UpdateTakesTheSelectedSetAndRefreshesTheLists) {
  MakeSet("Data");
  Open();
  t.tk.SetValue(kMain, ui::kBackupList, -1);
  t.tk.opened.clear();
  Handle(EventType::kLeftClick, ui::kUpdateButton);  // nothing selected: nothing happens
  EXPECT_TRUE(OpenedTitles().empty());
  t.tk.SetValue(kMain, ui::kBackupList, 0);
  Handle(EventType::kLeftClick, ui::kUpdateButton);
  EXPECT_EQ(t.tk.sounds, 1);
  EXPECT_EQ(t.desk.backup_rows,
            (std::vector<std::string>{"Backup_0001_of_" + tmp.Internal("Data\\")}));
  EXPECT_EQ(t.tk.CountItems(kMain, ui::kRestoreList), 2);
  EXPECT_EQ(t.tk.focus_control, ui::kBackupList);
}

// The context menu edits the selected set's list; the Project menu with no set selected
// asks for a folder first. What the window keeps counts at the next update, and an update
// is refused while another run holds the set.
TEST_F(EventLoopTest, ExclusionsOfTheSelectedSetCountAtItsNextUpdate) {
  MakeSet("Data");
  Open();
  t.tk.SetValue(kMain, ui::kBackupList, 0);
  t.tk.on_wait = [](HeadlessToolkit& tk) {
    tk.SetText(ui::kJobWindow, kExclusionsField, "sub/");
    return Event{EventType::kLeftClick, ui::kJobWindow, kExclusionsOkButton};
  };
  Handle(EventType::kMenu, ui::kContextExclusions);
  t.tk.on_wait = nullptr;
  EXPECT_EQ(ExclusionsOf(t.app, tmp.Internal("Data\\")), (std::vector<std::string>{"sub/"}));
  Handle(EventType::kLeftClick, ui::kUpdateButton);
  IniReader index;
  ASSERT_TRUE(index.Load(t.app.BackupFolder + IndexFileName(SetName(tmp.Internal("Data\\")), 1)));
  ASSERT_TRUE(index.SelectGroup("REMOVED"));
  EXPECT_EQ(index.ReadNumberedValues().size(), 2u);  // sub\ and sub\b.txt

  SetLock other;
  ASSERT_EQ(other.Take(t.app.BackupFolder, SetName(tmp.Internal("Data\\"))),
            SetLock::Outcome::kTaken);
  const size_t messages = t.tk.messages.size();
  t.tk.SetValue(kMain, ui::kBackupList, 0);
  Handle(EventType::kLeftClick, ui::kUpdateButton);
  ASSERT_EQ(t.tk.messages.size(), messages + 1);
  EXPECT_NE(t.tk.messages.back().text.find("Prozess"), std::string::npos);
  EXPECT_FALSE(t.tk.FindWindow(kMain) == nullptr);

  t.tk.SetValue(kMain, ui::kBackupList, -1);
  t.tk.QueueFolder(tmp.Internal("Elsewhere\\"));
  t.tk.opened.clear();
  Handle(EventType::kMenu, ui::kMenuExclusions);
  EXPECT_EQ(OpenedTitles(), (std::vector<std::string>{t.app.Text(kTextExclusions)}));
}

TEST_F(EventLoopTest, ListAndVerifyTakeTheSelectedRowAndGiveTheFocusBack) {
  MakeSet("Data");
  Open();
  t.tk.SetValue(kMain, ui::kBackupList, -1);
  t.tk.opened.clear();
  Handle(EventType::kLeftClick, ui::kBackupListButton);  // nothing selected: nothing shown
  EXPECT_TRUE(OpenedTitles().empty());
  EXPECT_EQ(t.tk.focus_control, ui::kBackupList);

  t.tk.SetValue(kMain, ui::kTabPanel, 1);
  t.tk.SetValue(kMain, ui::kRestoreList, 0);
  Handle(EventType::kLeftClick, ui::kRestoreListButton);  // the contents window closes at once
  EXPECT_TRUE(Opened(testing::SystemText("Backup-Inhalt")));
  EXPECT_EQ(t.tk.focus_control, ui::kRestoreList);

  t.tk.opened.clear();
  Handle(EventType::kMenu, ui::kMenuVerify);
  EXPECT_EQ(OpenedTitles(),
            std::vector<std::string>{testing::SystemText("Backup wird überprüft...")});
  EXPECT_EQ(t.tk.focus_control, ui::kRestoreList);
}

// The restore asks for the target first and nothing more when that is cancelled; run to its
// end, its window's bar counts the point's KiB from the start of the writing.
TEST_F(EventLoopTest, RestoreTakesTheTotalFirstAndContextItemsActLikeTheirButtons) {
  tmp.Write("Data/big.txt", testing::TextData(10 * 1024));
  MakeSet("Data");
  Open();
  t.tk.opened.clear();
  t.tk.SetValue(kMain, ui::kTabPanel, 1);
  t.tk.SetValue(kMain, ui::kRestoreList, 0);
  Handle(EventType::kMenu, ui::kContextRestore);  // the target chooser is cancelled
  EXPECT_EQ(
      t.tk.folder_titles,
      (std::vector<std::string>{testing::SystemText("Bitte wählen Sie ein Zielverzeichniss")}));
  EXPECT_TRUE(OpenedTitles().empty());
  EXPECT_EQ(t.tk.focus_control, ui::kRestoreList);

  tmp.MakeFolder("Out");
  t.tk.QueueFolder(tmp.Internal("Out\\"));
  t.tk.QueueEvent({EventType::kLeftClick, ui::kJobWindow, kRestoreOkId});
  t.tk.SetValue(kMain, ui::kRestoreList, 0);
  Handle(EventType::kMenu, ui::kContextRestore);
  EXPECT_EQ(OpenedTitles(), (std::vector<std::string>{t.app.Text(kTextRestoreOptions),
                                                      t.app.Text(kTextRestoring)}));
  const HeadlessToolkit::Window* restoring = t.tk.LastClosed(t.app.Text(kTextRestoring));
  ASSERT_NE(restoring, nullptr);
  EXPECT_EQ(restoring->controls.at(kProgressBarId).maximum, (9 + 9 + 10 * 1024) / 1024);
  EXPECT_EQ(t.tk.sounds, 1);
  EXPECT_EQ(t.tk.focus_control, ui::kRestoreList);

  t.tk.opened.clear();
  t.tk.SetValue(kMain, ui::kRestoreList, 0);
  Handle(EventType::kMenu, ui::kContextList);  // the List button of the current tab
  EXPECT_TRUE(Opened("Backup-Inhalt"));

  t.tk.opened.clear();
  t.tk.SetValue(kMain, ui::kRestoreList, 0);
  Handle(EventType::kMenu, ui::kContextProperties);
  EXPECT_EQ(OpenedTitles(), (std::vector<std::string>{"Eigenschaften"}));

  // Delete from the context menu asks about the backup list's row.
  t.tk.SetValue(kMain, ui::kBackupList, 0);
  t.tk.QueueAnswer(ui::Answer::kNo);
  Handle(EventType::kMenu, ui::kContextDelete);
  ASSERT_EQ(t.tk.messages.size(), 1u);
  EXPECT_EQ(t.tk.messages[0].title, "Frage");
}

TEST_F(EventLoopTest, LanguageSwitchRebuildsTheWindowOnTheSameTab) {
  InstallCatalogs();
  MakeSet("Data");
  t.app.Catalog = "Deutsch.catalog";
  Open();
  t.tk.opened.clear();
  ASSERT_EQ(catalogs.size(), 2u);
  t.tk.SetValue(kMain, ui::kTabPanel, 1);
  t.tk.FindWindow(kMain)->geometry.x = 77;
  const int english = static_cast<int>(
      std::find(catalogs.begin(), catalogs.end(), "English.catalog") - catalogs.begin());

  Handle(EventType::kMenu, ui::kMenuFirstLanguage + english);
  EXPECT_EQ(t.app.Catalog, "English.catalog");
  EXPECT_EQ(t.app.WinX, 77);
  EXPECT_EQ(t.tk.opened.size(), 1u);
  HeadlessToolkit::Window& w = *t.tk.FindWindow(kMain);
  EXPECT_EQ(w.def.x, 77);
  EXPECT_EQ(w.menu_bar[0].title, "Project");
  EXPECT_TRUE(w.menu_bar[1].items[static_cast<size_t>(english)].checked);
  EXPECT_EQ(t.tk.GetValue(kMain, ui::kTabPanel), 1);
  EXPECT_EQ(t.tk.CountItems(kMain, ui::kRestoreList), 1);

  // Picking the checked language again still rebuilds the window.
  Handle(EventType::kMenu, ui::kMenuFirstLanguage + english);
  EXPECT_EQ(t.tk.opened.size(), 2u);
}

TEST_F(EventLoopTest, AResizeDuringACommandIsLaidOutWhenItEnds) {
  Open();
  // The settings window takes the main window's resize event while it is open.
  t.tk.on_wait = [](HeadlessToolkit& tk) {
    tk.FindWindow(kMain)->geometry = {0, 0, 800, 600, 20, 20, ui::WindowState::kNormal};
    tk.on_wait = nullptr;
    return Event{EventType::kSize, kMain, -1};
  };
  Handle(EventType::kMenu, ui::kMenuSettings);
  EXPECT_EQ(t.tk.GetControlRect(kMain, ui::kTabPanel).width, 776);
  EXPECT_EQ(t.app.WinWidth, 800);
}

TEST_F(EventLoopTest, AboutAndSettingsFromTheMenu) {
  Open();
  t.tk.QueueEvent({EventType::kLeftClick, ui::kJobWindow, 6});  // About's OK
  Handle(EventType::kMenu, ui::kMenuAbout);
  EXPECT_EQ(OpenedTitles().back(), "About");
  t.tk.QueueEvent({EventType::kLeftClick, ui::kJobWindow, kSettingsCancelButton});
  Handle(EventType::kMenu, ui::kMenuSettings);
  EXPECT_EQ(OpenedTitles().back(), "Einstellungen");
}

#ifndef _WIN32
// The desktop's schedules: the context menu's window sets one, the status bar tells it with
// the last backup, and deleting the set's last restore point offers to remove it.
TEST_F(EventLoopTest, ScheduleWindowStatusBarAndDeleteOfTheLastPoint) {
  testing::ScopedEnvironment env;
  env.Set("XDG_CONFIG_HOME", tmp.Native("config"));
  std::vector<std::vector<std::string>> commands;
  platform::SetProcessRunner([&](const std::vector<std::string>& command) {
    commands.push_back(command);
    return platform::ProcessResult{0, ""};
  });
  MakeSet("Data");
  Open();
  HeadlessToolkit::Window& w = *t.tk.FindWindow(kMain);
  t.tk.SetValue(kMain, ui::kBackupList, 0);
  Handle(EventType::kLeftClick, ui::kBackupList);
  EXPECT_TRUE(w.MenuItemEnabled(ui::kContextSchedule));
  EXPECT_TRUE(w.status[kSetStatusField].starts_with("Letztes Backup: heute ")) << w.status[1];

  t.tk.QueueEvent({EventType::kLeftClick, ui::kJobWindow, kScheduleFirstOption + 2});  // daily
  t.tk.QueueEvent({EventType::kLeftClick, ui::kJobWindow, kScheduleOkButton});
  Handle(EventType::kMenu, ui::kContextSchedule);
  const HeadlessToolkit::Window* window = t.tk.LastClosed("Zeitplan");
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(window->controls.at(kScheduleFirstOption + 2).value, 1);
  EXPECT_EQ(FrequencyOf(ListSchedules(), tmp.Internal("Data\\")), Frequency::kDaily);
  EXPECT_TRUE(w.status[kSetStatusField].ends_with(platform::SystemTextFromUtf8("täglich")))
      << w.status[1];
  ASSERT_EQ(commands.size(), 2u);  // daemon-reload, enable --now

  t.tk.SetValue(kMain, ui::kBackupList, 0);
  Handle(EventType::kMenu, ui::kContextDelete);  // Yes to both questions
  ASSERT_EQ(t.tk.messages.size(), 2u);
  EXPECT_NE(t.tk.messages[1].text.find("Zeitplan"), std::string::npos);
  EXPECT_TRUE(ListSchedules().empty());
  EXPECT_EQ(w.status[kSetStatusField], "");
  platform::SetProcessRunner(&testing::WithoutScheduler);
}
#endif

}  // namespace
}  // namespace sk
