// The user-interface texts: 87 numbered texts with built-in German defaults, overlaid by a
// language catalog. Every window takes its texts from here when it is built.
#ifndef STOWKEEPER_CORE_TEXT_TABLE_H_
#define STOWKEEPER_CORE_TEXT_TABLE_H_

#include <array>
#include <string>

namespace sk {

inline constexpr int kTextCount = 92;
// The texts of schedules, in a range of their own above the others.
inline constexpr int kScheduleTextFirst = 130;
inline constexpr int kScheduleTextLast = 148;

// Whether a number names a text of the table (1 to kTextCount, or the schedules' range);
// every other slot stays empty.
constexpr bool IsTextKey(int number) {
  return (number >= 1 && number <= kTextCount) ||
         (number >= kScheduleTextFirst && number <= kScheduleTextLast);
}

struct TextTable {
  // The slots IsTextKey names hold the texts; the others stay empty.
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
