// Finding the update volume that already holds a version of a file, so that an update packs
// only what no earlier generation stores.
#ifndef STOWKEEPER_JOBS_SETS_STORED_VERSIONS_H_
#define STOWKEEPER_JOBS_SETS_STORED_VERSIONS_H_

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "archive/volume.h"
#include "jobs/job.h"

namespace sk {

// For each path of an update, the first update volume 1..last_generation of the set of
// source_folder whose record for it (parent folder + record path, compared exactly) is a
// folder or has the CRC-32 of the file now on disk: what each update volume holds is learnt
// once, up front, from its point's metadata and index, or by reading the volume where the point
// has no whole metadata.
class StoredVersions {
 public:
  // The CRC-32 of the file now on disk, or nullopt when it cannot be read (or the job was
  // cancelled). Called at most once per Find, and only when a stored file must be compared.
  using CrcSource = std::function<std::optional<uint32_t>()>;

  // Find's result when the CRC was needed and could not be had.
  static constexpr int32_t kNoCrc = -1;

  // Learns what update volumes 1..last_generation of the set hold. Volumes read count up to
  // their damage; missing or invalid ones not at all.
  void Load(const std::string& backup_folder, const std::string& source_folder,
            int32_t last_generation);

  // The first generation that holds this version of path, 0 when none does, kNoCrc.
  int32_t Find(const std::string& path, const CrcSource& crc) const;

  // The record of path (a full path) in update volume `generation`, as Find found it; its
  // path is left empty. nullopt when that volume holds none.
  std::optional<VolumeRecord> RecordOf(const std::string& path, int32_t generation) const;

 private:
  struct Version {
    int32_t generation;
    bool folder;
    uint32_t crc;
    VolumeRecord record;  // without its path, which is the key
  };
  struct Hash {
    using is_transparent = void;
    size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
  };
  std::string parent_;
  // Record path -> its first record in each volume, in generation order.
  std::unordered_map<std::string, std::vector<Version>, Hash, std::equal_to<>> versions_;
};

}  // namespace sk

#endif  // STOWKEEPER_JOBS_SETS_STORED_VERSIONS_H_
