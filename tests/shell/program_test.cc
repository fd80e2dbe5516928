// Runs the real program, as a user or a script does, with its own settings folder.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "core/ini.h"
#include "platform/file_system.h"
#include "shell/json_output.h"
#include "support/program_runner.h"
#include "support/test_support.h"

#ifndef _WIN32
extern char** environ;
#endif

namespace sk {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

constexpr char kSeparator = platform::kBackslashSeparates ? '\\' : '/';

#ifndef _WIN32
// A text of the English catalog the program reads (LANG is English for it).
std::string CatalogText(const std::string& number) {
  IniReader catalog;
  if (!catalog.Load(
          platform::InternalPath(std::string(SK_BINARY_DIR) + "/Catalogs/English.catalog")) ||
      !catalog.SelectGroup("CATALOG")) {
    return "<no catalog>";
  }
  return catalog.ReadText(number, "<no text " + number + ">");
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end = text.find('\n'); end != std::string::npos; end = text.find('\n', start)) {
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}
#endif  // _WIN32

class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(fs::exists(testing::ProgramPath()))
        << "build the program first: " << testing::ProgramPath();
    folder_.MakeFolder("config/Stowkeeper");
    folder_.MakeFolder("backups");
    folder_.MakeFolder("target");
    folder_.Write("src/a.txt", "alpha");
    folder_.Write("src/sub/b.txt", std::string(30000, 'b'));
  }

  void WriteSettings(const std::string& groups) {
    folder_.Write("config/Stowkeeper/Settings.ini", groups);
  }
  void UseBackupFolder(const std::string& extra = "") {
    WriteSettings("[Folders]\r\nSaveFolder = " + folder_.Native("backups") + "\r\n" + extra);
  }

  testing::ProgramSetting Setting(const std::vector<std::string>& environment = {}) {
    return {.config = folder_.Native("config"),
            .home = folder_.Native("home"),
            .output = folder_.Native("stdout"),
            .errors = folder_.Native("stderr"),
            .environment = environment};
  }

  // Starts the program with the test's settings folder, no display, standard input empty and
  // the output into files.
  testing::StartedProgram Start(const std::vector<std::string>& args,
                                const std::vector<std::string>& environment = {}) {
    const testing::StartedProgram program = testing::StartProgram(args, Setting(environment));
    EXPECT_NE(program.id, -1);
    return program;
  }

  // The exit status, or -1 when the program did not end by itself.
  static int Wait(testing::StartedProgram program) { return testing::WaitForProgram(program); }

  int Run(const std::vector<std::string>& args, const std::vector<std::string>& environment = {}) {
    return Wait(Start(args, environment));
  }
  std::string Out() { return folder_.Read("stdout"); }
  std::string Err() { return folder_.Read("stderr"); }
  std::string Src() { return folder_.Native("src"); }

  std::vector<std::string> BackupFiles() { return folder_.Names("backups"); }
  // The backup folder's volumes and indexes, without the metadata beside them.
  std::vector<std::string> PointFiles() {
    std::vector<std::string> names = BackupFiles();
    std::erase_if(names, [](const std::string& name) { return name.ends_with(".meta"); });
    return names;
  }

  testing::TempFolder folder_;
};

TEST_F(ProgramTest, HelpAndVersionEndWithSuccess) {
  EXPECT_EQ(Run({"--help"}), 0);
  EXPECT_TRUE(Out().starts_with("Usage: stowkeeper /c SOURCE")) << Out();
  EXPECT_EQ(Run({"-h"}), 0);
  EXPECT_NE(Out().find(folder_.Native("config/Stowkeeper/Settings.ini")), std::string::npos);
  EXPECT_EQ(Run({"--version"}), 0);
#ifdef _WIN32
  EXPECT_EQ(Out(), "stowkeeper 1.87 (2007 - 2011)\r\n");  // standard output in text mode
#else
  EXPECT_EQ(Out(), "stowkeeper 1.87 (2007 - 2011)\n");
#endif
}

// Windows always has its desktop.
#ifndef _WIN32

