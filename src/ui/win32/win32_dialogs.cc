// Message boxes, the folder chooser, the information sound and documents opened by the
// desktop, for the native toolkit. SHELL32 is loaded when it is needed.
#include "ui/win32/win32_toolkit.h"
// After windows.h, which they need.
#include <shellapi.h>
#include <shlobj.h>

#include <iterator>

#include "platform/file_system.h"
#include "ui/automation_player.h"

namespace sk::ui {

namespace {

using BrowseFn = PIDLIST_ABSOLUTE(WINAPI*)(BROWSEINFOA*);
using PathFn = BOOL(WINAPI*)(PCIDLIST_ABSOLUTE, LPSTR);
using ExecuteFn = BOOL(WINAPI*)(SHELLEXECUTEINFOA*);
using NameFn = HRESULT(WINAPI*)(PCIDLIST_ABSOLUTE, SIGDN, PWSTR*);

template <typename Function>
Function Lookup(HMODULE library, const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(library, name)));
}

int CALLBACK BrowseCallback(HWND dialog, UINT message, LPARAM, LPARAM start) {
  if (message != BFFM_INITIALIZED || start == 0 || *reinterpret_cast<const char*>(start) == '\0') {
    return 0;
  }
  // The tree of the newer style opens the branch down to it only when asked (wide text).
  wchar_t wide[MAX_PATH] = {};
  if (MultiByteToWideChar(CP_ACP, 0, reinterpret_cast<const char*>(start), -1, wide, MAX_PATH)) {
    SendMessageW(dialog, BFFM_SETEXPANDED, TRUE, reinterpret_cast<LPARAM>(wide));
  }
  SendMessageA(dialog, BFFM_SETSELECTIONA, TRUE, start);
  return 0;
}

// A folder of a share that the shell keeps as a network item rather than a file-system
// path: its parsing name is the "\\server\share\folder" the file functions open. Other places
// outside the file system (the network neighbourhood, a server) give "".
std::string NetworkPathOf(HMODULE shell, PCIDLIST_ABSOLUTE item) {
  auto name_of = Lookup<NameFn>(shell, "SHGetNameFromIDList");  // Vista and later
  PWSTR wide = nullptr;
  if (name_of == nullptr || FAILED(name_of(item, SIGDN_DESKTOPABSOLUTEPARSING, &wide)) ||
      wide == nullptr) {
    return "";
  }
  char path[MAX_PATH] = {};
  const int length = WideCharToMultiByte(CP_ACP, 0, wide, -1, path, MAX_PATH, nullptr, nullptr);
  CoTaskMemFree(wide);
  const std::string name = length > 0 ? path : "";
  return platform::RootLength(name) > 3 ? name : "";
}

// Disables the program's other windows while a dialog owned by one of them is open, and
// enables them again afterwards.
class OtherWindowsDisabled {
 public:
  OtherWindowsDisabled(const std::vector<HWND>& windows, HWND owner) {
    for (HWND hwnd : windows) {
      if (hwnd != owner && IsWindowEnabled(hwnd)) {
        ::EnableWindow(hwnd, FALSE);
        disabled_.push_back(hwnd);
      }
    }
  }
  ~OtherWindowsDisabled() {
    for (HWND hwnd : disabled_) ::EnableWindow(hwnd, TRUE);
  }
  OtherWindowsDisabled(const OtherWindowsDisabled&) = delete;
  OtherWindowsDisabled& operator=(const OtherWindowsDisabled&) = delete;

 private:
  std::vector<HWND> disabled_;
};

// The system's button id of each answer, in the order of ui::Answer.
constexpr int kButtonOfAnswer[] = {IDOK, IDCANCEL, IDYES, IDNO};
static_assert(static_cast<int>(Answer::kNo) == 3, "kButtonOfAnswer follows ui::Answer");

// The message box's styles, in the order of ui::Buttons and of ui::Icon.
constexpr UINT kButtonStyles[] = {MB_OK, MB_YESNO, MB_YESNOCANCEL, MB_OKCANCEL};
constexpr UINT kIconStyles[] = {0, MB_ICONINFORMATION, MB_ICONWARNING, MB_ICONQUESTION};
static_assert(static_cast<int>(Buttons::kOkCancel) == 3 && static_cast<int>(Icon::kQuestion) == 3,
              "the styles follow ui::Buttons and ui::Icon");

}  // namespace

