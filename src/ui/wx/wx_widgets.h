// Small widgets the desktop toolkit draws itself, where the native ones cannot show what
// the windows need.
#ifndef STOWKEEPER_UI_WX_WX_WIDGETS_H_
#define STOWKEEPER_UI_WX_WX_WIDGETS_H_

#include <wx/wx.h>

#include "ui/toolkit.h"

namespace sk::ui {

// A text field that is not edited: left, centred or right, with an optional thin sunken
// border and its own background colour (native labels on GTK draw no background).
class BoxedLabel : public wxWindow {
 public:
  BoxedLabel(wxWindow* parent, const wxPoint& position, const wxSize& size, uint32_t style,
             const wxColour& background);
  void SetLabel(const wxString& text) override;
  wxString GetLabel() const override { return text_; }

 private:
  void OnPaint(wxPaintEvent& event);
  wxString text_;
  uint32_t style_;
};

// A bitmap from a program image, scaled to size with square pixels.
wxBitmap ImageBitmap(const Image& image, int width, int height);

}  // namespace sk::ui

#endif  // STOWKEEPER_UI_WX_WX_WIDGETS_H_
