#include "shell/event_loop.h"

#include "archive/set_names.h"
#include "jobs/create/create.h"
#include "jobs/create/scan.h"
#include "jobs/restore/list_contents.h"
#include "jobs/restore/restore.h"
#include "jobs/restore/verify.h"
#include "jobs/sets/backup_lists.h"
#include "jobs/sets/properties.h"
#include "jobs/sets/update.h"
#include "platform/file_system.h"
#include "shell/about_window.h"
#include "shell/catalog.h"
#include "shell/command_line.h"
#include "shell/images.h"
#include "shell/main_window.h"
#include "shell/schedule_window.h"
#include "shell/settings.h"
#include "shell/settings_window.h"
#include "ui/main_window_ids.h"

namespace sk {

namespace {

constexpr int kMainWindow = ui::kMainWindow;

DesktopToolkitMaker& Maker() {
  static DesktopToolkitMaker maker = nullptr;
  return maker;
}

// What one pass of the loop knows: the recorded gadget and menu item, which the steps may
// rewrite for the steps after them.
struct Pass {
  ui::EventType type = ui::EventType::kNone;
  int gadget = -1;
  int menu = -1;
  bool context_menu_allowed = true;
};

bool RestoreTabShown(ui::Toolkit& tk) { return tk.GetValue(kMainWindow, ui::kTabPanel) == 1; }

// Column 0 of the row selected in a list of the main window (a restore point's display
// name), or "" when none is selected.
std::string SelectedName(ui::Toolkit& tk, int list) {
  const int64_t row = tk.GetValue(kMainWindow, list);
  return row < 0 ? "" : tk.GetItemText(kMainWindow, list, static_cast<int>(row), 0);
}

// The source folder of a display name, "" for none.
std::string SourceOf(const std::string& name) {
  return name.empty() ? "" : ParsePointName(name).source;
}

int CurrentList(ui::Toolkit& tk) {
  return RestoreTabShown(tk) ? ui::kRestoreList : ui::kBackupList;
}

int CurrentListButton(ui::Toolkit& tk) {
  return RestoreTabShown(tk) ? ui::kRestoreListButton : ui::kBackupListButton;
}

// Steps 3 and 4: a list event enables or disables the row commands, and with a selected row
// a double-click becomes the chosen action and a right click opens the context menu.
void HandleListEvent(AppState& app, Pass& pass) {
  ui::Toolkit& tk = app.toolkit;
  const bool backup = pass.gadget == ui::kBackupList;
  EnableRowCommands(app, pass.gadget);
  if (backup) ShowSetStatus(app, SourceOf(SelectedName(tk, ui::kBackupList)));
  if (tk.GetValue(kMainWindow, pass.gadget) < 0) return;
  if (pass.type == ui::EventType::kDoubleClick) {
    const int list_button = backup ? ui::kBackupListButton : ui::kRestoreListButton;
    switch (app.DoubleClickAction) {
      case 0:
        pass.gadget = list_button;
        break;
      case 1:
        pass.menu = ui::kMenuProperties;
        break;
      case 2:
        pass.menu = ui::kMenuVerify;
        break;
      case 3:
        pass.gadget = backup ? ui::kUpdateButton : list_button;
        break;
      default:
        break;
    }
  } else if (pass.type == ui::EventType::kRightClick && pass.context_menu_allowed) {
    tk.ShowContextMenu(kMainWindow);
  }
}

// Step 5: the window is built anew in the other language, on the same tab.
void SwitchLanguage(AppState& app, const std::string& catalog, std::vector<std::string>& catalogs) {
  ui::Toolkit& tk = app.toolkit;
  app.Catalog = catalog;
  const int64_t tab = tk.GetValue(kMainWindow, ui::kTabPanel);
  if (app.ViewMode == 0) {
    const ui::WindowGeometry g = tk.GetWindowGeometry(kMainWindow);
    app.WinX = g.x;
    app.WinY = g.y;
  }
  tk.CloseWindow(kMainWindow);
  LoadCatalog(app);
  catalogs = OpenMainWindow(app);
  RefreshBackupLists(app);
  RelayoutMainWindow(app);
  tk.SetValue(kMainWindow, ui::kTabPanel, tab);
}

void RunCreate(AppState& app) {
  ui::Toolkit& tk = app.toolkit;
  const std::string folder = tk.ChooseFolder(app.Text(kTextChooseSource), "");
  if (!folder.empty()) {
    ClearScan(app);
    ScanTree(app, folder, /*quiet=*/false);
    if (WriteVolume(app, folder, 0, kInteractiveMode, app.Engine) == 1) tk.PlayInformationSound();
    RefreshBackupLists(app);
    ShowSetStatus(app, folder);
  }
  tk.SetFocus(kMainWindow, ui::kBackupList);
}

void RunRestore(AppState& app) {
  ui::Toolkit& tk = app.toolkit;
  const std::string name = SelectedName(tk, ui::kRestoreList);
  if (!name.empty()) {
    app.RestoreTotal = ShowBackupProperties(app, name, kUnpackedKiB);
    const std::string target = tk.ChooseFolder(app.Text(kTextChooseTarget), "");
    if (!target.empty() && RestoreBackup(app, name, target, kInteractiveMode) == 1) {
      tk.PlayInformationSound();
    }
  }
  tk.SetFocus(kMainWindow, ui::kRestoreList);
}

void RunProperties(AppState& app) {
  ui::Toolkit& tk = app.toolkit;
  const int list = CurrentList(tk);
  const std::string name = SelectedName(tk, list);
  if (name.empty()) return;
  ShowBackupProperties(app, name, kShowProperties);
  tk.SetFocus(kMainWindow, list);
}

// Steps 6 to 16, on the recorded (and perhaps rewritten) gadget and menu item. False when
// the user quits.
bool RunCommand(AppState& app, Pass& pass) {
  ui::Toolkit& tk = app.toolkit;
  if (pass.menu == ui::kMenuAbout) AboutWindow(app);
  if (pass.menu == ui::kMenuSettings) {
    SettingsWindow(app);
    RefreshBackupLists(app);
  }
  if (pass.menu == ui::kMenuVerify || pass.menu == ui::kContextVerify) {
    const int list = CurrentList(tk);
    VerifyBackup(app, SelectedName(tk, list));
    tk.SetFocus(kMainWindow, list);
  }
  if (pass.menu == ui::kMenuProperties || pass.menu == ui::kContextProperties) {
    RunProperties(app);
  }
  if (pass.gadget == ui::kQuitButton || pass.menu == ui::kMenuQuit) return false;
  if (pass.gadget == ui::kCreateButton) RunCreate(app);
  if (pass.gadget == ui::kUpdateButton || pass.menu == ui::kContextUpdate) {
    const std::string name = SelectedName(tk, ui::kBackupList);
    if (!name.empty()) {
      if (UpdateBackup(app, name, kInteractiveMode) == 1) tk.PlayInformationSound();
      RefreshBackupLists(app);
      ShowSetStatus(app, SourceOf(name));
    }
    tk.SetFocus(kMainWindow, ui::kBackupList);
  }
  if (pass.gadget == ui::kRestoreButton || pass.menu == ui::kContextRestore) RunRestore(app);
  if (pass.menu == ui::kContextSchedule) {
    const std::string name = SelectedName(tk, ui::kBackupList);
    if (!name.empty()) ScheduleWindow(app, SourceOf(name));
    tk.SetFocus(kMainWindow, ui::kBackupList);
  }
  if (pass.gadget == ui::kDeleteButton || pass.menu == ui::kContextDelete) {
    const std::string name = SelectedName(tk, ui::kBackupList);
    DeleteLatestBackup(app);
    ShowSetStatus(app, SourceOf(name));
    tk.SetFocus(kMainWindow, ui::kBackupList);
  }
  if (pass.menu == ui::kContextList) pass.gadget = CurrentListButton(tk);
  for (const auto& [button, list] : {std::pair{ui::kBackupListButton, ui::kBackupList},
                                     {ui::kRestoreListButton, ui::kRestoreList}}) {
    if (pass.gadget != button) continue;
    ListBackupContents(app, SelectedName(tk, list));
    tk.SetFocus(kMainWindow, list);
  }
  return true;
}

}  // namespace

void SetDesktopToolkitMaker(DesktopToolkitMaker maker) { Maker() = maker; }

std::unique_ptr<ui::Toolkit> MakeDesktop() { return Maker() == nullptr ? nullptr : Maker()(); }

void CopySettings(const AppState& from, AppState& to) {
  to.Engine = from.Engine;
  to.Level = from.Level;
  to.BackupFolder = from.BackupFolder;
  to.DoubleClickAction = from.DoubleClickAction;
  to.Catalog = from.Catalog;
  to.WinX = from.WinX;
  to.WinY = from.WinY;
  to.WinWidth = from.WinWidth;
  to.WinHeight = from.WinHeight;
  to.ColumnWidth = from.ColumnWidth;
  to.ViewMode = from.ViewMode;
  to.NotifySuccess = from.NotifySuccess;
  to.ProgramFolder = from.ProgramFolder;
  to.SettingsFolder = from.SettingsFolder;
  to.Texts = from.Texts;
}

int RunDesktop(const AppState& app, std::FILE* messages) {
  std::unique_ptr<ui::Toolkit> desktop = Maker() == nullptr ? nullptr : Maker()();
  if (desktop == nullptr) {
    std::fputs(Maker() == nullptr
                   ? "stowkeeper: this program was built without its desktop windows\n"
                   : "stowkeeper: no desktop to show the windows on (is DISPLAY set?)\n",
               messages);
    std::fputs(UsageText(app.SettingsFolder).c_str(), messages);
    return kExitUsage;
  }
  AppState desk(*desktop);
  CopySettings(app, desk);
  RunMainWindow(desk);
  return kExitDone;
}

void RunMainWindow(AppState& app) {
  ui::Toolkit& tk = app.toolkit;
  tk.SetImages(ProgramImages());
  std::vector<std::string> catalogs = OpenMainWindow(app);
  RefreshBackupLists(app);
  RelayoutMainWindow(app);
  if (!platform::FolderExists(app.BackupFolder)) {
    SettingsWindow(app);
    RefreshBackupLists(app);
  }
  while (tk.WindowExists(kMainWindow) && HandleMainEvent(app, tk.WaitEvent(), catalogs)) {
  }
  RecordMainWindowGeometry(app);
  SaveSettings(app, app.SettingsFolder);
  tk.CloseWindow(kMainWindow);
}

bool HandleMainEvent(AppState& app, const ui::Event& event, std::vector<std::string>& catalogs) {
  ui::Toolkit& tk = app.toolkit;
  if (event.window != kMainWindow) return true;
  Pass pass;
  pass.type = event.type;
  // Step 1.
  switch (event.type) {
    case ui::EventType::kMenu:
      pass.menu = event.control;
      break;
    case ui::EventType::kSize:
      RelayoutMainWindow(app);
      break;
    case ui::EventType::kLeftClick:
    case ui::EventType::kDoubleClick:
    case ui::EventType::kRightClick:
      pass.gadget = event.control;
      break;
    default:
      break;
  }
  // Step 2: a tab switch never opens the context menu.
  if (pass.gadget == ui::kTabPanel) {
    pass.gadget = CurrentList(tk);
    tk.SetFocus(kMainWindow, pass.gadget);
    pass.context_menu_allowed = false;
  }
  // Steps 3 and 4.
  if (pass.gadget == ui::kBackupList || pass.gadget == ui::kRestoreList) {
    HandleListEvent(app, pass);
  }
  // Step 5. The item's own file name is taken, so that a catalog spelled ".CATALOG" loads.
  const int language = pass.menu - ui::kMenuFirstLanguage;
  if (pass.menu >= ui::kMenuFirstLanguage && language < static_cast<int>(catalogs.size())) {
    SwitchLanguage(app, catalogs[static_cast<size_t>(language)], catalogs);
    return true;
  }
  if (!RunCommand(app, pass)) return false;
  // A command's own window took every event while it ran, a resize of the main window
  // among them: the layout follows the size the window has now.
  if (pass.menu >= 0 ||
      (pass.gadget >= 0 && pass.gadget != ui::kBackupList && pass.gadget != ui::kRestoreList)) {
    if (tk.WindowExists(kMainWindow)) RelayoutMainWindow(app);
  }
  // Step 17.
  return event.type != ui::EventType::kClose;
}

}  // namespace sk
