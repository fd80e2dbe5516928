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
#include "core/app_state.h"
#include "jobs/restore/file_writer.h"
#include "archive/volume_reader.h"
#include "platform/file_system.h"

namespace sk {

// The restore progress window's one-second timer.
inline constexpr int kRestoreTimerId = 2703;
inline constexpr int kRestoreTimerMilliseconds = 1000;

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
  // The file the last entry could not write, and the system's code for why ("" and 0 when
  // it failed otherwise, a CRC mismatch for one).
  std::string failed_path;
  int failed_error = 0;
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

// Finds the record of relative_path: from the current record to the end, then from the first
// record, by the rule of a restore point's paths (jobs/sets/restore_point.h): the exact
// spelling wins; only when the volume has none is the path matched without regard to case.
// Skips along the end offsets, never through the blocks. Leaves the reader on the record's
// first block with reader.record describing it.
bool FindEntry(VolumeReader& reader, const std::string& relative_path);

// Writes the record FindEntry found below target_folder (ending in "\"): a folder is created
// with its missing parents, a file is written block by block and checked against its CRC-32.
// A link at the file's name is never written through: the entry fails instead.
// With progress_bar >= 0 the bar of the job window advances in KiB; with cancel_button >= 0
// one pending event is taken before every full block and after the last one (a click on the
// button sets AppState.Cancelled, the restore timer updates the status bar). Returns 1 when
// the entry is complete and its CRC-32 matches, else 0. The stored attributes are applied
// even then; a failing file stays as far as it was written.
int32_t WriteFoundEntry(AppState& app, RestoreSource& source, const std::string& target_folder,
                        int progress_bar, int cancel_button);

// FindEntry followed by WriteFoundEntry. Clears AppState.Cancelled first; a "\" is appended
// to target_folder when missing. 0 when the entry is not in the volume.
int32_t RestoreEntry(AppState& app, RestoreSource& source, const std::string& relative_path,
                     const std::string& target_folder, int progress_bar, int cancel_button);

// Opens a restored file for writing, making its folder first unless it is made_folder
// (which then names it). A read-only file is not replaced, and a link at the name is never
// followed. 0, or the system's code for why the file cannot be written.
int OpenRestoredFile(const std::string& path, std::string& made_folder, platform::File& out);

// Makes a restored folder with its missing parents and gives it its attributes; false when
// it cannot be made.
bool MakeRestoredFolder(const std::string& path, int32_t attributes);

// Creates every missing folder of a path that begins with a drive ("C:\"); returns the
// path's size code afterwards (-2 a folder, -1 missing), or 0 for a path without a drive.
int64_t CreatePath(const std::string& path);

// The elapsed and remaining time in the status bar of the restore progress window.
void UpdateRestoreStatus(AppState& app, int progress_bar);

}  // namespace sk

#endif  // STOWKEEPER_JOBS_RESTORE_RESTORE_ENTRY_H_
