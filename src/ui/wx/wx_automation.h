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

  Toolkit& toolkit() override { return tk_; }
  std::optional<std::string> WindowTitle(int window) override;
  bool WindowEnabled(int window) override;
  bool ControlEnabled(int window, int control) override;
  Rect ControlRect(int window, int control) override;
  std::string MenuState(int window, int item) override;
  bool ChooseMenu(int window, int item) override;
  bool Close(int window) override;
  bool Maximize(int window, bool maximized) override;
  bool Resize(int window, int width, int height) override;
  bool Click(int window, int control) override;
  bool Select(int window, int control, int row) override;
  bool ClickRow(int window, int control, bool double_click) override;
  void Settle(int milliseconds) override;
  bool SaveScreen(const std::string& folder, const std::string& name) override;
  void PhotographMessage(const std::string& title, const std::string& text, Icon icon,
                         Buttons buttons, Answer answer,
                         const std::function<void()>& take_shots) override;
  void PhotographFolderChooser(const std::string& title, const std::string& start,
                               const std::function<void()>& take_shots) override;
  void ContextMenuOpening(int window) override;
  void CloseContextMenu() override;

 private:
  wxFrame* Frame(int window) { return dynamic_cast<wxFrame*>(tk_.NativeWindow(window)); }

  WxToolkit& tk_;
  std::unique_ptr<wxTimer> menu_timer_;
  wxMenu* open_menu_ = nullptr;
};

}  // namespace sk::ui

#endif  // STOWKEEPER_UI_WX_WX_AUTOMATION_H_
