// Removing restore points from a set of 200 points of a 10,000-file tree, keeping the newest
// 20, in two sets:
//   - "nothing moves": every update changes the same 10 files, so the kept points need no
//     version of a removed one; the removal renames, rewrites 20 indexes and removes 180
//     points. Target: at most 2 s.
//   - "versions move": every update adds 10 files that stay, so the first kept point receives
//     every version the removed points stored. Floor: reading those records' bytes and writing
//     them once, flushed (what a removal cannot do without); the removal's time is shown as a
//     ratio to it.
// The tree goes below TMPDIR (or /tmp). Building the sets takes a few minutes.
#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "archive/block.h"
#include "archive/set_names.h"
#include "jobs/create/create.h"
#include "jobs/job.h"
#include "jobs/sets/backup_set.h"
#include "jobs/sets/retention.h"
#include "jobs/sets/update.h"
#include "platform/file_system.h"

namespace sk::bench {
namespace {

namespace fs = std::filesystem;

constexpr int kFolders = 100, kFilesPerFolder = 100;  // 10,000 files
constexpr int kPoints = 200;
constexpr int kKeep = 20;
constexpr int kFilesPerUpdate = 10;

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

void WriteFile(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

std::string Content(int seed, int version) {
  std::string text;
  for (int i = 0; i < 40; ++i) {
    text += "line " + std::to_string(seed) + " of version " + std::to_string(version) + "\n";
  }
  return text;
}

struct Set {
  fs::path root;
  BackupSet set;
};

bool Run(JobResult result, const char* what) {
  if (result.ok()) return true;
  std::fprintf(stderr, "retention_bench: the %s failed\n", what);
  return false;
}

// A set of kPoints points: the main volume of the tree, then one update per round, each
// changing (moves == false) or adding (moves == true) kFilesPerUpdate files.
bool BuildSet(Set& s, bool moves) {
  for (int f = 0; f < kFolders; ++f) {
    for (int n = 0; n < kFilesPerFolder; ++n) {
      WriteFile(s.root / "src" / "Tree" / ("d" + std::to_string(f)) / ("f" + std::to_string(n)),
                Content(f * kFilesPerFolder + n, 0));
    }
  }
  fs::create_directories(s.root / "backups");
  s.set = BackupSet(platform::InternalPath((s.root / "backups").string()) + "\\",
                    platform::InternalPath((s.root / "src" / "Tree").string()) + "\\");
  SilentReporter reporter;
  CancelToken cancel;
  JobContext job{reporter, cancel, 0};
  if (!Run(CreateBackup({s.set, kEngineZlib, 1, {}}, job), "create")) return false;
  for (int round = 1; round <= kPoints; ++round) {
    for (int i = 0; i < kFilesPerUpdate; ++i) {
      const fs::path file = moves ? s.root / "src" / "Tree" / "new" /
                                        ("r" + std::to_string(round) + "_" + std::to_string(i))
                                  : s.root / "src" / "Tree" / "d0" / ("f" + std::to_string(i));
      WriteFile(file, Content(i, round));
    }
    if (!Run(UpdateBackup({s.set, 1, {}}, job), "update")) return false;
  }
  return true;
}

// Reads the bytes of the removed volumes and writes them into one file, flushed: what moving
// them costs at the least.
double CopyFloor(const Set& s, int64_t bytes) {
  const auto start = std::chrono::steady_clock::now();
  platform::File out;
  const std::string target = platform::InternalPath((s.root / "floor").string());
  if (!out.Create(target)) return 0;
  std::string buffer;
  int64_t left = bytes;
  for (int k = 1; k <= kPoints - kKeep && left > 0; ++k) {
    std::ifstream in(s.root / "backups" / VolumeFileName(s.set.name(), k), std::ios::binary);
    buffer.assign(std::istreambuf_iterator<char>(in), {});
    const size_t take = static_cast<size_t>(std::min<int64_t>(left, buffer.size()));
    out.Write(buffer.data(), take);
    left -= static_cast<int64_t>(take);
  }
  out.Sync();
  out.Close();
  return Seconds(start);
}

int Main() {
  const char* tmp = getenv("TMPDIR");
  std::string pattern = std::string(tmp != nullptr ? tmp : "/tmp") + "/sk-retention-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) return 1;
  const fs::path root = pattern;
  int status = 0;
  for (const bool moves : {false, true}) {
    Set s{root / (moves ? "moves" : "still"), {}};
    const auto build = std::chrono::steady_clock::now();
    if (!BuildSet(s, moves)) {
      status = 1;
      break;
    }
    const double built = Seconds(build);
    SilentReporter reporter;
    CancelToken cancel;
    JobContext job{reporter, cancel, 0};
    const auto start = std::chrono::steady_clock::now();
    const RemovalResult removal = RemovePoints({s.set, {.last = kKeep}, false}, job);
    const double took = Seconds(start);
    if (!Run(removal, "removal")) {
      status = 1;
      break;
    }
    std::printf("%s: %zu of %d points removed, %lld bytes moved, in %.3f s (set built in %.0f s)\n",
                moves ? "versions move" : "nothing moves", removal.removed.size(), kPoints + 1,
                static_cast<long long>(removal.bytes_moved), took, built);
    if (moves) {
      const double floor = CopyFloor(s, removal.bytes_moved);
      std::printf("  floor (read and write the moved bytes once, flushed): %.3f s; ratio %.2f\n",
                  floor, floor > 0 ? took / floor : 0.0);
    } else {
      std::printf("  target: at most 2 s: %s\n", took <= 2.0 ? "met" : "NOT met");
    }
  }
  std::error_code ignored;
  fs::remove_all(root, ignored);
  return status;
}

}  // namespace
}  // namespace sk::bench

int main() { return sk::bench::Main(); }
