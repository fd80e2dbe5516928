// Whole user sessions against the real program in its own process: its automation script
// plays the user's clicks and answers, and the test reads the transcript, the backup folder,
// the restored files and Settings.ini.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "archive/set_names.h"
#include "core/ini.h"
#include "platform/file_system.h"
#include "shell/catalog.h"
#include "support/test_support.h"

extern char** environ;

namespace sk {
namespace {

using testing::TempFolder;

constexpr auto kProgramTimeout = std::chrono::seconds(240);

struct ProgramRun {
  int status = -1;
  std::vector<std::string> transcript;
};

// Walks the transcript forward: each Next finds the next line starting with a prefix.
class Transcript {
 public:
  explicit Transcript(const std::vector<std::string>& lines) : lines_(lines) {}
  // The rest of the next line that starts with prefix; "<missing>" when none follows.
  std::string Next(const std::string& prefix) {
    for (size_t i = position_; i < lines_.size(); ++i) {
      if (lines_[i].rfind(prefix, 0) == 0) {
        position_ = i + 1;
        return lines_[i].substr(prefix.size());
      }
    }
    ADD_FAILURE() << "no line \"" << prefix << "\" after line " << position_;
    return "<missing>";
  }

 private:
  const std::vector<std::string>& lines_;
  size_t position_ = 0;
};

class SessionTest : public ::testing::Test {
 protected:
  SessionTest() {
    tmp.MakeFolder("config");
    tmp.MakeFolder("Backups");
    tmp.Write("Documents/a.txt", "first version of a\n");
    tmp.Write("Documents/Letters/b.txt", testing::TextData(20000));
    tmp.Write("Documents/Letters/old.txt", "to be removed\n");
    tmp.MakeFolder("Documents/Empty");
  }

  static std::string ProgramFolder() {
    return std::filesystem::path(SK_PROGRAM_PATH).parent_path().string() + "/";
  }

  // The Language menu's item for a catalog, in the order the program lists the folder.
  static int LanguageItem(const std::string& catalog) {
    const std::vector<std::string> names =
        ListCatalogFiles(platform::InternalPath(ProgramFolder() + "Catalogs/"));
    for (size_t i = 0; i < names.size(); ++i) {
      if (names[i] == catalog) return 100 + static_cast<int>(i);
    }
    ADD_FAILURE() << "no catalog " << catalog;
    return -1;
  }

  ProgramRun Run(const std::string& script) {
    const std::string number = std::to_string(++runs_);
    tmp.Write("script" + number + ".txt", script);
    const std::string log = tmp.Native("transcript" + number + ".txt");
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
      const std::string entry = *e;
      if (entry.rfind("LC_", 0) == 0 || entry.rfind("LANG=", 0) == 0 ||
          entry.rfind("XDG_CONFIG_HOME=", 0) == 0 || entry.rfind("STOWKEEPER_", 0) == 0) {
        continue;
      }
      env.push_back(entry);
    }
    env.push_back("LANG=C.UTF-8");
    env.push_back("XDG_CONFIG_HOME=" + tmp.Native("config"));
    env.push_back("GSETTINGS_BACKEND=memory");
    env.push_back("NO_AT_BRIDGE=1");
    env.push_back("STOWKEEPER_AUTOMATION=" + tmp.Native("script" + number + ".txt"));
    env.push_back("STOWKEEPER_AUTOMATION_LOG=" + log);
    env.push_back("STOWKEEPER_AUTOMATION_TIMEOUT=200");
    std::vector<char*> envp;
    for (std::string& entry : env) envp.push_back(entry.data());
    envp.push_back(nullptr);
    std::string program = SK_PROGRAM_PATH;
    char* argv[] = {program.data(), nullptr};

