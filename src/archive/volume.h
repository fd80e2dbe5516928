// The volume file: one header word, then one entry record per file or folder, back to back
// up to the end of the file. All numbers are little-endian.
//
//   header      uint32   low 16 bits: the magic "SK" (0x53 0x4B); high 16 bits: engine id
//   record      path line   the path relative to the source folder's parent, CR LF;
//                           a folder's path ends in "\"
//               int64    end offset: the file offset just past this record
//               uint32   CRC-32 of the whole uncompressed content (0 for folders, empty files)
//               int64    uncompressed size (0 for folders)
//               int32    attributes
//               blocks   files only: size / 6000 full blocks, then the rest if not 0
//   block       packed:  int32 n >= 1, n bytes of engine output
//               stored:  int32 0, int32 r (raw length), r raw bytes
#ifndef STOWKEEPER_ARCHIVE_VOLUME_H_
#define STOWKEEPER_ARCHIVE_VOLUME_H_

#include <cstdint>
#include <string>

#include "archive/engines.h"
#include "platform/file_system.h"

namespace sk {

inline constexpr uint32_t kVolumeMagic = 0x4B53;  // "SK" read as a little-endian uint16
inline constexpr int64_t kHeaderSize = 4;
// The CR LF after a path plus the 8 + 4 + 8 + 4 bytes of fixed fields.
inline constexpr int64_t kRecordOverhead = 26;
inline constexpr int64_t kFixedFieldsSize = 24;
// Offsets within the fixed fields that follow the path line.
inline constexpr size_t kEndOffsetField = 0;    // int64
inline constexpr size_t kCrcField = 8;          // uint32
inline constexpr size_t kSizeField = 12;        // int64
inline constexpr size_t kAttributesField = 20;  // int32
// The end offset and the CRC, which a writer patches once the record is complete.
inline constexpr size_t kPatchedFieldsSize = kSizeField;
// A block frame's length words.
inline constexpr size_t kFrameWordSize = 4;
// No path line written by any volume writer is anywhere near this long; a longer one is
// damage, and the limit keeps a reader's memory bounded.
inline constexpr size_t kMaxPathLine = 32 * 1024;

uint32_t HeaderWord(int32_t engine);
// The engine id of a valid header word, or -1.
int32_t CheckHeaderWord(uint32_t word);

// One record of a volume: where it lies, and its path line and fixed fields. Every reader of
// the format takes records in this form; the offsets let a reader go back to a record
// without searching for it.
struct VolumeRecord {
  std::string path;
  int64_t start = 0;         // offset of the path line
  int64_t blocks_start = 0;  // offset just past the fixed fields
  int64_t end_offset = 0;
  uint32_t crc = 0;
  int64_t size = 0;
  int32_t attributes = 0;

  bool IsFolder() const { return !path.empty() && path.back() == '\\'; }
  int64_t StoredSize() const { return end_offset - start; }
  friend bool operator==(const VolumeRecord&, const VolumeRecord&) = default;
};

enum class RecordStatus { kOk, kEnd, kDamaged };

// Whether a record's path holds a control byte. No writer stores one, and it would break the
// index lines and list rows built from it: every reader takes such a record for damage.
bool HasControlByte(const std::string& path);

// Reads a record's path line and fixed fields at the current position. kEnd at the end of
// the file; kDamaged when the path line has no CR LF within kMaxPathLine bytes, the fixed
// fields are cut off, or the end offset points before the fixed fields' end or past
// file_size (an end offset of 0 is what an interrupted write leaves). head.blocks_start stays
// 0 unless the path line and the fixed fields were read.
RecordStatus ReadRecordHead(platform::File& file, int64_t file_size, VolumeRecord& record);

// Writing. WriteRecordHead leaves end offset and CRC 0 and returns where they are, for
// PatchRecord once the record is complete: the record ends where the file is then.
bool WriteHeader(platform::File& file, int32_t engine);
bool WriteRecordHead(platform::File& file, const std::string& path, int64_t size,
                     int32_t attributes, int64_t& patch_offset);
bool PatchRecord(platform::File& file, int64_t patch_offset, uint32_t crc);
bool WritePackedFrame(platform::File& file, const uint8_t* data, int32_t length);
bool WriteStoredFrame(platform::File& file, const uint8_t* data, int32_t length);

// Reads one block frame into raw (kBlockBufferSize bytes; packed is scratch of the same
// size) and returns the raw length it gave (0 when the engine refused the packed bytes), or
// -1 when the frame itself is damaged: a negative length, a packed or stored length above
// kBlockBufferSize, or a frame cut off by the end of the file.
int32_t ReadBlockFrame(platform::File& file, BlockCodec& codec, int32_t engine, uint8_t* packed,
                       uint8_t* raw);

// Reads one block frame without unpacking it: a packed frame's stream into packed (the
// packed length is returned), a stored frame's bytes into raw (0 is returned, raw_length
// tells how many). -1 when the frame itself is damaged, as for ReadBlockFrame.
int32_t ReadFrameBytes(platform::File& file, uint8_t* packed, uint8_t* raw, int32_t& raw_length);

// Little-endian helpers.
void PutU32(uint8_t* at, uint32_t value);
void PutU64(uint8_t* at, uint64_t value);
uint32_t GetU32(const uint8_t* at);
uint64_t GetU64(const uint8_t* at);

}  // namespace sk

#endif  // STOWKEEPER_ARCHIVE_VOLUME_H_
