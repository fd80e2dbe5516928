#include "ui/win32/win32_desktop.h"

#include "ui/win32/win32_automation.h"
#include "ui/win32/win32_toolkit.h"

namespace sk::ui {

std::unique_ptr<Toolkit> MakeWin32Toolkit() {
  auto toolkit = std::make_unique<Win32Toolkit>();
  if (!toolkit->Ready()) return nullptr;
  if (std::unique_ptr<Win32Automation> automation = Win32Automation::FromEnvironment()) {
    toolkit->SetAutomation(std::move(automation));
  }
  return toolkit;
}

}  // namespace sk::ui
