#include "archive/metadata_file.h"

#include <algorithm>
#include <cstring>

#include "archive/crc32.h"
#include "archive/set_names.h"
#include "archive/volume.h"

namespace sk {
namespace {

constexpr char kMagic[] = "SKMETA\r\n";
constexpr size_t kMagicSize = 8;
constexpr size_t kMetaHeaderSize = kMagicSize + 4 + 4 + 8 + 8;
constexpr size_t kTrailerSize = 4;
// Bounds of what a reader takes from a file: no writer makes more, and a damaged or hostile
// file must not make the reader allocate or loop without end.
constexpr uint64_t kMaxName = 4096;
constexpr uint64_t kMaxLinkTarget = 64 * 1024;
// The smallest an entry can be: two lengths, kind, fields, a one-byte time.
constexpr int64_t kSmallestEntry = 5;

enum Present : uint8_t {
  kOwner = 1 << 0,
  kIdentity = 1 << 1,
  kRecord = 1 << 2,
  kBirth = 1 << 3,
  kLinkTarget = 1 << 4,
};

void PutVarint(std::string& out, uint64_t value) {
  while (value >= 0x80) {
    out.push_back(static_cast<char>((value & 0x7F) | 0x80));
    value >>= 7;
  }
  out.push_back(static_cast<char>(value));
}

uint64_t ZigZag(int64_t value) {
  return (static_cast<uint64_t>(value) << 1) ^ static_cast<uint64_t>(value >> 63);
}

int64_t UnZigZag(uint64_t value) {
  return static_cast<int64_t>(value >> 1) ^ -static_cast<int64_t>(value & 1);
}

void PutFixed(std::string& out, uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>(value >> (8 * i)));
}

void PutBytes(std::string& out, const std::string& bytes) {
  PutVarint(out, bytes.size());
  out += bytes;
}

}  // namespace

std::string MetadataFileName(const std::string& set_name, int32_t generation) {
  return GenerationBaseName(set_name, generation) + kMetadataExtension;
}

// Reads a file's bytes through a buffer of its own, from where the file stands up to `end`
// bytes further.
class MetadataBytes {
 public:
  MetadataBytes(platform::File& file, int64_t end) : file_(file), end_(end) {}

  int64_t left() const { return end_ - consumed_; }

  bool Byte(uint8_t& value) {
    if (consumed_ >= end_) return false;
    if (at_ == size_ && !Fill()) return false;
    value = buffer_[at_++];
    ++consumed_;
    return true;
  }
  bool Bytes(uint64_t count, std::string& out) {
    if (count > static_cast<uint64_t>(left())) return false;
    out.resize(static_cast<size_t>(count));
    for (char& c : out) {
      uint8_t b;
      if (!Byte(b)) return false;
      c = static_cast<char>(b);
    }
    return true;
  }
  bool Varint(uint64_t& value) {
    value = 0;
    for (int shift = 0; shift < 64; shift += 7) {
      uint8_t b;
      if (!Byte(b)) return false;
      value |= static_cast<uint64_t>(b & 0x7F) << shift;
      if ((b & 0x80) == 0) return true;
    }
    return false;  // longer than any 64-bit number
  }
  bool Signed(int64_t& value) {
    uint64_t raw;
    if (!Varint(raw)) return false;
    value = UnZigZag(raw);
    return true;
  }
  bool Fixed(uint64_t& value, int bytes) {
    value = 0;
    for (int i = 0; i < bytes; ++i) {
      uint8_t b;
      if (!Byte(b)) return false;
      value |= static_cast<uint64_t>(b) << (8 * i);
    }
    return true;
  }

 private:
  bool Fill() {
    const int64_t got = file_.Read(buffer_, sizeof buffer_);
    if (got <= 0) return false;
    at_ = 0;
    size_ = static_cast<size_t>(got);
    return true;
  }

  platform::File& file_;
  const int64_t end_;
  int64_t consumed_ = 0;
  uint8_t buffer_[16 * 1024];
  size_t at_ = 0;
  size_t size_ = 0;
};

MetadataWriter::~MetadataWriter() { Abandon(); }

void MetadataWriter::Abandon() {
  if (file_.IsOpen()) file_.Close();
  if (!temporary_.empty()) platform::DeleteFile(temporary_);
  temporary_.clear();
}

