#include "core/size_text.h"

#include <algorithm>
#include <cstdio>

#include "core/text_ids.h"

namespace sk {
namespace {

// The size units as one text split at ","; every unit keeps its trailing blank.
constexpr const char* kSizeUnits[] = {"Bytes ", "KB ", "MB ", "GB ", "TB ", "PB ", "EB "};
constexpr int kLargestUnit = 6;

// Fixed-point text of value with the C library's rounding; minus zero prints without sign.
std::string FixedText(double value, int decimals) {
  char buffer[400];
  int length = std::snprintf(buffer, sizeof(buffer), "%.*f", decimals, value);
  if (length < 0) return "0";
  std::string text(buffer, std::min<size_t>(static_cast<size_t>(length), sizeof(buffer) - 1));
  if (text.starts_with('-') && text.find_first_not_of("0.", 1) == std::string::npos) {
    text.erase(0, 1);
  }
  return text;
}

// Field `index` of the texts of seconds, minutes and hours (057 to 059) joined with ",": a unit
// that holds a comma shifts the units after it.
std::string TimeUnit(const TextTable& texts, int index) {
  std::string unit;
  int field = 0;
  for (int number = kTextSeconds; number <= kTextHours; ++number) {
    if (number > kTextSeconds) ++field;
    for (char c : texts[number]) {
      if (c == ',') {
        ++field;
      } else if (field == index) {
        unit += c;
      }
    }
  }
  return unit;
}

}  // namespace

std::string ByteSizeText(int64_t bytes, int decimals) {
  int exponent = 0;
  int64_t step = 1;
  while (exponent < kLargestUnit && bytes / step >= 1024) {
    step *= 1024;
    ++exponent;
  }
  decimals = exponent == 0 ? 0 : std::clamp(decimals, 0, 255);
  const double value = static_cast<double>(bytes) / static_cast<double>(step);
  return FixedText(value, decimals) + " " + kSizeUnits[exponent];
}

std::string DurationText(const TextTable& texts, int32_t milliseconds) {
  if (milliseconds / 3600000 >= 1) {
    return FixedText(milliseconds / 3600000.0, 2) + " " + TimeUnit(texts, 2);
  }
  if (milliseconds / 60000 >= 1) {
    return std::to_string(milliseconds / 60000) + " " + TimeUnit(texts, 1);
  }
  if (milliseconds / 1000 >= 1) {
    return std::to_string(milliseconds / 1000) + " " + TimeUnit(texts, 0);
  }
  return "0 " + TimeUnit(texts, 0);
}

}  // namespace sk
