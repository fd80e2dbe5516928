// The properties window of a restore point: its name, the set's engine, the packed and
// unpacked size, the folder and file counts, and when it was made.
#ifndef STOWKEEPER_SHELL_PROPERTIES_WINDOW_H_
#define STOWKEEPER_SHELL_PROPERTIES_WINDOW_H_

#include <cstdint>
#include <string>

#include "jobs/sets/backup_set.h"
#include "jobs/sets/properties.h"
#include "shell/desktop.h"

namespace sk {

// Shows the properties of the restore point with this display name until the window is
// closed.
void PropertiesWindow(Desktop& desk, const std::string& display_name);

// The totals of the restore point with this display name, read without a window.
RestorePointTotals TotalsOfPoint(const AppState& app, const std::string& display_name);

// 1234567 gives "1.234.567".
std::string GroupThousands(int32_t count);

// The engine's name, or "Unknown" for an id no engine has.
std::string EngineName(const AppState& app, int32_t engine);

// When restore point `point` of the set was made, in local time as the lists show it, or
// "Unknown".
std::string PointTimeText(const AppState& app, const BackupSet& set, int32_t point);

// Control ids of the properties window.
enum PropertiesControl : int {
  kPropertiesCloseId = 2,
  kPropertiesContainerId,
  kPropertiesFrameId,
  // Row n (0 to 13) has the id kPropertiesFirstRowId + n: labels at even n, values at odd n.
  kPropertiesFirstRowId = 10,
  kPropertiesNameId = kPropertiesFirstRowId + 1,
  kPropertiesEngineId = kPropertiesFirstRowId + 3,
  kPropertiesPackedId = kPropertiesFirstRowId + 5,
  kPropertiesUnpackedId = kPropertiesFirstRowId + 7,
  kPropertiesFoldersId = kPropertiesFirstRowId + 9,
  kPropertiesFilesId = kPropertiesFirstRowId + 11,
  kPropertiesTimeId = kPropertiesFirstRowId + 13,
};

}  // namespace sk

#endif  // STOWKEEPER_SHELL_PROPERTIES_WINDOW_H_
