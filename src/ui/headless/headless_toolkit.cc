#include "ui/headless/headless_toolkit.h"

#include <algorithm>

#include "ui/window_map.h"

namespace sk::ui {

void HeadlessToolkit::ScheduleEvent(int poll, Event event) {
  scheduled_.push_back({polls + std::max(poll, 1), event});
}

HeadlessToolkit::Window* HeadlessToolkit::FindWindow(int window) {
  return FindEntry(windows, window);
}

HeadlessToolkit::Control* HeadlessToolkit::FindControl(int window, int control) {
  return FindControlIn(windows, window, control);
}

const HeadlessToolkit::Window* HeadlessToolkit::LastClosed(const std::string& title) const {
  for (auto it = closed.rbegin(); it != closed.rend(); ++it) {
    if (it->def.title == title) return &*it;
  }
  return nullptr;
}

std::vector<std::string> HeadlessToolkit::MessageTexts() const {
  std::vector<std::string> texts;
  for (const Message& m : messages) texts.push_back(m.text);
  return texts;
}

bool HeadlessToolkit::OpenWindow(int window, const WindowDef& def) {
  if (windows.count(window) != 0) CloseWindow(window);
  Window w{def};
  w.geometry = {std::max(def.x, 0), std::max(def.y, 0), def.width, def.height};
  if ((def.flags & kWindowMaximized) != 0) w.geometry.state = WindowState::kMaximized;
  if ((def.flags & kWindowMinimized) != 0) w.geometry.state = WindowState::kMinimized;
  windows[window] = w;
  opened.push_back(def);
  return true;
}

void HeadlessToolkit::CloseWindow(int window) {
  auto it = windows.find(window);
  if (it == windows.end()) return;
  closed.push_back(it->second);
  windows.erase(it);
}

bool HeadlessToolkit::WindowExists(int window) { return windows.count(window) != 0; }

void HeadlessToolkit::EnableWindow(int window, bool enabled) {
  if (Window* w = FindWindow(window)) w->enabled = enabled;
}

void HeadlessToolkit::AddControl(int window, const ControlDef& def) {
  Window* w = FindWindow(window);
  if (w == nullptr) return;
  Control control;
  control.def = def;
  control.text = def.text;
  w->controls[def.id] = control;
}

void HeadlessToolkit::SetText(int window, int control, const std::string& text) {
  if (Control* c = FindControl(window, control)) c->text = text;
}

std::string HeadlessToolkit::GetText(int window, int control) {
  Control* c = FindControl(window, control);
  if (c == nullptr) return "";
  if (c->def.kind == ControlKind::kDropDown && c->value >= 0 &&
      c->value < static_cast<int64_t>(c->items.size())) {
    return c->items[static_cast<size_t>(c->value)];
  }
  return c->text;
}

void HeadlessToolkit::SetValue(int window, int control, int64_t value) {
  Control* c = FindControl(window, control);
  if (c == nullptr) return;
  if (c->def.kind == ControlKind::kProgressBar) value = std::clamp(value, c->minimum, c->maximum);
  c->value = value;
}

int64_t HeadlessToolkit::GetValue(int window, int control) {
  Control* c = FindControl(window, control);
  return c == nullptr ? -1 : c->value;
}

void HeadlessToolkit::SetRange(int window, int control, int64_t minimum, int64_t maximum) {
  if (Control* c = FindControl(window, control)) {
    c->minimum = minimum;
    c->maximum = maximum;
  }
}

int64_t HeadlessToolkit::GetMaximum(int window, int control) {
  Control* c = FindControl(window, control);
  return c == nullptr ? 0 : c->maximum;
}

void HeadlessToolkit::EnableControl(int window, int control, bool enabled) {
  if (Control* c = FindControl(window, control)) c->enabled = enabled;
}

void HeadlessToolkit::SetFocus(int window, int control) {
  focus_window = window;
  focus_control = control;
}

void HeadlessToolkit::AddColumn(int window, int control, const std::string& title, int width) {
  if (Control* c = FindControl(window, control)) c->columns.emplace_back(title, width);
}

void HeadlessToolkit::AddItem(int window, int control, const std::string& text, int image) {
  Control* c = FindControl(window, control);
  if (c == nullptr) return;
  c->items.push_back(text);
  c->images.push_back(image);
  // Lists start without a selection; drop-downs and tabs select their first entry.
  if (c->items.size() == 1 && c->def.kind == ControlKind::kReportList) c->value = -1;
}

void HeadlessToolkit::SetItemText(int window, int control, int row, const std::string& text) {
  Control* c = FindControl(window, control);
  if (c == nullptr || row < 0) return;
  if (static_cast<size_t>(row) >= c->items.size()) {
    c->items.resize(static_cast<size_t>(row) + 1);
    c->images.resize(static_cast<size_t>(row) + 1, -1);
  }
  c->items[static_cast<size_t>(row)] = text;
}

void HeadlessToolkit::ClearItems(int window, int control) {
  Control* c = FindControl(window, control);
  if (c == nullptr) return;
  c->items.clear();
  c->images.clear();
  if (c->def.kind == ControlKind::kReportList) c->value = -1;
}

int HeadlessToolkit::CountItems(int window, int control) {
  Control* c = FindControl(window, control);
  return c == nullptr ? 0 : static_cast<int>(c->items.size());
}

std::string HeadlessToolkit::GetItemText(int window, int control, int row, int column) {
  Control* c = FindControl(window, control);
  if (c == nullptr || row < 0 || static_cast<size_t>(row) >= c->items.size()) return "";
  return RowColumn(c->items[static_cast<size_t>(row)], column);
}

void HeadlessToolkit::AddStatusBar(int window, int fields) {
  if (Window* w = FindWindow(window)) {
    w->status.assign(static_cast<size_t>(fields), "");
    w->geometry.status_bar_height = kStatusBarHeight;
  }
}

std::string HeadlessToolkit::GetStatusText(int window, int field) {
  Window* w = FindWindow(window);
  if (w == nullptr || field < 0 || static_cast<size_t>(field) >= w->status.size()) return "";
  return w->status[static_cast<size_t>(field)];
}

void HeadlessToolkit::SetStatusText(int window, int field, const std::string& text) {
  Window* w = FindWindow(window);
  if (w != nullptr && field >= 0 && static_cast<size_t>(field) < w->status.size()) {
    w->status[static_cast<size_t>(field)] = text;
  }
}

void HeadlessToolkit::AddTimer(int window, int timer, int milliseconds) {
  if (Window* w = FindWindow(window)) w->timers[timer] = milliseconds;
}

void HeadlessToolkit::RemoveTimer(int window, int timer) {
  if (Window* w = FindWindow(window)) w->timers.erase(timer);
}

Event HeadlessToolkit::PollEvent() {
  ++polls;
  if (!queued_.empty()) {
    const Event event = queued_.front();
    queued_.pop_front();
    return event;
  }
  for (auto it = scheduled_.begin(); it != scheduled_.end(); ++it) {
    if (it->at_poll <= polls) {
      const Event event = it->event;
      scheduled_.erase(it);
      return event;
    }
  }
  if (on_poll) return on_poll(*this);
  return Event{};
}

Event HeadlessToolkit::WaitEvent() {
  if (!queued_.empty()) {
    const Event event = queued_.front();
    queued_.pop_front();
    return event;
  }
  if (!scheduled_.empty()) {
    const Event event = scheduled_.front().event;
    scheduled_.erase(scheduled_.begin());
    return event;
  }
  if (on_wait) return on_wait(*this);
  if (windows.empty()) return Event{};
  return Event{EventType::kClose, windows.rbegin()->first, -1};
}

Answer HeadlessToolkit::MessageBox(const std::string& title, const std::string& text, Icon icon,
                                   Buttons buttons) {
  Answer answer = buttons == Buttons::kOk         ? Answer::kOk
                  : buttons == Buttons::kOkCancel ? Answer::kOk
                                                  : Answer::kYes;
  if (buttons != Buttons::kOk && !answers_.empty()) {
    answer = answers_.front();
    answers_.pop_front();
  }
  messages.push_back({title, text, icon, buttons, answer});
  if (on_message) on_message(*this, messages.back());
  return answer;
}

std::string HeadlessToolkit::ChooseFolder(const std::string& title, const std::string&) {
  folder_titles.push_back(title);
  if (folders_.empty()) return "";
  const std::string folder = folders_.front();
  folders_.pop_front();
  return folder;
}

namespace {

MenuItem* FindItemIn(Menu& menu, int item) {
  for (MenuItem& m : menu.items) {
    if (m.id == item && item >= 0) return &m;
  }
  return nullptr;
}

}  // namespace

MenuItem* HeadlessToolkit::Window::FindMenuItem(int item) {
  for (Menu& menu : menu_bar) {
    if (MenuItem* m = FindItemIn(menu, item)) return m;
  }
  return FindItemIn(context_menu, item);
}

bool HeadlessToolkit::Window::MenuItemEnabled(int item) const {
  auto it = menu_enabled.find(item);
  return it == menu_enabled.end() || it->second;
}

void HeadlessToolkit::SetMenuBar(int window, const std::vector<Menu>& menus) {
  if (Window* w = FindWindow(window)) {
    w->menu_bar = menus;
    w->geometry.menu_bar_height = menus.empty() ? 0 : kMenuBarHeight;
  }
}

void HeadlessToolkit::EnableMenuItem(int window, int item, bool enabled) {
  if (Window* w = FindWindow(window)) w->menu_enabled[item] = enabled;
}

void HeadlessToolkit::CheckMenuItem(int window, int item, bool checked) {
  Window* w = FindWindow(window);
  if (w == nullptr) return;
  if (MenuItem* m = w->FindMenuItem(item)) m->checked = checked;
}

void HeadlessToolkit::SetContextMenu(int window, const Menu& menu) {
  if (Window* w = FindWindow(window)) w->context_menu = menu;
}

void HeadlessToolkit::ShowContextMenu(int window) {
  if (Window* w = FindWindow(window)) ++w->context_menu_shown;
}

void HeadlessToolkit::SetMinimumSize(int window, int width, int height) {
  if (Window* w = FindWindow(window)) {
    w->minimum_width = width;
    w->minimum_height = height;
  }
}

WindowGeometry HeadlessToolkit::GetWindowGeometry(int window) {
  Window* w = FindWindow(window);
  return w == nullptr ? WindowGeometry{} : w->geometry;
}

void HeadlessToolkit::SetControlRect(int window, int control, const Rect& rect) {
  if (Control* c = FindControl(window, control)) {
    c->def.x = rect.x;
    c->def.y = rect.y;
    c->def.width = rect.width;
    c->def.height = rect.height;
  }
}

Rect HeadlessToolkit::GetControlRect(int window, int control) {
  Control* c = FindControl(window, control);
  if (c == nullptr) return {};
  return {c->def.x, c->def.y, c->def.width, c->def.height};
}

void HeadlessToolkit::SetToolTip(int window, int control, const std::string& text) {
  if (Control* c = FindControl(window, control)) c->def.tooltip = text;
}

void HeadlessToolkit::SetFont(int window, int control, const Font& font) {
  if (Control* c = FindControl(window, control)) c->font = font;
}

void HeadlessToolkit::SetColumnWidth(int window, int control, int column, int width) {
  Control* c = FindControl(window, control);
  if (c != nullptr && column >= 0 && static_cast<size_t>(column) < c->columns.size()) {
    c->columns[static_cast<size_t>(column)].second = width;
  }
}

int HeadlessToolkit::GetColumnWidth(int window, int control, int column) {
  Control* c = FindControl(window, control);
  if (c == nullptr || column < 0 || static_cast<size_t>(column) >= c->columns.size()) return 0;
  return c->columns[static_cast<size_t>(column)].second;
}

int HeadlessToolkit::VisibleRowCount(int window, int control) {
  Control* c = FindControl(window, control);
  if (c == nullptr) return 0;
  int inner = c->def.height - 2 * kListBorder;
  if ((c->def.style & kStyleNoHeader) == 0) inner -= kHeaderHeight;
  return std::max(inner, 0) / kRowHeight;
}

bool HeadlessToolkit::OpenDocument(const std::string& target) {
  documents.push_back(target);
  return true;
}

void HeadlessToolkit::PlayInformationSound() { ++sounds; }

void HeadlessToolkit::SetImages(const std::vector<Image>& images) { this->images = images; }

}  // namespace sk::ui
