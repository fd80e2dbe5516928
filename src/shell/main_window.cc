#include "shell/main_window.h"

#include <algorithm>

#include "archive/set_names.h"
#include "core/size_text.h"
#include "jobs/sets/backup_lists.h"
#include "platform/file_system.h"
#include "shell/catalog.h"
#include "shell/images.h"
#include "shell/schedule_window.h"
#include "ui/main_window_ids.h"

namespace sk {

namespace {

constexpr int kMainWindow = ui::kMainWindow;
constexpr size_t kCatalogExtensionLength = 8;
constexpr int kSizeColumnWidth = 80;
constexpr int kDateColumnWidth = 110;
// What the layout leaves beside the columns: column 0 is the list's width less 200 with the
// columns as built.
constexpr int kColumnSlack = 200 - kSizeColumnWidth - kDateColumnWidth;

std::vector<std::string>& RowNames(Desktop& desk, int list) {
  return list == ui::kBackupList ? desk.backup_rows : desk.restore_rows;
}

ui::Menu ProjectMenu(const AppState& app) {
  return {app.Text(kTextProjectMenu),
          {{ui::kMenuVerify, app.Text(kTextVerify), kImageVerify},
           {},
           {ui::kMenuProperties, app.Text(kTextProperties), kImageProperties},
           {},
           {ui::kMenuSettings, app.Text(kTextSettings), kImageSettings},
           {ui::kMenuExclusions, app.Text(kTextExclusions), -1},
           {},
           {ui::kMenuAbout, app.Text(kTextAbout), kImageAbout},
           {},
           {ui::kMenuQuit, app.Text(kTextExit), kImageQuit}}};
}

ui::Menu LanguageMenu(const AppState& app, const std::vector<std::string>& catalogs) {
  ui::Menu menu{"Language", {}};
  const std::string chosen = LowerCase(app.Catalog);
  for (size_t i = 0; i < catalogs.size(); ++i) {
    const std::string& name = catalogs[i];
    menu.items.push_back({ui::kMenuFirstLanguage + static_cast<int>(i),
                          name.substr(0, name.size() - kCatalogExtensionLength), -1,
                          LowerCase(name) == chosen});
  }
  return menu;
}

ui::Menu ContextMenu(const AppState& app) {
  return {"",
          {{ui::kContextList, app.Text(kTextListContents), kImageList},
           {ui::kContextVerify, app.Text(kTextVerify), kImageVerify},
           {},
           {ui::kContextUpdate, app.Text(kTextUpdate), kImageUpdate},
           {ui::kContextRestore, app.Text(kTextRestore), kImageRestore},
           {ui::kContextSchedule, app.Text(kTextScheduleMenu), kImageSettings},
           {ui::kContextExclusions, app.Text(kTextExclusions), -1},
           {},
           {ui::kContextDelete, app.Text(kTextDelete), kImageDelete},
           {},
           {ui::kContextProperties, app.Text(kTextProperties), kImageProperties}}};
}

void AddButton(ui::Toolkit& tk, int id, ui::Rect r, const std::string& text,
               const std::string& tooltip, int page) {
  ui::ControlDef def{id, ui::ControlKind::kButton, r.x, r.y, r.width, r.height, text};
  def.parent = ui::kTabPanel;
  def.page = page;
  def.tooltip = tooltip;
  tk.AddControl(kMainWindow, def);
}

void AddList(Desktop& desk, int id, int page, TextId date_text) {
  AppState& app = desk.app;
  ui::Toolkit& tk = desk.tk;
  ui::ControlDef def{id, ui::ControlKind::kReportList, 12, 12, 543, 318};
  def.parent = ui::kTabPanel;
  def.page = page;
  tk.AddControl(kMainWindow, def);
  tk.AddColumn(kMainWindow, id, app.Text(kTextDrivePathColumn), 343);
  tk.AddColumn(kMainWindow, id, app.Text(kTextSizeColumn), kSizeColumnWidth);
  tk.AddColumn(kMainWindow, id, app.Text(date_text), kDateColumnWidth);
}

void AddControls(Desktop& desk) {
  AppState& app = desk.app;
  ui::Toolkit& tk = desk.tk;
  tk.AddControl(kMainWindow, {ui::kQuitButton, ui::ControlKind::kButton, 474, 420, 112, 25,
                              app.Text(kTextExit)});
  tk.AddControl(kMainWindow, {ui::kTabPanel, ui::ControlKind::kTabs, 13, 8, 575, 401});
  tk.AddItem(kMainWindow, ui::kTabPanel, app.Text(kTextBackupTab));
  tk.AddItem(kMainWindow, ui::kTabPanel, app.Text(kTextRestoreTab));
  tk.SetValue(kMainWindow, ui::kTabPanel, 0);

  AddList(desk, ui::kBackupList, 0, kTextLastUpdateColumn);
  AddButton(tk, ui::kCreateButton, {58, 339, 122, 25}, app.Text(kTextCreate),
            app.Text(kTextCreateTip), 0);
  AddButton(tk, ui::kUpdateButton, {184, 339, 122, 25}, app.Text(kTextUpdate),
            app.Text(kTextUpdateTip), 0);
  AddButton(tk, ui::kBackupListButton, {310, 339, 122, 25}, app.Text(kTextListContents),
            app.Text(kTextListContentsTip), 0);
  AddButton(tk, ui::kDeleteButton, {436, 339, 122, 25}, app.Text(kTextDelete),
            app.Text(kTextDeleteTip), 0);

  AddList(desk, ui::kRestoreList, 1, kTextCreatedColumn);
  AddButton(tk, ui::kRestoreListButton, {310, 339, 122, 25}, app.Text(kTextListContents),
            app.Text(kTextListContentsTip), 1);
  AddButton(tk, ui::kRestoreButton, {436, 339, 122, 25}, app.Text(kTextRestore),
            app.Text(kTextRestoreTip), 1);
}

void Move(ui::Toolkit& tk, int control, int x, int y) {
  ui::Rect r = tk.GetControlRect(kMainWindow, control);
  r.x = x;
  r.y = y;
  tk.SetControlRect(kMainWindow, control, r);
}

void Resize(ui::Toolkit& tk, int control, int width, int height) {
  ui::Rect r = tk.GetControlRect(kMainWindow, control);
  r.width = width;
  r.height = height;
  tk.SetControlRect(kMainWindow, control, r);
}

}  // namespace

std::string MainWindowTitle(const AppState& app) {
  return "Stowkeeper v" + app.VersionText + " - Written in " + app.YearsText +
         " - A backup for every folder";
}

std::vector<std::string> OpenMainWindow(Desktop& desk) {
  AppState& app = desk.app;
  ui::Toolkit& tk = desk.tk;
  ui::WindowDef def{
      MainWindowTitle(app),
      app.WinWidth,
      app.WinHeight,
      ui::kWindowCloseBox | ui::kWindowMinimizeBox | ui::kWindowMaximizeBox | ui::kWindowResizable,
      app.WinX,
      app.WinY};
  if (app.ViewMode == kViewMaximized) def.flags |= ui::kWindowMaximized;
  if (app.ViewMode == kViewMinimized) def.flags |= ui::kWindowMinimized;
  tk.OpenWindow(kMainWindow, def);
  tk.SetMinimumSize(kMainWindow, kMainWindowMinWidth, kMainWindowMinHeight);

  std::vector<std::string> catalogs = ListCatalogFiles(CatalogFolder(app));
  tk.SetMenuBar(kMainWindow, {ProjectMenu(app), LanguageMenu(app, catalogs)});
  tk.EnableMenuItem(kMainWindow, ui::kMenuVerify, false);
  tk.EnableMenuItem(kMainWindow, ui::kMenuProperties, false);
  tk.SetContextMenu(kMainWindow, ContextMenu(app));
  // Field 1 tells of the set selected in the backup list.
  tk.AddStatusBar(kMainWindow, 2);

  AddControls(desk);
  for (const int control : {ui::kUpdateButton, ui::kBackupListButton, ui::kDeleteButton,
                            ui::kRestoreListButton, ui::kRestoreButton}) {
    tk.EnableControl(kMainWindow, control, false);
  }
  EnableCreateButton(desk);
  return catalogs;
}

void RelayoutMainWindow(Desktop& desk) {
  ui::Toolkit& tk = desk.tk;
  const ui::WindowGeometry g = tk.GetWindowGeometry(kMainWindow);
  // A minimized window has no area to lay out; the controls keep their places for when it
  // comes back.
  if (g.state != ui::WindowState::kMinimized) {
    const int w = g.width;
    const int h = g.height - g.menu_bar_height - g.status_bar_height;
    Resize(tk, ui::kTabPanel, w - 24, h - 58);
    Resize(tk, ui::kBackupList, w - 55, h - 140);
    Resize(tk, ui::kRestoreList, w - 55, h - 140);
    Move(tk, ui::kQuitButton, w - 123, h - 38);
    Move(tk, ui::kDeleteButton, w - 162, h - 118);
    Move(tk, ui::kRestoreButton, w - 162, h - 118);
    Move(tk, ui::kBackupListButton, w - 288, h - 118);
    Move(tk, ui::kRestoreListButton, w - 288, h - 118);
    Move(tk, ui::kUpdateButton, w - 414, h - 118);
    Move(tk, ui::kCreateButton, w - 540, h - 118);
    SizeListColumns(desk);
  }
  RecordMainWindowGeometry(desk);
}

void SizeListColumns(Desktop& desk) {
  ui::Toolkit& tk = desk.tk;
  const int width = tk.GetControlRect(kMainWindow, ui::kBackupList).width;
  for (const int list : {ui::kBackupList, ui::kRestoreList}) {
    const int date = tk.FitColumnToContent(kMainWindow, list, 2, kDateColumnWidth);
    tk.SetColumnWidth(kMainWindow, list, 0, width - kColumnSlack - kSizeColumnWidth - date);
  }
}

std::string SelectedPointName(Desktop& desk, int list) {
  const int64_t row = desk.tk.GetValue(kMainWindow, list);
  const std::vector<std::string>& names = RowNames(desk, list);
  return row < 0 || static_cast<size_t>(row) >= names.size() ? "" : names[static_cast<size_t>(row)];
}

int32_t ViewModeOf(ui::WindowState state) {
  switch (state) {
    case ui::WindowState::kMaximized:
      return kViewMaximized;
    case ui::WindowState::kMinimized:
      return kViewMinimized;
    default:
      return 0;
  }
}

void RecordMainWindowGeometry(Desktop& desk) {
  AppState& app = desk.app;
  ui::Toolkit& tk = desk.tk;
  if (!tk.WindowExists(kMainWindow)) return;
  const ui::WindowGeometry g = tk.GetWindowGeometry(kMainWindow);
  app.ViewMode = ViewModeOf(g.state);
  app.ColumnWidth = tk.GetColumnWidth(kMainWindow, ui::kBackupList, 0);
  if (app.ViewMode != 0) return;
  app.WinX = g.x;
  app.WinY = g.y;
  app.WinWidth = g.width;
  app.WinHeight = g.height;
}

void EnableRowCommands(Desktop& desk, int list) {
  ui::Toolkit& tk = desk.tk;
  const bool selected = tk.GetValue(kMainWindow, list) >= 0;
  const bool backup = list == ui::kBackupList;
  tk.EnableMenuItem(kMainWindow, ui::kMenuVerify, selected);
  tk.EnableMenuItem(kMainWindow, ui::kMenuProperties, selected);
  tk.EnableMenuItem(kMainWindow, ui::kContextUpdate, selected && backup);
  tk.EnableMenuItem(kMainWindow, ui::kContextSchedule, selected && backup);
  tk.EnableMenuItem(kMainWindow, ui::kContextRestore, selected && !backup);
  tk.EnableMenuItem(kMainWindow, ui::kContextDelete, selected && backup);
  tk.EnableMenuItem(kMainWindow, ui::kContextExclusions, selected && backup);
  if (backup) {
    for (const int control : {ui::kUpdateButton, ui::kBackupListButton, ui::kDeleteButton}) {
      tk.EnableControl(kMainWindow, control, selected);
    }
  } else {
    for (const int control : {ui::kRestoreListButton, ui::kRestoreButton}) {
      tk.EnableControl(kMainWindow, control, selected);
    }
  }
}

void EnableCreateButton(Desktop& desk) {
  AppState& app = desk.app;
  const bool usable = !app.BackupFolder.empty() && platform::FolderExists(app.BackupFolder);
  desk.tk.EnableControl(kMainWindow, ui::kCreateButton, usable);
}

std::string FreeSpaceText(const std::string& folder) {
  if (folder.empty()) return "0 Bytes";
  const std::string text = ByteSizeText(std::max<int64_t>(platform::FreeSpace(folder), 0), 1);
  const size_t first = text.find_first_not_of(" \t");
  const size_t last = text.find_last_not_of(" \t");
  return first == std::string::npos ? "" : text.substr(first, last - first + 1);
}

void RefreshBackupLists(Desktop& desk) {
  AppState& app = desk.app;
  ui::Toolkit& tk = desk.tk;
  const BackupListRows rows = FindBackupListRows(app.BackupFolder);
  for (const auto& [list, list_rows] :
       {std::pair{ui::kBackupList, &rows.backup}, {ui::kRestoreList, &rows.restore}}) {
    tk.ClearItems(kMainWindow, list);
    std::vector<std::string>& names = RowNames(desk, list);
    names.clear();
    for (const ListRow& row : *list_rows) {
      const size_t end = row.text.find('\n');
      names.push_back(row.text.substr(0, end));
      const std::string rest = end == std::string::npos ? "" : row.text.substr(end);
      tk.AddItem(kMainWindow, list, ShownPointName(names.back()) + rest, row.image);
    }
  }
  SizeListColumns(desk);
  tk.EnableMenuItem(kMainWindow, ui::kMenuProperties, false);
  tk.EnableMenuItem(kMainWindow, ui::kMenuVerify, false);
  for (const int button : {ui::kUpdateButton, ui::kBackupListButton, ui::kDeleteButton,
                           ui::kRestoreListButton, ui::kRestoreButton}) {
    tk.EnableControl(kMainWindow, button, false);
  }
}

}  // namespace sk
