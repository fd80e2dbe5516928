// The main window on the headless toolkit: how it is built, the layout rule, command
// enabling, Delete and the free-space text.
#include "shell/main_window.h"

#include <gtest/gtest.h>

#include "archive/set_names.h"
#include "jobs/create/create.h"
#include "jobs/sets/backup_lists.h"
#include "jobs/sets/backup_set.h"
#include "platform/file_system.h"
#include "shell/event_loop.h"
#include "shell/images.h"
#include "shell/job_texts.h"
#include "support/recording_reporter.h"
#include "support/test_support.h"
#include "ui/main_window_ids.h"

namespace sk {
namespace {

using testing::TempFolder;
using testing::TestApp;
using ui::HeadlessToolkit;

constexpr int kMain = ui::kMainWindow;

class MainWindowTest : public ::testing::Test {
 protected:
  MainWindowTest() : t(tmp.Internal("backups\\")) {
    tmp.MakeFolder("backups");
    t.app.ProgramFolder = tmp.Internal("program\\");
  }

  HeadlessToolkit::Control& Control(int id) { return *t.tk.FindControl(kMain, id); }
  bool Enabled(int id) { return Control(id).enabled; }
  bool MenuEnabled(int item) { return t.tk.FindWindow(kMain)->MenuItemEnabled(item); }

  // Backs up a small folder so that the lists have a row.
  void MakeSet(const std::string& name) {
    tmp.Write(name + "/a.txt", "some text");
    const std::string source = tmp.Internal(name + "\\");
    testing::TestJob job;
    ASSERT_TRUE(
        CreateBackup({BackupSet(t.app.BackupFolder, source), 2, t.app.Level, {}}, job.context)
            .ok());
  }

