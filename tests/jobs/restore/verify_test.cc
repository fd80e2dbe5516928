#include "jobs/restore/verify.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "archive/block_pipeline.h"
#include "archive/set_names.h"
#include "jobs/restore/job_fixture.h"
#include "shell/desktop_reporter.h"
#include "shell/event_loop.h"
#include "shell/job_texts.h"
#include "shell/job_window.h"
#include "shell/main_window.h"
#include "ui/main_window_ids.h"
#include "ui/printable.h"

namespace sk {
namespace {

using testing::RandomData;
using testing::RecordingReporter;
using testing::TestJob;
using testing::TextData;
using testing::U32;
using testing::VolumeBytes;

const std::string kValid = testing::SystemText("Das Backup ist gültig!");
const std::string kDamaged = testing::SystemText("Das Backup ist beschädigt!");
const char kCancelled[] = "Prozess wurde Abgebrochen!";
const std::string kVerifyWindow = testing::SystemText("Backup wird überprüft...");

// A reporter that cancels once the check has come this far into the volume, as a click on
// Cancel would then.
class CancelAtOffset : public RecordingReporter {
 public:
  CancelAtOffset(int64_t offset, CancelToken& cancel) : offset_(offset), cancel_(cancel) {}
  void Progress(int64_t done) override {
    RecordingReporter::Progress(done);
    if (done >= offset_) cancel_.Cancel();
  }

 private:
  const int64_t offset_;
  CancelToken& cancel_;
};

class VerifyTest : public testing::JobFixture {
 protected:
  VerifyTest() { OpenMainWindow(kPoint); }

  // The drive-root set Z:\, whose volumes the tests write byte by byte.
  BackupSet Set() const { return SetOf("Z:\\"); }

  // Verifies this volume as generation `generation` of the set Z:\.
  VerifyResult Verify(const std::string& bytes, int generation = 0) {
    WriteBackupFile(VolumeFileName(Set().name(), generation), bytes);
    return VerifyGeneration(generation);
  }
  VerifyResult VerifyGeneration(int generation) { return VerifyGeneration(Set(), generation); }
  VerifyResult VerifyGeneration(const BackupSet& set, int generation) {
    job = std::make_unique<TestJob>(app.BlockWorkers);
    return VerifyPoint({set, generation}, job->context);
  }

  // The check from the main window's Verify command, in the job's window.
  VerifyResult VerifyOnDesktop(const std::string& bytes) {
    WriteBackupFile(VolumeFileName(Set().name(), 0), bytes);
    tk.messages.clear();
    CancelToken cancel;
    DesktopReporter reporter(app, tk, JobKind::kVerify, kInteractiveMode, cancel);
    reporter.SetPointName(kPoint);
    JobContext context{reporter, cancel, app.BlockWorkers};
    return VerifyPoint({Set(), 0}, context);
  }

  std::string Message() const {
    return tk.messages.size() == 1 ? tk.messages[0].text
                                   : "(messages: " + std::to_string(tk.messages.size()) + ")";
  }
  const RecordingReporter& Reported() const { return job->reporter; }

