// The lock that keeps two runs from writing one backup set at the same time.
//
// Every job that writes or deletes files of a set (create, update, delete) holds the set's
// lock file in the backup folder while it works: "Lock_of_" set name ".lock", which no list
// shows and no clean-up of a set takes for one of its volumes. The file names the process
// that holds it (its id and the computer's name) and a random token of this hold. It is
// created exclusively, so of two runs only one gets it; the other finds it and stops. A lock
// whose process is gone (same computer, no process of that id, or this very process when
// none of its jobs holds it) is taken over; one of another computer, or of a process that
// still runs, never is.
#ifndef STOWKEEPER_JOBS_SETS_SET_LOCK_H_
#define STOWKEEPER_JOBS_SETS_SET_LOCK_H_

#include <cstdint>
#include <string>

namespace sk {

// "Lock_of_" set_name ".lock".
std::string LockFileName(const std::string& set_name);

// Who holds a lock, as its file says.
struct LockHolder {
  int64_t process_id = 0;
  std::string host;
  std::string token;
};

class SetLock {
 public:
  enum class Outcome { kTaken, kHeld, kFailed };

  SetLock() = default;
  ~SetLock() { Release(); }
  SetLock(const SetLock&) = delete;
  SetLock& operator=(const SetLock&) = delete;

  // Takes the lock of set_name in backup_folder (ending in "\"). kHeld: another run that
  // still runs holds it (holder() names it); kFailed: the file could not be made (error()
  // tells why).
  Outcome Take(const std::string& backup_folder, const std::string& set_name);
  const LockHolder& holder() const { return holder_; }
  int error() const { return error_; }
  const std::string& path() const { return path_; }
  bool Held() const { return held_; }
  // Removes the file if it is still this hold's; called on every way out of a job.
  void Release();

 private:
  Outcome TryCreate(const std::string& content);
  bool TakeOverStale(const LockHolder& stale);

  std::string path_;
  std::string folder_;
  LockHolder own_;
  LockHolder holder_;
  int error_ = 0;
  bool held_ = false;
};

}  // namespace sk

#endif  // STOWKEEPER_JOBS_SETS_SET_LOCK_H_
