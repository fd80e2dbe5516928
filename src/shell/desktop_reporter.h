// The jobs on the desktop: their windows, progress, questions and the message boxes at their
// end, laid out as the desktop has always shown them. Also the jobs of the Windows command
// line, whose windows stand centred on the screen.
#ifndef STOWKEEPER_SHELL_DESKTOP_REPORTER_H_
#define STOWKEEPER_SHELL_DESKTOP_REPORTER_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/app_state.h"
#include "jobs/job.h"
#include "shell/job_window.h"
#include "ui/toolkit.h"

namespace sk {

// Which job a reporter serves: the windows and the words at the end differ by job.
enum class JobKind { kCreate, kUpdate, kRestore, kVerify, kList, kProperties, kDelete };

// The restore window's one-second timer, which keeps its times up to date.
inline constexpr int kRestoreTimerId = 2703;
inline constexpr int kRestoreTimerMilliseconds = 1000;

// Controls of the create job's window (inside one raised container).
enum CreateWindowControl : int {
  kCreateContainerId = 1,
  kTotalFrameId,
  kElapsedFrameId,
  kRemainingFrameId,
  kProgressFrameId,
  kTotalFieldId,
  kElapsedFieldId,
  kRemainingFieldId,
};

// The most entries a message box lists before it counts the rest.
inline constexpr size_t kProblemsShown = 20;

class DesktopReporter : public JobReporter {
 public:
  DesktopReporter(const AppState& app, ui::Toolkit& tk, JobKind kind, int32_t mode,
                  CancelToken& cancel);
  ~DesktopReporter() override;
  DesktopReporter(const DesktopReporter&) = delete;
  DesktopReporter& operator=(const DesktopReporter&) = delete;

  // The restore point the job works on, as the messages name it.
  void SetPointName(const std::string& display_name) { point_name_ = display_name; }

  void Begin(Stage stage, int64_t total) override;
  void Progress(int64_t done) override;
  Answer Ask(const Question& question) override;
  void AddProblem(const Problem& problem) override;
  void End(const JobResult& result) override;

 private:
  // The window a stage shows in, as the job's kind decides: none for some.
  enum class Layout { kNone, kCreate, kCompare, kRestore, kVerify, kCalculate };
  Layout LayoutOf(Stage stage) const;
  void Open(Layout layout, int64_t maximum);
  void CloseWindow();
  // The bar's unit: KiB for the stages counted in bytes.
  int64_t BarValue(int64_t units) const;
  void UpdateTimes(int64_t done);
  void UpdateRestoreStatus();
  // One pending event: a click on Cancel cancels, the restore timer updates the times.
  void TakeEvent();
  void Say(const std::string& text, ui::Icon icon);
  void ShowFailure(const Problem& failure);
  // One line per problem, each after a line break, at most kProblemsShown, then how many
  // more.
  std::string ProblemLines(const std::vector<Problem>& problems) const;
  void ShowProblems();
  // The end of a restore or a check that named damage: what the job could not do, then the
  // damage.
  void ShowDamage(const JobResult& result);

  const AppState& app_;
  ui::Toolkit& tk_;
  const JobKind kind_;
  const int32_t mode_;
  CancelToken& cancel_;
  std::optional<JobWindow> window_;
  Layout layout_ = Layout::kNone;
  Stage stage_ = Stage::kScanning;
  int64_t total_ = 0;
  int64_t done_ = 0;
  uint32_t start_tick_ = 0;
  uint32_t last_display_tick_ = 0;
  std::vector<Problem> problems_;
  std::string point_name_;
};

}  // namespace sk

#endif  // STOWKEEPER_SHELL_DESKTOP_REPORTER_H_
