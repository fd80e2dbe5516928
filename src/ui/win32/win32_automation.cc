#include "ui/win32/win32_automation.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace sk::ui {

Win32Automation* Win32Automation::modal_ = nullptr;

namespace {

constexpr int kDefaultTimeoutSeconds = 300;
// Time for the window system to draw what changed before a picture is taken.
constexpr int kSettleMs = 500;
// The folder chooser of the newer style fills its tree after it opens.
constexpr int kChooserSettleMs = 1500;

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

int ButtonOf(Answer answer) {
  switch (answer) {
    case Answer::kYes:
      return IDYES;
    case Answer::kNo:
      return IDNO;
    case Answer::kCancel:
      return IDCANCEL;
    default:
      return IDOK;
  }
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

bool Later(DWORD now, DWORD then) { return static_cast<LONG>(now - then) >= 0; }

// The dialog the system shows for this thread (a message box, the folder chooser).
HWND ThreadDialog() {
  HWND found = nullptr;
  EnumThreadWindows(
      GetCurrentThreadId(),
      [](HWND hwnd, LPARAM out) -> BOOL {
        char name[16] = {};
        GetClassNameA(hwnd, name, sizeof(name));
        if (IsWindowVisible(hwnd) && lstrcmpA(name, "#32770") == 0) {
          *reinterpret_cast<HWND*>(out) = hwnd;
          return FALSE;
        }
        return TRUE;
      },
      LPARAM(&found));
  return found;
}

void SendCommand(HWND control, int code) {
  SendMessageA(GetParent(control), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(control), code),
               LPARAM(control));
}

void SendNotify(HWND control, UINT code, int item) {
  NMITEMACTIVATE note{};
  note.hdr.hwndFrom = control;
  note.hdr.idFrom = static_cast<UINT_PTR>(GetDlgCtrlID(control));
  note.hdr.code = code;
  note.iItem = item;
  SendMessageA(GetParent(control), WM_NOTIFY, note.hdr.idFrom, LPARAM(&note));
}

}  // namespace

std::unique_ptr<Win32Automation> Win32Automation::FromEnvironment() {
  const char* script_path = std::getenv("STOWKEEPER_AUTOMATION");
  if (script_path == nullptr || *script_path == '\0') return nullptr;
  std::ifstream in(script_path);
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
  return std::make_unique<Win32Automation>(std::move(script), log != nullptr ? log : "",
                                           shots != nullptr ? shots : "",
                                           seconds > 0 ? seconds : kDefaultTimeoutSeconds);
}

Win32Automation::Win32Automation(std::vector<std::string> script,
                                 const std::string& transcript_path, std::string shots_folder,
                                 int timeout_seconds)
    : script_(std::move(script)),
      shots_folder_(std::move(shots_folder)),
      deadline_(GetTickCount() + static_cast<DWORD>(timeout_seconds) * 1000) {
  if (!transcript_path.empty()) transcript_ = std::fopen(transcript_path.c_str(), "wb");
}

Win32Automation::~Win32Automation() {
  if (transcript_ != nullptr) std::fclose(transcript_);
  if (modal_ == this) modal_ = nullptr;
}

void Win32Automation::Note(const std::string& line) {
  notes_.push_back(line);
  if (transcript_ == nullptr) return;
  std::fprintf(transcript_, "%s\n", line.c_str());
  std::fflush(transcript_);
}

void Win32Automation::WindowOpened(int window, const std::string& title) {
  Note("open " + std::to_string(window) + " " + OneLine(title));
}

void Win32Automation::WindowClosed(int window) { Note("close " + std::to_string(window)); }

Win32Automation::Command Win32Automation::Parse(size_t index) const {
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

size_t Win32Automation::AfterShots() const {
  size_t index = next_;
  for (; index < script_.size(); ++index) {
    const std::string verb = Parse(index).verb;
    if (!verb.empty() && verb != "shot") break;
  }
  return index;
}

void Win32Automation::SkipBlank() {
  while (next_ < script_.size() && Current().verb.empty()) ++next_;
}

void Win32Automation::CheckDeadline() {
  if (!Later(GetTickCount(), deadline_)) return;
  Note("timeout at line " + std::to_string(next_ + 1) + ": " +
       (next_ < script_.size() ? script_[next_] : std::string("(end)")));
  ExitProcess(3);
}

void Win32Automation::Settle(int milliseconds) {
  const DWORD until = GetTickCount() + static_cast<DWORD>(milliseconds);
  while (!Later(GetTickCount(), until)) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    Sleep(10);
  }
}

