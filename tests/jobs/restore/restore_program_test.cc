// "/r" end to end: the real program restores what "/c" and "/u" stored, from a script
// (standard input is not a terminal).
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "archive/volume_reader.h"
#include "core/ini.h"
#include "platform/file_system.h"
#include "support/program_runner.h"
#include "support/test_support.h"

// On Windows the command line's jobs ask in message boxes, which wait for a click instead of
// taking the answer that changes nothing.
#ifndef _WIN32

namespace sk {
namespace {

class RestoreProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(std::filesystem::exists(testing::ProgramPath()))
        << "build the program first: " << testing::ProgramPath();
    folder_.MakeFolder("backups");
    folder_.Write("config/Stowkeeper/Settings.ini",
                  "[Folders]\r\nSaveFolder = " + folder_.Native("backups") + "\r\n");
  }

  // Runs the program with the test's settings folder; returns its exit status.
  int Run(const std::vector<std::string>& args) {
    return testing::WaitForProgram(
        testing::StartProgram(args, {.config = folder_.Native("config"),
                                     .home = folder_.Native("home"),
                                     .errors = folder_.Native("stderr")}));
  }

  std::string Err() const { return folder_.Read("stderr"); }
  std::string Source() const { return folder_.Native("src/Docs"); }

  // Where the complete structure puts the source folder below a target.
  std::string Restored(const std::string& target, const std::string& relative) const {
    // The source's path without its root: "/", or the drive on Windows.
    const std::string source = folder_.Native("src/Docs/");
    return target + "/" + source.substr(source.find_first_of("/\\") + 1) + relative;
  }

  // Restore point 0 of src/Docs: a.txt, sub/b.bin and the empty folder "empty".
  void MakeSet() {
    folder_.Write("src/Docs/a.txt", "version 1");
    folder_.Write("src/Docs/sub/b.bin", testing::RandomData(30000));
    folder_.MakeFolder("src/Docs/empty");
    ASSERT_EQ(Run({"/c", Source()}), 0) << Err();
  }

  testing::TempFolder folder_;
};

// A text of the English catalog the program reads.
std::string CatalogText(const std::string& number) {
  IniReader catalog;
  if (!catalog.Load(
          platform::InternalPath(std::string(SK_BINARY_DIR) + "/Catalogs/English.catalog")) ||
      !catalog.SelectGroup("CATALOG")) {
    return "<no catalog>";
  }
  return catalog.ReadText(number, "<no text " + number + ">");
}

TEST_F(RestoreProgramTest, EveryRestorePointComesBackFromTheCommandLine) {
  MakeSet();
  const std::string source = Source();
  folder_.Write("src/Docs/a.txt", "version 2");
  folder_.Write("src/Docs/c.txt", testing::TextData(20000));
  folder_.Remove("src/Docs/sub/b.bin");
  ASSERT_EQ(Run({"/u", source}), 0) << Err();

  folder_.MakeFolder("zero");
  ASSERT_EQ(Run({"/r", "0", source, folder_.Native("zero")}), 0) << Err();
  // Without "--subfolder", the complete structure: the source's whole path below the target.
  EXPECT_EQ(folder_.Read(Restored("zero", "a.txt")), "version 1");
  EXPECT_EQ(folder_.Read(Restored("zero", "sub/b.bin")), testing::RandomData(30000));
  EXPECT_TRUE(folder_.Exists(Restored("zero", "empty")));
  EXPECT_FALSE(folder_.Exists(Restored("zero", "c.txt")));

  folder_.MakeFolder("one");
  ASSERT_EQ(Run({"/r", "1", source, folder_.Native("one")}), 0) << Err();
  EXPECT_EQ(folder_.Read(Restored("one", "a.txt")), "version 2");
  EXPECT_EQ(folder_.Read(Restored("one", "c.txt")), testing::TextData(20000));
  EXPECT_TRUE(folder_.Exists(Restored("one", "sub")));
  EXPECT_FALSE(folder_.Exists(Restored("one", "sub/b.bin")));

  // A restore point that does not exist, and a file the script cannot be asked about: the
  // question takes Cancel, which ends the restore.
  EXPECT_EQ(Run({"/r", "7", source, folder_.Native("one")}), 1);
  folder_.Write(Restored("one", "a.txt"), "edited");
  EXPECT_EQ(Run({"/r", "1", source, folder_.Native("one")}), 1);
  EXPECT_EQ(folder_.Read(Restored("one", "a.txt")), "edited");
  std::string asked = CatalogText("038");
  asked.replace(asked.find("%FILE%"), 6, "'" + folder_.Native(Restored("one", "a.txt")) + "'");
  EXPECT_TRUE(Err().ends_with(CatalogText("030") + ": " + asked + "\n  -> " + CatalogText("007") +
                              " (no terminal to ask on)\nstowkeeper: /r: " + CatalogText("034") +
                              "\n"))
      << Err();
}

