// The file system, clock and environment as the rest of the program sees them.
//
// Every path here is in the program's internal form: a drive root, "\" separators, folders
// ending in "\" (Z:\home\ann\Data\ is /home/ann/Data/ on Linux). The backends convert to
// native paths only at the system call. Results follow the program's conventions: sizes
// are >= 0, -1 for a missing path and -2 for a folder; every other call reports success.
#ifndef STOWKEEPER_PLATFORM_FILE_SYSTEM_H_
#define STOWKEEPER_PLATFORM_FILE_SYSTEM_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/entry_meta.h"

// <windows.h> makes DeleteFile a macro for DeleteFileA; this header's own DeleteFile must
// keep its name in every file that includes both.
#ifdef DeleteFile
#undef DeleteFile
#endif

namespace sk::platform {

// Attribute bits as the volume format stores them.
inline constexpr int32_t kAttrReadOnly = 0x1;
inline constexpr int32_t kAttrHidden = 0x2;
inline constexpr int32_t kAttrSystem = 0x4;
inline constexpr int32_t kAttrFolder = 0x10;
inline constexpr int32_t kAttrArchive = 0x20;
inline constexpr int32_t kAttrNormal = 0x80;

inline constexpr int64_t kSizeMissing = -1;
inline constexpr int64_t kSizeFolder = -2;

// Path form conversion. NativePath returns "" for a path the system cannot name (another
// drive, a relative path, a NUL, which would cut the name short at the system call);
// InternalPath makes a relative native path absolute first. On Windows the internal form is
// the native one, so both only check and complete paths. On Linux, where "/" is never part
// of a name, a "/" in an internal path stands for a "\" inside a name, which the internal
// form could not tell from a separator (only a name a backup cannot hold has one).
std::string NativePath(const std::string& internal_path);
// A path as the user knows it: the system's own form, or the internal form for a path the
// system cannot name.
inline std::string ShownPath(const std::string& internal_path) {
  const std::string native = NativePath(internal_path);
  return native.empty() ? internal_path : native;
}
std::string InternalPath(const std::string& native_path);

// The length of a path's root: 3 for a drive ("C:\"), the whole "\\server\share\" for a
// network path (the share is the root: nothing above it can be listed or written); 0 for a
// path with neither. Device paths ("\\?\", "\\.\") have no root the program can use.
inline size_t RootLength(const std::string& path) {
  const char drive = path.empty() ? '\0' : path[0];
  if (path.size() >= 3 && ((drive >= 'A' && drive <= 'Z') || (drive >= 'a' && drive <= 'z')) &&
      path[1] == ':' && path[2] == '\\') {
    return 3;
  }
  if (path.size() < 5 || path[0] != '\\' || path[1] != '\\') return 0;
  const size_t server_end = path.find('\\', 2);
  if (server_end == std::string::npos || server_end == 2) return 0;
  const std::string server = path.substr(2, server_end - 2);
  if (server == "?" || server == "." || server.find_first_of(":/") != std::string::npos) return 0;
  const size_t share_end = path.find('\\', server_end + 1);
  const size_t share_length =
      (share_end == std::string::npos ? path.size() : share_end) - (server_end + 1);
  if (share_length == 0 ||
      path.substr(server_end + 1, share_length).find_first_of(":/") != std::string::npos) {
    return 0;
  }
  return share_end == std::string::npos ? path.size() : share_end + 1;
}

// Whether "\" separates folders in the system's own paths (Windows), or may be part of a
// name (Linux), where the internal form could not tell it from a separator.
// Whether the system's names match without regard to letter case (Windows).
#ifdef _WIN32
inline constexpr bool kBackslashSeparates = true;
inline constexpr bool kNamesIgnoreCase = true;
#else
inline constexpr bool kBackslashSeparates = false;
inline constexpr bool kNamesIgnoreCase = false;
#endif

// Text in the encoding the system's names and windows use: UTF-8 on Linux (unchanged), the
// ANSI code page on Windows. Text that is not valid UTF-8 is returned unchanged, as it is
// taken to be in the system's encoding already.
std::string SystemTextFromUtf8(const std::string& utf8);

int64_t FileSize(const std::string& path);
// Whether two paths of the same form name the same entry by the file system's rule of
// letter case: exactly on Linux, without regard to case (ASCII letters) on Windows.
bool SameEntryName(const std::string& a, const std::string& b);
// The entry's attributes, or -1 when it does not exist.
int32_t GetAttributes(const std::string& path);
// FileSize and GetAttributes of one entry, from one look at it.
struct EntryMeasure {
  int64_t size;
  int32_t attributes;
};
EntryMeasure MeasureEntry(const std::string& path);
// Changes the file's own attributes; a link at path is left as it is, never followed.
bool SetAttributes(const std::string& path, int32_t attributes);
bool DeleteFile(const std::string& path);
bool RenameFile(const std::string& from, const std::string& to);  // replaces `to`
// Makes the names in a folder (files created, renamed or deleted there) durable, as a file's
// Sync does its content. Nothing to do on Windows, where a rename is written through.
bool SyncFolder(const std::string& folder);
bool CreateFolder(const std::string& path);
bool FolderExists(const std::string& path);
// Free bytes on the volume that holds path, or -1 when that cannot be told.
int64_t FreeSpace(const std::string& path);

// One entry of a folder listing.
struct FolderEntry {
  enum class Kind {
    kFile,     // a regular file, or (Links::kFollowToFiles) a link to one
    kFolder,   // a real folder; links to folders are never listed as folders
    kLink,     // a symbolic link (Links::kKeep), whatever it leads to; never followed
    kSkipped,  // sockets, FIFOs, devices; links that are neither kFile nor kLink
    kBadName,  // a name a backup cannot hold: "\", ":" or a control byte in it
  };
  std::string name;
  Kind kind = Kind::kFile;
  int32_t attributes = 0;
  int64_t size = 0;
  int64_t creation_time = 0;  // seconds since 1970, UTC
  EntryStat stat;             // of the entry itself (a link's own): kFile, kFolder, kLink
  std::string link_target;    // kLink: the target as the system keeps it
};

// How a listing takes symbolic links: as the files they lead to (links to anything else are
// kSkipped), or as links of their own (the scan of a source tree, where the system's links
// can be kept; on Windows they stay as with kFollowToFiles).
enum class Links { kFollowToFiles, kKeep };

// Lists a folder in the order the system returns it, without "." and "..". False when the
// folder cannot be opened.
bool ListFolder(const std::string& folder, std::vector<FolderEntry>& entries,
                Links links = Links::kFollowToFiles);

// Creation time of a file in seconds since 1970 (birth time where the file system keeps
// one, else the modification time); -1 when it cannot be told.
int64_t CreationTime(const std::string& path);

// "%dd.%mm.%yyyy / %hh:%ii" in local time.
std::string LocalTimeText(int64_t seconds);
// A moment in seconds since 1970 as the local calendar and clock tell it; false when the
// system cannot tell.
struct CalendarTime {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};
bool LocalCalendarTime(int64_t seconds, CalendarTime& time);

// Milliseconds from an arbitrary start; wraps like a 32-bit tick counter.
uint32_t TickCount();

// Environment and user.
std::string EnvironmentValue(const std::string& name);
// The low byte of the user's language id: 7 German, 12 French, 10 Spanish, 9 English...
int32_t UserLanguage();
// Folder of the running executable, internal form, ending in "\".
std::string ProgramFolder();
// The user's folder for the program's settings, internal form, ending in "\": on Linux
// $XDG_CONFIG_HOME/Stowkeeper/ (else ~/.config/Stowkeeper/), on Windows Vista and later
// %APPDATA%\Stowkeeper\ as the system names it. "" where the settings belong beside the
// program: Windows before Vista, or no usable home or APPDATA folder.
std::string UserSettingsFolder();

// A test seam: every call that changes the file system, announced before it is made. An
// observer that returns false refuses the call, which then fails as if the system had
// refused it; so a test can record the order of a job's calls or stop the job dead at any
// one of them. Paths are internal; `to` is the new name of a rename.
enum class FsCall {
  kCreate,     // File::Create
  kCreateNew,  // File::CreateNew
  kWrite,      // the buffered bytes of a File go to the system, or a File is cut short
  kSync,       // File::Sync, after its buffer is written
  kRename,
  kDelete,
  kSyncFolder,
  kSetAttributes,
  kCreateFolder,
};
struct FsCallInfo {
  FsCall call;
  std::string path;
  std::string to;
};
using FsObserver = std::function<bool(const FsCallInfo&)>;
// An empty observer ends the observation.
void ObserveFileSystem(FsObserver observer);

class EarlySync;

// What tells that a file changed since it was last looked at: its size and its modification
// and change times (the change time where the system keeps one, else 0).
struct FileStamp {
  int64_t size = 0;
  int64_t mtime_ns = 0;
  int64_t ctime_ns = 0;
  friend bool operator==(const FileStamp&, const FileStamp&) = default;
};

// An open file. Reads and writes go through a buffer; Seek, Flush and Close write it out.
// Every call reports failure, and a File that failed once keeps failing.
class File {
 public:
  File();
  ~File();
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;

