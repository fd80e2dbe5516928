#include "shell/contents_window.h"

#include <algorithm>
#include <optional>
#include <unordered_set>
#include <vector>

#include "archive/crc32.h"
#include "archive/set_names.h"
#include "core/size_text.h"
#include "jobs/restore/restore.h"
#include "jobs/sets/read_point.h"
#include "platform/file_system.h"
#include "shell/desktop_reporter.h"
#include "shell/job_window.h"
#include "shell/restore_window.h"

namespace sk {
namespace {

// Columns 2 and 3 of a folder row and of the ".." row.
constexpr const char* kFolderColumns = "\n<DIR>\n$00000000";

// The window's state: the point's names, its contents lines and the folder shown.
struct ContentsNames {
  // One line per entry, sorted: full path, size and CRC-32 as the list shows them.
  std::vector<std::string> lines;
  std::string point;    // the restore point's display name
  std::string parent;   // R: the contents lines' paths are parent + record path
  std::string drive;    // the source folder's drive root or share, shown as "<Root>"
  std::string current;  // the folder shown; the path box shows it as the system names it
};

ContentsNames DeriveNames(const std::string& display_name) {
  const PointNameParts parts = ParsePointName(display_name);
  return {{},
          display_name,
          parts.parent,
          parts.source.substr(0, platform::RootLength(parts.source)),
          parts.parent};
}

std::string Column1(const std::string& line) { return line.substr(0, line.find('\n')); }

// One row of the contents: full path, size and CRC-32, as the list shows them.
std::string ContentsLine(const std::string& parent, const PointEntry& entry) {
  return parent + entry.path + '\n' + ByteSizeText(entry.size, 1) + '\n' + CrcText(entry.crc);
}

// The contents lines of the restore point, read under the small progress window; returns
// the point's entries.
std::vector<PointEntry> ComputeContents(Desktop& desk, ContentsNames& names) {
  CancelToken cancel;
  DesktopReporter reporter(desk.app, desk.tk, JobKind::kList, kInteractiveMode, cancel);
  reporter.SetPointName(names.point);
  JobContext job{reporter, cancel, desk.app.BlockWorkers};
  const BackupSet set = BackupSet::OfPointName(desk.app.BackupFolder, names.point);
  const PointResult read = ReadPoint(set, GenerationOfName(names.point), job);
  std::vector<PointEntry> entries = read.contents.Entries();
  for (const PointEntry& entry : entries) {
    names.lines.push_back(ContentsLine(read.contents.name().parent, entry));
  }
  std::stable_sort(
      names.lines.begin(), names.lines.end(),
      [](const std::string& a, const std::string& b) { return CompareNoCase(a, b) < 0; });
  return entries;
}

void AddContentsControls(Desktop& desk, const ContentsNames& names) {
  AppState& app = desk.app;
  ui::Toolkit& tk = desk.tk;
  const int w = ui::kJobWindow;
  tk.AddControl(w, {kContentsPathBoxId, ui::ControlKind::kDropDown, 10, 12, 473, 22});
  tk.AddItem(w, kContentsPathBoxId, platform::ShownPath(names.current));
  tk.AddItem(w, kContentsPathBoxId, app.Text(kTextRoot));
  tk.SetValue(w, kContentsPathBoxId, 0);
  tk.AddControl(w,
                {kContentsBackId, ui::ControlKind::kButton, 487, 11, 102, 24, app.Text(kTextBack)});
  tk.AddControl(w, {kContentsListId, ui::ControlKind::kReportList, 10, 42, 579, 385});
  tk.AddColumn(w, kContentsListId, app.Text(kTextNameColumn), 411);
  tk.AddColumn(w, kContentsListId, app.Text(kTextSizeColumn), 70);
  tk.AddColumn(w, kContentsListId, app.Text(kTextCrcColumn), 90);
  tk.AddControl(w, {kContentsRestoreId, ui::ControlKind::kButton, 10, 437, 150, 26,
                    app.Text(kTextRestoreEntry)});
  tk.AddControl(
      w, {kContentsCloseId, ui::ControlKind::kButton, 203, 437, 194, 26, app.Text(kTextClose)});
  tk.SetContextMenu(w, {"", {{kContentsRestoreMenuId, app.Text(kTextRestoreEntry)}}});
  if (names.current.size() <= names.drive.size()) tk.EnableControl(w, kContentsBackId, false);
}

// Fills the contents list with the rows of one folder (a full path ending in "\\"): "..",
// unless the folder is a drive root, then its sub-folders, then its files.
void ShowFolder(Desktop& desk, const ContentsNames& names, const std::string& folder) {
  ui::Toolkit& tk = desk.tk;
  tk.ClearItems(ui::kJobWindow, kContentsListId);
  std::vector<std::string> folders;
  std::vector<std::string> files;
  // On a file system that tells letter case apart, "Docs" and "docs" sort together, so a
  // sub-folder's entries need not be consecutive: each still gets one row.
  std::unordered_set<std::string> shown;
  for (const std::string& line : names.lines) {
    if (line.size() <= folder.size() || line.compare(0, folder.size(), folder) != 0) continue;
    const std::string rest = line.substr(folder.size());
    const std::string path = Column1(rest);
    const size_t slash = path.find('\\');
    if (slash != std::string::npos) {
      std::string row = path.substr(0, slash) + kFolderColumns;
      if (shown.insert(row).second) folders.push_back(std::move(row));
    } else if (!path.empty()) {
      files.push_back(rest);
    }
  }
  if (folder.size() > platform::RootLength(folder)) {
    tk.AddItem(ui::kJobWindow, kContentsListId, std::string("..") + kFolderColumns,
               kImageParentFolder);
  }
  for (const std::string& row : folders)
    tk.AddItem(ui::kJobWindow, kContentsListId, row, kImageFolder);
  for (const std::string& row : files) tk.AddItem(ui::kJobWindow, kContentsListId, row, kImageFile);
}

void GoTo(Desktop& desk, ContentsNames& names, const std::string& folder) {
  ui::Toolkit& tk = desk.tk;
  names.current = folder;
  tk.SetItemText(ui::kJobWindow, kContentsPathBoxId, 0, platform::ShownPath(folder));
  tk.SetValue(ui::kJobWindow, kContentsPathBoxId, 0);
  ShowFolder(desk, names, folder);
}

void GoBack(Desktop& desk, ContentsNames& names) {
  const std::string current = names.current;
  if (current.size() <= names.drive.size()) return;  // already at the drive root
  const std::string folder = ParentFolder(current);
  if (folder.size() <= names.drive.size()) {
    desk.tk.EnableControl(ui::kJobWindow, kContentsBackId, false);
  }
  GoTo(desk, names, folder);
}

void OpenRow(Desktop& desk, ContentsNames& names) {
  ui::Toolkit& tk = desk.tk;
  const int64_t row = tk.GetValue(ui::kJobWindow, kContentsListId);
  if (row < 0) return;
  const int r = static_cast<int>(row);
  const std::string name = tk.GetItemText(ui::kJobWindow, kContentsListId, r, 0);
  if (name == "..") return GoBack(desk, names);
  if (tk.GetItemText(ui::kJobWindow, kContentsListId, r, 1) != "<DIR>") return;
  tk.EnableControl(ui::kJobWindow, kContentsBackId, true);
  GoTo(desk, names, names.current + name + "\\");
}

// The record path of what the Restore command takes: the selected row, or with none the
// folder shown. A folder ends in "\"; "" is a folder that holds the whole point (the source
// folder or one above it). nullopt for the ".." row.
std::optional<std::string> PickedRecordPath(Desktop& desk, const ContentsNames& names) {
  ui::Toolkit& tk = desk.tk;
  const int64_t row = tk.GetValue(ui::kJobWindow, kContentsListId);
  std::string full = names.current;
  if (row >= 0) {
    const int r = static_cast<int>(row);
    const std::string name = tk.GetItemText(ui::kJobWindow, kContentsListId, r, 0);
    if (name == "..") return std::nullopt;
    const bool folder = tk.GetItemText(ui::kJobWindow, kContentsListId, r, 1) == "<DIR>";
    full += folder ? name + "\\" : name;
  }
  return full.size() > names.parent.size() ? full.substr(names.parent.size()) : "";
}

bool IsFileRow(Desktop& desk) {
  ui::Toolkit& tk = desk.tk;
  const int64_t row = tk.GetValue(ui::kJobWindow, kContentsListId);
  return row >= 0 &&
         tk.GetItemText(ui::kJobWindow, kContentsListId, static_cast<int>(row), 1) != "<DIR>";
}

// Takes the window's events until it is closed (nullopt) or the user asks to restore an
// entry (its record path, as PickedRecordPath gives it).
std::optional<std::string> Browse(Desktop& desk, JobWindow& window, ContentsNames& names) {
  ui::Toolkit& tk = desk.tk;
  while (const std::optional<ui::Event> event = window.NextEvent()) {
    const bool on_list = event->control == kContentsListId;
    if (event->type == ui::EventType::kDoubleClick && on_list) {
      // A file has nothing to open: a double click restores it.
      if (IsFileRow(desk)) return PickedRecordPath(desk, names);
      OpenRow(desk, names);
    } else if (event->type == ui::EventType::kRightClick && on_list) {
      tk.ShowContextMenu(ui::kJobWindow);
    } else if (event->type == ui::EventType::kMenu && event->control == kContentsRestoreMenuId) {
      if (auto picked = PickedRecordPath(desk, names)) return picked;
    } else if (event->type == ui::EventType::kLeftClick) {
      if (event->control == kContentsCloseId) return std::nullopt;
      if (event->control == kContentsRestoreId) {
        if (auto picked = PickedRecordPath(desk, names)) return picked;
      }
      if (event->control == kContentsBackId) GoBack(desk, names);
      if (event->control == kContentsPathBoxId &&
          tk.GetValue(ui::kJobWindow, kContentsPathBoxId) == 1) {
        tk.EnableControl(ui::kJobWindow, kContentsBackId, false);
        GoTo(desk, names, names.drive);
      }
    }
  }
  return std::nullopt;
}

// Restores one entry of the point, and what lies below a folder, through the restore job:
// the user picks the target folder and the structure, and the job asks what it always asks.
void RestorePicked(Desktop& desk, const ContentsNames& names, const std::string& record_path) {
  const bool folder = record_path.empty() || record_path.back() == '\\';
  const RestoreFilter wanted = [&](const std::string& path) {
    return folder ? path.starts_with(record_path) : path == record_path;
  };
  if (RestoreWithWindows(desk, names.point, wanted)) desk.tk.PlayInformationSound();
}

}  // namespace

void ListBackupContents(Desktop& desk, const std::string& display_name) {
  if (display_name.empty()) return;
  ContentsNames names = DeriveNames(display_name);
  ComputeContents(desk, names);
  // The restore job has windows of its own: the contents window closes for it and opens
  // again at the same folder afterwards.
  for (;;) {
    std::optional<std::string> picked;
    {
      JobWindow window(desk.tk, kInteractiveMode,
                       {desk.app.Text(kTextContentsTitle), 599, 473,
                        ui::kWindowCloseBox | ui::kWindowMinimizeBox});
      AddContentsControls(desk, names);
      ShowFolder(desk, names, names.current);
      picked = Browse(desk, window, names);
    }
    if (!picked) break;
    RestorePicked(desk, names, *picked);
  }
}

}  // namespace sk
