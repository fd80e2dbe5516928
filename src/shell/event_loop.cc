#include "shell/event_loop.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "archive/set_names.h"
#include "core/size_text.h"
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
#include "shell/exclusions_window.h"
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
  if (backup) ShowSetStatus(app, SourceOf(SelectedPointName(app, ui::kBackupList)));
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
  tk.SetLanguage(CatalogLanguage(app.Catalog));
  catalogs = OpenMainWindow(app);
  RefreshBackupLists(app);
  RelayoutMainWindow(app);
  tk.SetValue(kMainWindow, ui::kTabPanel, tab);
}

// A text with its "%KEY%" placeholders filled in.
std::string Filled(std::string text,
                   const std::vector<std::pair<std::string, std::string>>& values) {
  for (const auto& [key, value] : values) {
    for (size_t at = text.find(key); at != std::string::npos;
         at = text.find(key, at + value.size())) {
      text.replace(at, key.size(), value);
    }
  }
  return text;
}

// A job's outcome goes to the status bar; a new job clears it first.
void ShowOutcome(AppState& app, const std::string& text) {
  app.toolkit.SetStatusText(kMainWindow, 0, text);
}

// Selects the row of a list whose point belongs to the set of source folder, as the user
// would to act on it next, and enables the commands for it.
void SelectSetRow(AppState& app, int list, const std::string& source) {
  const StringList& names = list == ui::kBackupList ? app.BackupRowNames : app.RestoreRowNames;
  const std::string set = LowerCase(source);
  for (size_t row = names.size(); row-- > 0;) {
    if (LowerCase(ParsePointName(names[row]).source) != set) continue;
    app.toolkit.SetValue(kMainWindow, list, static_cast<int64_t>(row));
    EnableRowCommands(app, list);
    return;
  }
}

std::string CreateOutcome(const AppState& app, const std::string& folder) {
  const int64_t files =
      std::count_if(app.ScanList.begin(), app.ScanList.end(),
                    [](const std::string& path) { return !path.ends_with('\\'); });
  std::string size = ByteSizeText(app.ScanTotal, 1);
  while (!size.empty() && size.back() == ' ') size.pop_back();
  return Filled(app.Text(kTextBackupWritten), {{"%FOLDER%", platform::ShownPath(folder)},
                                               {"%FILES%", std::to_string(files)},
                                               {"%SIZE%", size}});
}

void RunCreate(AppState& app) {
  ui::Toolkit& tk = app.toolkit;
  const std::string folder = tk.ChooseFolder(app.Text(kTextChooseSource), app.LastSourceFolder);
  if (!folder.empty() && !CanEncodeSetName(folder)) {
    // The set's file names could not carry this path back ("@" is the escape for "_"): the
    // backup would be written but never listed or restored under its own name.
    tk.MessageBox(app.Text(kTextInfo),
                  app.Text(kTextCreateFailed) + "\n\n" + platform::ShownPath(folder),
                  ui::Icon::kWarning, ui::Buttons::kOk);
  } else if (!folder.empty()) {
    app.LastSourceFolder = folder;
    ShowOutcome(app, "");
    ClearScan(app);
    ScanTree(app, folder, /*quiet=*/false);
    bool declined = false;
    const bool written = WriteVolume(app, folder, 0, kInteractiveMode, app.Engine, &declined) == 1;
    if (written) tk.PlayInformationSound();
    RefreshBackupLists(app);
    if (written && !declined) {
      SelectSetRow(app, ui::kBackupList, folder);
      ShowOutcome(app, CreateOutcome(app, folder));
    }
    ShowSetStatus(app, folder);
  }
  tk.SetFocus(kMainWindow, ui::kBackupList);
}

void RunUpdate(AppState& app) {
  ui::Toolkit& tk = app.toolkit;
  const std::string name = SelectedPointName(app, ui::kBackupList);
  if (!name.empty()) {
    ShowOutcome(app, "");
    const std::string source = ParsePointName(name).source;
    const bool written = UpdateBackup(app, name, kInteractiveMode) == 1;
    if (written) tk.PlayInformationSound();
    RefreshBackupLists(app);
    SelectSetRow(app, ui::kBackupList, source);
    const std::string latest = SelectedPointName(app, ui::kBackupList);
    if (written && GenerationOfName(latest) > GenerationOfName(name)) {
      const std::string index = latest.substr(kGenerationFieldStart, 4);
      ShowOutcome(app, Filled(app.Text(kTextUpdateWritten),
                              {{"%FOLDER%", platform::ShownPath(source)}, {"%INDEX%", index}}));
    }
    ShowSetStatus(app, source);
  }
  tk.SetFocus(kMainWindow, ui::kBackupList);
}

