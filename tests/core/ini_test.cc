#include "core/ini.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/file_system.h"
#include "support/test_support.h"

namespace sk {
namespace {

TEST(IniReaderTest, LinesFollowTheReadingRules) {
  IniReader ini;
  ini.LoadText(
      "\xEF\xBB\xBF[First]\r\n"
      "  \t; a = comment, not an entry\r\n"
      "\t  Name\t =  \t spaced value \t \r\n"
      "Equation = a = b\r\n"
      "NoEquals\r\n"
      "[Open group\r\n"
      "Key = in the open group\r\n");

  ASSERT_TRUE(ini.SelectGroup("First"));  // the byte-order mark is not part of the name
  EXPECT_EQ(ini.ReadText("Name", "-"), "spaced value");
  EXPECT_EQ(ini.ReadText("Equation", "-"), "a = b");
  EXPECT_EQ(ini.ReadText("; a", "-"), "-");
  EXPECT_EQ(ini.ReadText("NoEquals", "-"), "");
  EXPECT_EQ(ini.ReadText("Key", "-"), "-");  // belongs to the next group

  ASSERT_TRUE(ini.SelectGroup("Open group"));  // a group name runs to the line end
  EXPECT_EQ(ini.ReadText("Key", "-"), "in the open group");
}

TEST(IniReaderTest, IndexValuesKeepTheBlanksAtTheirEnd) {
  // A file name may end in a blank; trimming it would name another file.
  const char kText[] = "[REMOVED]\r\n1 = Z:\\Data\\name  \r\n2 =\tZ:\\Data\\b\r\n";
  IniReader index(IniReader::ValueEnds::kKeepTrailingBlanks);
  index.LoadText(kText);
  ASSERT_TRUE(index.SelectGroup("REMOVED"));
  EXPECT_EQ(index.ReadNumberedValues(),
            (std::vector<std::string>{"Z:\\Data\\name  ", "Z:\\Data\\b"}));

  IniReader settings;
  settings.LoadText(kText);
  ASSERT_TRUE(settings.SelectGroup("REMOVED"));
  EXPECT_EQ(settings.ReadText("1", "-"), "Z:\\Data\\name");
}

TEST(IniReaderTest, GroupsAndKeysIgnoreCaseAndTheFirstMatchWins) {
  IniReader ini;
  ini.LoadText(
      "[packer]\nlevel = 5\nLEVEL = 6\n"
      "[Other]\nEngine = 2\n"
      "[PACKER]\nEngine = 1\n");
  ASSERT_TRUE(ini.SelectGroup("Packer"));
  EXPECT_EQ(ini.ReadNumber("Level", 9), 5);
  // The second [PACKER] group is never selected, so its Engine is not seen.
  EXPECT_EQ(ini.ReadNumber("Engine", 7), 7);

  EXPECT_FALSE(ini.SelectGroup("Missing"));
  EXPECT_EQ(ini.ReadNumber("Level", 9), 9);  // a failed selection selects nothing
  EXPECT_EQ(ini.ReadText("Engine", "x"), "x");
}

TEST(IniReaderTest, NumbersConvertLikeAtoi) {
  IniReader ini;
  ini.LoadText(
      "[N]\r\nPlain = 42\r\nSigned = -17\r\nPlus = +3\r\nTrailing = 12abc\r\n"
      "Letters = x\r\nEmpty =\r\nHuge = 99999999999\r\nTiny = -99999999999\r\n");
  ASSERT_TRUE(ini.SelectGroup("N"));
  EXPECT_EQ(ini.ReadNumber("Plain", 0), 42);
  EXPECT_EQ(ini.ReadNumber("Signed", 0), -17);
  EXPECT_EQ(ini.ReadNumber("Plus", 0), 3);
  EXPECT_EQ(ini.ReadNumber("Trailing", 0), 12);
  EXPECT_EQ(ini.ReadNumber("Letters", 9), 0);
  EXPECT_EQ(ini.ReadNumber("Empty", 9), 0);
  EXPECT_EQ(ini.ReadNumber("Missing", 9), 9);
  EXPECT_EQ(ini.ReadNumber("Huge", 0), INT32_MAX);
  EXPECT_EQ(ini.ReadNumber("Tiny", 0), INT32_MIN);
}

TEST(IniReaderTest, LoneLineFeedsAndCarriageReturnsEndLinesToo) {
  IniReader ini;
  ini.LoadText("[A]\nOne = 1\rTwo = 2\r\n\r\nThree = 3");
  ASSERT_TRUE(ini.SelectGroup("a"));
  EXPECT_EQ(ini.ReadNumber("One", 0), 1);
  EXPECT_EQ(ini.ReadNumber("Two", 0), 2);
  EXPECT_EQ(ini.ReadNumber("Three", 0), 3);
}

TEST(IniReaderTest, NumberedValuesStopAtTheFirstGapOrEmptyValue) {
  IniReader ini;
  ini.LoadText(
      "[ADDED]\n2 = second\n1 = first\n1 = shadowed\n01 = not a number key\n3 = third\n"
      "5 = after the gap\n"
      "[CHANGED]\n1 = only\n2 =\n3 = after the empty value\n");
  ASSERT_TRUE(ini.SelectGroup("ADDED"));
  EXPECT_EQ(ini.ReadNumberedValues(), (std::vector<std::string>{"first", "second", "third"}));
  ASSERT_TRUE(ini.SelectGroup("CHANGED"));
  EXPECT_EQ(ini.ReadNumberedValues(), std::vector<std::string>{"only"});
  EXPECT_FALSE(ini.SelectGroup("REMOVED"));
  EXPECT_TRUE(ini.ReadNumberedValues().empty());
}

TEST(IniWriterTest, WritesGroupLinesOnlyBeforeTheirFirstLine) {
  IniWriter ini;
  ini.Comment("Header");
  ini.Comment("");
  ini.SelectGroup("Never written");
  ini.SelectGroup("Packer");
  ini.Comment("");
  ini.Entry("Engine", int64_t{-2});
  ini.Entry("Name", "a = b");
  EXPECT_EQ(ini.Text(), "; Header\r\n; \r\n[Packer]\r\n; \r\nEngine = -2\r\nName = a = b\r\n");
}

class IniFileTest : public ::testing::Test {
 protected:
  void TearDown() override { platform::ClearFaults(); }

