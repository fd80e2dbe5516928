#include "jobs/sets/volume_reader.h"

namespace sk {
namespace {

bool HasControlByte(const std::string& path) {
  for (const char c : path) {
    if (static_cast<unsigned char>(c) < 0x20) return true;
  }
  return false;
}

}  // namespace

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

bool ReadEntryHead(VolumeReader& reader) {
  if (!reader.file.IsOpen() || reader.damaged) return false;
  const RecordStatus status = ReadRecordHead(reader.file, reader.size, reader.head);
  if (status != RecordStatus::kOk || HasControlByte(reader.head.path)) {
    reader.damaged = status != RecordStatus::kEnd;
    return false;
  }
  CurrentEntry& entry = reader.entry;
  entry.Path = reader.head.path;
  entry.UnpackedSize = reader.head.size;
  entry.StoredSize = reader.head.StoredSize();
  entry.Attributes = reader.head.attributes;
  entry.Crc32 = reader.head.crc;
  entry.Kind = reader.head.IsFolder() ? kKindFolder : kKindFile;
  return true;
}

bool ReadNextEntry(VolumeReader& reader) {
  if (!ReadEntryHead(reader)) return false;
  if (!reader.file.Seek(reader.head.end_offset)) {
    reader.damaged = true;
    return false;
  }
  return true;
}

std::vector<VolumeRecord> ReadVolumeRecords(const std::string& path, const std::string& prefix,
                                            bool* damaged) {
  std::vector<VolumeRecord> records;
  if (damaged != nullptr) *damaged = false;
  VolumeReader reader;
  if (OpenVolume(reader, path) < 0) return records;
  while (ReadNextEntry(reader)) {
    const CurrentEntry& entry = reader.entry;
    records.push_back({prefix + entry.Path, entry.UnpackedSize, entry.Crc32});
  }
  if (damaged != nullptr) *damaged = reader.damaged;
  return records;
}

}  // namespace sk
