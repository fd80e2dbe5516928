// On Windows the windows show the ANSI code page: the built-in German texts, the shipped
// UTF-8 catalogs and their file names all reach the windows in it.
#ifdef _WIN32
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "core/text_table.h"
#include "platform/file_system.h"
#include "shell/catalog.h"
#include "shell/settings.h"
#include "support/test_support.h"

namespace sk {
namespace {

std::string Ansi(const std::wstring& wide) {
  const int length = WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()),
                                         nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), text.data(), length,
                      nullptr, nullptr);
  return text;
}

class WindowsTextTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_.MakeFolder("program/Catalogs");
    app_.ProgramFolder = folder_.Internal("program/");
    FillDefaultTexts(app_.Texts);
  }

  testing::TempFolder folder_;
  AppState app_;
};

TEST_F(WindowsTextTest, BuiltInTextsAreInTheCodePage) {
  EXPECT_EQ(app_.Text(14), Ansi(L"Gr\u00F6\u00DFe"));
  EXPECT_EQ(app_.Text(4), Ansi(L"\u00C4ndern"));
  EXPECT_EQ(app_.Text(2), "Einstellungen");
}

TEST_F(WindowsTextTest, OnlyCatalogsMarkedAsUtf8AreConverted) {
  folder_.Write("program/Catalogs/Marked.catalog",
                "\xEF\xBB\xBF[CATALOG]\r\n002 = R\xC3\xA9glages\r\n");
  app_.Catalog = "Marked.catalog";
  LoadCatalog(app_);
  EXPECT_EQ(app_.Text(2), Ansi(L"R\u00E9glages"));

  // Without the mark the bytes are the code page's already, even where they would also be
  // UTF-8.
  folder_.Write("program/Catalogs/Plain.catalog",
                "[CATALOG]\r\n002 = R\xE9glages\r\n003 = \xC3\xA9\r\n");
  app_.Catalog = "Plain.catalog";
  LoadCatalog(app_);
  EXPECT_EQ(app_.Text(2), "R\xE9glages");
  EXPECT_EQ(app_.Text(3), "\xC3\xA9");
}

TEST_F(WindowsTextTest, ACatalogNamedInUtf8IsFoundUnderItsSystemName) {
  const std::string french = Ansi(L"Fran\u00E7ais.catalog");
  folder_.Write("program/Catalogs/" + french, "[CATALOG]\r\n011 = Quitter\r\n");
  // As the Linux program writes the setting.
  folder_.Write("settings/Settings.ini",
                "[Language]\r\nCatalog = Fran\xC3\xA7"
                "ais.catalog\r\n");
  LoadSettings(app_, folder_.Internal("settings/"));
  EXPECT_EQ(app_.Catalog, french);
  LoadCatalog(app_);
  EXPECT_EQ(app_.Text(11), "Quitter");
  // The Language menu lists the file under the same name.
  const std::vector<std::string> names = ListCatalogFiles(CatalogFolder(app_));
  ASSERT_EQ(names.size(), 1u);
  EXPECT_EQ(names[0], french);
}

}  // namespace
}  // namespace sk

#endif  // _WIN32
