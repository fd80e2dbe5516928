// Restore and verify against the plain loop they are built on.
//
// A generated tree of 200 MB is packed once with engine 2 (ZLIB). The plain loop reads the
// volume's records in order, unpacks every block, computes the CRC-32 and writes the files;
// the restore job must reach at least 80% of its throughput. The verify job must reach at
// least 90% of the same loop without the writes. The loop and the job run in turns, each
// figure is the best of its runs, and the ratios are printed at the end of the run. The
// command line's "/v", which verifies every volume of the set (here the one main volume),
// must keep up with the same loop (100%).
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "archive/block.h"
#include "archive/crc32.h"
#include "archive/engines.h"
#include "archive/volume.h"
#include "core/app_state.h"
#include "core/text_table.h"
#include "jobs/create/create.h"
#include "jobs/job.h"
#include "jobs/restore/restore.h"
#include "jobs/restore/verify.h"
#include "jobs/sets/backup_set.h"
#include "platform/file_system.h"
#include "shell/command_line.h"
#include "shell/console_reporter.h"
#include "shell/desktop_reporter.h"
#include "shell/job_window.h"
#include "support/tree_generator.h"
#include "ui/headless/headless_toolkit.h"

namespace sk::bench {
namespace {

constexpr int64_t kTreeBytes = int64_t{200} << 20;
constexpr int kFileCount = 2500;
constexpr uint32_t kSeed = 20260;
constexpr int kRuns = 4;

using Clock = std::chrono::steady_clock;

// Wall time, and the process's CPU time (user and system, the job's workers included): on a
// shared machine the CPU times of a job and of its loop compare the work done even while
// other programs take turns.
struct Span {
  double wall = 0;
  double cpu = 0;
};

double CpuSeconds() {
  struct timespec now;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

class Stopwatch {
 public:
  Stopwatch() : wall_(Clock::now()), cpu_(CpuSeconds()) {}
  Span Stop() const {
    return {std::chrono::duration<double>(Clock::now() - wall_).count(), CpuSeconds() - cpu_};
  }

 private:
  Clock::time_point wall_;
  double cpu_;
};

// The tree and its main volume, made once for all benchmarks.
struct Workload {
  std::string native_root;  // /tmp/sk-restore-bench-XXXXXX/
  std::string source;       // the tree, internal form
  std::string backups;      // the backup folder, internal form
  std::string volume;       // the main volume
  BackupSet set;            // the tree's backup set
  int64_t tree_bytes = 0;
  int64_t volume_bytes = 0;
  bool ready = false;
};

Workload& TheWorkload(bool make = true) {
  static Workload workload;
  if (!make || workload.ready || !workload.native_root.empty()) return workload;
  std::string pattern = "/tmp/sk-restore-bench-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) return workload;
  workload.native_root = pattern + "/";
  const std::vector<GeneratedFile> files =
      GenerateTree(workload.native_root + "tree/", kFileCount, kTreeBytes, kSeed);
  if (files.empty()) return workload;
  for (const GeneratedFile& file : files) workload.tree_bytes += file.size;
  std::filesystem::create_directories(workload.native_root + "backups");
  workload.source = platform::InternalPath(workload.native_root + "tree") + "\\";
  workload.backups = platform::InternalPath(workload.native_root + "backups") + "\\";

  workload.set = BackupSet(workload.backups, workload.source);
  SilentReporter silent;
  CancelToken cancel;
  JobContext job{silent, cancel};
  if (CreateBackup({workload.set, kEngineZlib, 6, {}}, job).outcome != Outcome::kDone) {
    return workload;
  }
  workload.volume = workload.set.VolumePath(0);
  workload.volume_bytes = platform::FileSize(workload.volume);
  workload.ready = true;
  return workload;
}

// A new, empty target folder for every run. Nothing is deleted between runs: freeing and
// reusing hundreds of megabytes makes the file system's own work grow from run to run, which
// would land on whichever run comes next. Earlier writes are flushed before a run starts.
std::string FreshTarget(const Workload& workload) {
  static int runs = 0;
  const std::string native = workload.native_root + "out" + std::to_string(runs++);
  std::filesystem::create_directories(native);
  sync();
  return platform::InternalPath(native) + "\\";
}

// The plain loop: records in order, every block unpacked and checked, files written when
// target is not empty. False when anything does not match.
bool PlainLoop(const std::string& volume_path, const std::string& target) {
  platform::File volume;
  const int64_t size = platform::FileSize(volume_path);
  uint8_t word[4];
  if (!volume.OpenRead(volume_path) || !volume.ReadExact(word, sizeof word)) return false;
  const int32_t engine = CheckHeaderWord(GetU32(word));
  BlockCodec codec;
  std::vector<uint8_t> packed(kBlockBufferSize), raw(kBlockBufferSize);
  VolumeRecord head;
  for (;;) {
    const RecordStatus status = ReadRecordHead(volume, size, head);
    if (status == RecordStatus::kEnd) return true;
    if (status == RecordStatus::kDamaged) return false;
    if (head.IsFolder()) {
      if (!target.empty()) platform::CreateFolder(target + head.path);
      continue;
    }
    platform::File out;
    if (!target.empty() && !out.Create(target + head.path)) return false;
    uint32_t crc = 0;
    for (int64_t left = head.size; left > 0; left -= kBlockSize) {
      const int32_t length = ReadBlockFrame(volume, codec, engine, packed.data(), raw.data());
      if (length != std::min<int64_t>(left, kBlockSize)) return false;
      crc = Crc32(crc, raw.data(), static_cast<size_t>(length));
      if (!target.empty() && !out.Write(raw.data(), static_cast<size_t>(length))) return false;
    }
    if (!target.empty() && !out.Close()) return false;
    if (crc != head.crc) return false;
  }
}

// The restore job in its window on the headless toolkit, as "/r" with only the source folder
// itself recreated below the target runs it where the command line has windows.
bool RunRestore(const Workload& workload, const std::string& target, Span& span) {
  ui::HeadlessToolkit tk;
  AppState app;
  FillDefaultTexts(app.Texts);
  CancelToken cancel;
  DesktopReporter reporter(app, tk, JobKind::kRestore, kCommandLineMode, cancel);
  JobContext job{reporter, cancel, app.BlockWorkers};
  const Stopwatch watch;
  const JobResult result =
      RestoreBackup({workload.set, 0, target, RestoreStructure::kSubfolder, nullptr}, job);
  span = watch.Stop();
  return result.outcome == Outcome::kDone && tk.messages.empty();
}

// The verify job in its window over the main window, as the Verify command runs it.
bool RunVerify(const Workload& workload, Span& span) {
  ui::HeadlessToolkit tk;
  AppState app;
  FillDefaultTexts(app.Texts);
  tk.OpenWindow(ui::kMainWindow, {"main", 599, 500});
  CancelToken cancel;
  DesktopReporter reporter(app, tk, JobKind::kVerify, kInteractiveMode, cancel);
  JobContext job{reporter, cancel, app.BlockWorkers};
  const Stopwatch watch;
  const VerifyResult result = VerifyPoint({workload.set, 0}, job);
  span = watch.Stop();
  return result.outcome == Outcome::kDone;
}

// "/v" on the workload's set as the program runs it, its report and its progress line (on no
// terminal) going nowhere.
bool RunCommandLineVerify(const Workload& workload, Span& span) {
  AppState app;
  FillDefaultTexts(app.Texts);
  app.BackupFolder = workload.backups;
  CommandLineJob job;
  job.kind = CommandLineJob::Kind::kVerify;
  job.switch_name = "/v";
  job.folder = workload.source;
  std::FILE* nowhere = std::fopen("/dev/null", "w");
  CommandLineOutput output;
  output.out = nowhere;
  output.messages = nowhere;
  output.make_reporter = [&](JobKind, const CommandLineJob& run, CancelToken& cancel) {
    return std::make_unique<ConsoleReporter>(app, nowhere, false, LineReader(),
                                             ConsoleOptions{run.switch_name}, cancel);
  };
  const Stopwatch watch;
  const int status = RunCommandLineJob(app, job, output).status;
  span = watch.Stop();
  std::fclose(nowhere);
  return status == kExitDone;
}

// The best of each measure over the runs of one pairing.
struct Best {
  Span loop{1e300, 1e300};
  Span job{1e300, 1e300};

  void Add(const Span& loop_span, const Span& job_span) {
    loop = {std::min(loop.wall, loop_span.wall), std::min(loop.cpu, loop_span.cpu)};
    job = {std::min(job.wall, job_span.wall), std::min(job.cpu, job_span.cpu)};
  }
};

std::vector<std::tuple<std::string, Best, double>>& Results() {
  static std::vector<std::tuple<std::string, Best, double>> results;
  return results;
}

void Report(benchmark::State& state, const Workload& workload, const Best& best) {
  const double megabytes = static_cast<double>(workload.tree_bytes) / (1 << 20);
  state.SetBytesProcessed(state.iterations() * workload.tree_bytes);
  state.counters["tree_MB"] = megabytes;
  state.counters["volume_MB"] = static_cast<double>(workload.volume_bytes) / (1 << 20);
  state.counters["loop_MBps"] = megabytes / best.loop.wall;
  state.counters["job_MBps"] = megabytes / best.job.wall;
  state.counters["ratio_wall"] = best.loop.wall / best.job.wall;
  state.counters["ratio_cpu"] = best.loop.cpu / best.job.cpu;
}

// Runs the loop and the job in turns, so that both see the same machine; the job's runs
// are the benchmark's time.
void BM_RestoreAgainstLoop(benchmark::State& state) {
  const Workload& workload = TheWorkload();
  if (!workload.ready) return state.SkipWithError("the workload could not be made");
  Best best;
  for (auto _ : state) {
    std::string target = FreshTarget(workload);
    // The restore job makes the source folder's own folder; the loop finds it made.
    platform::CreateFolder(target + "tree\\");
    const Stopwatch watch;
    const bool looped = PlainLoop(workload.volume, target);
    const Span loop = watch.Stop();
    target = FreshTarget(workload);
    Span job;
    if (!looped || !RunRestore(workload, target, job)) {
      state.SkipWithError("the loop or the restore failed");
      break;
    }
    state.SetIterationTime(job.wall);
    best.Add(loop, job);
  }
  Report(state, workload, best);
  Results().emplace_back("restore", best, 0.80);
}

// A job that only reads (verify, or "/v") against the loop without the writes.
void ReadingJobAgainstLoop(benchmark::State& state, bool (*run)(const Workload&, Span&),
                           const char* name, double target) {
  const Workload& workload = TheWorkload();
  if (!workload.ready) return state.SkipWithError("the workload could not be made");
  Best best;
  for (auto _ : state) {
    const Stopwatch watch;
    const bool looped = PlainLoop(workload.volume, "");
    const Span loop = watch.Stop();
    Span job;
    if (!looped || !run(workload, job)) {
      state.SkipWithError("the loop or the job failed");
      break;
    }
    state.SetIterationTime(job.wall);
    best.Add(loop, job);
  }
  Report(state, workload, best);
  Results().emplace_back(name, best, target);
}

void BM_VerifyAgainstLoop(benchmark::State& state) {
  ReadingJobAgainstLoop(state, RunVerify, "verify", 0.90);
}

void BM_CommandLineVerifyAgainstLoop(benchmark::State& state) {
  ReadingJobAgainstLoop(state, RunCommandLineVerify, "/v", 1.0);
}

BENCHMARK(BM_RestoreAgainstLoop)->UseManualTime()->Iterations(kRuns)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_VerifyAgainstLoop)->UseManualTime()->Iterations(kRuns)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CommandLineVerifyAgainstLoop)
    ->UseManualTime()
    ->Iterations(kRuns)
    ->Unit(benchmark::kMillisecond);

void PrintRatios() {
  for (const auto& [job, best, target] : Results()) {
    const double wall = best.loop.wall / best.job.wall;
    const double cpu = best.loop.cpu / best.job.cpu;
    auto verdict = [&](double ratio) { return ratio >= target ? "met" : "MISSED"; };
    std::printf(
        "%-8s of the plain loop's throughput (target %.0f%%): %.1f%% by wall time (%s), "
        "%.1f%% by CPU time (%s)\n",
        job.c_str(), 100 * target, 100 * wall, verdict(wall), 100 * cpu, verdict(cpu));
  }
}

}  // namespace
}  // namespace sk::bench

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  sk::bench::PrintRatios();
  const std::string root = sk::bench::TheWorkload(false).native_root;
  if (!root.empty()) std::filesystem::remove_all(root);
  benchmark::Shutdown();
  return 0;
}
