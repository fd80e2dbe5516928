// What the restore, verify, listing and properties tests share: a fresh folder with a source
// tree and a backup folder, a headless AppState, backups made by the create job, and volumes
// built byte by byte for the damaged and hostile cases.
#ifndef STOWKEEPER_TESTS_JOBS_RESTORE_JOB_FIXTURE_H_
#define STOWKEEPER_TESTS_JOBS_RESTORE_JOB_FIXTURE_H_

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "archive/block.h"
#include "archive/crc32.h"
#include "archive/engines.h"
#include "archive/metadata_file.h"
#include "archive/set_names.h"
#include "core/app_state.h"
#include "core/ini.h"
#include "core/text_table.h"
#include "jobs/create/create.h"
#include "jobs/restore/restore.h"
#include "jobs/sets/backup_set.h"
#include "platform/file_system.h"
#include "shell/desktop.h"
#include "support/recording_reporter.h"
#include "support/test_support.h"
#include "ui/headless/headless_toolkit.h"

namespace sk::testing {

inline std::string U32(uint32_t value) {
  std::string bytes(4, '\0');
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>(value >> (8 * i));
  return bytes;
}

inline std::string U64(uint64_t value) {
  std::string bytes(8, '\0');
  for (int i = 0; i < 8; ++i) bytes[i] = static_cast<char>(value >> (8 * i));
  return bytes;
}

// A volume assembled byte by byte. Records get correct end offsets and CRCs unless a test
// overrides them; blocks are stored, or packed with the volume's engine when asked.
class VolumeBytes {
 public:
  explicit VolumeBytes(int engine = kEngineZlib) : engine_(engine) {
    data = U32(0x4B53u | (static_cast<uint32_t>(engine) << 16));
  }

  void AddFolder(const std::string& path, int32_t attributes = 0x10) {
    AddRecord(path, 0, 0, attributes, "");
  }

  // Cuts content into blocks of 6000 bytes as the writer does.
  void AddFile(const std::string& path, const std::string& content, bool pack = false,
               int32_t attributes = 0x20) {
    std::string blocks;
    for (size_t at = 0; at < content.size(); at += kBlockSize) {
      blocks += Frame(content.substr(at, kBlockSize), pack);
    }
    const auto* bytes = reinterpret_cast<const uint8_t*>(content.data());
    AddRecord(path, Crc32(0, bytes, content.size()), static_cast<int64_t>(content.size()),
              attributes, blocks);
  }

  // A record with any fields and any block bytes; end offset -1 means "just past the blocks".
  void AddRecord(const std::string& path, uint32_t crc, int64_t size, int32_t attributes,
                 const std::string& blocks, int64_t end_offset = -1) {
    const int64_t end = static_cast<int64_t>(data.size() + path.size() + 26 + blocks.size());
    record_starts.push_back(data.size());
    data += path + "\r\n" + U64(static_cast<uint64_t>(end_offset < 0 ? end : end_offset)) +
            U32(crc) + U64(static_cast<uint64_t>(size)) + U32(static_cast<uint32_t>(attributes)) +
            blocks;
  }

  std::string Frame(const std::string& raw, bool pack) const {
    if (pack) {
      std::vector<uint8_t> in(kBlockBufferSize), out(kBlockBufferSize), work(kBlockBufferSize);
      std::copy(raw.begin(), raw.end(), in.begin());
      const int32_t packed = PackBlock(in.data(), out.data(), work.data(),
                                       static_cast<int32_t>(raw.size()), 9, engine_);
      if (packed > 0) {
        return U32(static_cast<uint32_t>(packed)) +
               std::string(reinterpret_cast<const char*>(out.data()), packed);
      }
    }
    return StoredFrame(raw);
  }
  static std::string StoredFrame(const std::string& raw) {
    return U32(0) + U32(static_cast<uint32_t>(raw.size())) + raw;
  }

  std::string data;
  std::vector<size_t> record_starts;

 private:
  int engine_;
};

// What a job named, in order, where it went on past damage: each problem's path and damage.
// Every problem must be damage, and the job must not have failed as a whole.
using DamageNamed = std::vector<std::pair<std::string, Damage>>;
inline DamageNamed NamedDamage(const JobResult& result) {
  EXPECT_FALSE(result.failure.has_value()) << result.failure->path;
  DamageNamed named;
  for (const Problem& problem : result.problems) {
    EXPECT_EQ(problem.kind, Problem::Kind::kDamaged) << problem.path;
    named.emplace_back(problem.path, problem.damage);
  }
  return named;
}

class JobFixture : public ::testing::Test {
 protected:
  JobFixture() {
    FillDefaultTexts(app.Texts);
    folder.MakeFolder("backups");
    app.BackupFolder = folder.Internal("backups/");
  }

