// The desktop session: the settings and texts, the toolkit that shows the windows, and what
// the main window keeps from one event to the next.
#ifndef STOWKEEPER_SHELL_DESKTOP_H_
#define STOWKEEPER_SHELL_DESKTOP_H_

#include <string>
#include <vector>

#include "core/app_state.h"
#include "ui/toolkit.h"

namespace sk {

struct Desktop {
  Desktop(AppState& app_in, ui::Toolkit& tk_in) : app(app_in), tk(tk_in) {}

  AppState& app;
  ui::Toolkit& tk;
  // The display names of the rows of the main window's two lists, row by row: the rows show
  // them in the system's path form, the commands take them as stored.
  std::vector<std::string> backup_rows;
  std::vector<std::string> restore_rows;
  // The source folder chosen last for Create in this session: the chooser starts there.
  std::string last_source_folder;
};

}  // namespace sk

#endif  // STOWKEEPER_SHELL_DESKTOP_H_