    ProgramRun run;
    pid_t pid = -1;
    if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, envp.data()) != 0) {
      ADD_FAILURE() << "cannot start " << program;
      return run;
    }
    const auto deadline = std::chrono::steady_clock::now() + kProgramTimeout;
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > deadline) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        ADD_FAILURE() << "the program did not end";
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::ifstream in(log);
    for (std::string line; std::getline(in, line);) run.transcript.push_back(line);
    return run;
  }

  int Setting(const std::string& group, const std::string& key) {
    IniReader ini;
    EXPECT_TRUE(ini.Load(tmp.Internal("config\\Stowkeeper\\Settings.ini")));
    EXPECT_TRUE(ini.SelectGroup(group));
    return ini.ReadNumber(key, -12345);
  }

  static void ExpectDone(const ProgramRun& run) {
    std::string transcript;
    for (const std::string& line : run.transcript) transcript += line + "\n";
    SCOPED_TRACE("transcript:\n" + transcript);
    EXPECT_EQ(run.status, 0);
    ASSERT_FALSE(run.transcript.empty());
    for (const std::string& line : run.transcript) {
      EXPECT_EQ(line.rfind("unexpected", 0), std::string::npos) << line;
      EXPECT_EQ(line.rfind("cannot", 0), std::string::npos) << line;
    }
    EXPECT_NE(std::find(run.transcript.begin(), run.transcript.end(), "done"),
              run.transcript.end());
  }

  TempFolder tmp;
  int runs_ = 0;
};

