// A backup set: a source folder's files in the backup folder.
//
// The one place that knows them: their names, which generations are restore points, whether
// a point has a volume of its own, the set's lock, and how the latest point goes. The jobs
// and the shell ask it instead of building names.
#ifndef STOWKEEPER_JOBS_SETS_BACKUP_SET_H_
#define STOWKEEPER_JOBS_SETS_BACKUP_SET_H_

#include <cstdint>
#include <optional>
#include <string>

#include "jobs/job.h"
#include "jobs/sets/generations.h"
#include "jobs/sets/set_lock.h"

namespace sk {

class BackupSet {
 public:
  BackupSet() = default;
  // backup_folder and source_folder: full paths in the internal form; a missing final "\"
  // is added.
  BackupSet(const std::string& backup_folder, const std::string& source_folder);
  // The set a restore point's display name ("Backup_0003_of_C:\Data\Docs\") belongs to.
  static BackupSet OfPointName(const std::string& backup_folder, const std::string& display_name);

  const std::string& folder() const { return folder_; }  // the backup folder
  const std::string& source() const { return source_; }  // the source folder
  // The set name its files carry; "" when no set can be named after the source folder.
  const std::string& name() const { return name_; }
  // What record paths are relative to: the source folder's parent.
  const std::string& parent() const { return parent_; }
  bool nameable() const { return !name_.empty(); }

  std::string VolumePath(int32_t generation) const;
  std::string IndexPath(int32_t generation) const;
  // The metadata file of generation `generation` (archive/metadata_file.h).
  std::string MetadataPath(int32_t generation) const;
  // The display name of restore point `generation`.
  std::string PointName(int32_t generation) const;

  SetFiles Files() const;
  // Whether the set has its main volume.
  bool Exists() const;
  // The restore points are 0 (the main volume) up to this, exclusive: the first generation
  // from 1 on without an index. Beyond kMaxGeneration when the set is full.
  int32_t NextGeneration() const;
  int32_t LatestPoint() const { return NextGeneration() - 1; }
  // Whether `generation` is a restore point of the set now.
  bool IsPoint(int32_t generation) const;
  // Whether restore point `generation` has a volume of its own: the main volume always, an
  // update when its index names its own volume (an update that found nothing new to store
  // writes its index alone). An index that cannot be read counts as naming it.
  bool HasVolume(int32_t generation) const;

  // Takes the set's lock for a job; the problem when another run holds it. Where no lock file
  // can be made at all, the job goes on without one: it can write no file there either, and
  // fails at its own first write.
  std::optional<Problem> Lock(SetLock& lock) const;

  // Removes what interrupted jobs left (temporary files, volumes without an index, points
  // beyond a missing index). False when a file could not be removed; *failed names it.
  bool RemoveLeftovers(std::string* failed = nullptr) const;
  // Removes every update point, newest first (the main volume and temporary files stay).
  bool RemoveUpdates(std::string* failed = nullptr) const;
  // Deletes restore point `generation`, which must be the latest: its index, then its volume
  // once the index is gone, flushing the folder after each. False when a file stays;
  // *failed names it.
  bool DeletePoint(int32_t generation, std::string* failed = nullptr) const;

 private:
  std::string folder_;
  std::string source_;
  std::string name_;
  std::string parent_;
};

}  // namespace sk

#endif  // STOWKEEPER_JOBS_SETS_BACKUP_SET_H_
