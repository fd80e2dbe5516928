#include "support/test_support.h"

#include <stdlib.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include "platform/file_system.h"
#include "shell/text_table.h"

namespace sk::testing {

namespace fs = std::filesystem;

TempFolder::TempFolder() {
  std::string pattern = "/tmp/sk-test-XXXXXX";
  if (mkdtemp(pattern.data()) != nullptr) native_ = pattern + "/";
}

TempFolder::~TempFolder() {
  if (native_.empty()) return;
  std::error_code ignored;
  // Folders a test made unlistable would stop the removal when not run as root.
  for (auto it = fs::recursive_directory_iterator(
           native_, fs::directory_options::skip_permission_denied, ignored);
       it != fs::recursive_directory_iterator(); it.increment(ignored)) {
    if (it->is_directory(ignored) && !it->is_symlink(ignored)) {
      fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
    }
  }
  fs::remove_all(native_, ignored);
}

std::string TempFolder::Native(const std::string& relative) const { return native_ + relative; }

std::string TempFolder::Internal(const std::string& relative) const {
  return platform::InternalPath(native_ + relative);
}

void TempFolder::Write(const std::string& relative, const std::string& content) const {
  const fs::path path = native_ + relative;
  fs::create_directories(path.parent_path());
  // A fresh file rather than a truncated one: the file system writes a truncated file out
  // at once when it is closed, which makes tests that rewrite files wait on the disk.
  std::error_code ignored;
  fs::remove(path, ignored);
  std::ofstream(path, std::ios::binary) << content;
}

std::string TempFolder::Read(const std::string& relative) const {
  std::ifstream in(native_ + relative, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

bool TempFolder::Exists(const std::string& relative) const {
  std::error_code ignored;
  return fs::exists(fs::symlink_status(native_ + relative, ignored));
}

void TempFolder::MakeFolder(const std::string& relative) const {
  fs::create_directories(native_ + relative);
}

void TempFolder::Remove(const std::string& relative) const {
  std::error_code ignored;
  fs::remove_all(native_ + relative, ignored);
}

void TempFolder::SetReadOnly(const std::string& relative) const {
  ::chmod((native_ + relative).c_str(), 0444);
}

std::vector<std::string> TempFolder::Names(const std::string& relative) const {
  std::vector<std::string> names;
  std::error_code ignored;
  for (const auto& entry : fs::directory_iterator(native_ + relative, ignored)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string TextData(size_t size, uint32_t seed) {
  static const char* const kWords[] = {"backup", "volume", "folder",  "stored", "record",
                                       "the",    "of",     "and",     "file",   "block",
                                       "index",  "update", "restore", "point",  "engine"};
  std::mt19937 random(seed);
  std::string text;
  text.reserve(size + 16);
  while (text.size() < size) {
    text += kWords[random() % std::size(kWords)];
    text += random() % 9 == 0 ? "\r\n" : " ";
  }
  text.resize(size);
  return text;
}

std::string RandomData(size_t size, uint32_t seed) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(random() & 0xFF);
  return bytes;
}

TestApp::TestApp(const std::string& backup_folder) {
  FillDefaultTexts(app.Texts);
  app.BackupFolder = backup_folder;
}

FaultGuard::FaultGuard() { platform::ClearFaults(); }
FaultGuard::~FaultGuard() { platform::ClearFaults(); }

}  // namespace sk::testing
