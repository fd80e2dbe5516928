// The backup sets and restore points in the backup folder, as the main window's two lists
// show them.
#ifndef STOWKEEPER_JOBS_SETS_BACKUP_LISTS_H_
#define STOWKEEPER_JOBS_SETS_BACKUP_LISTS_H_

#include <string>
#include <vector>

#include "jobs/sets/update_index.h"

namespace sk {

// Images of the list rows.
inline constexpr int kMainVolumeImage = 0;
inline constexpr int kRestorePointImage = 4;

// The stored bytes that make up the restore point of an update index (its file name as
// found in the backup folder): the main volume's size, less the records of what the index
// lists as removed or changed, plus the records of the added and changed versions in the
// update volumes it names. As ByteSizeText with one decimal; never below 0.
std::string RestorePointSize(const std::string& backup_folder, const std::string& index_file_name);

// One row of the main window's lists: three columns separated by '\n' (name, size, and when
// the point was made: the time its scan began), and its image.
struct ListRow {
  std::string text;
  int image = kMainVolumeImage;
};

// The rows of BackupList (each set once, by its latest restore point) and of RestoreList
// (every main volume followed by its restore points), as the backup folder holds them now.
struct BackupListRows {
  std::vector<ListRow> backup;
  std::vector<ListRow> restore;
};
BackupListRows FindBackupListRows(const std::string& backup_folder);

// A restore point's display name as the user reads it: the source folder in the system's own
// path form ("Backup_0003_of_/home/ann/Docs/" on Linux). Only what is drawn takes this form;
// the commands and every stored file keep the display name.
std::string ShownPointName(const std::string& display_name);

}  // namespace sk

#endif  // STOWKEEPER_JOBS_SETS_BACKUP_LISTS_H_
