#include "jobs/sets/update.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "archive/crc32.h"
#include "archive/volume_reader.h"
#include "jobs/sets/point_metadata.h"
#include "jobs/sets/sets_fixture.h"
#include "platform/file_system.h"
#include "shell/desktop_reporter.h"
#include "shell/event_loop.h"
#include "shell/main_window.h"
#include "ui/main_window_ids.h"

namespace sk::testing {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::Not;
using ::testing::StartsWith;

std::string IndexText(const std::vector<std::string>& removed,
                      const std::vector<std::string>& added,
                      const std::vector<std::string>& changed) {
  std::string text;
  const std::pair<const char*, const std::vector<std::string>*> groups[] = {
      {"REMOVED", &removed}, {"ADDED", &added}, {"CHANGED", &changed}};
  for (const auto& [name, values] : groups) {
    text += "; \r\n[" + std::string(name) + "]\r\n; \r\n";
    int key = 0;
    for (const std::string& value : *values) text += std::to_string(++key) + " = " + value + "\r\n";
  }
  return text;
}

#ifndef _WIN32
std::string ReadWholeFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}
#endif

std::string CrcOf(const std::string& data) {
  return CrcText(Crc32(0, reinterpret_cast<const uint8_t*>(data.data()), data.size()));
}

class UpdateTest : public SetsTest {
 protected:
  // The records of a volume: relative path, a space, CRC text.
  std::vector<std::string> Records(int32_t k) {
    std::vector<std::string> lines;
    for (const VolumeRecord& record : ReadVolumeRecords(VolumePath(k))) {
      lines.push_back(record.path + " " + CrcText(record.crc));
    }
    return lines;
  }
  std::string P(const std::string& relative) const { return Parent() + "Data\\" + relative; }
  void ResetGeneration(int32_t k) {
    platform::DeleteFile(VolumePath(k));
    platform::DeleteFile(folder_.Internal("backup/") + IndexName(k));
  }
  std::vector<std::string> Messages() const { return test_app_.tk.MessageTexts(); }
  // What the last job named: "path error" each.
  std::vector<std::string> Named() {
    std::vector<std::string> named;
    for (const Problem& p : Reported().problems)
      named.push_back(p.path + " " + std::to_string(p.error));
    return named;
  }

  // The update ran to its end without a problem and wrote restore point k.
  static void ExpectPoint(const JobResult& result, int32_t k) {
    EXPECT_EQ(result.outcome, Outcome::kDone);
    EXPECT_FALSE(result.failure.has_value());
    EXPECT_THAT(result.problems, IsEmpty());
    EXPECT_EQ(result.point, k);
  }

  // The update as the desktop runs it: its window and messages on the headless toolkit.
  JobResult UpdateOnDesktop(int32_t mode) {
    CancelToken cancel;
    DesktopReporter reporter(app(), tk(), JobKind::kUpdate, mode, cancel);
    JobContext job{reporter, cancel, app().BlockWorkers};
    return UpdateBackup({Set(), app().Level, {}}, job);
  }

  // The update, cancelled at the reporter's call-th Progress as by a click on Cancel.
  JobResult UpdateCancelledAt(int64_t call) {
    job_ = std::make_unique<TestJob>(app().BlockWorkers);
    job_->reporter.CancelAt(call, job_->cancel);
    return UpdateBackup({Set(), app().Level, {}}, job_->context);
  }
};

