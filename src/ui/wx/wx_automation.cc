#include "ui/wx/wx_automation.h"

#include <wx/dirdlg.h>
#include <wx/evtloop.h>
#include <wx/hyperlink.h>
#include <wx/listctrl.h>
#include <wx/notebook.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "ui/wx/wx_gtk.h"

namespace sk::ui {

namespace {

constexpr int kDefaultTimeoutSeconds = 300;
constexpr int kMenuIdBase = 20000;  // as the toolkit numbers menu items
// Time for the window system to draw what changed before a picture is taken.
constexpr int kSettleMs = 500;

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

const char* AnswerName(Answer answer) {
  switch (answer) {
    case Answer::kYes:
      return "yes";
    case Answer::kNo:
      return "no";
    case Answer::kCancel:
      return "cancel";
    default:
      return "ok";
  }
}

std::optional<Answer> AnswerNamed(const std::string& name) {
  if (name == "yes") return Answer::kYes;
  if (name == "no") return Answer::kNo;
  if (name == "cancel") return Answer::kCancel;
  if (name == "ok") return Answer::kOk;
  return std::nullopt;
}

// The answer that changes nothing.
Answer Harmless(Buttons buttons) {
  switch (buttons) {
    case Buttons::kYesNo:
      return Answer::kNo;
    case Buttons::kYesNoCancel:
    case Buttons::kOkCancel:
      return Answer::kCancel;
    default:
      return Answer::kOk;
  }
}

int Number(const std::vector<std::string>& args, size_t index) {
  return index < args.size() ? std::atoi(args[index].c_str()) : -1;
}

void Send(wxWindow* target, wxEvent& event) {
  event.SetEventObject(target);
  target->GetEventHandler()->ProcessEvent(event);
}

}  // namespace

std::unique_ptr<WxAutomation> WxAutomation::FromEnvironment() {
  const char* script_path = std::getenv("STOWKEEPER_AUTOMATION");
  if (script_path == nullptr || *script_path == '\0') return nullptr;
  std::ifstream in(script_path);
  if (!in) return nullptr;
  std::vector<std::string> script;
  for (std::string line; std::getline(in, line);) script.push_back(line);
  const char* log = std::getenv("STOWKEEPER_AUTOMATION_LOG");
  const char* shots = std::getenv("STOWKEEPER_SHOTS");
  const char* timeout = std::getenv("STOWKEEPER_AUTOMATION_TIMEOUT");
  const int seconds = timeout != nullptr ? std::atoi(timeout) : 0;
  return std::make_unique<WxAutomation>(std::move(script), log != nullptr ? log : "",
                                        shots != nullptr ? shots : "",
                                        seconds > 0 ? seconds : kDefaultTimeoutSeconds);
}

WxAutomation::WxAutomation(std::vector<std::string> script, const std::string& transcript_path,
                           std::string shots_folder, int timeout_seconds)
    : script_(std::move(script)),
      shots_folder_(std::move(shots_folder)),
      deadline_(std::chrono::steady_clock::now() + std::chrono::seconds(timeout_seconds)) {
  if (!transcript_path.empty()) transcript_ = std::fopen(transcript_path.c_str(), "w");
}

WxAutomation::~WxAutomation() {
  if (transcript_ != nullptr) std::fclose(transcript_);
}

void WxAutomation::Note(const std::string& line) {
  notes_.push_back(line);
  if (transcript_ == nullptr) return;
  std::fprintf(transcript_, "%s\n", line.c_str());
  std::fflush(transcript_);
}

void WxAutomation::WindowOpened(int window, const std::string& title) {
  Note("open " + std::to_string(window) + " " + OneLine(title));
}

void WxAutomation::WindowClosed(int window) { Note("close " + std::to_string(window)); }

WxAutomation::Command WxAutomation::Current() const { return Parse(next_); }

size_t WxAutomation::AfterShots() const {
  size_t index = next_;
  for (; index < script_.size(); ++index) {
    const std::string verb = Parse(index).verb;
    if (!verb.empty() && verb != "shot") break;
  }
  return index;
}

WxAutomation::Command WxAutomation::Parse(size_t index) const {
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

void WxAutomation::CheckDeadline() {
  if (std::chrono::steady_clock::now() < deadline_) return;
  Note("timeout at line " + std::to_string(next_ + 1) + ": " +
       (next_ < script_.size() ? script_[next_] : std::string("(end)")));
  std::_Exit(3);
}

void WxAutomation::Settle(int milliseconds) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  wxEventLoopBase* loop = wxEventLoopBase::GetActive();
  while (std::chrono::steady_clock::now() < until) {
    if (loop != nullptr) loop->DispatchTimeout(20);
    if (wxTheApp != nullptr) {
      wxTheApp->ProcessPendingEvents();
      wxTheApp->ProcessIdle();
    }
  }
}

void WxAutomation::TakeShot(const std::string& name) {
  Settle(kSettleMs);
  Note("shot " + name);
  if (shots_folder_.empty()) return;
  const std::string command =
      "import -window root '" + shots_folder_ + "/" + name + ".png' >/dev/null 2>&1";
  if (std::system(command.c_str()) != 0) Note("shot failed " + name);
}

void WxAutomation::TakeShots() {
  for (Command c = Current(); c.verb == "shot"; c = Current()) {
    ++next_;
    TakeShot(c.rest);
  }
}

void WxAutomation::Step(WxToolkit& tk) {
  if (busy_) return;
  busy_ = true;
  CheckDeadline();
  while (next_ < script_.size()) {
    const Command command = Current();
    if (command.verb.empty()) {
      ++next_;
      continue;
    }
    if (!RunOne(tk, command)) break;
  }
  if (next_ >= script_.size() && !script_.empty()) {
    Note("done");
    script_.clear();
  }
  busy_ = false;
}

// Runs the command at the script's position. False when the script has to wait there, or
// after an action (the program takes its event before the next one).
bool WxAutomation::RunOne(WxToolkit& tk, const Command& command) {
  const std::string& verb = command.verb;
  const int window = Number(command.args, 0);
  if (verb == "wait-title") {
    auto* frame = dynamic_cast<wxFrame*>(tk.NativeWindow(window));
    const size_t space = command.rest.find(' ');
    const std::string title = space == std::string::npos ? "" : command.rest.substr(space + 1);
    if (frame == nullptr || FromWx(frame->GetTitle()) != title) return false;
    ++next_;
    return true;
  }
  if (verb == "wait-window" || verb == "wait-closed" || verb == "wait-enabled") {
    wxWindow* frame = tk.NativeWindow(window);
    const bool ready = verb == "wait-window"   ? frame != nullptr
                       : verb == "wait-closed" ? frame == nullptr
                                               : frame != nullptr && frame->IsEnabled();
    if (!ready) return false;
    ++next_;
    return true;
  }
  if (verb == "wait-log") {
    for (size_t i = notes_seen_; i < notes_.size(); ++i) {
      if (notes_[i].rfind(command.rest, 0) == 0) {
        notes_seen_ = i + 1;
        ++next_;
        return true;
      }
    }
    return false;
  }
  if (verb == "sleep") {
    const auto now = std::chrono::steady_clock::now();
    if (!sleep_until_) sleep_until_ = now + std::chrono::milliseconds(Number(command.args, 0));
    if (now < *sleep_until_) return false;
    sleep_until_.reset();
    ++next_;
    return true;
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
  if (Examine(tk, command)) {
    ++next_;
    return true;
  }
  Note("step " + script_[next_]);
  ++next_;
  if (!Act(tk, command)) Note("cannot " + OneLine(script_[next_ - 1]));
  return false;
}

bool WxAutomation::Examine(WxToolkit& tk, const Command& command) {
  const std::string& verb = command.verb;
  const int window = Number(command.args, 0);
  const int id = Number(command.args, 1);
  const std::string where = std::to_string(window) + " " + std::to_string(id);
  if (verb == "list") {
    std::string rows;
    for (int row = 0; row < tk.CountItems(window, id); ++row) {
      if (row > 0) rows += " ; ";
      for (int column = 0;; ++column) {
        const std::string text = tk.GetItemText(window, id, row, column);
        if (column > 0 && text.empty()) break;
        if (column > 0) rows += " | ";
        rows += text;
        if (column >= 8) break;
      }
    }
    Note("list " + where + ": " + rows);
  } else if (verb == "text") {
    Note("text " + where + ": " + OneLine(tk.GetText(window, id)));
  } else if (verb == "value") {
    Note("value " + where + ": " + std::to_string(tk.GetValue(window, id)));
  } else if (verb == "enabled") {
    wxWindow* widget = tk.NativeControl(window, id);
    Note("enabled " + where + ": " + (widget != nullptr && widget->IsEnabled() ? "1" : "0"));
  } else if (verb == "rect") {
    wxWindow* widget = tk.NativeControl(window, id);
    const wxRect r = widget != nullptr ? widget->GetRect() : wxRect();
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
    auto* frame = dynamic_cast<wxFrame*>(tk.NativeWindow(window));
    wxMenuItem* item = nullptr;
    if (frame != nullptr && frame->GetMenuBar() != nullptr) {
      item = frame->GetMenuBar()->FindItem(kMenuIdBase + id);
    }
    if (item == nullptr && tk.ContextMenuOf(window) != nullptr) {
      item = tk.ContextMenuOf(window)->FindItem(kMenuIdBase + id);
    }
    Note("menu-state " + where + ": " +
         (item == nullptr ? "missing"
                          : std::string(item->IsEnabled() ? "enabled" : "disabled") +
                                (item->IsCheckable() && item->IsChecked() ? " checked" : "")));
  } else {
    return false;
  }
  return true;
}

bool WxAutomation::Act(WxToolkit& tk, const Command& command) {
  const std::string& verb = command.verb;
  const int window = Number(command.args, 0);
  const int id = Number(command.args, 1);
  auto* frame = dynamic_cast<wxFrame*>(tk.NativeWindow(window));
  if (frame == nullptr) return false;
  if (verb == "menu") {
    wxCommandEvent event(wxEVT_MENU, kMenuIdBase + id);
    Send(frame, event);
    return true;
  }
  if (verb == "close") {
    frame->Close();  // the program decides: the toolkit vetoes and queues the request
    return true;
  }
  if (verb == "maximize" || verb == "restore") {
    frame->Maximize(verb == "maximize");
    return true;
  }
  if (verb == "resize") {
    const WindowGeometry g = tk.GetWindowGeometry(window);
    frame->SetClientSize(Number(command.args, 1),
                         Number(command.args, 2) - g.menu_bar_height - g.status_bar_height);
    return true;
  }
  wxWindow* widget = tk.NativeControl(window, id);
  if (widget == nullptr) return false;
  if (verb == "click") {
    if (auto* option = dynamic_cast<wxRadioButton*>(widget)) {
      option->SetValue(true);
      wxCommandEvent event(wxEVT_RADIOBUTTON, widget->GetId());
      event.SetInt(1);
      Send(widget, event);
    } else if (dynamic_cast<wxButton*>(widget) != nullptr) {
      wxCommandEvent event(wxEVT_BUTTON, widget->GetId());
      Send(widget, event);
    } else {
      wxHyperlinkEvent event(widget, widget->GetId(), "");
      Send(widget, event);
    }
    return true;
  }
  const int row = Number(command.args, 2);
  if (auto* list = dynamic_cast<wxListCtrl*>(widget)) {
    if (verb == "select") {
      // As a click does: the old row goes, the new one comes, each with its own event.
      const long old = list->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED);
      if (old >= 0 && old != row) list->SetItemState(old, 0, wxLIST_STATE_SELECTED);
      if (row >= 0) {
        list->SetItemState(row, wxLIST_STATE_SELECTED | wxLIST_STATE_FOCUSED,
                           wxLIST_STATE_SELECTED | wxLIST_STATE_FOCUSED);
        list->EnsureVisible(row);
      }
      return true;
    }
    const long selected = list->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED);
    wxListEvent event(verb == "dclick" ? wxEVT_LIST_ITEM_ACTIVATED : wxEVT_LIST_ITEM_RIGHT_CLICK,
                      list->GetId());
    event.m_itemIndex = selected;
    Send(list, event);
    return verb == "dclick" || verb == "rclick";
  }
  if (verb == "select") {
    if (auto* choice = dynamic_cast<wxChoice*>(widget)) {
      choice->SetSelection(row);
      wxCommandEvent event(wxEVT_CHOICE, widget->GetId());
      event.SetInt(row);
      Send(widget, event);
      return true;
    }
    if (auto* tabs = dynamic_cast<wxNotebook*>(widget)) {
      tabs->SetSelection(static_cast<size_t>(row));  // raises the page-changed event itself
      return true;
    }
  }
  return false;
}

