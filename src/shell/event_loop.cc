#include "shell/event_loop.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "archive/set_names.h"
#include "core/size_text.h"
#include "jobs/create/create.h"
#include "jobs/create/exclusions.h"
#include "jobs/restore/verify.h"
#include "jobs/sets/backup_lists.h"
#include "jobs/sets/delete.h"
#include "jobs/sets/update.h"
#include "platform/file_system.h"
#include "shell/about_window.h"
#include "shell/catalog.h"
#include "shell/command_line.h"
#include "shell/contents_window.h"
#include "shell/desktop_reporter.h"
#include "shell/exclusions_window.h"
#include "shell/images.h"
#include "shell/job_texts.h"
#include "shell/main_window.h"
#include "shell/properties_window.h"
#include "shell/restore_window.h"
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
void HandleListEvent(Desktop& desk, Pass& pass) {
  AppState& app = desk.app;
  ui::Toolkit& tk = desk.tk;
  const bool backup = pass.gadget == ui::kBackupList;
  EnableRowCommands(desk, pass.gadget);
  if (backup) ShowSetStatus(desk, SourceOf(SelectedPointName(desk, ui::kBackupList)));
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
void SwitchLanguage(Desktop& desk, const std::string& catalog, std::vector<std::string>& catalogs) {
  AppState& app = desk.app;
  ui::Toolkit& tk = desk.tk;
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
  catalogs = OpenMainWindow(desk);
  RefreshBackupLists(desk);
  RelayoutMainWindow(desk);
  tk.SetValue(kMainWindow, ui::kTabPanel, tab);
}

// A job's outcome goes to the status bar; a new job clears it first.
void ShowOutcome(Desktop& desk, const std::string& text) {
  desk.tk.SetStatusText(kMainWindow, 0, text);
}

// Selects the row of a list whose point belongs to the set of source folder, as the user
// would to act on it next, and enables the commands for it.
void SelectSetRow(Desktop& desk, int list, const std::string& source) {
  const std::vector<std::string>& names =
      list == ui::kBackupList ? desk.backup_rows : desk.restore_rows;
  const std::string set = LowerCase(source);
  for (size_t row = names.size(); row-- > 0;) {
    if (LowerCase(ParsePointName(names[row]).source) != set) continue;
    desk.tk.SetValue(kMainWindow, list, static_cast<int64_t>(row));
    EnableRowCommands(desk, list);
    return;
  }
}

// What a job that wrote a backup left out, for the end of its status line: ", with 3
// problems" (nothing when it left nothing out).
std::string ProblemsNote(const AppState& app, const JobResult& result) {
  if (result.outcome != Outcome::kDoneWithProblems) return "";
  return ", " + Filled(app.Text(kTextWithProblems),
                       {{"%COUNT%", std::to_string(result.problems.size())}});
}

std::string CreateOutcome(const AppState& app, const std::string& folder, const JobResult& result) {
  std::string size = ByteSizeText(result.bytes_read, 1);
  while (!size.empty() && size.back() == ' ') size.pop_back();
  return Filled(app.Text(kTextBackupWritten), {{"%FOLDER%", platform::ShownPath(folder)},
                                               {"%FILES%", std::to_string(result.files)},
                                               {"%SIZE%", size}}) +
         ProblemsNote(app, result);
}

// Runs a job on the desktop: its windows, questions and messages through a desktop reporter.
template <typename Job>
auto RunWithWindows(Desktop& desk, JobKind kind, const std::string& point_name, Job&& run) {
  CancelToken cancel;
  DesktopReporter reporter(desk.app, desk.tk, kind, kInteractiveMode, cancel);
  reporter.SetPointName(point_name);
  JobContext job{reporter, cancel, desk.app.BlockWorkers};
  return run(job);
}

void RunCreate(Desktop& desk) {
  AppState& app = desk.app;
  ui::Toolkit& tk = desk.tk;
  const std::string folder = tk.ChooseFolder(app.Text(kTextChooseSource), desk.last_source_folder);
  if (!folder.empty()) {
    if (CanEncodeSetName(folder)) desk.last_source_folder = folder;
    ShowOutcome(desk, "");
    CreateRequest request;
    request.set = BackupSet(app.BackupFolder, folder);
    request.engine = app.Engine;
    request.level = app.Level;
    request.exclusions = ExclusionsOf(app, folder);
    const JobResult result = RunWithWindows(
        desk, JobKind::kCreate, "", [&](JobContext& job) { return CreateBackup(request, job); });
    if (result.ok()) tk.PlayInformationSound();
    RefreshBackupLists(desk);
    if (result.ok() && !result.kept) {
      SelectSetRow(desk, ui::kBackupList, folder);
      ShowOutcome(desk, CreateOutcome(app, folder, result));
    }
    ShowSetStatus(desk, folder);
  }
  tk.SetFocus(kMainWindow, ui::kBackupList);
}

void RunUpdate(Desktop& desk) {
  AppState& app = desk.app;
  ui::Toolkit& tk = desk.tk;
  const std::string name = SelectedPointName(desk, ui::kBackupList);
  if (!name.empty()) {
    ShowOutcome(desk, "");
    const std::string source = ParsePointName(name).source;
    UpdateRequest request;
    request.set = BackupSet(app.BackupFolder, source);
    request.level = app.Level;
    request.full_compare = app.FullCompare != 0;
    request.exclusions = ExclusionsOf(app, source);
    const JobResult result = RunWithWindows(
        desk, JobKind::kUpdate, name, [&](JobContext& job) { return UpdateBackup(request, job); });
    if (result.ok()) tk.PlayInformationSound();
    RefreshBackupLists(desk);
    SelectSetRow(desk, ui::kBackupList, source);
    if (result.ok() && result.point > 0) {
      ShowOutcome(
          desk, Filled(app.Text(kTextUpdateWritten), {{"%FOLDER%", platform::ShownPath(source)},
                                                      {"%INDEX%", GenerationField(result.point)}}) +
                    ProblemsNote(app, result));
    }
    ShowSetStatus(desk, source);
  }
  tk.SetFocus(kMainWindow, ui::kBackupList);
}

void RunRestore(Desktop& desk) {
  const std::string name = SelectedPointName(desk, ui::kRestoreList);
  if (!name.empty()) {
    ShowOutcome(desk, "");
    if (const std::optional<std::string> target = RestoreWithWindows(desk, name)) {
      desk.tk.PlayInformationSound();
      ShowOutcome(
          desk, Filled(desk.app.Text(kTextRestored), {{"%FOLDER%", ShownPointName(name)},
                                                      {"%TARGET%", platform::ShownPath(*target)}}));
    }
  }
  desk.tk.SetFocus(kMainWindow, ui::kRestoreList);
}

void RunVerify(Desktop& desk) {
  const int list = CurrentList(desk.tk);
  const std::string name = SelectedPointName(desk, list);
  if (!name.empty()) {
    VerifyRequest request{BackupSet::OfPointName(desk.app.BackupFolder, name),
                          GenerationOfName(name)};
    RunWithWindows(desk, JobKind::kVerify, name,
                   [&](JobContext& job) { return VerifyPoint(request, job); });
  }
  desk.tk.SetFocus(kMainWindow, list);
}

// Asks, then deletes the latest backup of the set selected in the backup list and refills
// both lists; with its main backup the set is gone, and a schedule would start it anew.
void RunDelete(Desktop& desk) {
  const std::string name = SelectedPointName(desk, ui::kBackupList);
  if (name.size() > kNamePrefixLength) {
    const BackupSet set = BackupSet::OfPointName(desk.app.BackupFolder, name);
    const JobResult result = RunWithWindows(
        desk, JobKind::kDelete, name, [&](JobContext& job) { return DeleteLatestPoint(set, job); });
    if (result.point >= 0) RefreshBackupLists(desk);
    if (result.ok() && result.point == 0) OfferScheduleRemoval(desk, set.source());
  }
  ShowSetStatus(desk, SourceOf(name));
  desk.tk.SetFocus(kMainWindow, ui::kBackupList);
}

// The exclusions of the set selected in the backup list; from the menu bar with no set
// selected, of a folder the user chooses (so that a list can be made before the first backup).
void RunExclusions(Desktop& desk, bool from_context_menu) {
  AppState& app = desk.app;
  ui::Toolkit& tk = desk.tk;
  std::string folder;
  const std::string name = RestoreTabShown(tk) ? "" : SelectedPointName(desk, ui::kBackupList);
  if (!name.empty()) {
    folder = ParsePointName(name).source;
  } else if (!from_context_menu) {
    folder = tk.ChooseFolder(app.Text(kTextChooseSource), "");
  }
  if (!folder.empty()) ExclusionsWindow(desk, folder);
  tk.SetFocus(kMainWindow, CurrentList(tk));
}

void RunProperties(Desktop& desk) {
  ui::Toolkit& tk = desk.tk;
  const int list = CurrentList(tk);
  const std::string name = SelectedPointName(desk, list);
  if (name.empty()) return;
  PropertiesWindow(desk, name);
  tk.SetFocus(kMainWindow, list);
}

// Steps 6 to 16, on the recorded (and perhaps rewritten) gadget and menu item. False when
// the user quits.
bool RunCommand(Desktop& desk, Pass& pass) {
  ui::Toolkit& tk = desk.tk;
  if (pass.menu == ui::kMenuAbout) AboutWindow(desk);
  if (pass.menu == ui::kMenuSettings) {
    SettingsWindow(desk);
    RefreshBackupLists(desk);
  }
  if (pass.menu == ui::kMenuExclusions || pass.menu == ui::kContextExclusions) {
    RunExclusions(desk, pass.menu == ui::kContextExclusions);
  }
  if (pass.menu == ui::kMenuVerify || pass.menu == ui::kContextVerify) RunVerify(desk);
  if (pass.menu == ui::kMenuProperties || pass.menu == ui::kContextProperties) {
    RunProperties(desk);
  }
  if (pass.gadget == ui::kQuitButton || pass.menu == ui::kMenuQuit) return false;
  if (pass.gadget == ui::kCreateButton) RunCreate(desk);
  if (pass.gadget == ui::kUpdateButton || pass.menu == ui::kContextUpdate) RunUpdate(desk);
  if (pass.gadget == ui::kRestoreButton || pass.menu == ui::kContextRestore) RunRestore(desk);
  if (pass.menu == ui::kContextSchedule) {
    const std::string name = SelectedPointName(desk, ui::kBackupList);
    if (!name.empty()) ScheduleWindow(desk, SourceOf(name));
    tk.SetFocus(kMainWindow, ui::kBackupList);
  }
  if (pass.gadget == ui::kDeleteButton || pass.menu == ui::kContextDelete) RunDelete(desk);
  if (pass.menu == ui::kContextList) pass.gadget = CurrentListButton(tk);
  for (const auto& [button, list] : {std::pair{ui::kBackupListButton, ui::kBackupList},
                                     {ui::kRestoreListButton, ui::kRestoreList}}) {
    if (pass.gadget != button) continue;
    ListBackupContents(desk, SelectedPointName(desk, list));
    tk.SetFocus(kMainWindow, list);
  }
  return true;
}

}  // namespace

