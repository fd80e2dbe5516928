#include "ui/answering_toolkit.h"

namespace sk::ui {

Answer AnsweringToolkit::MessageBox(const std::string& title, const std::string& text, Icon icon,
                                    Buttons buttons) {
  if (buttons == Buttons::kOk) return inner_.MessageBox(title, text, icon, buttons);
  // An OK/Cancel question has no No: the answer that changes nothing stands for it.
  const Answer answer = buttons == Buttons::kOkCancel
                            ? (answer_ == Answer::kYes ? Answer::kOk : Answer::kCancel)
                            : answer_;
  if (echo_) {
    const char* said = answer_ == Answer::kYes ? "  -> yes (--yes)" : "  -> no (--no)";
    inner_.MessageBox(title, text + "\n" + said, icon, Buttons::kOk);
  }
  return answer;
}

bool AnsweringToolkit::OpenWindow(int window, const WindowDef& def) {
  return inner_.OpenWindow(window, def);
}
void AnsweringToolkit::CloseWindow(int window) { inner_.CloseWindow(window); }
bool AnsweringToolkit::WindowExists(int window) { return inner_.WindowExists(window); }
void AnsweringToolkit::EnableWindow(int window, bool enabled) {
  inner_.EnableWindow(window, enabled);
}
void AnsweringToolkit::AddControl(int window, const ControlDef& def) {
  inner_.AddControl(window, def);
}
void AnsweringToolkit::SetText(int window, int control, const std::string& text) {
  inner_.SetText(window, control, text);
}
std::string AnsweringToolkit::GetText(int window, int control) {
  return inner_.GetText(window, control);
}
void AnsweringToolkit::SetValue(int window, int control, int64_t value) {
  inner_.SetValue(window, control, value);
}
int64_t AnsweringToolkit::GetValue(int window, int control) {
  return inner_.GetValue(window, control);
}
void AnsweringToolkit::SetRange(int window, int control, int64_t minimum, int64_t maximum) {
  inner_.SetRange(window, control, minimum, maximum);
}
int64_t AnsweringToolkit::GetMaximum(int window, int control) {
  return inner_.GetMaximum(window, control);
}
void AnsweringToolkit::EnableControl(int window, int control, bool enabled) {
  inner_.EnableControl(window, control, enabled);
}
void AnsweringToolkit::SetFocus(int window, int control) { inner_.SetFocus(window, control); }
void AnsweringToolkit::AddColumn(int window, int control, const std::string& title, int width) {
  inner_.AddColumn(window, control, title, width);
}
void AnsweringToolkit::AddItem(int window, int control, const std::string& text, int image) {
  inner_.AddItem(window, control, text, image);
}
void AnsweringToolkit::SetItemText(int window, int control, int row, const std::string& text) {
  inner_.SetItemText(window, control, row, text);
}
void AnsweringToolkit::ClearItems(int window, int control) { inner_.ClearItems(window, control); }
int AnsweringToolkit::CountItems(int window, int control) {
  return inner_.CountItems(window, control);
}
std::string AnsweringToolkit::GetItemText(int window, int control, int row, int column) {
  return inner_.GetItemText(window, control, row, column);
}
void AnsweringToolkit::AddStatusBar(int window, int fields) { inner_.AddStatusBar(window, fields); }
void AnsweringToolkit::SetStatusText(int window, int field, const std::string& text) {
  inner_.SetStatusText(window, field, text);
}
void AnsweringToolkit::AddTimer(int window, int timer, int milliseconds) {
  inner_.AddTimer(window, timer, milliseconds);
}
void AnsweringToolkit::RemoveTimer(int window, int timer) { inner_.RemoveTimer(window, timer); }
Event AnsweringToolkit::PollEvent() { return inner_.PollEvent(); }
Event AnsweringToolkit::WaitEvent() { return inner_.WaitEvent(); }
std::string AnsweringToolkit::ChooseFolder(const std::string& title, const std::string& start) {
  return inner_.ChooseFolder(title, start);
}
void AnsweringToolkit::PlayInformationSound() { inner_.PlayInformationSound(); }

}  // namespace sk::ui
