#include "archive/volume_reader.h"

namespace sk {

int32_t OpenVolume(VolumeReader& reader, const std::string& path) {
  reader.file.Close();
  reader.engine = -1;
  reader.damaged = false;
  reader.size = platform::FileSize(path);
  if (reader.size <= kHeaderSize) return -1;
  if (!reader.file.OpenRead(path)) return -1;
  uint8_t word[4];
  if (!reader.file.ReadExact(word, sizeof word) || CheckHeaderWord(GetU32(word)) < 0) {
    reader.file.Close();
    return -1;
  }
  reader.engine = CheckHeaderWord(GetU32(word));
  return reader.engine;
}

bool ReadRecordHead(VolumeReader& reader) {
  if (!reader.file.IsOpen() || reader.damaged) return false;
  const RecordStatus status = ReadRecordHead(reader.file, reader.size, reader.record);
  if (status != RecordStatus::kOk || HasControlByte(reader.record.path)) {
    reader.damaged = status != RecordStatus::kEnd;
    return false;
  }
  return true;
}

bool ReadNextRecord(VolumeReader& reader) {
  if (!ReadRecordHead(reader)) return false;
  if (!reader.file.Seek(reader.record.end_offset)) {
    reader.damaged = true;
    return false;
  }
  return true;
}

bool ReadRecordAt(VolumeReader& reader, int64_t start) {
  if (!reader.file.IsOpen() || start < kHeaderSize || start >= reader.size) return false;
  reader.damaged = false;
  return reader.file.Seek(start) && ReadRecordHead(reader);
}

std::vector<VolumeRecord> ReadVolumeRecords(const std::string& path, bool* damaged) {
  std::vector<VolumeRecord> records;
  if (damaged != nullptr) *damaged = false;
  VolumeReader reader;
  if (OpenVolume(reader, path) < 0) return records;
  while (ReadNextRecord(reader)) records.push_back(reader.record);
  if (damaged != nullptr) *damaged = reader.damaged;
  return records;
}

}  // namespace sk
