// The program-wide state: settings, paths and texts. Created once in main and handed by
// reference to what needs them; jobs take their values from it through their requests.
#ifndef STOWKEEPER_CORE_APP_STATE_H_
#define STOWKEEPER_CORE_APP_STATE_H_

#include <array>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "core/text_ids.h"
#include "core/text_table.h"

namespace sk {

struct AppState {
  // Settings (Settings.ini).
  int32_t Engine = 0;
  int32_t Level = 9;
  std::string BackupFolder;  // internal path form, ending in "\" once chosen
  // SaveFolder as the settings file held it. While the program cannot use it (BackupFolder
  // is "" or no folder, and still what the program made of this text), the file keeps it
  // as it was.
  std::string SaveFolderText;
  int32_t DoubleClickAction = 0;
  std::string Catalog;
  int32_t WinX = 200, WinY = 200;
  int32_t WinWidth = 599, WinHeight = 500;
  int32_t ColumnWidth = 343;
  int32_t ViewMode = 0;  // 0 normal, kViewMaximized, kViewMinimized
  // Patterns of entries the scan leaves out, per source folder (jobs/create/exclusions.h):
  // the key is the folder's set name in lower case.
  std::map<std::string, std::vector<std::string>> Exclusions;
  // The keys of Exclusions this run has set or removed. Other runs (the command line's
  // "/c --exclude") save lists too while a window is open: a save keeps the file's lists and
  // puts only these over them.
  std::set<std::string> ExclusionsChanged;
  // The retention policy of each set (shell/retention_policy.h) as the settings file spells
  // it, by the same keys as Exclusions; read when a job needs it, so that a value this
  // version cannot read stays in the file as it was.
  std::map<std::string, std::string> Policies;
  // The keys of Policies this run has set or removed; a save puts only these over the file's.
  std::set<std::string> PoliciesChanged;
  // 1: a scheduled run that succeeds tells the user too, not only one that fails.
  int32_t NotifySuccess = 0;
  // 1: every update reads every file to compare it, also one whose metadata says it is
  // unchanged since the latest restore point.
  int32_t FullCompare = 0;

  // Paths.
  std::string ProgramFolder;
  std::string SettingsFolder;

  // Fixed values.
  const std::string VersionText = "1.87";
  const std::string YearsText = "2007 - 2011";
  const int32_t EngineCount = 3;
  const std::array<std::string, 3> EngineNames = {"Densepress", "JCalG1", "ZLIB"};

  TextTable Texts;

  // Threads that pack, unpack and checksum blocks for a job; 0: one per processor. Not a
  // setting: the volumes are the same for any number.
  int32_t BlockWorkers = 0;

  const std::string& Text(int number) const { return Texts[number]; }
};

inline constexpr int32_t kViewMaximized = 16777216;
inline constexpr int32_t kViewMinimized = 536870912;

}  // namespace sk

#endif  // STOWKEEPER_CORE_APP_STATE_H_
