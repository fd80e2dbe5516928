#include "jobs/sets/delete.h"

#include "jobs/sets/retention.h"
#include "platform/file_system.h"

namespace sk {

JobResult DeleteLatestPoint(const BackupSet& set, JobContext& job) {
  JobResult result;
  // The lock comes before the question: the point asked about stays the latest until it is
  // gone, whatever other runs would do meanwhile.
  SetLock lock;
  if (std::optional<Problem> held = set.Lock(lock)) {
    result.failure = held;
    return Finish(job, result);
  }
  // A removal of points a crash interrupted decides which point is the latest.
  std::string unfinished;
  if (!CompletePendingRemoval(set.folder(), set.name(), &unfinished)) {
    Problem stays;
    stays.kind = Problem::Kind::kCannotWrite;
    stays.path = unfinished;
    stays.error = platform::LastError();
    result.failure = stays;
    return Finish(job, result);
  }
  if (!set.Exists()) {
    Problem missing;
    missing.kind = Problem::Kind::kNoPoint;
    missing.path = set.VolumePath(0);
    result.failure = missing;
    return Finish(job, result);
  }
  const int32_t latest = set.LatestPoint();
  Question question;
  question.kind = Question::Kind::kDeletePoint;
  question.path = set.source();
  question.set_name = set.name();
  question.generation = latest;
  if (job.reporter.Ask(question) != Answer::kYes) {
    result.kept = true;
    return Finish(job, result);
  }
  std::string failed;
  if (!set.DeletePoint(latest, &failed)) {
    Problem stays;
    stays.kind = Problem::Kind::kCannotWrite;
    stays.path = failed;
    stays.error = platform::LastError();
    result.failure = stays;
  }
  result.point = latest;
  return Finish(job, result);
}

}  // namespace sk
