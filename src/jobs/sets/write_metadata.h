// Writing the metadata file of a restore point (archive/metadata_file.h describes it).
#ifndef STOWKEEPER_JOBS_SETS_WRITE_METADATA_H_
#define STOWKEEPER_JOBS_SETS_WRITE_METADATA_H_

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "archive/metadata_file.h"
#include "archive/volume.h"
#include "jobs/job.h"
#include "platform/file_system.h"

namespace sk {

// Scanned entries (full paths) made into record paths below parent and put in a volume's
// order: by path, letter case folded. Entries outside parent are dropped.
std::vector<EntryMeta> InVolumeOrder(std::vector<EntryMeta> scanned, const std::string& parent);

// Gives every file and folder among entries (record paths) the record the volume wrote for it;
// records come in the volume's order.
void AddRecords(std::vector<EntryMeta>& entries, const std::vector<VolumeRecord>& records);

// Gives entry the volume record that holds it: where, its size, attributes and CRC-32.
void SetRecord(EntryMeta& entry, const VolumeRecord& record);

// What the scan saw of a file.
platform::FileStamp ScannedStamp(const EntryMeta& entry);
// What the scan saw of each of its files (full paths), in the form PackRequest::scanned asks
// for.
std::function<std::optional<platform::FileStamp>(const std::string& path)> ScannedStamps(
    const std::vector<EntryMeta>& scanned);

// Gives scanned entries (full paths) the stamps of the versions a volume holds of them, where
// those are other than the scan saw: the next update compares the files with what was stored.
void Restamp(std::vector<EntryMeta>& scanned,
             const std::vector<std::pair<std::string, platform::FileStamp>>& restamped);

// What one metadata file says of its point beyond its entries.
struct MetadataFileInfo {
  bool complete = false;
  int64_t scan_time_ns = 0;
  int64_t volume_size = -1;
};

// Writes the metadata file at path, the names of the entries' owners and groups looked up.
// Like every file the backup folder gets, it is written under an exclusive temporary name,
// flushed, renamed into place and the folder flushed. The problem when it could not be
// written (nothing is then left behind).
std::optional<Problem> WritePointMetadata(const std::string& path, const MetadataFileInfo& info,
                                          const std::vector<EntryMeta>& entries);

}  // namespace sk

#endif  // STOWKEEPER_JOBS_SETS_WRITE_METADATA_H_
