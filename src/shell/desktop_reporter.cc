#include "shell/desktop_reporter.h"

#include <algorithm>
#include <cmath>

#include "archive/set_names.h"
#include "core/size_text.h"
#include "jobs/sets/backup_lists.h"
#include "platform/file_system.h"
#include "shell/job_texts.h"
#include "ui/printable.h"

namespace sk {
namespace {

ui::WindowDef WindowOf(const std::string& title, int width, int height) {
  return {title, width, height};
}

void AddCreateControls(const AppState& app, ui::Toolkit& tk, int64_t maximum) {
  tk.AddControl(ui::kJobWindow, {kCreateContainerId, ui::ControlKind::kContainer, 11, 11, 381, 276,
                                 "", ui::kStyleRaised});
  const int frames[] = {kTotalFrameId, kElapsedFrameId, kRemainingFrameId, kProgressFrameId};
  const int fields[] = {kTotalFieldId, kElapsedFieldId, kRemainingFieldId};
  for (int i = 0; i < 4; ++i) {
    tk.AddControl(ui::kJobWindow,
                  {frames[i], ui::ControlKind::kFrame, 15, 17 + 53 * i, 347, 49,
                   app.Text(kTextTotalTime + i), ui::kStyleNone, kCreateContainerId});
  }
  for (int i = 0; i < 3; ++i) {
    tk.AddControl(
        ui::kJobWindow,
        {fields[i], ui::ControlKind::kText, 30, 34 + 53 * i, 318, 20, app.Text(kTextUnknown),
         ui::kStyleCentered | ui::kStyleBorder | ui::kStyleWhite, kCreateContainerId});
  }
  tk.AddControl(ui::kJobWindow, {kProgressBarId, ui::ControlKind::kProgressBar, 30, 194, 318, 20,
                                 "", ui::kStyleSmooth, kCreateContainerId});
  tk.SetRange(ui::kJobWindow, kProgressBarId, 0, maximum);
  tk.AddControl(ui::kJobWindow, {kCancelButtonId, ui::ControlKind::kButton, 131, 235, 122, 25,
                                 app.Text(kTextCancel), ui::kRoleCancel, kCreateContainerId});
}

ui::Answer Shown(ui::Toolkit& tk, const AppState& app, const std::string& text,
                 ui::Buttons buttons) {
  return tk.MessageBox(app.Text(kTextQuestion), text, ui::Icon::kQuestion, buttons);
}

}  // namespace

DesktopReporter::DesktopReporter(const AppState& app, ui::Toolkit& tk, JobKind kind, int32_t mode,
                                 CancelToken& cancel)
    : app_(app), tk_(tk), kind_(kind), mode_(mode), cancel_(cancel) {}

DesktopReporter::~DesktopReporter() { CloseWindow(); }

DesktopReporter::Layout DesktopReporter::LayoutOf(Stage stage) const {
  switch (kind_) {
    case JobKind::kCreate:
      return stage == Stage::kPacking ? Layout::kCreate : Layout::kNone;
    case JobKind::kUpdate:
      return stage == Stage::kPacking ? Layout::kCreate : Layout::kCompare;
    case JobKind::kRestore:
      return Layout::kRestore;
    case JobKind::kVerify:
      return Layout::kVerify;
    case JobKind::kList:
      return Layout::kCalculate;
    case JobKind::kProperties:
    case JobKind::kDelete:
      break;
  }
  return Layout::kNone;
}

int64_t DesktopReporter::BarValue(int64_t units) const {
  switch (stage_) {
    case Stage::kPacking:
      // The create window's KiB are rounded, the others' whole KiB: as they always were.
      return std::lround(static_cast<double>(units) / 1024.0);
    case Stage::kRestoring:
    case Stage::kVerifying:
      return units / 1024;
    default:
      return units;
  }
}

void DesktopReporter::Open(Layout layout, int64_t maximum) {
  CloseWindow();
  layout_ = layout;
  switch (layout) {
    case Layout::kNone:
      return;
    case Layout::kCreate:
      window_.emplace(tk_, mode_, WindowOf(app_.Text(kTextCreating), 404, 297));
      AddCreateControls(app_, tk_, maximum);
      return;
    case Layout::kCompare:
      window_.emplace(tk_, mode_, WindowOf(app_.Text(kTextComparing), 421, 106));
      AddProgressBarAndCancel(tk_, app_.Text(kTextCancel), maximum, 66);
      return;
    case Layout::kVerify:
      window_.emplace(tk_, mode_, WindowOf(app_.Text(kTextVerifying), 421, 106));
      AddProgressBarAndCancel(tk_, app_.Text(kTextCancel), maximum, 66);
      return;
    case Layout::kRestore:
      window_.emplace(tk_, mode_, WindowOf(app_.Text(kTextRestoring), 421, 125));
      tk_.AddTimer(ui::kJobWindow, kRestoreTimerId, kRestoreTimerMilliseconds);
      AddProgressBarAndCancel(tk_, app_.Text(kTextCancel), maximum, 65);
      tk_.AddStatusBar(ui::kJobWindow, 2);
      tk_.SetStatusText(ui::kJobWindow, 0,
                        app_.Text(kTextElapsedTime) + ": " + DurationText(app_.Texts, 100));
      tk_.SetStatusText(ui::kJobWindow, 1,
                        app_.Text(kTextRemainingTime) + ": " + app_.Text(kTextUnknown));
      return;
    case Layout::kCalculate:
      window_.emplace(tk_, mode_, WindowOf(app_.Text(kTextCalculating), 279, 50));
      tk_.AddControl(ui::kJobWindow, {kProgressBarId, ui::ControlKind::kProgressBar, 14, 16, 250,
                                      19, "", ui::kStyleSmooth});
      tk_.SetRange(ui::kJobWindow, kProgressBarId, 0, maximum);
      return;
  }
}

void DesktopReporter::CloseWindow() {
  if (!window_) return;
  if (layout_ == Layout::kRestore) tk_.RemoveTimer(ui::kJobWindow, kRestoreTimerId);
  window_.reset();
  layout_ = Layout::kNone;
}

void DesktopReporter::Begin(Stage stage, int64_t total) {
  stage_ = stage;
  total_ = total;
  done_ = 0;
  start_tick_ = platform::TickCount();
  const Layout layout = LayoutOf(stage);
  // Before the comparison knows how many files it compares, its bar counts to 100.
  const int64_t maximum =
      layout == Layout::kCompare && total == 0 ? 100 : BarValue(std::max<int64_t>(total, 0));
  if (layout == layout_ && window_) {
    tk_.SetRange(ui::kJobWindow, kProgressBarId, 0, maximum);
    tk_.SetValue(ui::kJobWindow, kProgressBarId, 0);
  } else {
    Open(layout, maximum);
  }
}

void DesktopReporter::UpdateTimes(int64_t done) {
  const uint32_t now = platform::TickCount();
  if (static_cast<uint32_t>(now - last_display_tick_) <= 1000) return;
  last_display_tick_ = now;
  // Nothing packed yet (an empty file or a folder first): no rate to tell.
  if (done <= 0) return;
  const JobTimes times =
      EstimateTimes(now - start_tick_, static_cast<double>(done), static_cast<double>(total_));
  tk_.SetText(ui::kJobWindow, kElapsedFieldId, DurationText(app_.Texts, times.elapsed));
  // Until the pace is measured, the total and remaining time stay "Unknown".
  if (!times.estimated) return;
  tk_.SetText(ui::kJobWindow, kTotalFieldId, DurationText(app_.Texts, times.total));
  tk_.SetText(ui::kJobWindow, kRemainingFieldId, DurationText(app_.Texts, times.remaining));
}

void DesktopReporter::UpdateRestoreStatus() {
  const JobTimes times = EstimateTimes(platform::TickCount() - start_tick_,
                                       static_cast<double>(done_), static_cast<double>(total_));
  tk_.SetStatusText(ui::kJobWindow, 0,
                    app_.Text(kTextElapsedTime) + ": " + DurationText(app_.Texts, times.elapsed));
  tk_.SetStatusText(
      ui::kJobWindow, 1,
      app_.Text(kTextRemainingTime) + ": " +
          (times.estimated ? DurationText(app_.Texts, times.remaining) : app_.Text(kTextUnknown)));
}

void DesktopReporter::TakeEvent() {
  const ui::Event event = tk_.PollEvent();
  // Before the job's window opens (a create's scan) the main window is only kept alive: a
  // click meant for an earlier job's window cancels nothing.
  if (window_ && JobWindow::IsCancel(event)) {
    cancel_.Cancel();
  } else if (event.type == ui::EventType::kTimer && event.control == kRestoreTimerId &&
             layout_ == Layout::kRestore && stage_ == Stage::kRestoring) {
    UpdateRestoreStatus();
  }
}

void DesktopReporter::Progress(int64_t done) {
  done_ = done;
  // The scan of a create runs before its window opens: it only keeps the main window alive,
  // and from the command line nothing needs that. Properties are read without a window.
  if (kind_ == JobKind::kProperties) return;
  if (layout_ == Layout::kNone && mode_ != kInteractiveMode) return;
  const bool counts = window_ && !(stage_ == Stage::kScanning ||
                                   (stage_ == Stage::kReading && layout_ == Layout::kRestore));
  if (counts) tk_.SetValue(ui::kJobWindow, kProgressBarId, BarValue(done));
  if (layout_ == Layout::kCreate) UpdateTimes(done);
  TakeEvent();
}

Answer DesktopReporter::Ask(const Question& question) {
  const ui::Buttons buttons = question.kind == Question::Kind::kReplaceFile
                                  ? ui::Buttons::kYesNoCancel
                                  : ui::Buttons::kYesNo;
  switch (Shown(tk_, app_, QuestionText(app_, question), buttons)) {
    case ui::Answer::kYes:
      return Answer::kYes;
    case ui::Answer::kCancel:
      return Answer::kCancel;
    default:
      return Answer::kNo;
  }
}

void DesktopReporter::AddProblem(const Problem& problem) { problems_.push_back(problem); }

void DesktopReporter::Say(const std::string& text, ui::Icon icon) {
  tk_.MessageBox(app_.Text(kTextInfo), text, icon, ui::Buttons::kOk);
}

void DesktopReporter::ShowFailure(const Problem& failure) {
  switch (failure.kind) {
    case Problem::Kind::kSetLocked:
      // Another run writes the set: this job did nothing, so nothing was cancelled.
      Say(CauseText(app_, failure) + "\n\n" + sk::Shown(failure.path), ui::Icon::kWarning);
      return;
    case Problem::Kind::kNoPoint:
      Say(app_.Text(kTextNoRestorePoint) + "\n\n" + ShownPointName(point_name_) + "\n" +
              sk::Shown(failure.path) +
              (failure.error != 0 ? ": " + platform::ErrorText(failure.error) : ""),
          ui::Icon::kWarning);
      return;
    default:
      break;
  }
  TextId head = kTextCreateFailed;
  if (kind_ == JobKind::kRestore) head = kTextRestoreFailed;
  if (kind_ == JobKind::kVerify) head = kTextBackupCorrupted;
  if (kind_ == JobKind::kDelete) head = kTextDeleteFailed;
  Say(app_.Text(head) + "\n\n" + ProblemText(app_, failure), ui::Icon::kWarning);
  if (kind_ == JobKind::kCreate || kind_ == JobKind::kUpdate || kind_ == JobKind::kRestore) {
    Say(app_.Text(kTextCancelled), ui::Icon::kWarning);
  }
}

std::string DesktopReporter::ProblemLines(const std::vector<Problem>& problems) const {
  std::string text;
  for (size_t i = 0; i < problems.size() && i < kProblemsShown; ++i) {
    // One line per problem, whatever the name holds: a line feed or a tab in a name is
    // shown as "?", as other control characters are.
    std::string line = problems[i].kind == Problem::Kind::kNotStored
                           ? sk::Shown(problems[i].path)
                           : ProblemText(app_, problems[i]);
    std::replace_if(line.begin(), line.end(), [](char c) { return c == '\n' || c == '\t'; }, '\r');
    text += "\n" + ui::PrintableText(line);
  }
  if (problems.size() > kProblemsShown) {
    text += "\n+ " + std::to_string(problems.size() - kProblemsShown) + " " + app_.Text(kTextMore);
  }
  return text;
}

void DesktopReporter::ShowProblems() {
  if (problems_.empty()) return;
  // Links and special files have a heading of their own that says why; anything else is
  // named with its cause under the general one.
  const bool only_not_stored =
      std::all_of(problems_.begin(), problems_.end(),
                  [](const Problem& p) { return p.kind == Problem::Kind::kNotStored; });
  Say(app_.Text(only_not_stored ? kTextNotBackedUp : kTextDoneWithProblems) +
          ProblemLines(problems_),
      ui::Icon::kInformation);
}

void DesktopReporter::ShowDamage(const JobResult& result) {
  const TextId head = kind_ == JobKind::kRestore ? kTextRestoreFailed : kTextBackupCorrupted;
  Say(app_.Text(head) + "\n" + ProblemLines(result.problems), ui::Icon::kWarning);
}

void DesktopReporter::End(const JobResult& result) {
  // The command line tells a check's verdict in its own lines, volume by volume.
  const bool verdict_shown = !(kind_ == JobKind::kVerify && mode_ == kCommandLineMode);
  if (result.failure) {
    if (verdict_shown) ShowFailure(*result.failure);
  } else if (result.outcome == Outcome::kCancelled) {
    if (kind_ != JobKind::kList && kind_ != JobKind::kProperties && kind_ != JobKind::kDelete) {
      Say(app_.Text(kTextCancelled), ui::Icon::kWarning);
    }
  } else if (result.outcome == Outcome::kFailed &&
             (kind_ == JobKind::kRestore || kind_ == JobKind::kVerify)) {
    // A restore or a check that went on to its end past the damage it named.
    if (verdict_shown) ShowDamage(result);
  } else if (kind_ == JobKind::kVerify && verdict_shown) {
    if (window_) tk_.SetValue(ui::kJobWindow, kProgressBarId, BarValue(total_));
    Say(app_.Text(kTextBackupValid), ui::Icon::kInformation);
  }
  CloseWindow();
  if (result.ok()) ShowProblems();
  // The command line verifies volume after volume through one reporter: what one job named
  // is never shown again at the end of the next (a box nobody asked for would hold a script).
  problems_.clear();
}

}  // namespace sk
