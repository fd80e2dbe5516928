// Exclusions: the patterns, the scan that leaves entries out, and how Settings.ini keeps them.
#include "jobs/create/exclusions.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/ini.h"
#include "jobs/create/scan.h"
#include "platform/file_system.h"
#include "shell/settings.h"
#include "support/recording_reporter.h"
#include "support/test_support.h"

namespace sk {
namespace {

using testing::TempFolder;
using testing::TestApp;

TEST(ExclusionPatternTest, RefusesWhatCannotBeAPattern) {
  for (const char* good : {"*.tmp", "node_modules/", "./build/", "docs/*.pdf", "a[!b-d]?", "[]]x",
                           " spaced.txt ", "x\\y"}) {
    EXPECT_EQ(CheckPattern(good), PatternFault::kNone) << good;
  }
  EXPECT_EQ(CheckPattern(""), PatternFault::kEmpty);
  EXPECT_EQ(CheckPattern("   "), PatternFault::kEmpty);
  EXPECT_EQ(CheckPattern("./"), PatternFault::kEmpty);
  EXPECT_EQ(CheckPattern("/etc"), PatternFault::kAbsolute);
  EXPECT_EQ(CheckPattern("C:\\Data"), PatternFault::kAbsolute);
  EXPECT_EQ(CheckPattern("\\\\server\\share"), PatternFault::kAbsolute);
  EXPECT_EQ(CheckPattern("../x"), PatternFault::kParent);
  EXPECT_EQ(CheckPattern("a/../b"), PatternFault::kParent);
  EXPECT_EQ(CheckPattern("a/./b"), PatternFault::kParent);
  EXPECT_EQ(CheckPattern("a//b"), PatternFault::kEmptyName);
  EXPECT_EQ(CheckPattern("[abc"), PatternFault::kUnbalancedBracket);
  EXPECT_EQ(CheckPattern("a[/]b"), PatternFault::kUnbalancedBracket);
  EXPECT_EQ(CheckPattern("a\tb"), PatternFault::kControlCharacter);
  EXPECT_FALSE(PatternFaultText(PatternFault::kUnbalancedBracket).empty());
}

TEST(ExclusionPatternTest, EveryFormMatchesWhatItSays) {
  const ExclusionMatcher m(
      {"*.tmp", "node_modules/", "docs/*.pdf", "./build/", "cache", "[!a-c]?.log", "x[;]y"},
      /*ignore_case=*/false);
  const auto out = [&](std::vector<std::string> names, bool folder) {
    return m.Excludes(names, folder);
  };
  // No "/" inside: the name, at any depth, files and folders alike.
  EXPECT_TRUE(out({"a.tmp"}, false));
  EXPECT_TRUE(out({"deep", "down", "b.tmp"}, false));
  EXPECT_TRUE(out({"x.tmp"}, true));
  EXPECT_FALSE(out({"a.tmp.keep"}, false));
  EXPECT_TRUE(out({"cache"}, false));
  EXPECT_TRUE(out({"a", "cache"}, true));
  // A trailing "/": folders only.
  EXPECT_TRUE(out({"node_modules"}, true));
  EXPECT_TRUE(out({"web", "node_modules"}, true));
  EXPECT_FALSE(out({"node_modules"}, false));
  // A "/" inside: anchored, name by name; "*" stays within a name.
  EXPECT_TRUE(out({"docs", "a.pdf"}, false));
  EXPECT_FALSE(out({"docs", "old", "a.pdf"}, false));
  EXPECT_FALSE(out({"x", "docs", "a.pdf"}, false));
  // "./": a single name anchored at the source folder.
  EXPECT_TRUE(out({"build"}, true));
  EXPECT_FALSE(out({"src", "build"}, true));
  EXPECT_FALSE(out({"build"}, false));
  // Sets, negated sets, "?" and a ";" written as a set.
  EXPECT_TRUE(out({"dx.log"}, false));
  EXPECT_FALSE(out({"ax.log"}, false));
  EXPECT_FALSE(out({"d.log"}, false));
  EXPECT_TRUE(out({"x;y"}, false));
}

TEST(ExclusionPatternTest, LetterCaseCountsAsThePlatformCountsIt) {
  const std::vector<std::string> patterns = {"*.TMP", "Build/"};
  const ExclusionMatcher exact(patterns, false);
  const ExclusionMatcher folded(patterns, true);
  EXPECT_FALSE(exact.Excludes({"a.tmp"}, false));
  EXPECT_FALSE(exact.Excludes({"build"}, true));
  EXPECT_TRUE(folded.Excludes({"a.tmp"}, false));
  EXPECT_TRUE(folded.Excludes({"BUILD"}, true));
  // Long names with many stars stay quick and right.
  const ExclusionMatcher stars({"*a*a*a*a*a*b"}, false);
  EXPECT_FALSE(stars.Excludes({std::string(5000, 'a')}, false));
  EXPECT_TRUE(stars.Excludes({std::string(5000, 'a') + "b"}, false));
}

// Whether the matcher leaves out the entry at path ("a/b", a trailing "/" for a folder).
bool LeftOut(const ExclusionMatcher& matcher, std::string path) {
  const bool folder = path.ends_with("/");
  if (folder) path.pop_back();
  std::vector<std::string> names(1);
  for (const char c : path) {
    if (c == '/') {
      names.emplace_back();
    } else {
      names.back() += c;
    }
  }
  return matcher.Excludes(names, folder);
}

TEST(ExclusionPatternTest, DoubleStarStandsForAnyNumberOfFolders) {
  const struct {
    const char* pattern;
    std::vector<std::string> out, kept;
  } cases[] = {
      {"**/*.tmp", {"a.tmp", "x/y/a.tmp"}, {"a.tmp/keep", "x/a.tmp.keep"}},
      // What lies below build, not build itself, nor a build deeper down.
      {"build/**", {"build/a.o", "build/obj/"}, {"build/", "build", "src/build/a.o"}},
      {"a/**/b", {"a/b", "a/x/y/b/"}, {"b", "x/a/b", "a/b/c", "a/"}},
      {"**/cache/", {"cache/", "x/y/cache/"}, {"x/cache", "x/cache2/"}},
      // Inside a longer name, "**" stays within the name.
      {"src/foo**", {"src/foo.c"}, {"src/foo/x"}},
  };
  for (const auto& c : cases) {
    const ExclusionMatcher matcher({c.pattern}, false);
    for (const std::string& path : c.out) {
      EXPECT_TRUE(LeftOut(matcher, path)) << c.pattern << " " << path;
    }
    for (const std::string& path : c.kept) {
      EXPECT_FALSE(LeftOut(matcher, path)) << c.pattern << " " << path;
    }
  }
  EXPECT_FALSE(LeftOut(ExclusionMatcher({"**/Cache/"}, false), "a/cache/"));
  EXPECT_TRUE(LeftOut(ExclusionMatcher({"**/Cache/"}, true), "a/CACHE/"));
}

// Trying every split of a deep path among many "**"s would not end in any test's lifetime.
TEST(ExclusionPatternTest, ManyDoubleStarsOnADeepPathStayQuickAndRight) {
  std::vector<std::string> deep(400, "d");
  const ExclusionMatcher m({"**/**/**/**/**/**/x", "**/d/**/d/**/d/**/y/**/z"}, false);
  deep.push_back("w");
  EXPECT_FALSE(m.Excludes(deep, false));
  deep.back() = "x";
  EXPECT_TRUE(m.Excludes(deep, false));
  deep.back() = "y";
  deep.push_back("z");
  EXPECT_TRUE(m.Excludes(deep, false));
  deep.erase(deep.begin() + 1, deep.end() - 3);  // d d y z: a "d" too few
  EXPECT_FALSE(m.Excludes(deep, false));
}

TEST(ExclusionPatternTest, ListsSplitWhereTheyWereJoined) {
  const std::vector<std::string> patterns = {"*.tmp", "a;b", "[;x]", "[]]z;", "build/"};
  const std::string value = JoinPatterns(patterns);
  EXPECT_EQ(value, "*.tmp;a[;]b;[;x];[]]z[;];build/");
  const std::vector<std::string> back = SplitPatterns(value);
  ASSERT_EQ(back.size(), patterns.size());
  // Each comes back as a pattern that matches the same names.
  for (size_t i = 0; i < patterns.size(); ++i) {
    const ExclusionMatcher original({patterns[i]}, false);
    const ExclusionMatcher read({back[i]}, false);
    for (const char* name : {"x.tmp", "a;b", ";", "x", "]z;", "build"}) {
      EXPECT_EQ(original.Excludes({name}, true), read.Excludes({name}, true)) << i << name;
    }
  }
}

class ExclusionScanTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name :
         {"keep.txt", "a.tmp", "sub/b.tmp", "sub/keep.c", "node_modules/m.js",
          "web/node_modules/n.js", "docs/a.pdf", "docs/old/b.pdf", "build", "Cache/c.bin"}) {
      tmp.Write(std::string("src/") + name, "x");
    }
  }
  // What the scan finds with the patterns, as kept for the source in the settings.
  std::vector<std::string> Scan(const std::vector<std::string>& patterns) {
    TestApp t;
    EXPECT_TRUE(SetExclusions(t.app, Source(), patterns));
    testing::TestJob job;
    const ScanResult scan = ScanTree(Source(), ExclusionsOf(t.app, Source()), job.context);
    std::vector<std::string> relative;
    for (const std::string& path : scan.entries) relative.push_back(path.substr(Source().size()));
    std::sort(relative.begin(), relative.end());
    return relative;
  }
  std::string Source() const { return tmp.Internal("src/"); }
  TempFolder tmp;
};

