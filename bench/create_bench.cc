// The create job against the plainest loop that does the same work: every block of a
// generated tree read, checksummed, deflated at level 6 and written. The job adds only its
// bookkeeping (sorting, record heads and patches, event polls, the progress bar and the
// time display), so its throughput should stay within 10% of the loop's.
//
// Both run in the same process, alternating, several rounds; the best round of each counts.
// Wall time decides; CPU time is shown beside it, since it does not suffer from other
// programs on the machine.
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
#include "platform/file_system.h"
#include "shell/desktop_reporter.h"
#include "shell/job_window.h"
#include "support/tree_generator.h"
#include "ui/headless/headless_toolkit.h"

namespace sk::bench {
namespace {

constexpr int kFileCount = 2000;
constexpr int64_t kTreeBytes = 210 * 1000 * 1000;
constexpr uint32_t kSeed = 2007;
constexpr int32_t kLevel = 6;

struct Tree {
  std::string root;                         // native, ending in "/"
  std::string source;                       // native, ending in "/"
  std::string backup;                       // native, ending in "/"
  std::vector<std::string> internal_files;  // in the job's packing order
  int64_t bytes = 0;

  ~Tree() {
    std::error_code ignored;
    if (!root.empty()) std::filesystem::remove_all(root, ignored);
  }
};

Tree* MakeTree() {
  auto tree = std::make_unique<Tree>();
  std::string pattern = "/tmp/sk-bench-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) return nullptr;
  tree->root = pattern + "/";
  tree->source = tree->root + "src/";
  tree->backup = tree->root + "backup/";
  std::filesystem::create_directories(tree->backup);
  const std::vector<GeneratedFile> files =
      GenerateTree(tree->source, kFileCount, kTreeBytes, kSeed);
  if (files.empty()) return nullptr;
  std::vector<std::string> internal;
  for (const GeneratedFile& file : files) {
    internal.push_back(platform::InternalPath(tree->source + file.path));
    tree->bytes += file.size;
  }
  // The job packs in this order; the loop reads the files in the same one.
  std::stable_sort(
      internal.begin(), internal.end(),
      [](const std::string& a, const std::string& b) { return CompareNoCase(a, b) < 0; });
  tree->internal_files = internal;
  return tree.release();
}

Tree& SharedTree() {
  static std::unique_ptr<Tree> tree(MakeTree());
  if (!tree) {
    std::fprintf(stderr, "cannot generate the source tree\n");
    std::exit(1);
  }
  return *tree;
}

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

// The create job (its scan, then the main volume) in its window on the headless toolkit, as
// the command line's "/c" runs it where it has windows.
Times RunJob(Tree& tree, benchmark::State& state) {
  ui::HeadlessToolkit tk;
  AppState app;
  FillDefaultTexts(app.Texts);
  const std::string source = platform::InternalPath(tree.source);
  const BackupSet set(platform::InternalPath(tree.backup), source);
  CancelToken cancel;
  DesktopReporter reporter(app, tk, JobKind::kCreate, kCommandLineMode, cancel);
  JobContext job{reporter, cancel, app.BlockWorkers};
  JobResult result;
  const Times times = Measure([&] { result = CreateBackup({set, kEngineZlib, kLevel, {}}, job); });
  if (result.outcome != Outcome::kDone || result.bytes_read != tree.bytes) {
    state.SkipWithError("the create job failed");
  }
  std::filesystem::remove(tree.backup + VolumeFileName(SetName(source), 0));
  return times;
}

// Read, CRC, deflate and write, block by block, with nothing else around it. It reads and
// writes through the same buffered files as the job, so that the ratio measures the job's
// own bookkeeping.
Times RunLoop(Tree& tree, benchmark::State& state) {
  const std::string output = platform::InternalPath(tree.backup + "loop.out");
  bool ok = true;
  const Times times = Measure([&] {
    BlockCodec codec;
    std::vector<uint8_t> input(kBlockBufferSize), packed(kBlockBufferSize), work(kBlockBufferSize);
    platform::File out;
    ok = out.Create(output);
    for (size_t i = 0; ok && i < tree.internal_files.size(); ++i) {
      platform::File in;
      ok = in.OpenRead(tree.internal_files[i]);
      uint32_t crc = 0;
      int64_t got;
      while (ok && (got = in.Read(input.data(), kBlockSize)) > 0) {
        const auto length = static_cast<int32_t>(got);
        crc = Crc32(crc, input.data(), static_cast<size_t>(got));
        const int32_t n =
            codec.Pack(input.data(), packed.data(), work.data(), length, kLevel, kEngineZlib);
        const int32_t frame[2] = {0, length};
        ok = n > 0 ? out.Write(&n, 4) && out.Write(packed.data(), static_cast<size_t>(n))
                   : out.Write(frame, 8) && out.Write(input.data(), static_cast<size_t>(got));
      }
      ok = ok && out.Write(&crc, 4);
    }
    ok = out.Close() && ok;
  });
  if (!ok) state.SkipWithError("the plain loop failed");
  std::filesystem::remove(tree.backup + "loop.out");
  return times;
}

int Rounds() {
  const char* text = std::getenv("SK_BENCH_ROUNDS");
  const int rounds = text != nullptr ? std::atoi(text) : 3;
  return std::max(rounds, 1);
}

void BM_CreateJobVsLoop(benchmark::State& state) {
  Tree& tree = SharedTree();
  const double megabytes = static_cast<double>(tree.bytes) / 1e6;
  Times job{1e30, 1e30}, loop{1e30, 1e30};
  const auto keep_best = [](Times& best, const Times& t) {
    best.wall = std::min(best.wall, t.wall);
    best.cpu = std::min(best.cpu, t.cpu);
  };
  for (auto _ : state) {
    for (int round = 0; round < Rounds(); ++round) {
      // Alternate which goes first, so that neither always meets a colder cache.
      if (round % 2 == 0) {
        keep_best(job, RunJob(tree, state));
        keep_best(loop, RunLoop(tree, state));
      } else {
        keep_best(loop, RunLoop(tree, state));
        keep_best(job, RunJob(tree, state));
      }
    }
    state.SetIterationTime(job.wall);
  }
  state.counters["tree_MB"] = megabytes;
  state.counters["job_MBps"] = megabytes / job.wall;
  state.counters["loop_MBps"] = megabytes / loop.wall;
  state.counters["ratio"] = loop.wall / job.wall;
  state.counters["job_cpu_MBps"] = megabytes / job.cpu;
  state.counters["loop_cpu_MBps"] = megabytes / loop.cpu;
  state.counters["cpu_ratio"] = loop.cpu / job.cpu;
  std::printf(
      "create job %.1f MB/s, plain loop %.1f MB/s, job/loop %.3f (target >= 0.90); "
      "by CPU time %.1f / %.1f MB/s, %.3f\n",
      megabytes / job.wall, megabytes / loop.wall, loop.wall / job.wall, megabytes / job.cpu,
      megabytes / loop.cpu, loop.cpu / job.cpu);
}
BENCHMARK(BM_CreateJobVsLoop)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

}  // namespace
}  // namespace sk::bench

BENCHMARK_MAIN();
