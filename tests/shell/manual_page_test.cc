// The manual page (doc/stowkeeper.1.in) is written by hand beside the usage text: a switch
// added to one and forgotten in the other would only show when a user looks it up.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "shell/command_line.h"

namespace sk {
namespace {

// The words of the page's bold lines (".B /c", ".BR --help"), as man shows them: troff's
// "\-" is a plain "-".
std::set<std::string> BoldWordsOfManualPage() {
  std::ifstream in(std::filesystem::path(SK_SOURCE_DIR) / "doc" / "stowkeeper.1.in");
  std::set<std::string> words;
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind(".B", 0) != 0) continue;
    for (size_t at = line.find("\\-"); at != std::string::npos; at = line.find("\\-", at)) {
      line.erase(at, 1);
    }
    std::istringstream parts(line.substr(line.find(' ') + 1));
    for (std::string word; parts >> word;) words.insert(word);
  }
  return words;
}

// The switches of the usage text: "/c", "--help", "-h" and the like.
std::set<std::string> UsageSwitches() {
  static const std::regex kSwitch("/[A-Za-z]+|--?[a-z][a-z-]*");
  std::istringstream usage(UsageText(""));
  std::set<std::string> switches;
  for (std::string word; usage >> word;) {
    if (std::regex_match(word, kSwitch)) switches.insert(word);
  }
  return switches;
}

TEST(ManualPage, ShowsEverySwitchOfTheUsageInBold) {
  const std::set<std::string> page = BoldWordsOfManualPage();
  ASSERT_TRUE(page.count("stowkeeper")) << "doc/stowkeeper.1.in was not read";
  const std::set<std::string> switches = UsageSwitches();
  EXPECT_GE(switches.size(), 5u);  // /c /u /r --help --version at least
  for (const std::string& name : switches) {
    EXPECT_TRUE(page.count(name)) << name << " is missing from the manual page";
  }
}

}  // namespace
}  // namespace sk
