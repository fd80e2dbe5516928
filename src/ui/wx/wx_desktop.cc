#include "ui/desktop.h"
#include "ui/wx/wx_automation.h"
#include "ui/wx/wx_toolkit.h"

namespace sk::ui {

std::unique_ptr<Toolkit> MakeDesktopToolkit() {
  if (!WxToolkit::Start()) return nullptr;
  auto toolkit = std::make_unique<WxToolkit>();
  if (auto player = AutomationPlayer::FromEnvironment(std::make_unique<WxAutomation>(*toolkit))) {
    toolkit->SetAutomation(std::move(player));
  }
  return toolkit;
}

}  // namespace sk::ui
