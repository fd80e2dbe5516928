#include "jobs/create/scan.h"

#include <vector>

#include "jobs/create/exclusions.h"
#include "platform/file_system.h"

namespace sk {
namespace {

// What one scan carries down the tree: the source's exclusions and the names from the
// source folder to the folder being listed.
struct ScanContext {
  ExclusionMatcher exclusions;
  std::vector<std::string> names;
};

// An excluded entry is left out whatever it is: a folder with all below it, and names the
// archive cannot hold or links it cannot keep too, so that excluding is the way past them.
bool IsExcluded(ScanContext& context, const platform::FolderEntry& entry) {
  if (context.exclusions.Empty()) return false;
  context.names.push_back(entry.name);
  const bool excluded = context.exclusions.Excludes(
      context.names, entry.kind == platform::FolderEntry::Kind::kFolder);
  context.names.pop_back();
  return excluded;
}

void ScanFolder(AppState& app, ScanContext& context, const std::string& base, bool quiet,
                bool is_source) {
  std::vector<platform::FolderEntry> entries;
  if (!platform::ListFolder(base, entries)) {
    // A source that is not there has nothing to back up (an update then finds everything
    // removed); a folder that is there but cannot be read would be a silent gap.
    if (!is_source || platform::FolderExists(base)) app.ScanProblems.push_back(base);
    return;
  }
  for (const platform::FolderEntry& entry : entries) {
    // Let the windows repaint; the event itself is not acted on.
    if (!quiet) app.toolkit.PollEvent();
    if (IsExcluded(context, entry)) continue;
    switch (entry.kind) {
      case platform::FolderEntry::Kind::kFolder:
        app.ScanList.push_back(base + entry.name + "\\");
        context.names.push_back(entry.name);
        ScanFolder(app, context, base + entry.name + "\\", quiet, false);
        context.names.pop_back();
        break;
      case platform::FolderEntry::Kind::kFile:
        app.ScanList.push_back(base + entry.name);
        app.ScanTotal += entry.size;
        break;
      case platform::FolderEntry::Kind::kBadName:
        app.ScanProblems.push_back(base + entry.name);
        break;
      case platform::FolderEntry::Kind::kSkipped:
        app.ScanSkipped.push_back(base + entry.name);
        break;
    }
  }
}

}  // namespace

void ScanTree(AppState& app, const std::string& folder, bool quiet) {
  const std::string base = !folder.empty() && folder.back() == '\\' ? folder : folder + "\\";
  ScanContext context;
  context.exclusions = ExclusionMatcher(ExclusionsOf(app, base), platform::kNamesIgnoreCase);
  ScanFolder(app, context, base, quiet, true);
}

void ReportSkippedEntries(AppState& app) {
  if (app.ScanSkipped.empty()) return;
  std::string text = app.Text(kTextNotBackedUp);
  for (size_t i = 0; i < app.ScanSkipped.size() && i < kSkippedShown; ++i) {
    const std::string native = platform::NativePath(app.ScanSkipped[i]);
    text += "\n" + (native.empty() ? app.ScanSkipped[i] : native);
  }
  if (app.ScanSkipped.size() > kSkippedShown) {
    text +=
        "\n+ " + std::to_string(app.ScanSkipped.size() - kSkippedShown) + " " + app.Text(kTextMore);
  }
  app.ScanSkipped.clear();
  app.toolkit.MessageBox(app.Text(kTextInfo), text, ui::Icon::kInformation, ui::Buttons::kOk);
}

void ClearScan(AppState& app) {
  app.ScanList.clear();
  app.ScanTotal = 0;
  app.ScanProblems.clear();
  app.ScanSkipped.clear();
}

}  // namespace sk
