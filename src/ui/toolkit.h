// The window toolkit as the jobs and the shell see it.
//
// Windows are addressed by number (the main window is 0, a job's window 1), controls by an
// id within their window, created at pixel positions of the window's client area (or of a
// container or tab page). Events are taken one at a time: PollEvent never waits and is cheap
// enough to call once per 6000-byte block; WaitEvent blocks until something happens.
//
// Backends: headless (tests: records everything, plays a script), console (the command line)
// and the desktop toolkit.
#ifndef STOWKEEPER_UI_TOOLKIT_H_
#define STOWKEEPER_UI_TOOLKIT_H_

#include <cstdint>
#include <string>
#include <vector>

namespace sk::ui {

enum class EventType {
  kNone,         // nothing pending
  kLeftClick,    // a button, option, list row or link was clicked; a drop-down changed
  kDoubleClick,  // a list row was double-clicked
  kRightClick,   // a list was right-clicked
  kMenu,         // a menu item (control = item id)
  kSize,         // the window was resized, maximized or restored
  kClose,        // the window's close box
  kTimer,        // a timer fired (control = timer id)
};

struct Event {
  EventType type = EventType::kNone;
  int window = -1;
  int control = -1;  // control id, menu item id or timer id
  bool operator==(const Event&) const = default;
};

enum class ControlKind {
  kButton,
  kProgressBar,  // value and range in whole units
  kText,         // a label or a read-only text field
  kEdit,         // an edit field
  kFrame,        // a titled group box
  kOption,       // an option (radio) button; value 1 = selected
  kDropDown,     // a drop-down list; value = selected index
  kReportList,   // a report list; items are rows, columns separated by '\n'; value = selected row
  kContainer,    // a plain raised panel holding other controls
  kTabs,         // a tab panel; items are the tab titles; value = selected tab
  kImage,        // one of the program's small images (value = image id)
  kLink,         // a hyperlink text
};

// Style bits of a control.
enum ControlStyle : uint32_t {
  kStyleNone = 0,
  kStyleCentered = 1u << 0,
  kStyleRightAligned = 1u << 1,
  kStyleBorder = 1u << 2,
  kStyleWhite = 1u << 3,  // white background
  kStyleReadOnly = 1u << 4,
  kStyleSmooth = 1u << 5,    // a smooth progress bar
  kStyleNoHeader = 1u << 6,  // a report list without column headers
  kStyleRaised = 1u << 7,    // a raised container
  kStyleBold = 1u << 8,
  kStyleLarge = 1u << 9,  // a large title font
  // Roles of buttons, which backends act on by themselves: the cancel button is what Escape
  // (and Ctrl-C on the command line) presses, the default button what Enter (and a command
  // line without a terminal to ask on) presses.
  kRoleCancel = 1u << 10,
  kRoleDefault = 1u << 11,
  // An edit field of several lines; its text has "\n" between the lines in every backend.
  kStyleMultiLine = 1u << 12,
};

struct ControlDef {
  int id = 0;
  ControlKind kind = ControlKind::kText;
  int x = 0, y = 0, width = 0, height = 0;
  std::string text;
  uint32_t style = kStyleNone;
  int parent = -1;          // container or tab panel the control sits in, or -1
  int page = 0;             // tab page within a tab panel parent
  int32_t background = -1;  // 0xRRGGBB, or -1 for the default
  std::string tooltip;
};

enum WindowFlags : uint32_t {
  kWindowNone = 0,
  kWindowCloseBox = 1u << 0,  // system menu with close box
  kWindowMinimizeBox = 1u << 1,
  kWindowMaximizeBox = 1u << 2,
  kWindowResizable = 1u << 3,
  kWindowCenterOnScreen = 1u << 4,  // else centred on the main window
  kWindowMaximized = 1u << 5,
  kWindowMinimized = 1u << 6,
};

struct WindowDef {
  std::string title;
  int width = 0, height = 0;  // inner size
  uint32_t flags = kWindowNone;
  int x = -1, y = -1;  // position for windows that are not centred
};

// A menu of the menu bar, or a window's context menu. Item ids are unique within a window
// (the menu bar and the context menu included); a chosen item arrives as a kMenu event.
struct MenuItem {
  int id = -1;  // -1: a separator
  std::string text;
  int image = -1;        // one of the program's small images, or -1
  bool checked = false;  // shows a check mark
};
struct Menu {
  std::string title;
  std::vector<MenuItem> items;
};

struct Rect {
  int x = 0, y = 0, width = 0, height = 0;
  bool operator==(const Rect&) const = default;
};

enum class WindowState { kNormal, kMaximized, kMinimized };

// Where a window is and how big. The inner height includes the menu bar and the status bar,
// as a window's inner size at opening does: a menu bar or status bar added later takes its
// height from the area of the controls.
struct WindowGeometry {
  int x = 0, y = 0;           // screen position
  int width = 0, height = 0;  // inner size
  int menu_bar_height = 0;
  int status_bar_height = 0;
  WindowState state = WindowState::kNormal;
};

struct Font {
  std::string face;  // a family name; the desktop's nearest match is used
  int points = 0;
  bool bold = false;
  bool italic = false;
};

// A small picture: pixels row by row, 0xAARRGGBB (alpha 0 is transparent).
struct Image {
  int width = 0, height = 0;
  std::vector<uint32_t> pixels;
};

enum class Icon { kNone, kInformation, kWarning, kQuestion };
enum class Buttons { kOk, kYesNo, kYesNoCancel, kOkCancel };
enum class Answer { kOk, kCancel, kYes, kNo };

// The answer that changes nothing: No to a Yes/No question, Cancel where it is offered, OK
// to a message that only informs. Given where nobody can answer.
constexpr Answer HarmlessAnswer(Buttons buttons) {
  switch (buttons) {
    case Buttons::kYesNo:
      return Answer::kNo;
    case Buttons::kYesNoCancel:
    case Buttons::kOkCancel:
      return Answer::kCancel;
    case Buttons::kOk:
      break;
  }
  return Answer::kOk;
}

class Toolkit {
 public:
  virtual ~Toolkit() = default;

