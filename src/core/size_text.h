// The one form of every size and duration the program shows.
#ifndef STOWKEEPER_CORE_SIZE_TEXT_H_
#define STOWKEEPER_CORE_SIZE_TEXT_H_

#include <cstdint>
#include <string>

#include "core/text_table.h"

namespace sk {

// A byte count in steps of 1024 ("1.5 KB "): the unit is followed by one blank; plain bytes
// show no decimals.
std::string ByteSizeText(int64_t bytes, int decimals);

// A duration in hours with two decimals, else whole minutes, else whole seconds, with the
// units of texts 059, 058 and 057.
std::string DurationText(const TextTable& texts, int32_t milliseconds);

}  // namespace sk

#endif  // STOWKEEPER_CORE_SIZE_TEXT_H_