TEST_F(UpdateTest, IndexListsTheDifferencesAndVolumesHoldOnlyNewVersions) {
  const std::string b2 = TextData(13000, 3), e = "e";
  Put("a.txt", TextData(100, 1));
  Put("Sub/b.txt", TextData(13000, 2));
  Put("Sub/c.txt", "c");
  ASSERT_EQ(Create(/*engine=*/2).outcome, Outcome::kDone);
  app().Engine = 0;  // the main volume's engine counts, not the setting

  Put("Sub/b.txt", b2);
  Drop("Sub/c.txt");
  Put("New/e.txt", e);
  JobResult result = Update();
  ExpectPoint(result, 1);
  EXPECT_EQ(result.removed, 1);
  EXPECT_EQ(result.added, 2);
  EXPECT_EQ(result.changed, 1);
  // The comparison counts the stored files, and its progress never goes back.
  EXPECT_EQ(Reported().begins.front().first, Stage::kComparing);
  EXPECT_THAT(Reported().begins, Contains(std::pair{Stage::kComparing, int64_t{3}}));
  EXPECT_THAT(Reported().begins, Contains(std::pair{Stage::kPacking, int64_t{13000 + 1}}));
  EXPECT_TRUE(Reported().progress_in_order);
  const std::string v1 = "*" + VolumeName(1);
  const std::string first =
      IndexText({P("Sub\\c.txt")}, {P("New\\") + v1, P("New\\e.txt") + v1}, {P("Sub\\b.txt") + v1});
  EXPECT_EQ(Index(1), first);
  EXPECT_THAT(Records(1), ElementsAre("Data\\New\\ $00000000", "Data\\New\\e.txt " + CrcOf(e),
                                      "Data\\Sub\\b.txt " + CrcOf(b2)));
  VolumeReader reader;
  EXPECT_EQ(OpenVolume(reader, VolumePath(1)), 2);

  // Nothing touched since: the same restore point again, every version in volume 1.
  result = Update();
  ExpectPoint(result, 2);
  EXPECT_EQ(Index(2), first);
  EXPECT_FALSE(HasVolume(2));
  for (const auto& [stage, total] : Reported().begins) EXPECT_NE(stage, Stage::kPacking);

  // b changed before update 1 and not since: still volume 1's; only a is packed anew.
  const std::string a2 = TextData(200, 4);
  Put("a.txt", a2);
  ExpectPoint(Update(), 3);
  const std::string v3 = "*" + VolumeName(3);
  EXPECT_EQ(Index(3), IndexText({P("Sub\\c.txt")}, {P("New\\") + v1, P("New\\e.txt") + v1},
                                {P("a.txt") + v3, P("Sub\\b.txt") + v1}));
  EXPECT_THAT(Records(3), ElementsAre("Data\\a.txt " + CrcOf(a2)));
  EXPECT_THAT(Reported().problems, IsEmpty());
  EXPECT_THAT(Reported().questions, IsEmpty());
}

TEST_F(UpdateTest, RestoredFilesAndCaseOnlyRenames) {
  Put("a.txt", "aaa");
  Put("b.txt", "bbb");
  ASSERT_EQ(Create().outcome, Outcome::kDone);
  Drop("b.txt");
  ExpectPoint(Update(), 1);
  EXPECT_EQ(Index(1), IndexText({P("b.txt")}, {}, {}));
  EXPECT_FALSE(HasVolume(1));

  Put("b.txt", "bbb");  // back unchanged: neither removed nor changed
  Drop("a.txt");
  Put("A.txt", "aaa");  // a rename in letter case only
  ExpectPoint(Update(), 2);
  EXPECT_EQ(Index(2), IndexText({P("a.txt")}, {P("A.txt*") + VolumeName(2)}, {}));
}

TEST_F(UpdateTest, FileTurnedFolderIsRemovedNeverChanged) {
  Put("x", "data");
  ASSERT_EQ(Create().outcome, Outcome::kDone);
  Drop("x");
  Put("x/y", "y");
  const JobResult result = Update();
  ExpectPoint(result, 1);
  EXPECT_EQ(result.changed, 0);
  const std::string v1 = "*" + VolumeName(1);
  EXPECT_EQ(Index(1), IndexText({P("x")}, {P("x\\") + v1, P("x\\y") + v1}, {}));
}

TEST_F(UpdateTest, VanishedSourceRemovesEveryStoredPath) {
  Put("a.txt", "a");
  Put("Sub/b.txt", "b");
  ASSERT_EQ(Create().outcome, Outcome::kDone);
  folder_.Remove("src/Data");
  const JobResult result = Update();
  ExpectPoint(result, 1);
  EXPECT_EQ(result.removed, 3);
  EXPECT_EQ(Index(1), IndexText({P("a.txt"), P("Sub\\"), P("Sub\\b.txt")}, {}, {}));
  EXPECT_FALSE(HasVolume(1));
}

TEST_F(UpdateTest, MainVolumeWithoutValidHeaderCountsAsEmpty) {
  Put("a.txt", "a");
  // 4 bytes only; a wrong engine with a record behind it; a wrong magic.
  for (const std::string& main :
       {std::string("SK\x02\x00", 4),
        std::string("SK\x03\x00", 4) + "Data\\a.txt\r\n" + std::string(24, '\0'),
        std::string("KS\x02\x00xxxx", 8)}) {
    folder_.Write("backup/" + VolumeName(0), main);
    ExpectPoint(Update(), 1);
    EXPECT_EQ(Index(1), IndexText({}, {P("a.txt*") + VolumeName(1)}, {}));
    VolumeReader reader;
    EXPECT_EQ(OpenVolume(reader, VolumePath(1)), 0);
    reader.file.Close();
    ResetGeneration(1);
  }
}

