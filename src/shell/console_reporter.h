// The jobs on a terminal, for the command line: one progress line on standard error (redrawn
// in place on a terminal, a plain line every ten percent elsewhere), questions asked on the
// terminal, one line per problem, and the outcome in words at the end.
//
// What it prints holds no control bytes but tab and line feed (texts and names are cleaned
// with PrintableText); on a terminal the progress line is redrawn with a carriage return and
// the erase-line sequence, the only control it sends.
//
// Without a terminal to ask on, a question takes the answer that changes nothing (No, or
// Cancel where offered) and says so; "--yes" and "--no" answer every question for the user.
// An interrupt (Ctrl-C, SIGTERM, SIGHUP: ConsoleInterrupt) cancels the job at its next sign
// of life, so that its own clean-up runs; a question waiting for its answer takes the
// answer that changes nothing.
#ifndef STOWKEEPER_SHELL_CONSOLE_REPORTER_H_
#define STOWKEEPER_SHELL_CONSOLE_REPORTER_H_

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>

#include "core/app_state.h"
#include "jobs/job.h"

namespace sk {

// How reading an answer ended.
enum class LineEnd { kLine, kEnd, kInterrupted };
// Reads one line the user types (without its line break).
using LineReader = std::function<LineEnd(std::string& line)>;

// What a signal handler may do: note an interrupt. A second one before a job took the first
// means the user wants out at once: then it returns true and the handler ends the program.
bool NoteConsoleInterrupt();
// Whether an interrupt is waiting to be taken; Take... takes it.
bool ConsoleInterruptPending();
bool TakeConsoleInterrupt();
void ClearConsoleInterrupt();

struct ConsoleOptions {
  std::string switch_name;       // "/c": every line begins "stowkeeper: /c: "
  bool quiet = false;            // no progress line
  std::optional<Answer> preset;  // "--yes" or "--no"
  int columns = 80;              // of the terminal, for the progress line
};

class ConsoleReporter : public JobReporter {
 public:
  // Writes to out (standard error), a terminal when out_is_terminal; asks through read_line
  // (null: no terminal to ask on).
  ConsoleReporter(const AppState& app, std::FILE* out, bool out_is_terminal, LineReader read_line,
                  ConsoleOptions options, CancelToken& cancel);
  ~ConsoleReporter() override;
  ConsoleReporter(const ConsoleReporter&) = delete;
  ConsoleReporter& operator=(const ConsoleReporter&) = delete;

  void Begin(Stage stage, int64_t total) override;
  void Progress(int64_t done) override;
  Answer Ask(const Question& question) override;
  void AddProblem(const Problem& problem) override;
  void End(const JobResult& result) override;

  // Whether this job was interrupted.
  bool interrupted() const { return interrupted_; }
  // A line of the command line's own: "stowkeeper: /c: " + text.
  void Say(const std::string& text);

 private:
  using Clock = std::chrono::steady_clock;
  std::string Title() const;
  std::string Line() const;
  void Draw();
  void FinishLine();
  void Write(const std::string& text);
  void TakeInterrupt();

  const AppState& app_;
  std::FILE* out_;
  const bool terminal_;
  LineReader read_line_;
  ConsoleOptions options_;
  CancelToken& cancel_;
  Stage stage_ = Stage::kScanning;
  int64_t total_ = 0;
  int64_t done_ = 0;
  uint32_t start_tick_ = 0;
  Clock::time_point last_draw_{};
  uint32_t calls_ = 0;
  int printed_step_ = -1;    // the last ten-percent step printed without a terminal
  bool line_shown_ = false;  // the progress line stands on the terminal unfinished
  bool end_drawn_ = false;   // the stage's end was drawn
  bool interrupted_ = false;
};

}  // namespace sk

#endif  // STOWKEEPER_SHELL_CONSOLE_REPORTER_H_
