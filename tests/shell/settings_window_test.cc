// The settings window on the headless toolkit.
#include "shell/settings_window.h"

#include <gtest/gtest.h>

#include "shell/main_window.h"
#include "support/test_support.h"
#include "ui/main_window_ids.h"

namespace sk {
namespace {

using testing::TempFolder;
using testing::TestApp;
using ui::EventType;
using ui::HeadlessToolkit;

constexpr int kWindow = ui::kJobWindow;

class SettingsWindowTest : public ::testing::Test {
 protected:
  SettingsWindowTest() : t(tmp.Internal("old\\")) {
    tmp.MakeFolder("old");
    tmp.MakeFolder("new");
    OpenMainWindow(t.desk);
  }

  void Click(int control) { t.tk.QueueEvent({EventType::kLeftClick, kWindow, control}); }
  const HeadlessToolkit::Window& Closed() { return *t.tk.LastClosed("Einstellungen"); }

  TempFolder tmp;
  TestApp t;
};

TEST_F(SettingsWindowTest, ShowsTheSettingsOverTheDisabledMainWindow) {
  t.app.Engine = 2;
  t.app.DoubleClickAction = 1;
  bool main_enabled = true;
  t.tk.on_wait = [&](HeadlessToolkit& tk) {
    main_enabled = tk.FindWindow(ui::kMainWindow)->enabled;
    return ui::Event{EventType::kLeftClick, kWindow, kSettingsCancelButton};
  };
  SettingsWindow(t.desk);
  EXPECT_FALSE(main_enabled);
  EXPECT_TRUE(t.tk.FindWindow(ui::kMainWindow)->enabled);
  EXPECT_FALSE(t.tk.WindowExists(kWindow));

  const HeadlessToolkit::Window& w = Closed();
  EXPECT_EQ(w.def.width, 460);
  EXPECT_EQ(w.def.height, 374);
  EXPECT_NE(w.def.flags & ui::kWindowCenterOnScreen, 0u);
  EXPECT_EQ(w.def.flags & ui::kWindowCloseBox, 0u);
  // The folder shows in the system's own form.
  EXPECT_EQ(w.controls.at(kSettingsFolderField).text, tmp.Native("old/"));
  EXPECT_EQ(w.controls.at(kSettingsFreeSpace).text,
            testing::SystemText("Verfügbarer Speicher auf Datenträger: ") +
                FreeSpaceText(t.app.BackupFolder));
  EXPECT_EQ(w.controls.at(kSettingsEngineBox).items,
            (std::vector<std::string>{"Densepress", "JCalG1", "ZLIB"}));
  EXPECT_EQ(w.controls.at(kSettingsEngineBox).value, 2);
  // Level 9 is the ninth entry.
  EXPECT_EQ(w.controls.at(kSettingsLevelBox).value, 8);
  EXPECT_EQ(w.controls.at(kSettingsLevelBox).items.at(8), "9");
  EXPECT_EQ(w.controls.at(kSettingsActionBox).items.size(), 4u);
  EXPECT_EQ(w.controls.at(kSettingsActionBox).value, 1);
  EXPECT_EQ(w.controls.at(kSettingsNotifyBox).items.size(), 2u);
  EXPECT_EQ(w.controls.at(kSettingsNotifyBox).value, 0);
}

// A setting the program cannot use shows as the file holds it, so the user sees what to
// mend; Cancel keeps it.
TEST_F(SettingsWindowTest, ShowsAnUnusableSettingAsTheFileHoldsIt) {
  t.app.BackupFolder = "";
  t.app.SaveFolderText = "\\\\server\\share\\Backups";
  Click(kSettingsCancelButton);
  SettingsWindow(t.desk);
  EXPECT_EQ(Closed().controls.at(kSettingsFolderField).text, "\\\\server\\share\\Backups");
  EXPECT_EQ(t.app.BackupFolder, "");
}

TEST_F(SettingsWindowTest, CancelDiscardsAFolderChosenWithChange) {
  t.tk.QueueFolder(tmp.Internal("new\\"));
  Click(kSettingsChangeButton);
  Click(kSettingsCancelButton);
  SettingsWindow(t.desk);
  EXPECT_EQ(t.tk.folder_titles, (std::vector<std::string>{testing::SystemText(
                                    "Bitte wählen Sie einen Pfad für die Backups")}));
  EXPECT_EQ(Closed().controls.at(kSettingsFolderField).text, tmp.Native("new/"));
  EXPECT_EQ(t.app.BackupFolder, tmp.Internal("old\\"));
}

TEST_F(SettingsWindowTest, OkTakesFolderEngineLevelAndAction) {
  t.app.BackupFolder = tmp.Internal("missing\\");
  EnableCreateButton(t.desk);
  ASSERT_FALSE(t.tk.FindControl(ui::kMainWindow, ui::kCreateButton)->enabled);

  t.tk.QueueFolder(tmp.Internal("new\\"));
  t.tk.QueueFolder("");  // a second Change, cancelled: the field keeps the first choice
  Click(kSettingsChangeButton);
  Click(kSettingsChangeButton);
  t.tk.on_wait = [](HeadlessToolkit& tk) {
    tk.SetValue(kWindow, kSettingsEngineBox, 1);
    tk.SetValue(kWindow, kSettingsLevelBox, 0);  // "1"
    tk.SetValue(kWindow, kSettingsActionBox, 3);
    return ui::Event{EventType::kLeftClick, kWindow, kSettingsOkButton};
  };
  SettingsWindow(t.desk);
  EXPECT_EQ(t.app.BackupFolder, tmp.Internal("new\\"));
  EXPECT_EQ(t.app.Engine, 1);
  EXPECT_EQ(t.app.Level, 1);
  EXPECT_EQ(t.app.DoubleClickAction, 3);
  EXPECT_TRUE(t.tk.FindControl(ui::kMainWindow, ui::kCreateButton)->enabled);
}

TEST_F(SettingsWindowTest, OutOfRangeSettingsSurviveOkAndCloseCountsAsCancel) {
  t.app.Engine = 7;
  t.app.Level = 0;
  Click(kSettingsOkButton);
  SettingsWindow(t.desk);
  EXPECT_EQ(t.app.Engine, 7);
  EXPECT_EQ(t.app.Level, 0);

  // Nothing scripted: the headless toolkit asks to close the window, which drops changes.
  t.tk.on_wait = nullptr;
  t.tk.QueueFolder(tmp.Internal("new\\"));
  Click(kSettingsChangeButton);
  SettingsWindow(t.desk);
  EXPECT_EQ(t.app.BackupFolder, tmp.Internal("old\\"));
  EXPECT_FALSE(t.tk.WindowExists(kWindow));
}

}  // namespace
}  // namespace sk
