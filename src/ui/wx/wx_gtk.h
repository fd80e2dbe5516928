// The few things the desktop toolkit asks of GTK itself, looked up in the running process
// (wxWidgets has loaded GTK already), so that building needs no GTK headers. Elsewhere, or
// when GTK is not there, they do nothing.
#ifndef STOWKEEPER_UI_WX_WX_GTK_H_
#define STOWKEEPER_UI_WX_WX_GTK_H_

#include <wx/string.h>

class wxMenu;
class wxWindow;

namespace sk::ui {

// Tightens the theme's padding so that controls fit the pixel sizes the windows give them
// (buttons of 25, drop-down lists of 22, text fields of 20 pixels), and shows menu images.
void ApplyCompactStyle();

// The height the widget asks for, or 0 when that cannot be told.
int NaturalHeight(wxWindow* window);

// The control inside a top-level window that has its keyboard focus, or would have it once
// the window is active (the window manager may not have activated it yet); null for none.
wxWindow* FocusedChild(wxWindow* frame);

// Shows label (with "&" before the mnemonic) on a button as it stands, never the desktop's
// own word for a stock button; and the text a button shows.
void ShowNativeLabel(wxWindow* button, const wxString& label);
wxString NativeLabel(wxWindow* button);

// Closes a context menu that is open (its own loop then returns).
void CloseContextMenu(wxMenu* menu);

}  // namespace sk::ui

#endif  // STOWKEEPER_UI_WX_WX_GTK_H_
