// The desktop toolkit on wxWidgets (GTK on Linux).
//
// The program owns the loop: wx handlers only put events into a queue, and PollEvent and
// WaitEvent take them out. PollEvent lets the window system run at most every 10 ms, so that
// a poll with nothing pending costs a clock read (the jobs poll once per 6000-byte block);
// after pumping, idle processing runs so that closed windows really go away.
//
// Every window is a frame with one panel as its client area; controls sit on the panel, a
// container or a tab page at the pixel positions they were created at. A window's inner
// height at opening includes a menu bar and status bar added later.
#ifndef STOWKEEPER_UI_WX_WX_TOOLKIT_H_
#define STOWKEEPER_UI_WX_WX_TOOLKIT_H_

#include <wx/wx.h>

#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ui/control_state.h"
#include "ui/toolkit.h"

class wxGUIEventLoop;
class wxImageList;
class wxListCtrl;
class wxNotebook;

namespace sk::ui {

class AutomationPlayer;

// UTF-8 text in and out of wx.
wxString ToWx(const std::string& text);
std::string FromWx(const wxString& text);

// A folder as the folder chooser gives it (a native path) in the internal form with its
// trailing "\"; "" for "".
std::string ChosenFolder(const std::string& native_path);

class WxToolkit : public Toolkit {
 public:
  // Starts wxWidgets once per process; false when no display can be opened.
  static bool Start();

  WxToolkit();
  ~WxToolkit() override;
  WxToolkit(const WxToolkit&) = delete;
  WxToolkit& operator=(const WxToolkit&) = delete;

  // --- Test seams. A hook that returns a value answers instead of the dialog, which is
  // then not shown. folder_hook returns a native path, or "" for Cancel.
  struct MessageInfo {
    std::string title, text;
    Icon icon;
    Buttons buttons;
  };
  std::function<std::optional<Answer>(const MessageInfo&)> message_hook;
  std::function<std::optional<std::string>(const std::string& title, const std::string& start)>
      folder_hook;
  std::function<bool(const std::string& target)> document_hook;
  void SetAutomation(std::unique_ptr<AutomationPlayer> automation);

  // An event as if a handler had queued it.
  void Post(const Event& event);
  // Lets the window system run until nothing is pending (and idle work is done).
  void Pump();
  // The native window and control, for tests that click through the window system.
  wxWindow* NativeWindow(int window);
  wxWindow* NativeControl(int window, int control);
  // The window that questions and choosers are owned by: the newest enabled one.
  wxWindow* ActiveWindow();
  // Shows a message box without waiting for it (for screenshots); the caller destroys it.
  wxDialog* PreviewMessageBox(const MessageInfo& info);
  wxMenu* ContextMenuOf(int window);

  // --- Toolkit.
  SK_TOOLKIT_WINDOW_METHODS
  SK_TOOLKIT_DESKTOP_METHODS
  int FitColumnToContent(int window, int control, int column, int minimum) override;
  // Loads wxWidgets' own catalog of that language (the package wx3.2-i18n on Debian); false
  // when it is not installed, and the stock buttons then stay English.
  bool LoadToolkitCatalog(const std::string& code);
  void SetLanguage(const std::string& code) override { LoadToolkitCatalog(code); }
  std::string GetStatusText(int window, int field) override;
  bool Notify(const std::string& title, const std::string& text, Icon icon) override;

 private:
  struct ControlData : ControlState {
    wxWindow* widget = nullptr;
    std::vector<wxString> first_column;  // a report list's first column, whole
  };
  struct WindowData {
    wxFrame* frame = nullptr;
    wxPanel* panel = nullptr;
    WindowDef def;
    std::map<int, ControlData> controls;
    std::map<int, std::unique_ptr<wxTimer>> timers;
    std::unique_ptr<wxMenu> context_menu;
  };

  WindowData* FindWindow(int window);
  ControlData* FindControl(int window, int control);
  wxWindow* ParentFor(WindowData& w, const ControlDef& def);
  wxWindow* MakeWidget(int window, WindowData& w, const ControlDef& def);
  void BindEvents(int window, const ControlDef& def, wxWindow* widget);
  // A click on the enabled button of that role; false when the window has none.
  bool PressRole(int window, uint32_t role);
  void Queue(const Event& event);
  int MenuBarHeight(WindowData& w);
  wxMenu* BuildMenu(int window, const Menu& menu);
  void PumpNow();

  std::deque<Event> queue_;
  std::map<int, WindowData> windows_;
  std::unique_ptr<wxGUIEventLoop> loop_;
  std::unique_ptr<wxImageList> images_;
  std::vector<Image> image_data_;
  std::unique_ptr<AutomationPlayer> automation_;
  std::chrono::steady_clock::time_point next_pump_;
  wxFont base_font_;
  bool quiet_ = false;  // set while the program changes a control itself
  bool pumping_ = false;
};

}  // namespace sk::ui

#endif  // STOWKEEPER_UI_WX_WX_TOOLKIT_H_
