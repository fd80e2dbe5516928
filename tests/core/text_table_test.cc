#include "core/text_table.h"

#include <gtest/gtest.h>

#include <string>

#include "core/ini.h"
#include "platform/file_system.h"
#include "support/test_support.h"

namespace sk {
namespace {

TEST(TextTableTest, FillsTheTableSlotsAndNothingElse) {
  TextTable texts;
  FillDefaultTexts(texts);
  EXPECT_EQ(texts[0], "");
  EXPECT_EQ(texts[kTextCount + 1], "");
  EXPECT_EQ(texts[300], "");
  EXPECT_EQ(texts[301], "");  // beyond the table: the empty text, not a crash
  EXPECT_EQ(texts[-1], "");
  for (int n = 1; n <= 300; ++n) EXPECT_EQ(texts[n].empty(), !IsTextKey(n)) << n;
  EXPECT_TRUE(texts[kScheduleTextFirst - 1].empty());
  EXPECT_FALSE(texts[kScheduleTextLast].empty());
  // Texts the program's logic depends on.
  EXPECT_EQ(texts[7], "Abbrechen");
  EXPECT_EQ(texts[38],
            testing::SystemText("Datei %FILE% bereits vorhanden, möchten Sie sie ersetzen ?"));
  EXPECT_EQ(texts[57], "Sekunde(n)");
  EXPECT_EQ(texts[84], "Index");
}

// The German catalog shipped beside the program repeats the built-in texts, so that
// switching back to German restores every text; the two must not drift apart.
TEST(TextTableTest, BuiltInTextsEqualTheGermanCatalog) {
  TextTable texts;
  FillDefaultTexts(texts);
  IniReader catalog;
  ASSERT_TRUE(catalog.Load(
      platform::InternalPath(std::string(SK_SOURCE_DIR) + "/catalogs/Deutsch.catalog")));
  ASSERT_TRUE(catalog.SelectGroup("CATALOG"));
  for (int n = 1; n <= kScheduleTextLast; ++n) {
    if (!IsTextKey(n)) continue;
    char key[4];
    std::snprintf(key, sizeof key, "%03d", n);
    EXPECT_EQ(texts[n], testing::SystemText(catalog.ReadText(key, "<missing>"))) << key;
  }
}

}  // namespace
}  // namespace sk
