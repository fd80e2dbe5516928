// Paths, the program's folders and text on Windows. The internal path form is the native
// one ("C:\Data\", "\\server\share\Data\"), so the conversions only check and complete
// paths.
#include <windows.h>

#include <climits>
#include <string>

#include "platform/file_system.h"
#include "platform/process.h"

namespace sk::platform {
namespace {

// True when the last component of a path names a folder by form: a trailing separator,
// "." or "..".
bool EndsAsFolder(const std::string& path) {
  const char last = path.back();
  if (last == '\\' || last == '/') return true;
  const size_t start = path.find_last_of("\\/:");
  const std::string part = path.substr(start == std::string::npos ? 0 : start + 1);
  return part == "." || part == "..";
}

std::string AnsiFromWide(const wchar_t* wide) {
  const int length = WideCharToMultiByte(CP_ACP, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  if (length <= 1) return "";
  std::string text(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_ACP, 0, wide, -1, text.data(), length, nullptr, nullptr);
  text.resize(static_cast<size_t>(length - 1));
  return text;
}

// "\\?\C:\Data" and "\\?\UNC\server\share\Data" name what "C:\Data" and
// "\\server\share\Data" do, without the system's path length limit, which the program's ANSI
// calls keep anyway.
std::string WithoutLongPrefix(const std::string& path) {
  if (path.rfind("\\\\?\\", 0) != 0) return path;
  const std::string rest = path.substr(4);
  if (rest.size() > 4 && (rest.compare(0, 4, "UNC\\") == 0 || rest.compare(0, 4, "unc\\") == 0)) {
    return "\\\\" + rest.substr(4);
  }
  return rest;
}

// Under Wine a Linux path such as /home/ann/Backups/ (a SaveFolder the Linux program wrote)
// names the same folder as Z:\home\ann\Backups\, whatever drive is current. Wine's kernel32
// says which drive shows it; Windows has no such function, and there "/x" stays the root of
// the current drive.
std::string WineDosPath(const std::string& path) {
  if (path.size() < 2 || path[0] != '/' || path[1] == '/') return "";
  using DosFileName = wchar_t*(CDECL*)(const char*);
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  const auto dos_file_name = kernel ? reinterpret_cast<DosFileName>(reinterpret_cast<void*>(
                                          GetProcAddress(kernel, "wine_get_dos_file_name")))
                                    : nullptr;
  if (dos_file_name == nullptr) return "";
  wchar_t* wide = dos_file_name(path.c_str());
  if (wide == nullptr) return "";
  std::string dos = AnsiFromWide(wide);
  HeapFree(GetProcessHeap(), 0, wide);
  return dos;
}

// Windows before Vista keeps the settings in the program folder. A manifested program on
// newer systems is told 6.2, which is still "Vista or later"; a failed query counts as
// newer too.
bool IsVistaOrLater() {
  OSVERSIONINFOA version{};
  version.dwOSVersionInfoSize = sizeof version;
  if (!GetVersionExA(&version)) return true;
  return version.dwMajorVersion >= 6;
}

}  // namespace

std::string NativePath(const std::string& internal_path) {
  const bool nameable =
      RootLength(internal_path) > 0 && internal_path.find('\0') == std::string::npos;
  return nameable ? internal_path : "";
}

std::string InternalPath(const std::string& native_path) {
  if (native_path.empty()) return "";
  const std::string wine_path = WineDosPath(native_path);
  const std::string& path = wine_path.empty() ? WithoutLongPrefix(native_path) : wine_path;
  std::string full(MAX_PATH, '\0');
  for (;;) {
    const DWORD length =
        GetFullPathNameA(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length == 0) return "";
    if (length < full.size()) {
      full.resize(length);
      break;
    }
    full.resize(length);
  }
  // Every path rule of the program starts from a drive or a share; a device path has
  // neither.
  if (RootLength(full) == 0) return "";
  if ((EndsAsFolder(native_path) || full.size() == RootLength(full)) && full.back() != '\\') {
    full += '\\';
  }
  return full;
}

std::string ProgramFile() {
  std::string path(MAX_PATH, '\0');
  for (;;) {
    const DWORD length = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return "";
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    if (path.size() >= 32768) return "";
    path.resize(path.size() * 2);
  }
}

std::string ProgramFolder() {
  const std::string path = ProgramFile();
  return path.substr(0, path.rfind('\\') + 1);
}

std::string UserSettingsFolder() {
  if (!IsVistaOrLater()) return "";
  const std::string roaming = InternalPath(EnvironmentValue("APPDATA"));
  if (roaming.empty()) return "";
  return roaming + (roaming.back() == '\\' ? "" : "\\") + "Stowkeeper\\";
}

std::string SystemTextFromUtf8(const std::string& utf8) {
  bool ascii = true;
  for (const char c : utf8) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
  // ASCII is the same in every ANSI code page.
  if (ascii || utf8.size() > INT_MAX / 2) return utf8;
  const int input = static_cast<int>(utf8.size());
  const int wide_length =
      MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), input, nullptr, 0);
  if (wide_length <= 0) return utf8;
  std::wstring wide(static_cast<size_t>(wide_length), L'\0');
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), input, wide.data(), wide_length);
  const int length =
      WideCharToMultiByte(CP_ACP, 0, wide.data(), wide_length, nullptr, 0, nullptr, nullptr);
  if (length <= 0) return utf8;
  std::string system(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_ACP, 0, wide.data(), wide_length, system.data(), length, nullptr, nullptr);
  return system;
}

}  // namespace sk::platform
