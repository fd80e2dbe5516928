#include "jobs/restore/restore.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <filesystem>

#include "archive/block_pipeline.h"
#include "archive/volume.h"
#include "jobs/restore/job_fixture.h"
#include "jobs/sets/properties.h"

namespace sk {
namespace {

using testing::RandomData;
using testing::TextData;
using testing::U32;
using testing::U64;
using testing::VolumeBytes;
using ui::Answer;

const std::string kFailure = testing::SystemText(
    "Es ist ein Fehler aufgetreten. Backup konnte nicht vollständig wiederhergestellt werden.");
const char kCancelled[] = "Prozess wurde Abgebrochen!";

class RestoreTest : public testing::JobFixture {
 protected:
  // A command-line restore, as "/r" runs it.
  int32_t Restore(const std::string& point_name, const std::string& target, bool complete = false) {
    ChooseStructure(complete);
    app.RestoreTotal = ShowBackupProperties(app, point_name, 1);
    return RestoreBackup(app, point_name, target, 1);
  }

  // The source tree Data/Docs with a sub-folder, an empty folder and a few files.
  std::string MakeDocs() {
    const std::string source = Folder("src/Data/Docs");
    folder.Write("src/Data/Docs/a.txt", TextData(100));
    folder.Write("src/Data/Docs/sub/b.bin", RandomData(7000));
    folder.MakeFolder("src/Data/Docs/empty");
    return source;
  }

  // Restores a one-record volume with this path into a fresh target.
  int32_t RestoreRecord(const std::string& path) {
    VolumeBytes volume;
    volume.AddFile(path, "payload");
    WriteBackupFile("Backup_0000_of_Z__.sk", volume.data);
    tk.messages.clear();
    return Restore("Backup_0000_of_Z:\\", Folder("deep/out"));
  }

