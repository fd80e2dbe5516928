#include "ui/desktop.h"
#include "ui/win32/win32_automation.h"
#include "ui/win32/win32_toolkit.h"

namespace sk::ui {

std::unique_ptr<Toolkit> MakeDesktopToolkit() {
  auto toolkit = std::make_unique<Win32Toolkit>();
  if (!toolkit->Ready()) return nullptr;
  if (auto player =
          AutomationPlayer::FromEnvironment(std::make_unique<Win32Automation>(*toolkit))) {
    toolkit->SetAutomation(std::move(player));
  }
  return toolkit;
}

}  // namespace sk::ui