TEST_F(SessionTest, AUsersSessionsFromFirstStartToQuittingMaximized) {
  const std::string docs = tmp.Internal("Documents\\");
  // The rows show the source folder as the system names it.
  const std::string main_name = "Backup_0000_of_" + tmp.Native("Documents/");
  const std::string point_name = "Backup_0001_of_" + tmp.Native("Documents/");

  // --- First start: no backup folder, so the settings window comes first; then Create.
  ProgramRun first =
      Run("wait-window 1\n"
          "text 1 10\n"
          "enabled 0 14\n"
          "click 1 11\n"
          "folder " +
          tmp.Native("Backups") +
          "\n"
          "text 1 10\n"
          "click 1 16\n"
          "wait-closed 1\n"
          "enabled 0 14\n"
          "list 0 10\n"
          "click 0 14\n"
          "folder " +
          tmp.Native("Documents") +
          "\n"
          "wait-log sound\n"
          "list 0 10\n"
          "list 0 20\n"
          "menu-state 0 1\n"
          "select 0 10 0\n"
          "menu-state 0 1\n"
          "menu-state 0 33\n"
          "menu-state 0 34\n"
          "enabled 0 11\n"
          "enabled 0 22\n"
          "menu 0 5\n");
  ExpectDone(first);
  {
    Transcript t(first.transcript);
    EXPECT_EQ(t.Next("open 1 "), "Settings");
    EXPECT_EQ(t.Next("text 1 10: "), "");
    EXPECT_EQ(t.Next("enabled 0 14: "), "0");
    EXPECT_EQ(t.Next("folder "),
              "Please select a folder for the backups -> " + tmp.Native("Backups"));
    EXPECT_EQ(t.Next("text 1 10: "), tmp.Native("Backups/"));
    EXPECT_EQ(t.Next("enabled 0 14: "), "1");
    EXPECT_EQ(t.Next("list 0 10: "), "");
    EXPECT_EQ(t.Next("folder "), "Please select a source folder -> " + tmp.Native("Documents"));
    EXPECT_EQ(t.Next("open 1 "), "Creating backup...");
    EXPECT_EQ(t.Next("list 0 10: ").rfind(main_name + " | ", 0), 0u);
    EXPECT_EQ(t.Next("list 0 20: ").rfind(main_name + " | ", 0), 0u);
    // The new set is selected after Create, so the commands for a row are there at once.
    EXPECT_EQ(t.Next("menu-state 0 1: "), "enabled");
    EXPECT_EQ(t.Next("menu-state 0 1: "), "enabled");
    EXPECT_EQ(t.Next("menu-state 0 33: "), "enabled");
    EXPECT_EQ(t.Next("menu-state 0 34: "), "disabled");
    EXPECT_EQ(t.Next("enabled 0 11: "), "1");
    EXPECT_EQ(t.Next("enabled 0 22: "), "0");
  }
  EXPECT_TRUE(tmp.Exists("Backups/Backup_0000_of_" + SetName(docs) + ".sk"));

  // --- The user changes the folder and comes back.
  tmp.Write("Documents/a.txt", "second version of a, a little longer\n");
  tmp.Write("Documents/Letters/new.txt", "a new letter\n");
  tmp.Remove("Documents/Letters/old.txt");
  tmp.MakeFolder("Out1");
  tmp.MakeFolder("Out2");
  const int deutsch = LanguageItem("Deutsch.catalog");
  ProgramRun second = Run(
      // Update, then the new restore point in both lists.
      "select 0 10 0\n"
      "click 0 11\n"
      "wait-log sound\n"
      "list 0 10\n"
      "list 0 20\n"
      // Properties of the restore point.
      "select 0 10 0\n"
      "menu 0 2\n"
      "wait-title 1 Properties\n"
      "text 1 11\n"
      "text 1 19\n"
      "text 1 21\n"
      "click 1 2\n"
      "wait-closed 1\n"
      // Verify.
      "select 0 10 0\n"
      "menu 0 1\n"
      "wait-log message\n"
      // List contents: into a folder and back.
      "select 0 10 0\n"
      "click 0 12\n"
      "wait-title 1 Backup contents\n"
      "list 1 30\n"
      "select 1 30 1\n"
      "dclick 1 30\n"
      "list 1 30\n"
      "text 1 28\n"
      "click 1 29\n"
      "list 1 30\n"
      "click 1 31\n"
      "wait-closed 1\n"
      // Restore the restore point with the whole structure, then only the sub-folder.
      "select 0 2 1\n"
      "select 0 20 1\n"
      "enabled 0 22\n"
      "click 0 22\n"
      "folder " +
      tmp.Native("Out1") +
      "\n"
      "wait-title 1 Restore options\n"
      "click 1 42\n"
      "wait-log sound\n"
      "select 0 20 1\n"
      "click 0 22\n"
      "folder " +
      tmp.Native("Out2") +
      "\n"
      "wait-title 1 Restore options\n"
      "click 1 41\n"
      "click 1 42\n"
      "wait-log sound\n"
      // Another language.
      "menu 0 " +
      std::to_string(deutsch) +
      "\n"
      "text 0 14\n"
      "menu-state 0 " +
      std::to_string(deutsch) +
      "\n"
      "value 0 2\n"
      // Delete the restore point.
      "select 0 2 0\n"
      "select 0 10 0\n"
      "click 0 13\n"
      "answer yes\n"
      "list 0 10\n"
      "list 0 20\n"
      // The layout at 800 x 600, then quitting while maximized.
      "resize 0 800 600\n"
      "wait-size 0 800 600\n"
      "geometry 0\n"
      "rect 0 2\n"
      "rect 0 10\n"
      "column 0 10 0\n"
      "column 0 10 2\n" +
      // Without a window manager no window is ever maximized.
      std::string(std::getenv("SK_TEST_WINDOW_MANAGER") != nullptr ? "maximize 0\n"
                                                                     "wait-state 0 1\n"
                                                                     "geometry 0\n"
                                                                   : "") +
      "menu 0 5\n");
  ExpectDone(second);
  Transcript t(second.transcript);
  EXPECT_EQ(t.Next("open 1 "), "Comparing data...");
  EXPECT_EQ(t.Next("list 0 10: ").rfind(point_name + " | ", 0), 0u);
  const std::string restore_rows = t.Next("list 0 20: ");
  EXPECT_EQ(restore_rows.rfind(main_name + " | ", 0), 0u) << restore_rows;
  EXPECT_NE(restore_rows.find(" ; " + point_name + " | "), std::string::npos) << restore_rows;
  EXPECT_NE(restore_rows.find(" <---"), std::string::npos) << restore_rows;

  EXPECT_EQ(t.Next("text 1 11: "), "Backup_0001_of_" + SetName(docs));
  EXPECT_EQ(t.Next("text 1 19: "), "2");  // Letters, Empty (the source is no record)
  EXPECT_EQ(t.Next("text 1 21: "), "3");  // a.txt, b.txt, new.txt

  EXPECT_EQ(t.Next("message "), "Information | The backup is valid. -> ok");

  EXPECT_EQ(t.Next("list 1 30: "), ".. | <DIR> | $00000000 ; Documents | <DIR> | $00000000");
  const std::string inside = t.Next("list 1 30: ");
  EXPECT_NE(inside.find("Letters | <DIR>"), std::string::npos) << inside;
  EXPECT_NE(inside.find("Empty | <DIR>"), std::string::npos) << inside;
  EXPECT_NE(inside.find("a.txt | "), std::string::npos) << inside;
  EXPECT_EQ(t.Next("text 1 28: "), tmp.Native("Documents/"));
  EXPECT_EQ(t.Next("list 1 30: "), ".. | <DIR> | $00000000 ; Documents | <DIR> | $00000000");

  EXPECT_EQ(t.Next("enabled 0 22: "), "1");
  EXPECT_EQ(t.Next("open 1 "), "Restore options");
  EXPECT_EQ(t.Next("open 1 "), "Restoring data...");
  // The whole structure: the source's path without its drive, under the target.
  const std::string below_root = tmp.Native("Documents/").substr(1);
  EXPECT_EQ(tmp.Read("Out1/" + below_root + "a.txt"), "second version of a, a little longer\n");
  EXPECT_EQ(tmp.Read("Out1/" + below_root + "Letters/new.txt"), "a new letter\n");
  EXPECT_FALSE(tmp.Exists("Out1/" + below_root + "Letters/old.txt"));
  // Only the sub-folder.
  EXPECT_EQ(tmp.Read("Out2/Documents/Letters/b.txt"), testing::TextData(20000));
  EXPECT_TRUE(tmp.Exists("Out2/Documents/Empty"));

  EXPECT_EQ(t.Next("text 0 14: "), "Erstellen");
  EXPECT_EQ(t.Next("menu-state 0 " + std::to_string(deutsch) + ": "), "enabled checked");
  EXPECT_EQ(t.Next("value 0 2: "), "1");  // the same tab after the switch

  EXPECT_EQ(t.Next("message ").rfind("Frage | ", 0), 0u);
  EXPECT_EQ(t.Next("list 0 10: ").rfind(main_name + " | ", 0), 0u);
  EXPECT_EQ(t.Next("list 0 20: ").find(point_name), std::string::npos);
  EXPECT_FALSE(tmp.Exists("Backups/Backup_0001_of_" + SetName(docs) + ".ini"));
  EXPECT_FALSE(tmp.Exists("Backups/Backup_0001_of_" + SetName(docs) + ".sk"));

  // The layout rule with this desktop's own menu and status bars.
  std::istringstream geometry(t.Next("geometry 0: "));
  int width = 0, height = 0, menu_bar = 0, status_bar = 0, state = -1;
  geometry >> width >> height >> menu_bar >> status_bar >> state;
  EXPECT_EQ(width, 800);
  EXPECT_EQ(height, 600);
  EXPECT_GT(menu_bar, 0);
  EXPECT_GT(status_bar, 0);
  const int h = height - menu_bar - status_bar;
  EXPECT_EQ(t.Next("rect 0 2: "), "13 8 776 " + std::to_string(h - 58));
  EXPECT_EQ(t.Next("rect 0 10: "), "12 12 745 " + std::to_string(h - 140));
  // Column 0 takes what the size column (80) and the date column leave: the date column is
  // as wide as a date with its time, 110 at the least.
  const int column0 = std::stoi(t.Next("column 0 10 0: "));
  const int dates = std::stoi(t.Next("column 0 10 2: "));
  EXPECT_GE(dates, 110);
  EXPECT_EQ(column0, 745 - 90 - dates);

  if (std::getenv("SK_TEST_WINDOW_MANAGER") == nullptr) {
    GTEST_SKIP() << "no window manager: windows cannot be maximized";
  }
  std::istringstream maximized(t.Next("geometry 0: "));
  maximized >> width >> height >> menu_bar >> status_bar >> state;
  EXPECT_EQ(state, 1);
  EXPECT_GT(width, 800);
  EXPECT_EQ(Setting("MainWindow", "ViewMode"), 16777216);
  EXPECT_EQ(Setting("MainWindow", "ColumnWidth"), width - 55 - 90 - dates);
  EXPECT_EQ(Setting("MainWindow", "WinWidth"), 800);
  EXPECT_EQ(Setting("MainWindow", "WinHeight"), 600);

  // --- The next start opens maximized, and back to normal at the size it had.
  ProgramRun third =
      Run("wait-state 0 1\n"  // the window manager maximizes the window in its own time
          "geometry 0\n"
          "restore 0\n"
          "wait-state 0 0\n"
          "geometry 0\n"
          "menu 0 5\n");
  ExpectDone(third);
  Transcript next(third.transcript);
  EXPECT_EQ(next.Next("open 0 ").rfind("Stowkeeper v1.87", 0), 0u);
  std::istringstream at_start(next.Next("geometry 0: "));
  at_start >> width >> height >> menu_bar >> status_bar >> state;
  EXPECT_EQ(state, 1);
  std::istringstream restored(next.Next("geometry 0: "));
  restored >> width >> height >> menu_bar >> status_bar >> state;
  EXPECT_EQ(state, 0);
  EXPECT_EQ(width, 800);
  EXPECT_EQ(height, 600);
  EXPECT_EQ(Setting("MainWindow", "ViewMode"), 0);
  EXPECT_EQ(Setting("MainWindow", "WinWidth"), 800);
  EXPECT_EQ(Setting("MainWindow", "WinHeight"), 600);
}