// The comparing window on the desktop: from the command line centred on the screen, from
// the main window's Update button centred on the main window, which it disables meanwhile.
TEST_F(UpdateTest, ProgressWindowInBothModes) {
  Put("a.txt", "a");
  Put("b.txt", "b");
  Put("S/c.txt", "c");
  ASSERT_EQ(Create().outcome, Outcome::kDone);
  ExpectPoint(UpdateOnDesktop(kCommandLineMode), 1);
  const auto* window = tk().LastClosed("Daten Vergleichen...");
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(window->def.width, 421);
  EXPECT_EQ(window->def.height, 106);
  EXPECT_NE(window->def.flags & ui::kWindowCenterOnScreen, 0u);
  const auto& bar = window->controls.at(kProgressBarId);
  EXPECT_EQ(bar.def.kind, ui::ControlKind::kProgressBar);
  EXPECT_EQ((std::vector<int>{bar.def.x, bar.def.y, bar.def.width, bar.def.height}),
            (std::vector<int>{22, 23, 376, 26}));
  EXPECT_EQ(bar.maximum, 3);  // one step per stored file
  EXPECT_EQ(bar.value, 3);
  const auto& cancel = window->controls.at(kCancelButtonId);
  EXPECT_EQ(cancel.text, "Abbrechen");
  EXPECT_EQ((std::vector<int>{cancel.def.x, cancel.def.y, cancel.def.width, cancel.def.height}),
            (std::vector<int>{151, 66, 116, 25}));
  EXPECT_THAT(Messages(), IsEmpty());

  // From the main window: nothing happens without a row.
  std::vector<std::string> catalogs = OpenMainWindow(test_app_.desk);
  RefreshBackupLists(test_app_.desk);
  const ui::Event update_button{ui::EventType::kLeftClick, ui::kMainWindow, ui::kUpdateButton};
  const size_t opened = tk().opened.size();
  EXPECT_TRUE(HandleMainEvent(test_app_.desk, update_button, catalogs));
  EXPECT_EQ(tk().opened.size(), opened);
  EXPECT_FALSE(HasIndex(2));
  // With the set's row: the window is centred on the main window, which is disabled while
  // the job runs and enabled again after it.
  bool main_disabled = false;
  tk().on_poll = [&](ui::HeadlessToolkit& t) {
    if (t.WindowExists(ui::kJobWindow)) main_disabled = !t.windows.at(ui::kMainWindow).enabled;
    return ui::Event{};
  };
  tk().SetValue(ui::kMainWindow, ui::kBackupList, 0);
  EXPECT_TRUE(HandleMainEvent(test_app_.desk, update_button, catalogs));
  tk().on_poll = nullptr;
  EXPECT_TRUE(HasIndex(2));
  EXPECT_EQ(tk().opened.size(), opened + 1);
  EXPECT_EQ(tk().opened.back().title, "Daten Vergleichen...");
  EXPECT_EQ(tk().opened.back().flags & ui::kWindowCenterOnScreen, 0u);
  EXPECT_TRUE(main_disabled);
  EXPECT_TRUE(tk().windows.at(ui::kMainWindow).enabled);
  EXPECT_THAT(Messages(), IsEmpty());
}

// Whenever Cancel is clicked, the update either ends whole or leaves nothing behind.
TEST_F(UpdateTest, CancelAtAnyPointLeavesNoPartialRestorePoint) {
  for (int i = 0; i < 4; ++i) Put("f" + std::to_string(i), TextData(13000, i));
  ASSERT_EQ(Create().outcome, Outcome::kDone);
  for (int i = 0; i < 4; i += 2) Put("f" + std::to_string(i), TextData(13000, 10 + i));
  Put("new", TextData(7000, 9));
  ExpectPoint(Update(), 1);
  const int64_t calls = Reported().progress_calls;
  ResetGeneration(1);

  int cancelled_in_compare = 0;
  for (int64_t n = 1; n <= calls; ++n) {
    SCOPED_TRACE(n);
    const JobResult result = UpdateCancelledAt(n);
    EXPECT_THAT(folder_.Names("backup"), Not(Contains(StartsWith("~"))));
    if (result.outcome == Outcome::kDone) {
      EXPECT_EQ(result.point, 1);
      EXPECT_TRUE(HasIndex(1) && HasVolume(1));
      ResetGeneration(1);
      continue;
    }
    EXPECT_EQ(result.outcome, Outcome::kCancelled);
    EXPECT_FALSE(result.failure.has_value());
    EXPECT_EQ(result.point, -1);
    EXPECT_FALSE(HasIndex(1));
    EXPECT_FALSE(HasVolume(1));
    EXPECT_THAT(Reported().problems, IsEmpty());
    ASSERT_TRUE(Reported().end.has_value());
    EXPECT_EQ(Reported().end->outcome, Outcome::kCancelled);
    bool packing = false;
    for (const auto& [stage, total] : Reported().begins) packing |= stage == Stage::kPacking;
    if (!packing) ++cancelled_in_compare;
  }
  EXPECT_GT(cancelled_in_compare, 0);
}