void Win32Automation::TakeShot(const std::string& name) {
  Settle(kSettleMs);
  Note("shot " + name);
  if (shots_folder_.empty()) return;
  const int width = GetSystemMetrics(SM_CXSCREEN);
  const int height = GetSystemMetrics(SM_CYSCREEN);
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP picture = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  bool ok = false;
  std::vector<uint32_t> pixels;
  if (picture != nullptr && bits != nullptr && memory != nullptr) {
    HGDIOBJ old = SelectObject(memory, picture);
    ok = BitBlt(memory, 0, 0, width, height, screen, 0, 0, SRCCOPY | CAPTUREBLT) != 0;
    GdiFlush();
    const auto* begin = static_cast<const uint32_t*>(bits);
    pixels.assign(begin, begin + static_cast<size_t>(width) * height);
    SelectObject(memory, old);
  }
  if (picture != nullptr) DeleteObject(picture);
  if (memory != nullptr) DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  const std::vector<uint8_t> file = win32::BmpFile(width, height, pixels);
  std::string path = shots_folder_;
  if (!path.empty() && path.back() != '\\' && path.back() != '/') path += '\\';
  path += name + ".bmp";
  std::FILE* out = ok && !file.empty() ? std::fopen(path.c_str(), "wb") : nullptr;
  if (out == nullptr || std::fwrite(file.data(), 1, file.size(), out) != file.size()) ok = false;
  if (out != nullptr && std::fclose(out) != 0) ok = false;
  if (!ok) Note("shot failed " + name);
}

void Win32Automation::TakeShots() {
  SkipBlank();
  for (Command c = Current(); c.verb == "shot"; c = Current()) {
    ++next_;
    TakeShot(c.rest);
    SkipBlank();
  }
}

