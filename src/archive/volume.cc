#include "archive/volume.h"

#include "archive/block.h"

namespace sk {

void PutU32(uint8_t* at, uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

void PutU64(uint8_t* at, uint64_t value) {
  for (int i = 0; i < 8; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t GetU32(const uint8_t* at) {
  uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = (value << 8) | at[i];
  return value;
}

uint64_t GetU64(const uint8_t* at) {
  uint64_t value = 0;
  for (int i = 7; i >= 0; --i) value = (value << 8) | at[i];
  return value;
}

bool HasControlByte(const std::string& path) {
  for (const char c : path) {
    if (static_cast<unsigned char>(c) < 0x20) return true;
  }
  return false;
}

uint32_t HeaderWord(int32_t engine) { return kVolumeMagic | (static_cast<uint32_t>(engine) << 16); }

int32_t CheckHeaderWord(uint32_t word) {
  if ((word & 0xFFFF) != kVolumeMagic) return -1;
  const uint32_t engine = word >> 16;
  return engine < static_cast<uint32_t>(kEngineCount) ? static_cast<int32_t>(engine) : -1;
}

RecordStatus ReadRecordHead(platform::File& file, int64_t file_size, VolumeRecord& head) {
  head.start = file.Tell();
  // Set again only once the fixed fields are read: what a reader that goes on past a
  // damaged head has of it.
  head.blocks_start = 0;
  if (head.start >= file_size) return RecordStatus::kEnd;
  head.path.clear();
  // The path line: bytes up to CR LF.
  for (;;) {
    char c;
    if (file.Read(&c, 1) != 1) return RecordStatus::kDamaged;
    if (c == '\n' && !head.path.empty() && head.path.back() == '\r') {
      head.path.pop_back();
      break;
    }
    if (head.path.size() >= kMaxPathLine) return RecordStatus::kDamaged;
    head.path.push_back(c);
  }
  uint8_t fields[kFixedFieldsSize];
  if (!file.ReadExact(fields, sizeof fields)) return RecordStatus::kDamaged;
  head.end_offset = static_cast<int64_t>(GetU64(fields + kEndOffsetField));
  head.crc = GetU32(fields + kCrcField);
  head.size = static_cast<int64_t>(GetU64(fields + kSizeField));
  head.attributes = static_cast<int32_t>(GetU32(fields + kAttributesField));
  head.blocks_start = file.Tell();
  if (head.end_offset < head.blocks_start || head.end_offset > file_size || head.size < 0) {
    return RecordStatus::kDamaged;
  }
  return RecordStatus::kOk;
}

bool WriteHeader(platform::File& file, int32_t engine) {
  uint8_t word[kHeaderSize];
  PutU32(word, HeaderWord(engine));
  return file.Write(word, sizeof word);
}

bool WriteRecordHead(platform::File& file, const std::string& path, int64_t size,
                     int32_t attributes, int64_t& patch_offset) {
  if (!file.Write(path.data(), path.size()) || !file.Write("\r\n", 2)) return false;
  patch_offset = file.Tell();
  uint8_t fields[kFixedFieldsSize] = {};
  PutU64(fields + kSizeField, static_cast<uint64_t>(size));
  PutU32(fields + kAttributesField, static_cast<uint32_t>(attributes));
  return file.Write(fields, sizeof fields);
}

bool PatchRecord(platform::File& file, int64_t patch_offset, uint32_t crc) {
  uint8_t fields[kPatchedFieldsSize];
  PutU64(fields + kEndOffsetField, static_cast<uint64_t>(file.Tell()));
  PutU32(fields + kCrcField, crc);
  // A small record is still in the file's buffer, and is patched there.
  return file.Overwrite(patch_offset, fields, sizeof fields);
}

bool WritePackedFrame(platform::File& file, const uint8_t* data, int32_t length) {
  uint8_t frame[kFrameWordSize];
  PutU32(frame, static_cast<uint32_t>(length));
  return file.Write(frame, sizeof frame) && file.Write(data, static_cast<size_t>(length));
}

bool WriteStoredFrame(platform::File& file, const uint8_t* data, int32_t length) {
  uint8_t frame[2 * kFrameWordSize];
  PutU32(frame, 0);  // a stored block: no packed bytes, then its raw length
  PutU32(frame + kFrameWordSize, static_cast<uint32_t>(length));
  return file.Write(frame, sizeof frame) && file.Write(data, static_cast<size_t>(length));
}

int32_t ReadFrameBytes(platform::File& file, uint8_t* packed, uint8_t* raw, int32_t& raw_length) {
  uint8_t word[kFrameWordSize];
  if (!file.ReadExact(word, sizeof word)) return -1;
  const auto packed_length = static_cast<int32_t>(GetU32(word));
  if (packed_length < 0 || packed_length > kBlockBufferSize) return -1;
  if (packed_length > 0) {
    return file.ReadExact(packed, static_cast<size_t>(packed_length)) ? packed_length : -1;
  }
  if (!file.ReadExact(word, sizeof word)) return -1;
  raw_length = static_cast<int32_t>(GetU32(word));
  if (raw_length < 0 || raw_length > kBlockBufferSize) return -1;
  return file.ReadExact(raw, static_cast<size_t>(raw_length)) ? 0 : -1;
}

int32_t ReadBlockFrame(platform::File& file, BlockCodec& codec, int32_t engine, uint8_t* packed,
                       uint8_t* raw) {
  int32_t raw_length = 0;
  const int32_t packed_length = ReadFrameBytes(file, packed, raw, raw_length);
  if (packed_length < 0) return -1;
  return packed_length > 0 ? codec.Unpack(packed, raw, packed_length, engine) : raw_length;
}

}  // namespace sk