TEST_F(UpdateTest, RefusalsWriteNothing) {
  Put("a.txt", "a");
  ASSERT_EQ(Create().outcome, Outcome::kDone);
  // No set can be named after the folder given (a command line without one): refused before
  // the job begins.
  const BackupSet nameless(folder_.Internal("backup/"), "");
  EXPECT_FALSE(nameless.nameable());
  TestJob refused;
  const JobResult no_set = UpdateBackup({nameless, app().Level, {}}, refused.context);
  EXPECT_EQ(no_set.outcome, Outcome::kFailed);
  EXPECT_TRUE(no_set.failure.has_value());
  if (no_set.failure) {
    EXPECT_EQ(no_set.failure->kind, Problem::Kind::kBadSource);
    EXPECT_EQ(no_set.failure->path, nameless.source());
  }
  EXPECT_THAT(refused.reporter.begins, IsEmpty());
  EXPECT_THAT(folder_.Names("backup"), ElementsAre(MetaName(0), VolumeName(0)));

  // Generation 9999 exists: a next one would be named like the main volume. (Ten thousand
  // files are made in memory where the system has a folder for that. Not on Windows: there each
  // new name is compared case-blind with the whole folder, and making the files takes minutes
  // under the emulator; the limit is the same code on both systems.)
#ifndef _WIN32
  std::string native = std::filesystem::is_directory("/dev/shm") ? "/dev/shm/sk-sets-XXXXXX"
                                                                 : folder_.Native("full-XXXXXX");
  ASSERT_NE(mkdtemp(native.data()), nullptr);
  const std::filesystem::path full = native;
  std::filesystem::copy_file(folder_.Native("backup/" + VolumeName(0)), full / VolumeName(0));
  for (int32_t k = 1; k <= kMaxGeneration; ++k) std::ofstream(full / IndexName(k));
  const BackupSet full_set(platform::InternalPath(native) + "\\", Source());
  Put("a.txt", "b");
  TestJob job;
  const JobResult no_room = UpdateBackup({full_set, app().Level, {}}, job.context);
  EXPECT_EQ(no_room.outcome, Outcome::kFailed);
  ASSERT_TRUE(no_room.failure.has_value());
  EXPECT_EQ(no_room.failure->kind, Problem::Kind::kFull);
  EXPECT_EQ(no_room.failure->path, full_set.IndexPath(kMaxGeneration));
  EXPECT_EQ(folder_.Read("backup/" + VolumeName(0)), ReadWholeFile(full / VolumeName(0)));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(full), {}), kMaxGeneration + 1);
  std::filesystem::remove_all(full);
#endif
}

std::string Missing() {
  return " " + std::to_string(platform::ErrorCode(platform::ErrorCause::kMissing));
}

// What an update cannot read keeps the version the latest point has of it, whatever that
// is: a change stored in an update volume, a removal, an addition, the main volume's
// version, or nothing. A folder that cannot be listed keeps everything below it so.
TEST_F(UpdateTest, WhatCannotBeReadKeepsItsLatestVersion) {
  for (const char* name : {"a.txt", "keep.txt", "Sub/s.txt", "Sub/t.txt"}) Put(name, "zero");
  ASSERT_EQ(Create().outcome, Outcome::kDone);
  for (const char* name : {"a.txt", "Sub/s.txt", "Sub/n.txt"}) Put(name, "a one");
  Drop("Sub/t.txt");
  ExpectPoint(Update(), 1);
  const std::string v1 = "*" + VolumeName(1);
  for (const char* name : {"a.txt", "Sub/s.txt", "Sub/n.txt", "Sub/t.txt", "new.txt"}) {
    Put(name, "two, longer");
  }
  platform::InjectFault(platform::FaultOp::kList, "Data/Sub");
  platform::InjectFault(platform::FaultOp::kOpen, "a.txt");
  EXPECT_EQ(Update().outcome, Outcome::kDoneWithProblems);
  EXPECT_EQ(Index(2),
            IndexText({P("Sub\\t.txt")}, {P("new.txt*") + VolumeName(2), P("Sub\\n.txt") + v1},
                      {P("a.txt") + v1, P("Sub\\s.txt") + v1}));
  EXPECT_THAT(
      Named(),
      ElementsAre(P("Sub\\ ") + std::to_string(platform::ErrorCode(platform::ErrorCause::kDenied)),
                  P("a.txt") + Missing()));
  // Its metadata is the latest point's too.
  EXPECT_EQ(PointMetadata::Load(Set(), 2).Find("Data\\a.txt")->size, 5);
  EXPECT_EQ(PointMetadata::Load(Set(), 2).Find("Data\\Sub\\t.txt"), nullptr);
}