  // Names left in the folder other than the expected file: temporary files must not stay.
  std::vector<std::string> Leftovers(const std::string& expected) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder_.Native())) {
      std::string name = entry.path().filename().string();
      if (name != expected) names.push_back(name);
    }
    return names;
  }

  testing::TempFolder folder_;
};

TEST_F(IniFileTest, SaveReplacesTheFileAndLoadReadsItBack) {
  folder_.Write("Settings.ini", "old content that is much longer than the new one\r\n");
  IniWriter writer;
  writer.SelectGroup("Folders");
  writer.Entry("SaveFolder", "/home/ann/Backups/");
  ASSERT_TRUE(writer.Save(folder_.Internal("Settings.ini")));
  EXPECT_EQ(folder_.Read("Settings.ini"), writer.Text());
  EXPECT_TRUE(Leftovers("Settings.ini").empty());

  IniReader reader;
  ASSERT_TRUE(reader.Load(folder_.Internal("Settings.ini")));
  ASSERT_TRUE(reader.SelectGroup("folders"));
  EXPECT_EQ(reader.ReadText("savefolder", ""), "/home/ann/Backups/");
}

TEST_F(IniFileTest, AFailedSaveKeepsTheOldFileAndLeavesNoTemporaryFile) {
  IniWriter writer;
  writer.Entry("Key", "new");
  for (platform::FaultOp op :
       {platform::FaultOp::kOpen, platform::FaultOp::kWrite, platform::FaultOp::kRename}) {
    folder_.Write("Index.ini", "Key = old\r\n");
    platform::InjectFault(op, "Index.ini");
    EXPECT_FALSE(writer.Save(folder_.Internal("Index.ini")));
    platform::ClearFaults();
    EXPECT_EQ(folder_.Read("Index.ini"), "Key = old\r\n");
    EXPECT_TRUE(Leftovers("Index.ini").empty());
  }
}

TEST_F(IniFileTest, LoadFailsForMissingFilesAndFolders) {
  IniReader reader;
  reader.LoadText("[A]\nB = 1\n");
  EXPECT_FALSE(reader.Load(folder_.Internal("missing.ini")));
  EXPECT_FALSE(reader.SelectGroup("A"));  // a failed load leaves nothing behind
  folder_.MakeFolder("folder.ini");
  EXPECT_FALSE(reader.Load(folder_.Internal("folder.ini")));
  folder_.Write("empty.ini", "");
  EXPECT_TRUE(reader.Load(folder_.Internal("empty.ini")));
}

}  // namespace
}  // namespace sk
