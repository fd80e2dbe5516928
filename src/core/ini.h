// The INI text format shared by the settings file, the language catalogs and the update
// index files.
//
// As written: lines ending in CR LF, no byte-order mark; a group line "[" name "]" goes out
// just before the first comment or entry that follows the group's selection; comments are
// "; " + text; entries are key " = " value.
//
// As read: a leading UTF-8 byte-order mark is skipped; blanks and tabs start lines freely;
// ";" starts a comment, "[" a group up to "]" or the line end; any other line is an entry
// split at its first "=", the key losing the blanks before "=", the value trimmed at both
// ends (an update index keeps the blanks at a value's end: they belong to a file name). Groups and
// keys match without regard to letter case; the first match wins.
#ifndef STOWKEEPER_CORE_INI_H_
#define STOWKEEPER_CORE_INI_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace sk {

// The suffix of the temporary file an INI file is written to before it is renamed.
inline constexpr char kIniTemporarySuffix[] = ".tmp";

class IniWriter {
 public:
  // The next comment or entry is preceded by the group line.
  void SelectGroup(const std::string& name);
  void Comment(const std::string& text);
  void Entry(const std::string& key, const std::string& value);
  void Entry(const std::string& key, int64_t value);

  const std::string& Text() const { return text_; }
  // Writes the whole file anew under a temporary name beside it (created exclusively, with
  // an unpredictable name), flushes it, renames it into place and flushes the folder, so a
  // failed write or a crash never leaves a cut-off file. False when any step fails;
  // platform::LastError tells why.
  bool Save(const std::string& path) const;

 private:
  void FlushGroup();
  std::string text_;
  std::string pending_group_;
  bool group_pending_ = false;
};

class IniReader {
 public:
  enum class ValueEnds { kTrimmed, kKeepTrailingBlanks };
  explicit IniReader(ValueEnds value_ends = ValueEnds::kTrimmed) : value_ends_(value_ends) {}

  // Reads the whole file; false when it cannot be read (the reader is then empty).
  bool Load(const std::string& path);
  void LoadText(std::string_view text);

  // Selects a group for the lookups that follow; false when there is no such group.
  bool SelectGroup(const std::string& name);
  // The value of key in the selected group, or fallback when the key is missing.
  std::string ReadText(const std::string& key, const std::string& fallback) const;
  // The value converted as atoi does (an empty or non-numeric value gives 0), or fallback
  // when the key is missing.
  int32_t ReadNumber(const std::string& key, int32_t fallback) const;
  // Values under the keys "1", "2", ... of the selected group, up to the first missing or
  // empty one.
  std::vector<std::string> ReadNumberedValues() const;
  // Every key of the selected group with its value, in file order; a key that comes again
  // (letter case aside) keeps its first value, as lookups do.
  std::vector<std::pair<std::string, std::string>> ReadEntries() const;

 private:
  struct Line {
    enum class Kind { kGroup, kEntry } kind;
    std::string name;   // group name or key
    std::string value;  // entry value
  };
  const std::string* Find(const std::string& key) const;

  ValueEnds value_ends_;
  std::vector<Line> lines_;
  int selected_ = -1;  // index of the selected group line, -1 for none
};

}  // namespace sk

#endif  // STOWKEEPER_CORE_INI_H_
