#include "ui/automation_player.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

namespace sk::ui {
namespace {

constexpr int kDefaultTimeoutSeconds = 300;
// Time for the window system to draw what changed before a picture is taken.
constexpr int kSettleMs = 500;
// A list row is read up to this column.
constexpr int kLastListColumn = 8;

std::string OneLine(const std::string& text) {
  std::string line;
  for (char c : text) {
    if (c == '\n') {
      line += "\\n";
    } else if (c != '\r') {
      line += c;
    }
  }
  return line;
}

// The scripts' word for each answer, in the order of ui::Answer.
constexpr const char* kAnswerNames[] = {"ok", "cancel", "yes", "no"};
static_assert(static_cast<int>(Answer::kNo) == 3, "kAnswerNames follows ui::Answer");

const char* AnswerName(Answer answer) { return kAnswerNames[static_cast<size_t>(answer)]; }

std::optional<Answer> AnswerNamed(const std::string& name) {
  for (size_t i = 0; i < std::size(kAnswerNames); ++i) {
    if (name == kAnswerNames[i]) return static_cast<Answer>(i);
  }
  return std::nullopt;
}

bool SameGeometry(const WindowGeometry& a, const WindowGeometry& b) {
  return a.x == b.x && a.y == b.y && a.width == b.width && a.height == b.height &&
         a.menu_bar_height == b.menu_bar_height && a.status_bar_height == b.status_bar_height &&
         a.state == b.state;
}

int Number(const std::vector<std::string>& args, size_t index) {
  return index < args.size() ? std::atoi(args[index].c_str()) : -1;
}

}  // namespace

std::unique_ptr<AutomationPlayer> AutomationPlayer::FromEnvironment(
    std::unique_ptr<AutomationBackend> backend) {
  const char* script_path = std::getenv("STOWKEEPER_AUTOMATION");
  if (script_path == nullptr || *script_path == '\0') return nullptr;
  std::ifstream in(script_path, std::ios::binary);
  if (!in) return nullptr;
  std::vector<std::string> script;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    script.push_back(line);
  }
  const char* log = std::getenv("STOWKEEPER_AUTOMATION_LOG");
  const char* shots = std::getenv("STOWKEEPER_SHOTS");
  const char* timeout = std::getenv("STOWKEEPER_AUTOMATION_TIMEOUT");
  const int seconds = timeout != nullptr ? std::atoi(timeout) : 0;
  return std::make_unique<AutomationPlayer>(
      std::move(backend), std::move(script), log != nullptr ? log : "",
      shots != nullptr ? shots : "", seconds > 0 ? seconds : kDefaultTimeoutSeconds);
}

AutomationPlayer::AutomationPlayer(std::unique_ptr<AutomationBackend> backend,
                                   std::vector<std::string> script,
                                   const std::string& transcript_path, std::string shots_folder,
                                   int timeout_seconds)
    : backend_(std::move(backend)),
      script_(std::move(script)),
      shots_folder_(std::move(shots_folder)),
      deadline_(std::chrono::steady_clock::now() + std::chrono::seconds(timeout_seconds)) {
  backend_->player_ = this;
  if (!transcript_path.empty()) transcript_ = std::fopen(transcript_path.c_str(), "wb");
}

AutomationPlayer::~AutomationPlayer() {
  if (transcript_ != nullptr) std::fclose(transcript_);
}

void AutomationPlayer::Note(const std::string& line) {
  notes_.push_back(line);
  if (transcript_ == nullptr) return;
  std::fprintf(transcript_, "%s\n", line.c_str());
  std::fflush(transcript_);
}

void AutomationPlayer::WindowOpened(int window, const std::string& title) {
  Note("open " + std::to_string(window) + " " + OneLine(title));
}

void AutomationPlayer::WindowClosed(int window) { Note("close " + std::to_string(window)); }

AutomationPlayer::Command AutomationPlayer::Parse(size_t index) const {
  Command command;
  std::string line = index < script_.size() ? script_[index] : "";
  if (const size_t hash = line.find('#'); hash != std::string::npos) line.resize(hash);
  std::istringstream words(line);
  words >> command.verb;
  for (std::string word; words >> word;) command.args.push_back(word);
  const size_t start = line.find_first_not_of(" \t");
  if (start != std::string::npos) {
    const size_t after = line.find_first_of(" \t", start);
    if (after != std::string::npos) {
      const size_t rest = line.find_first_not_of(" \t", after);
      const size_t end = line.find_last_not_of(" \t");
      if (rest != std::string::npos) command.rest = line.substr(rest, end - rest + 1);
    }
  }
  return command;
}

size_t AutomationPlayer::AfterShots() const {
  size_t index = next_;
  for (; index < script_.size(); ++index) {
    const std::string verb = Parse(index).verb;
    if (!verb.empty() && verb != "shot") break;
  }
  return index;
}

void AutomationPlayer::SkipBlank() {
  while (next_ < script_.size() && Current().verb.empty()) ++next_;
}

