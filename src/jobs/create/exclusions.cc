#include "jobs/create/exclusions.h"

#include <algorithm>
#include <iterator>
#include <string_view>
#include <utility>

#include "archive/set_names.h"
#include "platform/file_system.h"

namespace sk {
namespace {

constexpr char kUtf8Mark[] = "\xEF\xBB\xBF";

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string Trimmed(const std::string& text) {
  size_t first = 0;
  size_t end = text.size();
  while (first < end && IsBlank(text[first])) ++first;
  while (end > first && IsBlank(text[end - 1])) --end;
  return text.substr(first, end - first);
}

char Folded(char c, bool ignore_case) {
  return ignore_case && c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// The "]" that closes the set opening at glob[open] ("[" ... "]", a "]" right after "[" or
// "[!" being a member); npos when there is none. Checking, matching and splitting all use
// this one rule, so a list splits where its patterns end.
size_t ClassEnd(const std::string& glob, size_t open) {
  size_t at = open + 1;
  if (at < glob.size() && (glob[at] == '!' || glob[at] == '^')) ++at;
  if (at < glob.size() && glob[at] == ']') ++at;
  const size_t end = glob.find(']', at);
  return end;
}

// Hands text to piece one piece at a time, in order: a bracket class ("[;]") whole, so that
// what it holds keeps its meaning, and every other character alone.
template <typename Piece>
void ForEachPiece(const std::string& text, Piece piece) {
  for (size_t at = 0; at < text.size(); ++at) {
    const size_t close = text[at] == '[' ? ClassEnd(text, at) : std::string::npos;
    const size_t end = close == std::string::npos ? at : close;
    piece(std::string_view(text).substr(at, end + 1 - at));
    at = end;
  }
}

// Whether c is in the set glob[open..close].
bool InClass(const std::string& glob, size_t open, size_t close, char c, bool ignore_case) {
  size_t at = open + 1;
  const bool negated = glob[at] == '!' || glob[at] == '^';
  if (negated) ++at;
  const char wanted = Folded(c, ignore_case);
  bool found = false;
  for (; at < close; ++at) {
    const char low = Folded(glob[at], ignore_case);
    if (at + 2 < close && glob[at + 1] == '-') {
      const char high = Folded(glob[at + 2], ignore_case);
      if (wanted >= low && wanted <= high) found = true;
      at += 2;
    } else if (wanted == low) {
      found = true;
    }
  }
  return found != negated;
}

// The pattern with "/" between names, its blanks dropped.
std::string Normalized(const std::string& pattern) {
  std::string text = Trimmed(pattern);
  for (char& c : text) {
    if (c == '\\') c = '/';
  }
  return text;
}

// A name that stands for any number of names.
bool IsAnyDepth(const std::string& glob) { return glob == "**"; }

std::vector<std::string> NamesOf(const std::string& path) {
  std::vector<std::string> names;
  size_t start = 0;
  for (size_t at = path.find('/'); at != std::string::npos; at = path.find('/', start)) {
    names.push_back(path.substr(start, at - start));
    start = at + 1;
  }
  names.push_back(path.substr(start));
  return names;
}

// The text of the file at path, read up to the bound; false with the cause told.
bool ReadBoundedFile(const std::string& path, std::string& text, std::string& why) {
  platform::File file;
  // One byte past the bound, so that a file that grows after it was opened is refused too.
  text.assign(kMaxPatternFileBytes + 1, '\0');
  const int64_t got = file.OpenRead(path) ? file.Read(text.data(), text.size()) : -1;
  if (got < 0) {
    why = platform::ErrorText(file.error() != 0 ? file.error() : platform::LastError());
    return false;
  }
  if (got > kMaxPatternFileBytes) {
    why = "the file is larger than 1 MiB";
    return false;
  }
  text.resize(static_cast<size_t>(got));
  return true;
}

}  // namespace

PatternFault CheckPattern(const std::string& pattern) {
  std::string text = Normalized(pattern);
  for (const char c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return PatternFault::kControlCharacter;
  }
  if (text.empty()) return PatternFault::kEmpty;
  const bool drive = text.size() >= 2 && text[1] == ':' &&
                     ((text[0] >= 'A' && text[0] <= 'Z') || (text[0] >= 'a' && text[0] <= 'z')) &&
                     (text.size() == 2 || text[2] == '/');
  if (text.front() == '/' || drive) return PatternFault::kAbsolute;
  if (text.starts_with("./")) text.erase(0, 2);
  if (!text.empty() && text.back() == '/') text.pop_back();
  if (text.empty()) return PatternFault::kEmpty;
  for (const std::string& name : NamesOf(text)) {
    if (name.empty()) return PatternFault::kEmptyName;
    if (name == "." || name == "..") return PatternFault::kParent;
    for (size_t at = name.find('['); at != std::string::npos; at = name.find('[', at + 1)) {
      at = ClassEnd(name, at);
      if (at == std::string::npos) return PatternFault::kUnbalancedBracket;
    }
  }
  return PatternFault::kNone;
}

std::string PatternFaultText(PatternFault fault) {
  // In the order of PatternFault.
  static constexpr const char* kTexts[] = {
      "",
      "the pattern is empty",
      "the pattern is an absolute path; patterns are relative to the source folder",
      "the pattern holds a \".\" or \"..\" name",
      "the pattern holds \"//\"",
      "the pattern holds a \"[\" without its \"]\"",
      "the pattern holds a control character"};
  static_assert(std::size(kTexts) == static_cast<size_t>(PatternFault::kControlCharacter) + 1,
                "kTexts follows PatternFault");
  return kTexts[static_cast<size_t>(fault)];
}

ExclusionMatcher::ExclusionMatcher(const std::vector<std::string>& patterns, bool ignore_case)
    : ignore_case_(ignore_case) {
  for (const std::string& given : patterns) {
    if (CheckPattern(given) != PatternFault::kNone) continue;
    std::string text = Normalized(given);
    Pattern pattern;
    // "./name" anchors a single name at the source folder.
    if (text.starts_with("./")) {
      text.erase(0, 2);
      pattern.anchored = true;
    }
    if (text.back() == '/') {
      text.pop_back();
      pattern.folders_only = true;
    }
    pattern.names = NamesOf(text);
    pattern.any_depth = std::any_of(pattern.names.begin(), pattern.names.end(), IsAnyDepth);
    if (pattern.names.size() > 1 || pattern.any_depth) pattern.anchored = true;
    patterns_.push_back(std::move(pattern));
  }
}

bool ExclusionMatcher::Matches(const std::string& glob, const std::string& name) const {
  // Backtracking to the last "*" is enough: a "*" never has to take back what a later one
  // took, so the work stays linear in glob times name.
  size_t g = 0, n = 0;
  size_t star = std::string::npos, star_n = 0;
  while (n < name.size()) {
    if (g < glob.size() && glob[g] == '*') {
      star = g++;
      star_n = n;
      continue;
    }
    if (g < glob.size()) {
      if (glob[g] == '[') {
        const size_t close = ClassEnd(glob, g);
        if (InClass(glob, g, close, name[n], ignore_case_)) {
          g = close + 1;
          ++n;
          continue;
        }
      } else if (glob[g] == '?' || Folded(glob[g], ignore_case_) == Folded(name[n], ignore_case_)) {
        ++g;
        ++n;
        continue;
      }
    }
    if (star == std::string::npos) return false;
    g = star + 1;
    n = ++star_n;
  }
  while (g < glob.size() && glob[g] == '*') ++g;
  return g == glob.size();
}

bool ExclusionMatcher::Excludes(const std::vector<std::string>& names, bool is_folder) const {
  if (names.empty()) return false;
  for (const Pattern& pattern : patterns_) {
    if (pattern.folders_only && !is_folder) continue;
    if (!pattern.anchored) {
      if (Matches(pattern.names.front(), names.back())) return true;
      continue;
    }
    if (MatchesNames(pattern, names)) return true;
  }
  return false;
}

bool ExclusionMatcher::MatchesNames(const Pattern& pattern,
                                    const std::vector<std::string>& names) const {
  const std::vector<std::string>& globs = pattern.names;
  if (!pattern.any_depth) {
    if (globs.size() != names.size()) return false;
    for (size_t i = 0; i < names.size(); ++i) {
      if (!Matches(globs[i], names[i])) return false;
    }
    return true;
  }
  // rest[n]: whether the globs after the one at hand match the names from n on. Filled from
  // the last glob back, so each glob meets each name once; trying every split of the names
  // among the "**"s instead would take time exponential in their number.
  const size_t count = names.size();
  std::vector<bool> rest(count + 1, false);
  rest[count] = true;
  for (size_t g = globs.size(); g-- > 0;) {
    std::vector<bool> here(count + 1, false);
    for (size_t n = count + 1; n-- > 0;) {
      if (!IsAnyDepth(globs[g])) {
        here[n] = n < count && rest[n + 1] && Matches(globs[g], names[n]);
      } else if (g + 1 == globs.size()) {
        here[n] = n < count;  // what lies below: one name at least
      } else {
        here[n] = rest[n] || (n < count && here[n + 1]);
      }
    }
    rest = std::move(here);
  }
  return rest[0];
}

std::string JoinPatterns(const std::vector<std::string>& patterns) {
  std::string value;
  for (const std::string& given : patterns) {
    const std::string pattern = Trimmed(given);
    if (pattern.empty()) continue;
    if (!value.empty()) value += ";";
    ForEachPiece(pattern, [&](std::string_view piece) {
      value += piece == ";" ? std::string_view("[;]") : piece;
    });
  }
  return value;
}

std::vector<std::string> SplitPatterns(const std::string& value) {
  std::vector<std::string> patterns;
  std::string current;
  const auto take = [&] {
    const std::string pattern = Trimmed(current);
    if (!pattern.empty()) patterns.push_back(pattern);
    current.clear();
  };
  ForEachPiece(value, [&](std::string_view piece) {
    if (piece == ";") {
      take();
    } else {
      current += piece;
    }
  });
  take();
  return patterns;
}

bool PatternsOfLines(const std::string& text, std::vector<std::string>& patterns,
                     BadPatternLine* bad) {
  std::vector<std::string> read;
  int line_number = 0;
  for (size_t start = 0; start < text.size();) {
    const size_t end = std::min(text.find('\n', start), text.size());
    std::string line = text.substr(start, end - start);
    start = end + 1;
    ++line_number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::string pattern = Trimmed(line);
    if (pattern.empty() || pattern.front() == '#') continue;
    const PatternFault fault = CheckPattern(pattern);
    if (fault != PatternFault::kNone) {
      if (bad != nullptr) *bad = {line_number, pattern, fault};
      return false;
    }
    read.push_back(pattern);
  }
  patterns.insert(patterns.end(), read.begin(), read.end());
  return true;
}

bool ReadPatternFile(const std::string& path, std::vector<std::string>& patterns,
                     std::string& why) {
  std::string text;
  if (!ReadBoundedFile(path, text, why)) return false;
  const bool utf8 = text.starts_with(kUtf8Mark);
  if (utf8) text.erase(0, sizeof kUtf8Mark - 1);
  std::vector<std::string> read;
  BadPatternLine bad;
  if (!PatternsOfLines(text, read, &bad)) {
    why = "line " + std::to_string(bad.number) + ": " + PatternFaultText(bad.fault);
    return false;
  }
  for (std::string& pattern : read) {
    patterns.push_back(utf8 ? platform::SystemTextFromUtf8(pattern) : std::move(pattern));
  }
  return true;
}

std::string ExclusionKey(const std::string& source_folder) {
  const std::string key = LowerCase(SetName(source_folder));
  if (key.empty() || key.front() == ';' || key.front() == '[' || IsBlank(key.front())) return "";
  for (const char c : key) {
    if (c == '=' || static_cast<unsigned char>(c) < 0x20) return "";
  }
  return key;
}

std::vector<std::string> ExclusionsOf(const AppState& app, const std::string& source_folder) {
  const auto found = app.Exclusions.find(ExclusionKey(source_folder));
  return found == app.Exclusions.end() ? std::vector<std::string>{} : found->second;
}

bool SetExclusions(AppState& app, const std::string& source_folder,
                   const std::vector<std::string>& patterns) {
  const std::string key = ExclusionKey(source_folder);
  if (key.empty()) return false;
  std::vector<std::string> kept;
  for (const std::string& pattern : patterns) {
    if (!Trimmed(pattern).empty()) kept.push_back(Trimmed(pattern));
  }
  if (kept.empty()) {
    app.Exclusions.erase(key);
  } else {
    app.Exclusions[key] = std::move(kept);
  }
  app.ExclusionsChanged.insert(key);
  return true;
}

}  // namespace sk
