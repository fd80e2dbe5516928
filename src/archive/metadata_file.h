// The metadata file of a restore point: what the volume format has no room for, kept beside
// the point's volume and index as "Backup_" kkkk "_of_" set name ".meta". The lists of the
// backup folder take only ".sk" and ".ini" files, so every reader of the format passes it
// over; it is written before the file that commits its point, so no committed point lacks it.
//
// For each entry it holds what the system says of it (the kind, permission bits, owner and
// group, modification time, a link's target) and what the scan that made the point saw of
// it (size, change time, device and inode), which lets the next update tell an unchanged
// file without reading it. The main volume's file lists every entry of the point, links
// included, each file and folder with where its record lies and its CRC-32, so that what a
// set holds is known without reading its volumes. An update's file lists only what differs
// from the main volume's file: entries added or changed, entries whose metadata changed,
// entries removed (kind kRemoved), each stored record of its own volume.
//
//   magic       8 bytes  "SKMETA" CR LF (CR LF: a copy in text mode breaks it at once)
//   version     uint32   kMetadataVersion; a reader refuses a newer one
//   flags       uint32   bit 0: complete (a main volume's file)
//   scan time   int64    when the scan of the point began, nanoseconds since 1970 (UTC)
//   volume size int64    the size of the point's own volume as written, -1 when it has none:
//                        a main volume replaced after its file was written is told by it
//   names       varint count, then each: varint id, byte kind (0 user, 1 group),
//               varint length, the name's bytes
//   entries     varint count, then each:
//                 varint  bytes shared with the previous entry's path
//                 varint  length of the rest, then its bytes
//                 byte    kind (0 file, 1 folder, 2 link, 3 removed)
//                 byte    fields present: bit 0 owner (mode, uid, gid), bit 1 scan identity
//                         (size, change time, device, inode), bit 2 record (start, end
//                         offset, size, attributes, CRC-32), bit 3 birth time, bit 4 link
//                         target
//                 zigzag  modification time (ns)
//                 then each present group in bit order: varints (signed ones zigzag),
//                 the CRC-32 as 4 bytes, the link target as varint length and bytes
//   trailer     uint32   CRC-32 of every byte before it
// All fixed numbers are little-endian; varints are unsigned LEB128.
#ifndef STOWKEEPER_ARCHIVE_METADATA_FILE_H_
#define STOWKEEPER_ARCHIVE_METADATA_FILE_H_

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/file_system.h"

namespace sk {

inline constexpr uint32_t kMetadataVersion = 1;
inline constexpr char kMetadataExtension[] = ".meta";
// The suffix of a metadata file's temporary name while it is written.
inline constexpr char kMetadataTemporarySuffix[] = ".part";

// "Backup_" kkkk "_of_" set_name ".meta".
std::string MetadataFileName(const std::string& set_name, int32_t generation);

struct MetadataHeader;
// The fixed part of a metadata file's header (no names), without the check of the whole
// file: for what is shown of many points at once, such as their dates. nullopt when the
// file is missing, too short, of another kind or of a newer version.
std::optional<MetadataHeader> ReadMetadataHeader(const std::string& path);

struct EntryMeta {
  enum class Kind : uint8_t { kFile = 0, kFolder = 1, kLink = 2, kRemoved = 3 };

  std::string path;  // the record path, below the source folder's parent; folders end in "\"
  Kind kind = Kind::kFile;
  int64_t mtime_ns = 0;  // modification time (Windows: last write)

  bool has_owner = false;  // the POSIX fields below are known
  uint32_t mode = 0;       // permission, set-id and sticky bits (07777)
  uint32_t uid = 0, gid = 0;

  bool has_identity = false;  // the scan's view of the entry, for the next update
  int64_t size = 0;
  int64_t ctime_ns = 0;  // POSIX change time (Windows: 0)
  uint64_t device = 0;   // Windows: the volume's serial number
  uint64_t inode = 0;    // Windows: the file index

  // The volume record that holds the entry's version at the point (in the main volume, or
  // in the update volume its index names): its offsets and fixed fields.
  bool has_record = false;
  int64_t record_start = 0;
  int64_t record_end = 0;
  int64_t record_size = 0;
  int32_t attributes = 0;
  uint32_t crc = 0;

  bool has_birth = false;  // Windows creation time
  int64_t birth_ns = 0;

  std::string link_target;  // a link's target, as the system's bytes

  friend bool operator==(const EntryMeta&, const EntryMeta&) = default;
};

struct MetadataHeader {
  bool complete = false;  // a main volume's file: every entry of the point
  int64_t scan_time_ns = 0;
  int64_t volume_size = -1;
  std::map<uint32_t, std::string> users;   // uid -> name, for the uids the entries use
  std::map<uint32_t, std::string> groups;  // gid -> name
};

// Writes a metadata file as every committed file is written: under a temporary name in the
// backup folder, flushed to stable storage, renamed into place, the folder flushed. Entries
// come in the order they are to be read (the volume's, by path).
class MetadataWriter {
 public:
  MetadataWriter() = default;
  ~MetadataWriter();
  MetadataWriter(const MetadataWriter&) = delete;
  MetadataWriter& operator=(const MetadataWriter&) = delete;

  // Starts the file for path; false when it cannot be made (error() tells why).
  bool Begin(const std::string& path, const MetadataHeader& header, uint64_t entry_count);
  void Add(const EntryMeta& entry);
  // Ends it and puts it in place. False when a write failed or fewer or more entries came
  // than Begin announced; nothing is left behind then.
  bool Commit();
  int error() const { return error_; }
  const std::string& path() const { return path_; }

 private:
  void Put(const std::string& bytes);
  void Abandon();

  platform::File file_;
  std::string path_;
  std::string temporary_;
  std::string buffer_;
  std::string previous_path_;
  uint32_t crc_ = 0;
  uint64_t announced_ = 0;
  uint64_t added_ = 0;
  int error_ = 0;
  bool failed_ = false;
};

class MetadataBytes;

// Reads a metadata file: the whole file's checksum first, then the entries one at a time.
class MetadataReader {
 public:
  MetadataReader();
  ~MetadataReader();
  MetadataReader(const MetadataReader&) = delete;
  MetadataReader& operator=(const MetadataReader&) = delete;

  enum class Status {
    kOk,
    kMissing,  // no such file
    kDamaged,  // cut, altered, or not a metadata file
    kNewer,    // of a version this program does not know
  };

  // Opens path and checks it whole; anything but kOk leaves nothing to read.
  Status Open(const std::string& path);
  const MetadataHeader& header() const { return header_; }
  uint64_t count() const { return count_; }
  // The next entry; false at the end (and when the file turns out damaged: status()).
  bool Next(EntryMeta& entry);
  Status status() const { return status_; }

 private:
  Status OpenChecked(const std::string& path);
  bool ReadNames();

  platform::File file_;
  std::unique_ptr<MetadataBytes> in_;  // the bytes after the header, up to the trailer
  MetadataHeader header_;
  uint64_t count_ = 0;
  uint64_t read_ = 0;
  std::string previous_path_;
  Status status_ = Status::kMissing;
};

}  // namespace sk

#endif  // STOWKEEPER_ARCHIVE_METADATA_FILE_H_