// A file that changes while it is read is read again; when it changes again the point keeps
// the latest point's version, or leaves out a file new since then (as one gone when its
// turn comes). A change while the comparison reads it is its first.
TEST_F(UpdateTest, AFileThatKeepsChangingKeepsItsLatestVersion) {
  const auto grow = [this](const std::string& name) {
    return [this, name] {
      folder_.Overwrite("src/Data/" + name, folder_.Read("src/Data/" + name) + "more");
    };
  };
  for (int32_t workers : {1, 4}) {
    SCOPED_TRACE("workers " + std::to_string(workers));
    app().BlockWorkers = workers;
    folder_.Remove("src/Data");
    Put("a.txt", RandomData(300000, 1));
    ASSERT_EQ(Create().outcome, Outcome::kDone);
    Put("a.txt", RandomData(250000, 2));
    ExpectPoint(Update(), 1);

    Put("a.txt", RandomData(300000, 3));
    Put("gone.txt", "g");
    platform::InjectAction(platform::FaultOp::kRead, "a.txt", grow("a.txt"), 2, 70000);
    platform::InjectAction(platform::FaultOp::kOpen, "gone.txt", [this] { Drop("gone.txt"); });
    EXPECT_EQ(Update().outcome, Outcome::kDoneWithProblems);
    platform::ClearFaults();
    EXPECT_EQ(Index(2), IndexText({}, {}, {P("a.txt*") + VolumeName(1)}));
    EXPECT_FALSE(HasVolume(2));
    EXPECT_THAT(Named(), ElementsAre(P("a.txt 0"), P("gone.txt") + Missing()));
    EXPECT_EQ(PointMetadata::Load(Set(), 2).Find("Data\\a.txt")->size, 250000);

    // Once only: the second reading is taken.
    Put("new.txt", RandomData(300000, 4));
    platform::InjectAction(platform::FaultOp::kRead, "new.txt", grow("new.txt"), 1, 70000);
    ExpectPoint(Update(), 3);
    platform::ClearFaults();
    const std::string v3 = "*" + VolumeName(3);
    EXPECT_EQ(Index(3), IndexText({}, {P("new.txt") + v3}, {P("a.txt") + v3}));
    EXPECT_THAT(Records(3),
                ElementsAre("Data\\a.txt " + CrcOf(folder_.Read("src/Data/a.txt")),
                            "Data\\new.txt " + CrcOf(folder_.Read("src/Data/new.txt"))));
    EXPECT_EQ(PointMetadata::Load(Set(), 3).Find("Data\\new.txt")->size, 300004);
    folder_.Remove("backup");
    folder_.MakeFolder("backup");
  }
}

class UpdateFailureTest : public UpdateTest {
 protected:
  void SetUp() override {
    Put("a.txt", "a");
    Put("b.txt", TextData(9000));
    ASSERT_EQ(Create().outcome, Outcome::kDone);
    Put("b.txt", "changed");
  }
  // The update failed and nothing of generation 1 is left.
  void ExpectNothingLeft(const JobResult& result) {
    EXPECT_EQ(result.outcome, Outcome::kFailed);
    EXPECT_EQ(result.point, -1);
    EXPECT_FALSE(HasIndex(1));
    EXPECT_THAT(folder_.Names("backup"), ElementsAre(MetaName(0), VolumeName(0)));
  }
  // The failure names the file and the system's cause (0: none).
  static void ExpectFailure(const JobResult& result, Problem::Kind kind, const std::string& path,
                            int error) {
    ASSERT_TRUE(result.failure.has_value());
    EXPECT_EQ(result.failure->kind, kind);
    EXPECT_EQ(result.failure->path, path);
    EXPECT_EQ(result.failure->error, error);
  }
  std::string Failure(const std::string& path) {
    return app().Text(33) + "\n\n" + platform::NativePath(path);
  }
  std::string Cancelled() { return app().Text(34); }
};

