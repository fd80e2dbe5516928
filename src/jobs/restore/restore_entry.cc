#include "jobs/restore/restore_entry.h"

#include <cmath>
#include <limits>

#include "archive/crc32.h"
#include "archive/set_names.h"
#include "archive/volume.h"
#include "jobs/sets/restore_point.h"
#include "platform/file_system.h"

namespace sk {
namespace {

using platform::File;

bool IsDriveForm(const std::string& path) {
  return path.size() >= 3 && path[1] == ':' && path[2] == '\\';
}

// Records of fewer blocks are unpacked on the job's thread: handing a block to a worker and
// waiting for it costs more than unpacking it, and most files of a tree are small.
constexpr int64_t kPipelinedBlocks = 4;

// Files up to this size are read into memory and handed to the file writer, the job reading
// on meanwhile; a larger one is written by the job itself once the writer is done with the
// files before it. So the files of a tree are written without a pause in the reading, and
// memory stays bounded.
constexpr int64_t kHandedOverBytes = FileWriter::kMaxWaitingBytes / 4;

int64_t BlockCount(int64_t size) { return size / kBlockSize + (size % kBlockSize > 0 ? 1 : 0); }

// The frames of the record being restored. A large record's frames are read ahead of the
// writer (on the job's thread) and unpacked by the workers; a small one's are read and
// unpacked one at a time. Reading stops at a damaged frame or past the record's end, where
// the writer stops too. The blocks still in flight are dropped at the end.
class RecordFrames {
 public:
  RecordFrames(RestoreSource& source, int32_t workers) : source_(source) {
    left_ = BlockCount(source.reader.record.size);
    if (left_ >= kPipelinedBlocks) {
      if (!source.pipeline) source.pipeline = std::make_unique<BlockPipeline>(workers);
      pipeline_ = source.pipeline.get();
    }
  }
  ~RecordFrames() {
    if (pipeline_ != nullptr) pipeline_->Clear();
  }
  RecordFrames(const RecordFrames&) = delete;
  RecordFrames& operator=(const RecordFrames&) = delete;

  // The next block, unpacked.
  const PipelineBlock& Next() {
    if (pipeline_ == nullptr) {
      PipelineBlock& block = *source_.block;
      if (left_ <= 0) {
        block.status = -1;  // the writer asked past the record's blocks
        return block;
      }
      ReadNext(block);
      RunBlock(block, source_.codec);
      return block;
    }
    while (left_ > 0 && !pipeline_->Full()) {
      ReadNext(pipeline_->Back());
      pipeline_->Push();
    }
    return pipeline_->Front();
  }
  void Pop() {
    if (pipeline_ != nullptr) pipeline_->Pop();
  }

 private:
  void ReadNext(PipelineBlock& block) {
    VolumeReader& reader = source_.reader;
    const int64_t size = reader.record.size;
    const bool is_rest = --left_ == 0 && size % kBlockSize != 0;
    const auto nominal = static_cast<int32_t>(is_rest ? size % kBlockSize : kBlockSize);
    if (!ReadFrame(block, reader.file, reader.engine, nominal) ||
        reader.file.Tell() > reader.record.end_offset) {
      left_ = 0;
    }
  }

  RestoreSource& source_;
  BlockPipeline* pipeline_ = nullptr;
  int64_t left_ = 0;
};

// Writes a file's blocks, chaining the CRC-32. Each block must give exactly its nominal
// length and stay inside its record, so a damaged record can neither write from a stale
// buffer nor run on past its end.
class BlockWriter {
 public:
  enum class Copied { kOk, kBadBlock, kWriteFailed };

  BlockWriter(RestoreSource& source, File* out, std::vector<uint8_t>* content,
              RestoreProgress& progress)
      : head_(source.reader.record),
        frames_(source, progress.job != nullptr ? progress.job->workers : 0),
        out_(out),
        content_(content),
        progress_(progress) {}