void AutomationPlayer::CheckDeadline() {
  if (std::chrono::steady_clock::now() < deadline_) return;
  Note("timeout at line " + std::to_string(next_ + 1) + ": " +
       (next_ < script_.size() ? script_[next_] : std::string("(end)")));
  std::_Exit(3);
}

void AutomationPlayer::TakeShot(const std::string& name) {
  backend_->Settle(kSettleMs);
  Note("shot " + name);
  if (shots_folder_.empty()) return;
  if (!backend_->SaveScreen(shots_folder_, name)) Note("shot failed " + name);
}

void AutomationPlayer::TakeShots() {
  SkipBlank();
  for (Command c = Current(); c.verb == "shot"; c = Current()) {
    ++next_;
    TakeShot(c.rest);
    SkipBlank();
  }
}

void AutomationPlayer::Step() {
  if (busy_) return;
  busy_ = true;
  CheckDeadline();
  while (next_ < script_.size()) {
    const Command command = Current();
    if (command.verb.empty()) {
      ++next_;
      continue;
    }
    if (!RunOne(command)) break;
  }
  if (next_ >= script_.size() && !script_.empty()) {
    Note("done");
    script_.clear();
  }
  busy_ = false;
}

bool AutomationPlayer::SettledInState(int window, int state) {
  const auto now = std::chrono::steady_clock::now();
  if (!backend_->WindowTitle(window)) return false;
  const WindowGeometry g = backend_->toolkit().GetWindowGeometry(window);
  if (static_cast<int>(g.state) != state) {
    last_look_.reset();
    return false;
  }
  if (!last_look_ || !SameGeometry(last_look_->first, g)) {
    last_look_.emplace(g, now);
    return false;
  }
  if (now - last_look_->second < std::chrono::milliseconds(50)) return false;
  last_look_.reset();
  return true;
}

bool AutomationPlayer::Wait(const Command& command, bool& ready) {
  const std::string& verb = command.verb;
  const int window = Number(command.args, 0);
  if (verb == "wait-title") {
    const size_t space = command.rest.find(' ');
    const std::string title = space == std::string::npos ? "" : command.rest.substr(space + 1);
    ready = backend_->WindowTitle(window) == title;
  } else if (verb == "wait-window" || verb == "wait-closed") {
    ready = backend_->WindowTitle(window).has_value() == (verb == "wait-window");
  } else if (verb == "wait-enabled") {
    ready = backend_->WindowTitle(window).has_value() && backend_->WindowEnabled(window);
  } else if (verb == "wait-log") {
    ready = false;
    for (size_t i = notes_seen_; i < notes_.size() && !ready; ++i) {
      if (notes_[i].rfind(command.rest, 0) == 0) {
        notes_seen_ = i + 1;
        ready = true;
      }
    }
  } else if (verb == "wait-state") {
    ready = SettledInState(window, Number(command.args, 1));
  } else if (verb == "wait-size") {
    const WindowGeometry g = backend_->toolkit().GetWindowGeometry(window);
    ready = backend_->WindowTitle(window).has_value() && g.width == Number(command.args, 1) &&
            g.height == Number(command.args, 2);
  } else if (verb == "sleep") {
    const auto now = std::chrono::steady_clock::now();
    if (!sleep_until_) sleep_until_ = now + std::chrono::milliseconds(Number(command.args, 0));
    ready = now >= *sleep_until_;
    if (ready) sleep_until_.reset();
  } else {
    return false;
  }
  return true;
}

// Runs the command at the script's position. False when the script has to wait there, or
// after an action (the program takes its event before the next one).
bool AutomationPlayer::RunOne(const Command& command) {
  const std::string& verb = command.verb;
  if (bool ready = false; Wait(command, ready)) {
    if (ready) ++next_;
    return ready;
  }
  if (verb == "shot") {
    // Pictures just before an answer show the question: the program asks first.
    const std::string then = Parse(AfterShots()).verb;
    if (then == "answer" || then == "folder") return false;
    ++next_;
    TakeShot(command.rest);
    return true;
  }
  // Answers wait for the program to ask.
  if (verb == "answer" || verb == "folder") return false;
  if (Examine(command)) {
    ++next_;
    return true;
  }
  Note("step " + script_[next_]);
  ++next_;
  if (!Act(command)) Note("cannot " + OneLine(script_[next_ - 1]));
  return false;
}

void AutomationPlayer::CatchUp() {
  for (SkipBlank(); next_ < script_.size(); SkipBlank()) {
    const Command command = Current();
    bool ready = false;
    if (command.verb == "sleep") {
      sleep_until_.reset();
    } else if (Wait(command, ready)) {
      if (!ready) return;
    } else if (command.verb == "shot" && Parse(AfterShots()).verb != "answer") {
      ++next_;
      TakeShot(command.rest);
      continue;
    } else {
      return;
    }
    ++next_;
  }
}

