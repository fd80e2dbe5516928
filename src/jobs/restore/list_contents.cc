#include "jobs/restore/list_contents.h"

#include <algorithm>
#include <optional>
#include <unordered_set>
#include <vector>

#include "archive/crc32.h"
#include "archive/set_names.h"
#include "core/size_text.h"
#include "jobs/job_window.h"
#include "jobs/restore/restore.h"
#include "jobs/sets/restore_point.h"
#include "platform/file_system.h"

namespace sk {
namespace {

// Columns 2 and 3 of a folder row and of the ".." row.
constexpr const char* kFolderColumns = "\n<DIR>\n$00000000";

struct ContentsNames {
  std::string point;    // the restore point's display name
  std::string parent;   // R: the contents lines' paths are parent + record path
  std::string drive;    // the source folder's drive root or share, shown as "<Root>"
  std::string current;  // the folder shown; the path box shows it as the system names it
};

ContentsNames DeriveNames(const std::string& display_name) {
  const PointNameParts parts = ParsePointName(display_name);
  return {display_name, parts.parent, parts.source.substr(0, platform::RootLength(parts.source)),
          parts.parent};
}

std::string Column1(const std::string& line) { return line.substr(0, line.find('\n')); }

// One row of the contents: full path, size and CRC-32, as the list shows them.
std::string ContentsLine(const std::string& parent, const PointEntry& entry) {
  return parent + entry.path + '\n' + ByteSizeText(entry.size, 1) + '\n' + CrcText(entry.crc);
}

// The contents lines of the restore point in list 1, under the small progress window; returns
// the point's entries.
std::vector<PointEntry> ComputeContents(AppState& app, const std::string& display_name) {
  ui::Toolkit& tk = app.toolkit;
  JobWindow window(app, kInteractiveMode, {app.Text(kTextCalculating), 279, 50});
  tk.AddControl(ui::kJobWindow, {kProgressBarId, ui::ControlKind::kProgressBar, 14, 16, 250, 19, "",
                                 ui::kStyleSmooth});
  tk.SetRange(ui::kJobWindow, kProgressBarId, 0, 100);
  int64_t counter = 0;
  RestorePoint point;
  point.Load(app.BackupFolder, display_name, "", [&](RestorePoint::Step step) {
    if (step == RestorePoint::Step::kIndexRead) {
      tk.SetValue(ui::kJobWindow, kProgressBarId, 0);
      tk.SetRange(ui::kJobWindow, kProgressBarId, 0,
                  static_cast<int64_t>(point.index().added.size() + point.index().changed.size()));
    } else if (step == RestorePoint::Step::kAdditionFound) {
      tk.SetValue(ui::kJobWindow, kProgressBarId, ++counter);
      tk.PollEvent();  // keeps the window alive; not acted on
    }
  });
  std::vector<PointEntry> entries = point.Entries();
  for (const PointEntry& entry : entries) {
    app.ScanList.push_back(ContentsLine(point.name().parent, entry));
  }
  return entries;
}

void AddContentsControls(AppState& app, const ContentsNames& names) {
  ui::Toolkit& tk = app.toolkit;
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

void GoTo(AppState& app, ContentsNames& names, const std::string& folder) {
  ui::Toolkit& tk = app.toolkit;
  names.current = folder;
  tk.SetItemText(ui::kJobWindow, kContentsPathBoxId, 0, platform::ShownPath(folder));
  tk.SetValue(ui::kJobWindow, kContentsPathBoxId, 0);
  ShowFolder(app, folder);
}

void GoBack(AppState& app, ContentsNames& names) {
  const std::string current = names.current;
  if (current.size() <= names.drive.size()) return;  // already at the drive root
  const std::string folder = ParentFolder(current);
  if (folder.size() <= names.drive.size()) {
    app.toolkit.EnableControl(ui::kJobWindow, kContentsBackId, false);
  }
  GoTo(app, names, folder);
}

void OpenRow(AppState& app, ContentsNames& names) {
  ui::Toolkit& tk = app.toolkit;
  const int64_t row = tk.GetValue(ui::kJobWindow, kContentsListId);
  if (row < 0) return;
  const int r = static_cast<int>(row);
  const std::string name = tk.GetItemText(ui::kJobWindow, kContentsListId, r, 0);
  if (name == "..") return GoBack(app, names);
  if (tk.GetItemText(ui::kJobWindow, kContentsListId, r, 1) != "<DIR>") return;
  tk.EnableControl(ui::kJobWindow, kContentsBackId, true);
  GoTo(app, names, names.current + name + "\\");
}

// The record path of what the Restore command takes: the selected row, or with none the
// folder shown. A folder ends in "\"; "" is a folder that holds the whole point (the source
// folder or one above it). nullopt for the ".." row.
std::optional<std::string> PickedRecordPath(AppState& app, const ContentsNames& names) {
  ui::Toolkit& tk = app.toolkit;
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

bool IsFileRow(AppState& app) {
  ui::Toolkit& tk = app.toolkit;
  const int64_t row = tk.GetValue(ui::kJobWindow, kContentsListId);
  return row >= 0 &&
         tk.GetItemText(ui::kJobWindow, kContentsListId, static_cast<int>(row), 1) != "<DIR>";
}

// Takes the window's events until it is closed (nullopt) or the user asks to restore an
// entry (its record path, as PickedRecordPath gives it).
std::optional<std::string> Browse(AppState& app, JobWindow& window, ContentsNames& names) {
  ui::Toolkit& tk = app.toolkit;
  while (const std::optional<ui::Event> event = window.NextEvent()) {
    const bool on_list = event->control == kContentsListId;
    if (event->type == ui::EventType::kDoubleClick && on_list) {
      // A file has nothing to open: a double click restores it.
      if (IsFileRow(app)) return PickedRecordPath(app, names);
      OpenRow(app, names);
    } else if (event->type == ui::EventType::kRightClick && on_list) {
      tk.ShowContextMenu(ui::kJobWindow);
    } else if (event->type == ui::EventType::kMenu && event->control == kContentsRestoreMenuId) {
      if (auto picked = PickedRecordPath(app, names)) return picked;
    } else if (event->type == ui::EventType::kLeftClick) {
      if (event->control == kContentsCloseId) return std::nullopt;
      if (event->control == kContentsRestoreId) {
        if (auto picked = PickedRecordPath(app, names)) return picked;
      }
      if (event->control == kContentsBackId) GoBack(app, names);
      if (event->control == kContentsPathBoxId &&
          tk.GetValue(ui::kJobWindow, kContentsPathBoxId) == 1) {
        tk.EnableControl(ui::kJobWindow, kContentsBackId, false);
        GoTo(app, names, names.drive);
      }
    }
  }
  return std::nullopt;
}

// Restores one entry of the point, and what lies below a folder, through the restore job:
// the user picks the target folder and the job asks what it always asks.
void RestorePicked(AppState& app, const ContentsNames& names,
                   const std::vector<PointEntry>& entries, const std::string& record_path) {
  const bool folder = record_path.empty() || record_path.back() == '\\';
  const RestoreFilter wanted = [&](const std::string& path) {
    return folder ? path.starts_with(record_path) : path == record_path;
  };
  int64_t total = 0;
  for (const PointEntry& entry : entries) {
    if (wanted(entry.path)) total += entry.size;
  }
  app.RestoreTotal = static_cast<int32_t>(std::min<int64_t>(total / 1024, INT32_MAX));
  ui::Toolkit& tk = app.toolkit;
  const std::string target = tk.ChooseFolder(app.Text(kTextChooseTarget), "");
  if (target.empty()) return;
  if (RestoreBackup(app, names.point, target, kInteractiveMode, wanted) == 1) {
    tk.PlayInformationSound();
  }
}

void ClearLists(AppState& app) {
  for (int list = 1; list <= 4; ++list) app.List(list).clear();
}

}  // namespace

int32_t ListBackupContents(AppState& app, const std::string& display_name) {
  ClearLists(app);
  if (display_name.empty()) return 0;
  ContentsNames names = DeriveNames(display_name);
  const std::vector<PointEntry> entries = ComputeContents(app, display_name);
  std::stable_sort(
      app.ScanList.begin(), app.ScanList.end(),
      [](const std::string& a, const std::string& b) { return CompareNoCase(a, b) < 0; });
  // The restore job has windows of its own and uses the lists: the contents window closes
  // for it and opens again at the same folder afterwards.
  const StringList lines = app.ScanList;
  for (;;) {
    std::optional<std::string> picked;
    {
      JobWindow window(
          app, kInteractiveMode,
          {app.Text(kTextContentsTitle), 599, 473, ui::kWindowCloseBox | ui::kWindowMinimizeBox});
      AddContentsControls(app, names);
      ShowFolder(app, names.current);
      picked = Browse(app, window, names);
      ClearLists(app);
    }
    if (!picked) break;
    RestorePicked(app, names, entries, *picked);
    ClearLists(app);
    app.ScanList = lines;
  }
  return 0;
}

void ShowFolder(AppState& app, const std::string& folder) {
  ui::Toolkit& tk = app.toolkit;
  StringList& folders = app.StoredList;
  StringList& files = app.StoredFileList;
  tk.ClearItems(ui::kJobWindow, kContentsListId);
  folders.clear();
  files.clear();
  // On a file system that tells letter case apart, "Docs" and "docs" sort together, so a
  // sub-folder's entries need not be consecutive: each still gets one row.
  std::unordered_set<std::string> shown;
  for (const std::string& line : app.ScanList) {
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

}  // namespace sk