  Copied Copy(int32_t nominal) {
    const PipelineBlock& block = frames_.Next();
    const int32_t length = block.result;
    if (block.status < 0 || length != nominal || block.tag > head_.end_offset) {
      return Copied::kBadBlock;
    }
    if (out_ == nullptr) {
      content_->insert(content_->end(), block.raw.data(), block.raw.data() + length);
    } else if (!out_->Write(block.raw.data(), static_cast<size_t>(length))) {
      return Copied::kWriteFailed;
    }
    crc_ = Crc32Combine(crc_, block.crc, length);
    frames_.Pop();
    progress_.done += length;
    if (progress_.job != nullptr) progress_.job->reporter.Progress(progress_.done);
    return Copied::kOk;
  }

  uint32_t crc() const { return crc_; }

 private:
  const VolumeRecord& head_;
  RecordFrames frames_;
  File* out_;                      // the file written, or
  std::vector<uint8_t>* content_;  // the content kept for the file writer
  RestoreProgress& progress_;
  uint32_t crc_ = 0;
};

// The blocks of the record the reader is on, into out (or content); the damage found, or
// kNone (also when cancelled, which is_complete then tells). A failed write is noted in
// source as the entry's failure.
struct BlocksWritten {
  bool complete = false;
  bool write_failed = false;
  Damage damage = Damage::kNone;
  uint32_t crc = 0;
};

BlocksWritten WriteBlocks(RestoreSource& source, File* out, std::vector<uint8_t>* content,
                          RestoreProgress& progress) {
  const VolumeRecord& head = source.reader.record;
  BlockWriter writer(source, out, content, progress);
  BlocksWritten written;
  BlockWriter::Copied copied = BlockWriter::Copied::kOk;
  for (int64_t block = head.size / kBlockSize; block > 0; --block) {
    if (progress.cancelled()) break;
    copied = writer.Copy(kBlockSize);
    if (copied != BlockWriter::Copied::kOk) break;
  }
  const auto rest = static_cast<int32_t>(head.size % kBlockSize);
  if (copied == BlockWriter::Copied::kOk && !progress.cancelled() && rest > 0) {
    copied = writer.Copy(rest);
  }
  written.crc = writer.crc();
  written.write_failed = copied == BlockWriter::Copied::kWriteFailed;
  if (copied == BlockWriter::Copied::kBadBlock) written.damage = Damage::kBadBlock;
  written.complete = copied == BlockWriter::Copied::kOk && !progress.cancelled();
  if (written.complete && written.crc != head.crc) {
    written.complete = false;
    written.damage = Damage::kCrcMismatch;
  }
  return written;
}

int32_t FailedWrite(RestoreSource& source, const std::string& path, int error) {
  source.failed_path = path;
  source.failed_error = error;
  return 0;
}

int32_t Damaged(RestoreSource& source, const std::string& path, Damage damage) {
  source.failed_path = path;
  source.failed_damage = damage;
  return 0;
}

// The failure the file writer kept, as the entry's own.
int32_t FailedEarlier(RestoreSource& source) {
  return FailedWrite(source, source.writer->failed_path(), source.writer->failed_error());
}

int32_t WriteFile(RestoreSource& source, const std::string& path, RestoreProgress& progress) {
  const VolumeRecord& head = source.reader.record;
  File out;
  const int error = OpenRestoredFile(path, source.made_folder, out);
  if (error != 0) return FailedWrite(source, path, error);
  const BlocksWritten blocks = WriteBlocks(source, &out, nullptr, progress);
  const bool closed = out.Close() && out.error() == 0;
  platform::SetAttributes(path, head.attributes);
  if (blocks.write_failed || !closed) return FailedWrite(source, path, out.error());
  if (blocks.damage != Damage::kNone) return Damaged(source, path, blocks.damage);
  return blocks.complete ? 1 : 0;
}

// Reads a file's blocks and hands the content to the file writer. A file that fails
// is handed over as far as it was read, as WriteFile leaves it, and written before the
// entry returns.
int32_t WriteFileLater(RestoreSource& source, const std::string& path, RestoreProgress& progress) {
  const VolumeRecord& head = source.reader.record;
  WriteTask task{false, path, head.attributes, {}};
  task.content.reserve(static_cast<size_t>(head.size));
  const BlocksWritten blocks = WriteBlocks(source, nullptr, &task.content, progress);
  source.writer->Write(std::move(task));
  if (blocks.complete) return 1;
  if (!source.writer->Finish()) return FailedEarlier(source);
  return blocks.damage != Damage::kNone ? Damaged(source, path, blocks.damage) : 0;
}

}  // namespace

int OpenRestoredFile(const std::string& path, std::string& made_folder, File& out) {
  // Files come folder by folder: a folder made (or found) for the last file is not looked at
  // again.
  const std::string folder = path.substr(0, path.rfind('\\') + 1);
  if (folder != made_folder) {
    made_folder = CreatePath(folder) == platform::kSizeFolder ? folder : std::string();
  }
  // Create never follows a link planted at the name, and never replaces a read-only file,
  // whoever runs the restore: the attribute is what protects an earlier restore.
  return out.Create(path) ? 0 : out.error();
}

bool MakeRestoredFolder(const std::string& path, int32_t attributes) {
  const bool made = platform::FolderExists(path) || CreatePath(path) == platform::kSizeFolder;
  if (made) platform::SetAttributes(path, attributes);
  return made;
}

int32_t OpenRestoreSource(RestoreSource& source, const std::string& path) {
  return OpenVolume(source.reader, path);
}

bool IsSafeRelativePath(const std::string& path) {
  if (path.empty() || path.front() == '\\') return false;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('\\', start);
    if (end == std::string::npos) end = path.size();
    if (path.compare(start, end - start, "..") == 0) return false;
    start = end + 1;
  }
  for (const char c : path) {
    if (c == '/' || static_cast<unsigned char>(c) < 0x20) return false;
    // On Windows a ":" names a drive or a file's stream; on Linux it is a letter like any
    // other (mail folders put one in every file name).
    if (c == ':' && platform::kBackslashSeparates) return false;
  }
  return true;
}

