// A backup folder and a source tree in a fresh temporary folder, with the steps the tests of
// the backup sets take: create the main volume, update it, read back index files.
#ifndef STOWKEEPER_TESTS_JOBS_SETS_SETS_FIXTURE_H_
#define STOWKEEPER_TESTS_JOBS_SETS_SETS_FIXTURE_H_

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "archive/metadata_file.h"
#include "archive/set_names.h"
#include "jobs/create/create.h"
#include "jobs/sets/backup_set.h"
#include "jobs/sets/update.h"
#include "support/recording_reporter.h"
#include "support/test_support.h"

namespace sk::testing {

class SetsTest : public ::testing::Test {
 protected:
  SetsTest() : test_app_(folder_.Internal("backup/")) {
    folder_.MakeFolder("backup");
    folder_.MakeFolder("src/Data");
    app().Level = 1;
  }

  AppState& app() { return test_app_.app; }
  ui::HeadlessToolkit& tk() { return test_app_.tk; }

  // Z:\...\src\Data\ and its parent, against which record paths are relative.
  std::string Source() const { return folder_.Internal("src/Data/"); }
  std::string Parent() const { return folder_.Internal("src/"); }
  std::string SetName() const { return sk::SetName(Source()); }

  // Paths below the source folder, "/"-separated.
  void Put(const std::string& relative, const std::string& content) const {
    folder_.Write("src/Data/" + relative, content);
  }
  void Drop(const std::string& relative) const { folder_.Remove("src/Data/" + relative); }

  // The set of the source folder in the backup folder.
  BackupSet Set() const { return BackupSet(folder_.Internal("backup/"), Source()); }

  // The create and update jobs on the source, each reporting to a reporter of its own
  // (job_, the last one); their results.
  JobResult Create(int32_t engine = 2) {
    job_ = std::make_unique<TestJob>(app().BlockWorkers);
    return CreateBackup({Set(), engine, app().Level, {}}, job_->context);
  }
  JobResult Update() {
    job_ = std::make_unique<TestJob>(app().BlockWorkers);
    return UpdateBackup({Set(), app().Level, {}}, job_->context);
  }
  // What the last job reported.
  RecordingReporter& Reported() { return job_->reporter; }

  std::string VolumeName(int32_t k) const { return VolumeFileName(SetName(), k); }
  std::string IndexName(int32_t k) const { return IndexFileName(SetName(), k); }
  std::string MetaName(int32_t k) const { return MetadataFileName(SetName(), k); }
  std::string VolumePath(int32_t k) const { return folder_.Internal("backup/") + VolumeName(k); }
  bool HasVolume(int32_t k) const { return folder_.Exists("backup/" + VolumeName(k)); }
  bool HasIndex(int32_t k) const { return folder_.Exists("backup/" + IndexName(k)); }
  std::string Index(int32_t k) const { return folder_.Read("backup/" + IndexName(k)); }

  TempFolder folder_;
  TestApp test_app_;
  FaultGuard faults_;
  std::unique_ptr<TestJob> job_ = std::make_unique<TestJob>();
};

}  // namespace sk::testing

#endif  // STOWKEEPER_TESTS_JOBS_SETS_SETS_FIXTURE_H_
