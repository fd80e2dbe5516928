// Reading the volumes of a backup set record by record.
#ifndef STOWKEEPER_ARCHIVE_VOLUME_READER_H_
#define STOWKEEPER_ARCHIVE_VOLUME_READER_H_

#include <cstdint>
#include <string>
#include <vector>

#include "archive/volume.h"
#include "platform/file_system.h"

namespace sk {

// One open volume.
struct VolumeReader {
  platform::File file;
  int64_t size = 0;
  int32_t engine = -1;
  VolumeRecord record;   // the record last read
  bool damaged = false;  // a record could not be read: the volume ends there
};

// Opens a volume and checks its header. Returns the engine id with the reader positioned on
// the first record, or -1 (missing, 4 bytes or shorter, unreadable, bad magic or engine).
int32_t OpenVolume(VolumeReader& reader, const std::string& path);

// Reads the next record's head into reader.record and stays on its first block, for
// callers that read the blocks. False at the end of the volume, or when the record is
// damaged (reader.damaged is then set), a path with a control byte included.
bool ReadRecordHead(VolumeReader& reader);

// ReadRecordHead, then on to the record after it.
bool ReadNextRecord(VolumeReader& reader);

// Reads the head of the record that starts at offset start (a VolumeRecord's start, as an
// earlier read gave it), staying on its first block. False when nothing readable starts
// there.
bool ReadRecordAt(VolumeReader& reader, int64_t start);

// The records of a volume in their order, up to its end or to a damaged record (*damaged
// tells which); none when it cannot be opened.
std::vector<VolumeRecord> ReadVolumeRecords(const std::string& path, bool* damaged = nullptr);

}  // namespace sk

#endif  // STOWKEEPER_ARCHIVE_VOLUME_READER_H_
