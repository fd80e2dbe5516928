#include "shell/catalog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "platform/file_system.h"
#include "shell/shell_test_env.h"
#include "support/test_support.h"

namespace sk {
namespace {

class CatalogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_.MakeFolder("program/Catalogs");
    app_.ProgramFolder = folder_.Internal("program/");
    FillDefaultTexts(app_.Texts);
  }

  void Load(const std::string& name, const std::string& text) {
    folder_.Write("program/Catalogs/" + name, text);
    app_.Catalog = name;
    LoadCatalog(app_);
  }

  testing::ScopedEnvironment env_;
  testing::TempFolder folder_;
  AppState app_;
};

TEST_F(CatalogTest, ACatalogChangesOnlyTheTextsItHolds) {
  TextTable german = app_.Texts;
  Load("Mini.catalog", "; only one text\r\n[CATALOG]\r\n002 = Settings\r\n");
  for (int n = 1; n <= kTextCount; ++n) {
    if (n != 2) {
      EXPECT_EQ(app_.Text(n), german[n]) << n;
    }
  }
  EXPECT_EQ(app_.Text(2), "Settings");
}

TEST_F(CatalogTest, ASecondCatalogDoesNotBringBackTheGermanTexts) {
  std::filesystem::copy(std::string(SK_SOURCE_DIR) + "/catalogs/English.catalog",
                        folder_.Native("program/Catalogs/English.catalog"));
  app_.Catalog = "English.catalog";
  LoadCatalog(app_);
  const std::string english_exit = app_.Text(11);
  ASSERT_NE(english_exit, "Beenden");
  Load("Partial.catalog", "[CATALOG]\r\n044 = Fermer\r\n");
  EXPECT_EQ(app_.Text(11), english_exit);
  EXPECT_EQ(app_.Text(44), "Fermer");
}

TEST_F(CatalogTest, KeysMustHaveThreeDigits) {
  Load("Short.catalog", "[CATALOG]\r\n1 = One\r\n02 = Two\r\n0003 = Three\r\n004 = Four\r\n");
  EXPECT_EQ(app_.Text(1), testing::SystemText("Bitte wählen Sie ein Quellverzeichniss!"));
  EXPECT_EQ(app_.Text(2), "Einstellungen");
  EXPECT_EQ(app_.Text(3), "Speicherordner");
  EXPECT_EQ(app_.Text(4), "Four");
}

TEST_F(CatalogTest, WithoutTheGroupOrTheFileNothingChangesAndEmptyValuesCount) {
  TextTable german = app_.Texts;
  Load("NoGroup.catalog", "002 = Settings\r\n[OTHER]\r\n003 = Folder\r\n");
  app_.Catalog = "Missing.catalog";
  LoadCatalog(app_);
  app_.Catalog = "";
  LoadCatalog(app_);
  for (int n = 1; n <= kTextCount; ++n) EXPECT_EQ(app_.Text(n), german[n]) << n;
  Load("Empty.catalog", "[CATALOG]\r\n010 =\r\n");
  EXPECT_EQ(app_.Text(10), "");
  EXPECT_EQ(app_.Text(kTextCount + 1), "");  // keys beyond the table are never read
}

TEST_F(CatalogTest, TheShippedCatalogsLoad) {
  // The source tree keeps them in catalogs/, the program finds them in Catalogs/ beside it.
  std::filesystem::copy(std::string(SK_SOURCE_DIR) + "/catalogs",
                        folder_.Native("program/Catalogs"),
                        std::filesystem::copy_options::recursive);
  std::vector<std::string> names = ListCatalogFiles(CatalogFolder(app_));
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"Deutsch.catalog", "English.catalog",
                                             testing::SystemText("Español.catalog"),
                                             testing::SystemText("Français.catalog")}));
  app_.Catalog = "English.catalog";
  LoadCatalog(app_);
  EXPECT_EQ(app_.Text(7), "Cancel");
  app_.Catalog = "Deutsch.catalog";
  LoadCatalog(app_);
  EXPECT_EQ(app_.Text(7), "Abbrechen");
}

TEST_F(CatalogTest, OnlyCatalogFilesAreListed) {
  folder_.Write("program/Catalogs/b.catalog", "");
  folder_.Write("program/Catalogs/UPPER.CATALOG", "");
  folder_.Write("program/Catalogs/notes.txt", "");
  folder_.Write("program/Catalogs/old.catalog.bak", "");
  folder_.MakeFolder("program/Catalogs/folder.catalog");
  std::vector<std::string> names = ListCatalogFiles(CatalogFolder(app_));
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"UPPER.CATALOG", "b.catalog"}));
}

TEST_F(CatalogTest, TheCatalogsFolderIsBesideTheProgramElseTheInstalledOne) {
  EXPECT_EQ(CatalogFolder(app_), folder_.Internal("program/Catalogs/"));
  app_.ProgramFolder = folder_.Internal("elsewhere/");
  EXPECT_EQ(CatalogFolder(app_), platform::InternalPath(SK_INSTALL_DATADIR "/Catalogs/"));
  // Installed under another prefix than the one the build was configured with.
  folder_.MakeFolder("prefix/bin");
  folder_.Write("prefix/share/stowkeeper/Catalogs/English.catalog", "");
  app_.ProgramFolder = folder_.Internal("prefix/bin/");
  EXPECT_EQ(ListCatalogFiles(CatalogFolder(app_)), std::vector<std::string>{"English.catalog"});
}

// The user's language comes from the locale variables, and the answer words serve the
// terminal, on Linux only.
#ifndef _WIN32
TEST_F(CatalogTest, TheUsersLanguageChoosesTheDefaultCatalog) {
  env_.Language("de_AT.UTF-8");
  EXPECT_EQ(DefaultCatalogName(), "Deutsch.catalog");
  env_.Language("es_ES");
  EXPECT_EQ(DefaultCatalogName(), "Español.catalog");
  env_.Language("C.UTF-8");
  EXPECT_EQ(DefaultCatalogName(), "English.catalog");
  env_.Set("LC_MESSAGES", "fr_CA.UTF-8");  // before LANG
  EXPECT_EQ(DefaultCatalogName(), "Français.catalog");
  env_.Set("LC_ALL", "de_CH.UTF-8");  // before both
  EXPECT_EQ(DefaultCatalogName(), "Deutsch.catalog");
}

TEST_F(CatalogTest, AnswerWordsFollowTheCatalogElseGerman) {
  EXPECT_EQ(AnswerWordsFor("english.catalog").yes, "Yes");
  EXPECT_EQ(AnswerWordsFor("Français.catalog").no, "Non");
  EXPECT_EQ(AnswerWordsFor("Español.catalog").yes, "Sí");
  EXPECT_EQ(AnswerWordsFor("Klingon.catalog").yes, "Ja");
}
#endif  // _WIN32

}  // namespace
}  // namespace sk
