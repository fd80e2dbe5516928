#include "ui/console/console_toolkit.h"

#include <errno.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <optional>

#include "ui/printable.h"

namespace sk::ui {
namespace {

// Set by the signal handler, taken by the toolkit: the only state a handler may touch.
std::atomic<int> g_interrupt_pending{0};
static_assert(std::atomic<int>::is_always_lock_free);

// A poll is taken once per 6000-byte block; the clock is read on every 16th only.
constexpr uint32_t kPollsPerClockCheck = 16;
constexpr auto kRedrawInterval = std::chrono::milliseconds(100);
constexpr auto kWaitSlice = std::chrono::milliseconds(50);
constexpr int kBarWidth = 20;
constexpr size_t kMaxAnswerLength = 1024;

void OnInterrupt(int signal_number) {
  // A second interrupt before a job took the first: the user wants out at once.
  if (g_interrupt_pending.exchange(1) != 0) {
    ::signal(signal_number, SIG_DFL);
    ::raise(signal_number);
  }
}

bool Contains(const ControlDef& outer, const ControlDef& inner) {
  return inner.parent == outer.parent && inner.x >= outer.x && inner.y >= outer.y &&
         inner.x + inner.width <= outer.x + outer.width &&
         inner.y + inner.height <= outer.y + outer.height;
}

int Percent(int64_t value, int64_t minimum, int64_t maximum) {
  if (maximum <= minimum) return 0;
  const double share =
      static_cast<double>(value - minimum) / static_cast<double>(maximum - minimum);
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

ConsoleToolkit::ConsoleToolkit(int input_fd, std::FILE* output, bool input_is_terminal,
                               bool output_is_terminal)
    : input_fd_(input_fd),
      output_(output),
      input_is_terminal_(input_is_terminal),
      output_is_terminal_(output_is_terminal) {}

void ConsoleToolkit::InstallInterruptHandler() {
  struct sigaction action = {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  // No SA_RESTART: a question waiting for its answer wakes up and is answered for the user.
  action.sa_flags = 0;
  struct sigaction previous = {};
  if (sigaction(SIGINT, nullptr, &previous) == 0 && previous.sa_handler != SIG_IGN) {
    sigaction(SIGINT, &action, nullptr);
  }
  sigaction(SIGTERM, &action, nullptr);
}

void ConsoleToolkit::Interrupt() { OnInterrupt(SIGINT); }

void ConsoleToolkit::ClearInterrupt() { g_interrupt_pending.store(0); }

bool ConsoleToolkit::WasInterrupted() const {
  return interrupted_ || g_interrupt_pending.load(std::memory_order_relaxed) != 0;
}

// --- Windows and controls.

bool ConsoleToolkit::OpenWindow(int window, const WindowDef& def) {
  CloseWindow(window);
  Window& opened = windows_[window];
  opened.def = def;
  opened.sequence = next_sequence_++;
  if (output_is_terminal_) {
    struct winsize size = {};
    if (ioctl(fileno(output_), TIOCGWINSZ, &size) == 0 && size.ws_col > 10) columns_ = size.ws_col;
  }
  return true;
}

void ConsoleToolkit::CloseWindow(int window) {
  auto found = windows_.find(window);
  if (found == windows_.end()) return;
  Window& closing = found->second;
  if (&closing == ProgressWindow()) {
    // The line shows the job's end state, unless the job ended before it showed anything
    // (a question declined, a failure at once) or a message was written below it.
    const bool show =
        !closing.spoke && (output_is_terminal_ ? line_shown_ || (!closing.drawn && Moved(closing))
                                               : closing.drawn || Moved(closing));
    if (show) Draw(closing);
    if (line_shown_) {
      std::fputs("\n", output_);
      std::fflush(output_);
      line_shown_ = false;
    }
  }
  std::erase_if(timers_, [window](const Timer& timer) { return timer.window == window; });
  std::erase_if(queued_, [window](const Event& event) { return event.window == window; });
  windows_.erase(found);
}

bool ConsoleToolkit::WindowExists(int window) { return windows_.count(window) > 0; }

ConsoleToolkit::Control* ConsoleToolkit::Find(int window, int control) {
  auto found = windows_.find(window);
  if (found == windows_.end()) return nullptr;
  auto control_found = found->second.controls.find(control);
  return control_found == found->second.controls.end() ? nullptr : &control_found->second;
}

void ConsoleToolkit::AddControl(int window, const ControlDef& def) {
  auto found = windows_.find(window);
  if (found == windows_.end()) return;
  Control& control = found->second.controls[def.id];
  control = Control{};
  control.def = def;
  control.text = def.text;
  std::erase(found->second.order, def.id);
  found->second.order.push_back(def.id);
  found->second.dirty = true;
}

void ConsoleToolkit::SetText(int window, int control, const std::string& text) {
  if (Control* found = Find(window, control)) {
    found->text = text;
    windows_[window].dirty = true;
  }
}

std::string ConsoleToolkit::GetText(int window, int control) {
  const Control* found = Find(window, control);
  return found ? found->text : "";
}

void ConsoleToolkit::SetValue(int window, int control, int64_t value) {
  Control* found = Find(window, control);
  if (!found) return;
  found->value = value;
  windows_[window].dirty = true;
  // Option buttons of one window form one group: selecting one clears the others.
  if (found->def.kind == ControlKind::kOption && value != 0) {
    for (auto& [id, other] : windows_[window].controls) {
      if (id != control && other.def.kind == ControlKind::kOption) other.value = 0;
    }
  }
}

int64_t ConsoleToolkit::GetValue(int window, int control) {
  const Control* found = Find(window, control);
  return found ? found->value : 0;
}

void ConsoleToolkit::SetRange(int window, int control, int64_t minimum, int64_t maximum) {
  if (Control* found = Find(window, control)) {
    found->minimum = minimum;
    found->maximum = maximum;
    windows_[window].dirty = true;
  }
}

int64_t ConsoleToolkit::GetMaximum(int window, int control) {
  const Control* found = Find(window, control);
  return found ? found->maximum : 0;
}

void ConsoleToolkit::AddItem(int window, int control, const std::string& text, int) {
  if (Control* found = Find(window, control)) found->items.push_back(text);
}

void ConsoleToolkit::SetItemText(int window, int control, int row, const std::string& text) {
  Control* found = Find(window, control);
  if (found && row >= 0 && row < static_cast<int>(found->items.size())) found->items[row] = text;
}

void ConsoleToolkit::ClearItems(int window, int control) {
  if (Control* found = Find(window, control)) found->items.clear();
}

int ConsoleToolkit::CountItems(int window, int control) {
  const Control* found = Find(window, control);
  return found ? static_cast<int>(found->items.size()) : 0;
}

std::string ConsoleToolkit::GetItemText(int window, int control, int row, int column) {
  const Control* found = Find(window, control);
  if (!found || row < 0 || row >= static_cast<int>(found->items.size()) || column < 0) return "";
  return RowColumn(found->items[row], column);
}

void ConsoleToolkit::AddStatusBar(int window, int fields) {
  auto found = windows_.find(window);
  if (found != windows_.end()) found->second.status.assign(std::max(fields, 0), "");
}

void ConsoleToolkit::SetStatusText(int window, int field, const std::string& text) {
  auto found = windows_.find(window);
  if (found == windows_.end() || field < 0 ||
      field >= static_cast<int>(found->second.status.size())) {
    return;
  }
  found->second.status[field] = text;
  found->second.dirty = true;
}

void ConsoleToolkit::AddTimer(int window, int timer, int milliseconds) {
  RemoveTimer(window, timer);
  const auto interval = std::chrono::milliseconds(std::max(milliseconds, 1));
  timers_.push_back({window, timer, interval, Clock::now() + interval});
}

void ConsoleToolkit::RemoveTimer(int window, int timer) {
  std::erase_if(timers_, [&](const Timer& t) { return t.window == window && t.id == timer; });
}

// --- Finding the window and button that an event belongs to.

ConsoleToolkit::Window* ConsoleToolkit::Newest() {
  Window* newest = nullptr;
  for (auto& [id, window] : windows_) {
    if (!newest || window.sequence > newest->sequence) newest = &window;
  }
  return newest;
}

int ConsoleToolkit::IdOf(const Window& window) const {
  for (const auto& [id, candidate] : windows_) {
    if (&candidate == &window) return id;
  }
  return kMainWindow;
}

ConsoleToolkit::Window* ConsoleToolkit::ProgressWindow() {
  Window* newest = nullptr;
  for (auto& [id, window] : windows_) {
    const bool has_bar = std::any_of(window.controls.begin(), window.controls.end(), [](auto& c) {
      return c.second.def.kind == ControlKind::kProgressBar;
    });
    if (has_bar && (!newest || window.sequence > newest->sequence)) newest = &window;
  }
  return newest;
}

const ConsoleToolkit::Control* ConsoleToolkit::CancelButton(const Window& window) const {
  for (int id : window.order) {
    const Control& control = window.controls.at(id);
    if (control.def.kind != ControlKind::kButton) continue;
    if ((control.def.style & kRoleCancel) != 0 || control.text == words_.cancel) {
      return &control;
    }
  }
  return nullptr;
}

const ConsoleToolkit::Control* ConsoleToolkit::OkButton(const Window& window) const {
  for (int id : window.order) {
    const Control& control = window.controls.at(id);
    if (control.def.kind == ControlKind::kButton &&
        ((control.def.style & kRoleDefault) != 0 || control.text == words_.ok)) {
      return &control;
    }
  }
  return nullptr;
}

bool ConsoleToolkit::TakeInterrupt(Event& event) {
  Window* target = nullptr;
  const Control* button = nullptr;
  for (auto& [id, window] : windows_) {
    const Control* cancel = CancelButton(window);
    if (cancel && (!target || window.sequence > target->sequence)) {
      target = &window;
      button = cancel;
    }
  }
  // No job window yet (the scan runs before it opens): the click waits for one.
  if (!button) return false;
  g_interrupt_pending.store(0);
  interrupted_ = true;
  event = {EventType::kLeftClick, IdOf(*target), button->def.id};
  return true;
}

// --- Events.

Event ConsoleToolkit::PollEvent() {
  Event event;
  if (g_interrupt_pending.load(std::memory_order_relaxed) != 0 && TakeInterrupt(event)) {
    return event;
  }
  if (++polls_ % kPollsPerClockCheck != 0) return event;
  return Tick();
}

// Delivers a timer that is due, and redraws the progress line at most ten times a second.
Event ConsoleToolkit::Tick() {
  const Clock::time_point now = Clock::now();
  for (Timer& timer : timers_) {
    if (now >= timer.due) {
      timer.due = now + timer.interval;
      return {EventType::kTimer, timer.window, timer.id};
    }
  }
  Window* progress = ProgressWindow();
  if (progress && progress->dirty && now - last_draw_ >= kRedrawInterval) {
    last_draw_ = now;
    Draw(*progress);
  }
  return {};
}

Event ConsoleToolkit::WaitEvent() {
  if (!queued_.empty()) {
    Event event = queued_.front();
    queued_.pop_front();
    return event;
  }
  Window* newest = Newest();
  if (newest && OkButton(*newest) &&
      std::any_of(newest->controls.begin(), newest->controls.end(),
                  [](auto& c) { return c.second.def.kind == ControlKind::kOption; })) {
    return Choose(*newest);
  }
  for (;;) {
    Event event;
    if (g_interrupt_pending.load() != 0) {
      if (TakeInterrupt(event)) return event;
      g_interrupt_pending.store(0);
      interrupted_ = true;
      return {EventType::kClose, newest ? IdOf(*newest) : kMainWindow, -1};
    }
    event = Tick();
    if (event.type != EventType::kNone) return event;
    // Nothing can ever happen: no timer runs and no button could be clicked.
    if (timers_.empty() && !(newest && CancelButton(*newest))) {
      return {EventType::kClose, newest ? IdOf(*newest) : kMainWindow, -1};
    }
    struct timespec slice = {0, std::chrono::nanoseconds(kWaitSlice).count()};
    nanosleep(&slice, nullptr);  // an interrupt ends the sleep early
  }
}

// --- Output.

bool ConsoleToolkit::Moved(const Window& window) const {
  return std::any_of(window.controls.begin(), window.controls.end(), [](const auto& c) {
    return c.second.def.kind == ControlKind::kProgressBar && c.second.value > c.second.minimum;
  });
}

std::string ConsoleToolkit::Line(const Window& window) const {
  std::string line = window.def.title;
  for (int id : window.order) {
    const Control& bar = window.controls.at(id);
    if (bar.def.kind != ControlKind::kProgressBar) continue;
    const int percent = Percent(bar.value, bar.minimum, bar.maximum);
    const int filled = percent * kBarWidth / 100;
    line += "  [" + std::string(filled, '#') + std::string(kBarWidth - filled, '-') + "] " +
            std::to_string(percent) + "%";
    break;
  }
  // Text fields inside a titled frame are the job's time fields: "title: text".
  for (int id : window.order) {
    const Control& field = window.controls.at(id);
    if (field.def.kind != ControlKind::kText || field.text.empty()) continue;
    for (int frame_id : window.order) {
      const Control& frame = window.controls.at(frame_id);
      if (frame.def.kind == ControlKind::kFrame && Contains(frame.def, field.def)) {
        line += "  " + frame.text + ": " + field.text;
        break;
      }
    }
  }
  for (const std::string& status : window.status) {
    if (!status.empty()) line += "  " + status;
  }
  return line;
}

void ConsoleToolkit::Draw(Window& window) {
  window.dirty = false;
  window.drawn = true;
  window.spoke = false;
  const std::string line = PrintableText(Line(window));
  if (output_is_terminal_) {
    std::fputs(("\r" + FitWidth(line, columns_ - 1) + "\x1b[K").c_str(), output_);
    line_shown_ = true;
  } else {
    int percent = 0;
    for (auto& [id, control] : window.controls) {
      if (control.def.kind == ControlKind::kProgressBar) {
        percent = Percent(control.value, control.minimum, control.maximum);
      }
    }
    if (percent / 10 == window.printed_step) return;
    window.printed_step = percent / 10;
    std::fputs((line + "\n").c_str(), output_);
  }
  std::fflush(output_);
}

void ConsoleToolkit::ClearLine() {
  if (!line_shown_) return;
  std::fputs("\r\x1b[K", output_);
  line_shown_ = false;
  if (Window* progress = ProgressWindow()) progress->dirty = true;
}

void ConsoleToolkit::Say(const std::string& text) {
  ClearLine();
  if (Window* progress = ProgressWindow()) progress->spoke = true;
  std::fputs((PrintableText(text) + "\n").c_str(), output_);
  std::fflush(output_);
}

// --- Questions.

ConsoleToolkit::ReadResult ConsoleToolkit::ReadLine(std::string& line) {
  line.clear();
  for (;;) {
    char c;
    const ssize_t got = ::read(input_fd_, &c, 1);
    if (got < 0 && errno == EINTR) {
      if (g_interrupt_pending.load() != 0) return ReadResult::kInterrupted;
      continue;
    }
    if (got <= 0) return line.empty() ? ReadResult::kEnd : ReadResult::kLine;
    if (c == '\n') return ReadResult::kLine;
    if (line.size() < kMaxAnswerLength) line += c;
  }
}

Answer ConsoleToolkit::MessageBox(const std::string& title, const std::string& text, Icon,
                                  Buttons buttons) {
  Say(title + ": " + text);
  if (buttons == Buttons::kOk) return Answer::kOk;
  return Ask(title, text, buttons);
}

Answer ConsoleToolkit::Ask(const std::string&, const std::string&, Buttons buttons) {
  std::vector<Choice> choices;
  if (buttons == Buttons::kOkCancel) {
    choices.push_back({words_.ok, "ok", Answer::kOk});
  } else {
    choices.push_back({words_.yes, "yes", Answer::kYes});
    choices.push_back({words_.no, "no", Answer::kNo});
  }
  if (buttons != Buttons::kYesNo) choices.push_back({words_.cancel, "cancel", Answer::kCancel});
  const Choice& keep = *std::find_if(choices.begin(), choices.end(), [&](const Choice& choice) {
    return choice.answer == HarmlessAnswer(buttons);
  });

  if (!input_is_terminal_) {
    Say("  -> " + keep.word + " (no terminal to ask on)");
    return keep.answer;
  }
  std::string prompt;
  for (const Choice& choice : choices) prompt += (prompt.empty() ? "" : " / ") + Offer(choice.word);
  for (;;) {
    if (g_interrupt_pending.load() != 0) {
      interrupted_ = true;
      Say("  -> " + keep.word + " (interrupted)");
      return keep.answer;
    }
    std::fputs(PrintableText(prompt + "? ").c_str(), output_);
    std::fflush(output_);
    std::string line;
    const ReadResult read = ReadLine(line);
    if (read != ReadResult::kLine) {
      if (read == ReadResult::kInterrupted) interrupted_ = true;
      Say("\n  -> " + keep.word +
          (read == ReadResult::kEnd ? " (end of input)" : " (interrupted)"));
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

// A window with option buttons: the user picks one, or the preselected one is taken.
Event ConsoleToolkit::Choose(Window& window) {
  const int window_id = IdOf(window);
  std::vector<Control*> options;
  for (int id : window.order) {
    Control& control = window.controls.at(id);
    if (control.def.kind == ControlKind::kOption) options.push_back(&control);
  }
  size_t preselected = 0;
  for (size_t i = 0; i < options.size(); ++i) {
    if (options[i]->value != 0) {
      preselected = i;
      break;
    }
  }
  const Control* cancel = CancelButton(window);
  const Event cancelled = cancel ? Event{EventType::kLeftClick, window_id, cancel->def.id}
                                 : Event{EventType::kClose, window_id, -1};

  std::optional<size_t> chosen;
  if (g_interrupt_pending.load() != 0) {
    g_interrupt_pending.store(0);
    interrupted_ = true;
    return cancelled;
  }
  if (!input_is_terminal_) {
    chosen = preselected;
    Say(window.def.title + ": " + options[preselected]->text +
        " (no terminal to ask on: the preselected choice)");
  } else {
    Say(window.def.title + ":");
    for (size_t i = 0; i < options.size(); ++i) {
      Say("  " + std::to_string(i + 1) + ") " + options[i]->text);
    }
    const std::string prompt = "1-" + std::to_string(options.size()) + " (" +
                               std::to_string(preselected + 1) + ") / " + Offer(words_.cancel) +
                               "? ";
    while (!chosen) {
      std::fputs(PrintableText(prompt).c_str(), output_);
      std::fflush(output_);
      std::string line;
      const ReadResult read = ReadLine(line);
      if (read != ReadResult::kLine) {
        if (read == ReadResult::kInterrupted) {
          g_interrupt_pending.store(0);
          interrupted_ = true;
        }
        Say("");
        return cancelled;
      }
      const std::string answer = FoldCase(Trim(line));
      if (answer.empty()) {
        chosen = preselected;
      } else if (answer == FoldCase(words_.cancel) || answer == Initial(words_.cancel) ||
                 answer == "cancel" || answer == "c") {
        return cancelled;
      } else if (answer.size() <= 3 && std::all_of(answer.begin(), answer.end(),
                                                   [](char c) { return c >= '0' && c <= '9'; })) {
        const size_t number = std::stoul(answer);
        if (number >= 1 && number <= options.size()) chosen = number - 1;
      }
    }
  }
  SetValue(window_id, options[*chosen]->def.id, 1);
  const Control* ok = OkButton(window);
  queued_.push_back({EventType::kLeftClick, window_id, ok->def.id});
  return {EventType::kLeftClick, window_id, options[*chosen]->def.id};
}

// A line on a terminal has no window to enable, no focus, no columns, no folder chooser (the
// command line names its folders) and no sound.
void ConsoleToolkit::EnableWindow(int, bool) {}
void ConsoleToolkit::EnableControl(int, int, bool) {}
void ConsoleToolkit::SetFocus(int, int) {}
void ConsoleToolkit::AddColumn(int, int, const std::string&, int) {}
std::string ConsoleToolkit::ChooseFolder(const std::string&, const std::string&) { return ""; }
void ConsoleToolkit::PlayInformationSound() {}

}  // namespace sk::ui
