#include "jobs/sets/volume_reader.h"

#include "core/size_text.h"

namespace sk {
namespace {

// "$" and eight upper-case hexadecimal digits, as CrcText writes them; an update index line
// is made for every record of a main volume, so this stays free of formatted output.
constexpr size_t kCrcTextLength = 9;

void AppendCrcText(std::string& line, uint32_t crc) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  line += '$';
  for (int shift = 28; shift >= 0; shift -= 4) line += kDigits[(crc >> shift) & 0xF];
}

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

int32_t LoadVolumeIndex(AppState& app, const std::string& path, const std::string& prefix,
                        int list_number, bool with_sizes, bool* damaged) {
  StringList& list = app.List(list_number);
  list.clear();
  if (damaged != nullptr) *damaged = false;
  VolumeReader reader;
  if (OpenVolume(reader, path) < 0) return 0;
  int32_t count = 0;
  while (ReadNextEntry(reader)) {
    const CurrentEntry& entry = reader.entry;
    std::string line;
    line.reserve(prefix.size() + entry.Path.size() + kCrcTextLength + 2);
    line += prefix;
    line += entry.Path;
    line += '\x01';
    if (with_sizes) line += ByteSizeText(entry.UnpackedSize, 1) + '\x01';
    AppendCrcText(line, entry.Crc32);
    list.push_back(std::move(line));
    ++count;
  }
  if (damaged != nullptr) *damaged = reader.damaged;
  return count;
}

}  // namespace sk
