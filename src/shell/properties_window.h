// The properties window of a restore point: its name, the set's engine, the packed and
// unpacked size, the folder and file counts.
#ifndef STOWKEEPER_SHELL_PROPERTIES_WINDOW_H_
#define STOWKEEPER_SHELL_PROPERTIES_WINDOW_H_

#include <cstdint>
#include <string>

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

#endif  // STOWKEEPER_SHELL_PROPERTIES_WINDOW_H_
