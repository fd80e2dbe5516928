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

// --- Reading on past damage.
//
// The format has no record count, no index and no end marker: a reader that meets a damaged
// record finds the next one by the damaged record's own end offset, else by where its block
// frames end, else by searching the bytes after it for a record head that checks out. Every
// offset looked at lies inside the file, every length read is checked against the file and
// the block buffers before it is used, and a search ends at the end of the file.

// Whether a head that ReadRecordHead took is one a writer could have written: no control
// byte in its path; a folder or an empty file with no content, CRC 0 and no blocks; a file
// whose record has room for its blocks' frames (5 to 8 + kBlockBufferSize bytes each).
bool HeadIsPlausible(const VolumeRecord& head);

// Whether a record head that checks out starts at offset: plausible, its path beginning with
// prefix, and its first block frames (by their length words) fitting its record.
bool RecordChecksOut(platform::File& file, int64_t size, int64_t offset, const std::string& prefix,
                     VolumeRecord& head);

// Where the block frames of a record end, walked by their length words from its first block
// (its end offset is not used); -1 when a length word is impossible or the frames run past
// the end of the file.
int64_t FramesEnd(platform::File& file, int64_t size, const VolumeRecord& head);

// Where reading goes on after a damaged record.
struct Resumption {
  int64_t next = 0;    // where the next record that checks out begins; the file's size if none
  bool exact = false;  // found where the damaged record ends: nothing else lies in between.
                       // Else it was searched for, and records between may be lost.
};

// damaged: the record as far as it could be read (its start; path and fixed fields when its
// blocks_start is set). prefix: what every record path of the volume begins with (the
// source folder's own name and "\"; "" when the paths share none); a record head found by
// searching must begin with it.
Resumption ResumeAfter(platform::File& file, int64_t size, const VolumeRecord& damaged,
                       const std::string& prefix);

// A stretch of a volume no record could be taken from: a damaged record head, up to the next
// record that checks out.
struct DamagedStretch {
  int64_t start = 0;
  std::string path;    // the damaged record's, where it could be read; else ""
  bool exact = false;  // as Resumption::exact
};

// A whole volume read past damage: every record that could be taken, in volume order.
struct VolumeScan {
  int32_t engine = -1;  // -1: no volume (missing, 4 bytes or shorter, unreadable, bad header)
  std::vector<VolumeRecord> records;
  std::vector<DamagedStretch> damaged;
  bool whole = false;  // a volume whose records all read as written
};
VolumeScan ScanVolume(const std::string& path, const std::string& prefix);

}  // namespace sk

#endif  // STOWKEEPER_ARCHIVE_VOLUME_READER_H_
