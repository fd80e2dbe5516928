#include "shell/event_loop.h"
#include "shell/startup.h"

#ifdef SK_HAVE_WX
#include "ui/wx/wx_desktop.h"
#endif
#ifdef SK_HAVE_WIN32UI
#include "shell/run_program_win32.h"
#include "ui/win32/win32_desktop.h"
#endif

int main(int argc, char** argv) {
#ifdef SK_HAVE_WX
  sk::SetDesktopToolkitMaker(&sk::ui::MakeWxToolkit);
#endif
#ifdef SK_HAVE_WIN32UI
  sk::SetDesktopToolkitMaker(&sk::ui::MakeWin32Toolkit);
  sk::SetWindowsToolkitMaker(&sk::ui::MakeWin32Toolkit);
#endif
  return sk::RunProgram(argc, argv);
}
