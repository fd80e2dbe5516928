#include "shell/console_reporter.h"

#include <algorithm>
#include <atomic>
#include <vector>

#include "core/size_text.h"
#include "platform/file_system.h"
#include "shell/catalog.h"
#include "shell/job_texts.h"
#include "shell/job_window.h"
#include "ui/printable.h"

namespace sk {
namespace {

// Set by the signal handler, taken by the job's reporter: the only state a handler may touch.
std::atomic<int> g_interrupt_pending{0};
static_assert(std::atomic<int>::is_always_lock_free);

// Progress is told once per 6000-byte block; the clock is read on every 16th only.
constexpr uint32_t kCallsPerClockCheck = 16;
constexpr auto kRedrawInterval = std::chrono::milliseconds(100);
constexpr int kBarWidth = 20;

int Percent(int64_t done, int64_t total) {
  if (total <= 0) return 0;
  const double share = static_cast<double>(done) / static_cast<double>(total);
  return static_cast<int>(std::clamp(share, 0.0, 1.0) * 100.0);
}

// The text cut to at most `limit` characters (UTF-8 sequences count once).
std::string FitWidth(const std::string& text, int limit) {
  int characters = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) continue;
    if (++characters > limit) return text.substr(0, i);
  }
  return text;
}

std::string FoldCase(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

// The first character of a word (a whole UTF-8 sequence), folded.
std::string Initial(const std::string& word) {
  if (word.empty()) return "";
  size_t length = 1;
  while (length < word.size() && (static_cast<unsigned char>(word[length]) & 0xC0) == 0x80) {
    ++length;
  }
  return FoldCase(word.substr(0, length));
}

std::string Trim(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// "[J]a" for a word that begins with a plain letter.
std::string Offer(const std::string& word) {
  if (word.empty() || static_cast<unsigned char>(word[0]) >= 0x80) return word;
  return "[" + word.substr(0, 1) + "]" + word.substr(1);
}

struct Choice {
  std::string word;
  std::string english;
  Answer answer;
};

}  // namespace

bool NoteConsoleInterrupt() { return g_interrupt_pending.exchange(1) != 0; }
bool ConsoleInterruptPending() { return g_interrupt_pending.load(std::memory_order_relaxed) != 0; }
bool TakeConsoleInterrupt() { return g_interrupt_pending.exchange(0) != 0; }
void ClearConsoleInterrupt() { g_interrupt_pending.store(0); }

ConsoleReporter::ConsoleReporter(const AppState& app, std::FILE* out, bool out_is_terminal,
                                 LineReader read_line, ConsoleOptions options, CancelToken& cancel)
    : app_(app),
      out_(out),
      terminal_(out_is_terminal),
      read_line_(std::move(read_line)),
      options_(std::move(options)),
      cancel_(cancel) {}

ConsoleReporter::~ConsoleReporter() { FinishLine(); }

std::string ConsoleReporter::Title() const {
  switch (stage_) {
    case Stage::kComparing:
      return app_.Text(kTextComparing);
    case Stage::kPacking:
      return app_.Text(kTextCreating);
    case Stage::kRestoring:
      return app_.Text(kTextRestoring);
    case Stage::kVerifying:
      return app_.Text(kTextVerifying);
    case Stage::kScanning:
    case Stage::kReading:
      break;
  }
  return "";
}

std::string ConsoleReporter::Line() const {
  const int percent = Percent(done_, total_);
  const int filled = percent * kBarWidth / 100;
  std::string line = Title() + "  [" + std::string(filled, '#') +
                     std::string(kBarWidth - filled, '-') + "] " + std::to_string(percent) + "%";
  const JobTimes times = EstimateTimes(platform::TickCount() - start_tick_,
                                       static_cast<double>(done_), static_cast<double>(total_));
  line += "  " + app_.Text(kTextElapsedTime) + ": " + DurationText(app_.Texts, times.elapsed);
  line += "  " + app_.Text(kTextRemainingTime) + ": " +
          (times.estimated ? DurationText(app_.Texts, times.remaining) : app_.Text(kTextUnknown));
  return ui::PrintableText(line);
}

void ConsoleReporter::Draw() {
  if (options_.quiet || Title().empty()) return;
  if (terminal_) {
    std::fputs(("\r" + FitWidth(Line(), options_.columns - 1) + "\x1b[K").c_str(), out_);
    line_shown_ = true;
  } else {
    const int step = Percent(done_, total_) / 10;
    if (step == printed_step_) return;
    printed_step_ = step;
    std::fputs((Line() + "\n").c_str(), out_);
  }
  std::fflush(out_);
}

// The progress line ends: on a terminal it stays as it stands last, on a line of its own.
void ConsoleReporter::FinishLine() {
  if (!line_shown_) return;
  std::fputs(("\r" + FitWidth(Line(), options_.columns - 1) + "\x1b[K\n").c_str(), out_);
  std::fflush(out_);
  line_shown_ = false;
}

void ConsoleReporter::Write(const std::string& text) {
  if (line_shown_) {
    std::fputs("\r\x1b[K", out_);
    line_shown_ = false;
  }
  std::fputs((ui::PrintableText(text) + "\n").c_str(), out_);
  std::fflush(out_);
}

void ConsoleReporter::Say(const std::string& text) {
  // One line each, whatever a name in it holds: a line feed or a tab shows as "?", as the
  // other control bytes do.
  std::string line = "stowkeeper: " + options_.switch_name + ": " + text;
  std::replace_if(
      line.begin(), line.end(), [](char c) { return c == '\n' || c == '\t'; }, '?');
  Write(line);
}

void ConsoleReporter::TakeInterrupt() {
  if (!ConsoleInterruptPending() || !TakeConsoleInterrupt()) return;
  interrupted_ = true;
  cancel_.Cancel();
}

void ConsoleReporter::Begin(Stage stage, int64_t total) {
  TakeInterrupt();
  if (stage != stage_) FinishLine();
  stage_ = stage;
  total_ = total;
  done_ = 0;
  printed_step_ = -1;
  end_drawn_ = false;
  start_tick_ = platform::TickCount();
}

void ConsoleReporter::Progress(int64_t done) {
  done_ = done;
  TakeInterrupt();
  // A stage's end is always drawn; between, the line is redrawn at most ten times a second.
  const bool finished = total_ > 0 && done_ >= total_ && !end_drawn_;
  end_drawn_ = end_drawn_ || finished;
  if (!finished && ++calls_ % kCallsPerClockCheck != 0) return;
  const Clock::time_point now = Clock::now();
  if (!finished && terminal_ && now - last_draw_ < kRedrawInterval) return;
  last_draw_ = now;
  Draw();
}

Answer ConsoleReporter::Ask(const Question& question) {
  const AnswerWords words = AnswerWordsFor(app_.Catalog);
  std::vector<Choice> choices = {{words.yes, "yes", Answer::kYes}, {words.no, "no", Answer::kNo}};
  const bool cancellable = question.kind == Question::Kind::kReplaceFile;
  if (cancellable) choices.push_back({app_.Text(kTextCancel), "cancel", Answer::kCancel});
  const Choice& keep = choices.back();
  Write(app_.Text(kTextQuestion) + ": " + QuestionText(app_, question));
  if (options_.preset) {
    const bool yes = *options_.preset == Answer::kYes;
    Write(yes ? "  -> yes (--yes)" : "  -> no (--no)");
    return yes ? Answer::kYes : Answer::kNo;
  }
  if (!read_line_) {
    Write("  -> " + keep.word + " (no terminal to ask on)");
    return keep.answer;
  }
  std::string prompt;
  for (const Choice& choice : choices) prompt += (prompt.empty() ? "" : " / ") + Offer(choice.word);
  for (;;) {
    if (ConsoleInterruptPending()) {
      TakeInterrupt();
      Write("  -> " + keep.word + " (interrupted)");
      return keep.answer;
    }
    std::fputs(ui::PrintableText(prompt + "? ").c_str(), out_);
    std::fflush(out_);
    std::string line;
    const LineEnd read = read_line_(line);
    if (read != LineEnd::kLine) {
      if (read == LineEnd::kInterrupted) TakeInterrupt();
      Write("\n  -> " + keep.word + (read == LineEnd::kEnd ? " (end of input)" : " (interrupted)"));
      return keep.answer;
    }
    const std::string answer = FoldCase(Trim(line));
    for (const Choice& choice : choices) {
      if (answer == FoldCase(choice.word) || answer == Initial(choice.word)) return choice.answer;
    }
    for (const Choice& choice : choices) {
      if (answer == choice.english || answer == choice.english.substr(0, 1)) return choice.answer;
    }
  }
}

void ConsoleReporter::AddProblem(const Problem& problem) { Say(ProblemText(app_, problem)); }

void ConsoleReporter::End(const JobResult& result) {
  TakeInterrupt();
  FinishLine();
  if (result.failure) {
    Say(ProblemText(app_, *result.failure));
  } else if (result.outcome == Outcome::kCancelled) {
    Say(app_.Text(kTextCancelled));
  } else if (result.outcome == Outcome::kDoneWithProblems) {
    Say("done, with " + std::to_string(result.problems.size()) +
        (result.problems.size() == 1 ? " problem" : " problems") + " named above");
  } else if (result.outcome == Outcome::kFailed && stage_ == Stage::kRestoring) {
    // The restore went on to its end past the damage it named.
    Say("restored all but what is named above (" + std::to_string(result.problems.size()) +
        (result.problems.size() == 1 ? " problem)" : " problems)"));
  }
}

}  // namespace sk
