// What a job does to the file system, seen through the platform seam: the order of its calls,
// and the state a kill or a power cut at any one of them would leave.
#ifndef STOWKEEPER_TESTS_SUPPORT_FILE_SYSTEM_JOURNAL_H_
#define STOWKEEPER_TESTS_SUPPORT_FILE_SYSTEM_JOURNAL_H_

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/file_system.h"

namespace sk::testing {

// "create-new ~Backup_0001_of_X.sk.<16 digits>.part", "rename ~...part -> Backup_0001_of_X.sk":
// one line per call with file names only (the random part of a temporary name shown as
// "*"), so that tests compare whole sequences.
std::string DescribeCall(const platform::FsCallInfo& call);

// Records every call that changes the file system while it lives.
class CallRecorder {
 public:
  CallRecorder();
  ~CallRecorder();
  CallRecorder(const CallRecorder&) = delete;
  CallRecorder& operator=(const CallRecorder&) = delete;

  const std::vector<platform::FsCallInfo>& calls() const { return calls_; }
  // The calls as DescribeCall gives them, without writes and attribute changes (how many
  // there are depends on buffer sizes and on the file system).
  std::vector<std::string> Outline() const;

 private:
  std::vector<platform::FsCallInfo> calls_;
};

// Stops a job dead at its n-th call (1 = the first): that call and every later one are
// refused, as if the process had been killed there, so no clean-up of the job reaches the
// disk. A power cut goes further when Finish runs: every file written since its last flush
// is cut back to its length at that flush, and every rename, deletion and creation since the
// last flush of its folder is undone (the file systems the program runs on keep no promise
// for those).
class CrashAt {
 public:
  enum class Kind { kKill, kPowerCut };
  // stash: a folder outside the backup folder for copies of replaced and deleted files.
  CrashAt(int call_number, Kind kind, const std::string& native_stash);
  ~CrashAt();
  CrashAt(const CrashAt&) = delete;
  CrashAt& operator=(const CrashAt&) = delete;

  // Ends the observation and, for a power cut, leaves the disk as the cut would.
  void Finish();
  bool crashed() const { return crashed_; }
  int calls() const { return count_; }

 private:
  struct Undo {
    enum class What { kCreated, kRenamed, kDeleted } what;
    std::string path;      // native; the new name of a rename
    std::string previous;  // the old name of a rename
    std::string stash;     // a copy of the file a rename replaced or a deletion removed
    std::string folder;    // internal, as SyncFolder names it
  };
  struct Written {
    int64_t flushed = 0;
    bool dirty = false;
  };

  bool Take(const platform::FsCallInfo& call);
  void Journal(const platform::FsCallInfo& call);
  std::string Stash(const std::string& native);

  int stop_at_;
  Kind kind_;
  std::string stash_folder_;
  int count_ = 0;
  int stashed_ = 0;
  bool crashed_ = false;
  bool finished_ = false;
  std::map<std::string, Written> written_;  // by native path
  std::vector<Undo> undo_;
};

}  // namespace sk::testing

#endif  // STOWKEEPER_TESTS_SUPPORT_FILE_SYSTEM_JOURNAL_H_
