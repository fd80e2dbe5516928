#include "jobs/sets/backup_set.h"

#include "archive/metadata_file.h"
#include "archive/set_names.h"
#include "jobs/sets/retention.h"
#include "jobs/sets/update_index.h"
#include "platform/file_system.h"

namespace sk {
namespace {

std::string WithSeparator(std::string folder) {
  if (folder.empty() || folder.back() != '\\') folder += '\\';
  return folder;
}

}  // namespace

BackupSet::BackupSet(const std::string& backup_folder, const std::string& source_folder)
    : folder_(WithSeparator(backup_folder)),
      source_(WithSeparator(source_folder)),
      // Only a full folder path names a set: a relative or empty one would name a set of a
      // folder that depends on where the program runs.
      name_(platform::RootLength(source_) > 0 ? SetName(source_) : ""),
      parent_(ParentFolder(source_)) {}

BackupSet BackupSet::OfPointName(const std::string& backup_folder,
                                 const std::string& display_name) {
  return BackupSet(backup_folder, ParsePointName(display_name).source);
}

std::string BackupSet::VolumePath(int32_t generation) const {
  return folder_ + VolumeFileName(name_, generation);
}

std::string BackupSet::IndexPath(int32_t generation) const {
  return folder_ + IndexFileName(name_, generation);
}

std::string BackupSet::MetadataPath(int32_t generation) const {
  return folder_ + MetadataFileName(name_, generation);
}

std::string BackupSet::PointName(int32_t generation) const {
  return sk::PointName(source_, generation);
}

SetFiles BackupSet::Files() const { return FindSetFiles(folder_, name_); }

bool BackupSet::Exists() const { return nameable() && platform::FileSize(VolumePath(0)) >= 0; }

int32_t BackupSet::NextGeneration() const { return sk::NextGeneration(folder_, name_); }

bool BackupSet::IsPoint(int32_t generation) const {
  return generation >= 0 && generation < NextGeneration() && Exists();
}

bool BackupSet::HasVolume(int32_t generation) const {
  if (generation == 0) return true;
  UpdateIndex index;
  if (!ReadUpdateIndex(IndexPath(generation), name_, index)) return true;
  const std::string own = LowerCase(VolumeFileName(name_, generation));
  for (const auto* group : {&index.added, &index.changed}) {
    for (const IndexItem& item : *group) {
      if (LowerCase(item.volume) == own) return true;
    }
  }
  return false;
}

std::optional<Problem> BackupSet::Lock(SetLock& lock) const {
  if (lock.Take(folder_, name_) != SetLock::Outcome::kHeld) return std::nullopt;
  Problem held;
  held.kind = Problem::Kind::kSetLocked;
  held.path = lock.path();
  held.holder_process = lock.holder().process_id;
  held.holder_host = lock.holder().host;
  return held;
}

bool BackupSet::RemoveLeftovers(std::string* failed) const {
  // A removal of points that a crash interrupted is completed first: its files are no
  // leftovers, and the points it keeps are not all in place until it is.
  return CompletePendingRemoval(folder_, name_, failed) &&
         sk::RemoveLeftovers(folder_, name_, failed);
}

bool BackupSet::RemoveUpdates(std::string* failed) const {
  return RemoveUpdateGenerations(folder_, name_, failed);
}

bool BackupSet::DeletePoint(int32_t generation, std::string* failed) const {
  return DeleteGeneration(folder_, name_, generation, failed);
}

}  // namespace sk
