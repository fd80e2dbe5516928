#include "jobs/create/scan.h"

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "jobs/create/exclusions.h"
#include "platform/file_system.h"

namespace sk {
namespace {

// What one scan carries down the tree.
struct Scan {
  JobContext& job;
  ExclusionMatcher exclusions;
  std::vector<std::string> names;  // from the source folder to the folder being listed
  ScanResult result;
};

// An excluded entry is left out whatever it is: a folder with all below it, and names the
// archive cannot hold or links it cannot keep too, so that excluding is the way past them.
bool IsExcluded(Scan& scan, const platform::FolderEntry& entry) {
  if (scan.exclusions.Empty()) return false;
  scan.names.push_back(entry.name);
  const bool excluded =
      scan.exclusions.Excludes(scan.names, entry.kind == platform::FolderEntry::Kind::kFolder);
  scan.names.pop_back();
  return excluded;
}

EntryMeta MetaOf(const std::string& path, EntryMeta::Kind kind,
                 const platform::FolderEntry& entry) {
  EntryMeta meta;
  meta.path = path;
  meta.kind = kind;
  const platform::EntryStat& stat = entry.stat;
  meta.mtime_ns = stat.mtime_ns;
  meta.has_owner = stat.has_owner;
  meta.mode = stat.mode;
  meta.uid = stat.uid;
  meta.gid = stat.gid;
  meta.has_identity = true;
  meta.size = kind == EntryMeta::Kind::kFile ? entry.size : 0;
  meta.ctime_ns = stat.ctime_ns;
  meta.device = stat.device;
  meta.inode = stat.inode;
  meta.has_birth = stat.has_birth;
  meta.birth_ns = stat.birth_ns;
  meta.link_target = entry.link_target;
  return meta;
}

Problem Named(Problem::Kind kind, const std::string& path, int error = 0) {
  Problem problem;
  problem.kind = kind;
  problem.path = path;
  problem.error = error;
  return problem;
}

// False when the folder cannot be listed.
bool ScanFolder(Scan& scan, const std::string& base, bool is_source) {
  std::vector<platform::FolderEntry> entries;
  ScanResult& result = scan.result;
  if (!platform::ListFolder(base, entries, platform::Links::kKeep)) {
    // A source that is not there has nothing to back up (an update then finds everything
    // removed); a folder that is there but cannot be read would be a silent gap.
    const int error = platform::LastError();
    if (!is_source || platform::FolderExists(base)) {
      result.problems.push_back(Named(Problem::Kind::kCannotRead, base, error));
    }
    return false;
  }
  for (const platform::FolderEntry& entry : entries) {
    if (scan.job.cancel.cancelled()) return true;
    scan.job.reporter.Progress(static_cast<int64_t>(result.entries.size()));
    if (IsExcluded(scan, entry)) continue;
    switch (entry.kind) {
      case platform::FolderEntry::Kind::kFolder:
        result.entries.push_back(base + entry.name + "\\");
        result.metadata.push_back(MetaOf(result.entries.back(), EntryMeta::Kind::kFolder, entry));
        scan.names.push_back(entry.name);
        if (!ScanFolder(scan, base + entry.name + "\\", false)) {
          // Kept, it would be restored empty as if it had been: it is left out whole, and
          // named.
          result.entries.pop_back();
          result.metadata.pop_back();
        }
        scan.names.pop_back();
        break;
      case platform::FolderEntry::Kind::kFile:
        result.entries.push_back(base + entry.name);
        result.metadata.push_back(MetaOf(result.entries.back(), EntryMeta::Kind::kFile, entry));
        result.total += entry.size;
        break;
      case platform::FolderEntry::Kind::kLink:
        result.metadata.push_back(MetaOf(base + entry.name, EntryMeta::Kind::kLink, entry));
        break;
      case platform::FolderEntry::Kind::kBadName: {
        // A "\" inside the name would read as a separator: it is named as "/", which the
        // system shows as the "\" it is.
        std::string name = entry.name;
        std::replace(name.begin(), name.end(), '\\', '/');
        result.problems.push_back(Named(Problem::Kind::kBadName, base + name));
        break;
      }
      case platform::FolderEntry::Kind::kSkipped:
        result.skipped.push_back(Named(Problem::Kind::kNotStored, base + entry.name));
        break;
    }
  }
  return true;
}

}  // namespace

ScanResult ScanTree(const std::string& folder, const std::vector<std::string>& exclusions,
                    JobContext& job) {
  const std::string base = !folder.empty() && folder.back() == '\\' ? folder : folder + "\\";
  Scan scan{job, ExclusionMatcher(exclusions, platform::kNamesIgnoreCase), {}, {}};
  scan.result.time_ns = std::chrono::duration_cast<std::chrono::nanoseconds>(
                            std::chrono::system_clock::now().time_since_epoch())
                            .count();
  ScanFolder(scan, base, true);
  return std::move(scan.result);
}

}  // namespace sk