Answer WxAutomation::Message(WxToolkit& tk, const WxToolkit::MessageInfo& info) {
  busy_ = true;
  if (Current().verb == "shot") {
    // The box is shown as the program shows it, photographed from inside its own loop and
    // then closed; the script's answer is given below.
    std::unique_ptr<wxDialog> dialog(tk.PreviewMessageBox(info));
    wxTimer timer;
    timer.Bind(wxEVT_TIMER, [this, &dialog](wxTimerEvent&) {
      TakeShots();
      dialog->EndModal(wxID_CANCEL);
    });
    timer.StartOnce(100);
    dialog->ShowModal();
  }
  Answer answer = info.buttons == Buttons::kOk ? Answer::kOk : Harmless(info.buttons);
  const Command command = Current();
  if (command.verb == "answer" && AnswerNamed(command.rest)) {
    answer = *AnswerNamed(command.rest);
    ++next_;
  } else if (info.buttons != Buttons::kOk) {
    Note("unexpected question");
  }
  Note("message " + OneLine(info.title) + " | " + OneLine(info.text) + " -> " + AnswerName(answer));
  busy_ = false;
  return answer;
}

std::string WxAutomation::Folder(WxToolkit& tk, const std::string& title) {
  busy_ = true;
  if (Current().verb == "shot") {
    // The chooser opens where the script's answer lies.
    const Command answer = Parse(AfterShots());
    const std::string start =
        answer.verb == "folder" && answer.rest != "cancel" ? answer.rest : "/";
    auto* dialog = new wxDirDialog(tk.ActiveWindow(), ToWx(title), ToWx(start), wxDD_DEFAULT_STYLE,
                                   wxDefaultPosition, wxSize(720, 500));
    dialog->Show();
    TakeShots();
    dialog->Destroy();
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

void WxAutomation::ContextMenuOpening(WxToolkit& tk, int window) {
  Note("context-menu " + std::to_string(window));
  wxMenu* menu = tk.ContextMenuOf(window);
  menu_timer_ = std::make_unique<wxTimer>();
  menu_timer_->Bind(wxEVT_TIMER, [this, menu](wxTimerEvent&) {
    busy_ = true;
    TakeShots();
    busy_ = false;
    CloseContextMenu(menu);
  });
  menu_timer_->StartOnce(300);
}

}  // namespace sk::ui
