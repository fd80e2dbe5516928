// Restoring one record of an open volume, and the folder chains it needs.
#ifndef STOWKEEPER_JOBS_RESTORE_RESTORE_ENTRY_H_
#define STOWKEEPER_JOBS_RESTORE_RESTORE_ENTRY_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "archive/block.h"
#include "archive/block_pipeline.h"
#include "archive/engines.h"
#include "archive/volume_reader.h"
#include "jobs/job.h"
#include "jobs/restore/file_writer.h"
#include "platform/file_system.h"

namespace sk {

// An open volume with what unpacking its blocks needs, kept for all its entries.
struct RestoreSource {
  VolumeReader reader;
  // Unpacks the blocks of a large file ahead of its writing; set up by the first such
  // file, kept for the rest of the job.
  std::unique_ptr<BlockPipeline> pipeline;
  // A small file's blocks are unpacked on the job's thread, one at a time, here.
  BlockCodec codec;
  std::unique_ptr<PipelineBlock> block = std::make_unique<PipelineBlock>();
  // The folder the last file went into, known to exist then.
  std::string made_folder;
  // Writes the small files of the restore job, when it set one up.
  std::unique_ptr<FileWriter> writer;
  // What went wrong with the last entry: the file it could not write and the system's code
  // for why, or the damage of its stored content ("", 0 and kNone when it did not fail).
  std::string failed_path;
  int failed_error = 0;
  Damage failed_damage = Damage::kNone;
};

// The job's progress through a restore: the bytes of content written so far, told to the
// reporter block by block; its cancel token ends an entry between two blocks.
struct RestoreProgress {
  JobContext* job = nullptr;  // none: nobody to tell, no cancel
  int64_t done = 0;
  bool cancelled() const { return job != nullptr && job->cancel.cancelled(); }
};

// Opens a volume (header checked) on the first record. The engine id, or -1.
int32_t OpenRestoreSource(RestoreSource& source, const std::string& path);

// The name under which a stored path is written below the target folder: the path without a
// leading drive designation ("C:\"). "" when writing it could leave the target folder or
// cannot name one file: an empty name, a "\" at the start (absolute or UNC), a ".."
// component, or a ":", "/" or control byte anywhere.
std::string OutputName(const std::string& stored_path);

// True when a relative path (no drive) stays below the folder it is joined to.
bool IsSafeRelativePath(const std::string& path);

// Reads the head of the record that starts at `start` (where a reader found it before) and
// stays on its first block: the record is reached by its offset, never searched for. False
// when no record of `path` starts there (the volume changed or is damaged).
bool SeekRecord(VolumeReader& reader, int64_t start, const std::string& path);

// Writes the record the reader is on below target_folder (ending in "\"): a folder is
// created with its missing parents, a file is written block by block and checked against
// its CRC-32, and put in place only then (RestoredFile). A link at the file's name is never
// written through: the entry fails instead. Returns 1 when the entry is complete and its
// CRC-32 matches, else 0 (source.failed_... tell why; a cancel leaves them empty). A file
// that fails or is cancelled leaves its name as it was; one whose content is damaged is
// kept beside it as a damaged copy, each block in its place (one that does not unpack as
// zeros), up to where its frames could be read.
int32_t WriteFoundEntry(RestoreSource& source, const std::string& target_folder,
                        RestoreProgress& progress);

// Makes a restored folder with its missing parents and gives it its attributes; false when
// it cannot be made.
bool MakeRestoredFolder(const std::string& path, int32_t attributes);

// Creates every missing folder of a path that begins with a drive ("C:\"); returns the
// path's size code afterwards (-2 a folder, -1 missing), or 0 for a path without a drive.
int64_t CreatePath(const std::string& path);

}  // namespace sk

#endif  // STOWKEEPER_JOBS_RESTORE_RESTORE_ENTRY_H_