// An X server of the test's own, for the command lines that must not open a window even
// where one could open: the server xvfb-run starts, asked for a free display number of its
// own choosing (xvfb-run's own pick races with other test runs on the machine). Its display
// name, or "" when the machine has no Xvfb.
class VirtualDisplay {
 public:
  VirtualDisplay() {
    int ready[2];
    if (pipe2(ready, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    // The server writes the display number to descriptor 3 once it takes connections.
    posix_spawn_file_actions_adddup2(&actions, ready[1], 3);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<std::string> arg_strings = {"Xvfb", "-displayfd", "3", "-nolisten",
                                            "tcp",  "-screen",    "0", "640x480x24"};
    std::vector<char*> args;
    for (std::string& arg : arg_strings) args.push_back(arg.data());
    args.push_back(nullptr);
    const bool started =
        posix_spawnp(&server_, "Xvfb", &actions, nullptr, args.data(), environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    close(ready[1]);
    if (!started) {
      server_ = -1;
      close(ready[0]);
      return;
    }
    // Ends at the number's line break, or empty when the server ended without a display.
    std::string number;
    char c;
    while (read(ready[0], &c, 1) == 1 && c != '\n') number += c;
    close(ready[0]);
    if (!number.empty()) name_ = ":" + number;
  }
  ~VirtualDisplay() {
    if (server_ <= 0) return;
    kill(server_, SIGTERM);
    waitpid(server_, nullptr, 0);
  }
  VirtualDisplay(const VirtualDisplay&) = delete;
  VirtualDisplay& operator=(const VirtualDisplay&) = delete;

  const std::string& name() const { return name_; }

 private:
  pid_t server_ = -1;
  std::string name_;
};

// The exit status of a program that must end by itself: one that opened the desktop would
// wait for its user for ever, so it is ended after a generous while and counts as -1.
int WaitForItsEnd(testing::StartedProgram program) {
  const pid_t pid = static_cast<pid_t>(program.id);
  const int ends = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
  if (ends >= 0) {
    pollfd wait = {ends, POLLIN, 0};
    const bool ended = poll(&wait, 1, 120 * 1000) == 1;
    close(ends);
    if (!ended) {
      kill(pid, SIGKILL);
      testing::WaitForProgram(program);
      return -1;
    }
  }
  return testing::WaitForProgram(program);
}

TEST_F(ProgramTest, WithoutADisplayTheDesktopSaysSoInTwoLines) {
  UseBackupFolder();
  const std::string no_display =
      "stowkeeper: no desktop to show the windows on (is DISPLAY set?)\n"
      "stowkeeper --help shows what the command line does\n";
  EXPECT_EQ(Run({}), 2);
  EXPECT_EQ(Err(), no_display);
  EXPECT_EQ(Run({Src()}), 2);  // one parameter that is no switch: a folder handed over
  EXPECT_EQ(Err(), no_display);
  EXPECT_TRUE(BackupFiles().empty());
}

// Whatever is wrong with a command line, it is told in one line and nothing is done; the
// desktop never opens for it, even where a display is at hand.
TEST_F(ProgramTest, ACommandLineThatCannotRunSaysWhyInOneLineAndOpensNoWindow) {
  UseBackupFolder();
  ASSERT_EQ(Run({"/c", Src(), "--quiet"}), 0) << Err();
  const std::vector<std::string> before = BackupFiles();
  const std::vector<std::pair<std::vector<std::string>, std::string>> kCases = {
      {{"/c", folder_.Native("scr")},  // a mistyped SOURCE
       "stowkeeper: /c: \"" + folder_.Native("scr") + "\" is not an existing folder\n"},
      {{"/u", folder_.Native("src/a.txt")},
       "stowkeeper: /u: \"" + folder_.Native("src/a.txt") + "\" is a file, no folder\n"},
      {{"/c", "C:/Data"}, "stowkeeper: /c: \"C:/Data\" holds a \"/\"\n"},
      {{"/u", Src(), folder_.Native("target")},
       "stowkeeper: /u: \"" + folder_.Native("target") + "\" is one parameter too many\n"},
      {{"/v"}, "stowkeeper: /v: a parameter is missing\n"},
      {{"/l", "10001", Src()},
       "stowkeeper: /l: \"10001\" is no restore point number (0 to 9999)\n"},
      {{"/p", "10003", Src()},
       "stowkeeper: /p: \"10003\" is no restore point number (0 to 9999)\n"},
      {{"/r", "0", Src(), folder_.Native("src/sub/out")},
       "stowkeeper: /r: TARGET \"" + folder_.Native("src/sub/out") + "\" lies inside SOURCE\n"},
      {{"/q", Src()}, "stowkeeper: /q: unknown switch (stowkeeper --help lists them)\n"},
      {{"/c", Src(), "--verbose"}, "stowkeeper: --verbose: unknown option\n"},
  };
  VirtualDisplay display;
  std::vector<std::string> screens = {""};
  if (!display.name().empty()) screens.push_back(display.name());
  for (const std::string& screen : screens) {
    for (const auto& [args, message] : kCases) {
      std::string shown = screen.empty() ? "(no display) " : "(DISPLAY=" + screen + ") ";
      for (const std::string& arg : args) shown += arg + " ";
      std::vector<std::string> environment;
      if (!screen.empty()) environment.push_back("DISPLAY=" + screen);
      EXPECT_EQ(WaitForItsEnd(Start(args, environment)), 2) << shown;
      EXPECT_EQ(Err(), message) << shown;
      EXPECT_EQ(Out(), "") << shown;
    }
  }
  EXPECT_EQ(BackupFiles(), before);
  EXPECT_TRUE(folder_.Names("target").empty());
  EXPECT_FALSE(folder_.Exists("src/sub/out"));
  if (display.name().empty()) GTEST_SKIP() << "no Xvfb: the cases ran without a display only";
}
#endif  // _WIN32

TEST_F(ProgramTest, AnEmptyBackupFolderSaysWhyAndWritesNothing) {
  WriteSettings("[Folders]\r\nSaveFolder =\r\n[Packer]\r\nLevel = 3\r\n");
  EXPECT_EQ(Run({"/c", Src()}), 2);
  EXPECT_NE(Err().find("no backup folder is set"), std::string::npos) << Err();
  EXPECT_EQ(folder_.Read("config/Stowkeeper/Settings.ini"),
            "[Folders]\r\nSaveFolder =\r\n[Packer]\r\nLevel = 3\r\n");
  fs::remove(folder_.Native("config/Stowkeeper/Settings.ini"));
  EXPECT_EQ(Run({"/c", Src()}), 2);
  EXPECT_FALSE(folder_.Exists("config/Stowkeeper/Settings.ini"));
}

TEST_F(ProgramTest, CreateThenCreateAgainWithoutATerminalToAsk) {
  UseBackupFolder();
  ASSERT_EQ(Run({"/c", Src()}), 0) << Err();
  ASSERT_EQ(PointFiles().size(), 1u);
  const std::string volume = PointFiles()[0];
  // The drive of the source: Z: on Linux.
  const std::string drive = folder_.Internal().substr(0, 1);
  EXPECT_TRUE(volume.starts_with("Backup_0000_of_" + drive + "__") && volume.ends_with("_src_.sk"))
      << volume;
#ifndef _WIN32
  EXPECT_NE(Err().find("100%"), std::string::npos) << Err();
#endif

  // No terminal: the existing set is kept, and the status says no backup was made. On
  // Windows the question is a message box, which the program's automation script declines
  // as a user would (with a screen, it would wait for an answer).
#ifdef _WIN32
  folder_.Write("decline.txt", "answer no\r\n");
  EXPECT_EQ(Run({"/C", Src()}, {"STOWKEEPER_AUTOMATION=" + folder_.Native("decline.txt")}), 1);
#else
  const std::string asked = CatalogText("030") + ": " + CatalogText("031") + "\n";
  EXPECT_EQ(Run({"/C", Src()}), 1);
  EXPECT_TRUE(Err().ends_with(asked + "  -> No (no terminal to ask on)\n" +
                              "stowkeeper: /c: the existing backup of " + Src() +
                              "/ was kept; nothing was written\n"))
      << Err();

  // "--quiet" leaves the progress line out: only the question and its answer remain.
  const std::string kept = folder_.Read("backups/" + volume);
  folder_.Write("src/a.txt", "alpha, again");
  EXPECT_EQ(Run({"/c", Src(), "--quiet", "--yes"}), 0);
  EXPECT_EQ(Err(), asked + "  -> yes (--yes)\n");
  EXPECT_NE(folder_.Read("backups/" + volume), kept);
#endif
  EXPECT_EQ(PointFiles(), std::vector<std::string>{volume});
}

// "--json": one summary document on standard output, whatever else the run says elsewhere.
TEST_F(ProgramTest, CreateAndUpdateSummarizeThemselvesInJson) {
  UseBackupFolder();
  ASSERT_EQ(Run({"/c", Src(), "--json"}), 0) << Err();
  json summary = json::parse(Out());
  ASSERT_EQ(BackupFiles().size(), 2u);  // the main volume and its metadata
  const auto written = static_cast<int64_t>(folder_.Read("backups/" + BackupFiles()[0]).size() +
                                            folder_.Read("backups/" + BackupFiles()[1]).size());
  EXPECT_EQ(summary["job"], "create");
  EXPECT_EQ(summary["outcome"], "done");
  EXPECT_EQ(summary["status"], 0);
  EXPECT_EQ(summary["point"], 0);
  EXPECT_EQ(summary["added"], 0);
  EXPECT_EQ(summary["changed"], 0);
  EXPECT_EQ(summary["removed"], 0);
  EXPECT_EQ(summary["files"], 2);
  EXPECT_EQ(summary["folders"], 1);  // sub: the source folder itself is no entry
  EXPECT_EQ(summary["bytes_read"], 30005);
  EXPECT_EQ(summary["bytes_written"], written);
  EXPECT_GE(summary["seconds"].get<double>(), 0.0);
  EXPECT_EQ(TakeName(summary, "source"), Src() + kSeparator);
  EXPECT_EQ(summary["problems"], json::array());
  EXPECT_FALSE(summary.contains("failure"));
  EXPECT_EQ(Out().find('\n'), Out().size() - 1);  // one document, one line

  folder_.Write("src/a.txt", "alpha, changed");
  folder_.Write("src/c.txt", "gamma");
  folder_.Remove("src/sub/b.txt");
  ASSERT_EQ(Run({"--json", "/u", Src(), "--quiet"}), 0) << Err();
  EXPECT_EQ(Err(), "");
  summary = json::parse(Out());
  ASSERT_EQ(PointFiles().size(), 3u);
  int64_t update_size = 0;
  for (const std::string& name : BackupFiles()) {
    if (name.starts_with("Backup_0001_")) {
      update_size += static_cast<int64_t>(folder_.Read("backups/" + name).size());
    }
  }
  EXPECT_EQ(summary["job"], "update");
  EXPECT_EQ(summary["outcome"], "done");
  EXPECT_EQ(summary["status"], 0);
  EXPECT_EQ(summary["point"], 1);
  EXPECT_EQ(summary["added"], 1);
  EXPECT_EQ(summary["changed"], 1);
  EXPECT_EQ(summary["removed"], 1);
  EXPECT_EQ(summary["files"], 2);
  EXPECT_EQ(summary["bytes_read"], 19);
  EXPECT_EQ(summary["bytes_written"], update_size);  // its volume, index and metadata
  EXPECT_EQ(TakeName(summary, "source"), Src() + kSeparator);
  EXPECT_EQ(summary["problems"], json::array());

#ifndef _WIN32
  // A kept set is no backup: the summary's status is the exit status.
  EXPECT_EQ(Run({"/c", Src(), "--json", "--no"}), 1);
  summary = json::parse(Out());
  EXPECT_EQ(summary["job"], "create");
  EXPECT_EQ(summary["status"], 1);
  EXPECT_EQ(PointFiles().size(), 3u);
#endif
}

#ifndef _WIN32
TEST_F(ProgramTest, ALinkIsKeptAsALinkAndAFifoIsLeftOutNamedWithStatusThree) {
  UseBackupFolder();
  folder_.Write("outside/secret.txt", "not below src");
  fs::create_directory_symlink(folder_.Native("outside"), folder_.Native("src/link"));
  ASSERT_EQ(mkfifo(folder_.Native("src/fifo").c_str(), 0644), 0);
  const std::string named = "stowkeeper: /c: " + folder_.Native("src/fifo") + ": " +
                            CatalogText("123") + "\n" +
                            "stowkeeper: /c: done, with 1 problem named above\n";
  EXPECT_EQ(Run({"/c", Src(), "--quiet"}), 3);
  EXPECT_EQ(Err(), named);
  ASSERT_EQ(PointFiles().size(), 1u);
  // The link is listed as what it is, with its target; what it points at is not followed.
  ASSERT_EQ(Run({"/l", "0", Src()}), 0) << Err();
  EXPECT_EQ(Lines(Out()).size(), 4u) << Out();  // a.txt, link, sub, sub/b.txt
  EXPECT_NE(Out().find("link -> " + folder_.Native("outside")), std::string::npos) << Out();
  EXPECT_EQ(Out().find("secret"), std::string::npos) << Out();
  EXPECT_EQ(Out().find("fifo"), std::string::npos) << Out();

  // The update names the FIFO too; its summary tells the problem for machines.
  folder_.Write("src/c.txt", "gamma");
  EXPECT_EQ(Run({"/u", Src(), "--json", "--quiet"}), 3);
  EXPECT_TRUE(Err().starts_with("stowkeeper: /u: " + folder_.Native("src/fifo") + ": ")) << Err();
  const json summary = json::parse(Out());
  EXPECT_EQ(summary["outcome"], "done-with-problems");
  EXPECT_EQ(summary["status"], 3);
  EXPECT_EQ(summary["point"], 1);
  ASSERT_EQ(summary["problems"].size(), 1u);
  EXPECT_EQ(summary["problems"][0]["kind"], "not-stored");
  EXPECT_EQ(TakeName(summary["problems"][0], "path"), folder_.Native("src/fifo"));
  EXPECT_EQ(TakeName(summary["problems"][0], "reason"), CatalogText("123"));
  EXPECT_EQ(PointFiles().size(), 3u);

  // The restore makes the link again, pointing where it pointed, and never through it.
  folder_.MakeFolder("out");
  ASSERT_EQ(Run({"/r", "1", Src(), folder_.Native("out")}), 0) << Err();
  const std::string restored = folder_.Native("out") + Src() + "/link";  // the whole path
  EXPECT_TRUE(fs::is_symlink(restored));
  EXPECT_EQ(fs::read_symlink(restored), folder_.Native("outside"));
  EXPECT_EQ(folder_.Read("outside/secret.txt"), "not below src");
}

// The standard error of a program as a pipe filled to the brim: the program's first line
// there holds it still until the test reads, so that a job stands in the middle of its work
// however busy the machine is. A create writes its first progress line while it packs, after
// the volume's temporary file is made and long before its last block.
class HeldErrors {
 public:
  explicit HeldErrors(std::string path) : path_(std::move(path)) {
    if (mkfifo(path_.c_str(), 0600) != 0) return;
    read_ = open(path_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    const int write = open(path_.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (read_ < 0 || write < 0) return;
    // Whole pages first, then byte by byte into what is left of the last.
    const std::string page(4096, '.');
    while (::write(write, page.data(), page.size()) > 0) filled_ += page.size();
    while (::write(write, ".", 1) == 1) ++filled_;
    close(write);
    fcntl(read_, F_SETFL, fcntl(read_, F_GETFL) & ~O_NONBLOCK);
  }
  ~HeldErrors() {
    if (read_ >= 0) close(read_);
  }
  HeldErrors(const HeldErrors&) = delete;
  HeldErrors& operator=(const HeldErrors&) = delete;

  bool ready() const { return read_ >= 0 && filled_ > 0; }
  const std::string& path() const { return path_; }

  // Lets the program go on: what it wrote, read to its end (the program's own).
  std::string Release() {
    std::string text;
    char buffer[4096];
    for (ssize_t got; (got = read(read_, buffer, sizeof buffer)) != 0;) {
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) break;
      text.append(buffer, static_cast<size_t>(got));
    }
    return text.size() >= filled_ ? text.substr(filled_) : "";
  }

 private:
  std::string path_;
  int read_ = -1;
  size_t filled_ = 0;
};

// SIGHUP at its default for the programs started while this lives, as from a terminal; a
// test run under nohup would hand its "ignore" on to them.
class HangUpAtDefault {
 public:
  HangUpAtDefault() {
    struct sigaction standard = {};
    standard.sa_handler = SIG_DFL;
    sigaction(SIGHUP, &standard, &previous_);
  }
  ~HangUpAtDefault() { sigaction(SIGHUP, &previous_, nullptr); }
  HangUpAtDefault(const HangUpAtDefault&) = delete;
  HangUpAtDefault& operator=(const HangUpAtDefault&) = delete;

 private:
  struct sigaction previous_ = {};
};

class SignalProgramTest : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    UseBackupFolder();
    // Enough blocks that a job held at its first progress line has most of them ahead.
    for (int i = 0; i < 4; ++i) {
      folder_.Write("big/" + std::to_string(i) + ".bin",
                    testing::RandomData(1 << 20, static_cast<uint32_t>(i + 1)));
    }
  }

  // "/c" of the big folder, its standard error held; returns once the job packs.
  testing::StartedProgram StartHeldCreate(HeldErrors& errors) {
    EXPECT_TRUE(errors.ready());
    testing::StartedProgram program;
    {
      HangUpAtDefault hang_up;
      program =
          testing::StartProgram({"/c", folder_.Native("big")}, {.config = folder_.Native("config"),
                                                                .home = folder_.Native("home"),
                                                                .output = folder_.Native("stdout"),
                                                                .errors = errors.path()});
    }
    EXPECT_NE(program.id, -1);
    // The volume's temporary file: the job packs (its signal handlers are in place long
    // before), and cannot get past its first progress line.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    bool packing = false;
    while (!packing && program.id != -1 && std::chrono::steady_clock::now() < deadline) {
      for (const std::string& name : BackupFiles()) packing |= name.starts_with("~");
      if (!packing) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    EXPECT_TRUE(packing) << "the create never began to pack";
    return program;
  }
};

TEST_F(SignalProgramTest, SigintSigtermAndSighupCancelACreateAndLeaveNothing) {
  const std::string cancelled = "stowkeeper: /c: " + CatalogText("034") + "\n";
  for (const int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(strsignal(signal_number));
    HeldErrors errors(folder_.Native("stderr-" + std::to_string(signal_number)));
    const testing::StartedProgram program = StartHeldCreate(errors);
    ASSERT_NE(program.id, -1);
    ASSERT_EQ(kill(static_cast<pid_t>(program.id), signal_number), 0);
    const std::string err = errors.Release();
    EXPECT_EQ(Wait(program), 1) << err;
    EXPECT_TRUE(err.ends_with(cancelled)) << err;
    // No volume, no temporary file, no lock.
    EXPECT_TRUE(BackupFiles().empty()) << ::testing::PrintToString(BackupFiles());
  }
}

TEST_F(SignalProgramTest, ASecondSignalBeforeTheJobTookTheFirstEndsTheProgramAtOnce) {
  HeldErrors errors(folder_.Native("held"));
  const testing::StartedProgram program = StartHeldCreate(errors);
  ASSERT_NE(program.id, -1);
  const pid_t pid = static_cast<pid_t>(program.id);
  // Held still, the program takes both signals together when it goes on; aimed at its main
  // thread, which runs the job, no worker can take one of them while the job takes the other.
  ASSERT_EQ(kill(pid, SIGSTOP), 0);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, WUNTRACED), pid);
  ASSERT_TRUE(WIFSTOPPED(status));
  ASSERT_EQ(syscall(SYS_tgkill, pid, pid, SIGTERM), 0);
  ASSERT_EQ(syscall(SYS_tgkill, pid, pid, SIGINT), 0);
  ASSERT_EQ(kill(pid, SIGCONT), 0);
  const std::string err = errors.Release();
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFSIGNALED(status)) << "exit status " << WEXITSTATUS(status) << ": " << err;
  EXPECT_EQ(err.find(CatalogText("034")), std::string::npos) << err;
}
#endif  // _WIN32

}  // namespace
}  // namespace sk