TEST_F(SessionTest, ChoosersQuestionsAndJobsCanBeDeclinedOrCancelled) {
  // A backup folder that is there: no settings window. Create is cancelled in the chooser,
  // then cancelled while it packs; a second Create is not let replace the set; quitting by
  // the close box saves the settings.
  tmp.Write("config/Stowkeeper/Settings.ini",
            "[Folders]\r\nSaveFolder = " + tmp.Native("Backups/") + "\r\n");
  tmp.Write("Big/data.bin", testing::RandomData(40 * 1000 * 1000));
  ProgramRun run =
      Run("click 0 14\n"
          "folder cancel\n"
          "list 0 10\n"
          "click 0 14\n"
          "folder " +
          tmp.Native("Big") +
          "\n"
          "wait-window 1\n"
          "click 1 31\n"
          "wait-log message\n"
          "wait-enabled 0\n"
          "list 0 10\n"
          "click 0 14\n"
          "folder " +
          tmp.Native("Documents") +
          "\n"
          "wait-log sound\n"
          "click 0 14\n"
          "folder " +
          tmp.Native("Documents") +
          "\n"
          "answer no\n"
          "wait-enabled 0\n"
          "list 0 10\n"
          "close 0\n");
  ExpectDone(run);
  Transcript t(run.transcript);
  EXPECT_EQ(t.Next("open 0 ").rfind("Stowkeeper", 0), 0u);
  EXPECT_EQ(t.Next("folder "), "Please select a source folder -> cancel");
  EXPECT_EQ(t.Next("list 0 10: "), "");
  EXPECT_EQ(t.Next("open 1 "), "Creating backup...");
  EXPECT_EQ(t.Next("message "), "Information | The operation was canceled. -> ok");
  EXPECT_EQ(t.Next("list 0 10: "), "");
  EXPECT_EQ(t.Next("message "),
            "Question | The backup already exists. Do you want to replace it? -> no");
  EXPECT_EQ(t.Next("list 0 10: ").rfind("Backup_0000_of_" + tmp.Native("Documents/"), 0), 0u);
  // Nothing of the cancelled set is left behind.
  const std::string kept = "Backup_0000_of_" + SetName(tmp.Internal("Documents\\"));
  EXPECT_EQ(tmp.Names("Backups"), (std::vector<std::string>{kept + ".meta", kept + ".sk"}));
  EXPECT_EQ(Setting("Packer", "Level"), 9);
  for (const std::string& line : run.transcript) EXPECT_NE(line, "open 1 Settings");
}

