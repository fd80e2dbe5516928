// The update job against the plainest loop that reads every file of the same tree and
// computes its CRC-32. The tree is written moments before the update, which trusts no file
// recorded within moments of its scan, so it checksums every stored file (as --full-compare
// does always), and that loop is the floor (bench/update_cold.sh measures the other case);
// the job may add the scan, the main volume's records, the comparison and the index:
// at most 1.5x the loop's time when nothing changed, 1.6x after 1% of the files changed
// (those are then packed into the update volume as well).
//
// Both run in the same process, alternating, several rounds (SK_BENCH_ROUNDS, default 3);
// the best round of each counts. Wall time decides; CPU time is shown beside it, since it
// does not suffer from other programs on the machine. The tree goes below TMPDIR (or /tmp).
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "archive/block.h"
#include "archive/crc32.h"
#include "archive/engines.h"
#include "archive/set_names.h"
#include "core/app_state.h"
#include "core/text_table.h"
#include "jobs/create/create.h"
#include "jobs/job.h"
#include "jobs/sets/backup_set.h"
#include "jobs/sets/update.h"
#include "platform/file_system.h"
#include "shell/desktop_reporter.h"
#include "shell/job_window.h"
#include "support/tree_generator.h"
#include "ui/headless/headless_toolkit.h"

namespace sk::bench {
namespace {

constexpr int kFileCount = 30000;
constexpr int64_t kTreeBytes = 300 * 1000 * 1000;
constexpr uint32_t kSeed = 2011;
constexpr int32_t kEngine = kEngineZlib;
constexpr int32_t kSetUpLevel = 1;  // the main volume is made once, quickly
constexpr int32_t kLevel = 6;       // what the update packs with
constexpr int kChangedEvery = 100;  // 1% of the files
constexpr size_t kStdioBuffer = 64 * 1024;

struct Tree {
  std::string root;    // native, ending in "/"
  std::string source;  // native, ending in "/"
  std::string backup;  // native, ending in "/"
  std::vector<GeneratedFile> files;
  std::vector<std::string> paths;  // native
  int64_t bytes = 0;
  double set_up_seconds = 0;

