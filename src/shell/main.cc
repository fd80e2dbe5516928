#include "shell/event_loop.h"
#include "shell/startup.h"

#if defined(SK_HAVE_WX) || defined(SK_HAVE_WIN32UI)
#include "ui/desktop.h"
#endif
#ifdef SK_HAVE_WIN32UI
#include "shell/run_program_win32.h"
#endif

int main(int argc, char** argv) {
#if defined(SK_HAVE_WX) || defined(SK_HAVE_WIN32UI)
  sk::SetDesktopToolkitMaker(&sk::ui::MakeDesktopToolkit);
#endif
#ifdef SK_HAVE_WIN32UI
  sk::SetWindowsToolkitMaker(&sk::ui::MakeDesktopToolkit);
#endif
  return sk::RunProgram(argc, argv);
}
