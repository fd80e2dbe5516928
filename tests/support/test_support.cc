#include "support/test_support.h"

#include <stdlib.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <windows.h>
#endif

#include "core/text_table.h"
#include "platform/file_system.h"

namespace sk::testing {

#ifdef _WIN32

// CTest reads the list of tests line by line: without the CR that text mode puts before each
// LF, the Windows test program lists its tests exactly as the Linux one does.
const int kBinaryStandardOutput = _setmode(_fileno(stdout), _O_BINARY);

// On Windows the folder is worked on with the ANSI file functions, as the program does, so
// that a name means the same bytes to the test and to the program (the standard library's
// paths take narrow names as UTF-8 there).
namespace {

std::string WindowsPath(std::string path) {
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

void MakeFolders(const std::string& path) {
  // Every prefix that ends before a separator, after the drive ("C:\").
  for (size_t i = 3; i <= path.size(); ++i) {
    if (i == path.size() || path[i] == '\\') CreateDirectoryA(path.substr(0, i).c_str(), nullptr);
  }
}

void RemoveTree(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return;
  SetFileAttributesA(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    DeleteFileA(path.c_str());
    return;
  }
  WIN32_FIND_DATAA found;
  const std::string folder = path.back() == '\\' ? path : path + "\\";
  HANDLE search = FindFirstFileA((folder + "*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::string name = found.cFileName;
      if (name != "." && name != "..") RemoveTree(folder + name);
    } while (FindNextFileA(search, &found));
    FindClose(search);
  }
  RemoveDirectoryA(folder.c_str());
}

}  // namespace

TempFolder::TempFolder() {
  char temp[MAX_PATH + 1] = {};
  const DWORD length = GetTempPathA(sizeof(temp), temp);
  if (length == 0 || length > MAX_PATH) return;
  static unsigned counter = 0;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string path = std::string(temp) + "sk-test-" +
                             std::to_string(GetCurrentProcessId()) + "-" +
                             std::to_string(GetTickCount()) + "-" + std::to_string(++counter);
    if (CreateDirectoryA(path.c_str(), nullptr)) {
      native_ = path + "\\";
      return;
    }
  }
}

TempFolder::~TempFolder() {
  if (!native_.empty()) RemoveTree(native_);
}

std::string TempFolder::Native(const std::string& relative) const {
  return WindowsPath(native_ + relative);
}

std::string TempFolder::Internal(const std::string& relative) const {
  return platform::InternalPath(Native(relative));
}

void TempFolder::Write(const std::string& relative, const std::string& content) const {
  const std::string path = Native(relative);
  MakeFolders(path.substr(0, path.rfind('\\')));
  RemoveTree(path);
  if (FILE* file = fopen(path.c_str(), "wb")) {
    fwrite(content.data(), 1, content.size(), file);
    fclose(file);
  }
}

void TempFolder::Overwrite(const std::string& relative, const std::string& content) const {
  std::ofstream(std::filesystem::path(Native(relative)), std::ios::binary | std::ios::trunc)
      << content;
}

std::string TempFolder::Read(const std::string& relative) const {
  std::string content;
  if (FILE* file = fopen(Native(relative).c_str(), "rb")) {
    char buffer[65536];
    size_t got;
    while ((got = fread(buffer, 1, sizeof(buffer), file)) > 0) content.append(buffer, got);
    fclose(file);
  }
  return content;
}

bool TempFolder::Exists(const std::string& relative) const {
  return GetFileAttributesA(Native(relative).c_str()) != INVALID_FILE_ATTRIBUTES;
}

void TempFolder::MakeFolder(const std::string& relative) const { MakeFolders(Native(relative)); }

void TempFolder::Remove(const std::string& relative) const { RemoveTree(Native(relative)); }

void TempFolder::SetReadOnly(const std::string& relative) const {
  const std::string path = Native(relative);
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    SetFileAttributesA(path.c_str(), attributes | FILE_ATTRIBUTE_READONLY);
  }
}

std::vector<std::string> TempFolder::Names(const std::string& relative) const {
  std::vector<std::string> names;
  std::string folder = Native(relative);
  if (folder.back() != '\\') folder += '\\';
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((folder + "*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::string name = found.cFileName;
      if (name != "." && name != "..") names.push_back(name);
    } while (FindNextFileA(search, &found));
    FindClose(search);
  }
  std::sort(names.begin(), names.end());
  return names;
}

#else  // POSIX

namespace fs = std::filesystem;

TempFolder::TempFolder() {
  // $TMPDIR when it names a folder (the fuzz targets run in memory that way), else /tmp.
  const char* tmpdir = std::getenv("TMPDIR");
  const bool usable = tmpdir != nullptr && tmpdir[0] == '/' && fs::is_directory(tmpdir);
  std::string pattern = std::string(usable ? tmpdir : "/tmp") + "/sk-test-XXXXXX";
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

void TempFolder::Overwrite(const std::string& relative, const std::string& content) const {
  std::ofstream(std::filesystem::path(Native(relative)), std::ios::binary | std::ios::trunc)
      << content;
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

#endif  // _WIN32

std::string SystemText(const std::string& utf8) { return platform::SystemTextFromUtf8(utf8); }

Snapshot WalkTree(const std::string& native_root) {
  namespace fs = std::filesystem;
  Snapshot tree;
  if (!fs::exists(native_root)) return tree;
  for (const auto& entry : fs::recursive_directory_iterator(native_root)) {
    const std::string relative = fs::relative(entry.path(), native_root).string();
    if (entry.is_directory()) {
      tree[relative] = kFolder;
    } else {
      std::ifstream in(entry.path(), std::ios::binary);
      tree[relative] = std::string(std::istreambuf_iterator<char>(in), {});
    }
  }
  return tree;
}

std::string UnixLines(std::string text) {
  for (size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at)) {
    text.erase(at, 1);
  }
  return text;
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

platform::ProcessResult WithoutScheduler(const std::vector<std::string>& command) {
  if (command.empty() || command[0] == "systemctl" || command[0] == "schtasks") return {};
  return platform::RunSystemProcess(command);
}

namespace {
[[maybe_unused]] const bool kSchedulerKeptAway = (platform::SetProcessRunner(&WithoutScheduler), true);
}  // namespace

FaultGuard::FaultGuard() { platform::ClearFaults(); }
FaultGuard::~FaultGuard() { platform::ClearFaults(); }

}  // namespace sk::testing