  static constexpr const char* kPoint = "Backup_0000_of_Z:\\";
};

// What the check named first: its failure (a volume it could not read at all), else the
// first damage it went on past.
const Problem* FirstNamed(const VerifyResult& result) {
  if (result.failure) return &*result.failure;
  return result.problems.empty() ? nullptr : &result.problems.front();
}

// The check found this damage first, and failed naming it.
void ExpectDamage(const VerifyResult& result, Damage damage, const std::string& path,
                  const std::string& entry = "") {
  EXPECT_EQ(result.outcome, Outcome::kFailed);
  EXPECT_EQ(result.damage, damage)
      << DamageWord(result.damage) << " instead of " << DamageWord(damage);
  EXPECT_EQ(result.entry, entry);
  const Problem* named = FirstNamed(result);
  ASSERT_NE(named, nullptr);
  EXPECT_EQ(named->kind, Problem::Kind::kDamaged);
  EXPECT_EQ(named->damage, damage);
  EXPECT_EQ(named->path, path);
}

void ExpectSound(const VerifyResult& result) {
  EXPECT_EQ(result.outcome, Outcome::kDone);
  EXPECT_EQ(result.damage, Damage::kNone);
  EXPECT_FALSE(result.failure.has_value());
}

VolumeBytes FourFiles() {
  VolumeBytes volume;
  volume.AddFolder("Docs\\");
  volume.AddFile("Docs\\six", TextData(6000), true);
  volume.AddFile("Docs\\text", TextData(30001), true);
  volume.AddFile("Docs\\noise", RandomData(12000), true);
  volume.AddFile("Docs\\empty", "");
  return volume;
}

TEST_F(VerifyTest, WholeVolumeIsSoundAndEveryEntryIsCounted) {
  const VolumeBytes volume = FourFiles();
  const auto size = static_cast<int64_t>(volume.data.size());

  const VerifyResult result = Verify(volume.data);

  ExpectSound(result);
  EXPECT_TRUE(result.has_volume);
  EXPECT_EQ(result.point, 0);
  EXPECT_EQ(result.files, 4);
  EXPECT_EQ(result.folders, 1);
  EXPECT_EQ(result.bytes_read, 6000 + 30001 + 12000);
  EXPECT_EQ(Reported().begins, (std::vector<std::pair<Stage, int64_t>>{{Stage::kVerifying, size}}));
  EXPECT_EQ(Reported().last_progress, size);
  EXPECT_TRUE(Reported().progress_in_order);
  EXPECT_TRUE(Reported().problems.empty());
  EXPECT_EQ(Reported().events.back(), "end done");
}

TEST_F(VerifyTest, WholeVolumeIsValidAndTheBarStandsAtItsMaximumDuringTheMessage) {
  const VolumeBytes volume = FourFiles();
  int64_t bar_at_message = -1, bar_maximum = -1;
  bool main_enabled_while_checking = false;
  tk.on_message = [&](ui::HeadlessToolkit& t, const ui::HeadlessToolkit::Message&) {
    bar_at_message = t.FindControl(ui::kJobWindow, kProgressBarId)->value;
    bar_maximum = t.FindControl(ui::kJobWindow, kProgressBarId)->maximum;
  };
  tk.on_poll = [&](ui::HeadlessToolkit& t) {
    main_enabled_while_checking |= t.windows.at(ui::kMainWindow).enabled;
    return ui::Event{};
  };

  ExpectSound(VerifyOnDesktop(volume.data));

  EXPECT_EQ(Message(), kValid);
  EXPECT_EQ(tk.messages[0].icon, ui::Icon::kInformation);
  EXPECT_EQ(tk.messages[0].title, "Info");
  EXPECT_EQ(bar_maximum, static_cast<int64_t>(volume.data.size() / 1024));
  EXPECT_EQ(bar_at_message, bar_maximum);
  const auto* window = tk.LastClosed(kVerifyWindow);
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(window->def.width, 421);
  EXPECT_EQ(window->def.height, 106);
  EXPECT_EQ(window->controls.at(kCancelButtonId).text, "Abbrechen");
  EXPECT_GT(tk.polls, 0);
  EXPECT_FALSE(main_enabled_while_checking);
  EXPECT_TRUE(tk.windows.at(ui::kMainWindow).enabled);
}

TEST_F(VerifyTest, DamageIsShownWithWhereItWasFound) {
  VolumeBytes volume;
  volume.AddRecord("Docs\\a.txt", 0x12345678, 7, 0x20, VolumeBytes::StoredFrame("content"));

  ExpectDamage(VerifyOnDesktop(volume.data), Damage::kCrcMismatch, Set().parent() + "Docs\\a.txt",
               "Docs\\a.txt");
  EXPECT_EQ(Message(), kDamaged + "\n\n" + testing::SystemText("CRC-Fehler: ") +
                           platform::ShownPath(Set().parent() + "Docs\\a.txt"));
  EXPECT_EQ(tk.messages[0].icon, ui::Icon::kWarning);

  ExpectDamage(VerifyOnDesktop("XK"), Damage::kBadHeader, Set().VolumePath(0));
  EXPECT_EQ(Message(), kDamaged + "\n\n" + platform::ShownPath(Set().VolumePath(0)) + ": " +
                           testing::SystemText("Der Kopf des Volumes ist ungültig"));
  EXPECT_TRUE(tk.windows.at(ui::kMainWindow).enabled);
}

// The main window's Verify command with no restore point selected: no job, no window, no
// message.
TEST_F(VerifyTest, NoRestorePointShowsNothing) {
  tk.CloseWindow(ui::kMainWindow);
  std::vector<std::string> catalogs = sk::OpenMainWindow(desk);
  RefreshBackupLists(desk);
  const size_t opened = tk.opened.size();

  EXPECT_TRUE(
      HandleMainEvent(desk, {ui::EventType::kMenu, ui::kMainWindow, ui::kMenuVerify}, catalogs));

  EXPECT_TRUE(tk.messages.empty());
  EXPECT_EQ(tk.opened.size(), opened);
  EXPECT_EQ(tk.LastClosed(kVerifyWindow), nullptr);
}

TEST_F(VerifyTest, OnlyAnIndexOnlyRestorePointOrAnEmptyBackupIsValidWithoutRecords) {
  const std::string header = U32(0x4B53 | (1u << 16));
  const VerifyResult empty = Verify(header);
  ExpectSound(empty);
  EXPECT_EQ(empty.files + empty.folders, 0);
  ExpectDamage(Verify(header.substr(0, 3)), Damage::kBadHeader, Set().VolumePath(0));
  ExpectDamage(Verify(""), Damage::kBadHeader, Set().VolumePath(0));
  ExpectDamage(Verify(std::string("SK\x03\x00 and more", 13)), Damage::kBadHeader,
               Set().VolumePath(0));  // engine 3
  ExpectDamage(Verify(std::string("XK\x02\x00 and more", 13)), Damage::kBadHeader,
               Set().VolumePath(0));

  // Generation 1 without its volume: sound while its index exists and names no volume of its
  // own: there is nothing of its own to check.
  WriteBackupFile(IndexFileName(Set().name(), 1), "; \r\n[REMOVED]\r\n");
  const VerifyResult index_only = VerifyGeneration(1);
  ExpectSound(index_only);
  EXPECT_FALSE(index_only.has_volume);
  EXPECT_EQ(index_only.point, 1);
  EXPECT_EQ(index_only.files + index_only.folders, 0);
  EXPECT_EQ(Reported().events.back(), "end done");
  // The desktop calls it valid.
  tk.messages.clear();
  {
    CancelToken cancel;
    DesktopReporter reporter(app, tk, JobKind::kVerify, kInteractiveMode, cancel);
    JobContext context{reporter, cancel, app.BlockWorkers};
    ExpectSound(VerifyPoint({Set(), 1}, context));
  }
  EXPECT_EQ(Message(), kValid);

  std::filesystem::remove(folder.Native("backups/" + IndexFileName(Set().name(), 1)));
  const VerifyResult gone = VerifyGeneration(1);
  ExpectDamage(gone, Damage::kMissing, Set().VolumePath(1));
  EXPECT_TRUE(gone.has_volume);
  // The main volume missing is never valid.
  const BackupSet nothing = SetOf("Z:\\nothing\\");
  ExpectDamage(VerifyGeneration(nothing, 0), Damage::kMissing, nothing.VolumePath(0));
}

TEST_F(VerifyTest, AlteredBytesInStoredOrPackedBlocksAreDamage) {
  VolumeBytes volume;
  volume.AddFile("stored", RandomData(9000));
  volume.AddFile("packed", TextData(9000), true);
  // Past the path, the fixed fields and the frame's length words.
  const size_t stored_byte = volume.record_starts[0] + 6 + 26 + 8 + 100;
  const size_t packed_byte = volume.record_starts[1] + 6 + 26 + 4 + 30;
  for (const auto& [at, entry] : {std::pair{stored_byte, "stored"}, {packed_byte, "packed"}}) {
    std::string bytes = volume.data;
    bytes[at] ^= 0x40;
    const VerifyResult result = Verify(bytes);
    SCOPED_TRACE(entry);
    EXPECT_EQ(result.outcome, Outcome::kFailed);
    EXPECT_EQ(result.entry, entry);
    // A stored block reads as it is, and only its CRC-32 tells; a packed one does not even
    // unpack (its stream checks itself), or gives other bytes than were stored.
    if (entry == std::string("stored")) {
      EXPECT_EQ(result.damage, Damage::kCrcMismatch);
    } else {
      EXPECT_TRUE(result.damage == Damage::kBadBlock || result.damage == Damage::kCrcMismatch)
          << DamageWord(result.damage);
    }
    ASSERT_EQ(result.problems.size(), 1u);
    EXPECT_EQ(result.problems[0].kind, Problem::Kind::kDamaged);
    EXPECT_EQ(result.problems[0].path, Set().parent() + entry);
  }
}

TEST_F(VerifyTest, BlocksOfTheWrongLengthOrOutsideTheirRecordAreDamage) {
  const std::string full(6000, 'f');
  const uint32_t crc = Crc32(0, reinterpret_cast<const uint8_t*>(full.data()), full.size());
  // A zlib stream of 6001 bytes in the frame of a 6000-byte block.
  std::vector<uint8_t> stream(compressBound(6001));
  uLongf stream_length = stream.size();
  const std::string longer = full + "f";
  compress2(stream.data(), &stream_length, reinterpret_cast<const Bytef*>(longer.data()),
            longer.size(), 9);
  const std::string packed_long =
      U32(static_cast<uint32_t>(stream_length)) +
      std::string(reinterpret_cast<const char*>(stream.data()), stream_length);
  struct Case {
    const char* what;
    std::string blocks;
    int64_t size;
    Damage damage;
  } cases[] = {
      {"packed length above the buffer", U32(6129) + std::string(6129, 'p'), 6000,
       Damage::kBadBlock},
      {"negative packed length", U32(0x80000000u) + full, 6000, Damage::kBadBlock},
      {"stored length above the buffer", U32(0) + U32(6200) + std::string(6200, 'f'), 6000,
       Damage::kBadBlock},
      {"stored block one byte short", VolumeBytes::StoredFrame(full.substr(1)) + "f", 6000,
       Damage::kBadBlock},
      {"packed block unpacking too long", packed_long, 6000, Damage::kBadBlock},
      {"size beyond the end of the file", VolumeBytes::StoredFrame(full), 1 << 30,
       Damage::kCutShort},
      {"bytes left before the end offset", VolumeBytes::StoredFrame(full) + "junk", 6000,
       Damage::kBadBlock},
  };
  for (const Case& c : cases) {
    VolumeBytes volume;
    volume.AddRecord("f.bin", crc, c.size, 0x20, c.blocks);
    SCOPED_TRACE(c.what);
    ExpectDamage(Verify(volume.data), c.damage, Set().parent() + "f.bin", "f.bin");
  }
}

TEST_F(VerifyTest, TruncationAtEveryOffsetIsDamageUnlessItFallsBetweenRecords) {
  VolumeBytes volume;
  volume.AddFolder("Docs\\");
  // Three packed blocks that pack small, so that every offset can be tried.
  volume.AddFile("Docs\\text.txt", std::string(12001, 't'), true);
  volume.AddFile("Docs\\one", "1");
  volume.AddFile("Docs\\empty", "");
  const std::vector<std::string> volume_paths = {"Docs\\", "Docs\\text.txt", "Docs\\one",
                                                 "Docs\\empty"};
  std::vector<size_t> boundaries = volume.record_starts;
  for (size_t cut = 0; cut < volume.data.size(); ++cut) {
    const VerifyResult result = Verify(volume.data.substr(0, cut));
    const bool between = std::find(boundaries.begin(), boundaries.end(), cut) != boundaries.end();
    SCOPED_TRACE("cut at " + std::to_string(cut));
    if (between) {
      ExpectSound(result);
    } else if (cut < 4) {
      ExpectDamage(result, Damage::kBadHeader, Set().VolumePath(0));  // too short for a header
    } else {
      // A record whose end lies past the end of the file: named where its path and fixed
      // fields could be read; and the volume, whose records after the cut are lost.
      EXPECT_EQ(result.outcome, Outcome::kFailed);
      EXPECT_EQ(result.damage, Damage::kCutShort);
      ASSERT_FALSE(result.problems.empty());
      EXPECT_EQ(result.problems.back().path, Set().VolumePath(0));
      const size_t record =
          std::upper_bound(boundaries.begin(), boundaries.end(), cut) - boundaries.begin() - 1;
      if (result.problems.size() == 2) {
        EXPECT_EQ(result.entry, volume_paths[record]);
        EXPECT_EQ(result.problems[0].path, Set().parent() + volume_paths[record]);
      }
    }
  }
}

// No writer stores a path with a control byte: the readers of the restore and the update take
// such a record for damage, and so must the check, or it would call a volume sound that no
// restore can read.
TEST_F(VerifyTest, AControlByteInAStoredPathIsDamage) {
  for (const std::string path : {"Docs\\tab\there", "Docs\\a\x01", "\x1f"}) {
    VolumeBytes volume;
    volume.AddFile("Docs\\before.txt", "before");
    volume.AddFile(path, "payload");
    SCOPED_TRACE(ui::PrintableText(path));
    ExpectDamage(Verify(volume.data), Damage::kCutShort, Set().VolumePath(0));
  }
}

// Blocks are unpacked ahead of the check: damage in the last block of a file longer than
// all the blocks in flight is found there, and whatever follows does not matter.
TEST_F(VerifyTest, DamageBehindTheBlocksInFlightIsFound) {
  VolumeBytes volume;
  volume.AddFile("long", TextData(6000 * (kBlocksInFlight + 20)), true);
  for (int i = 0; i < kBlocksInFlight + 5; ++i) {
    volume.AddFile("f" + std::to_string(i), TextData(100 + i), true);
  }
  ExpectSound(Verify(volume.data));
  std::string bytes = volume.data;
  bytes[volume.record_starts[1] - 20] ^= 0x40;
  const VerifyResult result = Verify(bytes);
  EXPECT_EQ(result.outcome, Outcome::kFailed);
  EXPECT_EQ(result.entry, "long");
  EXPECT_NE(result.damage, Damage::kNone);
}

TEST_F(VerifyTest, CancelEndsTheCheckWithWhatWasFoundSoFar) {
  VolumeBytes volume;
  volume.AddFile("big", RandomData(60000));
  std::string bytes = volume.data;
  bytes[bytes.size() - 10] ^= 1;  // damage the check would find in the last block
  WriteBackupFile(VolumeFileName(Set().name(), 0), bytes);

  // Cancelled once two of the ten blocks are checked: the damage behind them is not found.
  CancelToken cancel;
  CancelAtOffset reporter(12000, cancel);
  JobContext context{reporter, cancel, app.BlockWorkers};
  const VerifyResult result = VerifyPoint({Set(), 0}, context);
  EXPECT_EQ(result.outcome, Outcome::kCancelled);
  EXPECT_EQ(result.damage, Damage::kNone);
  EXPECT_FALSE(result.failure.has_value());
  EXPECT_LT(reporter.last_progress, static_cast<int64_t>(bytes.size()) - 6000);
  EXPECT_EQ(reporter.events.back(), "end cancelled");

  // On the desktop: a click on Cancel once the bar has moved, and the one message.
  bool clicked = false;
  tk.on_poll = [&](ui::HeadlessToolkit& t) {
    const auto* bar = t.FindControl(ui::kJobWindow, kProgressBarId);
    if (clicked || bar == nullptr || bar->value < 12) return ui::Event{};
    clicked = true;
    return ui::Event{ui::EventType::kLeftClick, ui::kJobWindow, kCancelButtonId};
  };
  const VerifyResult clicked_result = VerifyOnDesktop(bytes);
  EXPECT_TRUE(clicked);
  EXPECT_EQ(clicked_result.outcome, Outcome::kCancelled);
  EXPECT_EQ(clicked_result.damage, Damage::kNone);
  EXPECT_EQ(Message(), kCancelled);
}

TEST_F(VerifyTest, UpdatePointChecksOnlyItsOwnVolume) {
  VolumeBytes main;
  main.AddFile("a", "a");
  std::string broken = main.data;
  broken.back() ^= 1;
  WriteBackupFile(VolumeFileName(Set().name(), 0), broken);
  VolumeBytes update;
  update.AddFile("a", "b");
  const VerifyResult two = Verify(update.data, 2);
  ExpectSound(two);
  EXPECT_EQ(two.point, 2);
  EXPECT_EQ(two.files, 1);
  EXPECT_EQ(Reported().begins, (std::vector<std::pair<Stage, int64_t>>{
                                   {Stage::kVerifying, static_cast<int64_t>(update.data.size())}}));
  ExpectDamage(VerifyGeneration(0), Damage::kCrcMismatch, Set().parent() + "a", "a");
}

// The check of one volume file, as the command line's "/v" runs it for each volume of a set:
// the same verdicts, without a stage of its own.
TEST_F(VerifyTest, AVolumeFileIsCheckedWithoutBeginOrEnd) {
  const VolumeBytes volume = FourFiles();
  WriteBackupFile("v.sk", volume.data);
  TestJob check;
  const VerifyResult sound = VerifyVolume(app.BackupFolder + "v.sk", check.context);
  EXPECT_EQ(sound.damage, Damage::kNone);
  EXPECT_EQ(sound.files, 4);
  EXPECT_EQ(sound.folders, 1);
  EXPECT_TRUE(check.reporter.begins.empty());
  EXPECT_FALSE(check.reporter.end.has_value());

  std::string bytes = volume.data;
  bytes[volume.record_starts[2] - 20] ^= 0x40;
  WriteBackupFile("v.sk", bytes);
  const VerifyResult damaged = VerifyVolume(app.BackupFolder + "v.sk", check.context);
  EXPECT_NE(damaged.damage, Damage::kNone);
  EXPECT_EQ(damaged.entry, "Docs\\six");
  EXPECT_EQ(VerifyVolume(app.BackupFolder + "none.sk", check.context).damage, Damage::kMissing);
}

}  // namespace
}  // namespace sk