  bool OpenRead(const std::string& path);  // regular files only; never blocks on a FIFO
  // OpenRead that also measures the file, as MeasureEntry would, where the system tells it
  // with the open file; where it does not (or the open fails), measure.size is kSizeMissing.
  bool OpenRead(const std::string& path, EntryMeasure& measure);
  // Creates or truncates a regular file for writing. A link at the name is never followed
  // (the call fails), and nothing but a regular file is ever cut; a read-only one is not
  // either, whoever runs the program (the call fails with ErrorCause::kDenied).
  bool Create(const std::string& path);
  // Creates a file that does not exist yet; fails when anything is at the name, a link or a
  // dangling link included, so that nothing can be written through a name planted before.
  bool CreateNew(const std::string& path);
  bool IsOpen() const { return fd_ != kClosed; }
  const std::string& path() const { return path_; }

  // Reads up to size bytes; returns how many were read (less only at the end of the file),
  // or -1 on an error.
  int64_t Read(void* data, size_t size);
  // Reads exactly size bytes; false on an error or a short read.
  bool ReadExact(void* data, size_t size);
  bool Write(const void* data, size_t size);
  // Writes over size bytes written before, from offset on, and leaves the position where it
  // is. Bytes still in the buffer are changed there, without a system call.
  bool Overwrite(int64_t offset, const void* data, size_t size);
  bool Seek(int64_t offset);
  int64_t Tell() const;
  int64_t Size();
  bool AtEnd();
  // The open file's stamp as it is now, whatever name it has by then.
  bool Stamp(FileStamp& stamp);
  // Cuts a file being written at offset (at most the position), which becomes the position:
  // what was written after it is gone, as if it had never been written.
  bool Truncate(int64_t offset);
  bool Flush();
  // Writes the buffer out and waits until the system has the content on stable storage.
  bool Sync();
  bool Close();
  // The system's code of the first failure of this file (0 when none); ErrorText tells it.
  int error() const { return error_; }