void SetDesktopToolkitMaker(DesktopToolkitMaker maker) { Maker() = maker; }

std::unique_ptr<ui::Toolkit> MakeDesktop() { return Maker() == nullptr ? nullptr : Maker()(); }

int RunDesktop(const AppState& app, std::FILE* messages) {
  std::unique_ptr<ui::Toolkit> desktop = Maker() == nullptr ? nullptr : Maker()();
  if (desktop == nullptr) {
    std::fputs(Maker() == nullptr
                   ? "stowkeeper: this program was built without its desktop windows\n"
                   : "stowkeeper: no desktop to show the windows on (is DISPLAY set?)\n",
               messages);
    std::fputs("stowkeeper --help shows what the command line does\n", messages);
    return kExitUsage;
  }
  AppState state = app;
  Desktop desk(state, *desktop);
  RunMainWindow(desk);
  return kExitDone;
}

void RunMainWindow(Desktop& desk) {
  AppState& app = desk.app;
  ui::Toolkit& tk = desk.tk;
  tk.SetImages(ProgramImages());
  tk.SetLanguage(CatalogLanguage(app.Catalog));
  std::vector<std::string> catalogs = OpenMainWindow(desk);
  RefreshBackupLists(desk);
  RelayoutMainWindow(desk);
  if (!platform::FolderExists(app.BackupFolder)) {
    SettingsWindow(desk);
    RefreshBackupLists(desk);
  }
  while (tk.WindowExists(kMainWindow) && HandleMainEvent(desk, tk.WaitEvent(), catalogs)) {
  }
  RecordMainWindowGeometry(desk);
  SaveSettings(app, app.SettingsFolder);
  tk.CloseWindow(kMainWindow);
}

