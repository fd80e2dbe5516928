// "/r" end to end: the real program restores what "/c" and "/u" stored, from a script
// (standard input is not a terminal).
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/program_runner.h"
#include "support/test_support.h"

// On Windows the command line's restore shows its options window, which waits for the user's
// choice instead of taking the preselected option.
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

  // Where the complete structure puts the source folder below a target.
  std::string Restored(const std::string& target, const std::string& relative) const {
    // The source's path without its root: "/", or the drive on Windows.
    const std::string source = folder_.Native("src/Docs/");
    return target + "/" + source.substr(source.find_first_of("/\\") + 1) + relative;
  }

  testing::TempFolder folder_;
};

TEST_F(RestoreProgramTest, EveryRestorePointComesBackFromTheCommandLine) {
  folder_.Write("src/Docs/a.txt", "version 1");
  folder_.Write("src/Docs/sub/b.bin", testing::RandomData(30000));
  folder_.MakeFolder("src/Docs/empty");
  const std::string source = folder_.Native("src/Docs");
  ASSERT_EQ(Run({"/c", source}), 0) << Err();
  folder_.Write("src/Docs/a.txt", "version 2");
  folder_.Write("src/Docs/c.txt", testing::TextData(20000));
  folder_.Remove("src/Docs/sub/b.bin");
  ASSERT_EQ(Run({"/u", source}), 0) << Err();

  folder_.MakeFolder("zero");
  ASSERT_EQ(Run({"/r", "0", source, folder_.Native("zero")}), 0) << Err();
  // Without a terminal the preselected option, the complete structure, is taken.
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

  // A restore point that does not exist, and a file the script cannot be asked about.
  EXPECT_EQ(Run({"/r", "7", source, folder_.Native("one")}), 1);
  folder_.Write(Restored("one", "a.txt"), "edited");
  EXPECT_EQ(Run({"/r", "1", source, folder_.Native("one")}), 1);
  EXPECT_EQ(folder_.Read(Restored("one", "a.txt")), "edited");
}

}  // namespace
}  // namespace sk

#endif  // _WIN32
