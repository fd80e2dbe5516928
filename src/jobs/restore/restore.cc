#include "jobs/restore/restore.h"

#include <algorithm>
#include <unordered_map>
#include <vector>

#include "archive/set_names.h"
#include "archive/volume.h"
#include "jobs/create/create.h"
#include "jobs/create/generations.h"
#include "jobs/sets/properties.h"
#include "jobs/sets/volume_reader.h"
#include "platform/file_system.h"
#include "shell/size_text.h"

namespace sk {
namespace {

// "Backup_0003_of_" followed by the source folder's drive ("C:\"): what the option of the
// complete structure leaves out of the restore point name.
constexpr size_t kStructureStart = kNamePrefixLength + 3;
// Separates the full path and the volume name in the change list.
constexpr char kFieldSeparator = '\x01';

struct RestoreJob {
  AppState& app;
  int32_t mode = 0;
  std::string point_name;
  std::string target;
  std::string parent;      // the source folder's parent: record paths are relative to it
  std::string main_base;   // backup folder + "Backup_0000_of_" + set name
  std::string point_base;  // backup folder + the restore point's prefix + set name
  std::string set_name;

  bool IsUpdate() const { return main_base != point_base; }
  StringList& entries() { return app.ScanList; }    // relative paths of the main volume
  StringList& changes() { return app.StoredList; }  // full path, separator, volume name
};

void ShowFailure(AppState& app, const std::string& detail = "") {
  const std::string text = detail.empty() ? app.Text(39) : app.Text(39) + "\n\n" + detail;
  app.toolkit.MessageBox(app.Text(32), text, ui::Icon::kWarning, ui::Buttons::kOk);
  app.Cancelled = 1;
}

// "path: cause" for a path that could not be written or read.
std::string Reason(const std::string& path, int error) {
  const std::string native = platform::NativePath(path);
  std::string text = native.empty() ? path : native;
  const std::string cause = platform::ErrorText(error);
  if (!cause.empty()) text += ": " + cause;
  return text;
}

bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

std::string ReplaceNoCase(const std::string& text, const std::string& key,
                          const std::string& value) {
  const std::string lower_text = LowerCase(text);
  const std::string lower_key = LowerCase(key);
  std::string result;
  size_t from = 0;
  for (size_t at = lower_text.find(lower_key); at != std::string::npos;
       at = lower_text.find(lower_key, from)) {
    result += text.substr(from, at - from) + value;
    from = at + key.size();
  }
  return result + text.substr(from);
}

std::string Field(const std::string& item, int number) {
  const size_t cut = item.find(kFieldSeparator);
  if (number == 1) return item.substr(0, cut);
  return cut == std::string::npos ? std::string() : item.substr(cut + 1);
}

// --- The parameters window.

bool ChooseFromList(RestoreJob& job) {
  ui::Toolkit& tk = job.app.toolkit;
  const int64_t row = tk.GetValue(ui::kMainWindow, ui::kRestoreList);
  if (row < 0) return false;
  job.point_name = tk.GetItemText(ui::kMainWindow, ui::kRestoreList, static_cast<int>(row), 0);
  job.target = tk.ChooseFolder(job.app.Text(36), "");
  return !job.target.empty();
}

void OpenParametersWindow(RestoreJob& job) {
  AppState& app = job.app;
  ui::Toolkit& tk = app.toolkit;
  uint32_t flags = ui::kWindowCloseBox | ui::kWindowMinimizeBox;
  if (job.mode == 1) flags |= ui::kWindowCenterOnScreen;
  tk.OpenWindow(ui::kJobWindow, {app.Text(45), 322, 120, flags});
  tk.AddControl(ui::kJobWindow, {kRestoreCompleteOptionId, ui::ControlKind::kOption, 24, 18, 284,
                                 20, app.Text(46)});
  tk.AddControl(ui::kJobWindow, {kRestoreSubfolderOptionId, ui::ControlKind::kOption, 24, 41, 284,
                                 20, app.Text(47)});
  tk.AddControl(ui::kJobWindow,
                {kRestoreOkId, ui::ControlKind::kButton, 118, 80, 90, 25, app.Text(6),
                 ui::kRoleDefault});
  tk.AddControl(ui::kJobWindow,
                {kRestoreCancelId, ui::ControlKind::kButton, 216, 80, 90, 25, app.Text(7),
                 ui::kRoleCancel});
  tk.SetValue(ui::kJobWindow, kRestoreCompleteOptionId, 1);
  tk.SetValue(ui::kJobWindow, kRestoreSubfolderOptionId, 0);
}

enum class Choice { kComplete, kSubfolder, kCancel };

Choice WaitForParameters(ui::Toolkit& tk) {
  for (;;) {
    const ui::Event event = tk.WaitEvent();
    if (!tk.WindowExists(ui::kJobWindow)) return Choice::kCancel;
    if (event.window != ui::kJobWindow) continue;
    if (event.type == ui::EventType::kClose) return Choice::kCancel;
    if (event.type != ui::EventType::kLeftClick) continue;
    switch (event.control) {
      case kRestoreCompleteOptionId:
      case kRestoreSubfolderOptionId:
        tk.SetValue(ui::kJobWindow, kRestoreCompleteOptionId,
                    event.control == kRestoreCompleteOptionId);
        tk.SetValue(ui::kJobWindow, kRestoreSubfolderOptionId,
                    event.control == kRestoreSubfolderOptionId);
        break;
      case kRestoreOkId:
        return tk.GetValue(ui::kJobWindow, kRestoreSubfolderOptionId) == 1 ? Choice::kSubfolder
                                                                           : Choice::kComplete;
      case kRestoreCancelId:
        return Choice::kCancel;
      default:
        break;
    }
  }
}

// Asks for the structure option and settles the target folder. False when cancelled (or
// when the source folder's path cannot be recreated below the target).
bool AskParameters(RestoreJob& job) {
  AppState& app = job.app;
  ui::Toolkit& tk = app.toolkit;
  if (job.mode == 0) tk.EnableWindow(ui::kMainWindow, false);
  OpenParametersWindow(job);
  const Choice choice = WaitForParameters(tk);
  if (job.mode == 0) tk.EnableWindow(ui::kMainWindow, true);
  tk.CloseWindow(ui::kJobWindow);
  if (choice == Choice::kCancel) return false;
  if (choice == Choice::kComplete && !EndsWith(job.point_name, ":\\") &&
      job.point_name.size() > kStructureStart) {
    // The source folder's path without its drive, recreated below the target; the entry
    // paths already begin with the source folder's own name.
    const std::string structure = job.point_name.substr(kStructureStart);
    if (!IsSafeRelativePath(structure)) {
      ShowFailure(app);
      return false;
    }
    job.target = ParentFolder(job.target + structure);
  }
  return true;
}

// --- The entry list.

void DeriveNames(RestoreJob& job) {
  const std::string& folder = job.app.BackupFolder;
  const std::string source =
      job.point_name.size() > kNamePrefixLength ? job.point_name.substr(kNamePrefixLength) : "";
  job.parent = ParentFolder(source);
  job.set_name = SetName(source);
  job.main_base = folder + "Backup_0000_of_" + job.set_name;
  job.point_base = folder + job.point_name.substr(0, kNamePrefixLength) + job.set_name;
}

// The restore point name with the source folder as the system names it.
std::string ShownPointName(const RestoreJob& job) {
  const std::string source =
      job.point_name.size() > kNamePrefixLength ? job.point_name.substr(kNamePrefixLength) : "";
  const std::string native = platform::NativePath(source);
  return job.point_name.substr(0, std::min(job.point_name.size(), kNamePrefixLength)) +
         (native.empty() ? source : native);
}

// Whether the files of the restore point can be opened; `missing` tells which cannot, and
// why. A point beyond a missing index is the leftover of an interrupted job, no restore
// point: its index may name volumes that hold other content by now.
bool PointIsThere(const RestoreJob& job, std::string& missing) {
  std::vector<std::string> files = {job.main_base + ".sk"};
  if (job.IsUpdate()) files.push_back(job.point_base + ".ini");
  for (const std::string& path : files) {
    platform::File file;
    if (!file.OpenRead(path)) {
      missing = Reason(path, file.error());
      return false;
    }
  }
  if (job.IsUpdate()) {
    const int32_t generation = GenerationOfName(job.point_name);
    if (generation >= NextGeneration(job.app.BackupFolder, job.set_name)) {
      missing = Reason(job.point_base + ".ini", 0);
      return false;
    }
  }
  return true;
}

bool IsEmptyVolume(const std::string& path) {
  platform::File file;
  uint8_t word[4];
  return file.OpenRead(path) && file.ReadExact(word, sizeof word) &&
         CheckHeaderWord(GetU32(word)) >= 0;
}

// The main volume's record paths in record order. False when the volume is missing, cut
// short, not a volume or damaged: its entries cannot all be restored.
bool LoadEntryList(RestoreJob& job) {
  const std::string path = job.main_base + ".sk";
  // A header without records is an empty backup.
  if (platform::FileSize(path) == kHeaderSize) return IsEmptyVolume(path);
  VolumeReader reader;
  if (OpenVolume(reader, path) < 0) return false;
  while (ReadNextEntry(reader)) job.entries().push_back(reader.entry.Path);
  return !reader.damaged;
}

// Drops the main volume's entries that the index lists as removed or changed (the full
// paths must match exactly; each item takes one entry).
void RemoveReplaced(RestoreJob& job, const UpdateIndex& index) {
  std::unordered_map<std::string, int> items;
  for (const std::string& path : index.removed) ++items[path];
  for (const IndexItem& item : index.changed) ++items[item.path];
  if (items.empty()) return;
  ui::Toolkit& tk = job.app.toolkit;
  StringList& entries = job.entries();
  std::erase_if(entries, [&](const std::string& entry) {
    tk.PollEvent();  // keeps the window alive; not acted on
    auto it = items.find(job.parent + entry);
    if (it == items.end()) return false;
    if (--it->second == 0) items.erase(it);
    return true;
  });
}

void FillChangeList(RestoreJob& job, const UpdateIndex& index) {
  StringList& changes = job.changes();
  changes.clear();
  for (const auto* group : {&index.added, &index.changed}) {
    for (const IndexItem& item : *group) {
      changes.push_back(item.path + kFieldSeparator + item.volume);
    }
  }
}

// --- Restoring.

// The per-entry steps: find the record, ask before replacing the file it will write, write
// it. A failure shows its message and sets the cancel flag.
void RestoreOne(RestoreJob& job, RestoreSource& source, const std::string& relative_path) {
  AppState& app = job.app;
  VolumeReader& reader = source.reader;
  if (!FindEntry(reader, relative_path)) return ShowFailure(app);
  const std::string name = OutputName(reader.head.path);
  if (name.empty()) return ShowFailure(app);
  const std::string path = job.target + name;
  if (platform::FileSize(path) >= 0) {
    const std::string native = platform::NativePath(path);
    const std::string text =
        ReplaceNoCase(app.Text(38), "%FILE%", "'" + (native.empty() ? path : native) + "'");
    const ui::Answer answer =
        app.toolkit.MessageBox(app.Text(30), text, ui::Icon::kQuestion, ui::Buttons::kYesNoCancel);
    if (answer == ui::Answer::kCancel) {
      app.Cancelled = 1;
      return;
    }
    if (answer != ui::Answer::kYes) {
      reader.file.Seek(reader.head.end_offset);
      return;
    }
  }
  app.Cancelled = 0;
  if (WriteFoundEntry(app, source, job.target, kProgressBarId, kCancelButtonId) == 0 &&
      !app.Cancelled) {
    ShowFailure(app,
                source.failed_path.empty() ? "" : Reason(source.failed_path, source.failed_error));
  }
}

void RestoreMainVolume(RestoreJob& job) {
  AppState& app = job.app;
  app.JobStartTick = platform::TickCount();
  if (job.entries().empty()) return;
  RestoreSource source;
  if (OpenRestoreSource(source, job.main_base + ".sk") < 0) return ShowFailure(app);
  for (const std::string& entry : job.entries()) {
    RestoreOne(job, source, entry);
    if (app.Cancelled) return;
  }
}

// Restores the items of one volume in list order; `done` marks what was taken.
void RestoreFromVolume(RestoreJob& job, const std::string& volume, size_t first,
                       std::vector<char>& done) {
  AppState& app = job.app;
  StringList& changes = job.changes();
  // The index names a file in the backup folder, never a path.
  if (!IsPlainFileName(volume)) return ShowFailure(app);
  RestoreSource source;
  if (OpenRestoreSource(source, app.BackupFolder + volume) < 0) return ShowFailure(app);
  for (size_t i = first; i < changes.size() && !app.Cancelled; ++i) {
    if (done[i] || Field(changes[i], 2) != volume) continue;
    done[i] = 1;
    const std::string path = Field(changes[i], 1);
    // Every path of the index lies below the source folder's parent.
    if (path.size() <= job.parent.size() ||
        CompareNoCase(path.substr(0, job.parent.size()), job.parent) != 0) {
      return ShowFailure(app);
    }
    RestoreOne(job, source, path.substr(job.parent.size()));
  }
}

// The added and changed entries, volume by volume, each volume's entries in path order.
void RestoreChanges(RestoreJob& job) {
  AppState& app = job.app;
  StringList& changes = job.changes();
  std::stable_sort(changes.begin(), changes.end(), [](const std::string& a, const std::string& b) {
    return CompareNoCase(a, b) < 0;
  });
  std::vector<char> done(changes.size(), 0);
  for (size_t first = 0; first < changes.size() && !app.Cancelled; ++first) {
    if (!done[first]) RestoreFromVolume(job, Field(changes[first], 2), first, done);
  }
  size_t i = 0;
  std::erase_if(changes, [&](const std::string&) { return done[i++] != 0; });
}

void OpenProgressWindow(RestoreJob& job) {
  AppState& app = job.app;
  ui::Toolkit& tk = app.toolkit;
  const int w = ui::kJobWindow;
  tk.OpenWindow(
      w, {app.Text(37), 421, 125, job.mode == 1 ? ui::kWindowCenterOnScreen : ui::kWindowNone});
  if (job.mode == 0) tk.EnableWindow(ui::kMainWindow, false);
  tk.AddTimer(w, kRestoreTimerId, kRestoreTimerMilliseconds);
  tk.AddControl(
      w, {kProgressBarId, ui::ControlKind::kProgressBar, 22, 23, 376, 26, "", ui::kStyleSmooth});
  tk.SetRange(w, kProgressBarId, 0, app.RestoreTotal);
  tk.AddControl(w, {kCancelButtonId, ui::ControlKind::kButton, 151, 65, 116, 25, app.Text(7),
                    ui::kRoleCancel});
  tk.AddStatusBar(w, 2);
  tk.SetStatusText(w, 0, app.Text(53) + ": " + DurationText(app.Texts, 100));
  tk.SetStatusText(w, 1, app.Text(54) + ": " + DurationText(app.Texts, 100));
}

void CloseProgressWindow(RestoreJob& job) {
  ui::Toolkit& tk = job.app.toolkit;
  if (job.mode == 0) tk.EnableWindow(ui::kMainWindow, true);
  tk.RemoveTimer(ui::kJobWindow, kRestoreTimerId);
  tk.CloseWindow(ui::kJobWindow);
}

void RunRestore(RestoreJob& job) {
  AppState& app = job.app;
  if (!LoadEntryList(job)) return ShowFailure(app);
  UpdateIndex index;
  if (job.IsUpdate()) {
    if (!ReadUpdateIndex(job.point_base + ".ini", job.set_name, index)) return ShowFailure(app);
    RemoveReplaced(job, index);
    FillChangeList(job, index);
  }
  RestoreMainVolume(job);
  if (!app.Cancelled && job.IsUpdate()) RestoreChanges(job);
}

}  // namespace

int32_t RestoreBackup(AppState& app, const std::string& point_name, const std::string& target,
                      int32_t mode) {
  app.Cancelled = 0;
  for (int list = 1; list <= 3; ++list) app.List(list).clear();
  RestoreJob job{app, mode, point_name, target};
  if (mode == 0 && !ChooseFromList(job)) return 0;
  if (job.target.empty() || job.target.back() != '\\') job.target += '\\';
  if (!AskParameters(job)) return 0;
  DeriveNames(job);
  // A restore point is its update index together with the main volume: without either
  // there is nothing to restore it from.
  std::string missing;
  if (!PointIsThere(job, missing)) {
    app.toolkit.MessageBox(app.Text(32),
                           app.Text(87) + "\n\n" + ShownPointName(job) + "\n" + missing,
                           ui::Icon::kWarning, ui::Buttons::kOk);
    return 0;
  }
  OpenProgressWindow(job);
  RunRestore(job);
  if (app.Cancelled) {
    app.toolkit.MessageBox(app.Text(32), app.Text(34), ui::Icon::kWarning, ui::Buttons::kOk);
  }
  CloseProgressWindow(job);
  return app.Cancelled ? 0 : 1;
}

}  // namespace sk
