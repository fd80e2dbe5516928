#include "ui/wx/wx_automation.h"

#include <wx/dirdlg.h>
#include <wx/evtloop.h>
#include <wx/hyperlink.h>
#include <wx/listctrl.h>
#include <wx/notebook.h>

#include <chrono>
#include <cstdlib>

#include "ui/wx/wx_gtk.h"

namespace sk::ui {
namespace {

constexpr int kMenuIdBase = 20000;  // as the toolkit numbers menu items

void Send(wxWindow* target, wxEvent& event) {
  event.SetEventObject(target);
  target->GetEventHandler()->ProcessEvent(event);
}

}  // namespace

Toolkit& WxAutomation::toolkit() { return tk_; }

std::optional<std::string> WxAutomation::WindowTitle(int window) {
  if (tk_.NativeWindow(window) == nullptr) return std::nullopt;
  wxFrame* frame = Frame(window);
  return frame != nullptr ? FromWx(frame->GetTitle()) : std::string();
}

bool WxAutomation::WindowEnabled(int window) {
  wxWindow* frame = tk_.NativeWindow(window);
  return frame != nullptr && frame->IsEnabled();
}

bool WxAutomation::ControlEnabled(int window, int control) {
  wxWindow* widget = tk_.NativeControl(window, control);
  return widget != nullptr && widget->IsEnabled();
}

Rect WxAutomation::ControlRect(int window, int control) {
  wxWindow* widget = tk_.NativeControl(window, control);
  const wxRect r = widget != nullptr ? widget->GetRect() : wxRect();
  return {r.x, r.y, r.width, r.height};
}

std::string WxAutomation::MenuState(int window, int item) {
  wxFrame* frame = Frame(window);
  wxMenuItem* found = nullptr;
  if (frame != nullptr && frame->GetMenuBar() != nullptr) {
    found = frame->GetMenuBar()->FindItem(kMenuIdBase + item);
  }
  if (found == nullptr && tk_.ContextMenuOf(window) != nullptr) {
    found = tk_.ContextMenuOf(window)->FindItem(kMenuIdBase + item);
  }
  if (found == nullptr) return "missing";
  return std::string(found->IsEnabled() ? "enabled" : "disabled") +
         (found->IsCheckable() && found->IsChecked() ? " checked" : "");
}

bool WxAutomation::ChooseMenu(int window, int item) {
  wxFrame* frame = Frame(window);
  if (frame == nullptr) return false;
  wxCommandEvent event(wxEVT_MENU, kMenuIdBase + item);
  Send(frame, event);
  return true;
}

bool WxAutomation::Close(int window) {
  wxFrame* frame = Frame(window);
  if (frame == nullptr) return false;
  frame->Close();  // the program decides: the toolkit vetoes and queues the request
  return true;
}

bool WxAutomation::Maximize(int window, bool maximized) {
  wxFrame* frame = Frame(window);
  if (frame == nullptr) return false;
  frame->Maximize(maximized);
  return true;
}

bool WxAutomation::Resize(int window, int width, int height) {
  wxFrame* frame = Frame(window);
  if (frame == nullptr) return false;
  const WindowGeometry g = tk_.GetWindowGeometry(window);
  frame->SetClientSize(width, height - g.menu_bar_height - g.status_bar_height);
  return true;
}

bool WxAutomation::Click(int window, int control) {
  wxWindow* widget = Frame(window) != nullptr ? tk_.NativeControl(window, control) : nullptr;
  if (widget == nullptr) return false;
  if (auto* option = dynamic_cast<wxRadioButton*>(widget)) {
    option->SetValue(true);
    wxCommandEvent event(wxEVT_RADIOBUTTON, widget->GetId());
    event.SetInt(1);
    Send(widget, event);
  } else if (dynamic_cast<wxButton*>(widget) != nullptr) {
    wxCommandEvent event(wxEVT_BUTTON, widget->GetId());
    Send(widget, event);
  } else {
    wxHyperlinkEvent event(widget, widget->GetId(), "");
    Send(widget, event);
  }
  return true;
}

bool WxAutomation::Select(int window, int control, int row) {
  wxWindow* widget = Frame(window) != nullptr ? tk_.NativeControl(window, control) : nullptr;
  if (auto* list = dynamic_cast<wxListCtrl*>(widget)) {
    // As a click does: the old row goes, the new one comes, each with its own event.
    const long old = list->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED);
    if (old >= 0 && old != row) list->SetItemState(old, 0, wxLIST_STATE_SELECTED);
    if (row >= 0) {
      list->SetItemState(row, wxLIST_STATE_SELECTED | wxLIST_STATE_FOCUSED,
                         wxLIST_STATE_SELECTED | wxLIST_STATE_FOCUSED);
      list->EnsureVisible(row);
    }
    return true;
  }
  if (auto* choice = dynamic_cast<wxChoice*>(widget)) {
    choice->SetSelection(row);
    wxCommandEvent event(wxEVT_CHOICE, widget->GetId());
    event.SetInt(row);
    Send(widget, event);
    return true;
  }
  if (auto* tabs = dynamic_cast<wxNotebook*>(widget)) {
    tabs->SetSelection(static_cast<size_t>(row));  // raises the page-changed event itself
    return true;
  }
  return false;
}