// A byte flipped in the backup costs "/r" only the file it is in: the rest comes back, that
// file is named, and the run ends with status 1.
TEST_F(RestoreProgramTest, ADamagedFileIsNamedAndEverythingElseRestoredWithStatusOne) {
  MakeSet();
  std::string volume;
  for (const std::string& name : folder_.Names("backups")) {
    if (name.ends_with(".sk")) volume = "backups/" + name;
  }
  std::string bytes = folder_.Read(volume);
  for (const VolumeRecord& record : ReadVolumeRecords(folder_.Internal(volume))) {
    if (record.path == "Docs\\sub\\b.bin") bytes[record.blocks_start + 8 + 100] ^= 1;
  }
  folder_.Write(volume, bytes);

  EXPECT_EQ(Run({"/r", "0", Source(), folder_.Native("out"), "--quiet"}), 1);
  EXPECT_EQ(Err(), "stowkeeper: /r: " + CatalogText("091") + " " +
                       folder_.Native(Restored("out", "sub/b.bin")) +
                       "\nstowkeeper: /r: restored all but what is named above (1 problem)\n");
  EXPECT_EQ(folder_.Read(Restored("out", "a.txt")), "version 1");
  EXPECT_TRUE(folder_.Exists(Restored("out", "empty")));
  EXPECT_FALSE(folder_.Exists(Restored("out", "sub/b.bin")));
  EXPECT_EQ(folder_.Read(Restored("out", "sub/b.bin.damaged")).size(), 30000u);
}

// The target: made when missing, refused inside the source (the next backup would hold the
// restored copy), and with "--subfolder" only the source folder itself comes below it.
TEST_F(RestoreProgramTest, TargetsAreMadeRefusedInsideTheSourceAndCutWithSubfolder) {
  MakeSet();
  ASSERT_EQ(Run({"/r", "0", Source(), folder_.Native("made/zero")}), 0) << Err();
  EXPECT_EQ(folder_.Read(Restored("made/zero", "a.txt")), "version 1");
  EXPECT_EQ(folder_.Read(Restored("made/zero", "sub/b.bin")), testing::RandomData(30000));
  EXPECT_TRUE(folder_.Exists(Restored("made/zero", "empty")));

  const testing::Snapshot before = testing::WalkTree(folder_.Native("src"));
  for (const std::string& inside :
       {Source(), folder_.Native("src/Docs/restored"), folder_.Native("src/Docs/sub")}) {
    EXPECT_EQ(Run({"/r", "0", Source(), inside}), 2) << inside;
    EXPECT_EQ(Err(), "stowkeeper: /r: TARGET \"" + inside + "\" lies inside SOURCE\n");
  }
  EXPECT_EQ(testing::WalkTree(folder_.Native("src")), before);
  // Beside the source, however alike the name, is no inside.
  EXPECT_EQ(Run({"/r", "0", Source(), folder_.Native("src/Docs2")}), 0) << Err();

  ASSERT_EQ(Run({"/r", "0", Source(), folder_.Native("flat"), "--subfolder"}), 0) << Err();
  EXPECT_EQ(testing::WalkTree(folder_.Native("flat")),
            (testing::Snapshot{{"Docs", testing::kFolder},
                               {"Docs/a.txt", "version 1"},
                               {"Docs/empty", testing::kFolder},
                               {"Docs/sub", testing::kFolder},
                               {"Docs/sub/b.bin", testing::RandomData(30000)}}));
  // With a path, the same cut.
  ASSERT_EQ(Run({"--subfolder", "/r", "0", Source(), folder_.Native("part"), "sub"}), 0) << Err();
  EXPECT_EQ(testing::WalkTree(folder_.Native("part")),
            (testing::Snapshot{{"Docs", testing::kFolder},
                               {"Docs/sub", testing::kFolder},
                               {"Docs/sub/b.bin", testing::RandomData(30000)}}));
}

}  // namespace
}  // namespace sk

#endif  // _WIN32