  // A folder below the test folder, internal form with a trailing "\".
  std::string Folder(const std::string& relative) {
    folder.MakeFolder(relative);
    return folder.Internal(relative + "/");
  }

  BackupSet SetOf(const std::string& source) const { return BackupSet(app.BackupFolder, source); }

  // Scans source (internal form, ending in "\") and writes its main volume, as "/c" does;
  // the job's result.
  JobResult ScanAndCreate(const std::string& source, int engine = kEngineZlib) {
    TestJob job(app.BlockWorkers);
    return sk::CreateBackup({SetOf(source), engine, app.Level, {}}, job.context);
  }

  // Makes the main volume of source with the create job.
  void CreateBackup(const std::string& source, int engine = kEngineZlib) {
    ASSERT_TRUE(ScanAndCreate(source, engine).ok());
  }

  // Packs the given full paths into update volume `generation` of source's set.
  void WriteUpdateVolume(const std::string& source, int generation, std::vector<std::string> paths,
                         int engine = kEngineZlib) {
    TestJob job(app.BlockWorkers);
    SortEntries(paths);
    const PackOutcome packed =
        PackVolume({SetOf(source), generation, engine, app.Level}, paths, 0, job.context);
    ASSERT_FALSE(packed.failure.has_value()) << packed.failure->path;
  }

  // Restores point `generation` of source's set into target (the whole structure, or
  // the source folder alone) through the restore job, reporting to job (the last run's,
  // unless one is given).
  JobResult Restore(const std::string& source, int generation, const std::string& target,
                    RestoreStructure structure = RestoreStructure::kComplete,
                    const RestoreFilter& wanted = nullptr) {
    job = std::make_unique<TestJob>(app.BlockWorkers);
    return RestoreBackup({SetOf(source), generation, target, structure, wanted}, job->context);
  }

  // Writes an update index: values of the three groups in order.
  void WriteIndex(const std::string& source, int generation,
                  const std::vector<std::string>& removed, const std::vector<std::string>& added,
                  const std::vector<std::string>& changed) {
    IniWriter ini;
    auto group = [&](const char* name, const std::vector<std::string>& values) {
      ini.Comment("");
      ini.SelectGroup(name);
      ini.Comment("");
      for (size_t i = 0; i < values.size(); ++i) ini.Entry(std::to_string(i + 1), values[i]);
    };
    group("REMOVED", removed);
    group("ADDED", added);
    group("CHANGED", changed);
    ASSERT_TRUE(ini.Save(app.BackupFolder + IndexFileName(SetName(source), generation)));
    // A point written by hand has no metadata; the set is then one of an older program,
    // whose main volume had none either.
    platform::DeleteFile(app.BackupFolder + MetadataFileName(SetName(source), 0));
  }

  std::string VolumeName(const std::string& source, int generation) {
    return VolumeFileName(SetName(source), generation);
  }
  std::string PointName(const std::string& source, int generation) {
    return "Backup_" + GenerationField(generation) + "_of_" + source;
  }

  void WriteBackupFile(const std::string& file_name, const std::string& bytes) {
    folder.Write("backups/" + file_name, bytes);
  }

  // The main window with both lists, one row each, selected.
  void OpenMainWindow(const std::string& row_text) {
    tk.OpenWindow(ui::kMainWindow, {"main", 599, 500});
    for (int list : {ui::kBackupList, ui::kRestoreList}) {
      tk.AddControl(ui::kMainWindow, {list, ui::ControlKind::kReportList});
      tk.AddItem(ui::kMainWindow, list, row_text + "\n1 KB \n01.01.2026 / 10:00", 0);
      tk.SetValue(ui::kMainWindow, list, 0);
    }
    desk.backup_rows = desk.restore_rows = {row_text};
  }

  // Answers the restore parameters window: option 40 or 41, then OK.
  void ChooseStructure(bool complete) {
    tk.QueueEvent({ui::EventType::kLeftClick, ui::kJobWindow, complete ? 40 : 41});
    tk.QueueEvent({ui::EventType::kLeftClick, ui::kJobWindow, 42});
  }

  TempFolder folder;
  FaultGuard faults;
  ui::HeadlessToolkit tk;
  AppState app;
  Desktop desk{app, tk};
  // The last restore's reporter and token.
  std::unique_ptr<TestJob> job = std::make_unique<TestJob>();
};

}  // namespace sk::testing

#endif  // STOWKEEPER_TESTS_JOBS_RESTORE_JOB_FIXTURE_H_
