// Shared helpers of the test suite: a fresh temporary folder per test, whole-file reads and
// writes, deterministic test data and an AppState with a desktop on the headless toolkit.
#ifndef STOWKEEPER_TESTS_SUPPORT_TEST_SUPPORT_H_
#define STOWKEEPER_TESTS_SUPPORT_TEST_SUPPORT_H_

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "core/app_state.h"
#include "platform/process.h"
#include "shell/desktop.h"
#include "ui/headless/headless_toolkit.h"

namespace sk::testing {

// A fresh folder below the system's temporary folder ($TMPDIR, else /tmp; on Windows the one
// GetTempPath names), removed with everything in it when the object goes. Relative paths use "/"
// and are taken below the folder.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  // "/tmp/sk-test-abc123/" + relative; on Windows a native Windows path with "\" throughout.
  std::string Native(const std::string& relative = "") const;
  // The same in the program's internal form ("Z:\tmp\sk-test-abc123\" + relative; on Windows
  // the native path itself).
  std::string Internal(const std::string& relative = "") const;

  // Creates the parent folders as needed.
  void Write(const std::string& relative, const std::string& content) const;
  // Writes into the existing file in place (the same file, cut to the new content), as a
  // program that changes a file does; Write makes a fresh file, which Windows refuses while
  // another handle holds the old one open.
  void Overwrite(const std::string& relative, const std::string& content) const;
  std::string Read(const std::string& relative) const;
  bool Exists(const std::string& relative) const;
  void MakeFolder(const std::string& relative) const;
  void Remove(const std::string& relative) const;
  void SetReadOnly(const std::string& relative) const;
  // The names directly in a folder, sorted.
  std::vector<std::string> Names(const std::string& relative = "") const;

 private:
  std::string native_;  // ends with the system's separator
};

// A text as the program holds it: on Windows the UTF-8 text in the system's code page, on
// Linux the text itself.
std::string SystemText(const std::string& utf8);

// A tree on disk as relative paths (the system's separators): a file's content, or kFolder
// for a folder. Empty when the root does not exist.
using Snapshot = std::map<std::string, std::string>;
inline const std::string kFolder = "<folder>";
Snapshot WalkTree(const std::string& native_root);

// What a program wrote to a text stream with its line ends as "\n": on Windows text streams
// end lines with CR LF.
std::string UnixLines(std::string text);

// Deterministic data: words and lines that compress well, and bytes that do not.
std::string TextData(size_t size, uint32_t seed = 1);
std::string RandomData(size_t size, uint32_t seed = 1);

// An AppState with the built-in texts, and a desktop on the headless toolkit; the backup
// folder is set by the caller (internal form, ending in "\").
struct TestApp {
  explicit TestApp(const std::string& backup_folder = "");
  ui::HeadlessToolkit tk;
  AppState app;
  Desktop desk{app, tk};
};

// Disarms the fault seam when it goes out of scope, so that a failing test cannot leave a
// fault armed for the next one.
struct FaultGuard {
  FaultGuard();
  ~FaultGuard();
  FaultGuard(const FaultGuard&) = delete;
  FaultGuard& operator=(const FaultGuard&) = delete;
};

// Stands for the system in every test: systemctl and schtasks are not there (status -1), so
// that no test reaches the user's real scheduler; every other program runs. Set from the
// start; a test that sets a runner of its own puts this one back.
platform::ProcessResult WithoutScheduler(const std::vector<std::string>& command);

}  // namespace sk::testing

#endif  // STOWKEEPER_TESTS_SUPPORT_TEST_SUPPORT_H_
