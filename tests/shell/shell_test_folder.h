// A fresh temporary folder per test, removed afterwards, with helpers to write and read
// whole files by native path.
#ifndef STOWKEEPER_TESTS_SHELL_SHELL_TEST_FOLDER_H_
#define STOWKEEPER_TESTS_SHELL_SHELL_TEST_FOLDER_H_

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/file_system.h"

namespace sk::testing {

class ShellTestFolder {
 public:
  ShellTestFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "sk-shell-XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr) native_ = pattern + "/";
  }
  ~ShellTestFolder() {
    std::error_code ignored;
    if (!native_.empty()) std::filesystem::remove_all(native_, ignored);
  }
  ShellTestFolder(const ShellTestFolder&) = delete;
  ShellTestFolder& operator=(const ShellTestFolder&) = delete;

  // "/tmp/sk-shell-abc123/" + relative
  std::string Native(const std::string& relative = "") const { return native_ + relative; }
  // The same in the program's internal form ("Z:\tmp\sk-shell-abc123\" + relative).
  std::string Internal(const std::string& relative = "") const {
    return platform::InternalPath(native_ + relative);
  }

  void Write(const std::string& relative, const std::string& content) const {
    std::filesystem::path path = native_ + relative;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
  }
  std::string Read(const std::string& relative) const {
    std::ifstream in(native_ + relative, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  bool Exists(const std::string& relative) const {
    return std::filesystem::exists(native_ + relative);
  }
  void MakeFolder(const std::string& relative) const {
    std::filesystem::create_directories(native_ + relative);
  }

 private:
  std::string native_;
};

}  // namespace sk::testing

#endif  // STOWKEEPER_TESTS_SHELL_SHELL_TEST_FOLDER_H_