TEST_F(SessionTest, ModalWindowsTakeTheKeyboardAndJobsTellTheirOutcome) {
  tmp.Write("config/Stowkeeper/Settings.ini",
            "[Folders]\r\nSaveFolder = " + tmp.Native("Backups/") + "\r\n");
  tmp.MakeFolder("Out");
  ProgramRun run = Run(
      // The settings window has the keyboard at once: Escape cancels it, Enter is OK.
      "menu 0 3\n"
      "wait-window 1\n"
      "key 1 escape\n"
      "wait-closed 1\n"
      "menu 0 3\n"
      "wait-window 1\n"
      "key 1 enter\n"
      "wait-closed 1\n"
      // Create: the new set is selected, and the status bar says what was written.
      "click 0 14\n"
      "folder " +
      tmp.Native("Documents") +
      "\n"
      "wait-log sound\n"
      "value 0 10\n"
      "enabled 0 11\n"
      "status 0 0\n"
      // The restore parameters: Escape cancels, Enter is OK.
      "select 0 2 1\n"
      "select 0 20 0\n"
      "click 0 22\n"
      "folder " +
      tmp.Native("Out") +
      "\n"
      "wait-title 1 Restore options\n"
      "key 1 escape\n"
      "wait-closed 1\n"
      "click 0 22\n"
      "folder " +
      tmp.Native("Out") +
      "\n"
      "wait-title 1 Restore options\n"
      "key 1 enter\n"
      "wait-log sound\n"
      "status 0 0\n"
      "menu 0 5\n");
  ExpectDone(run);
  Transcript t(run.transcript);
  EXPECT_EQ(t.Next("open 1 "), "Settings");
  EXPECT_EQ(t.Next("close 1"), "");
  EXPECT_EQ(t.Next("open 1 "), "Settings");
  EXPECT_EQ(t.Next("close 1"), "");
  EXPECT_EQ(t.Next("value 0 10: "), "0");
  EXPECT_EQ(t.Next("enabled 0 11: "), "1");
  // a.txt, b.txt and old.txt: 19 + 20000 + 14 bytes.
  EXPECT_EQ(t.Next("status 0 0: "),
            "Backup of " + tmp.Native("Documents/") + " written: 3 files, 19.6 KB");
  EXPECT_EQ(t.Next("open 1 "), "Restore options");
  EXPECT_EQ(t.Next("open 1 "), "Restore options");
  EXPECT_EQ(t.Next("open 1 "), "Restoring data...");
  EXPECT_EQ(t.Next("status 0 0: "),
            "Backup_0000_of_" + tmp.Native("Documents/") + " restored to " + tmp.Native("Out/"));
  const std::string below_root = tmp.Native("Documents/").substr(1);
  EXPECT_EQ(tmp.Read("Out/" + below_root + "a.txt"), "first version of a\n");
}