bool AutomationPlayer::Examine(const Command& command) {
  Toolkit& tk = backend_->toolkit();
  const std::string& verb = command.verb;
  const int window = Number(command.args, 0);
  const int id = Number(command.args, 1);
  const std::string where = std::to_string(window) + " " + std::to_string(id);
  if (verb == "list") {
    std::string rows;
    for (int row = 0; row < tk.CountItems(window, id); ++row) {
      if (row > 0) rows += " ; ";
      for (int column = 0; column <= kLastListColumn; ++column) {
        const std::string text = tk.GetItemText(window, id, row, column);
        if (column > 0 && text.empty()) break;
        if (column > 0) rows += " | ";
        rows += text;
      }
    }
    Note("list " + where + ": " + rows);
  } else if (verb == "text") {
    Note("text " + where + ": " + OneLine(tk.GetText(window, id)));
  } else if (verb == "status") {
    Note("status " + where + ": " + OneLine(tk.GetStatusText(window, id)));
  } else if (verb == "value") {
    Note("value " + where + ": " + std::to_string(tk.GetValue(window, id)));
  } else if (verb == "enabled") {
    Note("enabled " + where + ": " + (backend_->ControlEnabled(window, id) ? "1" : "0"));
  } else if (verb == "rect") {
    const Rect r = backend_->ControlRect(window, id);
    Note("rect " + where + ": " + std::to_string(r.x) + " " + std::to_string(r.y) + " " +
         std::to_string(r.width) + " " + std::to_string(r.height));
  } else if (verb == "column") {
    Note("column " + where + " " + std::to_string(Number(command.args, 2)) + ": " +
         std::to_string(tk.GetColumnWidth(window, id, Number(command.args, 2))));
  } else if (verb == "geometry") {
    const WindowGeometry g = tk.GetWindowGeometry(window);
    Note("geometry " + std::to_string(window) + ": " + std::to_string(g.width) + " " +
         std::to_string(g.height) + " " + std::to_string(g.menu_bar_height) + " " +
         std::to_string(g.status_bar_height) + " " + std::to_string(static_cast<int>(g.state)));
  } else if (verb == "menu-state") {
    Note("menu-state " + where + ": " + backend_->MenuState(window, id));
  } else {
    return false;
  }
  return true;
}

bool AutomationPlayer::Act(const Command& command) {
  const std::string& verb = command.verb;
  const int window = Number(command.args, 0);
  const int id = Number(command.args, 1);
  if (verb == "menu") return backend_->ChooseMenu(window, id);
  if (verb == "close") return backend_->Close(window);
  if (verb == "maximize" || verb == "restore") {
    return backend_->Maximize(window, verb == "maximize");
  }
  if (verb == "resize") return backend_->Resize(window, id, Number(command.args, 2));
  if (verb == "click") return backend_->Click(window, id);
  if (verb == "key" && command.args.size() == 2 &&
      (command.args[1] == "enter" || command.args[1] == "escape")) {
    return backend_->PressKey(window, command.args[1] == "enter");
  }
  if (verb == "select") return backend_->Select(window, id, Number(command.args, 2));
  if (verb == "dclick" || verb == "rclick") {
    return backend_->ClickRow(window, id, verb == "dclick");
  }
  return false;
}

Answer AutomationPlayer::Message(const std::string& title, const std::string& text, Icon icon,
                                 Buttons buttons) {
  busy_ = true;
  CatchUp();
  Answer answer = HarmlessAnswer(buttons);
  const Command scripted = Parse(AfterShots());
  if (scripted.verb == "answer" && AnswerNamed(scripted.rest)) answer = *AnswerNamed(scripted.rest);
  if (Current().verb == "shot") {
    // The box is shown as the program shows it, photographed, then answered.
    backend_->PhotographMessage(title, text, icon, buttons, answer, [this] { TakeShots(); });
  }
  const Command command = Current();
  if (command.verb == "answer" && AnswerNamed(command.rest)) {
    ++next_;
  } else if (buttons != Buttons::kOk) {
    Note("unexpected question");
  }
  Note("message " + OneLine(title) + " | " + OneLine(text) + " -> " + AnswerName(answer));
  busy_ = false;
  return answer;
}

std::string AutomationPlayer::Folder(const std::string& title) {
  busy_ = true;
  SkipBlank();
  if (Current().verb == "shot") {
    // The chooser opens where the script's answer lies.
    const Command answer = Parse(AfterShots());
    const std::string start = answer.verb == "folder" && answer.rest != "cancel" ? answer.rest : "";
    backend_->PhotographFolderChooser(title, start, [this] { TakeShots(); });
  }
  std::string folder;
  const Command command = Current();
  if (command.verb == "folder") {
    if (command.rest != "cancel") folder = command.rest;
    ++next_;
  } else {
    Note("unexpected folder chooser");
  }
  Note("folder " + OneLine(title) + " -> " + (folder.empty() ? "cancel" : folder));
  busy_ = false;
  return folder;
}

void AutomationPlayer::ContextMenuOpening(int window) {
  Note("context-menu " + std::to_string(window));
  backend_->ContextMenuOpening(window);
}

void AutomationPlayer::ContextMenuShown() {
  busy_ = true;
  TakeShots();
  busy_ = false;
  backend_->CloseContextMenu();
}

}  // namespace sk::ui
