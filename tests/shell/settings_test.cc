#include "shell/settings.h"

#include <gtest/gtest.h>

#include "platform/file_system.h"
#include "shell/catalog.h"
#include "shell/shell_test_env.h"
#include "support/test_support.h"

namespace sk {
namespace {

// A program folder with a Catalogs folder beside it, and a settings folder.
class SettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    env_.Language("en_US.UTF-8");
    folder_.Write("program/Catalogs/English.catalog", "[CATALOG]\r\n002 = Settings\r\n");
    folder_.Write("program/Catalogs/Deutsch.catalog", "[CATALOG]\r\n");
    folder_.MakeFolder("settings");
    app_.ProgramFolder = folder_.Internal("program/");
  }

  void LoadFrom(const std::string& file_text) {
    folder_.Write("settings/Settings.ini", file_text);
    LoadSettings(app_, folder_.Internal("settings/"));
  }

  testing::ScopedEnvironment env_;
  testing::TempFolder folder_;
  AppState app_;
};

// The defaults, as the file holds them line by line.
constexpr char kDefaultFile[] =
    "; Stowkeeper Configuration\r\n"
    "; \r\n"
    "[MainWindow]\r\n"
    "; \r\n"
    "ViewMode = 0\r\n"
    "ColumnWidth = 343\r\n"
    "WinX = 200\r\n"
    "WinY = 200\r\n"
    "WinWidth = 599\r\n"
    "WinHeight = 500\r\n"
    "; \r\n"
    "[Folders]\r\n"
    "; \r\n"
    "SaveFolder = \r\n"
    "; \r\n"
    "[Packer]\r\n"
    "; \r\n"
    "Engine = 0\r\n"
    "Level = 9\r\n"
    "; \r\n"
    "[DoubleClick]\r\n"
    "; \r\n"
    "Action = 0\r\n"
    "; \r\n"
    "[Language]\r\n"
    "; \r\n"
    "Catalog = English.catalog\r\n"
    "; \r\n"
    "[Schedule]\r\n"
    "; \r\n"
    "NotifySuccess = 0\r\n";

TEST_F(SettingsTest, WithoutAFileEverySettingHasItsDefault) {
  LoadSettings(app_, folder_.Internal("settings/"));
  EXPECT_EQ(SettingsText(app_), kDefaultFile);
}

TEST_F(SettingsTest, AFileWithOnlyTheLevelKeepsEveryOtherDefault) {
  LoadFrom("[Packer]\r\nLevel=3\r\n");
  EXPECT_EQ(app_.Level, 3);
  app_.Level = 9;
  EXPECT_EQ(SettingsText(app_), kDefaultFile);
}

TEST_F(SettingsTest, NotifySuccessIsReadAsOnOrOff) {
  LoadFrom("[Schedule]\r\nNotifySuccess = 1\r\n");
  EXPECT_EQ(app_.NotifySuccess, 1);
  EXPECT_NE(SettingsText(app_).find("[Schedule]\r\n; \r\nNotifySuccess = 1\r\n"),
            std::string::npos);
  LoadFrom("[Schedule]\r\nNotifySuccess = 7\r\n");
  EXPECT_EQ(app_.NotifySuccess, 1);
}

TEST_F(SettingsTest, GroupAndKeyNamesIgnoreCase) {
  LoadFrom("[packer]\r\nlevel = 5\r\n[mainwindow]\r\nVIEWMODE = 16777216\r\n");
  EXPECT_EQ(app_.Level, 5);
  EXPECT_EQ(app_.ViewMode, kViewMaximized);
}

TEST_F(SettingsTest, NonNumericAndEmptyValuesGiveZero) {
  LoadFrom("[MainWindow]\r\nWinX = abc\r\nWinY =\r\n[Packer]\r\nEngine = x\r\nLevel =\r\n");
  EXPECT_EQ(app_.WinX, 0);
  EXPECT_EQ(app_.WinY, 0);
  EXPECT_EQ(app_.Engine, 0);
  EXPECT_EQ(app_.Level, 0);
  EXPECT_EQ(app_.WinWidth, 599);  // missing keys keep their defaults
}

TEST_F(SettingsTest, AnEngineOutsideTheKnownOnesIsTakenAsTheFirst) {
  const std::pair<const char*, int32_t> kCases[] = {
      {"2", 2}, {"1", 1}, {"3", 0}, {"-1", 0}, {"65536", 0}};
  for (const auto& [value, engine] : kCases) {
    app_.Engine = 0;
    LoadFrom(std::string("[Packer]\r\nEngine = ") + value + "\r\n");
    EXPECT_EQ(app_.Engine, engine) << value;
  }
}