 private:
  // Reads the next part of the file into the buffer; at: the file's offset it begins at.
  bool FillBuffer(int64_t at);
  bool FlushBuffer();
  // Has the part handed to the write-back synced in the background (see EarlySync).
  void SyncEarly();
  // Waits for the background sync and ends it; the error code of its failure, or 0.
  int FinishEarlySync();
  // Opens for writing when creation names the call that creates the file.
  template <typename Opener>
  bool Open(const std::string& path, Opener open, std::optional<FsCall> creation);
  bool Fail();

  // A file descriptor on POSIX, a HANDLE on Windows (whose INVALID_HANDLE_VALUE is -1 too).
  static constexpr intptr_t kClosed = -1;
  intptr_t fd_ = kClosed;
  std::string path_;
  int error_ = 0;
  bool failed_ = false;
  bool writing_ = false;
  int64_t position_ = 0;  // the logical position seen by the caller
  // A file created new (a file being committed, synced before its rename): the part up to
  // here has been handed to the system's write-back. -1 for other files.
  int64_t written_back_ = -1;
  std::unique_ptr<EarlySync> early_sync_;
  // Left uninitialised: a job opens thousands of files, and zero-filling 64 KiB for each
  // costs more than reading a small one.
  std::unique_ptr<uint8_t[]> buffer_;
  size_t buffer_start_ = 0;  // read mode: next unread byte in buffer_
  size_t buffer_end_ = 0;    // read mode: bytes valid in buffer_; write mode: bytes pending
};

// Creates a new file beside final_path under a name no one can guess or plant a link at in
// advance: "~" + final_path's name + "." + 16 random hexadecimal digits + suffix, made with
// CreateNew. Returns that path with the file open for writing, or "" when no name could be
// created (file.error() tells why).
std::string CreateTemporary(File& file, const std::string& final_path, const std::string& suffix);

// Whether file_name is a temporary name CreateTemporary gives for final_name (a file name
// without folder) and suffix, or the same without the random part, as older programs named
// them. Letter case counts as the system counts it.
bool IsTemporaryName(const std::string& file_name, const std::string& final_name,
                     const std::string& suffix);

// Puts a complete temporary file in place: renames it over final_path (a file there is
// replaced in one step) and flushes the folder, so that the new name survives a power cut.
// The file must be flushed (File::Sync) and closed before.
bool CommitFile(const std::string& temporary_path, const std::string& final_path);

// A whole file written as every file the program keeps is: under CreateTemporary's name
// (with suffix), flushed to stable storage, closed, put in place with CommitFile. A crash or
// a failed step leaves the old file or the new one, never a part; the temporary name goes
// again after a failure. False when any step failed (LastError tells why).
bool WriteFileCommitted(const std::string& path, const std::string& text,
                        const std::string& suffix);

// Why the last failing call of this thread failed: the system's code, and its text in the
// system's words ("No space left on device", "Permission denied"...).
int LastError();
std::string ErrorText(int code);
// The system's code for a cause the program tells of itself.
enum class ErrorCause { kDiskFull, kMissing, kDenied, kInputOutput, kExists, kIsLink };
int ErrorCode(ErrorCause cause);

// A test seam: makes the n-th next call (1 = the very next) of an operation on one file or
// folder fail, as a full disk or a vanished file would. The target names the entry by its
// last path components ("b.txt", "Docs\\c"; "/" counts as "\\"); a temporary file of the
// target (CreateTemporary's "~" + name + ".") is the target too. Calls on other entries
// pass and are not counted, so a fault meant for one file hits that file whichever thread
// reaches it first. One fault per operation is armed at a time; n = 0 clears it. kList makes
// a folder unlistable, which permissions cannot do for a test run as root.
enum class FaultOp { kOpen, kRead, kWrite, kRename, kList, kCount };
void InjectFault(FaultOp op, const std::string& target, int n = 1);
// A test seam of the same aim: runs action, on the thread that makes the call, just before
// the system is asked to open the file target names (FaultOp::kOpen) or to read the part of
// it that holds the byte at offset (FaultOp::kRead; offset within the file), so that a test
// can change, cut or remove a file at an exact point of a job's reading. Each opening that
// reads that far counts once; the action runs in the next `times` of them. One action per
// operation is armed at a time; ClearFaults disarms it too.
void InjectAction(FaultOp op, const std::string& target, std::function<void()> action,
                  int times = 1, int64_t offset = 0);
void ClearFaults();

}  // namespace sk::platform

#endif  // STOWKEEPER_PLATFORM_FILE_SYSTEM_H_
