// The one interface between a job and whoever started it: the desktop, the console, a
// script's JSON, a test.
//
// A job (create, update, restore, verify, read a restore point, delete) takes what it needs
// as values, a reporter and a cancel token, and returns a JobResult. It tells the reporter
// when a stage begins (what, and how much there is), how far it is, asks it questions, names
// the problems it meets on the way, and ends. It calls no window or message function and
// knows no pixel and no text: the reporters of the shell turn the same calls into windows, a
// progress line or JSON, each in its own words.
//
// Cancel is a token the job polls: a reporter (a click on Cancel, Ctrl-C, a signal) or any
// other thread sets it, and the job stops at its next check, leaving nothing half-written.
#ifndef STOWKEEPER_JOBS_JOB_H_
#define STOWKEEPER_JOBS_JOB_H_

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sk {

class CancelToken {
 public:
  void Cancel() { cancelled_.store(true, std::memory_order_relaxed); }
  bool cancelled() const { return cancelled_.load(std::memory_order_relaxed); }

 private:
  std::atomic<bool> cancelled_{false};
};

// What a stage of a job does. Each job goes through its stages in this order, leaving out
// those it has none of.
enum class Stage {
  kScanning,   // the source tree is read (total 0; progress: entries found)
  kComparing,  // an update compares the tree with the set (total and progress: stored files)
  kPacking,    // a volume is written (total and progress: bytes of file content)
  kReading,    // a restore point is read from the backup folder (total and progress:
               // the additions its index names)
  kRestoring,  // files are written back (total and progress: bytes of file content)
  kVerifying,  // a volume is checked (total and progress: bytes of the volume)
};

enum class Answer { kYes, kNo, kCancel };

struct Question {
  enum class Kind {
    kReplaceSet,   // the set of `path` (a source folder) exists: replace it? Yes, No
    kReplaceFile,  // the file `path` exists in the target: replace it? Yes, No, Cancel
    kDeletePoint,  // delete `generation`, the latest point of the set `set_name`? Yes, No
    // The set of `path` is gone with its last point: remove its schedule too? Yes, No. (The
    // shell asks it after the delete job, through the same reporter.)
    kRemoveSchedule,
  };
  Kind kind = Kind::kReplaceSet;
  std::string path;  // internal form
  std::string set_name;
  int32_t generation = 0;
};

// What a check found wrong with stored content.
enum class Damage {
  kNone,
  kMissing,      // no volume file
  kBadHeader,    // too short for a header, unreadable, or a header no volume has
  kCutShort,     // a record or block runs past the end of the file, or a record is garbled
  kBadBlock,     // a block does not unpack to its length, or overruns its record
  kCrcMismatch,  // the entry's content differs from its stored CRC-32
};

// One thing that went wrong: the reporters word it ("Permission denied", "a block of
// Letters/a.txt does not unpack").
struct Problem {
  enum class Kind {
    kCannotRead,   // an entry, or a file of the backup folder, could not be read (error)
    kCannotWrite,  // a file could not be written, made or removed (error)
    kBadName,      // the entry's name cannot be stored in a backup
    kNotStored,    // a link or special file a backup has no room for: left out
    kDamaged,      // stored content is damaged (damage)
    kUnsafePath,   // a stored path that would lead out of the target folder
    kNoPoint,      // the restore point is missing or cannot be read (path: its file)
    kSetLocked,    // another run writes the set (path: its lock file; holder)
    kBadSource,    // no backup set can be named after this folder
    kFull,         // the set has as many restore points as names have room for
    // A restore point's metadata file (path) is missing, damaged or of a newer program: the
    // permissions, owners, times and links it would give are not restored.
    kNoMetadata,
  };
  Kind kind = Kind::kCannotRead;
  std::string path;  // the entry or file it is about, internal form; "" for none
  int error = 0;     // the system's code for why; 0 when the system gave none
  Damage damage = Damage::kNone;
  // kSetLocked: who holds the set.
  int64_t holder_process = 0;
  std::string holder_host;
};

enum class Outcome {
  kDone,              // ran to its end
  kDoneWithProblems,  // ran to its end, and named what it left out or could not do
  kFailed,            // stopped at a failure (JobResult::failure), or found damage
  kCancelled,         // stopped by the token, or by the answer Cancel
};

// What a job did. Jobs with more to tell return a struct derived from this one.
struct JobResult {
  Outcome outcome = Outcome::kDone;
  // What stopped the job, when it failed.
  std::optional<Problem> failure;
  // What was named on the way: entries left out, files that could not be done.
  std::vector<Problem> problems;
  // The user answered No to replacing an existing set: nothing was written.
  bool kept = false;

  // The restore point written or acted on; -1 for none.
  int32_t point = -1;
  int64_t files = 0;    // files the job stored, restored or checked
  int64_t folders = 0;  // folders the same
  // An update's differences from the main volume.
  int64_t added = 0, changed = 0, removed = 0;
  int64_t bytes_read = 0;     // of file content
  int64_t bytes_written = 0;  // of the files the job made

  bool ok() const { return outcome == Outcome::kDone || outcome == Outcome::kDoneWithProblems; }
};

class JobReporter {
 public:
  virtual ~JobReporter() = default;
  // A stage begins: what it does and how much there is, in the stage's units (0: unknown).
  virtual void Begin(Stage stage, int64_t total) = 0;
  // How far the stage is, in its units. Called often (per block) and cheap: it is also the
  // job's sign of life, where a reporter may take its window's events and cancel.
  virtual void Progress(int64_t done) = 0;
  // The answer to a question.
  virtual Answer Ask(const Question& question) = 0;
  // Something the job leaves out or could not do, while it goes on.
  virtual void AddProblem(const Problem& problem) = 0;
  // The job ends with this result (its last call to the reporter).
  virtual void End(const JobResult& result) = 0;
};

// A reporter for a job nobody watches: it answers No and tells nobody anything.
class SilentReporter : public JobReporter {
 public:
  void Begin(Stage, int64_t) override {}
  void Progress(int64_t) override {}
  Answer Ask(const Question&) override { return Answer::kNo; }
  void AddProblem(const Problem&) override {}
  void End(const JobResult&) override {}
};

// What every job is given besides its request.
struct JobContext {
  JobReporter& reporter;
  CancelToken& cancel;
  // Threads that pack, unpack and checksum blocks for the job; 0: one per processor. Not a
  // setting: what a job writes is the same for any number.
  int32_t workers = 0;
};

// Finishing touches every job gives its result: the outcome from what was found (a failure
// or a cancel first, then the problems), and the reporter's End. Returns the result.
template <typename Result>
Result Finish(JobContext& job, Result result) {
  if (result.failure) {
    result.outcome = Outcome::kFailed;
  } else if (result.outcome != Outcome::kFailed && job.cancel.cancelled()) {
    result.outcome = Outcome::kCancelled;
  } else if (result.outcome == Outcome::kDone && !result.problems.empty()) {
    result.outcome = Outcome::kDoneWithProblems;
  }
  job.reporter.End(result);
  return result;
}

}  // namespace sk

#endif  // STOWKEEPER_JOBS_JOB_H_