TEST_F(SettingsTest, TheBackupFolderIsANativePathInTheFile) {
  folder_.MakeFolder("backups");
  const std::string native = folder_.Native("backups");
  LoadFrom("[Folders]\r\nSaveFolder = " + native + "\r\n");
  EXPECT_EQ(app_.BackupFolder, folder_.Internal("backups/"));  // a separator is added
  EXPECT_NE(SettingsText(app_).find("\r\nSaveFolder = " + platform::NativePath(app_.BackupFolder) +
                                    "\r\n"),
            std::string::npos);
#ifndef _WIN32
  LoadFrom("[Folders]\r\nSaveFolder = Z:\\srv\\Backups\\\r\n");
  EXPECT_EQ(app_.BackupFolder, "Z:\\srv\\Backups\\");
#endif
  LoadFrom("[Folders]\r\nSaveFolder =\r\n");
  EXPECT_EQ(app_.BackupFolder, "");
}

// A share that is offline today, a folder that is gone, a path of the other system: the
// program cannot use them now, but the user's setting stays in the file as it was, until
// they choose another folder.
TEST_F(SettingsTest, AnUnusableBackupFolderIsKeptAsItWasUntilAnotherIsChosen) {
  folder_.MakeFolder("backups");
  const std::string settings = folder_.Internal("settings/");
  for (const std::string& kept :
       {std::string("\\\\server\\share\\Backups"), std::string("\\\\server\\share\\My Backups\\"),
        folder_.Native("gone") + "/..//gone", std::string("C:\\Backups\\missing"),
        std::string("/home/ann/no such folder"), folder_.Native("backups") + "\x01x"}) {
    LoadFrom("[Folders]\r\nSaveFolder = " + kept + "\r\n");
    ASSERT_TRUE(SaveSettings(app_, settings));
    EXPECT_NE(folder_.Read("settings/Settings.ini").find("\r\nSaveFolder = " + kept + "\r\n"),
              std::string::npos)
        << kept;
    // Read and saved again: still the same text.
    LoadSettings(app_, settings);
    EXPECT_EQ(app_.SaveFolderText, kept);
    EXPECT_EQ(SettingsText(app_), folder_.Read("settings/Settings.ini"));
  }
  // A folder the user chose replaces the kept text.
  app_.BackupFolder = folder_.Internal("backups/");
  EXPECT_NE(SettingsText(app_).find("\r\nSaveFolder = " + platform::NativePath(app_.BackupFolder) +
                                    "\r\n"),
            std::string::npos);
}

// The program would work on another folder than the value names: the one that the part
// before a NUL names, or on Linux the one a "\" that belongs to a name makes a separator of.
TEST_F(SettingsTest, ABackupFolderThatCannotBeNamedIsNoneChosen) {
  folder_.MakeFolder("backups");
  LoadFrom("[Folders]\r\nSaveFolder = " + folder_.Native("backups") + std::string(1, '\0') +
           "x\r\n");
  EXPECT_EQ(app_.BackupFolder, "");
  LoadFrom("[Folders]\r\nSaveFolder = " + folder_.Native("a\tb") + "\r\n");
  EXPECT_EQ(app_.BackupFolder, "");
#ifndef _WIN32
  LoadFrom("[Folders]\r\nSaveFolder = /home/ann/a\\b\r\n");
  EXPECT_EQ(app_.BackupFolder, "");
#endif
}

TEST_F(SettingsTest, ACatalogThatExistsWinsOverTheUsersLanguage) {
#ifdef _WIN32
  // The user's language is the system's, which a test cannot change.
  const std::string users = DefaultCatalogName();
#else
  env_.Language("fr_FR.UTF-8");
  const std::string users = "Français.catalog";
#endif
  LoadFrom("[Language]\r\nCatalog = Deutsch.catalog\r\n");
  EXPECT_EQ(app_.Catalog, "Deutsch.catalog");
  LoadFrom("[Language]\r\nCatalog = Klingon.catalog\r\n");
  EXPECT_EQ(app_.Catalog, users);  // even though that file is missing too
  folder_.MakeFolder("program/Catalogs/Folder.catalog");
  LoadFrom("[Language]\r\nCatalog = Folder.catalog\r\n");
  EXPECT_EQ(app_.Catalog, users);
  LoadFrom("[Language]\r\nCatalog =\r\n");  // names the folder itself
  EXPECT_EQ(app_.Catalog, users);
  // A name with a path in it would read a file outside the Catalogs folder, though one is
  // there.
  folder_.Write("program/Outside.catalog", "[CATALOG]\r\n002 = Outside\r\n");
  for (const char* name :
       {"../Outside.catalog", "..\\Outside.catalog", "Sub/../../Outside.catalog"}) {
    LoadFrom(std::string("[Language]\r\nCatalog = ") + name + "\r\n");
    EXPECT_EQ(app_.Catalog, users) << name;
    app_.Catalog = name;
    LoadCatalog(app_);
    EXPECT_NE(app_.Text(2), "Outside") << name;
  }
}

