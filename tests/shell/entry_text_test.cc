#include "shell/entry_text.h"

#include <gtest/gtest.h>

namespace sk {
namespace {

TEST(EntryTextTest, ModesAsALongListingWritesThem) {
  EXPECT_EQ(ModeText(EntryMeta::Kind::kFile, 0755), "-rwxr-xr-x");
  EXPECT_EQ(ModeText(EntryMeta::Kind::kFolder, 0750), "drwxr-x---");
  EXPECT_EQ(ModeText(EntryMeta::Kind::kLink, 0), "lrwxrwxrwx");
  // The special bits take the execute places, in capitals where execute is not set.
  EXPECT_EQ(ModeText(EntryMeta::Kind::kFile, 04755), "-rwsr-xr-x");
  EXPECT_EQ(ModeText(EntryMeta::Kind::kFile, 02644), "-rw-r-Sr--");
  EXPECT_EQ(ModeText(EntryMeta::Kind::kFolder, 01777), "drwxrwxrwt");
  EXPECT_EQ(OctalModeText(0644), "0644");
  EXPECT_EQ(OctalModeText(04755), "4755");
}

TEST(EntryTextTest, TimesBefore1970AndAfter2038) {
  EXPECT_EQ(UtcTimeText(0), "1970-01-01T00:00:00.000000000Z");
  EXPECT_EQ(UtcTimeText(-1), "1969-12-31T23:59:59.999999999Z");
  EXPECT_EQ(UtcTimeText(-315619200LL * 1000000000 + 123456789), "1960-01-01T00:00:00.123456789Z");
  EXPECT_EQ(UtcTimeText(4102444800LL * 1000000000 + 999999999), "2100-01-01T00:00:00.999999999Z");
  EXPECT_EQ(UtcSecondsText(951782400), "2000-02-29T00:00:00Z");
}

}  // namespace
}  // namespace sk
