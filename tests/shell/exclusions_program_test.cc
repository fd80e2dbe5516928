// Exclusions end to end: the real program with "--exclude" on "/c" and "/u", a list changed
// in Settings.ini between updates, and what the restore points then hold and restore.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "archive/set_names.h"
#include "jobs/create/exclusions.h"
#include "platform/file_system.h"
#include "support/program_runner.h"
#include "support/test_support.h"

namespace sk {
namespace {

class ExclusionsProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(std::filesystem::exists(testing::ProgramPath()))
        << "build the program first: " << testing::ProgramPath();
    folder_.MakeFolder("backups");
    WriteSettings("");
    for (const char* name : {"keep.txt", "a.tmp", "sub/b.tmp", "sub/keep.c", "node_modules/m.js",
                             "docs/a.pdf", "docs/notes.txt"}) {
      folder_.Write(std::string("src/Proj/") + name, name);
    }
  }

  void WriteSettings(const std::string& more) {
    folder_.Write("config/Stowkeeper/Settings.ini",
                  "[Folders]\r\nSaveFolder = " + folder_.Native("backups") + "\r\n" + more);
  }
  std::string Settings() const { return folder_.Read("config/Stowkeeper/Settings.ini"); }

  int Run(const std::vector<std::string>& args) {
    return testing::WaitForProgram(
        testing::StartProgram(args, {.config = folder_.Native("config"),
                                     .home = folder_.Native("home"),
                                     .output = folder_.Native("stdout"),
                                     .errors = folder_.Native("stderr")}));
  }
  std::string Out() const { return testing::UnixLines(folder_.Read("stdout")); }
  std::string Err() const { return testing::UnixLines(folder_.Read("stderr")); }
  std::string Source() const { return folder_.Native("src/Proj"); }
  std::string Set() const { return SetName(folder_.Internal("src/Proj/")); }
  // Where the complete structure puts the source folder below a target.
  std::string Restored(const std::string& target, const std::string& relative) const {
    const std::string source = folder_.Native("src/Proj/");
    return target + "/" + source.substr(source.find_first_of("/\\") + 1) + relative;
  }

  testing::TempFolder folder_;
};

TEST_F(ExclusionsProgramTest, CreateKeepsTheListAndAChangedListRemovesAtTheNextUpdate) {
  ASSERT_EQ(Run({"/c", Source(), "--exclude", "*.tmp", "--exclude=node_modules/"}), 0) << Err();
  EXPECT_NE(Settings().find("[Exclusions]\r\n; \r\n" + ExclusionKey(folder_.Internal("src/Proj/")) +
                            " = *.tmp;node_modules/\r\n"),
            std::string::npos)
      << Settings();
  ASSERT_EQ(Run({"/l", "0", Source()}), 0) << Err();
  EXPECT_NE(Out().find("keep.c"), std::string::npos);
  EXPECT_EQ(Out().find(".tmp"), std::string::npos) << Out();
  EXPECT_EQ(Out().find("node_modules"), std::string::npos) << Out();

  // The kept list counts for the update; "docs/*.pdf" is added as the desktop would.
  std::string settings = Settings();
  const std::string old_value = "*.tmp;node_modules/";
  settings.replace(settings.find(old_value), old_value.size(), old_value + ";docs/*.pdf");
  folder_.Write("config/Stowkeeper/Settings.ini", settings);
  ASSERT_EQ(Run({"/u", Source()}), 0) << Err();
  const std::string index = folder_.Read("backups/" + IndexFileName(Set(), 1));
  const std::string removed = index.substr(0, index.find("[ADDED]"));
  EXPECT_NE(removed.find("docs\\a.pdf"), std::string::npos) << index;
  EXPECT_EQ(index.find(".tmp"), std::string::npos) << index;
  EXPECT_EQ(index.find("node_modules"), std::string::npos) << index;

  // Restore point 1 restores without the newly left-out file; point 0 still has it.
  folder_.MakeFolder("one");
  folder_.MakeFolder("zero");
  ASSERT_EQ(Run({"/r", "1", Source(), folder_.Native("one")}), 0) << Err();
  ASSERT_EQ(Run({"/r", "0", Source(), folder_.Native("zero")}), 0) << Err();
  EXPECT_EQ(folder_.Read(Restored("one", "docs/notes.txt")), "docs/notes.txt");
  EXPECT_FALSE(folder_.Exists(Restored("one", "docs/a.pdf")));
  EXPECT_FALSE(folder_.Exists(Restored("one", "a.tmp")));
  EXPECT_TRUE(folder_.Exists(Restored("zero", "docs/a.pdf")));

  // "--exclude" on "/u" counts for that run only.
  ASSERT_EQ(Run({"/u", Source(), "--exclude", "sub/"}), 0) << Err();
  EXPECT_NE(folder_.Read("backups/" + IndexFileName(Set(), 2)).find("sub\\keep.c"),
            std::string::npos);
  EXPECT_EQ(Settings().find("sub/"), std::string::npos);
  // Only removals: the main volume, two indexes, each point's metadata, and no lock left.
  EXPECT_EQ(folder_.Names("backups").size(), 6u);
}