  TempFolder tmp;
  TestApp t;
};

TEST_F(MainWindowTest, OpensWithMenusControlsAndStartStates) {
  tmp.Write("program/Catalogs/English.catalog", "[CATALOG]\r\n");
  tmp.Write("program/Catalogs/Deutsch.catalog", "[CATALOG]\r\n");
  tmp.MakeFolder("program/Catalogs/Folder.catalog");
  t.app.Catalog = "deutsch.CATALOG";
  t.app.WinX = 30;
  t.app.WinY = 40;
  const std::vector<std::string> catalogs = OpenMainWindow(t.desk);

  HeadlessToolkit::Window& w = *t.tk.FindWindow(kMain);
  EXPECT_EQ(w.def.title.rfind("Stowkeeper v1.87 - Written in 2007 - 2011", 0), 0u);
  EXPECT_EQ(w.def.width, 599);
  EXPECT_EQ(w.def.height, 500);
  EXPECT_EQ(w.def.x, 30);
  EXPECT_EQ(w.def.y, 40);
  EXPECT_EQ(w.minimum_width, 548);
  EXPECT_EQ(w.minimum_height, 300);
  EXPECT_EQ(w.def.flags & ui::kWindowMaximized, 0u);
  EXPECT_EQ(w.status.size(), 2u);  // job outcomes, and the selected set

  // The first menu: its items, separators and images in order.
  ASSERT_EQ(w.menu_bar.size(), 2u);
  EXPECT_EQ(w.menu_bar[0].title, "Projekt");
  std::vector<std::pair<int, int>> items;
  for (const ui::MenuItem& item : w.menu_bar[0].items) items.emplace_back(item.id, item.image);
  EXPECT_EQ(items, (std::vector<std::pair<int, int>>{{ui::kMenuVerify, 9},
                                                     {-1, -1},
                                                     {ui::kMenuProperties, 7},
                                                     {-1, -1},
                                                     {ui::kMenuSettings, 5},
                                                     {ui::kMenuExclusions, -1},
                                                     {-1, -1},
                                                     {ui::kMenuAbout, 6},
                                                     {-1, -1},
                                                     {ui::kMenuQuit, 8}}));
  EXPECT_FALSE(MenuEnabled(ui::kMenuVerify));
  EXPECT_FALSE(MenuEnabled(ui::kMenuProperties));
  EXPECT_TRUE(MenuEnabled(ui::kMenuSettings));

  // The Language menu: files only, numbered from 100, the setting's file checked whatever
  // its letter case.
  EXPECT_EQ(w.menu_bar[1].title, "Language");
  ASSERT_EQ(catalogs.size(), 2u);
  ASSERT_EQ(w.menu_bar[1].items.size(), 2u);
  for (size_t i = 0; i < catalogs.size(); ++i) {
    const ui::MenuItem& item = w.menu_bar[1].items[i];
    EXPECT_EQ(item.id, 100 + static_cast<int>(i));
    EXPECT_EQ(item.text + ".catalog", catalogs[i]);
    EXPECT_EQ(item.checked, item.text == "Deutsch");
  }

  // The context menu with its images.
  ASSERT_EQ(w.context_menu.items.size(), 11u);
  EXPECT_EQ(w.context_menu.items[0].id, ui::kContextList);
  EXPECT_EQ(w.context_menu.items[0].image, 11);
  EXPECT_EQ(w.context_menu.items[5].id, ui::kContextSchedule);
  EXPECT_EQ(w.context_menu.items[6].id, ui::kContextExclusions);
  EXPECT_EQ(w.context_menu.items[8].id, ui::kContextDelete);
  EXPECT_EQ(w.context_menu.items[8].image, 14);

  // The tabs, lists and buttons.
  EXPECT_EQ(Control(ui::kTabPanel).items, (std::vector<std::string>{"Backup", "Restore"}));
  EXPECT_EQ(Control(ui::kBackupList).def.parent, ui::kTabPanel);
  EXPECT_EQ(Control(ui::kRestoreList).def.page, 1);
  EXPECT_EQ(Control(ui::kBackupList).columns[2].first, "Letztes Update");
  EXPECT_EQ(Control(ui::kRestoreList).columns[2].first, "Erstellungsdatum");
  EXPECT_EQ(Control(ui::kBackupList).columns[0].second, 343);
  EXPECT_EQ(Control(ui::kCreateButton).def.tooltip, "Erstellt ein neues Backup!");
  EXPECT_EQ(Control(ui::kRestoreButton).def.page, 1);
  EXPECT_TRUE(Enabled(ui::kCreateButton));
  EXPECT_TRUE(Enabled(ui::kQuitButton));
  for (int id : {ui::kUpdateButton, ui::kBackupListButton, ui::kDeleteButton,
                 ui::kRestoreListButton, ui::kRestoreButton}) {
    EXPECT_FALSE(Enabled(id)) << id;
  }
}

TEST_F(MainWindowTest, CreateNeedsAnExistingBackupFolderAndMaximizedIsKept) {
  t.app.BackupFolder = tmp.Internal("missing\\");
  t.app.ViewMode = kViewMaximized;
  OpenMainWindow(t.desk);
  EXPECT_FALSE(Enabled(ui::kCreateButton));
  EXPECT_NE(t.tk.FindWindow(kMain)->def.flags & ui::kWindowMaximized, 0u);
  EXPECT_TRUE(t.tk.FindWindow(kMain)->menu_bar[1].items.empty());  // no Catalogs folder

  t.app.BackupFolder = "";
  EnableCreateButton(t.desk);
  EXPECT_FALSE(Enabled(ui::kCreateButton));
}

TEST_F(MainWindowTest, LayoutRuleExample) {
  OpenMainWindow(t.desk);
  ui::WindowGeometry& g = t.tk.FindWindow(kMain)->geometry;
  g = {12, 34, 800, 600, 20, 20, ui::WindowState::kNormal};
  RelayoutMainWindow(t.desk);

  const ui::Rect tabs = t.tk.GetControlRect(kMain, ui::kTabPanel);
  EXPECT_EQ(tabs, (ui::Rect{13, 8, 776, 502}));
  EXPECT_EQ(t.tk.GetControlRect(kMain, ui::kBackupList), (ui::Rect{12, 12, 745, 420}));
  EXPECT_EQ(t.tk.GetControlRect(kMain, ui::kRestoreList).width, 745);
  EXPECT_EQ(t.tk.GetColumnWidth(kMain, ui::kBackupList, 0), 545);
  EXPECT_EQ(t.tk.GetColumnWidth(kMain, ui::kRestoreList, 0), 545);
  EXPECT_EQ(t.tk.GetColumnWidth(kMain, ui::kBackupList, 1), 80);
  EXPECT_EQ(t.tk.GetControlRect(kMain, ui::kQuitButton), (ui::Rect{677, 522, 112, 25}));
  EXPECT_EQ(t.tk.GetControlRect(kMain, ui::kDeleteButton), (ui::Rect{638, 442, 122, 25}));
  EXPECT_EQ(t.tk.GetControlRect(kMain, ui::kRestoreButton).x, 638);
  EXPECT_EQ(t.tk.GetControlRect(kMain, ui::kBackupListButton).x, 512);
  EXPECT_EQ(t.tk.GetControlRect(kMain, ui::kRestoreListButton).x, 512);
  EXPECT_EQ(t.tk.GetControlRect(kMain, ui::kUpdateButton).x, 386);
  EXPECT_EQ(t.tk.GetControlRect(kMain, ui::kCreateButton), (ui::Rect{260, 442, 122, 25}));

  // The geometry is recorded with the menu bar (and status bar) included.
  EXPECT_EQ(t.app.ViewMode, 0);
  EXPECT_EQ(t.app.ColumnWidth, 545);
  EXPECT_EQ(t.app.WinX, 12);
  EXPECT_EQ(t.app.WinY, 34);
  EXPECT_EQ(t.app.WinWidth, 800);
  EXPECT_EQ(t.app.WinHeight, 600);
}

TEST_F(MainWindowTest, MaximizedAndMinimizedKeepTheLastNormalGeometry) {
  OpenMainWindow(t.desk);
  ui::WindowGeometry& g = t.tk.FindWindow(kMain)->geometry;
  g = {12, 34, 800, 600, 20, 20, ui::WindowState::kNormal};
  RelayoutMainWindow(t.desk);

  g = {0, 0, 1280, 1000, 20, 20, ui::WindowState::kMaximized};
  RelayoutMainWindow(t.desk);
  EXPECT_EQ(t.app.ViewMode, kViewMaximized);
  EXPECT_EQ(t.app.ColumnWidth, 1280 - 55 - 200);
  EXPECT_EQ(t.app.WinWidth, 800);
  EXPECT_EQ(t.app.WinHeight, 600);

  // A minimized window has no room: the controls keep their places.
  g = {0, 0, 0, 0, 20, 20, ui::WindowState::kMinimized};
  RelayoutMainWindow(t.desk);
  EXPECT_EQ(t.app.ViewMode, kViewMinimized);
  EXPECT_EQ(t.tk.GetControlRect(kMain, ui::kBackupList).width, 1280 - 55);
  EXPECT_EQ(t.app.WinX, 12);
}

TEST_F(MainWindowTest, CommandEnablingFollowsTheSelectionOfEachList) {
  MakeSet("Data");
  OpenMainWindow(t.desk);
  RefreshBackupLists(t.desk);
  ASSERT_EQ(t.tk.CountItems(kMain, ui::kBackupList), 1);

  t.tk.SetValue(kMain, ui::kBackupList, 0);
  EnableRowCommands(t.desk, ui::kBackupList);
  EXPECT_TRUE(MenuEnabled(ui::kMenuVerify));
  EXPECT_TRUE(MenuEnabled(ui::kMenuProperties));
  EXPECT_TRUE(MenuEnabled(ui::kContextUpdate));
  EXPECT_FALSE(MenuEnabled(ui::kContextRestore));
  EXPECT_TRUE(MenuEnabled(ui::kContextDelete));
  EXPECT_TRUE(Enabled(ui::kUpdateButton));
  EXPECT_TRUE(Enabled(ui::kBackupListButton));
  EXPECT_TRUE(Enabled(ui::kDeleteButton));
  // A list event changes only its own tab's buttons.
  EXPECT_FALSE(Enabled(ui::kRestoreButton));
  EXPECT_FALSE(Enabled(ui::kRestoreListButton));

  t.tk.SetValue(kMain, ui::kRestoreList, 0);
  EnableRowCommands(t.desk, ui::kRestoreList);
  EXPECT_TRUE(MenuEnabled(ui::kMenuVerify));
  EXPECT_FALSE(MenuEnabled(ui::kContextUpdate));
  EXPECT_TRUE(MenuEnabled(ui::kContextRestore));
  EXPECT_FALSE(MenuEnabled(ui::kContextDelete));
  EXPECT_TRUE(Enabled(ui::kRestoreButton));
  EXPECT_TRUE(Enabled(ui::kRestoreListButton));
  EXPECT_TRUE(Enabled(ui::kUpdateButton));

  t.tk.SetValue(kMain, ui::kBackupList, -1);
  EnableRowCommands(t.desk, ui::kBackupList);
  for (int item : {ui::kMenuVerify, ui::kMenuProperties, ui::kContextUpdate, ui::kContextRestore,
                   ui::kContextDelete}) {
    EXPECT_FALSE(MenuEnabled(item)) << item;
  }
  EXPECT_FALSE(Enabled(ui::kUpdateButton));
  EXPECT_FALSE(Enabled(ui::kDeleteButton));
  EXPECT_TRUE(Enabled(ui::kRestoreButton));
  // The context menu's List, Verify and Properties are never disabled.
  for (int item : {ui::kContextList, ui::kContextVerify, ui::kContextProperties}) {
    EXPECT_TRUE(MenuEnabled(item)) << item;
  }
}

// Delete runs from the main window's button: the delete job asks through the desktop's
// reporter, and the window refills its lists.
class DeleteTest : public MainWindowTest {
 protected:
  void Select(const std::string& display_name) {
    OpenMainWindow(t.desk);
    t.tk.AddItem(kMain, ui::kBackupList, display_name + "\n1 KB \n01.01.2020 / 10:00", 0);
    t.desk.backup_rows = {display_name};
    t.tk.SetValue(kMain, ui::kBackupList, 0);
    EnableRowCommands(t.desk, ui::kBackupList);
  }

