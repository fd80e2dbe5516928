#include "core/size_text.h"

#include <gtest/gtest.h>

#include <utility>

#include "core/text_table.h"

namespace sk {
namespace {

TEST(ByteSizeTextTest, StepsOf1024WithOneDecimal) {
  const std::pair<int64_t, const char*> kCases[] = {
      {0, "0 Bytes "},
      {1023, "1023 Bytes "},
      {1024, "1.0 KB "},
      {1536, "1.5 KB "},
      {1048576, "1.0 MB "},
      {1073741823, "1024.0 MB "},  // just below a step keeps the lower unit
      {1073741824, "1.0 GB "},
      {int64_t{1} << 40, "1.0 TB "},
      {int64_t{3} << 50, "3.0 PB "},
      {9223372036854775807, "8.0 EB "},
  };
  for (const auto& [bytes, text] : kCases) {
    EXPECT_EQ(ByteSizeText(bytes, 1), text) << bytes;
  }
}

TEST(ByteSizeTextTest, DecimalsApplyAboveBytesOnlyAndNegativeCountsStayBytes) {
  EXPECT_EQ(ByteSizeText(1000, 3), "1000 Bytes ");
  EXPECT_EQ(ByteSizeText(1126, 0), "1 KB ");
  EXPECT_EQ(ByteSizeText(1126, 2), "1.10 KB ");
  EXPECT_EQ(ByteSizeText(-1, 1), "-1 Bytes ");
  EXPECT_EQ(ByteSizeText(-5000, 1), "-5000 Bytes ");
}

class DurationTextTest : public ::testing::Test {
 protected:
  void SetUp() override { FillDefaultTexts(texts_); }
  TextTable texts_;
};

TEST_F(DurationTextTest, HoursWithTwoDecimalsElseWholeMinutesOrSeconds) {
  const std::pair<int32_t, const char*> kCases[] = {
      {5400000, "1.50 Stunde(n)"},     {3600000, "1.00 Stunde(n)"}, {3599999, "59 Minute(n)"},
      {119999, "1 Minute(n)"},         {90000, "1 Minute(n)"},      {59999, "59 Sekunde(n)"},
      {999, "0 Sekunde(n)"},           {-5000, "0 Sekunde(n)"},     {0, "0 Sekunde(n)"},
      {INT32_MAX, "596.52 Stunde(n)"}, {INT32_MIN, "0 Sekunde(n)"},
  };
  for (const auto& [ms, text] : kCases) {
    EXPECT_EQ(DurationText(texts_, ms), text) << ms;
  }
}

TEST_F(DurationTextTest, UnitsComeFromTheCatalogTexts) {
  texts_.slots[57] = "second(s)";
  texts_.slots[58] = "minute(s)";
  texts_.slots[59] = "hour(s)";
  EXPECT_EQ(DurationText(texts_, 7200000), "2.00 hour(s)");
  EXPECT_EQ(DurationText(texts_, 61000), "1 minute(s)");
  EXPECT_EQ(DurationText(texts_, 1000), "1 second(s)");
}

TEST_F(DurationTextTest, ACommaInAUnitShiftsTheUnitsAfterIt) {
  // The units are joined with "," and split again: "Min,uten" becomes two fields.
  texts_.slots[58] = "Min,uten";
  EXPECT_EQ(DurationText(texts_, 30000), "30 Sekunde(n)");
  EXPECT_EQ(DurationText(texts_, 120000), "2 Min");
  EXPECT_EQ(DurationText(texts_, 3600000), "1.00 uten");
  texts_.slots[57] = "Sek,";
  EXPECT_EQ(DurationText(texts_, 2000), "2 Sek");
  EXPECT_EQ(DurationText(texts_, 120000), "2 ");
}

}  // namespace
}  // namespace sk
