#include "jobs/sets/properties.h"

#include <algorithm>

#include "platform/file_system.h"

namespace sk {

RestorePointTotals TotalsOf(const RestorePoint& point) {
  RestorePointTotals totals;
  totals.packed = point.PackedSize();
  totals.engine = point.engine();
  for (const PointEntry& entry : point.Entries()) {
    if (entry.IsFolder()) {
      ++totals.folders;
    } else {
      ++totals.files;
      totals.unpacked += entry.size;
    }
  }
  totals.unpacked = std::max<int64_t>(totals.unpacked, 0);
  // The source folder itself has no record; a set that holds only files still has it.
  if (totals.folders == 0 && point.name().source.size() > platform::RootLength(point.name().source))
    totals.folders = 1;
  return totals;
}

}  // namespace sk