void MetadataWriter::Put(const std::string& bytes) {
  crc_ = Crc32(crc_, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  if (!failed_ && !file_.Write(bytes.data(), bytes.size())) {
    failed_ = true;
    error_ = file_.error();
  }
}

bool MetadataWriter::Begin(const std::string& path, const MetadataHeader& header,
                           uint64_t entry_count) {
  path_ = path;
  announced_ = entry_count;
  temporary_ = platform::CreateTemporary(file_, path, kMetadataTemporarySuffix);
  if (temporary_.empty()) {
    error_ = file_.error();
    return false;
  }
  std::string head(kMagic, kMagicSize);
  PutFixed(head, kMetadataVersion, 4);
  PutFixed(head, header.complete ? 1 : 0, 4);
  PutFixed(head, static_cast<uint64_t>(header.scan_time_ns), 8);
  PutFixed(head, static_cast<uint64_t>(header.volume_size), 8);
  PutVarint(head, header.users.size() + header.groups.size());
  for (const auto* names : {&header.users, &header.groups}) {
    for (const auto& [id, name] : *names) {
      PutVarint(head, id);
      head.push_back(names == &header.users ? 0 : 1);
      PutBytes(head, name);
    }
  }
  PutVarint(head, entry_count);
  Put(head);
  return !failed_;
}

void MetadataWriter::Add(const EntryMeta& entry) {
  ++added_;
  const size_t shared = static_cast<size_t>(
      std::mismatch(previous_path_.begin(),
                    previous_path_.begin() + std::min(previous_path_.size(), entry.path.size()),
                    entry.path.begin())
          .first -
      previous_path_.begin());
  buffer_.clear();
  PutVarint(buffer_, shared);
  PutBytes(buffer_, entry.path.substr(shared));
  previous_path_ = entry.path;
  buffer_.push_back(static_cast<char>(entry.kind));
  const uint8_t present = (entry.has_owner ? kOwner : 0) | (entry.has_identity ? kIdentity : 0) |
                          (entry.has_record ? kRecord : 0) | (entry.has_birth ? kBirth : 0) |
                          (entry.link_target.empty() ? 0 : kLinkTarget);
  buffer_.push_back(static_cast<char>(present));
  PutVarint(buffer_, ZigZag(entry.mtime_ns));
  if (present & kOwner) {
    PutVarint(buffer_, entry.mode);
    PutVarint(buffer_, entry.uid);
    PutVarint(buffer_, entry.gid);
  }
  if (present & kIdentity) {
    PutVarint(buffer_, ZigZag(entry.size));
    PutVarint(buffer_, ZigZag(entry.ctime_ns));
    PutVarint(buffer_, entry.device);
    PutVarint(buffer_, entry.inode);
  }
  if (present & kRecord) {
    PutVarint(buffer_, ZigZag(entry.record_start));
    PutVarint(buffer_, ZigZag(entry.record_end));
    PutVarint(buffer_, ZigZag(entry.record_size));
    PutVarint(buffer_, ZigZag(entry.attributes));
    PutFixed(buffer_, entry.crc, 4);
  }
  if (present & kBirth) PutVarint(buffer_, ZigZag(entry.birth_ns));
  if (present & kLinkTarget) PutBytes(buffer_, entry.link_target);
  Put(buffer_);
}

bool MetadataWriter::Commit() {
  if (added_ != announced_ && !failed_) {
    failed_ = true;
    error_ = platform::ErrorCode(platform::ErrorCause::kInputOutput);
  }
  std::string trailer;
  PutFixed(trailer, crc_, 4);
  if (!failed_ && !file_.Write(trailer.data(), trailer.size())) {
    failed_ = true;
    error_ = file_.error();
  }
  // Committed as every file of the backup folder is: flushed to stable storage, closed,
  // renamed over its name, the folder flushed.
  if (failed_ || !file_.Sync() || !file_.Close()) {
    if (error_ == 0) error_ = file_.error();
    Abandon();
    return false;
  }
  if (!platform::CommitFile(temporary_, path_)) {
    error_ = platform::LastError();
    Abandon();
    return false;
  }
  temporary_.clear();
  return true;
}

std::optional<MetadataHeader> ReadMetadataHeader(const std::string& path) {
  platform::File file;
  uint8_t head[kMetaHeaderSize];
  if (!file.OpenRead(path) || !file.ReadExact(head, sizeof head) ||
      std::memcmp(head, kMagic, kMagicSize) != 0 || GetU32(head + kMagicSize) > kMetadataVersion) {
    return std::nullopt;
  }
  MetadataHeader header;
  header.complete = (GetU32(head + kMagicSize + 4) & 1) != 0;
  header.scan_time_ns = static_cast<int64_t>(GetU64(head + kMagicSize + 8));
  header.volume_size = static_cast<int64_t>(GetU64(head + kMagicSize + 16));
  return header;
}

MetadataReader::MetadataReader() = default;
MetadataReader::~MetadataReader() = default;

MetadataReader::Status MetadataReader::Open(const std::string& path) {
  status_ = OpenChecked(path);
  // A file that gives nothing is not held open either: on Windows an open file cannot be
  // replaced or removed.
  if (status_ != Status::kOk) {
    in_.reset();
    file_.Close();
  }
  return status_;
}

MetadataReader::Status MetadataReader::OpenChecked(const std::string& path) {
  header_ = {};
  count_ = read_ = 0;
  previous_path_.clear();
  in_.reset();
  file_.Close();
  const int64_t size = platform::FileSize(path);
  if (size == platform::kSizeMissing) return Status::kMissing;
  if (size < static_cast<int64_t>(kMetaHeaderSize + kTrailerSize) || !file_.OpenRead(path)) {
    return Status::kDamaged;
  }
  // The whole file's checksum first: a damaged file gives nothing, not a part.
  const int64_t end = size - static_cast<int64_t>(kTrailerSize);
  uint32_t crc = 0;
  {
    MetadataBytes all(file_, end);
    uint8_t chunk[4096];
    while (all.left() > 0) {
      const size_t take = static_cast<size_t>(std::min<int64_t>(all.left(), sizeof chunk));
      for (size_t i = 0; i < take; ++i) {
        if (!all.Byte(chunk[i])) return Status::kDamaged;
      }
      crc = Crc32(crc, chunk, take);
    }
  }
  uint8_t trailer[kTrailerSize];
  uint8_t head[kMetaHeaderSize];
  if (!file_.Seek(end) || !file_.ReadExact(trailer, sizeof trailer) || GetU32(trailer) != crc ||
      !file_.Seek(0) || !file_.ReadExact(head, sizeof head) ||
      std::memcmp(head, kMagic, kMagicSize) != 0) {
    return Status::kDamaged;
  }
  if (GetU32(head + kMagicSize) > kMetadataVersion) return Status::kNewer;
  header_.complete = (GetU32(head + kMagicSize + 4) & 1) != 0;
  header_.scan_time_ns = static_cast<int64_t>(GetU64(head + kMagicSize + 8));
  header_.volume_size = static_cast<int64_t>(GetU64(head + kMagicSize + 16));
  in_ = std::make_unique<MetadataBytes>(file_, end - static_cast<int64_t>(kMetaHeaderSize));
  return ReadNames() ? Status::kOk : Status::kDamaged;
}

bool MetadataReader::ReadNames() {
  MetadataBytes& in = *in_;
  uint64_t names = 0;
  if (!in.Varint(names) || names > static_cast<uint64_t>(in.left())) return false;
  for (uint64_t i = 0; i < names; ++i) {
    uint64_t id = 0, length = 0;
    uint8_t kind = 0;
    std::string name;
    if (!in.Varint(id) || id > UINT32_MAX || !in.Byte(kind) || kind > 1 || !in.Varint(length) ||
        length > kMaxName || !in.Bytes(length, name)) {
      return false;
    }
    (kind == 0 ? header_.users : header_.groups)[static_cast<uint32_t>(id)] = name;
  }
  return in.Varint(count_) && count_ <= static_cast<uint64_t>(in.left() / kSmallestEntry + 1);
}

bool MetadataReader::Next(EntryMeta& entry) {
  if (status_ != Status::kOk || read_ >= count_) return false;
  MetadataBytes& in = *in_;
  const auto damaged = [this] {
    status_ = Status::kDamaged;
    in_.reset();
    file_.Close();
    return false;
  };
  uint64_t shared = 0, rest = 0;
  std::string tail;
  if (!in.Varint(shared) || shared > previous_path_.size() || !in.Varint(rest) ||
      shared + rest > kMaxPathLine || !in.Bytes(rest, tail)) {
    return damaged();
  }
  entry = EntryMeta{};
  entry.path = previous_path_.substr(0, static_cast<size_t>(shared)) + tail;
  previous_path_ = entry.path;
  uint8_t kind = 0, present = 0;
  uint64_t value = 0;
  if (!in.Byte(kind) || kind > static_cast<uint8_t>(EntryMeta::Kind::kRemoved) ||
      !in.Byte(present) || !in.Signed(entry.mtime_ns)) {
    return damaged();
  }
  entry.kind = static_cast<EntryMeta::Kind>(kind);
  const auto id = [&](uint32_t& out) {
    if (!in.Varint(value) || value > UINT32_MAX) return false;
    out = static_cast<uint32_t>(value);
    return true;
  };
  entry.has_owner = (present & kOwner) != 0;
  if (entry.has_owner && (!id(entry.mode) || !id(entry.uid) || !id(entry.gid))) return damaged();
  entry.has_identity = (present & kIdentity) != 0;
  if (entry.has_identity && (!in.Signed(entry.size) || !in.Signed(entry.ctime_ns) ||
                             !in.Varint(entry.device) || !in.Varint(entry.inode))) {
    return damaged();
  }
  entry.has_record = (present & kRecord) != 0;
  if (entry.has_record) {
    int64_t attributes = 0;
    if (!in.Signed(entry.record_start) || !in.Signed(entry.record_end) ||
        !in.Signed(entry.record_size) || !in.Signed(attributes) || !in.Fixed(value, 4) ||
        attributes < INT32_MIN || attributes > INT32_MAX) {
      return damaged();
    }
    entry.attributes = static_cast<int32_t>(attributes);
    entry.crc = static_cast<uint32_t>(value);
  }
  entry.has_birth = (present & kBirth) != 0;
  if (entry.has_birth && !in.Signed(entry.birth_ns)) return damaged();
  if ((present & kLinkTarget) != 0 &&
      (!in.Varint(value) || value > kMaxLinkTarget || !in.Bytes(value, entry.link_target))) {
    return damaged();
  }
  ++read_;
  // The last entry must end where the trailer begins.
  if (read_ == count_ && in.left() != 0) return damaged();
  return true;
}

}  // namespace sk