TEST_F(ExclusionScanTest, TheScanLeavesOutWhatThePatternsName) {
  const std::vector<std::string> expected = {
      "Cache\\",          "Cache\\c.bin", "build", "docs\\",      "docs\\old\\",
      "docs\\old\\b.pdf", "keep.txt",     "sub\\", "sub\\keep.c", "web\\"};
  EXPECT_EQ(Scan({"*.tmp", "node_modules/", "docs/*.pdf", "build/"}), expected);
  // Letter case: the folder Cache is left out by "cache/" on Windows only.
  const std::vector<std::string> cased = Scan({"cache/"});
  EXPECT_EQ(std::count(cased.begin(), cased.end(), "Cache\\c.bin"),
            platform::kNamesIgnoreCase ? 0 : 1);
  // A pattern that matches everything leaves nothing; the scan of the source is empty.
  EXPECT_TRUE(Scan({"*"}).empty());
  // No list: everything.
  EXPECT_EQ(Scan({}).size(), 17u);
}

// "docs/**" keeps the folder docs, empty; nothing below an excluded folder is listed.
TEST_F(ExclusionScanTest, DoubleStarPatternsLeaveOutWhatTheyReach) {
  const std::vector<std::string> expected = {"Cache\\", "build",       "docs\\", "keep.txt",
                                             "sub\\",   "sub\\keep.c", "web\\"};
  EXPECT_EQ(Scan({"**/*.tmp", "docs/**", "**/node_modules/", "**/*.bin"}), expected);
}

