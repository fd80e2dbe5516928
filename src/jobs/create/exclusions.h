// Exclusions: per source folder, patterns of entries the scan leaves out.
//
// A pattern is a shell glob on the path of an entry relative to the source folder, "/"
// between names ("\" is taken as "/"): "*" matches any run of characters within one name,
// "?" one character, "[abc]", "[a-z]" and "[!abc]" one character of (or not of) a set.
// - A pattern without "/" (apart from a trailing one) matches the name of an entry at any
//   depth: "*.tmp", "node_modules".
// - A pattern with a "/" inside is anchored at the source folder and matches name by name:
//   "docs/*.pdf" matches docs/a.pdf but not x/docs/a.pdf or docs/sub/a.pdf.
// - A name that is exactly "**" matches any number of names, or none, so that one anchored
//   pattern reaches into a whole tree: "**/*.tmp" matches a.tmp and x/y/a.tmp, "a/**/b"
//   matches a/b and a/x/y/b. At the end it stands for what lies below, one name at least:
//   "build/**" leaves out everything in the folder build but keeps the folder itself, empty,
//   so that tools that expect it find it after a restore, and keeps a file named build
//   ("./build/" leaves the folder out too). Inside a longer name, "**" is "*".
// - A trailing "/" matches folders only: "build/" leaves out every folder named build with
//   everything below it, but keeps a file named build.
// An excluded folder is left out with everything below it. Letter case counts as the
// platform's file names count it (not at all on Windows, A to Z folded only).
//
// Blanks at either end of a pattern are dropped. In Settings.ini a set's patterns stand in
// one value, separated by ";"; a ";" inside a pattern is written "[;]", which matches the
// same names, so the separator never clashes with a pattern.
//
// A pattern file holds one pattern a line, lines ended by LF or CR LF, in the system's
// encoding, or in UTF-8 when it starts with the UTF-8 mark (as Windows editors write it).
// Blank lines and lines whose first non-blank is "#" are notes for the reader; a pattern
// that starts with "#" is written "[#]...". One bad line fails the whole file: the list
// without it would not be the one its author wrote.
#ifndef STOWKEEPER_JOBS_CREATE_EXCLUSIONS_H_
#define STOWKEEPER_JOBS_CREATE_EXCLUSIONS_H_

#include <cstdint>
#include <string>
#include <vector>

#include "core/app_state.h"

namespace sk {

// The settings group that holds the patterns, one key per set (its set name, lower case).
inline constexpr char kExclusionsGroup[] = "Exclusions";

// Why a pattern cannot be used; kNone when it can.
enum class PatternFault {
  kNone,
  kEmpty,              // nothing but blanks, or only "/"
  kAbsolute,           // starts with "/" or a drive: patterns are relative to the source
  kParent,             // a "." or ".." name: it would reach outside or stand for nothing
  kEmptyName,          // "//" inside
  kUnbalancedBracket,  // a "[" without its "]"
  kControlCharacter,   // no file name the program backs up holds one
};
PatternFault CheckPattern(const std::string& pattern);
// The reason in words, for messages ("an unbalanced \"[\"").
std::string PatternFaultText(PatternFault fault);

// The patterns compiled once for a scan.
class ExclusionMatcher {
 public:
  ExclusionMatcher() = default;
  // Patterns that fail CheckPattern are left out (they can only come from a hand-edited
  // file).
  ExclusionMatcher(const std::vector<std::string>& patterns, bool ignore_case);

  bool Empty() const { return patterns_.empty(); }
  // Whether the entry at names (the names from the source folder down to the entry) is left
  // out. An entry below an excluded folder is never asked about: the scan does not descend.
  bool Excludes(const std::vector<std::string>& names, bool is_folder) const;

 private:
  struct Pattern {
    std::vector<std::string> names;  // one glob per name
    bool anchored = false;           // had a "/" inside, or a "**" name
    bool any_depth = false;          // has a "**" name: the path may be longer than names
    bool folders_only = false;       // had a trailing "/"
  };
  bool Matches(const std::string& glob, const std::string& name) const;
  // Whether an anchored pattern matches the names, one glob per name and "**" for any number.
  bool MatchesNames(const Pattern& pattern, const std::vector<std::string>& names) const;
  std::vector<Pattern> patterns_;
  bool ignore_case_ = false;
};

// The value a list of patterns has in Settings.ini, and back.
std::string JoinPatterns(const std::vector<std::string>& patterns);
std::vector<std::string> SplitPatterns(const std::string& value);

// A line that holds no usable pattern: its number (from 1), its text and why.
struct BadPatternLine {
  int number = 0;
  std::string text;
  PatternFault fault = PatternFault::kNone;
};
// Adds the patterns of a text of one pattern per line, as a pattern file and the desktop's
// exclusion list hold them: LF or CR LF between lines, blanks at either end dropped, blank
// lines and lines whose first character is "#" skipped. False, with patterns unchanged and
// *bad telling which, at the first line that fails CheckPattern.
bool PatternsOfLines(const std::string& text, std::vector<std::string>& patterns,
                     BadPatternLine* bad);

// The largest pattern file read: far more than any list written by hand needs, little to
// hold in memory.
inline constexpr int64_t kMaxPatternFileBytes = 1 << 20;
// Adds the patterns of the file at path (internal form) to patterns. False, with patterns
// unchanged and why told, when the file cannot be read (the system's cause), is larger than
// kMaxPatternFileBytes, or holds a line that fails CheckPattern ("line 3: " and the fault).
bool ReadPatternFile(const std::string& path, std::vector<std::string>& patterns, std::string& why);

// The settings key of a source folder (a full path ending in "\"): its set name in lower
// case, as set files are matched without regard to case; "" when the folder has no set
// name or a name no INI key can hold.
std::string ExclusionKey(const std::string& source_folder);

// The patterns kept for a source folder; empty when there are none.
std::vector<std::string> ExclusionsOf(const AppState& app, const std::string& source_folder);
// Keeps patterns for a source folder (an empty list removes the key); false when the
// folder cannot have a key.
bool SetExclusions(AppState& app, const std::string& source_folder,
                   const std::vector<std::string>& patterns);

}  // namespace sk

#endif  // STOWKEEPER_JOBS_CREATE_EXCLUSIONS_H_
