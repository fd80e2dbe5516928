// What the desktop windows cost the jobs. The jobs take one pending event per 6000-byte
// block, so an empty poll of the desktop toolkit must stay well under a microsecond (the
// headless toolkit's poll beside it for scale), and the create job with its window on the
// screen must keep at least 95% of its throughput without one.
//
// Needs a display: run it under xvfb-run (xvfb-run -a build/bench/wx_poll_bench).
#include <benchmark/benchmark.h>

#ifdef SK_HAVE_WX

#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

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
#include "ui/wx/wx_toolkit.h"

namespace sk::bench {
namespace {

constexpr int kFileCount = 300;
constexpr int64_t kTreeBytes = 60 * 1000 * 1000;
constexpr uint32_t kSeed = 1987;
constexpr int32_t kZlibEngine = 2;
constexpr int32_t kLevel = 6;

ui::WxToolkit* Desktop() {
  static std::unique_ptr<ui::WxToolkit> toolkit = [] {
    std::unique_ptr<ui::WxToolkit> made;
    if (ui::WxToolkit::Start()) {
      made = std::make_unique<ui::WxToolkit>();
      // A question the job might ask is answered without a box.
      made->message_hook = [](const ui::WxToolkit::MessageInfo&) {
        return std::optional<ui::Answer>(ui::Answer::kYes);
      };
    }
    return made;
  }();
  return toolkit.get();
}

void EmptyPoll(benchmark::State& state, ui::Toolkit& tk) {
  tk.OpenWindow(ui::kJobWindow, {"Poll", 300, 100});
  tk.AddControl(ui::kJobWindow, {31, ui::ControlKind::kButton, 10, 10, 100, 25, "Cancel"});
  for (auto _ : state) benchmark::DoNotOptimize(tk.PollEvent());
  tk.CloseWindow(ui::kJobWindow);
}

void BM_EmptyPollDesktop(benchmark::State& state) {
  if (Desktop() == nullptr) {
    state.SkipWithError("no display");
    return;
  }
  EmptyPoll(state, *Desktop());
}
BENCHMARK(BM_EmptyPollDesktop);

void BM_EmptyPollHeadless(benchmark::State& state) {
  ui::HeadlessToolkit tk;
  EmptyPoll(state, tk);
}
BENCHMARK(BM_EmptyPollHeadless);

struct Tree {
  std::string root, source, backup;  // native, ending in "/"
  int64_t bytes = 0;
  ~Tree() {
    std::error_code ignored;
    if (!root.empty()) std::filesystem::remove_all(root, ignored);
  }
};

Tree* SharedTree() {
  static std::unique_ptr<Tree> tree = [] {
    auto made = std::make_unique<Tree>();
    std::string pattern = "/tmp/sk-wxbench-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) return std::unique_ptr<Tree>();
    made->root = pattern + "/";
    made->source = made->root + "src/";
    made->backup = made->root + "backup/";
    std::filesystem::create_directories(made->backup);
    for (const GeneratedFile& file : GenerateTree(made->source, kFileCount, kTreeBytes, kSeed)) {
      made->bytes += file.size;
    }
    if (made->bytes == 0) return std::unique_ptr<Tree>();
    return made;
  }();
  return tree.get();
}

// One create job from the main window, as the Create button runs it; bytes per second.
double CreateThroughput(ui::Toolkit& tk, const Tree& tree) {
  AppState app;
  FillDefaultTexts(app.Texts);
  const BackupSet set(platform::InternalPath(tree.backup), platform::InternalPath(tree.source));
  tk.OpenWindow(ui::kMainWindow, {"Stowkeeper", 599, 500});
  const auto start = std::chrono::steady_clock::now();
  JobResult result;
  {
    CancelToken cancel;
    DesktopReporter reporter(app, tk, JobKind::kCreate, kInteractiveMode, cancel);
    JobContext job{reporter, cancel, app.BlockWorkers};
    result = CreateBackup({set, kZlibEngine, kLevel, {}}, job);
  }
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
  tk.CloseWindow(ui::kMainWindow);
  std::error_code ignored;
  for (const auto& entry : std::filesystem::directory_iterator(tree.backup, ignored)) {
    std::filesystem::remove(entry.path(), ignored);
  }
  return result.outcome == Outcome::kDone ? static_cast<double>(tree.bytes) / elapsed.count() : 0.0;
}

// Alternating rounds in one run; the best round of each counts, and their ratio is the
// figure that matters.
void BM_CreateJobDesktopVersusHeadless(benchmark::State& state) {
  Tree* tree = SharedTree();
  if (Desktop() == nullptr || tree == nullptr) {
    state.SkipWithError(Desktop() == nullptr ? "no display" : "no tree");
    return;
  }
  double best_headless = 0, best_desktop = 0;
  for (auto _ : state) {
    ui::HeadlessToolkit headless;
    best_headless = std::max(best_headless, CreateThroughput(headless, *tree));
    best_desktop = std::max(best_desktop, CreateThroughput(*Desktop(), *tree));
  }
  state.counters["headless_MBps"] = best_headless / 1e6;
  state.counters["desktop_MBps"] = best_desktop / 1e6;
  state.counters["desktop_share"] = best_headless > 0 ? best_desktop / best_headless : 0;
}
BENCHMARK(BM_CreateJobDesktopVersusHeadless)->Iterations(5)->Unit(benchmark::kSecond);

}  // namespace
}  // namespace sk::bench

#else

// Built without desktop windows: nothing to measure.
static void BM_NoDesktop(benchmark::State& state) {
  state.SkipWithError("built without wxWidgets");
  for (auto _ : state) {
  }
}
BENCHMARK(BM_NoDesktop);

#endif

BENCHMARK_MAIN();
