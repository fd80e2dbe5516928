// The properties of a restore point (jobs/sets/restore_point.h): packed and unpacked size,
// folder and file counts, and the engine of its set.
#ifndef STOWKEEPER_JOBS_SETS_PROPERTIES_H_
#define STOWKEEPER_JOBS_SETS_PROPERTIES_H_

#include <cstdint>
#include <string>
#include <vector>

#include "core/app_state.h"
#include "jobs/sets/restore_point.h"
#include "jobs/sets/update_index.h"

namespace sk {

struct RestorePointTotals {
  int64_t packed = 0;    // bytes of the volumes' records that make up the restore point
  int64_t unpacked = 0;  // bytes of the files' content
  int32_t folders = 0;
  int32_t files = 0;
  int32_t engine = -1;  // of the main volume, -1 when it cannot be opened
};

// The totals of a restore point. Sizes below 0 are given as 0.
RestorePointTotals TotalsOf(const RestorePoint& point);
// The same for the restore point with this display name ("Backup_0003_of_C:\Data\Docs\").
RestorePointTotals ComputeRestorePointTotals(AppState& app, const std::string& display_name);

// What ShowBackupProperties does.
enum PropertiesMode : int32_t {
  kShowProperties = 0,  // show the properties window; the result is 0
  kUnpackedKiB = 1,     // return the unpacked size of the restore point in KiB
};

// Shows the properties window or returns the unpacked size in KiB, as mode says; leaves
// ScanList empty.
int32_t ShowBackupProperties(AppState& app, const std::string& display_name, int32_t mode);

// 1234567 gives "1.234.567".
std::string GroupThousands(int32_t count);

// Control ids of the properties window.
inline constexpr int kPropertiesCloseId = 2;
inline constexpr int kPropertiesContainerId = 3;
inline constexpr int kPropertiesFrameId = 4;
// Row n (0 to 11) has the id kPropertiesFirstRowId + n: labels at even n, values at odd n.
inline constexpr int kPropertiesFirstRowId = 10;
inline constexpr int kPropertiesNameId = kPropertiesFirstRowId + 1;
inline constexpr int kPropertiesEngineId = kPropertiesFirstRowId + 3;
inline constexpr int kPropertiesPackedId = kPropertiesFirstRowId + 5;
inline constexpr int kPropertiesUnpackedId = kPropertiesFirstRowId + 7;
inline constexpr int kPropertiesFoldersId = kPropertiesFirstRowId + 9;
inline constexpr int kPropertiesFilesId = kPropertiesFirstRowId + 11;

}  // namespace sk

#endif  // STOWKEEPER_JOBS_SETS_PROPERTIES_H_
