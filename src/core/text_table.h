// The user-interface texts: 120 numbered texts with built-in German defaults, overlaid by a
// language catalog. Every window takes its texts from here when it is built.
#ifndef STOWKEEPER_CORE_TEXT_TABLE_H_
#define STOWKEEPER_CORE_TEXT_TABLE_H_

#include <array>
#include <string>

namespace sk {

inline constexpr int kTextCount = 138;

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