std::string OutputName(const std::string& stored_path) {
  const std::string name = IsDriveForm(stored_path) ? stored_path.substr(3) : stored_path;
  return IsSafeRelativePath(name) ? name : std::string();
}

bool SeekRecord(VolumeReader& reader, int64_t start, const std::string& path) {
  return ReadRecordAt(reader, start) && reader.record.path == path;
}

int32_t WriteFoundEntry(RestoreSource& source, const std::string& target_folder,
                        RestoreProgress& progress) {
  const VolumeRecord& head = source.reader.record;
  source.failed_path.clear();
  source.failed_error = 0;
  source.failed_damage = Damage::kNone;
  const std::string name = OutputName(head.path);
  if (name.empty()) return 0;
  const std::string path = target_folder + name;
  int32_t result;
  if (!source.writer) {
    result = head.IsFolder() ? (MakeRestoredFolder(path, head.attributes) ? 1 : 0)
                             : WriteFile(source, path, progress);
  } else if (head.IsFolder()) {
    source.writer->Write({true, path, head.attributes, {}});
    result = 1;
  } else if (head.size <= kHandedOverBytes) {
    result = WriteFileLater(source, path, progress);
  } else {
    // Files are written in order: a large one waits for the ones before it.
    result = source.writer->Finish() ? WriteFile(source, path, progress) : FailedEarlier(source);
  }
  // The next read starts at the next record, whatever the blocks left unread.
  source.reader.file.Seek(head.end_offset);
  return result;
}

int64_t CreatePath(const std::string& path) {
  std::string folder = path;
  if (folder.empty() || folder.back() != '\\') folder += '\\';
  const size_t root = platform::RootLength(folder);
  if (root == 0) return 0;
  // Usually only the last folder is missing: it is made at once, and the ones above it only
  // when that fails. Failures are left to the final size check: an existing folder stays.
  if (platform::FileSize(folder) == platform::kSizeMissing && !platform::CreateFolder(folder)) {
    for (size_t i = root; i < folder.size(); ++i) {
      if (folder[i] == '\\') platform::CreateFolder(folder.substr(0, i + 1));
    }
  }
  return platform::FileSize(folder);
}

}  // namespace sk
