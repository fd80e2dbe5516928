#include "core/ini.h"

#include <climits>
#include <unordered_map>

#include "platform/file_system.h"

namespace sk {
namespace {

// Larger files are not INI files this program wrote; refusing them keeps a stray or hostile
// file from taking all memory. Update indexes of very large sets stay far below this.
constexpr int64_t kMaxIniBytes = int64_t{1} << 30;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

char FoldCase(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (FoldCase(a[i]) != FoldCase(b[i])) return false;
  }
  return true;
}

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// As the C library's atoi: leading white space, a sign, digits; no digits give 0. Values
// beyond the 32-bit range saturate instead of being undefined.
int32_t ParseNumber(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && (IsBlank(text[i]) || text[i] == '\n' || text[i] == '\r' ||
                             text[i] == '\v' || text[i] == '\f')) {
    ++i;
  }
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  int64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > int64_t{INT32_MAX} + 1) break;
  }
  if (negative) value = -value;
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(value);
}

}  // namespace

void IniWriter::SelectGroup(const std::string& name) {
  pending_group_ = name;
  group_pending_ = true;
}

void IniWriter::FlushGroup() {
  if (!group_pending_) return;
  text_ += "[" + pending_group_ + "]\r\n";
  group_pending_ = false;
}

void IniWriter::Comment(const std::string& text) {
  FlushGroup();
  text_ += "; " + text + "\r\n";
}

void IniWriter::Entry(const std::string& key, const std::string& value) {
  FlushGroup();
  text_ += key + " = " + value + "\r\n";
}

void IniWriter::Entry(const std::string& key, int64_t value) { Entry(key, std::to_string(value)); }

bool IniWriter::Save(const std::string& path) const {
  // Under a temporary name nobody can plant a link at, flushed, renamed into place, and the
  // folder flushed: a crash or a power cut leaves the old file or the new one, never a part.
  return platform::WriteFileCommitted(path, text_, kIniTemporarySuffix);
}

bool IniReader::Load(const std::string& path) {
  lines_.clear();
  selected_ = -1;
  platform::File file;
  if (!file.OpenRead(path)) return false;
  const int64_t size = file.Size();
  if (size < 0 || size > kMaxIniBytes) return false;
  std::string text(static_cast<size_t>(size), '\0');
  if (size > 0 && !file.ReadExact(text.data(), text.size())) return false;
  LoadText(text);
  return true;
}

void IniReader::LoadText(std::string_view text) {
  lines_.clear();
  selected_ = -1;
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  while (!text.empty()) {
    size_t end = text.find_first_of("\r\n");
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);

    while (!line.empty() && IsBlank(line.front())) line.remove_prefix(1);
    if (line.empty() || line.front() == ';') continue;
    if (line.front() == '[') {
      line.remove_prefix(1);
      lines_.push_back({Line::Kind::kGroup, std::string(line.substr(0, line.find(']'))), ""});
      continue;
    }
    size_t equals = line.find('=');
    std::string_view key = line.substr(0, equals);
    while (!key.empty() && IsBlank(key.back())) key.remove_suffix(1);
    std::string_view value =
        equals == std::string_view::npos ? std::string_view() : line.substr(equals + 1);
    while (!value.empty() && IsBlank(value.front())) value.remove_prefix(1);
    if (value_ends_ == ValueEnds::kTrimmed) value = TrimBlanks(value);
    lines_.push_back({Line::Kind::kEntry, std::string(key), std::string(value)});
  }
}

bool IniReader::SelectGroup(const std::string& name) {
  for (size_t i = 0; i < lines_.size(); ++i) {
    if (lines_[i].kind == Line::Kind::kGroup && EqualNoCase(lines_[i].name, name)) {
      selected_ = static_cast<int>(i);
      return true;
    }
  }
  selected_ = -1;
  return false;
}

const std::string* IniReader::Find(const std::string& key) const {
  if (selected_ < 0) return nullptr;
  for (size_t i = static_cast<size_t>(selected_) + 1; i < lines_.size(); ++i) {
    if (lines_[i].kind == Line::Kind::kGroup) break;
    if (EqualNoCase(lines_[i].name, key)) return &lines_[i].value;
  }
  return nullptr;
}

std::string IniReader::ReadText(const std::string& key, const std::string& fallback) const {
  const std::string* value = Find(key);
  return value ? *value : fallback;
}

int32_t IniReader::ReadNumber(const std::string& key, int32_t fallback) const {
  const std::string* value = Find(key);
  return value ? ParseNumber(*value) : fallback;
}

std::vector<std::string> IniReader::ReadNumberedValues() const {
  std::vector<std::string> values;
  if (selected_ < 0) return values;
  // One pass over the group (index files hold one key per changed file), first match wins.
  std::unordered_map<std::string, const std::string*> group;
  for (size_t i = static_cast<size_t>(selected_) + 1; i < lines_.size(); ++i) {
    if (lines_[i].kind == Line::Kind::kGroup) break;
    std::string key = lines_[i].name;
    for (char& c : key) c = FoldCase(c);
    group.try_emplace(std::move(key), &lines_[i].value);
  }
  for (int n = 1;; ++n) {
    auto found = group.find(std::to_string(n));
    if (found == group.end() || found->second->empty()) break;
    values.push_back(*found->second);
  }
  return values;
}

std::vector<std::pair<std::string, std::string>> IniReader::ReadEntries() const {
  std::vector<std::pair<std::string, std::string>> entries;
  if (selected_ < 0) return entries;
  for (size_t i = static_cast<size_t>(selected_) + 1; i < lines_.size(); ++i) {
    if (lines_[i].kind == Line::Kind::kGroup) break;
    if (Find(lines_[i].name) == &lines_[i].value) entries.emplace_back(lines_[i].name, lines_[i].value);
  }
  return entries;
}

}  // namespace sk
