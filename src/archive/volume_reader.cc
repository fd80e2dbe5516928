#include "archive/volume_reader.h"

#include <algorithm>

#include "archive/block.h"

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

// --- Reading on past damage.

namespace {

constexpr int64_t kSmallestFrame = kFrameWordSize + 1;  // a packed frame of one byte
constexpr int64_t kLargestFrame = 2 * kFrameWordSize + kBlockBufferSize;
// The frames a head found by searching must show by their length words before it counts as a
// record: enough that bytes left by chance do not pass, few enough to look at quickly.
constexpr int64_t kFramesChecked = 16;
// A search reads the file in pieces of this size, each with the path line before it.
constexpr int64_t kSearchPiece = int64_t{1} << 20;

int64_t BlockCount(int64_t size) { return size / kBlockSize + (size % kBlockSize > 0 ? 1 : 0); }

// The raw length of block `block` (from 0) of a file of `size` bytes.
int32_t NominalLength(int64_t size, int64_t block) {
  const int64_t rest = size % kBlockSize;
  return static_cast<int32_t>(block + 1 == BlockCount(size) && rest > 0 ? rest : kBlockSize);
}

// Whether `bytes` can hold exactly `blocks` frames, each of a possible length.
bool FramesCanFill(int64_t bytes, int64_t blocks) {
  if (blocks == 0) return bytes == 0;
  // Divisions, not products: a garbled size must not overflow.
  return bytes > 0 && blocks <= bytes / kSmallestFrame && (bytes - 1) / kLargestFrame < blocks;
}

// The offset just past the frame at offset, read by its length words alone; -1 when a length
// is impossible for a block of `nominal` raw bytes, or the frame runs past limit.
int64_t SkipFrame(platform::File& file, int64_t offset, int64_t limit, int32_t nominal) {
  uint8_t word[kFrameWordSize];
  if (offset > limit - static_cast<int64_t>(kFrameWordSize) || !file.Seek(offset) ||
      !file.ReadExact(word, sizeof word)) {
    return -1;
  }
  const auto packed = static_cast<int32_t>(GetU32(word));
  int64_t next = offset + static_cast<int64_t>(kFrameWordSize);
  if (packed > 0 && packed <= kBlockBufferSize) {
    next += packed;
  } else if (packed == 0) {
    // Stored: the writer stores a block's raw bytes as they are, its nominal length.
    if (next > limit - static_cast<int64_t>(kFrameWordSize) || !file.ReadExact(word, sizeof word) ||
        static_cast<int32_t>(GetU32(word)) != nominal) {
      return -1;
    }
    next += static_cast<int64_t>(kFrameWordSize) + nominal;
  } else {
    return -1;
  }
  return next <= limit ? next : -1;
}

// The first offset after `after` where a record that checks out begins; size when none
// does. Every CR LF in the file is where a path line may end: its path is taken from the
// bytes before it that can be a path (from the first one that begins with prefix), and its
// fixed fields must fit the file before the head is read and checked.
int64_t SearchRecord(platform::File& file, int64_t size, int64_t after, const std::string& prefix) {
  const int64_t from = after + 1;
  const auto path_limit = static_cast<int64_t>(kMaxPathLine);
  // A CR LF at q leaves room for a path before it and the fixed fields after it.
  const int64_t last_line_end = size - kRecordOverhead;
  std::vector<uint8_t> piece;
  VolumeRecord head;
  for (int64_t q_from = from + 1; q_from <= last_line_end;) {
    const int64_t base = std::max(from, q_from - path_limit);
    const int64_t q_to = std::min(last_line_end + 1, q_from + kSearchPiece);
    piece.resize(static_cast<size_t>(q_to - 1 + kRecordOverhead - base));
    if (!file.Seek(base) || !file.ReadExact(piece.data(), piece.size())) return size;
    for (int64_t q = q_from; q < q_to; ++q) {
      const uint8_t* line_end = piece.data() + (q - base);
      if (line_end[0] != '\r' || line_end[1] != '\n') continue;
      const auto end_offset = static_cast<int64_t>(GetU64(line_end + 2 + kEndOffsetField));
      const auto record_size = static_cast<int64_t>(GetU64(line_end + 2 + kSizeField));
      if (end_offset < q + kRecordOverhead || end_offset > size || record_size < 0) continue;
      int64_t start = q;
      while (start > base && q - start < path_limit && piece[start - 1 - base] >= 0x20) --start;
      if (!prefix.empty()) {
        const auto found = std::search(piece.begin() + (start - base), piece.begin() + (q - base),
                                       prefix.begin(), prefix.end());
        start = (found - piece.begin()) + base;
      }
      if (start < q && RecordChecksOut(file, size, start, prefix, head)) return start;
    }
    q_from = q_to;
  }
  return size;
}

}  // namespace

