// Feeds whole volume files to the readers: the header check, the record reader, the block
// frames with the dispatch of whichever engine the header names, the record list an update
// compares, the verify job, the record search and the restore of single records. Nothing may
// be read or written outside a buffer, no loop may run on, every reader must agree on where
// the records are, and a restore writes only below its target folder.
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
#include "jobs/restore/restore_entry.h"
#include "jobs/restore/verify.h"
#include "archive/volume_reader.h"
#include "support/test_support.h"
#include "ui/headless/headless_toolkit.h"

namespace {

using sk::testing::TempFolder;

// Records looked up again and restored per input: enough to reach every kind of record of
// a seed, few enough to keep an input fast.
constexpr size_t kRecordsRevisited = 8;

// The input is the main volume of the set of Z:\fuzz\, in a backup folder of its own.
constexpr char kPointName[] = "Backup_0000_of_Z:\\fuzz\\";
constexpr char kVolumeName[] = "Backup_0000_of_Z__fuzz_.sk";

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

// One pass over the volume, record by record; returns the paths in record order.
std::vector<std::string> WalkRecords(const std::string& path, bool& damaged) {
  std::vector<std::string> paths;
  sk::VolumeReader reader;
  if (sk::OpenVolume(reader, path) < 0) return paths;
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
    if (!head.IsFolder()) ReadBlocks(reader, codec, packed, raw);
    paths.push_back(head.path);
    if (!reader.file.Seek(head.end_offset)) {
      reader.damaged = true;
      break;
    }
  }
  damaged = reader.damaged;
  return paths;
}

// Finds the record of path and restores it below a fresh target folder.
void RestoreRecord(sk::AppState& app, const std::string& path) {
  const TempFolder& scratch = Scratch();
  sk::RestoreSource source;
  if (sk::OpenRestoreSource(source, scratch.Internal(kVolumeName)) < 0) __builtin_trap();
  // Every record that a walk reads is found again, under its exact name.
  if (!sk::FindEntry(source.reader, path) || source.reader.record.path != path) __builtin_trap();
  scratch.MakeFolder("out");
  sk::WriteFoundEntry(app, source, scratch.Internal("out/"), -1, -1);
  // Nothing lands beside the target folder.
  if (scratch.Names() != std::vector<std::string>{kVolumeName, "out"}) __builtin_trap();
  scratch.Remove("out");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const TempFolder& scratch = Scratch();
  scratch.Write(kVolumeName, std::string(reinterpret_cast<const char*>(data), size));
  const std::string path = scratch.Internal(kVolumeName);

  bool damaged = false;
  const std::vector<std::string> paths = WalkRecords(path, damaged);

  // An update reads the same records.
  sk::testing::TestApp test(scratch.Internal(""));
  bool index_damaged = false;
  const std::vector<sk::VolumeRecord> records = sk::ReadVolumeRecords(path, &index_damaged);
  if (records.size() != paths.size() || index_damaged != damaged) __builtin_trap();

  // The verify job on the volume's restore point, over the main window.
  test.tk.OpenWindow(sk::ui::kMainWindow, {"main", 599, 500});
  const int32_t valid = sk::VerifyBackup(test.app, kPointName);
  if (valid != 0 && valid != 1) __builtin_trap();

  // A search for a name no record can hold runs through to the end and fails.
  sk::VolumeReader reader;
  if (sk::OpenVolume(reader, path) >= 0 && sk::FindEntry(reader, "\x01")) __builtin_trap();

  const size_t step = paths.size() / kRecordsRevisited + 1;
  for (size_t i = 0; i < paths.size(); i += step) RestoreRecord(test.app, paths[i]);
  return 0;
}
