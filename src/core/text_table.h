// The user-interface texts: 87 numbered texts with built-in German defaults, overlaid by a
// language catalog. Every window takes its texts from here when it is built.
#ifndef STOWKEEPER_CORE_TEXT_TABLE_H_
#define STOWKEEPER_CORE_TEXT_TABLE_H_

#include <array>
#include <string>

namespace sk {

inline constexpr int kTextCount = 101;
// Keys in the table's range that hold no text yet: they are kept for texts of work on other
// branches, and stay empty here and in the catalogs until it joins.
inline constexpr bool IsUnusedTextKey(int number) { return number >= 93 && number <= 96; }

struct TextTable {
  // Slots 1 to kTextCount hold the texts; the others stay empty.
  std::array<std::string, 301> slots;

  const std::string& operator[](int number) const {
    static const std::string kEmpty;
    return number >= 0 && number < static_cast<int>(slots.size()) ? slots[number] : kEmpty;
  }
};

// Writes the built-in German texts.
void FillDefaultTexts(TextTable& texts);

}  // namespace sk

#endif  // STOWKEEPER_CORE_TEXT_TABLE_H_
