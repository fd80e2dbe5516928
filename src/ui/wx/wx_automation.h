// The desktop toolkit's side of the automation player (ui/automation_player.h): it looks at
// the wx windows and acts on them through the widgets' own event handlers. Pictures are
// PNG files taken of the X screen.
#ifndef STOWKEEPER_UI_WX_WX_AUTOMATION_H_
#define STOWKEEPER_UI_WX_WX_AUTOMATION_H_

#include <memory>
#include <string>

#include "ui/automation_player.h"
#include "ui/wx/wx_toolkit.h"

namespace sk::ui {

class WxAutomation : public AutomationBackend {
 public:
  explicit WxAutomation(WxToolkit& tk) : tk_(tk) {}

  SK_AUTOMATION_BACKEND_METHODS
  void ContextMenuOpening(int window) override;

 private:
  wxFrame* Frame(int window) { return dynamic_cast<wxFrame*>(tk_.NativeWindow(window)); }

  WxToolkit& tk_;
  std::unique_ptr<wxTimer> menu_timer_;
  wxMenu* open_menu_ = nullptr;
};

}  // namespace sk::ui

#endif  // STOWKEEPER_UI_WX_WX_AUTOMATION_H_
