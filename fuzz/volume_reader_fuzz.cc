// Feeds whole volume files to the readers: the header check, the record reader, the block
// frames with the dispatch of whichever engine the header names, the record list an update
// compares, the reader that goes on past damage (the one restore, list and properties take
// their records from), the verify job, records reached again by their offsets, and the
// restore of single records and of the whole restore point. Nothing may be read or written
// outside a buffer, no loop may run on, every reader must agree on where the records of a
// whole volume are, a record is reached only at its own offset under its own name, damage a
// reader went on past is named, and a restore writes only below its target folder.
//
// Input: the bytes of a volume file. The seeds are volumes the program wrote, one set per
// engine, so mutations start from real records and real block streams.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "archive/block.h"
#include "archive/engines.h"
#include "archive/volume.h"
#include "archive/volume_reader.h"
#include "jobs/job.h"
#include "jobs/restore/restore.h"
#include "jobs/restore/restore_entry.h"
#include "jobs/restore/verify.h"
#include "jobs/sets/backup_set.h"
#include "support/test_support.h"

namespace {

using sk::testing::TempFolder;

// Records reached again and restored per input: enough to reach every kind of record of a
// seed, few enough to keep an input fast.
constexpr size_t kRecordsRevisited = 8;

// The input is the main volume of the set of Z:\Data\, in a backup folder of its own: the
// seeds' source folder, so that the records found past damage are the seeds' own.
constexpr char kSource[] = "Z:\\Data\\";
// What every record path of that set begins with.
constexpr char kPrefix[] = "Data\\";
constexpr char kVolumeName[] = "Backup_0000_of_Z__Data_.sk";

const TempFolder& Scratch() {
  static const TempFolder folder;
  return folder;
}

// Reads the blocks of the record the reader stands on as the verify job does: each block
// must give its nominal length and stay inside the record.
void ReadBlocks(sk::VolumeReader& reader, sk::BlockCodec& codec, std::vector<uint8_t>& packed,
                std::vector<uint8_t>& raw) {
  const sk::VolumeRecord& head = reader.record;
  for (int64_t left = head.size; left > 0; left -= sk::kBlockSize) {
    const auto nominal = static_cast<int32_t>(std::min<int64_t>(left, sk::kBlockSize));
    const int32_t length =
        sk::ReadBlockFrame(reader.file, codec, reader.engine, packed.data(), raw.data());
    if (length < -1 || length > sk::kBlockBufferSize) __builtin_trap();
    if (length != nominal || reader.file.Tell() > head.end_offset) return;
  }
}

// One pass over the volume, record by record; returns the records in their order.
std::vector<sk::VolumeRecord> WalkRecords(const std::string& path, bool& damaged) {
  std::vector<sk::VolumeRecord> records;
  sk::VolumeReader reader;
  if (sk::OpenVolume(reader, path) < 0) return records;
  sk::BlockCodec codec;
  // Exactly one block buffer each, so that the sanitizer sees any write past them.
  std::vector<uint8_t> packed(sk::kBlockBufferSize), raw(sk::kBlockBufferSize);
  int64_t previous_end = sk::kHeaderSize;
  while (sk::ReadRecordHead(reader)) {
    const sk::VolumeRecord& head = reader.record;
    // Records lie back to back inside the file, each at least its fixed part long.
    if (head.start != previous_end || head.end_offset < head.blocks_start ||
        head.end_offset > reader.size || reader.record.StoredSize() < sk::kRecordOverhead) {
      __builtin_trap();
    }
    previous_end = head.end_offset;
    records.push_back(head);
    if (!head.IsFolder()) ReadBlocks(reader, codec, packed, raw);
    if (!reader.file.Seek(head.end_offset)) {
      reader.damaged = true;
      break;
    }
  }
  damaged = reader.damaged;
  return records;
}

// Reaches the record again by its offset and restores it below a fresh target folder.
void RestoreRecord(sk::JobContext& job, const sk::VolumeRecord& record) {
  const TempFolder& scratch = Scratch();
  sk::RestoreSource source;
  if (sk::OpenRestoreSource(source, scratch.Internal(kVolumeName)) < 0) __builtin_trap();
  // Every record that a walk reads is reached again at its offset, under its exact name, and
  // reads the same there.
  if (!sk::SeekRecord(source.reader, record.start, record.path) ||
      !(source.reader.record == record)) {
    __builtin_trap();
  }
  // Nowhere else: one byte on, the path line is another one; under another name, the offset
  // holds no record of it.
  if (sk::SeekRecord(source.reader, record.start + 1, record.path) ||
      sk::SeekRecord(source.reader, record.start, record.path + "\x01")) {
    __builtin_trap();
  }
  if (!sk::SeekRecord(source.reader, record.start, record.path)) __builtin_trap();
  scratch.MakeFolder("out");
  sk::RestoreProgress progress{&job};
  const int32_t written = sk::WriteFoundEntry(source, scratch.Internal("out/"), progress);
  if (written != 0 && written != 1) __builtin_trap();
  // What failed says why: a file it could not write, or the damage of its content.
  if (written == 0 && !source.failed_path.empty() && source.failed_error == 0 &&
      source.failed_damage == sk::Damage::kNone) {
    __builtin_trap();
  }
  // Nothing lands beside the target folder.
  if (scratch.Names() != std::vector<std::string>{kVolumeName, "out"}) __builtin_trap();
  scratch.Remove("out");
}

// The reader that goes on past damage: records in volume order, each inside the file and
// reached again at its offset, damaged stretches in order, and for a whole volume the
// records every other reader finds.
sk::VolumeScan ScanRecords(const std::string& path, const std::vector<sk::VolumeRecord>& walked,
                           bool damaged) {
  sk::VolumeScan scan = sk::ScanVolume(path, kPrefix);
  sk::VolumeReader reader;
  if (scan.engine != sk::OpenVolume(reader, path)) __builtin_trap();
  int64_t previous = -1;
  for (const sk::VolumeRecord& record : scan.records) {
    if (record.start <= previous || record.end_offset > reader.size ||
        record.end_offset < record.blocks_start || !sk::HeadIsPlausible(record) ||
        !sk::SeekRecord(reader, record.start, record.path) || !(reader.record == record)) {
      __builtin_trap();
    }
    previous = record.start;
  }
  previous = -1;
  for (const sk::DamagedStretch& stretch : scan.damaged) {
    if (stretch.start <= previous || stretch.start >= reader.size) __builtin_trap();
    previous = stretch.start;
  }
  if (scan.whole && (damaged || scan.records != walked || !scan.damaged.empty())) {
    __builtin_trap();
  }
  return scan;
}

// The restore job on the whole restore point, with the source folder alone recreated below
// the target: it ends, names every damaged stretch it went on past, and fails only for what
// it names.
void RestorePoint(sk::JobContext& job, const sk::BackupSet& set, const sk::VolumeScan& scan) {
  const TempFolder& scratch = Scratch();
  scratch.MakeFolder("out");
  const sk::JobResult result = sk::RestoreBackup(
      {set, 0, scratch.Internal("out/"), sk::RestoreStructure::kSubfolder, nullptr}, job);
  if (result.outcome != sk::Outcome::kDone && result.outcome != sk::Outcome::kFailed) {
    __builtin_trap();
  }
  if (!scan.damaged.empty() && result.outcome != sk::Outcome::kFailed) __builtin_trap();
  if (result.outcome == sk::Outcome::kFailed && !result.failure && result.problems.empty()) {
    __builtin_trap();
  }
  if (scratch.Names() != std::vector<std::string>{kVolumeName, "out"}) __builtin_trap();
  scratch.Remove("out");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const TempFolder& scratch = Scratch();
  scratch.Write(kVolumeName, std::string(reinterpret_cast<const char*>(data), size));
  const sk::BackupSet set(scratch.Internal(""), kSource);
  const std::string path = set.VolumePath(0);
  if (path != scratch.Internal(kVolumeName)) __builtin_trap();

  bool damaged = false;
  const std::vector<sk::VolumeRecord> walked = WalkRecords(path, damaged);

  // An update reads the same records.
  bool index_damaged = false;
  const std::vector<sk::VolumeRecord> records = sk::ReadVolumeRecords(path, &index_damaged);
  if (records != walked || index_damaged != damaged) __builtin_trap();
  const sk::VolumeScan scan = ScanRecords(path, walked, damaged);

  sk::SilentReporter silent;
  sk::CancelToken cancel;
  sk::JobContext job{silent, cancel};

  // The verify job on the volume's restore point: it tells damage, or nothing.
  const sk::VerifyResult verified = sk::VerifyPoint({set, 0}, job);
  if (verified.outcome != sk::Outcome::kDone && verified.outcome != sk::Outcome::kFailed) {
    __builtin_trap();
  }
  if ((verified.outcome == sk::Outcome::kFailed) != (verified.damage != sk::Damage::kNone)) {
    __builtin_trap();
  }

  // What the check found is named.
  if (verified.damage != sk::Damage::kNone && !verified.failure && verified.problems.empty()) {
    __builtin_trap();
  }

  // The records found past damage too, as the restore reaches them.
  const size_t step = scan.records.size() / kRecordsRevisited + 1;
  for (size_t i = 0; i < scan.records.size(); i += step) RestoreRecord(job, scan.records[i]);
  RestorePoint(job, set, scan);
  return 0;
}
