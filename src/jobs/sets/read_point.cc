#include "jobs/sets/read_point.h"

namespace sk {

PointResult ReadPoint(const BackupSet& set, int32_t point, JobContext& job) {
  PointResult result;
  result.point = point;
  // An update whose main volume is gone still lists what its own volumes hold.
  const bool is_point = point == 0 ? set.Exists() : point > 0 && point < set.NextGeneration();
  if (!is_point) {
    Problem missing;
    missing.kind = Problem::Kind::kNoPoint;
    missing.path = point == 0 ? set.VolumePath(0) : set.IndexPath(point);
    result.failure = missing;
    return Finish(job, std::move(result));
  }
  job.reporter.Begin(Stage::kReading, 0);
  int64_t found = 0;
  result.contents.Load(set.folder(), set.PointName(point), "", [&](RestorePoint::Step step) {
    if (step == RestorePoint::Step::kIndexRead) {
      job.reporter.Begin(Stage::kReading, static_cast<int64_t>(result.contents.AdditionCount()));
    } else if (step == RestorePoint::Step::kAdditionFound) {
      job.reporter.Progress(++found);
    } else {
      job.reporter.Progress(found);
    }
  });
  result.whole = result.contents.main_volume_whole() && (point == 0 || result.contents.has_index());
  for (const PointEntry& entry : result.contents.Entries()) {
    ++(entry.IsFolder() ? result.folders : result.files);
  }
  return Finish(job, std::move(result));
}

}  // namespace sk
