#include "jobs/restore/restore_entry.h"

#include <algorithm>
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
// buffer nor run on past its end. A block whose frame reads whole but whose bytes do not
// unpack to its length still takes its place, as zeros after what it gave, so that a damaged
// file's copy holds the blocks after it where they belong.
class BlockWriter {
 public:
  enum class Copied {
    kOk,
    kBadBlock,  // written in its place; the blocks after it can still be read
    kBadFrame,  // the frame itself is damaged, or runs past the record: nothing after it
    kWriteFailed,
  };

  BlockWriter(RestoreSource& source, File* out, std::vector<uint8_t>* content,
              RestoreProgress& progress)
      : head_(source.reader.record),
        frames_(source, progress.job != nullptr ? progress.job->workers : 0),
        out_(out),
        content_(content),
        progress_(progress) {}

  Copied Copy(int32_t nominal) {
    const PipelineBlock& block = frames_.Next();
    if (block.status < 0 || block.tag > head_.end_offset) return Copied::kBadFrame;
    const int32_t length = block.result;
    const uint8_t* bytes = block.raw.data();
    if (length != nominal) {
      filler_.assign(bytes, bytes + std::clamp(length, 0, nominal));
      filler_.resize(static_cast<size_t>(nominal), 0);
      bytes = filler_.data();
    }
    if (out_ == nullptr) {
      content_->insert(content_->end(), bytes, bytes + nominal);
    } else if (!out_->Write(bytes, static_cast<size_t>(nominal))) {
      return Copied::kWriteFailed;
    }
    if (length == nominal) crc_ = Crc32Combine(crc_, block.crc, length);
    frames_.Pop();
    progress_.done += nominal;
    if (progress_.job != nullptr) progress_.job->reporter.Progress(progress_.done);
    return length == nominal ? Copied::kOk : Copied::kBadBlock;
  }

  uint32_t crc() const { return crc_; }

 private:
  const VolumeRecord& head_;
  RecordFrames frames_;
  File* out_;                      // the file written, or
  std::vector<uint8_t>* content_;  // the content kept for the file writer
  RestoreProgress& progress_;
  std::vector<uint8_t> filler_;  // a block that did not unpack to its length
  uint32_t crc_ = 0;
};

// The blocks of the record the reader is on, into out (or content): complete and checked,
// or the damage found (kNone also when cancelled, which complete then tells), or a write
// that failed.
struct BlocksWritten {
  bool complete = false;
  bool write_failed = false;
  Damage damage = Damage::kNone;
};

BlocksWritten WriteBlocks(RestoreSource& source, File* out, std::vector<uint8_t>* content,
                          RestoreProgress& progress) {
  const VolumeRecord& head = source.reader.record;
  BlockWriter writer(source, out, content, progress);
  BlocksWritten written;
  const auto rest = static_cast<int32_t>(head.size % kBlockSize);
  const int64_t blocks = head.size / kBlockSize + (rest > 0 ? 1 : 0);
  BlockWriter::Copied copied = BlockWriter::Copied::kOk;
  for (int64_t block = 0; block < blocks && !progress.cancelled(); ++block) {
    copied = writer.Copy(block + 1 == blocks && rest > 0 ? rest : kBlockSize);
    if (copied == BlockWriter::Copied::kBadBlock) written.damage = Damage::kBadBlock;
    if (copied == BlockWriter::Copied::kBadFrame) written.damage = Damage::kBadBlock;
    if (copied == BlockWriter::Copied::kBadFrame || copied == BlockWriter::Copied::kWriteFailed) {
      break;
    }
  }
  written.write_failed = copied == BlockWriter::Copied::kWriteFailed;
  if (written.write_failed || progress.cancelled()) return written;
  if (written.damage == Damage::kNone && writer.crc() != head.crc) {
    written.damage = Damage::kCrcMismatch;
  }
  written.complete = written.damage == Damage::kNone;
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

// Writes a file's blocks through a RestoredFile, on the job's thread.
int32_t WriteFile(RestoreSource& source, const std::string& path, RestoreProgress& progress) {
  const VolumeRecord& head = source.reader.record;
  RestoredFile file;
  const int error = file.Open(path, source.made_folder);
  if (error != 0) return FailedWrite(source, path, error);
  const BlocksWritten blocks = WriteBlocks(source, &file.out(), nullptr, progress);
  if (blocks.write_failed) return FailedWrite(source, path, file.out().error());
  if (blocks.damage != Damage::kNone) {
    file.KeepDamaged();
    return Damaged(source, path, blocks.damage);
  }
  if (!blocks.complete) return 0;  // cancelled: the name stays as it was
  const int committed = file.Commit(head.attributes);
  return committed == 0 ? 1 : FailedWrite(source, path, committed);
}

// Reads a file's blocks and hands the content to the file writer: whole and checked, or as a
// damaged copy. A cancelled file is not handed over.
int32_t WriteFileLater(RestoreSource& source, const std::string& path, RestoreProgress& progress) {
  const VolumeRecord& head = source.reader.record;
  WriteTask task{false, path, head.attributes, {}, false};
  task.content.reserve(static_cast<size_t>(head.size));
  const BlocksWritten blocks = WriteBlocks(source, nullptr, &task.content, progress);
  task.damaged = blocks.damage != Damage::kNone;
  if (blocks.complete || (task.damaged && !task.content.empty())) {
    source.writer->Write(std::move(task));
  }
  if (blocks.complete) return 1;
  return blocks.damage != Damage::kNone ? Damaged(source, path, blocks.damage) : 0;
}

}  // namespace

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
