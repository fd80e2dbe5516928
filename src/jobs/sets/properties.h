// What a restore point consists of: packed and unpacked size, folder and file counts, and
// the update index that, together with the main volume, defines it.
//
// Generation k of a set is the main volume without what update index k lists under REMOVED
// and CHANGED, plus the records that index names under ADDED and CHANGED, each taken from
// the volume named beside it.
#ifndef STOWKEEPER_JOBS_SETS_PROPERTIES_H_
#define STOWKEEPER_JOBS_SETS_PROPERTIES_H_

#include <cstdint>
#include <string>
#include <vector>

#include "shell/app_state.h"

namespace sk {

// One ADDED or CHANGED value of an update index: the full path at the time of the update
// and the file name of the volume that holds the version to restore.
struct IndexItem {
  std::string path;
  std::string volume;
};

// The three groups of an update index, values in key order.
struct UpdateIndex {
  std::vector<std::string> removed;
  std::vector<IndexItem> added;
  std::vector<IndexItem> changed;
};

// Splits "full path*volume file name" where IndexValuePath does, so that a "*" inside a
// path does not move the split. A value without "*" has an empty volume name.
IndexItem SplitIndexValue(const std::string& value, const std::string& set_name);

// Reads an update index. False when the file cannot be read.
bool ReadUpdateIndex(const std::string& path, const std::string& set_name, UpdateIndex& index);

// A volume name taken from an index must name a file directly in the backup folder.
bool IsPlainFileName(const std::string& name);

struct RestorePointTotals {
  int64_t packed = 0;    // bytes of the volumes' records that make up the restore point
  int64_t unpacked = 0;  // bytes of the files' content
  int32_t folders = 0;
  int32_t files = 0;
  int32_t engine = -1;  // of the main volume, -1 when it cannot be opened
};

// The totals of the restore point with this display name ("Backup_0003_of_C:\Data\Docs\").
// Sizes below 0 are given as 0.
RestorePointTotals ComputeRestorePointTotals(AppState& app, const std::string& display_name);

// mode 0 shows the properties window and returns 0; mode 1 returns the unpacked size of the
// restore point in KiB (and leaves ScanList empty).
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