void Win32Automation::Step(Win32Toolkit& tk) {
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

bool Win32Automation::RunOne(Win32Toolkit& tk, const Command& command) {
  const std::string& verb = command.verb;
  const int window = Number(command.args, 0);
  if (verb == "wait-title") {
    HWND hwnd = tk.NativeWindow(window);
    const size_t space = command.rest.find(' ');
    const std::string title = space == std::string::npos ? "" : command.rest.substr(space + 1);
    char shown[512] = {};
    if (hwnd == nullptr || (GetWindowTextA(hwnd, shown, sizeof(shown)), title != shown)) {
      return false;
    }
    ++next_;
    return true;
  }
  if (verb == "wait-window" || verb == "wait-closed" || verb == "wait-enabled") {
    HWND hwnd = tk.NativeWindow(window);
    const bool ready = verb == "wait-window"   ? hwnd != nullptr
                       : verb == "wait-closed" ? hwnd == nullptr
                                               : hwnd != nullptr && IsWindowEnabled(hwnd);
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
    const DWORD now = GetTickCount();
    if (!sleep_until_) sleep_until_ = now + static_cast<DWORD>(Number(command.args, 0));
    if (!Later(now, *sleep_until_)) return false;
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

bool Win32Automation::Examine(Win32Toolkit& tk, const Command& command) {
  const std::string& verb = command.verb;
  const int window = Number(command.args, 0);
  const int id = Number(command.args, 1);
  const std::string where = std::to_string(window) + " " + std::to_string(id);
  if (verb == "list") {
    std::string rows;
    for (int row = 0; row < tk.CountItems(window, id); ++row) {
      if (row > 0) rows += " ; ";
      for (int column = 0; column <= 8; ++column) {
        const std::string text = tk.GetItemText(window, id, row, column);
        if (column > 0 && text.empty()) break;
        if (column > 0) rows += " | ";
        rows += text;
      }
    }
    Note("list " + where + ": " + rows);
  } else if (verb == "text") {
    Note("text " + where + ": " + OneLine(tk.GetText(window, id)));
  } else if (verb == "value") {
    Note("value " + where + ": " + std::to_string(tk.GetValue(window, id)));
  } else if (verb == "enabled") {
    HWND control = tk.NativeControl(window, id);
    Note("enabled " + where + ": " + (control != nullptr && IsWindowEnabled(control) ? "1" : "0"));
  } else if (verb == "rect") {
    HWND control = tk.NativeControl(window, id);
    RECT r{};
    if (control != nullptr) {
      GetWindowRect(control, &r);
      MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&r), 2);
    }
    Note("rect " + where + ": " + std::to_string(r.left) + " " + std::to_string(r.top) + " " +
         std::to_string(r.right - r.left) + " " + std::to_string(r.bottom - r.top));
  } else if (verb == "column") {
    Note("column " + where + " " + std::to_string(Number(command.args, 2)) + ": " +
         std::to_string(tk.GetColumnWidth(window, id, Number(command.args, 2))));
  } else if (verb == "geometry") {
    const WindowGeometry g = tk.GetWindowGeometry(window);
    Note("geometry " + std::to_string(window) + ": " + std::to_string(g.width) + " " +
         std::to_string(g.height) + " " + std::to_string(g.menu_bar_height) + " " +
         std::to_string(g.status_bar_height) + " " + std::to_string(static_cast<int>(g.state)));
  } else if (verb == "menu-state") {
    const UINT item = static_cast<UINT>(Win32Toolkit::kMenuIdBase + id);
    UINT state = 0xFFFFFFFF;
    for (HMENU menu : {tk.MenuBarOf(window), tk.ContextMenuOf(window)}) {
      if (menu != nullptr && state == 0xFFFFFFFF) state = GetMenuState(menu, item, MF_BYCOMMAND);
    }
    Note("menu-state " + where + ": " +
         (state == 0xFFFFFFFF
              ? "missing"
              : std::string((state & (MF_GRAYED | MF_DISABLED)) != 0 ? "disabled" : "enabled") +
                    ((state & MF_CHECKED) != 0 ? " checked" : "")));
  } else {
    return false;
  }
  return true;
}

bool Win32Automation::Act(Win32Toolkit& tk, const Command& command) {
  const std::string& verb = command.verb;
  const int window = Number(command.args, 0);
  const int id = Number(command.args, 1);
  HWND hwnd = tk.NativeWindow(window);
  if (hwnd == nullptr) return false;
  if (verb == "menu") {
    SendMessageA(hwnd, WM_COMMAND, MAKEWPARAM(Win32Toolkit::kMenuIdBase + id, 0), 0);
    return true;
  }
  if (verb == "close") {
    SendMessageA(hwnd, WM_CLOSE, 0, 0);
    return true;
  }
  if (verb == "maximize" || verb == "restore") {
    ShowWindow(hwnd, verb == "maximize" ? SW_MAXIMIZE : SW_RESTORE);
    return true;
  }
  if (verb == "resize") {
    const WindowGeometry g = tk.GetWindowGeometry(window);
    RECT outer{};
    GetWindowRect(hwnd, &outer);
    SetWindowPos(hwnd, nullptr, 0, 0, outer.right - outer.left + Number(command.args, 1) - g.width,
                 outer.bottom - outer.top + Number(command.args, 2) - g.height,
                 SWP_NOMOVE | SWP_NOZORDER);
    return true;
  }
  HWND control = tk.NativeControl(window, id);
  if (control == nullptr || !IsWindowEnabled(control)) return false;
  const ControlKind kind = tk.KindOf(window, id);
  const int row = Number(command.args, 2);
  if (verb == "click") {
    switch (kind) {
      case ControlKind::kOption:
        tk.SetValue(window, id, 1);
        SendCommand(control, BN_CLICKED);
        return true;
      case ControlKind::kButton:
        SendCommand(control, BN_CLICKED);
        return true;
      case ControlKind::kLink:
        SendCommand(control, STN_CLICKED);
        return true;
      default:
        return false;
    }
  }
  if (kind == ControlKind::kReportList) {
    const int selected =
        static_cast<int>(SendMessageA(control, LVM_GETNEXTITEM, WPARAM(-1), LVNI_SELECTED));
    if (verb == "select") {
      // As a click does: the old row goes, the new one comes, each with its own event.
      LVITEMA state{};
      state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
      if (selected >= 0 && selected != row) {
        SendMessageA(control, LVM_SETITEMSTATE, selected, LPARAM(&state));
      }
      if (row >= 0) {
        state.state = LVIS_SELECTED | LVIS_FOCUSED;
        SendMessageA(control, LVM_SETITEMSTATE, row, LPARAM(&state));
        SendMessageA(control, LVM_ENSUREVISIBLE, row, FALSE);
      }
      return true;
    }
    if (verb == "dclick") {
      SendNotify(control, LVN_ITEMACTIVATE, selected);
      return true;
    }
    if (verb == "rclick") {
      SendNotify(control, NM_RCLICK, selected);
      return true;
    }
    return false;
  }
  if (verb != "select") return false;
  if (kind == ControlKind::kDropDown) {
    SendMessageA(control, CB_SETCURSEL, WPARAM(row), 0);
    SendCommand(control, CBN_SELCHANGE);
    return true;
  }
  if (kind == ControlKind::kTabs) {
    SendMessageA(control, TCM_SETCURSEL, WPARAM(row), 0);
    NMHDR header{control, static_cast<UINT_PTR>(GetDlgCtrlID(control)),
                 static_cast<UINT>(TCN_SELCHANGE)};
    SendMessageA(GetParent(control), WM_NOTIFY, header.idFrom, LPARAM(&header));
    return true;
  }
  return false;
}

void CALLBACK Win32Automation::ModalTimer(HWND, UINT, UINT_PTR timer, DWORD) {
  KillTimer(nullptr, timer);
  Win32Automation* self = modal_;
  if (self == nullptr) return;
  self->modal_timer_ = 0;
  self->TakeShots();
  if (HWND dialog = ThreadDialog()) {
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(self->modal_button_, BN_CLICKED), 0);
  }
}