bool HandleMainEvent(Desktop& desk, const ui::Event& event, std::vector<std::string>& catalogs) {
  ui::Toolkit& tk = desk.tk;
  if (event.window != kMainWindow) return true;
  Pass pass;
  pass.type = event.type;
  // Step 1.
  switch (event.type) {
    case ui::EventType::kMenu:
      pass.menu = event.control;
      break;
    case ui::EventType::kSize:
      RelayoutMainWindow(desk);
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
    HandleListEvent(desk, pass);
  }
  // Step 5. The item's own file name is taken, so that a catalog spelled ".CATALOG" loads.
  const int language = pass.menu - ui::kMenuFirstLanguage;
  if (pass.menu >= ui::kMenuFirstLanguage && language < static_cast<int>(catalogs.size())) {
    SwitchLanguage(desk, catalogs[static_cast<size_t>(language)], catalogs);
    return true;
  }
  if (!RunCommand(desk, pass)) return false;
  // A command's own window took every event while it ran, a resize of the main window
  // among them: the layout follows the size the window has now.
  if (pass.menu >= 0 ||
      (pass.gadget >= 0 && pass.gadget != ui::kBackupList && pass.gadget != ui::kRestoreList)) {
    if (tk.WindowExists(kMainWindow)) RelayoutMainWindow(desk);
  }
  // Step 17.
  return event.type != ui::EventType::kClose;
}

}  // namespace sk
