#include "jobs/restore/restore.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <algorithm>
#include <filesystem>
#include <initializer_list>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "archive/block_pipeline.h"
#include "archive/set_names.h"
#include "archive/volume.h"
#include "jobs/restore/job_fixture.h"
#include "shell/desktop_reporter.h"
#include "shell/job_texts.h"
#include "shell/job_window.h"
#include "shell/properties_window.h"
#include "shell/restore_window.h"

namespace sk {
namespace {

using testing::RandomData;
using testing::RecordingReporter;
using testing::TestJob;
using testing::TextData;
using testing::U32;
using testing::U64;
using testing::VolumeBytes;

constexpr RestoreStructure kComplete = RestoreStructure::kComplete;
constexpr RestoreStructure kSubfolder = RestoreStructure::kSubfolder;

const std::string kFailure = testing::SystemText(
    "Es ist ein Fehler aufgetreten. Backup konnte nicht vollständig wiederhergestellt werden.");
const char kCancelled[] = "Prozess wurde Abgebrochen!";
const char kRestoreWindow[] = "Daten wiederherstellen...";

// A reporter that cancels once the restore has written this many bytes, as a click on Cancel
// would while that block was due.
class CancelAtBytes : public RecordingReporter {
 public:
  CancelAtBytes(int64_t bytes, CancelToken& cancel) : bytes_(bytes), cancel_(cancel) {}
  void Begin(Stage stage, int64_t total) override {
    stage_ = stage;
    RecordingReporter::Begin(stage, total);
  }
  void Progress(int64_t done) override {
    RecordingReporter::Progress(done);
    if (stage_ == Stage::kRestoring && done >= bytes_) cancel_.Cancel();
  }

 private:
  const int64_t bytes_;
  CancelToken& cancel_;
  Stage stage_ = Stage::kScanning;
};

class RestoreTest : public testing::JobFixture {
 protected:
  // The source tree Data/Docs with a sub-folder, an empty folder and a few files.
  std::string MakeDocs() {
    const std::string source = Folder("src/Data/Docs");
    folder.Write("src/Data/Docs/a.txt", TextData(100));
    folder.Write("src/Data/Docs/sub/b.bin", RandomData(7000));
    folder.MakeFolder("src/Data/Docs/empty");
    return source;
  }

  // Restores with the replace-file questions answered in turn (Yes once they run out).
  JobResult RestoreAnswering(std::initializer_list<Answer> answers, const std::string& source,
                             int generation, const std::string& target,
                             RestoreStructure structure = kSubfolder) {
    job = std::make_unique<TestJob>(app.BlockWorkers);
    job->reporter.answers.assign(answers);
    return RestoreBackup({SetOf(source), generation, target, structure, nullptr}, job->context);
  }

  // Restores a one-record volume of the drive-root set Z:\ with this path into a fresh
  // target.
  JobResult RestoreRecord(const std::string& path) {
    VolumeBytes volume;
    volume.AddFile(path, "payload");
    WriteBackupFile("Backup_0000_of_Z__.sk", volume.data);
    return Restore("Z:\\", 0, Folder("deep/out"), kSubfolder);
  }

  // The restore job in the desktop's windows, as RestoreWithWindows runs it once the target
  // and structure are chosen (or the Windows command line runs "/r", in kCommandLineMode).
  JobResult RestoreOnDesktop(const std::string& source, int generation, const std::string& target,
                             RestoreStructure structure = kSubfolder,
                             int32_t mode = kCommandLineMode) {
    tk.messages.clear();
    CancelToken cancel;
    DesktopReporter reporter(app, tk, JobKind::kRestore, mode, cancel);
    reporter.SetPointName(PointName(source, generation));
    JobContext context{reporter, cancel, app.BlockWorkers};
    return RestoreBackup({SetOf(source), generation, target, structure, nullptr}, context);
  }