// The user's language comes from the locale variables on Linux only.
#ifndef _WIN32

TEST_F(SettingsTest, GermanUserWithoutAGermanCatalogKeepsTheBuiltInTexts) {
  env_.Language("de_DE.UTF-8");
  folder_.Remove("program/Catalogs/Deutsch.catalog");
  FillDefaultTexts(app_.Texts);
  LoadSettings(app_, folder_.Internal("settings/"));
  LoadCatalog(app_);
  EXPECT_EQ(app_.Catalog, "Deutsch.catalog");
  EXPECT_EQ(app_.Text(2), "Einstellungen");
  ASSERT_TRUE(SaveSettings(app_, folder_.Internal("settings/")));
  EXPECT_NE(folder_.Read("settings/Settings.ini").find("Catalog = Deutsch.catalog\r\n"),
            std::string::npos);
}
#endif  // _WIN32

TEST_F(SettingsTest, SavingReplacesTheFileInOneStepAndRemovesWhatAnInterruptedSaveLeft) {
  folder_.Write("settings/~Settings.ini.0123456789abcdef.tmp", "cut short");
  folder_.Write("settings/~Settings.ini.tmp", "an older program's");
  folder_.Write("settings/~Settings.ini.mine.tmp", "not the program's");
  ASSERT_TRUE(SaveSettings(app_, folder_.Internal("settings/")));
  EXPECT_EQ(folder_.Names("settings"),
            (std::vector<std::string>{"Settings.ini", "~Settings.ini.mine.tmp"}));
}

TEST_F(SettingsTest, ASavedFileHoldsExactlyTheKnownLines) {
  LoadFrom(
      "; hand-edited\r\n[Extra]\r\nKey = 1\r\n[MainWindow]\r\nViewMode = 16777216\r\n"
      "WinX = -8\r\nUnknown = 3\r\n[Packer]\r\nEngine = 2\r\nLevel = 1\r\n");
  ASSERT_TRUE(SaveSettings(app_, folder_.Internal("settings/")));
  std::string expected = kDefaultFile;
  expected.replace(expected.find("ViewMode = 0"), 12, "ViewMode = 16777216");
  expected.replace(expected.find("WinX = 200"), 10, "WinX = -8");
  expected.replace(expected.find("Engine = 0"), 10, "Engine = 2");
  expected.replace(expected.find("Level = 9"), 9, "Level = 1");
  EXPECT_EQ(folder_.Read("settings/Settings.ini"), expected);

  // Read back, the file gives the same settings.
  AppState again;
  again.ProgramFolder = app_.ProgramFolder;
  LoadSettings(again, folder_.Internal("settings/"));
  EXPECT_EQ(SettingsText(again), expected);
}

TEST_F(SettingsTest, SettingsFolderFollowsTheConfigurationVariables) {
#ifdef _WIN32
  env_.Set("APPDATA", "C:\\Users\\ann\\AppData\\Roaming");
  EXPECT_EQ(UserSettingsFolder(), "C:\\Users\\ann\\AppData\\Roaming\\Stowkeeper\\");
  env_.Set("APPDATA", "");
  EXPECT_EQ(UserSettingsFolder(), "");
#else
  env_.Set("XDG_CONFIG_HOME", "/srv/config");
  env_.Set("HOME", "/home/ann");
  EXPECT_EQ(UserSettingsFolder(), "Z:\\srv\\config\\Stowkeeper\\");
  env_.Set("XDG_CONFIG_HOME", "relative/config");  // not absolute: not usable
  EXPECT_EQ(UserSettingsFolder(), "Z:\\home\\ann\\.config\\Stowkeeper\\");
  env_.Set("XDG_CONFIG_HOME", "");
  EXPECT_EQ(UserSettingsFolder(), "Z:\\home\\ann\\.config\\Stowkeeper\\");
  env_.Set("HOME", "");
  EXPECT_EQ(UserSettingsFolder(), "");
#endif
}

TEST_F(SettingsTest, CreateFolderChainCreatesEveryMissingParent) {
  EXPECT_TRUE(CreateFolderChain(folder_.Internal("a/b/c/")));
  EXPECT_TRUE(folder_.Exists("a/b/c"));
  EXPECT_TRUE(CreateFolderChain(folder_.Internal("a/b/c/")));
  folder_.Write("file", "x");
  EXPECT_FALSE(CreateFolderChain(folder_.Internal("file/sub/")));
}

}  // namespace
}  // namespace sk
