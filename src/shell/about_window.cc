#include "shell/about_window.h"

#include "platform/file_system.h"
#include "shell/images.h"
#include "ui/main_window_ids.h"

#ifndef SK_INSTALL_DATADIR
#define SK_INSTALL_DATADIR "/usr/local/share/stowkeeper"
#endif

namespace sk {

namespace {

constexpr int kWindow = ui::kJobWindow;
constexpr char kReadmeName[] = "README.md";

void OpenAboutWindow(Desktop& desk) {
  AppState& app = desk.app;
  ui::Toolkit& tk = desk.tk;
  tk.OpenWindow(kWindow, {"About", 415, 410, ui::kWindowCenterOnScreen});
  tk.AddControl(kWindow, {kAboutIcon, ui::ControlKind::kImage, 182, 14, 48, 48});
  tk.SetValue(kWindow, kAboutIcon, kImageProgram);
  tk.AddControl(kWindow, {kAboutName, ui::ControlKind::kText, 6, 69, 403, 35,
                          "Stowkeeper Version " + app.VersionText, ui::kStyleCentered});
  tk.AddControl(kWindow,
                {kAboutCredit, ui::ControlKind::kText, 6, 107, 403, 25,
                 "Written " + app.YearsText + " by the Stowkeeper authors", ui::kStyleCentered});
  tk.AddControl(kWindow, {kAboutNotes, ui::ControlKind::kReportList, 15, 140, 385, 220, "",
                          ui::kStyleNoHeader | ui::kStyleCentered});
  tk.AddColumn(kWindow, kAboutNotes, "", 363);
  tk.AddControl(kWindow, {kAboutLink, ui::ControlKind::kLink, 20, 380, 110, 20, "README"});
  tk.AddControl(kWindow, {kAboutOkButton, ui::ControlKind::kButton, 291, 372, 110, 25, "OK"});
  tk.SetFont(kWindow, kAboutName, {"Microsoft Sans Serif", 16, true, true});
  tk.SetFont(kWindow, kAboutCredit, {"Arial", 8, false, false});
}

// Shrinks the notes list pixel by pixel for as long as it shows as many whole rows; it ends
// at the first height that shows one row fewer. A list that shows no whole row at all would
// never get there, so it stays as it is.
void FitNotesHeight(ui::Toolkit& tk) {
  ui::Rect rect = tk.GetControlRect(kWindow, kAboutNotes);
  const int rows = tk.VisibleRowCount(kWindow, kAboutNotes);
  if (rows <= 0) return;
  while (rect.height > 1) {
    --rect.height;
    tk.SetControlRect(kWindow, kAboutNotes, rect);
    if (tk.VisibleRowCount(kWindow, kAboutNotes) != rows) break;
  }
}

void RunAboutEvents(Desktop& desk) {
  AppState& app = desk.app;
  ui::Toolkit& tk = desk.tk;
  for (;;) {
    const ui::Event event = tk.WaitEvent();
    if (!tk.WindowExists(kWindow)) return;
    if (event.window != kWindow || event.type != ui::EventType::kLeftClick) continue;
    if (event.control == kAboutOkButton) return;
    if (event.control == kAboutNotes) tk.SetValue(kWindow, kAboutNotes, -1);
    if (event.control == kAboutLink) {
      const std::string readme = ReadmePath(app);
      if (!readme.empty()) tk.OpenDocument(readme);
    }
  }
}

}  // namespace

std::vector<std::string> AboutNotes() {
  return {"",
          "Stowkeeper is free to use, at home and at work.",
          "Would you translate it? New catalogs are welcome.",
          "",
          "Thanks to:",
          "the authors of zlib and wxWidgets,",
          "the makers of GCC, CMake, Ninja and GoogleTest,",
          "the translators of the French catalog,",
          "and the translators of the Spanish catalog.",
          "",
          "And thanks to everyone who sent tips and reports!"};
}

std::string ReadmePath(const AppState& app) {
  const std::string beside = app.ProgramFolder + kReadmeName;
  if (platform::FileSize(beside) >= 0) return beside;
  // An installed program: <prefix>/bin/ beside <prefix>/share/, wherever the prefix went.
  const std::string relative = app.ProgramFolder + "..\\share\\doc\\stowkeeper\\" + kReadmeName;
  if (!app.ProgramFolder.empty() && platform::FileSize(relative) >= 0) return relative;
  // The data folder is <prefix>/share/stowkeeper; the documentation <prefix>/share/doc/.
  std::string share = SK_INSTALL_DATADIR;
  share = share.substr(0, share.find_last_of('/') + 1);
  const std::string installed = platform::InternalPath(share + "doc/stowkeeper/" + kReadmeName);
  if (platform::FileSize(installed) >= 0) return installed;
  return "";
}

void AboutWindow(Desktop& desk) {
  ui::Toolkit& tk = desk.tk;
  tk.EnableWindow(ui::kMainWindow, false);
  OpenAboutWindow(desk);
  FitNotesHeight(tk);
  for (const std::string& row : AboutNotes()) tk.AddItem(kWindow, kAboutNotes, row);
  tk.SetFocus(kWindow, kAboutNotes);
  tk.PlayInformationSound();
  RunAboutEvents(desk);
  tk.EnableWindow(ui::kMainWindow, true);
  tk.CloseWindow(kWindow);
  const bool restore_tab = tk.GetValue(ui::kMainWindow, ui::kTabPanel) == 1;
  tk.SetFocus(ui::kMainWindow, restore_tab ? ui::kRestoreList : ui::kBackupList);
}

}  // namespace sk