bool WxAutomation::ClickRow(int window, int control, bool double_click) {
  wxWindow* widget = Frame(window) != nullptr ? tk_.NativeControl(window, control) : nullptr;
  auto* list = dynamic_cast<wxListCtrl*>(widget);
  if (list == nullptr) return false;
  const long selected = list->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED);
  wxListEvent event(double_click ? wxEVT_LIST_ITEM_ACTIVATED : wxEVT_LIST_ITEM_RIGHT_CLICK,
                    list->GetId());
  event.m_itemIndex = selected;
  Send(list, event);
  return true;
}

bool WxAutomation::PressKey(int window, bool enter) {
  wxFrame* frame = Frame(window);
  wxWindow* focus = frame != nullptr ? FocusedChild(frame) : nullptr;
  if (focus == nullptr) return false;
  // A button with the focus takes Enter itself, as the desktop does.
  if (enter && dynamic_cast<wxButton*>(focus) != nullptr) {
    wxCommandEvent event(wxEVT_BUTTON, focus->GetId());
    Send(focus, event);
    return true;
  }
  wxKeyEvent key(wxEVT_CHAR_HOOK);
  key.m_keyCode = enter ? WXK_RETURN : WXK_ESCAPE;
  key.SetEventObject(focus);
  frame->GetEventHandler()->ProcessEvent(key);
  return true;
}

void WxAutomation::Settle(int milliseconds) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  wxEventLoopBase* loop = wxEventLoopBase::GetActive();
  while (std::chrono::steady_clock::now() < until) {
    if (loop != nullptr) loop->DispatchTimeout(20);
    if (wxTheApp != nullptr) {
      wxTheApp->ProcessPendingEvents();
      wxTheApp->ProcessIdle();
    }
  }
}

bool WxAutomation::SaveScreen(const std::string& folder, const std::string& name) {
  const std::string command =
      "import -window root '" + folder + "/" + name + ".png' >/dev/null 2>&1";
  return std::system(command.c_str()) == 0;
}

void WxAutomation::PhotographMessage(const std::string& title, const std::string& text, Icon icon,
                                     Buttons buttons, Answer /*answer*/,
                                     const std::function<void()>& take_shots) {
  // Photographed from inside the box's own loop, then closed: the player gives the answer.
  std::unique_ptr<wxDialog> dialog(tk_.PreviewMessageBox({title, text, icon, buttons}));
  wxTimer timer;
  timer.Bind(wxEVT_TIMER, [&](wxTimerEvent&) {
    take_shots();
    dialog->EndModal(wxID_CANCEL);
  });
  timer.StartOnce(100);
  dialog->ShowModal();
}

void WxAutomation::PhotographFolderChooser(const std::string& title, const std::string& start,
                                           const std::function<void()>& take_shots) {
  auto* dialog = new wxDirDialog(tk_.ActiveWindow(), ToWx(title),
                                 ToWx(start.empty() ? std::string("/") : start), wxDD_DEFAULT_STYLE,
                                 wxDefaultPosition, wxSize(720, 500));
  dialog->Show();
  take_shots();
  dialog->Destroy();
}

void WxAutomation::ContextMenuOpening(int window) {
  // The menu runs its own loop until it goes: a timer photographs it and closes it.
  open_menu_ = tk_.ContextMenuOf(window);
  menu_timer_ = std::make_unique<wxTimer>();
  menu_timer_->Bind(wxEVT_TIMER, [this](wxTimerEvent&) { player_->ContextMenuShown(); });
  menu_timer_->StartOnce(300);
}

void WxAutomation::CloseContextMenu() { ::sk::ui::CloseContextMenu(open_menu_); }

}  // namespace sk::ui
