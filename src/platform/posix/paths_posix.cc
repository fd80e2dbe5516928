// Internal paths on Linux: the file system root "/" is the drive Z:\.
#include <limits.h>
#include <unistd.h>

#include <string>

#include "platform/file_system.h"

namespace sk::platform {

std::string NativePath(const std::string& internal_path) {
  if (internal_path.size() < 3 || internal_path.find('\0') != std::string::npos) return "";
  const char drive = internal_path[0];
  if ((drive != 'Z' && drive != 'z') || internal_path[1] != ':' || internal_path[2] != '\\') {
    return "";
  }
  std::string native = "/";
  for (size_t i = 3; i < internal_path.size(); ++i) {
    const char c = internal_path[i];
    native += c == '\\' ? '/' : c == '/' ? '\\' : c;
  }
  return native;
}

std::string InternalPath(const std::string& native_path) {
  if (native_path.empty()) return "";
  std::string absolute = native_path;
  if (absolute[0] != '/') {
    char cwd[PATH_MAX];
    if (getcwd(cwd, sizeof cwd) == nullptr) return "";
    absolute = std::string(cwd) + "/" + absolute;
  }
  std::string internal = "Z:\\";
  for (size_t i = 1; i < absolute.size(); ++i) {
    const char c = absolute[i];
    // "//" and "/./" add nothing to a path.
    if (c == '/' && (internal.back() == '\\')) continue;
    internal += c == '/' ? '\\' : c;
  }
  // Drop "." components left by a relative path such as "./docs".
  std::string cleaned;
  size_t start = 0;
  while (start < internal.size()) {
    size_t end = internal.find('\\', start);
    const bool has_separator = end != std::string::npos;
    if (!has_separator) end = internal.size();
    const std::string part = internal.substr(start, end - start);
    if (part == ".." && cleaned.size() > 3) {
      cleaned.pop_back();
      cleaned.erase(cleaned.rfind('\\') + 1);
    } else if (part != "." && part != "..") {
      cleaned += part;
      if (has_separator) cleaned += '\\';
    }
    start = end + 1;
  }
  return cleaned;
}

std::string ProgramFolder() {
  char buffer[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (length <= 0) return "";
  std::string path = InternalPath(std::string(buffer, static_cast<size_t>(length)));
  return path.substr(0, path.rfind('\\') + 1);
}

std::string UserSettingsFolder() {
  std::string base = EnvironmentValue("XDG_CONFIG_HOME");
  if (base.empty() || base[0] != '/') {
    const std::string home = EnvironmentValue("HOME");
    if (home.empty() || home[0] != '/') return "";
    base = home + "/.config";
  }
  return InternalPath(base + "/Stowkeeper/");
}

// Names and windows are UTF-8 here already.
std::string SystemTextFromUtf8(const std::string& utf8) { return utf8; }

}  // namespace sk::platform