template <typename Show>
void Win32Automation::PhotographModal(int delay_ms, int button, Show show) {
  modal_ = this;
  modal_button_ = button;
  modal_timer_ = SetTimer(nullptr, 0, static_cast<UINT>(delay_ms), &Win32Automation::ModalTimer);
  show();
  if (modal_timer_ != 0) KillTimer(nullptr, modal_timer_);
  modal_timer_ = 0;
  modal_ = nullptr;
}

Answer Win32Automation::Message(Win32Toolkit& tk, const std::string& title, const std::string& text,
                                Icon icon, Buttons buttons) {
  busy_ = true;
  SkipBlank();
  Answer answer = buttons == Buttons::kOk ? Answer::kOk : Harmless(buttons);
  const Command scripted = Parse(AfterShots());
  if (scripted.verb == "answer" && AnswerNamed(scripted.rest)) answer = *AnswerNamed(scripted.rest);
  if (Current().verb == "shot") {
    // The box is shown as the program shows it, photographed, then answered.
    PhotographModal(300, ButtonOf(answer), [&] {
      Win32Toolkit::SystemMessageBox(tk.ActiveWindow(), title, text, icon, buttons);
    });
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

std::string Win32Automation::Folder(Win32Toolkit& tk, const std::string& title) {
  busy_ = true;
  SkipBlank();
  if (Current().verb == "shot") {
    // The chooser opens where the script's answer lies.
    const Command answer = Parse(AfterShots());
    const std::string start = answer.verb == "folder" && answer.rest != "cancel" ? answer.rest : "";
    PhotographModal(kChooserSettleMs, IDCANCEL, [&] { tk.RunFolderChooser(title, start); });
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

void Win32Automation::ContextMenuOpening(int window) {
  Note("context-menu " + std::to_string(window));
}

void Win32Automation::ContextMenuTimer(Win32Toolkit& tk) {
  (void)tk;
  busy_ = true;
  TakeShots();
  busy_ = false;
  EndMenu();
}

}  // namespace sk::ui