bool HeadIsPlausible(const VolumeRecord& head) {
  if (HasControlByte(head.path)) return false;
  const int64_t bytes = head.end_offset - head.blocks_start;
  if (head.IsFolder() || head.size == 0) return head.size == 0 && head.crc == 0 && bytes == 0;
  return head.size > 0 && FramesCanFill(bytes, BlockCount(head.size));
}

bool RecordChecksOut(platform::File& file, int64_t size, int64_t offset, const std::string& prefix,
                     VolumeRecord& head) {
  if (offset < kHeaderSize || offset >= size || !file.Seek(offset) ||
      ReadRecordHead(file, size, head) != RecordStatus::kOk || !HeadIsPlausible(head) ||
      !head.path.starts_with(prefix)) {
    return false;
  }
  const int64_t blocks = BlockCount(head.size);
  const int64_t checked = std::min(blocks, kFramesChecked);
  int64_t at = head.blocks_start;
  for (int64_t block = 0; block < checked && at >= 0; ++block) {
    at = SkipFrame(file, at, head.end_offset, NominalLength(head.size, block));
  }
  return at >= 0 && FramesCanFill(head.end_offset - at, blocks - checked);
}

int64_t FramesEnd(platform::File& file, int64_t size, const VolumeRecord& head) {
  if (head.blocks_start <= head.start || head.size < 0) return -1;
  const int64_t blocks = BlockCount(head.size);
  int64_t at = head.blocks_start;
  // A size the rest of the file cannot hold is not walked at all.
  if (blocks > (size - at) / kSmallestFrame) return -1;
  for (int64_t block = 0; block < blocks && at >= 0; ++block) {
    at = SkipFrame(file, at, size, NominalLength(head.size, block));
  }
  return at;
}

Resumption ResumeAfter(platform::File& file, int64_t size, const VolumeRecord& damaged,
                       const std::string& prefix) {
  if (damaged.blocks_start > damaged.start) {
    const int64_t by_offset =
        damaged.end_offset >= damaged.blocks_start && damaged.end_offset <= size
            ? damaged.end_offset
            : -1;
    const int64_t by_frames = FramesEnd(file, size, damaged);
    // Where the end offset and the frames agree, the record ends there whatever follows.
    if (by_offset >= 0 && by_offset == by_frames) return {by_offset, true};
    VolumeRecord next;
    for (const int64_t at : {by_offset, by_frames}) {
      if (at >= 0 && (at == size || RecordChecksOut(file, size, at, "", next))) return {at, true};
    }
  }
  return {SearchRecord(file, size, damaged.start, prefix), false};
}

VolumeScan ScanVolume(const std::string& path, const std::string& prefix) {
  VolumeScan scan;
  VolumeReader reader;
  scan.engine = OpenVolume(reader, path);
  if (scan.engine < 0) return scan;
  scan.whole = true;
  platform::File& file = reader.file;
  const int64_t size = reader.size;
  // Each record is taken at a larger offset than the one before, and each damaged stretch
  // ends after its start: the scan ends.
  bool previous_walked = false;
  for (int64_t at = kHeaderSize; at < size;) {
    VolumeRecord head;
    const RecordStatus status =
        file.Seek(at) ? ReadRecordHead(file, size, head) : RecordStatus::kDamaged;
    if (status == RecordStatus::kOk && HeadIsPlausible(head)) {
      scan.records.push_back(head);
      at = head.end_offset;
      previous_walked = false;
      continue;
    }
    scan.whole = false;
    // A wrong end offset of the record before led here: its frames tell where it ends.
    if (!scan.records.empty() && !previous_walked) {
      previous_walked = true;
      const int64_t end = FramesEnd(file, size, scan.records.back());
      VolumeRecord next;
      if (end >= 0 && end != at && (end == size || RecordChecksOut(file, size, end, "", next))) {
        at = end;
        continue;
      }
    }
    previous_walked = true;
    head.start = at;
    DamagedStretch stretch;
    stretch.start = at;
    if (head.blocks_start > head.start && !HasControlByte(head.path)) stretch.path = head.path;
    const Resumption resumed = ResumeAfter(file, size, head, prefix);
    stretch.exact = resumed.exact;
    scan.damaged.push_back(std::move(stretch));
    at = resumed.next;
  }
  return scan;
}

}  // namespace sk