// One folder by the list's context menu and one file by a double click, from the contents
// window; the window opens again after each restore.
TEST_F(SessionTest, TheContentsWindowRestoresOneFolderOrOneFile) {
  tmp.Write("config/Stowkeeper/Settings.ini",
            "[Folders]\r\nSaveFolder = " + tmp.Native("Backups/") + "\r\n");
  tmp.MakeFolder("OutFolder");
  tmp.MakeFolder("OutFile");
  ProgramRun run = Run("click 0 14\nfolder " + tmp.Native("Documents") +
                       "\n"
                       "wait-log sound\n"
                       "select 0 2 1\n"
                       "select 0 20 0\n"
                       "click 0 21\n"
                       "wait-title 1 Backup contents\n"
                       // Rows of the source's parent: "..", Documents; then of Documents: "..",
                       // Empty, Letters, a.txt.
                       "select 1 30 1\n"
                       "dclick 1 30\n"
                       "select 1 30 2\n"
                       "rclick 1 30\n"
                       "menu 1 33\n"
                       "folder " +
                       tmp.Native("OutFolder") +
                       "\n"
                       "wait-title 1 Restore options\n"
                       "key 1 enter\n"
                       "wait-log sound\n"
                       "wait-title 1 Backup contents\n"
                       "select 1 30 3\n"
                       "dclick 1 30\n"
                       "folder " +
                       tmp.Native("OutFile") +
                       "\n"
                       "wait-title 1 Restore options\n"
                       "key 1 enter\n"
                       "wait-log sound\n"
                       "wait-title 1 Backup contents\n"
                       "close 1\n"
                       "wait-closed 1\n"
                       "menu 0 5\n");
  ExpectDone(run);
  const std::string below_root = tmp.Native("Documents/").substr(1);
  EXPECT_EQ(tmp.Read("OutFolder/" + below_root + "Letters/old.txt"), "to be removed\n");
  EXPECT_EQ(tmp.Read("OutFolder/" + below_root + "Letters/b.txt"), testing::TextData(20000));
  EXPECT_FALSE(std::filesystem::exists(tmp.Native("OutFolder/" + below_root + "a.txt")));
  EXPECT_EQ(tmp.Read("OutFile/" + below_root + "a.txt"), "first version of a\n");
  EXPECT_FALSE(std::filesystem::exists(tmp.Native("OutFile/" + below_root + "Letters")));
}

}  // namespace
}  // namespace sk
