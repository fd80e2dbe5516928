// The desktop toolkit on the native Windows controls (USER32, GDI32, COMCTL32), with the
// ANSI functions throughout: every text the program hands over is in the system's ANSI code
// page, as the volume format stores names.
//
// The program owns the loop: the window procedures only put events into a queue, and
// PollEvent and WaitEvent take them out. PollEvent lets the window system run at most every
// 10 ms, so that a poll with nothing pending costs a tick count read (jobs poll once per
// 6000-byte block, and an empty PeekMessage is not free, least of all under Wine).
//
// Every window is a top-level window whose client area holds the controls; containers and
// tab pages are child panels of the same window class. A window's inner height at opening
// includes a menu bar and status bar added later, which take their height from the client
// area.
#ifndef STOWKEEPER_UI_WIN32_WIN32_TOOLKIT_H_
#define STOWKEEPER_UI_WIN32_WIN32_TOOLKIT_H_

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>
// The toolkit has a MessageBox of its own; the system's is called by its ANSI name.
#undef MessageBox

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ui/control_state.h"
#include "ui/toolkit.h"
#include "ui/win32/win32_helpers.h"

namespace sk::ui {

class AutomationPlayer;

class Win32Toolkit : public Toolkit {
 public:
  Win32Toolkit();
  ~Win32Toolkit() override;
  Win32Toolkit(const Win32Toolkit&) = delete;
  Win32Toolkit& operator=(const Win32Toolkit&) = delete;

  // Menu items have these ids and above (Enter and Escape arrive as ids 1 and 2).
  static constexpr int kMenuIdBase = 20000;
  // Timer n of a window is native timer kTimerBase + n; the automation has one of its own.
  static constexpr UINT_PTR kTimerBase = 1;
  static constexpr UINT_PTR kMenuShotTimer = 0x7F00;
  static constexpr int kControlIdBase = 1000;

  // False when the window class could not be registered.
  bool Ready() const { return ready_; }

  void SetAutomation(std::unique_ptr<AutomationPlayer> automation);

  // --- For the automation: native handles and what the window system shows.
  HWND NativeWindow(int window);
  HWND NativeControl(int window, int control);
  ControlKind KindOf(int window, int control);
  // The window that questions and choosers are owned by: the newest enabled one.
  HWND ActiveWindow();
  HMENU MenuBarOf(int window);
  HMENU ContextMenuOf(int window);
  // Lets the window system run until nothing is pending.
  void Pump();
  // The system's folder chooser, owned by the active window and opening at start (a native
  // path); the chosen native folder, or "".
  std::string RunFolderChooser(const std::string& title, const std::string& start);

  // --- Toolkit.
  SK_TOOLKIT_WINDOW_METHODS
  SK_TOOLKIT_DESKTOP_METHODS
  std::string GetStatusText(int window, int field) override;
  bool Notify(const std::string& title, const std::string& text, Icon icon) override;

  // The message box as the system shows it (the automation's pictures show it this way).
  static Answer SystemMessageBox(HWND owner, const std::string& title, const std::string& text,
                                 Icon icon, Buttons buttons);

 private:
  struct ControlData : ControlState {
    HWND hwnd = nullptr;
    std::vector<HWND> pages;  // tab panels: one panel per tab
    HFONT font = nullptr;     // a font of its own (SetFont, links), deleted with the control
    HBRUSH brush = nullptr;
    HICON icon = nullptr;
    int option_group = 0;
    int shown = -1;           // progress bars: the position the control shows
    int first_column = 0;     // report lists: the native column that is the program's first
    bool has_images = false;  // report lists: the image list is set
  };
  struct WindowData {
    HWND hwnd = nullptr;
    WindowDef def;
    std::map<int, ControlData> controls;
    HWND tooltip = nullptr;
    HWND status = nullptr;
    int status_fields = 0;
    HMENU context_menu = nullptr;
    std::vector<HBITMAP> menu_bitmaps;
    std::map<int, int> menu_images;     // native item id -> image, for menus drawn by hand
    int min_width = 0, min_height = 0;  // inner size, menu bar included
    int next_option_group = 1;
    int last_kind = -1;  // kind of the control made last, for option groups
  };
  // What a native window of the program stands for.
  struct Ref {
    enum class Kind { kWindow, kPanel, kControl } kind = Kind::kWindow;
    int window = -1;
    int control = -1;  // kControl: the control; kPanel: the container or tab panel
  };

  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT Handle(HWND hwnd, const Ref& ref, UINT message, WPARAM wparam, LPARAM lparam);
  bool DispatchOne(MSG& msg);
  void EraseLikeParent(HWND hwnd, const Ref& ref, HDC dc);
  bool MeasureMenuImage(MEASUREITEMSTRUCT& item);
  bool DrawMenuImage(int window, const DRAWITEMSTRUCT& item);
  bool HandleCommand(const Ref& ref, WPARAM wparam, LPARAM lparam);
  bool HandleNotify(const NMHDR& header);
  LRESULT HandleColour(HWND control, HDC dc, UINT message, HWND parent, WPARAM wparam,
                       LPARAM lparam);
  void PaintPanel(HWND hwnd, const Ref& ref);
  void OnSize(const Ref& ref, HWND hwnd);

  WindowData* FindWin(int window);
  ControlData* FindControl(int window, int control);
  const Ref* RefOf(HWND hwnd) const;
  HWND ParentFor(WindowData& w, const ControlDef& def);
  HWND MakeControl(int window, WindowData& w, const ControlDef& def, ControlData& c);
  HWND MakePanel(int window, int control, HWND parent, const win32::Area& area, DWORD style);
  void ShowPage(ControlData& tabs);
  void PlacePages(ControlData& tabs);
  void SetRow(ControlData& c, int row, const std::string& text, int image);
  void DestroyControl(ControlData& c);
  void Queue(const Event& event);
  void PumpNow();
  int MenuBarHeight(const WindowData& w) const;
  int StatusBarHeight(const WindowData& w) const;
  void PlaceStatusBar(WindowData& w);
  HMENU BuildMenu(WindowData& w, const Menu& menu, bool popup);
  HBITMAP MenuBitmap(int image);
  HICON MakeIcon(const Image& image, int width, int height);
  HFONT BaseFont() const { return base_font_; }

  bool ready_ = false;
  HINSTANCE instance_ = nullptr;
  win32::EventQueue queue_;
  win32::PollThrottle throttle_{10};
  std::map<int, WindowData> windows_;
  std::map<HWND, Ref> refs_;
  std::vector<Image> image_data_;
  HIMAGELIST images_ = nullptr;
  HICON big_icon_ = nullptr, small_icon_ = nullptr;
  HFONT base_font_ = nullptr;
  HFONT link_font_ = nullptr;
  std::unique_ptr<AutomationPlayer> automation_;
  bool quiet_ = false;  // set while the program changes a control itself
  bool pumping_ = false;
  bool ole_ = false;
  bool vista_ = true;
};

// The system's id of the message box button that gives this answer (IDOK, IDCANCEL, IDYES,
// IDNO).
int ButtonOfAnswer(Answer answer);

// A 32-bit top-down DIB section of that size; *bits points at its pixels (B, G, R, A).
HBITMAP TopDownBitmap(int width, int height, void** bits);

// Windows Vista and later (major version 6 and up).
bool IsVistaOrLater();

// Before Vista a smooth progress bar drawn by the visual style still shows blocks: its style
// is removed there (true). On later systems nothing changes (false).
bool ApplyPlainProgressStyle(HWND control);

}  // namespace sk::ui

#endif  // STOWKEEPER_UI_WIN32_WIN32_TOOLKIT_H_