TEST_F(ExclusionScanTest, SettingsKeepTheListsInAGroupOlderReadersSkip) {
  TestApp t;
  t.app.SettingsFolder = tmp.Internal("config\\");
  tmp.MakeFolder("config");
  ASSERT_TRUE(SetExclusions(t.app, Source(), {"*.tmp", "a;b", "node_modules/"}));
  ASSERT_TRUE(SetExclusions(t.app, tmp.Internal("other\\"), {"x"}));
  ASSERT_TRUE(SaveSettings(t.app, t.app.SettingsFolder));

  TestApp loaded;
  LoadSettings(loaded.app, t.app.SettingsFolder);
  EXPECT_EQ(loaded.app.Exclusions.size(), 2u);
  EXPECT_EQ(ExclusionsOf(loaded.app, tmp.Internal("other\\")), (std::vector<std::string>{"x"}));
  EXPECT_EQ(ExclusionsOf(loaded.app, Source()),
            (std::vector<std::string>{"*.tmp", "a[;]b", "node_modules/"}));

  // What a reader that knows only the old groups sees is the old file, unchanged.
  IniReader ini;
  ASSERT_TRUE(ini.Load(t.app.SettingsFolder + kSettingsFileName));
  ASSERT_TRUE(ini.SelectGroup("Language"));
  EXPECT_EQ(ini.ReadEntries().size(), 1u);
  ASSERT_TRUE(ini.SelectGroup("Exclusions"));
  EXPECT_EQ(ini.ReadEntries().size(), 2u);
  TestApp without;
  const std::string text = SettingsText(without.app);
  EXPECT_EQ(text.find("Exclusions"), std::string::npos);

  // A broken pattern written by hand is dropped, the rest of the list kept; an empty list
  // removes its key.
  tmp.Write("config/Settings.ini",
            "[Exclusions]\r\n" + ExclusionKey(Source()) + " = *.tmp;[bad;/abs;ok/\r\n");
  TestApp hand;
  LoadSettings(hand.app, t.app.SettingsFolder);
  EXPECT_EQ(ExclusionsOf(hand.app, Source()), (std::vector<std::string>{"*.tmp", "ok/"}));
  ASSERT_TRUE(SetExclusions(hand.app, Source(), {" ", ""}));
  EXPECT_TRUE(hand.app.Exclusions.empty());
}

