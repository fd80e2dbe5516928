#include "jobs/restore/restore.h"

#include <algorithm>
#include <vector>

#include "archive/set_names.h"
#include "archive/volume.h"
#include "core/size_text.h"
#include "jobs/create/generations.h"
#include "jobs/job_window.h"
#include "jobs/sets/backup_lists.h"
#include "jobs/sets/restore_point.h"
#include "archive/volume_reader.h"
#include "platform/file_system.h"

namespace sk {
namespace {

struct RestoreJob {
  AppState& app;
  int32_t mode = 0;
  std::string point_name;
  std::string target;
  RestoreFilter wanted;  // empty: every entry
  RestorePoint point;

  const std::string& parent() const { return point.name().parent; }
  bool IsUpdate() const { return !point.name().IsMainVolume(); }
};

void ShowFailure(AppState& app, const std::string& detail = "") {
  const std::string& failed = app.Text(kTextRestoreFailed);
  const std::string text = detail.empty() ? failed : failed + "\n\n" + detail;
  app.toolkit.MessageBox(app.Text(kTextInfo), text, ui::Icon::kWarning, ui::Buttons::kOk);
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

// --- The parameters window.

void AddParameterControls(AppState& app) {
  ui::Toolkit& tk = app.toolkit;
  tk.AddControl(ui::kJobWindow, {kRestoreCompleteOptionId, ui::ControlKind::kOption, 24, 18, 284,
                                 20, app.Text(kTextCompleteStructure)});
  tk.AddControl(ui::kJobWindow, {kRestoreSubfolderOptionId, ui::ControlKind::kOption, 24, 41, 284,
                                 20, app.Text(kTextOnlySubfolder)});
  tk.AddControl(ui::kJobWindow, {kRestoreOkId, ui::ControlKind::kButton, 118, 80, 90, 25,
                                 app.Text(kTextOk), ui::kRoleDefault});
  tk.AddControl(ui::kJobWindow, {kRestoreCancelId, ui::ControlKind::kButton, 216, 80, 90, 25,
                                 app.Text(kTextCancel), ui::kRoleCancel});
  tk.SetValue(ui::kJobWindow, kRestoreCompleteOptionId, 1);
  tk.SetValue(ui::kJobWindow, kRestoreSubfolderOptionId, 0);
  // The window takes the keyboard at once: Enter is OK, Escape Cancel.
  tk.SetFocus(ui::kJobWindow, kRestoreCompleteOptionId);
}

enum class Choice { kComplete, kSubfolder, kCancel };

Choice WaitForParameters(JobWindow& window, ui::Toolkit& tk) {
  while (const std::optional<ui::Event> event = window.NextEvent()) {
    if (event->type != ui::EventType::kLeftClick) continue;
    switch (event->control) {
      case kRestoreCompleteOptionId:
      case kRestoreSubfolderOptionId:
        tk.SetValue(ui::kJobWindow, kRestoreCompleteOptionId,
                    event->control == kRestoreCompleteOptionId);
        tk.SetValue(ui::kJobWindow, kRestoreSubfolderOptionId,
                    event->control == kRestoreSubfolderOptionId);
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
  return Choice::kCancel;
}

// Asks for the structure option and settles the target folder. False when cancelled (or
// when the source folder's path cannot be recreated below the target).
bool AskParameters(RestoreJob& job) {
  AppState& app = job.app;
  Choice choice;
  {
    JobWindow window(
        app, job.mode,
        {app.Text(kTextRestoreOptions), 322, 120, ui::kWindowCloseBox | ui::kWindowMinimizeBox});
    AddParameterControls(app);
    choice = WaitForParameters(window, app.toolkit);
  }
  if (choice == Choice::kCancel) return false;
  const std::string source = ParsePointName(job.point_name).source;
  const size_t root = platform::RootLength(source);
  if (choice == Choice::kComplete && root > 0 && source.size() > root) {
    // The source folder's path without its drive or share, recreated below the target; the
    // entry paths already begin with the source folder's own name.
    const std::string structure = source.substr(root);
    if (!IsSafeRelativePath(structure)) {
      ShowFailure(app);
      return false;
    }
    job.target = ParentFolder(job.target + structure);
  }
  return true;
}

// Whether the files of the restore point can be opened; `missing` tells which cannot, and
// why. A point beyond a missing index is the leftover of an interrupted job, no restore
// point: its index may name volumes that hold other content by now.
bool PointIsThere(AppState& app, const std::string& point_name, std::string& missing) {
  const PointNameParts name = ParsePointName(point_name);
  const std::string index = app.BackupFolder + IndexFileName(name.set_name, name.generation);
  std::vector<std::string> files = {app.BackupFolder + VolumeFileName(name.set_name, 0)};
  if (!name.IsMainVolume()) files.push_back(index);
  for (const std::string& path : files) {
    platform::File file;
    if (!file.OpenRead(path)) {
      missing = Reason(path, file.error());
      return false;
    }
  }
  if (!name.IsMainVolume() && name.generation >= NextGeneration(app.BackupFolder, name.set_name)) {
    missing = Reason(index, 0);
    return false;
  }
  return true;
}

// --- Restoring.

// Waits for the files handed to the file writer; a failure among them is shown as the
// job's failure. Every message and question waits for them, so that it comes after the
// writes before it, as when the job wrote every file itself.
bool WritesDone(AppState& app, RestoreSource& source) {
  if (!source.writer || source.writer->Finish()) return true;
  const std::string& path = source.writer->failed_path();
  ShowFailure(app, path.empty() ? "" : Reason(path, source.writer->failed_error()));
  return false;
}

void ShowFailureAfterWrites(AppState& app, RestoreSource& source) {
  if (WritesDone(app, source)) ShowFailure(app);
}

// Whether restoring to path replaces a file, one not yet written included.
bool WouldReplace(RestoreSource& source, const std::string& path) {
  return platform::FileSize(path) >= 0 || (source.writer && source.writer->Holds(path));
}

// The per-entry steps: find the record, ask before replacing the file it will write, write
// it. A failure shows its message and sets the cancel flag.
void RestoreOne(RestoreJob& job, RestoreSource& source, const std::string& relative_path) {
  AppState& app = job.app;
  VolumeReader& reader = source.reader;
  if (!FindEntry(reader, relative_path)) return ShowFailureAfterWrites(app, source);
  const std::string name = OutputName(reader.record.path);
  if (name.empty()) return ShowFailureAfterWrites(app, source);
  const std::string path = job.target + name;
  if (WouldReplace(source, path)) {
    if (!WritesDone(app, source)) return;
    const std::string native = platform::NativePath(path);
    const std::string text = ReplaceNoCase(app.Text(kTextReplaceFile), "%FILE%",
                                           "'" + (native.empty() ? path : native) + "'");
    const ui::Answer answer = app.toolkit.MessageBox(
        app.Text(kTextQuestion), text, ui::Icon::kQuestion, ui::Buttons::kYesNoCancel);
    if (answer == ui::Answer::kCancel) {
      app.Cancelled = 1;
      return;
    }
    if (answer != ui::Answer::kYes) {
      reader.file.Seek(reader.record.end_offset);
      return;
    }
  }
  app.Cancelled = 0;
  if (WriteFoundEntry(app, source, job.target, kProgressBarId, kCancelButtonId) == 0 &&
      !app.Cancelled && WritesDone(app, source)) {
    ShowFailure(app,
                source.failed_path.empty() ? "" : Reason(source.failed_path, source.failed_error));
  }
}

void RestoreMainVolume(RestoreJob& job) {
  AppState& app = job.app;
  app.JobStartTick = platform::TickCount();
  if (job.point.kept().empty()) return;
  RestoreSource source;
  if (OpenRestoreSource(source, app.BackupFolder + job.point.MainVolumeName()) < 0) {
    return ShowFailure(app);
  }
  source.writer = std::make_unique<FileWriter>();
  for (const PointEntry& entry : job.point.kept()) {
    if (job.wanted && !job.wanted(entry.path)) continue;
    RestoreOne(job, source, entry.path);
    if (app.Cancelled) return;
  }
  WritesDone(app, source);
}

// The full path the index gives for addition i (ADDED, then CHANGED).
const std::string& IndexPath(const UpdateIndex& index, size_t i) {
  return i < index.added.size() ? index.added[i].path : index.changed[i - index.added.size()].path;
}

// Restores the additions of one volume in the given order; `done` marks what was taken.
void RestoreFromVolume(RestoreJob& job, const std::vector<size_t>& order, size_t first,
                       std::vector<char>& done) {
  AppState& app = job.app;
  const std::vector<PointEntry>& additions = job.point.additions();
  const std::string& volume = additions[order[first]].volume;
  // The index names a file in the backup folder, never a path.
  if (!IsPlainFileName(volume)) return ShowFailure(app);
  RestoreSource source;
  if (OpenRestoreSource(source, app.BackupFolder + volume) < 0) return ShowFailure(app);
  source.writer = std::make_unique<FileWriter>();
  for (size_t k = first; k < order.size() && !app.Cancelled; ++k) {
    const PointEntry& entry = additions[order[k]];
    if (done[k] || entry.volume != volume) continue;
    done[k] = 1;
    const std::string& path = IndexPath(job.point.index(), order[k]);
    // Every path of the index lies below the source folder's parent.
    if (path.size() <= job.parent().size() ||
        CompareNoCase(path.substr(0, job.parent().size()), job.parent()) != 0) {
      return ShowFailureAfterWrites(app, source);
    }
    const std::string relative_path = entry.found ? entry.path : path.substr(job.parent().size());
    if (job.wanted && !job.wanted(relative_path)) continue;
    RestoreOne(job, source, relative_path);
  }
  if (!app.Cancelled) WritesDone(app, source);
}

// The added and changed entries, volume by volume, each volume's entries in path order.
void RestoreChanges(RestoreJob& job) {
  AppState& app = job.app;
  const UpdateIndex& index = job.point.index();
  const std::vector<PointEntry>& additions = job.point.additions();
  // By path, then by volume, letter case aside.
  auto before = [&](size_t a, size_t b) {
    const int by_path = CompareNoCase(IndexPath(index, a), IndexPath(index, b));
    return by_path != 0 ? by_path < 0 : CompareNoCase(additions[a].volume, additions[b].volume) < 0;
  };
  std::vector<size_t> order(additions.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(), before);
  std::vector<char> done(order.size(), 0);
  for (size_t first = 0; first < order.size() && !app.Cancelled; ++first) {
    if (!done[first]) RestoreFromVolume(job, order, first, done);
  }
}

void AddProgressControls(AppState& app) {
  ui::Toolkit& tk = app.toolkit;
  const int w = ui::kJobWindow;
  tk.AddTimer(w, kRestoreTimerId, kRestoreTimerMilliseconds);
  AddProgressBarAndCancel(app, app.RestoreTotal, 65);
  tk.AddStatusBar(w, 2);
  tk.SetStatusText(w, 0, app.Text(kTextElapsedTime) + ": " + DurationText(app.Texts, 100));
  tk.SetStatusText(w, 1, app.Text(kTextRemainingTime) + ": " + app.Text(kTextUnknown));
}

void RunRestore(RestoreJob& job) {
  AppState& app = job.app;
  ui::Toolkit& tk = app.toolkit;
  job.point.Load(app.BackupFolder, job.point_name, "", [&](RestorePoint::Step step) {
    if (step == RestorePoint::Step::kRecordWeighed) tk.PollEvent();  // keeps the window alive
  });
  // Without the whole main volume, or the index of an update, the point cannot be restored.
  if (!job.point.main_volume_whole() || (job.IsUpdate() && !job.point.has_index())) {
    return ShowFailure(app);
  }
  RestoreMainVolume(job);
  if (!app.Cancelled && job.IsUpdate()) RestoreChanges(job);
}

}  // namespace

int32_t RestoreBackup(AppState& app, const std::string& point_name, const std::string& target,
                      int32_t mode, const RestoreFilter& wanted) {
  app.Cancelled = 0;
  for (int list = 1; list <= 3; ++list) app.List(list).clear();
  RestoreJob job{app, mode, point_name, target, wanted};
  if (job.point_name.empty() || job.target.empty()) return 0;
  if (job.target.empty() || job.target.back() != '\\') job.target += '\\';
  if (!AskParameters(job)) return 0;
  // A restore point is its update index together with the main volume: without either
  // there is nothing to restore it from.
  std::string missing;
  if (!PointIsThere(app, job.point_name, missing)) {
    app.toolkit.MessageBox(
        app.Text(kTextInfo),
        app.Text(kTextNoRestorePoint) + "\n\n" + ShownPointName(job.point_name) + "\n" + missing,
        ui::Icon::kWarning, ui::Buttons::kOk);
    return 0;
  }
  JobWindow window(app, mode, {app.Text(kTextRestoring), 421, 125});
  AddProgressControls(app);
  RunRestore(job);
  if (app.Cancelled) {
    app.toolkit.MessageBox(app.Text(kTextInfo), app.Text(kTextCancelled), ui::Icon::kWarning,
                           ui::Buttons::kOk);
  }
  app.toolkit.RemoveTimer(ui::kJobWindow, kRestoreTimerId);
  window.Close();
  return app.Cancelled ? 0 : 1;
}

}  // namespace sk