// The volume goes in place first, then the index, which makes the restore point: a failure
// of either leaves no part of it, and names the file and the cause, on the desktop too.
TEST_F(UpdateFailureTest, VolumeOrIndexThatCannotBeWritten) {
  const int denied_code = platform::ErrorCode(platform::ErrorCause::kDenied);
  const std::string denied = platform::ErrorText(denied_code);
  platform::InjectFault(platform::FaultOp::kRename, VolumeName(1));
  JobResult result = UpdateOnDesktop(kCommandLineMode);
  ExpectNothingLeft(result);
  ExpectFailure(result, Problem::Kind::kCannotWrite, VolumePath(1), denied_code);
  EXPECT_THAT(Messages(), ElementsAre(Failure(VolumePath(1)) + ": " + denied, Cancelled()));

  tk().messages.clear();
  platform::InjectFault(platform::FaultOp::kRename, IndexName(1));
  result = UpdateOnDesktop(kCommandLineMode);
  ExpectNothingLeft(result);
  const std::string index = folder_.Internal("backup/") + IndexName(1);
  ExpectFailure(result, Problem::Kind::kCannotWrite, index, denied_code);
  EXPECT_THAT(Messages(), ElementsAre(Failure(index) + ": " + denied, Cancelled()));
}

// A changed file that cannot be read is named, and the point keeps the version the latest
// point has of it: here the main volume's.
TEST_F(UpdateFailureTest, ChangedFileThatCannotBeReadKeepsItsLatestVersion) {
  // The files are opened ahead of the comparison on other threads: the fault is b's own.
  platform::InjectFault(platform::FaultOp::kOpen, "b.txt");
  EXPECT_EQ(Update().outcome, Outcome::kDoneWithProblems);
  EXPECT_EQ(Index(1), IndexText({}, {}, {}));
  ASSERT_THAT(Named(), ElementsAre(P("b.txt") + Missing()));
  EXPECT_EQ(Reported().problems[0].kind, Problem::Kind::kCannotRead);
}

// What an interrupted update left goes without a question: a volume without its index, a
// point beyond a missing index, temporary files.
TEST_F(UpdateFailureTest, LeftoversOfAnInterruptedUpdateGoWithoutAQuestion) {
  folder_.Write("backup/" + VolumeName(1), "stale");
  folder_.Write("backup/" + IndexName(3), "; \r\n");
  folder_.Write("backup/" + VolumeName(3), "beyond the gap");
  folder_.Write("backup/~" + VolumeName(2) + ".0123456789abcdef.part", "cut");
  folder_.Write("backup/~" + IndexName(1) + ".tmp", "cut");
  ExpectPoint(Update(), 1);
  EXPECT_THAT(Reported().questions, IsEmpty());
  EXPECT_THAT(Reported().problems, IsEmpty());
  EXPECT_THAT(folder_.Names("backup"),
              ElementsAre(MetaName(0), VolumeName(0), IndexName(1), MetaName(1), VolumeName(1)));
  EXPECT_NE(folder_.Read("backup/" + VolumeName(1)), "stale");
}

TEST_F(UpdateFailureTest, DamagedMainVolume) {
  const std::string main = folder_.Read("backup/" + VolumeName(0));
  folder_.Write("backup/" + VolumeName(0), main.substr(0, main.size() - 3));
  const JobResult result = Update();
  ExpectNothingLeft(result);
  ExpectFailure(result, Problem::Kind::kDamaged, VolumePath(0), 0);
  EXPECT_EQ(result.failure->damage, Damage::kCutShort);
}

// Control bytes in names exist on POSIX file systems only.
#ifndef _WIN32
TEST_F(UpdateFailureTest, NameTheArchiveCannotHoldIsLeftOut) {
  Put("bad\x01name", "x");
  EXPECT_EQ(Update().outcome, Outcome::kDoneWithProblems);
  EXPECT_EQ(Index(1), IndexText({}, {}, {P("b.txt*") + VolumeName(1)}));
  ASSERT_THAT(Named(), ElementsAre(P("bad\x01name 0")));
  EXPECT_EQ(Reported().problems[0].kind, Problem::Kind::kBadName);
}
#endif  // _WIN32

}  // namespace
}  // namespace sk::testing
