// The generations of a backup set in the backup folder, and the order in which they change.
//
// What a crash, a kill or a power cut may leave must always read as the set before the job
// or as the set the job meant, never as a mix, so the files change in this order:
// - every file is written under a temporary name nobody can plant a link at, flushed to
//   stable storage, renamed into place, and then its folder is flushed;
// - an update puts its volume and its metadata file in place before its index: the index is
//   the commit point, so a volume or metadata file without its index is a leftover, never a
//   restore point;
// - a new main volume's metadata file is renamed over the old one just before the volume;
//   it names the volume's size and last record, so that a crash between the two renames
//   leaves a file every reader sees does not belong to the old volume (the old volume then
//   restores without its metadata, and says so);
// - a set is replaced by removing its update generations newest first, each index before
//   its volume and then its metadata file, flushing the folder, and only then renaming the
//   new main volume (complete and flushed by then) over the old one;
// - deleting the latest backup removes its index before its volume and its metadata file,
//   each followed by a flush of the folder;
// - removing points from the middle is committed by a plan written first
//   (jobs/sets/retention.h), which the next job of the set completes.
// The next job of a set removes what an interrupted one left (temporary files, volumes
// without an index, restore points beyond a missing index, a main volume's metadata without
// the volume) without touching any complete restore point.
#ifndef STOWKEEPER_JOBS_SETS_GENERATIONS_H_
#define STOWKEEPER_JOBS_SETS_GENERATIONS_H_

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "core/ini.h"

namespace sk {

// The suffix of the temporary name of a volume being written (INI files: kIniTemporarySuffix).
inline constexpr char kVolumeTemporarySuffix[] = ".part";

// The files of one set found in the backup folder, by the names the folder gives them.
struct SetFiles {
  std::map<int32_t, std::string> volumes;   // generation to file name
  std::map<int32_t, std::string> indexes;   // generation (1 and up) to file name
  std::map<int32_t, std::string> metadata;  // generation to its metadata file's name
  std::vector<std::string> temporaries;     // files of interrupted writes
};
SetFiles FindSetFiles(const std::string& backup_folder, const std::string& set_name);

// The smallest generation from 1 upward whose update index does not exist (may exceed the
// last generation a name can hold; callers refuse that). The restore points of a set are
// 0 and the generations below it; any later one is a leftover.
int32_t NextGeneration(const std::string& backup_folder, const std::string& set_name);

// Removes the leftovers of interrupted jobs of the set: temporary files, and every
// generation from the first missing index on, newest first, each index before its volume.
// The complete restore points stay. False when one could not be removed; *failed then
// names it (LastError tells why).
bool RemoveLeftovers(const std::string& backup_folder, const std::string& set_name,
                     std::string* failed = nullptr);

// Removes every update generation of the set (points beyond a missing index included),
// newest first, each index before its volume, read-only ones included, and flushes the
// folder. The main volume and the temporary files are left alone. False when one could not
// be removed; *failed then names it.
bool RemoveUpdateGenerations(const std::string& backup_folder, const std::string& set_name,
                             std::string* failed = nullptr);

// Deletes the latest backup of a set, generation k: its index (k >= 1), then its volume
// once the index is gone, flushing the folder after each. A failure leaves what stays:
// false, and *failed names the file that could not be removed (LastError tells why).
bool DeleteGeneration(const std::string& backup_folder, const std::string& set_name,
                      int32_t generation, std::string* failed = nullptr);

}  // namespace sk

#endif  // STOWKEEPER_JOBS_SETS_GENERATIONS_H_