  // Windows.
  virtual bool OpenWindow(int window, const WindowDef& def) = 0;
  virtual void CloseWindow(int window) = 0;
  virtual bool WindowExists(int window) = 0;
  virtual void EnableWindow(int window, bool enabled) = 0;

  // Controls.
  virtual void AddControl(int window, const ControlDef& def) = 0;
  virtual void SetText(int window, int control, const std::string& text) = 0;
  virtual std::string GetText(int window, int control) = 0;
  virtual void SetValue(int window, int control, int64_t value) = 0;
  virtual int64_t GetValue(int window, int control) = 0;
  virtual void SetRange(int window, int control, int64_t minimum, int64_t maximum) = 0;
  virtual int64_t GetMaximum(int window, int control) = 0;
  virtual void EnableControl(int window, int control, bool enabled) = 0;
  virtual void SetFocus(int window, int control) = 0;
  // Menu items (of the menu bar and the context menu); backends without menus ignore it.
  virtual void EnableMenuItem(int /*window*/, int /*item*/, bool /*enabled*/) {}

  // Rows of report lists, entries of drop-down lists, titles of tabs.
  virtual void AddColumn(int window, int control, const std::string& title, int width) = 0;
  virtual void AddItem(int window, int control, const std::string& text, int image = -1) = 0;
  virtual void SetItemText(int window, int control, int row, const std::string& text) = 0;
  virtual void ClearItems(int window, int control) = 0;
  virtual int CountItems(int window, int control) = 0;
  // One column of a row ('\n' separates the columns of a row's text).
  virtual std::string GetItemText(int window, int control, int row, int column) = 0;

  // A status bar along the bottom of a window, its fields sharing the width equally.
  virtual void AddStatusBar(int window, int fields) = 0;
  virtual void SetStatusText(int window, int field, const std::string& text) = 0;

  virtual void AddTimer(int window, int timer, int milliseconds) = 0;
  virtual void RemoveTimer(int window, int timer) = 0;

  // Events.
  virtual Event PollEvent() = 0;
  virtual Event WaitEvent() = 0;

  // Dialogs. ChooseFolder returns a folder in the internal path form, ending in "\", or "".
  virtual Answer MessageBox(const std::string& title, const std::string& text, Icon icon,
                            Buttons buttons) = 0;
  virtual std::string ChooseFolder(const std::string& title, const std::string& start) = 0;
  virtual void PlayInformationSound() = 0;

  // --- The desktop: what the main window and the About window need beyond the jobs' windows.
  // Backends without a screen keep the defaults, which do nothing.

  // The program's small images, by id; image controls, list rows and menu items use them.
  virtual void SetImages(const std::vector<Image>& /*images*/) {}

  virtual void SetMenuBar(int /*window*/, const std::vector<Menu>& /*menus*/) {}
  virtual void CheckMenuItem(int /*window*/, int /*item*/, bool /*checked*/) {}
  virtual void SetContextMenu(int /*window*/, const Menu& /*menu*/) {}
  // Shows the context menu at the mouse position; the chosen item arrives as a kMenu event.
  virtual void ShowContextMenu(int /*window*/) {}

  // Smallest inner size the user can drag the window to (menu bar included).
  virtual void SetMinimumSize(int /*window*/, int /*width*/, int /*height*/) {}
  virtual WindowGeometry GetWindowGeometry(int /*window*/) { return {}; }

  // Position and size of a control, in the coordinates it was created in.
  virtual void SetControlRect(int /*window*/, int /*control*/, const Rect& /*rect*/) {}
  virtual Rect GetControlRect(int /*window*/, int /*control*/) { return {}; }
  virtual void SetToolTip(int /*window*/, int /*control*/, const std::string& /*text*/) {}
  virtual void SetFont(int /*window*/, int /*control*/, const Font& /*font*/) {}