// A window left open while the command line keeps a list for another set: its saves (its
// own list changed, or its settings at the end) keep that list, and only the lists this run
// changed, removals included, go over the file's.
TEST_F(ExclusionScanTest, ASaveKeepsTheListsAnotherRunSavedMeanwhile) {
  tmp.MakeFolder("config");
  const std::string config = tmp.Internal("config\\");
  const std::string mine = tmp.Internal("mine\\"), theirs = tmp.Internal("theirs\\");
  TestApp setup;
  ASSERT_TRUE(SetExclusions(setup.app, mine, {"old/"}));
  ASSERT_TRUE(SetExclusions(setup.app, Source(), {"*.tmp"}));
  ASSERT_TRUE(SaveSettings(setup.app, config));

  TestApp window;  // reads the file, then stays open
  LoadSettings(window.app, config);
  TestApp command_line;
  LoadSettings(command_line.app, config);
  ASSERT_TRUE(SetExclusions(command_line.app, theirs, {"cache/"}));
  ASSERT_TRUE(SaveSettings(command_line.app, config));

  ASSERT_TRUE(SetExclusions(window.app, mine, {"new/"}));
  ASSERT_TRUE(SetExclusions(window.app, Source(), {}));
  ASSERT_TRUE(SaveSettings(window.app, config));
  TestApp after;
  LoadSettings(after.app, config);
  EXPECT_EQ(ExclusionsOf(after.app, theirs), std::vector<std::string>{"cache/"});
  EXPECT_EQ(ExclusionsOf(after.app, mine), std::vector<std::string>{"new/"});
  EXPECT_TRUE(ExclusionsOf(after.app, Source()).empty());
}

class ExclusionFileTest : public ::testing::Test {
 protected:
  void TearDown() override { platform::ClearFaults(); }
  // Reads the file into a list that holds one pattern already.
  bool Read(const std::string& content) {
    tmp.Write("patterns.txt", content);
    patterns = {"given"};
    why.clear();
    return ReadPatternFile(tmp.Internal("patterns.txt"), patterns, why);
  }
  TempFolder tmp;
  std::vector<std::string> patterns;
  std::string why;
};

TEST_F(ExclusionFileTest, NotesBlankLinesAndBothLineEndsAreReadAsMeant) {
  ASSERT_TRUE(
      Read("\xEF\xBB\xBF*.tmp\r\n# build output\r\n\r\n  \t\n  build/**  \n"
           "   # indented note\n[#]tag\nlast/"))
      << why;
  EXPECT_EQ(patterns, (std::vector<std::string>{"given", "*.tmp", "build/**", "[#]tag", "last/"}));
  // The mark is no part of the first pattern, or it would never match.
  EXPECT_TRUE(ExclusionMatcher(patterns, false).Excludes({"a.tmp"}, false));
}

TEST_F(ExclusionFileTest, ABadLineFailsTheWholeFileByItsNumber) {
  EXPECT_FALSE(Read("*.tmp\r\n# note\r\n\r\nok/\r\nx[ab\r\nlater\r\n"));
  EXPECT_EQ(why, "line 5: " + PatternFaultText(PatternFault::kUnbalancedBracket));
  EXPECT_EQ(patterns, std::vector<std::string>{"given"});
  // A CR alone ends no line: it stays in the pattern as a control character.
  EXPECT_FALSE(Read("a\rb\n"));
  EXPECT_EQ(why, "line 1: " + PatternFaultText(PatternFault::kControlCharacter));
}

TEST_F(ExclusionFileTest, AFileThatCannotBeReadFailsWithItsCause) {
  patterns = {"given"};
  EXPECT_FALSE(ReadPatternFile(tmp.Internal("missing.txt"), patterns, why));
  EXPECT_EQ(why, platform::ErrorText(platform::ErrorCode(platform::ErrorCause::kMissing)));
  EXPECT_EQ(patterns, std::vector<std::string>{"given"});

  // A read that fails halfway is no shorter list.
  platform::InjectFault(platform::FaultOp::kRead, "patterns.txt");
  EXPECT_FALSE(Read("*.tmp\n"));
  EXPECT_EQ(why, platform::ErrorText(platform::ErrorCode(platform::ErrorCause::kInputOutput)));
  EXPECT_EQ(patterns, std::vector<std::string>{"given"});

  // The bound holds to the byte.
  std::string full(kMaxPatternFileBytes, '#');
  full[0] = 'x';
  full[1] = '\n';
  EXPECT_TRUE(Read(full)) << why;
  EXPECT_EQ(patterns, (std::vector<std::string>{"given", "x"}));
  EXPECT_FALSE(Read(full + "\n"));
  EXPECT_FALSE(why.empty());
  EXPECT_EQ(patterns, std::vector<std::string>{"given"});
}

}  // namespace
}  // namespace sk
