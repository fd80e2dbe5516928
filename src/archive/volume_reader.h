// Reading the volumes of a backup set record by record.
#ifndef STOWKEEPER_JOBS_SETS_VOLUME_READER_H_
#define STOWKEEPER_JOBS_SETS_VOLUME_READER_H_

#include <cstdint>
#include <string>
#include <vector>

#include "archive/volume.h"
#include "platform/file_system.h"

namespace sk {

inline constexpr int32_t kKindFile = 1;
inline constexpr int32_t kKindFolder = 2;

// The record last read.
struct CurrentEntry {
  std::string Path;  // a folder's path ends in "\"
  int64_t UnpackedSize = 0;
  int64_t StoredSize = 0;  // bytes the whole record takes, path line included
  int32_t Attributes = 0;
  uint32_t Crc32 = 0;
  int32_t Kind = kKindFile;
};

// One open volume (the program reads one at a time).
struct VolumeReader {
  platform::File file;
  int64_t size = 0;
  int32_t engine = -1;
  RecordHead head;  // the fixed part of the record last read
  CurrentEntry entry;
  bool damaged = false;  // a record could not be read: the volume ends there
};

// Opens a volume and checks its header. Returns the engine id with the reader positioned on
// the first record, or -1 (missing, 4 bytes or shorter, unreadable, bad magic or engine).
int32_t OpenVolume(VolumeReader& reader, const std::string& path);

// Reads the next record into reader.entry and moves to the record after it. False at the
// end of the volume, or when the record is damaged (reader.damaged is then set). A path
// with a control byte is damage too: no writer stores one, and it would break the index
// lines and list rows built from it.
bool ReadNextEntry(VolumeReader& reader);

// Reads the next record's head and stays on its first block, for callers that read the
// blocks. False at the end or on damage, as ReadNextEntry.
bool ReadEntryHead(VolumeReader& reader);

// One record as an update compares it: where it lies below the set's parent, and its CRC.
struct VolumeRecord {
  std::string path;  // prefix + the record's path; a folder's ends in "\"
  int64_t size = 0;  // the unpacked size
  uint32_t crc = 0;
  friend bool operator==(const VolumeRecord&, const VolumeRecord&) = default;
};

// Reads the records of a volume in their order, each path behind prefix. *damaged tells
// whether the volume ended in a damaged record (the records before it are returned).
std::vector<VolumeRecord> ReadVolumeRecords(const std::string& path, const std::string& prefix,
                                            bool* damaged = nullptr);

}  // namespace sk

#endif  // STOWKEEPER_JOBS_SETS_VOLUME_READER_H_
