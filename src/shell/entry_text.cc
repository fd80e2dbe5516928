#include "shell/entry_text.h"

#include <cinttypes>
#include <cstdio>

namespace sk {
namespace {

struct CivilDate {
  int64_t year;
  int month, day;
};

// The proleptic Gregorian date of a day counted from 1970-01-01 (negative before), by
// integer arithmetic alone: the system's calendar calls stop at 2038 or 1970 on some
// systems.
CivilDate DateOfDay(int64_t days) {
  days += 719468;
  const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const int64_t day_of_era = days - era * 146097;
  const int64_t year_of_era =
      (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
  const int64_t day_of_year =
      day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  const int64_t month_index = (5 * day_of_year + 2) / 153;
  const int day = static_cast<int>(day_of_year - (153 * month_index + 2) / 5 + 1);
  const int month = static_cast<int>(month_index < 10 ? month_index + 3 : month_index - 9);
  return {year_of_era + era * 400 + (month <= 2 ? 1 : 0), month, day};
}

int64_t FloorDivide(int64_t value, int64_t by) { return value / by - (value % by < 0 ? 1 : 0); }

std::string DateTimeText(int64_t seconds) {
  const int64_t days = FloorDivide(seconds, 86400);
  const int64_t in_day = seconds - days * 86400;
  const CivilDate date = DateOfDay(days);
  char text[64];
  std::snprintf(text, sizeof text, "%04" PRId64 "-%02d-%02dT%02d:%02d:%02d", date.year, date.month,
                date.day, static_cast<int>(in_day / 3600), static_cast<int>(in_day / 60 % 60),
                static_cast<int>(in_day % 60));
  return text;
}

}  // namespace

std::string ModeText(EntryMeta::Kind kind, uint32_t mode) {
  std::string text = "?---------";
  text[0] = kind == EntryMeta::Kind::kFolder ? 'd' : kind == EntryMeta::Kind::kLink ? 'l' : '-';
  if (kind == EntryMeta::Kind::kLink) mode = 0777;
  const char* const letters = "rwxrwxrwx";
  for (int bit = 0; bit < 9; ++bit) {
    if ((mode & (0400u >> bit)) != 0) text[1 + bit] = letters[bit];
  }
  // Set-user-id, set-group-id and sticky show in the execute places: lower case with the
  // execute bit, upper case without.
  const struct {
    uint32_t bit;
    int place;
    char letter;
  } specials[] = {{04000, 3, 's'}, {02000, 6, 's'}, {01000, 9, 't'}};
  for (const auto& special : specials) {
    if ((mode & special.bit) == 0) continue;
    const bool executable = text[special.place] == 'x';
    text[special.place] = executable ? special.letter : static_cast<char>(special.letter - 32);
  }
  return text;
}

std::string OctalModeText(uint32_t mode) {
  char text[8];
  std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
  return text;
}

std::string UtcTimeText(int64_t ns) {
  const int64_t seconds = FloorDivide(ns, 1000000000);
  int64_t rest = ns % 1000000000;  // never multiplied back: the extremes would overflow
  if (rest < 0) rest += 1000000000;
  char fraction[16];
  std::snprintf(fraction, sizeof fraction, ".%09" PRId64 "Z", rest);
  return DateTimeText(seconds) + fraction;
}

std::string UtcSecondsText(int64_t seconds) { return DateTimeText(seconds) + "Z"; }

}  // namespace sk
