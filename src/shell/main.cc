#include "shell/event_loop.h"
#include "shell/startup.h"

#ifdef SK_HAVE_WX
#include "ui/wx/wx_desktop.h"
#endif

int main(int argc, char** argv) {
#ifdef SK_HAVE_WX
  sk::SetDesktopToolkitMaker(&sk::ui::MakeWxToolkit);
#endif
  return sk::RunProgram(argc, argv);
}
