#include "jobs/create/scan.h"

#include <vector>

#include "platform/file_system.h"

namespace sk {

void ScanTree(AppState& app, const std::string& folder, int quiet) {
  const std::string base = !folder.empty() && folder.back() == '\\' ? folder : folder + "\\";
  std::vector<platform::FolderEntry> entries;
  // An unreadable folder is skipped: its own entry is already recorded by the caller.
  if (!platform::ListFolder(base, entries)) return;
  for (const platform::FolderEntry& entry : entries) {
    // Let the windows repaint; the event itself is not acted on.
    if (quiet == 0) app.toolkit.PollEvent();
    switch (entry.kind) {
      case platform::FolderEntry::Kind::kFolder:
        app.ScanList.push_back(base + entry.name + "\\");
        ScanTree(app, base + entry.name + "\\", quiet);
        break;
      case platform::FolderEntry::Kind::kFile:
        app.ScanList.push_back(base + entry.name);
        app.ScanTotal += entry.size;
        break;
      case platform::FolderEntry::Kind::kBadName:
        app.ScanProblems.push_back(base + entry.name);
        break;
      case platform::FolderEntry::Kind::kSkipped:
        break;
    }
  }
}

}  // namespace sk