TEST_F(ExclusionsProgramTest, BadPatternsStopBeforeAnythingIsDone) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"/c", Source(), "--exclude", "[abc"},
        {"/c", Source(), "--exclude", ""},
        {"/c", Source(), "--exclude", "../x"},
        {"/c", Source(), "--exclude", "/etc/"},
        {"/c", Source(), "--exclude"},
        {"/v", Source(), "--exclude", "*.tmp"}}) {
    EXPECT_EQ(Run(args), 2) << args.back();
    EXPECT_NE(Err().find("--exclude"), std::string::npos) << Err();
  }
  EXPECT_TRUE(folder_.Names("backups").empty());
  EXPECT_EQ(Settings().find("Exclusions"), std::string::npos);

  // A list that leaves out everything: a set with no entries, which updates and verifies.
  ASSERT_EQ(Run({"/c", Source(), "--exclude", "*"}), 0) << Err();
  ASSERT_EQ(Run({"/l", "0", Source()}), 0) << Err();
  EXPECT_EQ(Out().find("keep"), std::string::npos) << Out();
  EXPECT_EQ(Run({"/v", Source()}), 0) << Err();
}

// "--exclude-file": the patterns of a file, one a line, beside those of "--exclude"; kept
// with "/c", for the run alone with "/u". A file that cannot be read or holds a bad line
// stops the run before anything is done.
TEST_F(ExclusionsProgramTest, AnExcludeFileGivesOnePatternALine) {
  folder_.Write("patterns.txt", "# what the build leaves\n*.tmp\r\n\n  node_modules/  \n");
  folder_.Write("bad.txt", "*.tmp\n[abc\n");
  const std::string missing = folder_.Native("missing.txt");
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"/c", Source(), "--exclude-file", missing},
       "stowkeeper: --exclude-file: \"" + missing + "\": " +
           platform::ErrorText(platform::ErrorCode(platform::ErrorCause::kMissing)) + "\n"},
      {{"/c", Source(), "--exclude-file", folder_.Native("bad.txt")},
       "stowkeeper: --exclude-file: \"" + folder_.Native("bad.txt") + "\": line 2: "},
      {{"/c", Source(), "--exclude-file"}, "stowkeeper: --exclude-file: its value is missing\n"},
      {{"/l", "0", Source(), "--exclude-file", folder_.Native("patterns.txt")},
       "stowkeeper: --exclude: --exclude and --exclude-file are for /c and /u only\n"}};
  for (const auto& [args, message] : cases) {
    EXPECT_EQ(Run(args), 2) << message;
    EXPECT_TRUE(Err().starts_with(message)) << Err();
    EXPECT_EQ(Err().find('\n'), Err().size() - 1) << Err();
  }
  EXPECT_TRUE(folder_.Names("backups").empty());

  ASSERT_EQ(Run({"/c", Source(), "--exclude=docs/*.pdf", "--exclude-file",
                 folder_.Native("patterns.txt")}),
            0)
      << Err();
  EXPECT_NE(Settings().find(ExclusionKey(folder_.Internal("src/Proj/")) +
                            " = docs/*.pdf;*.tmp;node_modules/\r\n"),
            std::string::npos)
      << Settings();
  ASSERT_EQ(Run({"/l", "0", Source()}), 0) << Err();
  EXPECT_NE(Out().find("keep.c"), std::string::npos) << Out();
  EXPECT_NE(Out().find("notes.txt"), std::string::npos) << Out();
  for (const char* gone : {".tmp", "node_modules", "a.pdf"}) {
    EXPECT_EQ(Out().find(gone), std::string::npos) << gone << "\n" << Out();
  }

  // With "/u" the file's patterns count for that run only.
  folder_.Write("sub-only.txt", "sub/\n");
  ASSERT_EQ(Run({"/u", Source(), "--exclude-file", folder_.Native("sub-only.txt")}), 0) << Err();
  EXPECT_NE(folder_.Read("backups/" + IndexFileName(Set(), 1)).find("sub\\keep.c"),
            std::string::npos);
  EXPECT_EQ(Settings().find("sub/"), std::string::npos);
}

}  // namespace
}  // namespace sk
