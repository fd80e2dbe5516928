#include "archive/set_names.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace sk {
namespace {

TEST(SetNameTest, EncodesUnderscoresSeparatorsAndTheDrive) {
  EXPECT_EQ(SetName("C:\\Data\\My_Files\\"), "C__Data_My@Files_");
  EXPECT_EQ(SetName("Z:\\home\\ann\\a_b_c\\"), "Z__home_ann_a@b@c_");
  EXPECT_EQ(SetName("D:\\"), "D__");
  EXPECT_EQ(SetName("Z:\\_\\__\\"), "Z__@_@@_");
  // Bytes other than the three escaped ones pass through.
  EXPECT_EQ(SetName("Z:\\caf\xC3\xA9 x.y-z\\"), "Z__caf\xC3\xA9 x.y-z_");
}

TEST(SetNameTest, RefusesWhatCannotBeDecoded) {
  for (const std::string refused :
       {"C:\\Data\\a@b\\", "@:\\", "Z:\\x\\@\\", "Z:\\a:b\\", "Z:\\a\\:\\", "Z::\\"}) {
    EXPECT_FALSE(CanEncodeSetName(refused)) << refused;
    EXPECT_EQ(SetName(refused), "") << refused;
  }
  EXPECT_TRUE(CanEncodeSetName("C:\\"));
  EXPECT_TRUE(CanEncodeSetName("Z:\\a_b\\"));
}

TEST(SetNameTest, GenerationFieldKeepsFourDigits) {
  EXPECT_EQ(GenerationField(0), "0000");
  EXPECT_EQ(GenerationField(7), "0007");
  EXPECT_EQ(GenerationField(42), "0042");
  EXPECT_EQ(GenerationField(9999), "9999");
  // The field has no room for a fifth digit; callers refuse such generations.
  EXPECT_EQ(GenerationField(10000), "0000");
  EXPECT_EQ(GenerationField(12345), "2345");
}

TEST(SetNameTest, FileNamesOfAGeneration) {
  const std::string set = SetName("C:\\Data\\My_Files\\");
  EXPECT_EQ(VolumeFileName(set, 0), "Backup_0000_of_C__Data_My@Files_.sk");
  EXPECT_EQ(VolumeFileName(set, 3), "Backup_0003_of_C__Data_My@Files_.sk");
  EXPECT_EQ(IndexFileName(set, 12), "Backup_0012_of_C__Data_My@Files_.ini");
  EXPECT_EQ(GenerationBaseName(set, 9999), "Backup_9999_of_C__Data_My@Files_");
  EXPECT_EQ(std::string("Backup_0000_of_").size(), kNamePrefixLength);
}

// A set's files are told apart from other sets' whose names merely begin alike.
TEST(SetNameTest, GenerationOfASetsFileName) {
  const std::string set = SetName("C:\\Data\\");
  EXPECT_EQ(GenerationOfFileName("Backup_0012_of_C__Data_.ini", set, ".ini", false), 12);
  EXPECT_EQ(GenerationOfFileName("BACKUP_0012_OF_c__data_.INI", set, ".ini", true), 12);
  EXPECT_EQ(GenerationOfFileName("BACKUP_0012_OF_c__data_.INI", set, ".ini", false), -1);
  for (const char* other : {"Backup_0012_of_C__Data_Docs_.ini", "Backup_0012_of_C__Data_.sk",
                            "Backup_00x2_of_C__Data_.ini", "Backup_012_of_C__Data_.ini",
                            "Backup-0012_of_C__Data_.ini", "Backup_0012-of_C__Data_.ini"}) {
    EXPECT_EQ(GenerationOfFileName(other, set, ".ini", true), -1) << other;
  }
  EXPECT_EQ(GenerationFieldOf("Backup_0ab3_of_C:\\"), "0ab3");
  EXPECT_EQ(GenerationFieldOf("Backup_0003"), "");
}

TEST(SetNameTest, DisplayNamesDecodeFileNames) {
  EXPECT_EQ(DisplayName("Backup_0003_of_C__Data_My@Files_.sk"),
            "Backup_0003_of_C:\\Data\\My_Files\\");
  EXPECT_EQ(DisplayName("Backup_0000_of_D__.sk"), "Backup_0000_of_D:\\");
  EXPECT_EQ(DisplayName("Backup_0001_of_Z__a@@b_.ini"), "Backup_0001_of_Z:\\a__b\\");
  // The command's source folder is the display name without its first 15 characters.
  EXPECT_EQ(DisplayName("Backup_0000_of_Z__x.y_.sk").substr(kNamePrefixLength), "Z:\\x.y\\");
}

TEST(SetNameTest, DisplayAndFileNamesRoundTrip) {
  for (const std::string source :
       {"C:\\Data\\My_Files\\", "D:\\", "Z:\\home\\ann\\", "Z:\\a_\\_b\\__\\", "Z:\\x.y\\z\\",
        "Z:\\with space\\caf\xC3\xA9\\"}) {
    for (const int32_t k : {0, 1, 9999}) {
      const std::string file = VolumeFileName(SetName(source), k);
      const std::string display = DisplayName(file);
      EXPECT_EQ(display, "Backup_" + GenerationField(k) + "_of_" + source);
      EXPECT_EQ(FileBaseName(display) + ".sk", file);
    }
  }
}

// A network path's leading "\\" encodes as "__", which a drive path never starts with: the
// lists, restore and update read the share back from the file names.
TEST(SetNameTest, NetworkSourcesRoundTrip) {
  EXPECT_EQ(SetName("\\\\server\\share\\My_Data\\"), "__server_share_My@Data_");
  EXPECT_EQ(DisplayName("Backup_0002_of___server_share_My@Data_.ini"),
            "Backup_0002_of_\\\\server\\share\\My_Data\\");
  for (const std::string source :
       {"\\\\server\\share\\", "\\\\server\\share\\Data\\", "\\\\nas.local\\b_k\\_x\\__\\"}) {
    const std::string file = IndexFileName(SetName(source), 3);
    const PointNameParts parts = ParsePointName(DisplayName(file));
    EXPECT_EQ(parts.source, source);
    EXPECT_EQ(parts.set_name, SetName(source));
    EXPECT_EQ(parts.generation, 3);
    EXPECT_EQ(SourceOfSetName(SetName(source)), source);
  }
  // The share is the root, as a drive is: its records are relative to the share itself.
  EXPECT_EQ(ParentFolder("\\\\server\\share\\"), "\\\\server\\share\\");
  EXPECT_EQ(ParentFolder("\\\\server\\share\\Data\\"), "\\\\server\\share\\");
  // An empty folder name would decode as a drive's ":\".
  EXPECT_FALSE(CanEncodeSetName("\\\\server\\share\\a\\\\b\\"));
  EXPECT_FALSE(CanEncodeSetName("C:\\a\\\\b\\"));
}

TEST(SetNameTest, ParentFolder) {
  EXPECT_EQ(ParentFolder("C:\\Data\\Docs\\"), "C:\\Data\\");
  EXPECT_EQ(ParentFolder("C:\\Data\\Docs"), "C:\\Data\\");
  EXPECT_EQ(ParentFolder("C:\\Data\\"), "C:\\");
  EXPECT_EQ(ParentFolder("C:\\Data\\Docs\\a.txt"), "C:\\Data\\Docs\\");
  // A drive root is its own parent, so record paths then carry no folder prefix.
  EXPECT_EQ(ParentFolder("D:\\"), "D:\\");
  EXPECT_EQ(ParentFolder("D:"), "D:");
  EXPECT_EQ(ParentFolder("C:\\a/b\\"), "C:\\a/");
}

TEST(SetNameTest, LowerCaseFoldsAToZOnly) {
  EXPECT_EQ(LowerCase("AbC_XYZ\\\xC3\x84"), "abc_xyz\\\xC3\x84");
  EXPECT_EQ(LowerCase("@[`{"), "@[`{");
}

TEST(SortOrderTest, CompareNoCase) {
  EXPECT_EQ(CompareNoCase("ABC", "abc"), 0);
  EXPECT_LT(CompareNoCase("a", "B"), 0);
  EXPECT_GT(CompareNoCase("b", "A"), 0);
  EXPECT_LT(CompareNoCase("ab", "abc"), 0);
  EXPECT_GT(CompareNoCase("abc", "AB"), 0);
  // "\" (0x5C) sorts before "_" (0x5F) and before every letter, even upper-case ones that
  // fold above it.
  EXPECT_LT(CompareNoCase("a\\", "a_"), 0);
  EXPECT_LT(CompareNoCase("a\\", "aA"), 0);
  EXPECT_LT(CompareNoCase("a_", "aa"), 0);
  // Bytes above 0x7F compare as unsigned values.
  EXPECT_LT(CompareNoCase("z", "\xC3\xA9"), 0);
}

TEST(SortOrderTest, AFolderComesBeforeItsContents) {
  // "." (0x2E) sorts before "\", so b.txt comes before the folder B\.
  std::vector<std::string> paths = {
      "Z:\\s\\b.txt", "Z:\\s\\A_B\\", "Z:\\s\\a\\x.txt", "Z:\\s\\A\\",    "Z:\\s\\a_b\\c.txt",
      "Z:\\s\\a b\\", "Z:\\s\\B\\",   "Z:\\s\\a\\Y\\z",  "Z:\\s\\a\\y\\", "Z:\\s\\ab.txt"};
  std::stable_sort(paths.begin(), paths.end(), [](const std::string& a, const std::string& b) {
    return CompareNoCase(a, b) < 0;
  });
  const std::vector<std::string> expected = {
      "Z:\\s\\a b\\", "Z:\\s\\A\\",        "Z:\\s\\a\\x.txt", "Z:\\s\\a\\y\\", "Z:\\s\\a\\Y\\z",
      "Z:\\s\\A_B\\", "Z:\\s\\a_b\\c.txt", "Z:\\s\\ab.txt",   "Z:\\s\\b.txt",  "Z:\\s\\B\\"};
  EXPECT_EQ(paths, expected);
}

}  // namespace
}  // namespace sk
