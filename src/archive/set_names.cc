#include "archive/set_names.h"

#include <algorithm>

#include "platform/file_system.h"

namespace sk {
namespace {

void ReplaceAll(std::string& text, const std::string& from, const std::string& to,
                size_t start = 0) {
  for (size_t at = text.find(from, start); at != std::string::npos;
       at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
}

void EncodeFrom(std::string& text, size_t start) {
  if (start >= text.size()) return;
  std::replace(text.begin() + static_cast<std::ptrdiff_t>(start), text.end(), '_', '@');
  std::replace(text.begin() + static_cast<std::ptrdiff_t>(start), text.end(), '\\', '_');
  std::replace(text.begin() + static_cast<std::ptrdiff_t>(start), text.end(), ':', '_');
}

}  // namespace

bool CanEncodeSetName(const std::string& source_folder) {
  // "@" is the escape for "_", and a ":" after the drive would decode as a drive separator.
  if (source_folder.find('@') != std::string::npos ||
      (source_folder.size() > 2 && source_folder.find(':', 2) != std::string::npos)) {
    return false;
  }
  // Two separators in a row after the root would decode as the drive's ":\".
  const size_t root = platform::RootLength(source_folder);
  return source_folder.find("\\\\", root) == std::string::npos;
}

std::string SetName(const std::string& source_folder) {
  if (!CanEncodeSetName(source_folder)) return "";
  std::string name = source_folder;
  EncodeFrom(name, 0);
  return name;
}

std::string GenerationField(int64_t generation) {
  const std::string digits = "0000" + std::to_string(generation);
  return digits.substr(digits.size() - 4);
}

int32_t GenerationOfName(const std::string& name) {
  if (name.size() < kNamePrefixLength) return -1;
  int32_t generation = 0;
  for (size_t i = kGenerationFieldStart; i < kGenerationFieldStart + kGenerationFieldLength; ++i) {
    if (name[i] < '0' || name[i] > '9') return -1;
    generation = generation * 10 + (name[i] - '0');
  }
  return generation;
}

std::string GenerationFieldOf(const std::string& name) {
  if (name.size() < kNamePrefixLength) return "";
  return name.substr(kGenerationFieldStart, kGenerationFieldLength);
}

int32_t GenerationOfFileName(const std::string& name, const std::string& set_name,
                             const std::string& extension, bool ignore_case) {
  // The name of generation 0 has the length of every generation's and differs only in
  // the digits.
  const std::string main_name = PointName(set_name, 0) + extension;
  if (name.size() != main_name.size()) return -1;
  const size_t digits_end = kGenerationFieldStart + kGenerationFieldLength;
  const auto same = [&](size_t from, size_t count) {
    const std::string part = name.substr(from, count);
    const std::string wanted = main_name.substr(from, count);
    return ignore_case ? LowerCase(part) == LowerCase(wanted) : part == wanted;
  };
  if (!same(0, kGenerationFieldStart) || !same(digits_end, std::string::npos)) return -1;
  return GenerationOfName(name);
}

std::string GenerationBaseName(const std::string& set_name, int32_t generation) {
  return PointName(set_name, generation);
}

std::string VolumeFileName(const std::string& set_name, int32_t generation) {
  return GenerationBaseName(set_name, generation) + ".sk";
}

std::string IndexFileName(const std::string& set_name, int32_t generation) {
  return GenerationBaseName(set_name, generation) + ".ini";
}

PointNameParts ParsePointName(const std::string& display_name) {
  PointNameParts parts;
  if (display_name.size() > kNamePrefixLength)
    parts.source = display_name.substr(kNamePrefixLength);
  parts.parent = ParentFolder(parts.source);
  parts.set_name = SetName(parts.source);
  parts.generation = GenerationOfName(display_name);
  return parts;
}

std::string PointName(const std::string& source_folder, int32_t generation) {
  return "Backup_" + GenerationField(generation) + "_of_" + source_folder;
}

std::string SourceOfSetName(const std::string& set_name) {
  std::string source = set_name;
  // A network path's "\\" encodes as "__" at the start, where a drive's ":\" cannot stand.
  const size_t start = source.starts_with("__") ? 2 : 0;
  if (start == 2) source.replace(0, 2, "\\\\");
  ReplaceAll(source, "__", ":\\", start);
  std::replace(source.begin() + static_cast<std::ptrdiff_t>(start), source.end(), '_', '\\');
  std::replace(source.begin(), source.end(), '@', '_');
  return source;
}

std::string DisplayName(const std::string& file_name) {
  const std::string name = file_name.substr(0, file_name.rfind('.'));
  if (name.size() <= kNamePrefixLength) {
    std::string short_name = name;
    std::replace(short_name.begin(), short_name.end(), '@', '_');
    return short_name;
  }
  return name.substr(0, kNamePrefixLength) + SourceOfSetName(name.substr(kNamePrefixLength));
}

std::string FileBaseName(const std::string& display_name) {
  std::string name = display_name;
  EncodeFrom(name, kNamePrefixLength);
  return name;
}

std::string ParentFolder(const std::string& path) {
  if (path.size() <= 3 || path.size() <= platform::RootLength(path)) return path;
  std::string folder = path;
  if (folder.back() == '\\') folder.pop_back();
  const size_t cut = folder.find_last_of("\\/");
  if (cut == std::string::npos) return "";
  return folder.substr(0, cut + 1);
}

std::string LowerCase(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

int CompareNoCase(const std::string& a, const std::string& b) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]);
    unsigned char y = static_cast<unsigned char>(b[i]);
    if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y - 'A' + 'a');
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

}  // namespace sk