  // Report lists: column widths, and how many rows fit completely at the current height.
  virtual void SetColumnWidth(int /*window*/, int /*control*/, int /*column*/, int /*width*/) {}
  virtual int GetColumnWidth(int /*window*/, int /*control*/, int /*column*/) { return 0; }
  virtual int VisibleRowCount(int /*window*/, int /*control*/) { return 0; }
  // Widens a column of a report list to its widest cell as this desktop draws it, never
  // below minimum, and returns its width. Backends that cannot measure keep the
  // column at minimum.
  virtual int FitColumnToContent(int /*window*/, int /*control*/, int /*column*/, int minimum) {
    return minimum;
  }

  // The text of a status bar field ("" where there is none); what the user reads there.
  virtual std::string GetStatusText(int /*window*/, int /*field*/) { return ""; }

  // The language of the toolkit's own texts (the labels of its stock buttons in message
  // boxes), as a language code such as "de"; the program's texts come from its catalogs.
  virtual void SetLanguage(const std::string& /*code*/) {}

  // Opens a web address ("https://...") or a file (internal path form) with the desktop's
  // default handler; false when none took it.
  virtual bool OpenDocument(const std::string& /*target*/) { return false; }

  // A note for the user that needs no answer, through the desktop's notifications (a
  // message where the desktop has none); false when the backend cannot show one.
  virtual bool Notify(const std::string& /*title*/, const std::string& /*text*/, Icon /*icon*/) {
    return false;
  }
};

// Every backend implements the methods of the jobs' windows; the backends that draw a desktop
// (and the headless one, which records it) implement the desktop's methods as well. A
// backend's class body declares each set with one of these lines, so that the interface is
// written down in one place.
#define SK_TOOLKIT_WINDOW_METHODS                                                                  \
  bool OpenWindow(int window, const WindowDef& def) override;                                      \
  void CloseWindow(int window) override;                                                           \
  bool WindowExists(int window) override;                                                          \
  void EnableWindow(int window, bool enabled) override;                                            \
  void AddControl(int window, const ControlDef& def) override;                                     \
  void SetText(int window, int control, const std::string& text) override;                         \
  std::string GetText(int window, int control) override;                                           \
  void SetValue(int window, int control, int64_t value) override;                                  \
  int64_t GetValue(int window, int control) override;                                              \
  void SetRange(int window, int control, int64_t minimum, int64_t maximum) override;               \
  int64_t GetMaximum(int window, int control) override;                                            \
  void EnableControl(int window, int control, bool enabled) override;                              \
  void SetFocus(int window, int control) override;                                                 \
  void AddColumn(int window, int control, const std::string& title, int width) override;           \
  void AddItem(int window, int control, const std::string& text, int image) override;              \
  void SetItemText(int window, int control, int row, const std::string& text) override;            \
  void ClearItems(int window, int control) override;                                               \
  int CountItems(int window, int control) override;                                                \
  std::string GetItemText(int window, int control, int row, int column) override;                  \
  void AddStatusBar(int window, int fields) override;                                              \
  void SetStatusText(int window, int field, const std::string& text) override;                     \
  void AddTimer(int window, int timer, int milliseconds) override;                                 \
  void RemoveTimer(int window, int timer) override;                                                \
  Event PollEvent() override;                                                                      \
  Event WaitEvent() override;                                                                      \
  Answer MessageBox(const std::string& title, const std::string& text, Icon icon, Buttons buttons) \
      override;                                                                                    \
  std::string ChooseFolder(const std::string& title, const std::string& start) override;           \
  void PlayInformationSound() override;

#define SK_TOOLKIT_DESKTOP_METHODS                                              \
  void SetImages(const std::vector<Image>& images) override;                    \
  void SetMenuBar(int window, const std::vector<Menu>& menus) override;         \
  void EnableMenuItem(int window, int item, bool enabled) override;             \
  void CheckMenuItem(int window, int item, bool checked) override;              \
  void SetContextMenu(int window, const Menu& menu) override;                   \
  void ShowContextMenu(int window) override;                                    \
  void SetMinimumSize(int window, int width, int height) override;              \
  WindowGeometry GetWindowGeometry(int window) override;                        \
  void SetControlRect(int window, int control, const Rect& rect) override;      \
  Rect GetControlRect(int window, int control) override;                        \
  void SetToolTip(int window, int control, const std::string& text) override;   \
  void SetFont(int window, int control, const Font& font) override;             \
  void SetColumnWidth(int window, int control, int column, int width) override; \
  int GetColumnWidth(int window, int control, int column) override;             \
  int VisibleRowCount(int window, int control) override;                        \
  bool OpenDocument(const std::string& target) override;

// The columns of a list row's text, which '\n' separates; and one of them, "" past the last.
std::vector<std::string> RowColumns(const std::string& row_text);
std::string RowColumn(const std::string& row_text, int column);

// Whether an OpenDocument target is a web address ("http://", "https://") rather than a file.
bool IsWebAddress(const std::string& target);

// The image among the program's that stands for it in title bars and task lists.
inline constexpr int kProgramImage = 3;

// Window numbers.
inline constexpr int kMainWindow = 0;
inline constexpr int kJobWindow = 1;

// Controls of the main window that the jobs read (the selected row of either list).
inline constexpr int kBackupList = 10;
inline constexpr int kRestoreList = 20;

}  // namespace sk::ui

#endif  // STOWKEEPER_UI_TOOLKIT_H_