  ~Tree() {
    std::error_code ignored;
    if (!root.empty()) std::filesystem::remove_all(root, ignored);
  }
};

struct Times {
  double wall = 0, cpu = 0;
};

double CpuSeconds() {
  struct timespec now;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

template <typename Work>
Times Measure(Work work) {
  const double cpu_start = CpuSeconds();
  const auto wall_start = std::chrono::steady_clock::now();
  work();
  const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - wall_start;
  return {wall.count(), CpuSeconds() - cpu_start};
}

// A job of the tree's set in its window on the headless toolkit, as the command line runs
// it where it has windows.
struct Job {
  Job(const Tree& tree, JobKind kind)
      : source(platform::InternalPath(tree.source)),
        set(platform::InternalPath(tree.backup), source),
        reporter(app, tk, kind, kCommandLineMode, cancel),
        context{reporter, cancel, app.BlockWorkers} {}
  static AppState WithTexts() {
    AppState app;
    FillDefaultTexts(app.Texts);
    return app;
  }
  ui::HeadlessToolkit tk;
  AppState app = WithTexts();
  std::string source;
  BackupSet set;
  CancelToken cancel;
  DesktopReporter reporter;
  JobContext context;
};

Tree* MakeTree() {
  auto tree = std::make_unique<Tree>();
  std::string pattern = (std::filesystem::temp_directory_path() / "sk-bench-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) return nullptr;
  tree->root = pattern + "/";
  tree->source = tree->root + "src/";
  tree->backup = tree->root + "backup/";
  std::filesystem::create_directories(tree->backup);
  const Times set_up = Measure([&] {
    tree->files = GenerateTree(tree->source, kFileCount, kTreeBytes, kSeed);
    Job job(*tree, JobKind::kCreate);
    if (CreateBackup({job.set, kEngine, kSetUpLevel, {}}, job.context).outcome != Outcome::kDone) {
      tree->files.clear();
    }
  });
  if (tree->files.empty()) return nullptr;
  tree->set_up_seconds = set_up.wall;
  for (const GeneratedFile& file : tree->files) {
    tree->paths.push_back(tree->source + file.path);
    tree->bytes += file.size;
  }
  return tree.release();
}

Tree& SharedTree() {
  static std::unique_ptr<Tree> tree(MakeTree());
  if (!tree) {
    std::fprintf(stderr, "cannot generate the source tree and its main volume\n");
    std::exit(1);
  }
  return *tree;
}

// Changes the same 1% of the files to content the set does not hold yet.
bool ChangeFiles(const Tree& tree, uint32_t round) {
  for (size_t i = 0; i < tree.files.size(); i += kChangedEvery) {
    const auto seed = static_cast<uint32_t>(kSeed + 1000 * (round + 1) + i);
    if (!RewriteFile(tree.source, tree.files[i], seed)) return false;
  }
  return true;
}

// UpdateBackup as "/u" runs it; the new generation is removed afterwards.
Times RunUpdate(const Tree& tree, bool expect_volume, benchmark::State& state) {
  Job job(tree, JobKind::kUpdate);
  JobResult result;
  const Times times = Measure([&] { result = UpdateBackup({job.set, kLevel, {}}, job.context); });
  const std::string set = SetName(job.source);
  const std::string volume = tree.backup + VolumeFileName(set, 1);
  if (result.outcome != Outcome::kDone || result.point != 1 ||
      std::filesystem::exists(volume) != expect_volume) {
    state.SkipWithError("the update job failed");
  }
  std::filesystem::remove(volume);
  std::filesystem::remove(tree.backup + IndexFileName(set, 1));
  return times;
}

// Read and CRC, block by block, with nothing else around it.
Times RunLoop(const Tree& tree, benchmark::State& state) {
  bool ok = true;
  uint32_t all = 0;
  const Times times = Measure([&] {
    std::vector<uint8_t> input(kBlockBufferSize);
    for (const std::string& path : tree.paths) {
      std::FILE* in = std::fopen(path.c_str(), "rb");
      if (in == nullptr) {
        ok = false;
        break;
      }
      std::setvbuf(in, nullptr, _IOFBF, kStdioBuffer);
      uint32_t crc = 0;
      size_t got;
      while ((got = std::fread(input.data(), 1, kBlockSize, in)) > 0) {
        crc = Crc32(crc, input.data(), got);
      }
      all ^= crc;
      std::fclose(in);
    }
  });
  benchmark::DoNotOptimize(all);
  if (!ok) state.SkipWithError("the plain loop failed");
  return times;
}

int Rounds() {
  const char* text = std::getenv("SK_BENCH_ROUNDS");
  const int rounds = text != nullptr ? std::atoi(text) : 3;
  return std::max(rounds, 1);
}

void KeepBest(Times& best, const Times& t) {
  best.wall = std::min(best.wall, t.wall);
  best.cpu = std::min(best.cpu, t.cpu);
}

// Alternates the job and the loop so that neither always meets a colder cache.
void Compare(benchmark::State& state, bool change, const char* name, double target) {
  Tree& tree = SharedTree();
  Times job{1e30, 1e30}, loop{1e30, 1e30};
  for (auto _ : state) {
    for (int round = 0; round < Rounds(); ++round) {
      if (change && !ChangeFiles(tree, static_cast<uint32_t>(round))) {
        state.SkipWithError("cannot change the files");
        return;
      }
      if (round % 2 == 0) {
        KeepBest(job, RunUpdate(tree, change, state));
        KeepBest(loop, RunLoop(tree, state));
      } else {
        KeepBest(loop, RunLoop(tree, state));
        KeepBest(job, RunUpdate(tree, change, state));
      }
    }
    state.SetIterationTime(job.wall);
  }
  const double megabytes = static_cast<double>(tree.bytes) / 1e6;
  state.counters["files"] = static_cast<double>(tree.files.size());
  state.counters["tree_MB"] = megabytes;
  state.counters["update_s"] = job.wall;
  state.counters["loop_s"] = loop.wall;
  state.counters["ratio"] = job.wall / loop.wall;
  state.counters["cpu_ratio"] = job.cpu / loop.cpu;
  std::printf(
      "%s: %zu files, %.0f MB (made with its main volume in %.1f s): update %.3f s, read+CRC "
      "loop %.3f s, update/loop %.3f (target <= %.1f); by CPU time %.3f / %.3f s, %.3f\n",
      name, tree.files.size(), megabytes, tree.set_up_seconds, job.wall, loop.wall,
      job.wall / loop.wall, target, job.cpu, loop.cpu, job.cpu / loop.cpu);
}

void BM_UpdateNoChangeVsLoop(benchmark::State& state) { Compare(state, false, "no change", 1.5); }
BENCHMARK(BM_UpdateNoChangeVsLoop)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

void BM_UpdateOnePercentVsLoop(benchmark::State& state) { Compare(state, true, "1% changed", 1.6); }
BENCHMARK(BM_UpdateOnePercentVsLoop)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

}  // namespace
}  // namespace sk::bench

BENCHMARK_MAIN();