Answer Win32Toolkit::SystemMessageBox(HWND owner, const std::string& title, const std::string& text,
                                      Icon icon, Buttons buttons) {
  UINT style = kButtonStyles[static_cast<size_t>(buttons)] | kIconStyles[static_cast<size_t>(icon)];
  // Without a window of its own (the command line before a job window opens) the box comes
  // to the front and holds every window of the program.
  if (owner == nullptr) style |= MB_TASKMODAL | MB_SETFOREGROUND;
  const int pressed = MessageBoxA(owner, text.c_str(), title.c_str(), style);
  for (size_t answer = 0; answer < std::size(kButtonOfAnswer); ++answer) {
    if (pressed == kButtonOfAnswer[answer]) return static_cast<Answer>(answer);
  }
  // A box that could not be shown never answers Yes.
  return HarmlessAnswer(buttons);
}

int ButtonOfAnswer(Answer answer) { return kButtonOfAnswer[static_cast<size_t>(answer)]; }

Answer Win32Toolkit::MessageBox(const std::string& title, const std::string& text, Icon icon,
                                Buttons buttons) {
  if (automation_ != nullptr) return automation_->Message(title, text, icon, buttons);
  return SystemMessageBox(ActiveWindow(), title, text, icon, buttons);
}

bool Win32Toolkit::Notify(const std::string& title, const std::string& text, Icon icon) {
  // A run whose standard error leads somewhere (a console, a file, a pipe) was started by
  // someone who reads it there, and a box would wait for a click nobody gives. The Task
  // Scheduler gives none, and runs the task in the user's session while the user is logged
  // on, so the box is seen; it needs only OK.
  HANDLE errors = GetStdHandle(STD_ERROR_HANDLE);
  if (errors != nullptr && errors != INVALID_HANDLE_VALUE &&
      GetFileType(errors) != FILE_TYPE_UNKNOWN) {
    return true;
  }
  MessageBox(title, text, icon, Buttons::kOk);
  return true;
}

std::string Win32Toolkit::RunFolderChooser(const std::string& title, const std::string& start) {
  HMODULE shell = LoadLibraryA("shell32.dll");
  if (shell == nullptr) return "";
  auto browse = Lookup<BrowseFn>(shell, "SHBrowseForFolderA");
  auto path_of = Lookup<PathFn>(shell, "SHGetPathFromIDListA");
  std::string chosen;
  if (browse != nullptr && path_of != nullptr) {
    HWND owner = ActiveWindow();
    char display_name[MAX_PATH] = {};
    BROWSEINFOA info{};
    info.hwndOwner = owner;
    info.pszDisplayName = display_name;
    info.lpszTitle = title.c_str();
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE | BIF_EDITBOX;
    info.lpfn = &BrowseCallback;
    info.lParam = reinterpret_cast<LPARAM>(start.c_str());
    std::vector<HWND> ours;
    for (const auto& [number, w] : windows_) ours.push_back(w.hwnd);
    PIDLIST_ABSOLUTE item = nullptr;
    {
      const OtherWindowsDisabled others(ours, owner);
      item = browse(&info);
    }
    if (item != nullptr) {
      char path[MAX_PATH] = {};
      chosen = path_of(item, path) ? std::string(path) : NetworkPathOf(shell, item);
      CoTaskMemFree(item);
    }
  }
  FreeLibrary(shell);
  return chosen;
}

std::string Win32Toolkit::ChooseFolder(const std::string& title, const std::string& start) {
  std::string native_start = start.empty() ? "" : platform::NativePath(start);
  if (native_start.empty()) native_start = start;
  native_start = win32::BrowserStartFolder(native_start);
  const std::string chosen =
      automation_ != nullptr ? automation_->Folder(title) : RunFolderChooser(title, native_start);
  if (chosen.empty()) return "";
  return win32::WithTrailingBackslash(platform::InternalPath(chosen));
}

void Win32Toolkit::PlayInformationSound() {
  if (automation_ != nullptr) automation_->Note("sound");
  MessageBeep(MB_ICONASTERISK);
}

bool Win32Toolkit::OpenDocument(const std::string& target) {
  if (automation_ != nullptr) {
    automation_->Note("open " + target);
    return true;
  }
  std::string file = target;
  if (!IsWebAddress(target)) {
    file = platform::NativePath(target);
    if (file.empty()) return false;
  }
  HMODULE shell = LoadLibraryA("shell32.dll");
  if (shell == nullptr) return false;
  bool opened = false;
  if (auto execute = Lookup<ExecuteFn>(shell, "ShellExecuteExA")) {
    SHELLEXECUTEINFOA info{};
    info.cbSize = sizeof(info);
    info.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
    info.hwnd = ActiveWindow();
    info.lpVerb = "open";
    info.lpFile = file.c_str();
    info.nShow = SW_SHOWNORMAL;
    opened = execute(&info) != FALSE;
  }
  FreeLibrary(shell);
  return opened;
}

}  // namespace sk::ui