  const RecordingReporter& Reported() const { return job->reporter; }
  std::vector<std::string> Messages() const { return tk.MessageTexts(); }
};

// The job stopped at this failure.
void ExpectFailure(const JobResult& result, Problem::Kind kind, const std::string& path,
                   Damage damage = Damage::kNone) {
  EXPECT_EQ(result.outcome, Outcome::kFailed);
  ASSERT_TRUE(result.failure.has_value());
  EXPECT_EQ(result.failure->kind, kind);
  EXPECT_EQ(result.failure->path, path);
  EXPECT_EQ(result.failure->damage, damage)
      << DamageWord(result.failure->damage) << " instead of " << DamageWord(damage);
}

// The job went to its end and failed for the damage it named, and nothing else.
void ExpectDamageNamed(const JobResult& result, const testing::DamageNamed& named) {
  EXPECT_EQ(result.outcome, Outcome::kFailed);
  EXPECT_EQ(testing::NamedDamage(result), named);
}

// The system's code for why the job failed; -1 when it did not fail.
int ErrorOf(const JobResult& result) { return result.failure ? result.failure->error : -1; }

TEST_F(RestoreTest, CompleteStructureRecreatesTheSourcePathWithoutItsDrive) {
  const std::string source = MakeDocs();
  CreateBackup(source);
  const std::string target = Folder("out");

  const JobResult result = Restore(source, 0, target, kComplete);

  EXPECT_EQ(result.outcome, Outcome::kDone);
  // Z:\tmp\sk-...\src\Data\Docs\ comes back as out/tmp/sk-.../src/Data/Docs/ (on Windows
  // C:\...\Temp\sk-...\ as out/.../Temp/sk-.../).
  const std::string root = folder.Native();
  const std::string below = "out/" + root.substr(root.find_first_of("/\\") + 1) + "src/Data/Docs/";
  EXPECT_EQ(folder.Read(below + "a.txt"), TextData(100));
  EXPECT_EQ(folder.Read(below + "sub/b.bin"), RandomData(7000));
  EXPECT_TRUE(std::filesystem::is_directory(folder.Native(below + "empty")));
  // The job counts what it wrote, and its restoring stage's total is the files' bytes.
  EXPECT_EQ(result.point, 0);
  EXPECT_EQ(result.files, 2);
  EXPECT_EQ(result.folders, 2);  // Docs\empty and Docs\sub
  EXPECT_EQ(result.bytes_written, 7100);
  ASSERT_FALSE(Reported().begins.empty());
  EXPECT_EQ(Reported().begins.front().first, Stage::kReading);
  EXPECT_EQ(Reported().begins.back(), std::make_pair(Stage::kRestoring, int64_t{7100}));
  EXPECT_EQ(Reported().last_progress, 7100);
  EXPECT_TRUE(Reported().progress_in_order);
  EXPECT_TRUE(Reported().questions.empty());
  EXPECT_TRUE(Reported().problems.empty());
  ASSERT_TRUE(Reported().end.has_value());
  EXPECT_EQ(Reported().end->outcome, Outcome::kDone);
  EXPECT_EQ(Reported().events.back(), "end done");
}

TEST_F(RestoreTest, SubfolderOptionWritesTheSourceFolderDirectlyBelowTheTarget) {
  const std::string source = MakeDocs();
  CreateBackup(source);

  EXPECT_EQ(Restore(source, 0, Folder("out"), kSubfolder).outcome, Outcome::kDone);

  EXPECT_EQ(folder.Read("out/Docs/a.txt"), TextData(100));
  EXPECT_EQ(folder.Read("out/Docs/sub/b.bin"), RandomData(7000));
  EXPECT_TRUE(std::filesystem::is_directory(folder.Native("out/Docs/empty")));
  EXPECT_FALSE(folder.Exists("out/Data"));
}

TEST_F(RestoreTest, DriveRootSourceGoesDirectlyBelowTheTargetWithEitherOption) {
  VolumeBytes volume;
  volume.AddFolder("Docs\\");
  volume.AddFile("Docs\\b.txt", "bee");
  volume.AddFile("a.txt", "ay");
  WriteBackupFile("Backup_0000_of_Z__.sk", volume.data);

  for (const RestoreStructure structure : {kComplete, kSubfolder}) {
    const std::string out = structure == kComplete ? "complete" : "sub";
    EXPECT_EQ(Restore("Z:\\", 0, Folder(out), structure).outcome, Outcome::kDone) << out;
    EXPECT_EQ(folder.Read(out + "/a.txt"), "ay");
    EXPECT_EQ(folder.Read(out + "/Docs/b.txt"), "bee");
  }
}

TEST_F(RestoreTest, EveryBlockBoundaryComesBackExactlyWithEveryEngine) {
  const size_t sizes[] = {0, 1, 5999, 6000, 6001, 12000, 12001, 30007};
  for (int engine = 0; engine < kEngineCount; ++engine) {
    const std::string name = "src" + std::to_string(engine) + "/Set";
    const std::string source = Folder(name);
    for (const size_t size : sizes) {
      folder.Write(name + "/text" + std::to_string(size), TextData(size, engine));
      folder.Write(name + "/noise" + std::to_string(size), RandomData(size, engine + 7));
    }
    CreateBackup(source, engine);
    const std::string out = "out" + std::to_string(engine);
    ASSERT_EQ(Restore(source, 0, Folder(out), kSubfolder).outcome, Outcome::kDone)
        << "engine " << engine;
    for (const size_t size : sizes) {
      EXPECT_EQ(folder.Read(out + "/Set/text" + std::to_string(size)), TextData(size, engine))
          << "engine " << engine << " size " << size;
      EXPECT_EQ(folder.Read(out + "/Set/noise" + std::to_string(size)),
                RandomData(size, engine + 7))
          << "engine " << engine << " size " << size;
    }
  }
}

TEST_F(RestoreTest, RestorePointTakesChangesFromTheNamedVolumeAndLeavesRemovedEntriesOut) {
  const std::string source = Folder("src/Docs");
  folder.Write("src/Docs/keep.txt", "keep");
  folder.Write("src/Docs/change.txt", "version 1");
  folder.Write("src/Docs/gone.txt", "gone");
  folder.MakeFolder("src/Docs/old");
  CreateBackup(source);
  folder.Write("src/Docs/change.txt", "version 2");
  folder.Write("src/Docs/new.txt", "new");
  WriteUpdateVolume(source, 1, {source + "change.txt", source + "new.txt"});
  const std::string volume1 = VolumeName(source, 1);
  WriteIndex(source, 1, {source + "gone.txt", source + "old\\"}, {source + "new.txt*" + volume1},
             {source + "change.txt*" + volume1});

  const JobResult one = Restore(source, 1, Folder("one"), kSubfolder);
  ASSERT_EQ(one.outcome, Outcome::kDone);
  EXPECT_EQ(one.point, 1);
  EXPECT_EQ(one.files, 3);
  EXPECT_EQ(folder.Read("one/Docs/keep.txt"), "keep");
  EXPECT_EQ(folder.Read("one/Docs/change.txt"), "version 2");
  EXPECT_EQ(folder.Read("one/Docs/new.txt"), "new");
  EXPECT_FALSE(folder.Exists("one/Docs/gone.txt"));
  EXPECT_FALSE(folder.Exists("one/Docs/old"));
  // Reading the point looks for its two additions.
  EXPECT_NE(std::find(Reported().begins.begin(), Reported().begins.end(),
                      std::make_pair(Stage::kReading, int64_t{2})),
            Reported().begins.end());
  EXPECT_EQ(Reported().begins.back(), std::make_pair(Stage::kRestoring, int64_t{4 + 9 + 3}));

  ASSERT_EQ(Restore(source, 0, Folder("zero"), kSubfolder).outcome, Outcome::kDone);
  EXPECT_EQ(folder.Read("zero/Docs/change.txt"), "version 1");
  EXPECT_EQ(folder.Read("zero/Docs/gone.txt"), "gone");
  EXPECT_FALSE(folder.Exists("zero/Docs/new.txt"));
}

#ifndef _WIN32  // Windows drops a blank at the end of a file name
TEST_F(RestoreTest, RemovedNameEndingInABlankStaysOutOfLaterRestorePoints) {
  const std::string source = Folder("src/Docs");
  folder.Write("src/Docs/name ", "gone");
  folder.Write("src/Docs/name", "kept");
  CreateBackup(source);
  WriteIndex(source, 1, {source + "name "}, {}, {});

  ASSERT_EQ(Restore(source, 1, Folder("one"), kSubfolder).outcome, Outcome::kDone);
  EXPECT_EQ(folder.Read("one/Docs/name"), "kept");
  EXPECT_FALSE(folder.Exists("one/Docs/name "));
  const RestorePointTotals totals = TotalsOfPoint(app, PointName(source, 1));
  EXPECT_EQ(totals.files, 1);
  EXPECT_EQ(totals.unpacked, 4);
}
#endif

TEST_F(RestoreTest, OverwriteQuestionAnswersNoYesAndCancel) {
  const std::string source = Folder("src/Docs");
  folder.Write("src/Docs/a.txt", "new a");
  folder.Write("src/Docs/b.txt", "new b");
  folder.Write("src/Docs/c.txt", "new c");
  CreateBackup(source);

  // No: the file stays, the job goes on.
  folder.Write("no/Docs/b.txt", "old b");
  const JobResult no = RestoreAnswering({Answer::kNo}, source, 0, Folder("no"));
  EXPECT_EQ(no.outcome, Outcome::kDone);
  ASSERT_EQ(Reported().questions.size(), 1u);
  EXPECT_EQ(Reported().questions[0].kind, Question::Kind::kReplaceFile);
  EXPECT_EQ(Reported().questions[0].path, folder.Internal("no/Docs/b.txt"));
  EXPECT_EQ(no.files, 2);
  EXPECT_EQ(folder.Read("no/Docs/b.txt"), "old b");
  EXPECT_EQ(folder.Read("no/Docs/c.txt"), "new c");

  // Yes: replaced.
  folder.Write("yes/Docs/b.txt", "old b, and longer than the new one");
  const JobResult yes = RestoreAnswering({Answer::kYes}, source, 0, Folder("yes"));
  EXPECT_EQ(yes.outcome, Outcome::kDone);
  EXPECT_EQ(Reported().questions.size(), 1u);
  EXPECT_EQ(yes.files, 3);
  EXPECT_EQ(folder.Read("yes/Docs/b.txt"), "new b");

  // Cancel: the file stays and nothing after it is restored.
  folder.Write("cancel/Docs/b.txt", "old b");
  const JobResult cancel = RestoreAnswering({Answer::kCancel}, source, 0, Folder("cancel"));
  EXPECT_EQ(cancel.outcome, Outcome::kCancelled);
  EXPECT_FALSE(cancel.failure.has_value());
  EXPECT_EQ(Reported().questions.size(), 1u);
  EXPECT_EQ(Reported().events.back(), "end cancelled");
  EXPECT_EQ(folder.Read("cancel/Docs/b.txt"), "old b");
  EXPECT_EQ(folder.Read("cancel/Docs/a.txt"), "new a");
  EXPECT_FALSE(folder.Exists("cancel/Docs/c.txt"));
}

// The desktop asks in a message box with Yes, No and Cancel, naming the file as the system
// names it.
TEST_F(RestoreTest, OverwriteQuestionOnTheDesktop) {
  const std::string source = Folder("src/Docs");
  folder.Write("src/Docs/a.txt", "new a");
  folder.Write("src/Docs/b.txt", "new b");
  CreateBackup(source);
  folder.Write("no/Docs/b.txt", "old b");
  tk.QueueAnswer(ui::Answer::kNo);

  EXPECT_EQ(RestoreOnDesktop(source, 0, Folder("no")).outcome, Outcome::kDone);

  ASSERT_EQ(tk.messages.size(), 1u);
  const auto& question = tk.messages[0];
  EXPECT_EQ(question.title, "Frage");
  EXPECT_EQ(question.text,
            "Datei '" + folder.Native("no/Docs/b.txt") +
                testing::SystemText("' bereits vorhanden, möchten Sie sie ersetzen ?"));
  EXPECT_EQ(question.icon, ui::Icon::kQuestion);
  EXPECT_EQ(question.buttons, ui::Buttons::kYesNoCancel);
  EXPECT_EQ(folder.Read("no/Docs/b.txt"), "old b");
  EXPECT_EQ(folder.Read("no/Docs/a.txt"), "new a");

  // Cancel ends the job with its one message.
  folder.Write("cancel/Docs/a.txt", "old a");
  tk.QueueAnswer(ui::Answer::kCancel);
  EXPECT_EQ(RestoreOnDesktop(source, 0, Folder("cancel")).outcome, Outcome::kCancelled);
  ASSERT_EQ(Messages().size(), 2u);
  EXPECT_EQ(Messages().back(), kCancelled);
  EXPECT_FALSE(folder.Exists("cancel/Docs/b.txt"));
}

TEST_F(RestoreTest, QuestionNamesTheFileAsTheRecordSpellsIt) {
  const std::string source = folder.Internal("src/Docs/");
  VolumeBytes main;
  main.AddFolder("Docs\\");
  WriteBackupFile(VolumeName(source, 0), main.data);
  VolumeBytes update;
  update.AddFile("Docs\\Readme.TXT", "from the volume");
  WriteBackupFile(VolumeName(source, 1), update.data);
  // The index spells the path in other letter case than the record.
  WriteIndex(source, 1, {}, {source + "readme.txt*" + VolumeName(source, 1)}, {});
  folder.Write("out/Docs/Readme.TXT", "old");

  EXPECT_EQ(RestoreAnswering({Answer::kYes}, source, 1, Folder("out")).outcome, Outcome::kDone);

  ASSERT_EQ(Reported().questions.size(), 1u);
  EXPECT_EQ(Reported().questions[0].path, folder.Internal("out/Docs/Readme.TXT"));
  EXPECT_EQ(folder.Read("out/Docs/Readme.TXT"), "from the volume");
  // No second file in the index's spelling (a listing, since Windows finds either spelling).
  EXPECT_EQ(folder.Names("out/Docs"), std::vector<std::string>{"Readme.TXT"});
}

TEST_F(RestoreTest, ReadOnlyFileRestoredTwiceFailsTheSecondTime) {
  const std::string source = Folder("src/Docs");
  folder.Write("src/Docs/locked.txt", "locked");
  folder.SetReadOnly("src/Docs/locked.txt");
  CreateBackup(source);
  const std::string target = Folder("out");

  ASSERT_EQ(Restore(source, 0, target, kSubfolder).outcome, Outcome::kDone);
  EXPECT_EQ(platform::GetAttributes(target + "Docs\\locked.txt") & platform::kAttrReadOnly,
            platform::kAttrReadOnly);

  // The failure names the file and why it was not written.
  const JobResult again = RestoreAnswering({Answer::kYes}, source, 0, target);
  ExpectFailure(again, Problem::Kind::kCannotWrite, target + "Docs\\locked.txt");
  EXPECT_EQ(ErrorOf(again), platform::ErrorCode(platform::ErrorCause::kDenied));
  ASSERT_EQ(Reported().questions.size(), 1u);
  EXPECT_EQ(Reported().questions[0].path, target + "Docs\\locked.txt");
  EXPECT_EQ(folder.Read("out/Docs/locked.txt"), "locked");

  // The desktop asks, then shows the failure with the file and the system's words, then
  // that the job was cancelled.
  tk.QueueAnswer(ui::Answer::kYes);
  EXPECT_EQ(RestoreOnDesktop(source, 0, target).outcome, Outcome::kFailed);
  EXPECT_EQ(Messages(),
            (std::vector<std::string>{
                "Datei '" + folder.Native("out/Docs/locked.txt") +
                    testing::SystemText("' bereits vorhanden, möchten Sie sie ersetzen ?"),
                kFailure + "\n\n" + folder.Native("out/Docs/locked.txt") + ": " +
                    platform::ErrorText(platform::ErrorCode(platform::ErrorCause::kDenied)),
                kCancelled}));
  EXPECT_EQ(folder.Read("out/Docs/locked.txt"), "locked");
}

// Small files are written behind the job's back: a failed write still names its file, stops
// the job there, and nothing handed over after it is written.
TEST_F(RestoreTest, AFailedWriteAmongSmallFilesNamesItAndWritesNothingAfterIt) {
  const std::string source = Folder("src/Docs");
  for (const char* name : {"a", "b", "c", "d", "e"})
    folder.Write(std::string("src/Docs/") + name, name);
  folder.Write("src/Docs/f", RandomData(30000));  // large enough to be written by the job
  CreateBackup(source);
  platform::InjectFault(platform::FaultOp::kWrite, "out/Docs/c");

  const JobResult result = Restore(source, 0, Folder("out"), kSubfolder);

  ExpectFailure(result, Problem::Kind::kCannotWrite, folder.Internal("out/Docs/c"));
  EXPECT_EQ(ErrorOf(result), platform::ErrorCode(platform::ErrorCause::kDiskFull));
  EXPECT_EQ(Reported().events.back(), "end failed");
  EXPECT_EQ(folder.Read("out/Docs/b"), "b");
  for (const char* name : {"d", "e", "f"})
    EXPECT_FALSE(folder.Exists(std::string("out/Docs/") + name)) << name;
}

#ifndef _WIN32
// Names that differ in letter case only are two files on Linux: the second is no file the
// first one replaces, even while the first is still waiting to be written.
TEST_F(RestoreTest, CaseOnlyTwinsAreBothRestoredWithoutAQuestionOnLinux) {
  const std::string source = Folder("src/Docs");
  folder.Write("src/Docs/index.html", "lower");
  folder.Write("src/Docs/Index.html", "upper");
  CreateBackup(source);
  EXPECT_EQ(Restore(source, 0, Folder("out"), kSubfolder).outcome, Outcome::kDone);
  EXPECT_TRUE(Reported().questions.empty());
  EXPECT_EQ(folder.Read("out/Docs/index.html"), "lower");
  EXPECT_EQ(folder.Read("out/Docs/Index.html"), "upper");
}
#endif

TEST_F(RestoreTest, ExistingFoldersAreNotQuestionedAndAFolderInPlaceOfAFileFails) {
  const std::string source = Folder("src/Docs");
  folder.MakeFolder("src/Docs/empty/deeper");
  folder.Write("src/Docs/file", "x");
  CreateBackup(source);
  folder.MakeFolder("out/Docs/empty/deeper");

  EXPECT_EQ(Restore(source, 0, Folder("out"), kSubfolder).outcome, Outcome::kDone);
  EXPECT_TRUE(Reported().questions.empty());
  EXPECT_TRUE(Reported().problems.empty());

  folder.MakeFolder("clash/Docs/file");
  const JobResult clash = Restore(source, 0, Folder("clash"), kSubfolder);
  ExpectFailure(clash, Problem::Kind::kCannotWrite, folder.Internal("clash/Docs/file"));
  EXPECT_NE(ErrorOf(clash), 0);  // the system's cause
  EXPECT_TRUE(Reported().questions.empty());
}

TEST_F(RestoreTest, UnusableMainVolumeFailsButAHeaderAloneIsAnEmptyBackup) {
  const std::string source = folder.Internal("src/Docs/");
  const std::string volume = VolumeName(source, 0);
  const std::string header = U32(0x4B53 | (2u << 16));
  // A header no volume has is named as such, as the verify job names it; a record that runs
  // past the end of the file is a volume cut short.
  struct Case {
    const char* what;
    std::string bytes;
    Damage damage;
  } cases[] = {
      {"short", header.substr(0, 3), Damage::kBadHeader},
      {"bad magic", "XX" + header.substr(2) + "more bytes here", Damage::kBadHeader},
      {"engine 3", U32(0x4B53 | (3u << 16)) + "more bytes here", Damage::kBadHeader},
  };
  for (const Case& c : cases) {
    WriteBackupFile(volume, c.bytes);
    const JobResult result = Restore(source, 0, Folder("out"), kSubfolder);
    SCOPED_TRACE(c.what);
    ExpectFailure(result, Problem::Kind::kDamaged, SetOf(source).VolumePath(0), c.damage);
    EXPECT_EQ(Reported().events.back(), "end failed");
  }
  // One cut in its first record costs what the volume held after the cut, which no path
  // names.
  WriteBackupFile(volume, header + "Docs\\a.txt\r\n" + U64(40));
  ExpectDamageNamed(Restore(source, 0, Folder("out"), kSubfolder),
                    {{SetOf(source).VolumePath(0), Damage::kCutShort}});
  EXPECT_FALSE(folder.Exists("out/Docs"));

  WriteBackupFile(volume, header);
  const JobResult empty = Restore(source, 0, Folder("out"), kSubfolder);
  EXPECT_EQ(empty.outcome, Outcome::kDone);
  EXPECT_EQ(empty.files + empty.folders, 0);
  EXPECT_TRUE(Reported().problems.empty());
}

TEST_F(RestoreTest, StoredPathsThatWouldLeaveTheTargetFail) {
  const char* hostile[] = {
      "..\\escaped.txt",
      "Docs\\..\\..\\escaped.txt",
      "\\escaped.txt",
      "\\\\server\\share\\x",
      "Z:\\..\\escaped.txt",
#ifdef _WIN32
      "Docs\\a:b",  // a stream of Docs\a
#endif
      "Docs/../../escaped.txt",
      "..",
      "",
  };
  for (const char* path : hostile) {
    const JobResult result = RestoreRecord(path);
    SCOPED_TRACE(path);
    ExpectFailure(result, Problem::Kind::kUnsafePath, path);
  }
  // A control byte in a stored path is no record the program ever wrote: the volume is
  // damaged there.
  const JobResult tab = RestoreRecord("Docs\\tab\there");
  ExpectDamageNamed(tab, {{app.BackupFolder + "Backup_0000_of_Z__.sk", Damage::kCutShort}});
  EXPECT_FALSE(folder.Exists("escaped.txt"));
  EXPECT_FALSE(folder.Exists("deep/escaped.txt"));
  EXPECT_TRUE(std::filesystem::is_empty(folder.Native("deep/out")));

  // A drive designation is dropped, and what is left stays below the target.
  EXPECT_EQ(RestoreRecord("C:\\Docs\\kept.txt").outcome, Outcome::kDone);
  EXPECT_EQ(folder.Read("deep/out/Docs/kept.txt"), "payload");
#ifndef _WIN32
  // A ":" is a letter like any other here (a mail folder has one in every name).
  EXPECT_EQ(RestoreRecord("Docs\\1700000000.M1P2.host:2,S").outcome, Outcome::kDone);
  EXPECT_EQ(folder.Read("deep/out/Docs/1700000000.M1P2.host:2,S"), "payload");
#endif
}

TEST_F(RestoreTest, HostileIndexValuesFail) {
  const std::string source = folder.Internal("src/Docs/");
  WriteBackupFile(VolumeName(source, 0), U32(0x4B53 | (2u << 16)));
  VolumeBytes update;
  update.AddFile("Docs\\x.txt", "x");
  WriteBackupFile(VolumeName(source, 1), update.data);
  const std::string good = VolumeName(source, 1);
  // The entry is named as the file it would have been, where the index gives it a path below
  // the source's parent, else by the volume named.
  const std::string entry = folder.Internal("out/Docs/x.txt");
  const struct {
    std::string value;
    std::string named;
    Damage damage;  // the volume named is no file of the backup folder, or lacks the entry
  } cases[] = {
      {source + "x.txt*..\\backups\\" + good, entry, Damage::kMissing},  // a path, no name
      {source + "x.txt*sub/" + good, entry, Damage::kMissing},
      {source + "x.txt*Z:" + good, entry, Damage::kMissing},
      {source + "x.txt*", entry, Damage::kMissing},                           // no volume
      {source + "x.txt*Backup_0007_of_missing.sk", entry, Damage::kMissing},  // not there
      {"Z:\\elsewhere\\Docs\\x.txt*" + good, app.BackupFolder + good, Damage::kCutShort},
  };
  for (const auto& c : cases) {
    WriteIndex(source, 1, {}, {c.value}, {});
    SCOPED_TRACE(c.value);
    ExpectDamageNamed(Restore(source, 1, Folder("out"), kSubfolder), {{c.named, c.damage}});
  }
  EXPECT_FALSE(folder.Exists("out/Docs/x.txt"));

  WriteIndex(source, 1, {}, {source + "x.txt*" + good}, {});
  EXPECT_EQ(Restore(source, 1, Folder("out"), kSubfolder).outcome, Outcome::kDone);
  EXPECT_EQ(folder.Read("out/Docs/x.txt"), "x");
}

// A damaged entry is named, never written under its name, and costs no other entry.
TEST_F(RestoreTest, DamagedFramesFailTheEntryAlone) {
  const std::string full(6000, 'f');
  const uint32_t crc = Crc32(0, reinterpret_cast<const uint8_t*>(full.data()), full.size());
  struct Case {
    const char* what;
    std::string blocks;
    int64_t size;
    // A record with no room for its blocks' frames is a garbled record to the reader that
    // finds the records; the others fail when their blocks are read.
    Damage damage = Damage::kBadBlock;
  } cases[] = {
      {"packed length above the buffer", U32(6129) + std::string(6129, 'p'), 6000},
      {"negative packed length", U32(0xFFFFFFFFu) + full, 6000},
      {"stored length above the buffer", U32(0) + U32(6129) + std::string(6129, 'f'), 6000,
       Damage::kCutShort},
      {"stored block shorter than nominal", VolumeBytes::StoredFrame(full.substr(1)), 6000},
      {"stored block longer than nominal", VolumeBytes::StoredFrame(full + "f"), 6000},
      {"packed bytes that do not unpack", U32(10) + std::string(10, 'z'), 6000},
      {"size beyond the blocks", VolumeBytes::StoredFrame(full), int64_t{1} << 40,
       Damage::kCutShort},
  };
  for (const Case& c : cases) {
    VolumeBytes volume;
    volume.AddRecord("f.bin", crc, c.size, 0x20, c.blocks);
    volume.AddFile("after.txt", "after");
    WriteBackupFile("Backup_0000_of_Z__.sk", volume.data);
    const std::string target = Folder(std::string("out/") + c.what);
    const JobResult result = Restore("Z:\\", 0, target, kSubfolder);
    SCOPED_TRACE(c.what);
    ExpectDamageNamed(result, {{target + "f.bin", c.damage}});
    EXPECT_FALSE(folder.Exists(std::string("out/") + c.what + "/f.bin"));
    EXPECT_EQ(folder.Read(std::string("out/") + c.what + "/after.txt"), "after");
  }
}

TEST_F(RestoreTest, ACrcMismatchKeepsTheContentOnlyAsADamagedCopy) {
  VolumeBytes volume;
  volume.AddRecord("f.txt", 0x12345678, 7, 0x21, VolumeBytes::StoredFrame("content"));
  volume.AddFile("after.txt", "after");
  WriteBackupFile("Backup_0000_of_Z__.sk", volume.data);
  const std::string target = Folder("out");
  ExpectDamageNamed(Restore("Z:\\", 0, target, kSubfolder),
                    {{target + "f.txt", Damage::kCrcMismatch}});
  EXPECT_FALSE(folder.Exists("out/f.txt"));
  EXPECT_EQ(folder.Read("out/f.txt.damaged"), "content");
  EXPECT_EQ(folder.Read("out/after.txt"), "after");
}

// Blocks are unpacked ahead of the writing: a damaged last block of a file longer than all
// the blocks in flight is found there, every block before it kept in the damaged copy, and
// the block itself in its place.
TEST_F(RestoreTest, DamageBehindTheBlocksInFlightFailsTheEntryThere) {
  const std::string content = TextData(6000 * (kBlocksInFlight + 20));
  VolumeBytes volume;
  volume.AddFile("long", content, true);
  volume.AddFile("after.txt", "after");
  std::string bytes = volume.data;
  bytes[volume.record_starts[1] - 20] ^= 0x40;
  WriteBackupFile("Backup_0000_of_Z__.sk", bytes);
  const std::string target = Folder("out");
  const JobResult result = Restore("Z:\\", 0, target, kSubfolder);
  ASSERT_EQ(result.problems.size(), 1u);
  EXPECT_EQ(result.problems[0].path, target + "long");
  EXPECT_NE(result.problems[0].damage, Damage::kNone);
  EXPECT_FALSE(folder.Exists("out/long"));
  const std::string copy = folder.Read("out/long.damaged");
  EXPECT_EQ(copy.size(), content.size());
  EXPECT_EQ(copy.substr(0, content.size() - 6000), content.substr(0, content.size() - 6000));
  EXPECT_EQ(folder.Read("out/after.txt"), "after");
}

TEST_F(RestoreTest, TruncationAtEveryOffsetFailsCleanly) {
  VolumeBytes volume;
  volume.AddFolder("Docs\\");
  // Three packed blocks that pack small, so that every offset can be tried.
  volume.AddFile("Docs\\text.txt", std::string(12001, 't'), true);
  volume.AddFile("Docs\\one", "1");
  volume.AddFile("Docs\\empty", "");
  const std::string whole = volume.data;
  std::vector<size_t> boundaries = volume.record_starts;
  boundaries.push_back(whole.size());
  for (size_t cut = 0; cut < whole.size(); ++cut) {
    WriteBackupFile("Backup_0000_of_Z__.sk", whole.substr(0, cut));
    const bool at_boundary =
        cut == 4 || std::find(boundaries.begin(), boundaries.end(), cut) != boundaries.end();
    const JobResult result = Restore("Z:\\", 0, Folder("out/" + std::to_string(cut)), kSubfolder);
    if (at_boundary) {
      EXPECT_EQ(result.outcome, Outcome::kDone) << "cut at " << cut;
    } else if (cut <= 4) {
      EXPECT_EQ(result.outcome, Outcome::kFailed) << "cut at " << cut;
      EXPECT_TRUE(result.failure.has_value()) << "cut at " << cut;
    } else {
      // Named, as the volume cut short at least; what lies before the cut is restored.
      EXPECT_EQ(result.outcome, Outcome::kFailed) << "cut at " << cut;
      EXPECT_FALSE(result.failure.has_value()) << "cut at " << cut;
      ASSERT_FALSE(result.problems.empty()) << "cut at " << cut;
      EXPECT_EQ(result.problems.back().path, app.BackupFolder + "Backup_0000_of_Z__.sk");
      EXPECT_EQ(result.problems.back().damage, Damage::kCutShort) << "cut at " << cut;
      EXPECT_EQ(folder.Exists("out/" + std::to_string(cut) + "/Docs/one"),
                cut >= volume.record_starts[3])
          << "cut at " << cut;
    }
  }
}

TEST_F(RestoreTest, CancelStopsBetweenBlocksAndLeavesNothingOfTheFile) {
  const std::string source = Folder("src/Docs");
  folder.Write("src/Docs/big.bin", RandomData(60000));
  folder.Write("src/Docs/later.txt", "later");
  CreateBackup(source);
  CancelToken cancel;
  CancelAtBytes reporter(18000, cancel);
  JobContext context{reporter, cancel, app.BlockWorkers};

  const JobResult result =
      RestoreBackup({SetOf(source), 0, Folder("out"), kSubfolder, nullptr}, context);

  EXPECT_EQ(result.outcome, Outcome::kCancelled);
  EXPECT_FALSE(result.failure.has_value());
  EXPECT_EQ(result.bytes_written, 18000);
  EXPECT_EQ(reporter.events.back(), "end cancelled");
  // Nothing of the file stands under its name, nor any temporary name.
  EXPECT_EQ(folder.Names("out/Docs"), std::vector<std::string>{});
  EXPECT_FALSE(folder.Exists("out/Docs/later.txt"));
}

TEST_F(RestoreTest, CancelButtonStopsTheJobAndLeavesNothingOfTheFile) {
  const std::string source = Folder("src/Docs");
  folder.Write("src/Docs/big.bin", RandomData(60000));
  folder.Write("src/Docs/later.txt", "later");
  CreateBackup(source);
  // The click comes once the bar shows the third block written (18000 bytes, 17 whole KiB).
  bool clicked = false;
  tk.on_poll = [&](ui::HeadlessToolkit& t) {
    const auto* bar = t.FindControl(ui::kJobWindow, kProgressBarId);
    if (clicked || bar == nullptr || bar->value < 17) return ui::Event{};
    clicked = true;
    return ui::Event{ui::EventType::kLeftClick, ui::kJobWindow, kCancelButtonId};
  };

  EXPECT_EQ(RestoreOnDesktop(source, 0, Folder("out")).outcome, Outcome::kCancelled);

  EXPECT_EQ(Messages(), std::vector<std::string>{kCancelled});
  EXPECT_FALSE(folder.Exists("out/Docs/big.bin"));
  EXPECT_FALSE(folder.Exists("out/Docs/later.txt"));
}

TEST_F(RestoreTest, ProgressWindowCountsKibAndTheTimerShowsTheTimes) {
  const std::string source = Folder("src/Docs");
  folder.Write("src/Docs/big.bin", RandomData(600000));
  CreateBackup(source);
  // The job's total is in bytes; the bar counts KiB.
  ASSERT_EQ(Restore(source, 0, Folder("job"), kSubfolder).outcome, Outcome::kDone);
  EXPECT_EQ(Reported().begins.back(), std::make_pair(Stage::kRestoring, int64_t{600000}));
  // The timer fires once, with the first block written.
  bool fired = false;
  tk.on_poll = [&](ui::HeadlessToolkit& t) {
    const auto* bar = t.FindControl(ui::kJobWindow, kProgressBarId);
    if (fired || bar == nullptr || bar->value == 0) return ui::Event{};
    fired = true;
    return ui::Event{ui::EventType::kTimer, ui::kJobWindow, kRestoreTimerId};
  };

  EXPECT_EQ(RestoreOnDesktop(source, 0, Folder("out")).outcome, Outcome::kDone);

  EXPECT_TRUE(fired);
  EXPECT_TRUE(Messages().empty());
  const auto* window = tk.LastClosed(kRestoreWindow);
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(window->def.width, 421);
  EXPECT_EQ(window->def.height, 125);
  EXPECT_TRUE(window->def.flags & ui::kWindowCenterOnScreen);
  const auto& bar = window->controls.at(kProgressBarId);
  EXPECT_EQ(bar.maximum, 585);
  EXPECT_EQ(bar.value, 585);
  EXPECT_EQ(window->controls.at(kCancelButtonId).text, "Abbrechen");
  ASSERT_EQ(window->status.size(), 2u);
  EXPECT_EQ(window->status[0].rfind("Verstrichene Zeit: ", 0), 0u);
  // A restore of a moment never measured its pace: no remaining time is guessed.
  EXPECT_EQ(window->status[1], "Restzeit: Unbekannt");
  EXPECT_TRUE(window->timers.empty());  // removed before closing
}

TEST_F(RestoreTest, InteractiveRestoreKeepsTheMainWindowDisabled) {
  const std::string source = MakeDocs();
  CreateBackup(source);
  OpenMainWindow(PointName(source, 0));
  const std::string target = Folder("out");
  tk.QueueFolder(target);
  ChooseStructure(false);
  bool main_enabled_while_restoring = false;
  tk.on_poll = [&](ui::HeadlessToolkit& t) {
    main_enabled_while_restoring |= t.windows.at(ui::kMainWindow).enabled;
    return ui::Event{};
  };

  EXPECT_EQ(RestoreWithWindows(desk, PointName(source, 0)), std::optional<std::string>(target));

  EXPECT_EQ(folder.Read("out/Docs/a.txt"), TextData(100));
  EXPECT_TRUE(Messages().empty());
  EXPECT_TRUE(tk.windows.at(ui::kMainWindow).enabled);
  const auto* params = tk.LastClosed("Wiederherstellungs Parameter");
  ASSERT_NE(params, nullptr);
  EXPECT_EQ(params->def.width, 322);
  EXPECT_EQ(params->def.height, 120);
  EXPECT_EQ(params->controls.at(kRestoreCompleteOptionId).text,
            testing::SystemText("Komplette Verzeichniss-Struktur übernehmen"));
  EXPECT_EQ(params->controls.at(kRestoreSubfolderOptionId).value, 1);
  EXPECT_EQ(params->controls.at(kRestoreOkId).text, "OK");
  EXPECT_EQ(params->controls.at(kRestoreCancelId).text, "Abbrechen");
  const auto* window = tk.LastClosed(kRestoreWindow);
  ASSERT_NE(window, nullptr);
  EXPECT_FALSE(window->def.flags & ui::kWindowCenterOnScreen);
  EXPECT_FALSE(main_enabled_while_restoring);
}

TEST_F(RestoreTest, NoPointOrFolderOrACancelledDialogRestoresNothingSilently) {
  const std::string source = MakeDocs();
  CreateBackup(source);
  OpenMainWindow(PointName(source, 0));
  const std::string point = PointName(source, 0);

  EXPECT_EQ(RestoreWithWindows(desk, ""), std::nullopt);
  EXPECT_EQ(RestoreWithWindows(desk, point), std::nullopt);  // no folder chosen
  EXPECT_EQ(tk.LastClosed("Wiederherstellungs Parameter"), nullptr);

  tk.QueueFolder(Folder("out"));
  tk.QueueEvent({ui::EventType::kLeftClick, ui::kJobWindow, kRestoreCancelId});
  EXPECT_EQ(RestoreWithWindows(desk, point), std::nullopt);
  tk.QueueFolder(Folder("out"));
  tk.QueueEvent({ui::EventType::kClose, ui::kJobWindow});
  EXPECT_EQ(RestoreWithWindows(desk, point), std::nullopt);
  EXPECT_NE(tk.LastClosed("Wiederherstellungs Parameter"), nullptr);

  EXPECT_TRUE(Messages().empty());
  EXPECT_EQ(tk.LastClosed(kRestoreWindow), nullptr);
  EXPECT_TRUE(tk.windows.at(ui::kMainWindow).enabled);
  EXPECT_FALSE(folder.Exists("out/Docs"));
}

TEST_F(RestoreTest, AMissingOrUnreadableRestorePointIsNamed) {
  const std::string source = MakeDocs();
  CreateBackup(source);
  const std::string point = "Backup_0002_of_" + folder.Native("src/Data/Docs/");
  const std::string index_path = SetOf(source).IndexPath(2);
  const std::string index = folder.Native("backups/") + IndexFileName(SetName(source), 2);
  const int missing_code = platform::ErrorCode(platform::ErrorCause::kMissing);
  const std::string missing = platform::ErrorText(missing_code);
  const std::string header =
      testing::SystemText("Der Wiederherstellungspunkt fehlt oder kann nicht gelesen werden:\n\n");

  // Command line: the message, no progress window.
  JobResult result = RestoreOnDesktop(source, 2, Folder("out"));
  ExpectFailure(result, Problem::Kind::kNoPoint, index_path);
  EXPECT_EQ(ErrorOf(result), missing_code);
  EXPECT_EQ(Messages(), std::vector<std::string>{header + point + "\n" + index + ": " + missing});
  EXPECT_EQ(tk.LastClosed(kRestoreWindow), nullptr);

  // From the list (the index vanished after the list was filled): the same, never the main
  // backup's state passed off as the restore point's.
  tk.messages.clear();
  OpenMainWindow(PointName(source, 2));
  tk.QueueFolder(Folder("out"));
  ChooseStructure(false);
  EXPECT_EQ(RestoreWithWindows(desk, PointName(source, 2)), std::nullopt);
  EXPECT_EQ(Messages(), std::vector<std::string>{header + point + "\n" + index + ": " + missing});
  EXPECT_FALSE(folder.Exists("out/Docs"));

  // An index that is a folder cannot be read; one beyond a missing index is a leftover.
  folder.MakeFolder("backups/" + IndexFileName(SetName(source), 2));
  result = RestoreOnDesktop(source, 2, Folder("out"));
  ExpectFailure(result, Problem::Kind::kNoPoint, index_path);
  EXPECT_NE(ErrorOf(result), 0);
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_TRUE(Messages()[0].starts_with(header + point + "\n" + index + ": ")) << Messages()[0];
  folder.Remove("backups/" + IndexFileName(SetName(source), 2));
#ifndef _WIN32
  // A FIFO neither: reading it must not hang the job.
  ASSERT_EQ(mkfifo(index.c_str(), 0644), 0);
  result = RestoreOnDesktop(source, 2, Folder("out"));
  ExpectFailure(result, Problem::Kind::kNoPoint, index_path);
  EXPECT_NE(ErrorOf(result), 0);
  EXPECT_EQ(Messages(),
            std::vector<std::string>{header + point + "\n" + index +
                                     ": Not a regular file (a FIFO, a socket or a device)"});
  folder.Remove("backups/" + IndexFileName(SetName(source), 2));
#endif
  WriteBackupFile(IndexFileName(SetName(source), 2),
                  "; \r\n[REMOVED]\r\n; \r\n[ADDED]\r\n; \r\n[CHANGED]\r\n");
  result = RestoreOnDesktop(source, 2, Folder("out"));
  ExpectFailure(result, Problem::Kind::kNoPoint, index_path);
  EXPECT_EQ(ErrorOf(result), 0);
  EXPECT_EQ(Messages(), std::vector<std::string>{header + point + "\n" + index});

  // A missing main volume, named as such.
  folder.Remove("backups/" + VolumeName(source, 0));
  result = RestoreOnDesktop(source, 0, Folder("out"));
  ExpectFailure(result, Problem::Kind::kNoPoint, SetOf(source).VolumePath(0));
  EXPECT_EQ(ErrorOf(result), missing_code);
  EXPECT_EQ(Messages(), std::vector<std::string>{
                            header + "Backup_0000_of_" + folder.Native("src/Data/Docs/") + "\n" +
                            folder.Native("backups/") + VolumeName(source, 0) + ": " + missing});
  EXPECT_FALSE(folder.Exists("out/Docs"));
}

TEST_F(RestoreTest, UnsafeSourcePathInTheRestorePointNameIsNotRecreated) {
  VolumeBytes volume;
  volume.AddFile("x\\a.txt", "a");
  // The set name a hostile file name in the backup folder decodes to Z:\..\..\x\.
  WriteBackupFile("Backup_0000_of_Z__.._.._x_.sk", volume.data);
  const JobResult result = Restore("Z:\\..\\..\\x\\", 0, Folder("deep/er/out"), kComplete);
  ExpectFailure(result, Problem::Kind::kUnsafePath, "Z:\\..\\..\\x\\");
  EXPECT_EQ(result.files, 0);
  EXPECT_FALSE(folder.Exists("x"));
  EXPECT_FALSE(folder.Exists("deep/x"));
  EXPECT_TRUE(std::filesystem::is_empty(folder.Native("deep/er/out")));
}

}  // namespace
}  // namespace sk