  // The main volume and the indexes of points 1 to latest - 1 of a set, so that point
  // `latest` is the set's latest once its index is there.
  void WritePointsBefore(const std::string& set, int latest) {
    tmp.Write("backups/Backup_0000_of_" + set + ".sk", "SK");
    for (int k = 1; k < latest; ++k) {
      tmp.Write("backups/Backup_" + GenerationField(k) + "_of_" + set + ".ini", "[ADDED]\r\n");
    }
  }

  void ClickDelete() {
    std::vector<std::string> catalogs;
    HandleMainEvent(t.desk, {ui::EventType::kLeftClick, kMain, ui::kDeleteButton}, catalogs);
  }
};

TEST_F(DeleteTest, AsksWithGenerationAndSetNameThenRemovesIndexAndVolume) {
  const std::string source = tmp.Internal("My_Data\\");
  const std::string set = SetName(source);
  WritePointsBefore(set, 2);
  tmp.Write("backups/Backup_0002_of_" + set + ".ini", "[ADDED]\r\n");
  tmp.Write("backups/Backup_0002_of_" + set + ".sk", "SK");
  tmp.Write("backups/Backup_0001_of_" + set + ".sk", "SK");
  Select("Backup_0002_of_" + source);
  t.tk.QueueAnswer(ui::Answer::kNo);
  ClickDelete();
  ASSERT_EQ(t.tk.messages.size(), 1u);
  EXPECT_EQ(t.tk.messages[0].title, "Frage");
  EXPECT_EQ(t.tk.messages[0].icon, ui::Icon::kQuestion);
  EXPECT_EQ(t.tk.messages[0].buttons, ui::Buttons::kYesNo);
  EXPECT_EQ(t.tk.messages[0].text,
            testing::SystemText("Möchten Sie das gewählte Backup wirklich Löschen ?\n\n"
                                "Index: 0002\nName: ") +
                set);
  EXPECT_TRUE(tmp.Exists("backups/Backup_0002_of_" + set + ".sk"));

  ClickDelete();  // answered Yes
  EXPECT_EQ(t.tk.messages.size(), 2u);
  EXPECT_FALSE(tmp.Exists("backups/Backup_0002_of_" + set + ".ini"));
  EXPECT_FALSE(tmp.Exists("backups/Backup_0002_of_" + set + ".sk"));
  EXPECT_TRUE(tmp.Exists("backups/Backup_0001_of_" + set + ".sk"));
  // The lists were refilled from the folder: point 1 is the set's latest now.
  EXPECT_EQ(t.desk.backup_rows, std::vector<std::string>{"Backup_0001_of_" + source});
  EXPECT_EQ(t.tk.CountItems(kMain, ui::kBackupList), 1);
}

TEST_F(DeleteTest, KeepsTheVolumeWhileTheIndexCannotBeRemoved) {
  const std::string source = tmp.Internal("Data\\");
  const std::string set = SetName(source);
  WritePointsBefore(set, 3);
  tmp.MakeFolder("backups/Backup_0003_of_" + set + ".ini/stuck");
  tmp.Write("backups/Backup_0003_of_" + set + ".sk", "SK");
  Select("Backup_0003_of_" + source);
  ClickDelete();
  EXPECT_TRUE(tmp.Exists("backups/Backup_0003_of_" + set + ".sk"));
  // The question, then why the point stays: the index that would not go, with the cause.
  ASSERT_EQ(t.tk.messages.size(), 2u);
  const std::string head = t.app.Text(kTextDeleteFailed) + "\n\n" +
                           Shown(t.app.BackupFolder + IndexFileName(set, 3)) + ": ";
  EXPECT_EQ(t.tk.messages[1].text.rfind(head, 0), 0u) << t.tk.messages[1].text;
  EXPECT_GT(t.tk.messages[1].text.size(), head.size()) << t.tk.messages[1].text;
  EXPECT_EQ(t.tk.messages[1].icon, ui::Icon::kWarning);
}

TEST_F(DeleteTest, MainVolumeWithoutIndexAndNothingSelected) {
  MakeSet("Data");
  OpenMainWindow(t.desk);
  RefreshBackupLists(t.desk);
  ClickDelete();  // no row selected: nothing asked
  EXPECT_TRUE(t.tk.messages.empty());

  t.tk.SetValue(kMain, ui::kBackupList, 0);
  ClickDelete();
  EXPECT_EQ(t.tk.messages.size(), 1u);
  EXPECT_TRUE(tmp.Names("backups").empty());
  EXPECT_EQ(t.tk.CountItems(kMain, ui::kBackupList), 0);
  EXPECT_EQ(t.tk.CountItems(kMain, ui::kRestoreList), 0);
}

TEST(FreeSpaceTextTest, TrimmedSizeOrZero) {
  TempFolder tmp;
  EXPECT_EQ(FreeSpaceText(""), "0 Bytes");
  EXPECT_EQ(FreeSpaceText(tmp.Internal("missing\\")), "0 Bytes");
  const std::string text = FreeSpaceText(tmp.Internal());
  ASSERT_FALSE(text.empty());
  EXPECT_NE(text.back(), ' ');
  EXPECT_NE(text.find("B"), std::string::npos);
  EXPECT_NE(text, "0 Bytes");
}

TEST(ProgramImagesTest, FifteenImagesOfSixteenPixelsWithSomethingDrawn) {
  const std::vector<ui::Image>& images = ProgramImages();
  ASSERT_EQ(images.size(), 15u);
  for (const ui::Image& image : images) {
    EXPECT_EQ(image.width, 16);
    EXPECT_EQ(image.height, 16);
    ASSERT_EQ(image.pixels.size(), 256u);
    int opaque = 0;
    for (uint32_t pixel : image.pixels) opaque += (pixel >> 24) == 0xFF;
    EXPECT_GT(opaque, 30);
  }
}

}  // namespace
}  // namespace sk