  std::vector<std::string> Messages() const { return tk.MessageTexts(); }
};

TEST_F(RestoreTest, CompleteStructureRecreatesTheSourcePathWithoutItsDrive) {
  const std::string source = MakeDocs();
  CreateBackup(source);
  const std::string target = Folder("out");

  EXPECT_EQ(Restore(PointName(source, 0), target, true), 1);

  // Z:\tmp\sk-...\src\Data\Docs\ comes back as out/tmp/sk-.../src/Data/Docs/ (on Windows
  // C:\...\Temp\sk-...\ as out/.../Temp/sk-.../).
  const std::string root = folder.Native();
  const std::string below = "out/" + root.substr(root.find_first_of("/\\") + 1) + "src/Data/Docs/";
  EXPECT_EQ(folder.Read(below + "a.txt"), TextData(100));
  EXPECT_EQ(folder.Read(below + "sub/b.bin"), RandomData(7000));
  EXPECT_TRUE(std::filesystem::is_directory(folder.Native(below + "empty")));
  EXPECT_TRUE(Messages().empty());
}

TEST_F(RestoreTest, SubfolderOptionWritesTheSourceFolderDirectlyBelowTheTarget) {
  const std::string source = MakeDocs();
  CreateBackup(source);

  EXPECT_EQ(Restore(PointName(source, 0), Folder("out"), false), 1);

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

  for (const bool complete : {true, false}) {
    const std::string out = complete ? "complete" : "sub";
    EXPECT_EQ(Restore("Backup_0000_of_Z:\\", Folder(out), complete), 1);
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
    ASSERT_EQ(Restore(PointName(source, 0), Folder(out)), 1) << "engine " << engine;
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

  ASSERT_EQ(Restore(PointName(source, 1), Folder("one")), 1);
  EXPECT_EQ(folder.Read("one/Docs/keep.txt"), "keep");
  EXPECT_EQ(folder.Read("one/Docs/change.txt"), "version 2");
  EXPECT_EQ(folder.Read("one/Docs/new.txt"), "new");
  EXPECT_FALSE(folder.Exists("one/Docs/gone.txt"));
  EXPECT_FALSE(folder.Exists("one/Docs/old"));

  ASSERT_EQ(Restore(PointName(source, 0), Folder("zero")), 1);
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

  ASSERT_EQ(Restore(PointName(source, 1), Folder("one")), 1);
  EXPECT_EQ(folder.Read("one/Docs/name"), "kept");
  EXPECT_FALSE(folder.Exists("one/Docs/name "));
  const RestorePointTotals totals = ComputeRestorePointTotals(app, PointName(source, 1));
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
  tk.QueueAnswer(Answer::kNo);
  EXPECT_EQ(Restore(PointName(source, 0), Folder("no")), 1);
  ASSERT_EQ(tk.messages.size(), 1u);
  const auto& question = tk.messages[0];
  EXPECT_EQ(question.title, "Frage");
  EXPECT_EQ(question.text,
            "Datei '" + folder.Native("no/Docs/b.txt") +
                testing::SystemText("' bereits vorhanden, möchten Sie sie ersetzen ?"));
  EXPECT_EQ(question.icon, ui::Icon::kQuestion);
  EXPECT_EQ(question.buttons, ui::Buttons::kYesNoCancel);
  EXPECT_EQ(folder.Read("no/Docs/b.txt"), "old b");
  EXPECT_EQ(folder.Read("no/Docs/c.txt"), "new c");

  // Yes: replaced.
  tk.messages.clear();
  folder.Write("yes/Docs/b.txt", "old b, and longer than the new one");
  tk.QueueAnswer(Answer::kYes);
  EXPECT_EQ(Restore(PointName(source, 0), Folder("yes")), 1);
  EXPECT_EQ(folder.Read("yes/Docs/b.txt"), "new b");

  // Cancel: the file stays and nothing after it is restored.
  tk.messages.clear();
  folder.Write("cancel/Docs/b.txt", "old b");
  tk.QueueAnswer(Answer::kCancel);
  EXPECT_EQ(Restore(PointName(source, 0), Folder("cancel")), 0);
  EXPECT_EQ(folder.Read("cancel/Docs/b.txt"), "old b");
  EXPECT_EQ(folder.Read("cancel/Docs/a.txt"), "new a");
  EXPECT_FALSE(folder.Exists("cancel/Docs/c.txt"));
  EXPECT_EQ(Messages().back(), kCancelled);
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
  tk.QueueAnswer(Answer::kYes);

  EXPECT_EQ(Restore(PointName(source, 1), Folder("out")), 1);

  ASSERT_FALSE(tk.messages.empty());
  EXPECT_NE(tk.messages[0].text.find("'" + folder.Native("out/Docs/Readme.TXT") + "'"),
            std::string::npos);
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

  ASSERT_EQ(Restore(PointName(source, 0), target), 1);
  EXPECT_EQ(platform::GetAttributes(target + "Docs\\locked.txt") & platform::kAttrReadOnly,
            platform::kAttrReadOnly);

  tk.QueueAnswer(Answer::kYes);
  EXPECT_EQ(Restore(PointName(source, 0), target), 0);
  // The failure names the file and why it was not written.
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
  EXPECT_EQ(Restore(PointName(source, 0), Folder("out")), 0);
  EXPECT_EQ(Messages(),
            (std::vector<std::string>{
                kFailure + "\n\n" + folder.Native("out/Docs/c") + ": " +
                    platform::ErrorText(platform::ErrorCode(platform::ErrorCause::kDiskFull)),
                kCancelled}));
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
  EXPECT_EQ(Restore(PointName(source, 0), Folder("out")), 1);
  EXPECT_TRUE(Messages().empty());
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

  EXPECT_EQ(Restore(PointName(source, 0), Folder("out")), 1);
  EXPECT_TRUE(Messages().empty());

  folder.MakeFolder("clash/Docs/file");
  EXPECT_EQ(Restore(PointName(source, 0), Folder("clash")), 0);
  ASSERT_EQ(Messages().size(), 2u);
  EXPECT_TRUE(
      Messages()[0].starts_with(kFailure + "\n\n" + folder.Native("clash/Docs/file") + ": "))
      << Messages()[0];
  EXPECT_EQ(Messages()[1], kCancelled);
}

TEST_F(RestoreTest, UnusableMainVolumeFailsButAHeaderAloneIsAnEmptyBackup) {
  const std::string source = folder.Internal("src/Docs/");
  const std::string volume = VolumeName(source, 0);
  const std::string header = U32(0x4B53 | (2u << 16));
  struct Case {
    const char* what;
    std::string bytes;
    bool present;
  } cases[] = {
      {"short", header.substr(0, 3), true},
      {"bad magic", "XX" + header.substr(2) + "more bytes here", true},
      {"engine 3", U32(0x4B53 | (3u << 16)) + "more bytes here", true},
      {"cut record", header + "Docs\\a.txt\r\n" + U64(40), true},
  };
  for (const Case& c : cases) {
    std::filesystem::remove(folder.Native("backups/" + volume));
    if (c.present) WriteBackupFile(volume, c.bytes);
    tk.messages.clear();
    EXPECT_EQ(Restore(PointName(source, 0), Folder("out")), 0) << c.what;
    EXPECT_EQ(Messages(), (std::vector<std::string>{kFailure, kCancelled})) << c.what;
  }

  WriteBackupFile(volume, header);
  tk.messages.clear();
  EXPECT_EQ(Restore(PointName(source, 0), Folder("out")), 1);
  EXPECT_TRUE(Messages().empty());
}

TEST_F(RestoreTest, StoredPathsThatWouldLeaveTheTargetFail) {
  const char* hostile[] = {
      "..\\escaped.txt",
      "Docs\\..\\..\\escaped.txt",
      "\\escaped.txt",
      "\\\\server\\share\\x",
      "Z:\\..\\escaped.txt",
      "Docs\\a:b",
      "Docs/../../escaped.txt",
      "Docs\\tab\there",
      "..",
      "",
  };
  for (const char* path : hostile) {
    EXPECT_EQ(RestoreRecord(path), 0) << path;
    EXPECT_EQ(Messages(), (std::vector<std::string>{kFailure, kCancelled})) << path;
  }
  EXPECT_FALSE(folder.Exists("escaped.txt"));
  EXPECT_FALSE(folder.Exists("deep/escaped.txt"));
  EXPECT_TRUE(std::filesystem::is_empty(folder.Native("deep/out")));

  // A drive designation is dropped, and what is left stays below the target.
  EXPECT_EQ(RestoreRecord("C:\\Docs\\kept.txt"), 1);
  EXPECT_EQ(folder.Read("deep/out/Docs/kept.txt"), "payload");
}

TEST_F(RestoreTest, HostileIndexValuesFail) {
  const std::string source = folder.Internal("src/Docs/");
  WriteBackupFile(VolumeName(source, 0), U32(0x4B53 | (2u << 16)));
  VolumeBytes update;
  update.AddFile("Docs\\x.txt", "x");
  WriteBackupFile(VolumeName(source, 1), update.data);
  const std::string good = VolumeName(source, 1);
  const std::string values[] = {
      source + "x.txt*..\\backups\\" + good,  // a path instead of a file name
      source + "x.txt*sub/" + good,
      source + "x.txt*Z:" + good,
      source + "x.txt*",                           // no volume name
      source + "x.txt*Backup_0007_of_missing.sk",  // cannot be opened
      "Z:\\elsewhere\\Docs\\x.txt*" + good,        // not below the source's parent
  };
  for (const std::string& value : values) {
    WriteIndex(source, 1, {}, {value}, {});
    tk.messages.clear();
    EXPECT_EQ(Restore(PointName(source, 1), Folder("out")), 0) << value;
    EXPECT_EQ(Messages(), (std::vector<std::string>{kFailure, kCancelled})) << value;
  }
  EXPECT_FALSE(folder.Exists("out/Docs/x.txt"));

  WriteIndex(source, 1, {}, {source + "x.txt*" + good}, {});
  EXPECT_EQ(Restore(PointName(source, 1), Folder("out")), 1);
  EXPECT_EQ(folder.Read("out/Docs/x.txt"), "x");
}

TEST_F(RestoreTest, DamagedFramesFailTheEntry) {
  const std::string full(6000, 'f');
  const uint32_t crc = Crc32(0, reinterpret_cast<const uint8_t*>(full.data()), full.size());
  struct Case {
    const char* what;
    std::string blocks;
    int64_t size;
  } cases[] = {
      {"packed length above the buffer", U32(6129) + std::string(6129, 'p'), 6000},
      {"negative packed length", U32(0xFFFFFFFFu) + full, 6000},
      {"stored length above the buffer", U32(0) + U32(6129) + std::string(6129, 'f'), 6000},
      {"stored block shorter than nominal", VolumeBytes::StoredFrame(full.substr(1)), 6000},
      {"stored block longer than nominal", VolumeBytes::StoredFrame(full + "f"), 6000},
      {"packed bytes that do not unpack", U32(10) + std::string(10, 'z'), 6000},
      {"size beyond the blocks", VolumeBytes::StoredFrame(full), int64_t{1} << 40},
  };
  for (const Case& c : cases) {
    VolumeBytes volume;
    volume.AddRecord("f.bin", crc, c.size, 0x20, c.blocks);
    volume.AddFile("after.txt", "after");
    WriteBackupFile("Backup_0000_of_Z__.sk", volume.data);
    tk.messages.clear();
    EXPECT_EQ(Restore("Backup_0000_of_Z:\\", Folder(std::string("out/") + c.what)), 0) << c.what;
    EXPECT_EQ(Messages(), (std::vector<std::string>{kFailure, kCancelled})) << c.what;
    EXPECT_FALSE(folder.Exists(std::string("out/") + c.what + "/after.txt")) << c.what;
  }
}

// Blocks are unpacked ahead of the writing: a damaged last block of a file longer than all
// the blocks in flight fails the entry there, with every block before it written.
TEST_F(RestoreTest, DamageBehindTheBlocksInFlightFailsTheEntryThere) {
  const std::string content = TextData(6000 * (kBlocksInFlight + 20));
  VolumeBytes volume;
  volume.AddFile("long", content, true);
  volume.AddFile("after.txt", "after");
  std::string bytes = volume.data;
  bytes[volume.record_starts[1] - 20] ^= 0x40;
  WriteBackupFile("Backup_0000_of_Z__.sk", bytes);
  EXPECT_EQ(Restore("Backup_0000_of_Z:\\", Folder("out")), 0);
  EXPECT_EQ(Messages(), (std::vector<std::string>{kFailure, kCancelled}));
  EXPECT_EQ(folder.Read("out/long"), content.substr(0, content.size() - 6000));
  EXPECT_FALSE(folder.Exists("out/after.txt"));
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
    tk.messages.clear();
    const bool at_boundary =
        cut == 4 || std::find(boundaries.begin(), boundaries.end(), cut) != boundaries.end();
    EXPECT_EQ(Restore("Backup_0000_of_Z:\\", Folder("out/" + std::to_string(cut))),
              at_boundary ? 1 : 0)
        << "cut at " << cut;
  }
}

TEST_F(RestoreTest, CancelButtonStopsTheJobAndLeavesTheFileShortened) {
  const std::string source = Folder("src/Docs");
  folder.Write("src/Docs/big.bin", RandomData(60000));
  folder.Write("src/Docs/later.txt", "later");
  CreateBackup(source);
  ChooseStructure(false);
  app.RestoreTotal = ShowBackupProperties(app, PointName(source, 0), 1);
  // The click comes while the fourth block is due.
  tk.ScheduleEvent(4, {ui::EventType::kLeftClick, ui::kJobWindow, kCancelButtonId});

  EXPECT_EQ(RestoreBackup(app, PointName(source, 0), Folder("out"), 1), 0);

  EXPECT_EQ(Messages(), std::vector<std::string>{kCancelled});
  EXPECT_EQ(folder.Read("out/Docs/big.bin"), RandomData(60000).substr(0, 18000));
  EXPECT_FALSE(folder.Exists("out/Docs/later.txt"));
}

TEST_F(RestoreTest, ProgressWindowCountsKibAndTheTimerShowsTheTimes) {
  const std::string source = Folder("src/Docs");
  folder.Write("src/Docs/big.bin", RandomData(600000));
  CreateBackup(source);
  ChooseStructure(false);
  app.RestoreTotal = ShowBackupProperties(app, PointName(source, 0), 1);
  EXPECT_EQ(app.RestoreTotal, 585);
  tk.ScheduleEvent(50, {ui::EventType::kTimer, ui::kJobWindow, kRestoreTimerId});

  EXPECT_EQ(RestoreBackup(app, PointName(source, 0), Folder("out"), 1), 1);

  const auto* window = tk.LastClosed("Daten wiederherstellen...");
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
  ChooseStructure(false);
  bool main_enabled_while_restoring = false;
  tk.on_poll = [&](ui::HeadlessToolkit& t) {
    main_enabled_while_restoring |= t.windows.at(ui::kMainWindow).enabled;
    return ui::Event{};
  };

  EXPECT_EQ(RestoreBackup(app, PointName(source, 0), Folder("out"), kInteractiveMode), 1);

  EXPECT_EQ(folder.Read("out/Docs/a.txt"), TextData(100));
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
  EXPECT_FALSE(tk.LastClosed("Daten wiederherstellen...")->def.flags & ui::kWindowCenterOnScreen);
  EXPECT_FALSE(main_enabled_while_restoring);
}

TEST_F(RestoreTest, NoPointOrFolderOrACancelledDialogReturnsZeroSilently) {
  const std::string source = MakeDocs();
  CreateBackup(source);
  OpenMainWindow(PointName(source, 0));
  const std::string point = PointName(source, 0);

  EXPECT_EQ(RestoreBackup(app, "", Folder("out"), kInteractiveMode), 0);
  EXPECT_EQ(RestoreBackup(app, point, "", kInteractiveMode), 0);  // no folder chosen
  EXPECT_EQ(tk.LastClosed("Wiederherstellungs Parameter"), nullptr);

  tk.QueueEvent({ui::EventType::kLeftClick, ui::kJobWindow, kRestoreCancelId});
  EXPECT_EQ(RestoreBackup(app, point, Folder("out"), kInteractiveMode), 0);
  tk.QueueEvent({ui::EventType::kClose, ui::kJobWindow});
  EXPECT_EQ(RestoreBackup(app, point, Folder("out"), kInteractiveMode), 0);

  EXPECT_TRUE(Messages().empty());
  EXPECT_EQ(tk.LastClosed("Daten wiederherstellen..."), nullptr);
  EXPECT_TRUE(tk.windows.at(ui::kMainWindow).enabled);
  EXPECT_FALSE(folder.Exists("out/Docs"));
}

TEST_F(RestoreTest, AMissingOrUnreadableRestorePointIsNamed) {
  const std::string source = MakeDocs();
  CreateBackup(source);
  const std::string point = "Backup_0002_of_" + folder.Native("src/Data/Docs/");
  const std::string index = folder.Native("backups/") + IndexFileName(SetName(source), 2);
  const std::string missing =
      platform::ErrorText(platform::ErrorCode(platform::ErrorCause::kMissing));
  const std::string header =
      testing::SystemText("Der Wiederherstellungspunkt fehlt oder kann nicht gelesen werden:\n\n");

  // Command line: the message, no progress window.
  EXPECT_EQ(Restore(PointName(source, 2), Folder("out")), 0);
  EXPECT_EQ(Messages(), std::vector<std::string>{header + point + "\n" + index + ": " + missing});
  EXPECT_EQ(tk.LastClosed("Daten wiederherstellen..."), nullptr);

  // From the list (the index vanished after the list was filled): the same, never the main
  // backup's state passed off as the restore point's.
  tk.messages.clear();
  OpenMainWindow(PointName(source, 2));
  ChooseStructure(false);
  EXPECT_EQ(RestoreBackup(app, PointName(source, 2), Folder("out"), kInteractiveMode), 0);
  EXPECT_EQ(Messages(), std::vector<std::string>{header + point + "\n" + index + ": " + missing});
  EXPECT_FALSE(folder.Exists("out/Docs"));

  // An index that is a folder cannot be read; one beyond a missing index is a leftover.
  folder.MakeFolder("backups/" + IndexFileName(SetName(source), 2));
  tk.messages.clear();
  EXPECT_EQ(Restore(PointName(source, 2), Folder("out")), 0);
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_TRUE(Messages()[0].starts_with(header + point + "\n" + index + ": ")) << Messages()[0];
  folder.Remove("backups/" + IndexFileName(SetName(source), 2));
#ifndef _WIN32
  // A FIFO neither: reading it must not hang the job.
  ASSERT_EQ(mkfifo(index.c_str(), 0644), 0);
  tk.messages.clear();
  EXPECT_EQ(Restore(PointName(source, 2), Folder("out")), 0);
  EXPECT_EQ(Messages(),
            std::vector<std::string>{header + point + "\n" + index +
                                     ": Not a regular file (a FIFO, a socket or a device)"});
  folder.Remove("backups/" + IndexFileName(SetName(source), 2));
#endif
  WriteBackupFile(IndexFileName(SetName(source), 2),
                  "; \r\n[REMOVED]\r\n; \r\n[ADDED]\r\n; \r\n[CHANGED]\r\n");
  tk.messages.clear();
  EXPECT_EQ(Restore(PointName(source, 2), Folder("out")), 0);
  EXPECT_EQ(Messages(), std::vector<std::string>{header + point + "\n" + index});

  // A missing main volume, named as such.
  folder.Remove("backups/" + VolumeName(source, 0));
  tk.messages.clear();
  EXPECT_EQ(Restore(PointName(source, 0), Folder("out")), 0);
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
  EXPECT_EQ(Restore("Backup_0000_of_Z:\\..\\..\\x\\", Folder("deep/er/out"), true), 0);
  EXPECT_EQ(Messages(), std::vector<std::string>{kFailure});
  EXPECT_FALSE(folder.Exists("x"));
  EXPECT_FALSE(folder.Exists("deep/x"));
}

}  // namespace
}  // namespace sk