void RunRestore(AppState& app) {
  ui::Toolkit& tk = app.toolkit;
  const std::string name = SelectedPointName(app, ui::kRestoreList);
  if (!name.empty()) {
    ShowOutcome(app, "");
    app.RestoreTotal = ShowBackupProperties(app, name, kUnpackedKiB);
    const std::string target = tk.ChooseFolder(app.Text(kTextChooseTarget), "");
    if (!target.empty() && RestoreBackup(app, name, target, kInteractiveMode) == 1) {
      tk.PlayInformationSound();
      ShowOutcome(app,
                  Filled(app.Text(kTextRestored), {{"%FOLDER%", ShownPointName(name)},
                                                   {"%TARGET%", platform::ShownPath(target)}}));
    }
  }
  tk.SetFocus(kMainWindow, ui::kRestoreList);
}

// The exclusions of the set selected in the backup list; from the menu bar with no set
// selected, of a folder the user chooses (so that a list can be made before the first backup).
void RunExclusions(AppState& app, bool from_context_menu) {
  ui::Toolkit& tk = app.toolkit;
  std::string folder;
  const std::string name = RestoreTabShown(tk) ? "" : SelectedPointName(app, ui::kBackupList);
  if (!name.empty()) {
    folder = ParsePointName(name).source;
  } else if (!from_context_menu) {
    folder = tk.ChooseFolder(app.Text(kTextChooseSource), "");
  }
  if (!folder.empty()) ExclusionsWindow(app, folder);
  tk.SetFocus(kMainWindow, CurrentList(tk));
}

void RunProperties(AppState& app) {
  ui::Toolkit& tk = app.toolkit;
  const int list = CurrentList(tk);
  const std::string name = SelectedPointName(app, list);
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
  if (pass.menu == ui::kMenuExclusions || pass.menu == ui::kContextExclusions) {
    RunExclusions(app, pass.menu == ui::kContextExclusions);
  }
  if (pass.menu == ui::kMenuVerify || pass.menu == ui::kContextVerify) {
    const int list = CurrentList(tk);
    VerifyBackup(app, SelectedPointName(app, list));
    tk.SetFocus(kMainWindow, list);
  }
  if (pass.menu == ui::kMenuProperties || pass.menu == ui::kContextProperties) {
    RunProperties(app);
  }
  if (pass.gadget == ui::kQuitButton || pass.menu == ui::kMenuQuit) return false;
  if (pass.gadget == ui::kCreateButton) RunCreate(app);
  if (pass.gadget == ui::kUpdateButton || pass.menu == ui::kContextUpdate) RunUpdate(app);
  if (pass.gadget == ui::kRestoreButton || pass.menu == ui::kContextRestore) RunRestore(app);
  if (pass.menu == ui::kContextSchedule) {
    const std::string name = SelectedPointName(app, ui::kBackupList);
    if (!name.empty()) ScheduleWindow(app, SourceOf(name));
    tk.SetFocus(kMainWindow, ui::kBackupList);
  }
  if (pass.gadget == ui::kDeleteButton || pass.menu == ui::kContextDelete) {
    const std::string name = SelectedPointName(app, ui::kBackupList);
    DeleteLatestBackup(app);
    ShowSetStatus(app, SourceOf(name));
    tk.SetFocus(kMainWindow, ui::kBackupList);
  }
  if (pass.menu == ui::kContextList) pass.gadget = CurrentListButton(tk);
  for (const auto& [button, list] : {std::pair{ui::kBackupListButton, ui::kBackupList},
                                     {ui::kRestoreListButton, ui::kRestoreList}}) {
    if (pass.gadget != button) continue;
    ListBackupContents(app, SelectedPointName(app, list));
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
  to.SaveFolderText = from.SaveFolderText;
  to.DoubleClickAction = from.DoubleClickAction;
  to.Catalog = from.Catalog;
  to.WinX = from.WinX;
  to.WinY = from.WinY;
  to.WinWidth = from.WinWidth;
  to.WinHeight = from.WinHeight;
  to.ColumnWidth = from.ColumnWidth;
  to.ViewMode = from.ViewMode;
  to.Exclusions = from.Exclusions;
  to.ExclusionsChanged = from.ExclusionsChanged;
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
  tk.SetLanguage(CatalogLanguage(app.Catalog));
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
